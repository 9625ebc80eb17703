// atualiza-duracoes run as a program on catalogues of the embedded engine and
// real audio files: what it writes to each output, its exit status, and what
// the catalogue holds afterwards.

#include "tests/cli/CliTestSupport.h"
#include "cli/StatusSaida.h"
#include "cli/OpcoesLinha.h"
#include "catalogue/EngineSettings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>

namespace {

using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::LinhaDetalhada;
using dztest::Musicas;
using dztest::Resumo;
using dztest::Roda;
using dztest::TAmostras;
using dztest::TRodada;
using dztest::TTempDir;
using dztest::TTestDatabase;
using dztest::Versoes;
using dztest::Vinhetas;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

const std::string Sucesso = "Atualização realizada com sucesso.\n";
const std::string NadaAFazer = "Não há arquivos sem duração cadastradas.\n";
const std::string AvisoSimulacao = "Simulação (--dry-run): nenhuma linha foi gravada nem confirmada.\n";

std::string Junta(const std::vector<std::string>& partes) {
  std::string texto;
  for (const auto& parte : partes) texto += parte;
  return texto;
}

std::size_t Conta(const std::string& texto, const std::string& trecho) {
  std::size_t vezes = 0;
  for (std::size_t i = texto.find(trecho); i != std::string::npos; i = texto.find(trecho, i + 1)) ++vezes;
  return vezes;
}

// The screen after the bytes as a terminal shows it; enough of a terminal for
// the bars: carriage return, line feed, cursor up (ESC [ n A), erase to the
// end of the line (ESC [ K) and erase below (ESC [ J). Columns are bytes.
std::vector<std::string> Tela(const std::string& bytes) {
  std::vector<std::string> linhas(1);
  std::size_t linha = 0;
  std::size_t coluna = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      coluna = 0;
    } else if (c == '\n') {
      if (++linha == linhas.size()) linhas.emplace_back();
    } else if (c == '\033' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      std::size_t fim = i + 2;
      std::size_t n = 0;
      bool temNumero = false;
      for (; fim < bytes.size() && bytes[fim] >= '0' && bytes[fim] <= '9'; ++fim) {
        n = n * 10 + static_cast<std::size_t>(bytes[fim] - '0');
        temNumero = true;
      }
      if (fim == bytes.size()) break;
      switch (bytes[fim]) {
        case 'A': linha -= std::min(linha, temNumero ? n : 1); break;
        case 'K': linhas[linha].resize(std::min(coluna, linhas[linha].size())); break;
        case 'J':
          linhas[linha].resize(std::min(coluna, linhas[linha].size()));
          linhas.resize(linha + 1);
          break;
        default:
          ADD_FAILURE() << "a terminal sequence this screen does not know: ESC [" << bytes.substr(i + 2, fim - i - 1);
      }
      i = fim;
    } else {
      std::string& texto = linhas[linha];
      if (coluna < texto.size()) {
        texto[coluna] = c;
      } else {
        texto.resize(coluna, ' ');
        texto += c;
      }
      ++coluna;
    }
  }
  while (!linhas.empty() && linhas.back().empty()) linhas.pop_back();
  return linhas;
}

// A bar as the program draws it: 30 cells, the count and the percentage.
std::string Barra(const std::string& nome, int progresso, int maximo) {
  const int percentual = maximo == 0 ? 0 : progresso * 100 / maximo;
  const int cheios = 30 * percentual / 100;
  char numeros[64];
  std::snprintf(numeros, sizeof numeros, "] %d/%d %3d%%", progresso, maximo, percentual);
  return nome + "[" + std::string(static_cast<std::size_t>(cheios), '#') +
         std::string(static_cast<std::size_t>(30 - cheios), '.') + numeros;
}

class AtualizaDuracoes : public ::testing::Test {
protected:
  static void SetUpTestSuite() { amostras_ = new TAmostras; }
  static void TearDownTestSuite() {
    delete amostras_;
    amostras_ = nullptr;
  }

  static std::string Pasta() { return amostras_->Pasta(); }
  static std::string Arquivo(const std::string& nome) { return amostras_->Arquivo(nome); }

