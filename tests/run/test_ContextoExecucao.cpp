// One run put together from one request: what the context takes from the
// configuration file and the request, its run with its counts, and one path
// measured as the run measures a row's.

#include "run/ContextoExecucao.h"

#include "tests/support/CatalogueDb.h"
#include "tests/support/SampleFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::Musicas;
using dztest::TTempDir;
using dztest::TTestDatabase;
using dztest::Vinhetas;
using ::testing::ElementsAre;

// The files of the frame-walk check: "bom.mp3" and "bom.wav" (nothing
// wrong), "truncado.mp3" (its estimate can't be trusted).
class ContextoExecucao : public ::testing::Test {
protected:
  static void SetUpTestSuite() { audio_ = dztest::SampleFolder(dztest::TSampleSet::Conferencia); }

  // A BaseAudio.ini naming db, with one rule: C:\Audio\ is the sample folder.
  static std::string Configuracao(const TTestDatabase& db, const std::string& maisBanco = "") {
    return "[BANCO]\nCAMINHO=" + db.Path() + "\n" + maisBanco + "[CAMINHOS]\nDE1=C:\\Audio\\\nPARA1=" +
           audio_.string() + "/\n";
  }

  static std::filesystem::path audio_;
};

std::filesystem::path ContextoExecucao::audio_;

// A front end that counts its bars and keeps the rows it is told of.
class TFrenteLinhas : public TFrenteContada {
public:
  void LinhaAtualizada(const TLinhaAtualizada& linha) override { linhas.push_back(linha); }
  std::vector<TLinhaAtualizada> linhas;
};

