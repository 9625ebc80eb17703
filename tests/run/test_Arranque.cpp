// The start-up both programs share: what the configuration file and the
// request put into the catalogue's connection, and what the run must refuse.
// (The [CAMINHOS] rules alone: test_RegrasCaminhos.)

#include "run/Arranque.h"

#include "catalogue/Catalogue.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using dztest::TTempDir;

TEST(Arranque, FromTheFileAndTheRequest) {
  struct TCase {
    const char* what;
    const char* file;                  // nullptr: no file
    std::optional<std::string> banco;  // the request's database name
    int tempoLimite;                   // the request's limit
    bool lido;
    std::string nome;   // the connection's database name afterwards
    int limite;         // its call limit
    std::string erro;   // $INI stands for the file's name
    std::string traduz; // what C:\M\x.mp3 becomes
  };
  const TCase cases[] = {
      {"no file", nullptr, std::nullopt, 0, false, DefaultDatabaseName, 60, "", "/pedido/x.mp3"},
      {"the file", "[BANCO]\nCAMINHO=/c/x.fdb\nTEMPO_LIMITE=5\n[CAMINHOS]\nDE1=C:\\M\\\nPARA1=/arquivo/\n",
       std::nullopt, 0, true, "/c/x.fdb", 5, "", "/pedido/x.mp3"},
      {"the request's limit wins", "[BANCO]\nCAMINHO=/c/x.fdb\nTEMPO_LIMITE=5\n", std::nullopt, 9, true, "/c/x.fdb", 9,
       "", "/pedido/x.mp3"},
      {"an empty CAMINHO is the name", "[BANCO]\nCAMINHO=\n", std::nullopt, 0, true, "", 60, "", "/pedido/x.mp3"},
      {"a database name given: the file is not read", "[BANCO]\nCAMINHO=/c/x.fdb\nTEMPO_LIMITE=x\n",
       std::string("srv:/y.fdb"), 0, false, "srv:/y.fdb", 60, "", "/pedido/x.mp3"},
      {"a wrong rule: its error, and the limit is not read", "[BANCO]\nTEMPO_LIMITE=5\n[CAMINHOS]\nDE1=C:\\\n",
       std::nullopt, 0, true, "", 60, "$INI: [CAMINHOS] DE1 sem PARA1", "/pedido/x.mp3"},
      {"a wrong limit", "[BANCO]\nTEMPO_LIMITE=0\n", std::nullopt, 0, true, "", 60,
       "$INI: [BANCO] TEMPO_LIMITE=0 não é um número de segundos de 1 a 86400", "/pedido/x.mp3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTempDir dir;
    const std::string file = dir.File("BaseAudio.ini");
    if (c.file != nullptr) dztest::WriteFile(file, c.file);
    TPedidoArranque pedido;
    pedido.arquivoConfiguracao = file;
    pedido.banco = c.banco;
    pedido.tempoLimite = c.tempoLimite;
    ASSERT_EQ(AddArgumentRule(pedido.regras, "C:\\M\\=/pedido/"), "");
    TCatalogo catalogo;
    const TArranque arranque = PreparaArranque(catalogo, pedido);
    EXPECT_EQ(arranque.arquivoLido, c.lido);
    EXPECT_EQ(catalogo.DB_Velmar.DatabaseName(), c.nome);
    EXPECT_EQ(catalogo.DB_Velmar.CallLimit(), c.limite);
    std::string erro = c.erro;
    if (const auto mark = erro.find("$INI"); mark != std::string::npos) erro.replace(mark, 4, file);
    EXPECT_EQ(arranque.erro, erro);
    // The request's rules come first: they win for the same folder.
    EXPECT_EQ(arranque.mapeamento.Translate("C:\\M\\x.mp3").Path, c.traduz);
    EXPECT_FALSE(catalogo.DB_Velmar.Connected());  // nothing here connects
  }
}

}  // namespace