  // Six music rows without a length, one for each thing a file can give,
  // one music row that has its length; one jingle without a length and one with.
  static std::string Catalogo() {
    return InserePasta(1, Pasta()) + InsereMusica(70, "00:00", 1, TAmostras::Tres) +
           InsereMusica(60, "00:00", 1, TAmostras::Cinco) + InsereMusica(50, "00:00", 1, TAmostras::Curto) +
           InsereMusica(40, "00:00", 1, TAmostras::TextoWav) + InsereMusica(30, "00:00", 1, TAmostras::TextoMp3) +
           InsereMusica(20, "00:00", 1, "falta.wav") + InsereMusica(10, "03:00", 1, TAmostras::Tres, "180") +
           InsereVinheta(2, "00:00", Arquivo(TAmostras::Dois)) +
           InsereVinheta(1, "00:07", Arquivo(TAmostras::Dois), "7");
  }
  // Its rows as --verbose tells them, in the order of the run.
  static std::vector<std::string> LinhasMusicas() {
    return {
        LinhaDetalhada("Tb_Musicas", 70, Pasta() + TAmostras::Tres, 3, "00:03"),
        LinhaDetalhada("Tb_Musicas", 60, Pasta() + TAmostras::Cinco, 5, "00:05"),
        LinhaDetalhada("Tb_Musicas", 50, Pasta() + TAmostras::Curto, 0, "00:00", "meio segundo ou menos"),
        LinhaDetalhada("Tb_Musicas", 40, Pasta() + TAmostras::TextoWav, 0, "00:00", "não é um arquivo RIFF/WAVE"),
        LinhaDetalhada("Tb_Musicas", 30, Pasta() + TAmostras::TextoMp3, 0, "00:00", "nenhum quadro MPEG encontrado"),
        LinhaDetalhada("Tb_Musicas", 20, Pasta() + "falta.wav", 0, "00:00", "arquivo inexistente")};
  }
  static std::string LinhaVinheta() { return LinhaDetalhada("Tb_Vinhetas", 2, Arquivo(TAmostras::Dois), 2, "00:02"); }
  // One line per phase off a terminal: 6 of 7 rows after the music rows.
  static std::string FaseMusicas() { return "Progresso: Músicas 6/6 (100%); geral 6/7 (85%)\n"; }
  static std::string FaseVinhetas() { return "Progresso: Vinhetas 1/1 (100%); geral 7/7 (100%)\n"; }
  static std::string Verboso() {
    return Junta(LinhasMusicas()) + FaseMusicas() + LinhaVinheta() + FaseVinhetas() + Sucesso + ResumoGravado();
  }
  // Every row written; the four music files that give none got 0.
  static std::string ResumoGravado() { return Resumo(7, 0, 7, 0, 4); }

  // The catalogue before and after a run.
  static std::vector<std::string> MusicasAntes() {
    return {"10|180|03:00",    "20|<null>|00:00", "30|<null>|00:00", "40|<null>|00:00",
            "50|<null>|00:00", "60|<null>|00:00", "70|<null>|00:00"};
  }
  static std::vector<std::string> MusicasDepois() {
    return {"10|180|03:00", "20|0|00:00", "30|0|00:00", "40|0|00:00", "50|0|00:00", "60|5|00:05", "70|3|00:03"};
  }

  static TAmostras* amostras_;
};

TAmostras* AtualizaDuracoes::amostras_ = nullptr;