TEST_F(ContextoExecucao, RunsWithTheFilesRulesAndCountsTheCheck) {
  struct TCase {
    const char* what;
    TModoAtualizacao modo;
    int paralelo;
    TConferencia conferencia;
    std::vector<std::string> musicas;  // afterwards, key|seconds|time
    TContagemAtualizacao contagem;
  };
  // truncado.mp3's estimate, and its walked length that Corrige writes.
  const std::int32_t estimativa = DuracaoEmSegundos((audio_ / "truncado.mp3").string());
  const std::int32_t percorrida = SegundosPercorridos(ConfereArquivo((audio_ / "truncado.mp3").string()));
  ASSERT_NE(estimativa, percorrida);
  const auto linha = [](int codigo, std::int32_t segundos) {
    return std::to_string(codigo) + "|" + std::to_string(segundos) + "|" + SegundosParaTempo(segundos);
  };
  const TCase cases[] = {
      {"no check, on the run's thread", TModoAtualizacao::Gravacao, 1, TConferencia::Nenhuma,
       {linha(1, 5), linha(2, estimativa), linha(3, 0)}, {.linhas = 4}},
      {"no check, measured ahead", TModoAtualizacao::Gravacao, 4, TConferencia::Nenhuma,
       {linha(1, 5), linha(2, estimativa), linha(3, 0)}, {.linhas = 4}},
      {"warned of, the estimate written", TModoAtualizacao::Gravacao, 1, TConferencia::Avisa,
       {linha(1, 5), linha(2, estimativa), linha(3, 0)}, {.linhas = 4, .percorridos = 2, .avisos = 1}},
      {"corrected", TModoAtualizacao::Gravacao, 1, TConferencia::Corrige,
       {linha(1, 5), linha(2, percorrida), linha(3, 0)},
       {.linhas = 4, .percorridos = 2, .avisos = 1, .comPercorrida = 1}},
      {"corrected in a dry run: counted, nothing written", TModoAtualizacao::Simulacao, 2, TConferencia::Corrige,
       {"1|<null>|00:00", "2|<null>|00:00", "3|<null>|00:00"},
       {.linhas = 4, .percorridos = 2, .avisos = 1, .comPercorrida = 1}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(InserePasta(1, "C:\\Audio\\") + InsereMusica(1, "00:00", 1, "bom.mp3") +
                     InsereMusica(2, "00:00", 1, "truncado.mp3") + InsereMusica(3, "00:00", 1, "falta.mp3") +
                     InsereVinheta(1, "00:00", "C:\\AUDIO\\BOM.WAV"));
    TTempDir dir;
    dztest::WriteFile(dir.File("BaseAudio.ini"), Configuracao(db));
    TPedidoExecucao pedido;
    pedido.arranque.arquivoConfiguracao = dir.File("BaseAudio.ini");
    pedido.modo = c.modo;
    pedido.paralelo = c.paralelo;
    pedido.conferencia = c.conferencia;
    TContextoExecucao contexto(pedido);
    ASSERT_TRUE(contexto.ArquivoLido());
    ASSERT_EQ(contexto.Erro(), "");
    EXPECT_FALSE(contexto.Catalogo().DB_Velmar.Connected());  // the run connects
    TFrenteLinhas frente;
    contexto.Executa(frente);
    EXPECT_THAT(Musicas(db.Path()), ::testing::ElementsAreArray(c.musicas));
    EXPECT_THAT(Vinhetas(db.Path()),
                ElementsAre(c.modo == TModoAtualizacao::Gravacao ? "1|3|00:03" : "1|<null>|00:00"));
    const TContagemAtualizacao& contagem = contexto.Contagem();
    EXPECT_EQ(contagem.linhas, c.contagem.linhas);
    EXPECT_EQ(contagem.percorridos, c.contagem.percorridos);
    EXPECT_EQ(contagem.avisos, c.contagem.avisos);
    EXPECT_EQ(contagem.comPercorrida, c.contagem.comPercorrida);
    // The record the front end got says which row has the walked length.
    ASSERT_EQ(frente.linhas.size(), 4u);
    EXPECT_EQ(frente.linhas[1].medida.comPercorrida, c.conferencia == TConferencia::Corrige);
    EXPECT_FALSE(frente.linhas[0].medida.comPercorrida);
  }
}

// One path measured as the run measures a row's: the file's rules after the
// request's, the lookup, the facade's reason, and the check of the request.
TEST_F(ContextoExecucao, MedeAsTheRunMeasures) {
  TTestDatabase db;
  TTempDir dir;
  dztest::WriteFile(dir.File("BaseAudio.ini"), Configuracao(db));
  TPedidoExecucao pedido;
  pedido.arranque.arquivoConfiguracao = dir.File("BaseAudio.ini");
  ASSERT_EQ(AddArgumentRule(pedido.arranque.regras, "C:\\Outro\\=" + audio_.string() + "/"), "");
  pedido.conferencia = TConferencia::Corrige;
  TContextoExecucao contexto(pedido);
  const struct {
    const char* what;
    std::string caminho;
    TLookupResult resultado;
    std::string aberto;
    TMotivoDuracao motivo;
    bool percorrido;
  } cases[] = {
      {"the file's rule, exact", "C:\\Audio\\bom.mp3", TLookupResult::Exact, "bom.mp3", TMotivoDuracao::Medida, true},
      {"the request's rule, another letter case", "c:\\outro\\BOM.WAV", TLookupResult::Found, "bom.wav",
       TMotivoDuracao::Medida, false},
      {"missing", "C:\\Audio\\falta.wav", TLookupResult::Missing, "falta.wav", TMotivoDuracao::ArquivoInexistente,
       false},
      {"outside the mapped folder", "C:\\Audio\\..\\fora.wav", TLookupResult::Outside, "../fora.wav",
       TMotivoDuracao::ForaDaPastaMapeada, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TMedida medida = contexto.Mede(c.caminho);
    EXPECT_EQ(medida.arquivo.Result, c.resultado);
    EXPECT_EQ(medida.arquivo.Path, audio_.string() + "/" + c.aberto);
    EXPECT_EQ(medida.motivo, c.motivo);
    EXPECT_EQ(medida.conferencia.percorrido, c.percorrido);
    if (c.motivo == TMotivoDuracao::Medida) {
      EXPECT_EQ(medida.segundos, DuracaoEmSegundos(medida.arquivo.Path));
    } else {
      EXPECT_EQ(medida.segundos, 0);
    }
  }
  EXPECT_FALSE(contexto.Catalogo().DB_Velmar.Connected());  // measuring needs no catalogue
}

// A wrong configuration keeps every run from starting: nothing connects.
TEST_F(ContextoExecucao, WrongConfigurationRunsNothing) {
  TTestDatabase db(InserePasta(1, "C:\\Audio\\") + InsereMusica(1, "00:00", 1, "bom.mp3"));
  TTempDir dir;
  dztest::WriteFile(dir.File("BaseAudio.ini"), Configuracao(db, "TEMPO_LIMITE=7\n") + "DE2=D:\\\n");
  TPedidoExecucao pedido;
  pedido.arranque.arquivoConfiguracao = dir.File("BaseAudio.ini");
  TContextoExecucao contexto(pedido);
  const std::string erro = dir.File("BaseAudio.ini") + ": [CAMINHOS] DE2 sem PARA2";
  EXPECT_EQ(contexto.Erro(), erro);
  TFrenteLinhas frente;
  try {
    contexto.Executa(frente);
    ADD_FAILURE() << "the run started";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), erro);
  }
  EXPECT_FALSE(contexto.Catalogo().DB_Velmar.Connected());
  EXPECT_TRUE(frente.linhas.empty());
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|<null>|00:00"));
}

// The request's database name and wait limit win over the file, which is then not read.
TEST_F(ContextoExecucao, RequestWinsOverTheFile) {
  TTestDatabase db;
  TTempDir dir;
  dztest::WriteFile(dir.File("BaseAudio.ini"), "[BANCO]\nCAMINHO=/outro.fdb\nTEMPO_LIMITE=7\n");
  TPedidoExecucao pedido;
  pedido.arranque.arquivoConfiguracao = dir.File("BaseAudio.ini");
  pedido.arranque.banco = db.Path();
  pedido.arranque.tempoLimite = 9;
  TContextoExecucao contexto(pedido);
  EXPECT_FALSE(contexto.ArquivoLido());
  EXPECT_EQ(contexto.Catalogo().DB_Velmar.DatabaseName(), db.Path());
  EXPECT_EQ(contexto.Catalogo().DB_Velmar.CallLimit(), 9);
}

}  // namespace