// --help and --version answer and end; a wrong command line ends with exit
// status 2 and the reason and the help text on standard error. None of them
// opens the catalogue.
TEST_F(AtualizaDuracoes, HelpVersionAndWrongArguments) {
  TTestDatabase db(Catalogo());
  const std::vector<std::string> antes = Versoes(db.Path());
  const std::string uso = std::string("\n\n") + TextoAjuda();
  struct TCase {
    const char* what;
    std::vector<std::string> argumentos;
    int saida;
    std::string saidaPadrao, saidaErros;
  };
  const TCase cases[] = {
      {"--help", {"--help"}, SaidaOk, TextoAjuda(), ""},
      {"-h, with a catalogue named", {"--database", db.Path(), "-h"}, SaidaOk, TextoAjuda(), ""},
      {"--version", {"--version"}, SaidaOk, TextoVersao, ""},
      {"--ajuda", {"--ajuda"}, SaidaOk, TextoAjuda(), ""},
      {"--versao", {"--versao"}, SaidaOk, TextoVersao, ""},
      {"the version text", {"--version"}, SaidaOk, "atualiza-duracoes 1.0.0\n", ""},
      {"an unknown argument", {"--database", db.Path(), "--force"}, SaidaUso, "",
       "atualiza-duracoes: argumento desconhecido: --force" + uso},
      {"an option without its value", {"--database"}, SaidaUso, "", "atualiza-duracoes: falta o valor de --database" + uso},
      {"a flag given a value", {"--database", db.Path(), "--verbose=sim"}, SaidaUso, "",
       "atualiza-duracoes: --verbose não aceita valor" + uso},
      {"both --config and --database", {"--config", "BaseAudio.ini", "--database", db.Path()}, SaidaUso, "",
       "atualiza-duracoes: use --config ou --database, não os dois" + uso},
      {"--help after a wrong argument", {"--force", "--help"}, SaidaUso, "",
       "atualiza-duracoes: argumento desconhecido: --force" + uso},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TRodada r = Roda(c.argumentos);
    EXPECT_EQ(r.saida, c.saida);
    EXPECT_EQ(r.saidaPadrao, c.saidaPadrao);
    EXPECT_EQ(r.saidaErros, c.saidaErros);
  }
  EXPECT_THAT(Versoes(db.Path()), ElementsAreArray(antes));
  EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasAntes()));
}

// Off a terminal: one line per phase, with --verbose one line per row before
// the line of its phase, and the closing message; every row lacking a length
// is written, a 0 for a file that gives none.
TEST_F(AtualizaDuracoes, RunOverASmallCatalogue) {
  struct TCase {
    const char* what;
    std::vector<std::string> opcoes;
    std::string saidaPadrao;
  };
  const TCase cases[] = {
      {"one line per phase", {}, FaseMusicas() + FaseVinhetas() + Sucesso + ResumoGravado()},
      {"--verbose", {"--verbose"}, Verboso()},
      {"-v", {"-v"}, Verboso()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(Catalogo());
    std::vector<std::string> argumentos = {"--database", db.Path()};
    argumentos.insert(argumentos.end(), c.opcoes.begin(), c.opcoes.end());
    const TRodada r = Roda(argumentos);
    EXPECT_EQ(r.saida, SaidaOk);
    EXPECT_EQ(r.saidaPadrao, c.saidaPadrao);
    EXPECT_EQ(r.saidaErros, "");
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasDepois()));
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|7|00:07", "2|2|00:02"));
  }
}

// A local catalogue: the engine in the program runs on a configuration folder
// of its own (in TMPDIR), gone when the program ends; with FIREBIRD set, the
// administrator's root is used as it is. The run is the same either way.
TEST_F(AtualizaDuracoes, EngineConfigurationOfALocalCatalogueLeavesNothingBehind) {
  // The tests' own root (FIREBIRD) stands for an administrator's; it is put back.
  const char* testRoot = std::getenv("FIREBIRD");
  const std::string root = testRoot != nullptr ? testRoot : ClientLibraryRoot();
  ASSERT_NE(root, "");
  for (const char* firebird : {static_cast<const char*>(nullptr), root.c_str()}) {
    SCOPED_TRACE(firebird ? "FIREBIRD set" : "FIREBIRD not set");
    TTestDatabase db(Catalogo());
    TTempDir temporaria;
    TRodada r;
    {
      const dztest::TEnvironmentVariable tmpdir("TMPDIR", temporaria.Path().c_str());
      const dztest::TEnvironmentVariable raiz("FIREBIRD", firebird);
      r = Roda({"--database", db.Path(), "--verbose"});
    }
    EXPECT_EQ(r.saida, SaidaOk) << r.saidaErros;
    EXPECT_EQ(r.saidaPadrao, Verboso());
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasDepois()));
    EXPECT_TRUE(std::filesystem::is_empty(temporaria.Path()));
  }
}

TEST_F(AtualizaDuracoes, NothingToDo) {
  TTestDatabase db(InserePasta(1, Pasta()) + InsereMusica(2, "00:03", 1, TAmostras::Tres, "3") +
                   InsereMusica(1, "00:00", 9, TAmostras::Tres) +
                   InsereVinheta(1, "00:02", Arquivo(TAmostras::Dois), "2"));
  const std::vector<std::string> antes = Versoes(db.Path());
  const TRodada r = Roda({"--database", db.Path(), "--verbose"});
  EXPECT_EQ(r.saida, SaidaOk);
  EXPECT_EQ(r.saidaPadrao,
            "Progresso: Músicas 0/0 (0%); geral 0/0 (0%)\n"
            "Progresso: Vinhetas 0/0 (0%); geral 0/0 (0%)\n" +
                NadaAFazer + Resumo(0, 0, 0, 0, 0));
  EXPECT_EQ(r.saidaErros, "");
  EXPECT_THAT(Versoes(db.Path()), ElementsAreArray(antes));
}

// The log names each row's file in UTF-8 whatever the catalogue's character
// set: a NONE catalogue's names read as Windows-1252, a UTF8 catalogue's as
// they are; what is no character, and every control, escaped.
// Names as long as the columns allow are written like any other.
TEST_F(AtualizaDuracoes, NamesInTheLogInEachCharacterSet) {
  struct TCase {
    const char* set;
    std::string cedilha, til;   // "ç" and "ã" in the set's encoding
    std::string controle;       // a name with what a terminal could take as a command
    std::string controleLogado;
  };
  const std::string cedilha1252 = "\xE7", til1252 = "\xE3";
  const TCase cases[] = {
      {"NONE", cedilha1252, til1252, "a\x81\x9B.wav", "a\\x81\xE2\x80\xBA.wav"},
      {"WIN1252", cedilha1252, til1252, "a\x81\x9B.wav", "a\\x81\xE2\x80\xBA.wav"},
      {"UTF8", "\xC3\xA7", "\xC3\xA3", "a\xC2\x9B\x1B.wav", "a\\u009b\\x1b.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    // A name of 200 characters, 396 bytes in UTF-8.
    std::string longo, longoLogado;
    for (int i = 0; i < 98; ++i) {
      longo += c.cedilha + c.til;
      longoLogado += "\xC3\xA7\xC3\xA3";
    }
    longo += ".mp3";
    longoLogado += ".mp3";
    TTestDatabase db(InserePasta(1, Pasta()) + InsereMusica(3, "00:00", 1, "Cora" + c.cedilha + c.til + "o.mp3") +
                         InsereMusica(2, "00:00", 1, longo) + InsereMusica(1, "00:00", 1, c.controle),
                     false, 1, c.set);
    const TRodada r = Roda({"--database", db.Path(), "--verbose"});
    EXPECT_EQ(r.saida, SaidaOk) << r.saidaErros;
    EXPECT_EQ(r.saidaErros, "");
    const char* falta = "arquivo inexistente";
    EXPECT_EQ(r.saidaPadrao,
              LinhaDetalhada("Tb_Musicas", 3, Pasta() + "Cora\xC3\xA7\xC3\xA3o.mp3", 0, "00:00", falta) +
                  LinhaDetalhada("Tb_Musicas", 2, Pasta() + longoLogado, 0, "00:00", falta) +
                  LinhaDetalhada("Tb_Musicas", 1, Pasta() + c.controleLogado, 0, "00:00", falta) +
                  "Progresso: Músicas 3/3 (100%); geral 3/3 (100%)\n"
                  "Progresso: Vinhetas 0/0 (0%); geral 3/3 (100%)\n" +
                  Sucesso + Resumo(3, 0, 3, 0, 3));
    EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|0|00:00", "2|0|00:00", "3|0|00:00"));
  }
}

// --dry-run reports every row as --verbose does and says in its last line
// that it wrote nothing; no row of the catalogue is written, not even with
// the values it had.
TEST_F(AtualizaDuracoes, DryRun) {
  TTestDatabase db(Catalogo());
  const std::vector<std::string> antes = Versoes(db.Path());
  for (const char* opcao : {"--dry-run", "-n"}) {
    SCOPED_TRACE(opcao);
    const TRodada r = Roda({"--database", db.Path(), opcao});
    EXPECT_EQ(r.saida, SaidaOk);
    const std::string semGravar = Resumo(7, 0, 0, 0, 4);
    EXPECT_EQ(r.saidaPadrao, Verboso().substr(0, Verboso().size() - ResumoGravado().size()) + semGravar +
                                 AvisoSimulacao);
    EXPECT_EQ(r.saidaErros, "");
    EXPECT_THAT(Versoes(db.Path()), ElementsAreArray(antes));
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasAntes()));
  }
  // The real run then reports the same rows and writes them.
  const TRodada r = Roda({"--database", db.Path(), "--verbose"});
  EXPECT_EQ(r.saidaPadrao, Verboso());
  EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasDepois()));
}

// Where the database name comes from: BaseAudio.ini beside the program
// (section BANCO, key CAMINHO), the file --config names, or --database.
// Each case runs a copy of the program in a folder of its own, with or
// without a BaseAudio.ini beside it, on a catalogue with one jingle. In the
// texts, $BANCO stands for the catalogue's path and $INI for the file that
// --config names.
TEST_F(AtualizaDuracoes, DatabaseName) {
  struct TCase {
    const char* what;
    std::optional<std::vector<std::string>> aoLado;    // lines of BaseAudio.ini beside the program
    std::optional<std::vector<std::string>> outroIni;  // lines of the file $INI
    std::vector<std::string> argumentos;
    int saida;
    std::string saidaErros;
    bool soInicio;  // saidaErros is only the start of standard error
  };
  const std::vector<std::string> iniErrado = {"[BANCO]", "CAMINHO=$BANCO.errado"};
  const std::string semNome = "Database name is missing.\n";
  const TCase cases[] = {
      {"BaseAudio.ini beside the program", {{"[BANCO]", "CAMINHO=$BANCO"}}, {}, {}, SaidaOk, "", false},
      {"blanks around the value", {{"[BANCO]", "CAMINHO =  $BANCO  "}}, {}, {}, SaidaOk, "", false},
      {"--config FILE instead", iniErrado, {{"[OUTRA]", "X=1", "[BANCO]", "CAMINHO=$BANCO"}}, {"--config", "$INI"},
       SaidaOk, "", false},
      {"--config=FILE instead", iniErrado, {{"[BANCO]", "CAMINHO=$BANCO"}}, {"--config=$INI"}, SaidaOk, "", false},
      {"--database NAME instead", iniErrado, {}, {"--database", "$BANCO"}, SaidaOk, "", false},
      {"--database=NAME instead", iniErrado, {}, {"--database=$BANCO"}, SaidaOk, "", false},
      {"no key CAMINHO", {}, {{"[BANCO]", "BANCO=$BANCO"}}, {"--config", "$INI"}, SaidaErro, semNome, false},
      {"CAMINHO in another section", {}, {{"[OUTRA]", "CAMINHO=$BANCO"}}, {"--config", "$INI"}, SaidaErro, semNome, false},
      {"an empty --database=", iniErrado, {}, {"--database="}, SaidaErro, semNome, false},
      {"a wrong path: the client's text, with a full stop", {}, {}, {"--database", "$BANCO.x"}, SaidaErro,
       "I/O error during \"open\" operation for file \"$BANCO.x\"\nError while trying to open file\n"
       "No such file or directory.\n",
       false},
      {"a wrong path in BaseAudio.ini beside the program", iniErrado, {}, {}, SaidaErro,
       "I/O error during \"open\" operation for file \"$BANCO.errado\"\nError while trying to open file\n"
       "No such file or directory.\n",
       false},
      // Without the file the connection keeps its built-in name, a Windows
      // path that the client reads as "host:path" with host "C"; the rest
      // of the text is the resolver's.
      {"no BaseAudio.ini beside the program", {}, {}, {}, SaidaErro, "Unable to complete network request to host \"C\".\n",
       true},
      {"the file --config names is missing: a wrong command line", iniErrado, {}, {"--config", "$BANCO.ini"}, SaidaUso,
       "atualiza-duracoes: arquivo de configuração não encontrado: $BANCO.ini\n\n" + TextoAjuda(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(InsereVinheta(1, "00:00", Arquivo(TAmostras::Dois)));
    const TTempDir casa;
    const std::string programa = casa.File("atualiza-duracoes");
    const std::string outroIni = casa.File("outro.ini");
    const auto troca = [&](std::string texto) {
      for (const auto& [marca, valor] :
           {std::pair<std::string, std::string>{"$BANCO", db.Path()}, {"$INI", outroIni}}) {
        for (std::size_t i = texto.find(marca); i != std::string::npos; i = texto.find(marca, i + valor.size()))
          texto.replace(i, marca.size(), valor);
      }
      return texto;
    };
    const auto escreve = [&](const std::string& arquivo, const std::vector<std::string>& linhas) {
      std::string texto;
      for (const auto& linha : linhas) texto += troca(linha) + "\r\n";
      dztest::WriteFile(arquivo, texto);
    };
    std::filesystem::copy_file(dztest::AtualizaPath(), programa);
    if (c.aoLado) escreve(casa.File("BaseAudio.ini"), *c.aoLado);
    if (c.outroIni) escreve(outroIni, *c.outroIni);
    std::vector<std::string> argumentos;
    for (const auto& argumento : c.argumentos) argumentos.push_back(troca(argumento));

    const TRodada r = Roda(argumentos, programa);
    EXPECT_EQ(r.saida, c.saida);
    const std::string erros = troca(c.saidaErros);
    if (c.soInicio) {
      EXPECT_THAT(r.saidaErros, StartsWith(erros));
    } else {
      EXPECT_EQ(r.saidaErros, erros);
    }
    if (c.saida == SaidaOk) {
      EXPECT_EQ(r.saidaPadrao,
                "Progresso: Músicas 0/0 (0%); geral 0/1 (0%)\n"
                "Progresso: Vinhetas 1/1 (100%); geral 1/1 (100%)\n" +
                    Sucesso + Resumo(1, 0, 1, 0, 0));
      EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|2|00:02"));
    } else {
      EXPECT_EQ(r.saidaPadrao, "");
      EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|<null>|00:00"));
    }
  }
}

// On a terminal the two bars are drawn and redrawn in place: each picture
// of them but the first goes back up over the one before; --verbose lines
// take the bars' place and the bars go on below them. What stays on the
// screen is checked, and every picture drawn on the way.
TEST_F(AtualizaDuracoes, BarsOnATerminal) {
  const std::string catalogo = InserePasta(1, Pasta()) + InsereMusica(30, "00:00", 1, TAmostras::Tres) +
                               InsereMusica(20, "00:00", 1, TAmostras::Cinco) +
                               InsereMusica(10, "00:00", 1, "falta.wav") +
                               InsereVinheta(1, "00:00", Arquivo(TAmostras::Dois));
  const std::vector<std::string> linhas = {
      LinhaDetalhada("Tb_Musicas", 30, Pasta() + TAmostras::Tres, 3, "00:03"),
      LinhaDetalhada("Tb_Musicas", 20, Pasta() + TAmostras::Cinco, 5, "00:05"),
      LinhaDetalhada("Tb_Musicas", 10, Pasta() + "falta.wav", 0, "00:00", "arquivo inexistente"),
      LinhaDetalhada("Tb_Vinhetas", 1, Arquivo(TAmostras::Dois), 2, "00:02"),
  };
  const std::vector<std::string> barrasNoFim = {
      Barra("Progresso: Vinhetas ", 1, 1), Barra("Progresso Geral:    ", 4, 4), "Atualização realizada com sucesso.",
      "Resumo: 4 linhas visitadas, 0 com duração diferente da do arquivo, 4 gravadas, 0 ignoradas por serem "
      "recentes, 1 sem medida."};
  struct TCase {
    const char* what;
    std::vector<std::string> opcoes;
    std::vector<std::string> tela;
  };
  std::vector<std::string> telaDetalhada;
  for (const auto& linha : linhas) telaDetalhada.push_back(linha.substr(0, linha.size() - 1));
  telaDetalhada.insert(telaDetalhada.end(), barrasNoFim.begin(), barrasNoFim.end());
  const TCase cases[] = {
      {"bars only", {}, barrasNoFim},
      {"--verbose", {"--verbose"}, telaDetalhada},
  };
  // A picture of one bar: its name, 30 cells, "progress/maximum", the percentage.
  const std::regex barra(
      "(Progresso: Músicas  |Progresso: Vinhetas |Progresso Geral:    )\\[(#*)(\\.*)\\] (\\d+)/(\\d+) +(\\d+)%");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(catalogo);
    std::vector<std::string> argumentos = {"--database", db.Path()};
    argumentos.insert(argumentos.end(), c.opcoes.begin(), c.opcoes.end());
    const TRodada r = dztest::RodaNoTerminal(argumentos);
    EXPECT_EQ(r.saida, SaidaOk);
    const std::string& saida = r.saidaPadrao;
    EXPECT_THAT(Tela(saida), ElementsAreArray(c.tela)) << saida;

    // The first picture: the music phase, nothing done yet.
    EXPECT_THAT(saida, StartsWith("\r\033[K" + Barra("Progresso: Músicas  ", 0, 3) + "\r\n\r\033[K" +
                                  Barra("Progresso Geral:    ", 0, 4) + "\r\n"));
    // In place: every later picture first moves up the two lines of the one before.
    const std::size_t figuras = Conta(saida, "\r\033[KProgresso Geral:");
    EXPECT_GE(figuras, 3u);
    EXPECT_EQ(Conta(saida, "\033[2A"), figuras - 1);
    EXPECT_EQ(saida.find("; geral "), std::string::npos);  // no line per phase
    // Every picture's count, percentage (truncated) and filled cells agree.
    std::size_t barras = 0;
    for (auto it = std::sregex_iterator(saida.begin(), saida.end(), barra); it != std::sregex_iterator(); ++it) {
      const std::smatch& m = *it;
      const int progresso = std::stoi(m[4]);
      const int maximo = std::stoi(m[5]);
      const int percentual = std::stoi(m[6]);
      SCOPED_TRACE(m.str());
      EXPECT_LE(progresso, maximo);
      EXPECT_EQ(percentual, maximo == 0 ? 0 : progresso * 100 / maximo);
      EXPECT_EQ(m[2].length(), static_cast<std::ptrdiff_t>(30 * percentual / 100));
      EXPECT_EQ(m[2].length() + m[3].length(), 30);
      ++barras;
    }
    EXPECT_EQ(barras, 2 * figuras);
    // Each picture shows both bars of one moment, after both have stepped:
    // the overall count is the phase count, plus the 3 music rows once the
    // jingles are counted.
    const std::regex figura(
        "(Progresso: Músicas  |Progresso: Vinhetas )\\[[#.]+\\] (\\d+)/\\d+ +\\d+%\r\n"
        "\r\033\\[KProgresso Geral:    \\[[#.]+\\] (\\d+)/\\d+ +\\d+%");
    std::size_t pares = 0;
    for (auto it = std::sregex_iterator(saida.begin(), saida.end(), figura); it != std::sregex_iterator(); ++it) {
      const std::smatch& m = *it;
      SCOPED_TRACE(m.str());
      const int antes = m[1].str().find("Vinhetas") != std::string::npos ? 3 : 0;
      EXPECT_EQ(std::stoi(m[3]), antes + std::stoi(m[2]));
      ++pares;
    }
    EXPECT_EQ(pares, figuras);
    EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  }
}

}  // namespace
