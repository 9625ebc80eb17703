// atualiza-duracoes stopped from outside while it runs: by a stop signal, by
// an output that can no longer be written (a full disk, a pipe whose reader
// has gone). Each run ends between two rows: every row before is written and
// committed, none holds only one of its two columns. Also: a catalogue's path
// reaches the log only escaped.

#include "tests/support/CatalogoGrande.h"
#include "tests/cli/CliTestSupport.h"
#include "cli/StatusSaida.h"
#include "tests/support/Processo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace {

using dztest::AtualizaPath;
using dztest::EstadoMusicas;
using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::LinhaDetalhada;
using dztest::Musicas;
using dztest::TAmostras;
using dztest::TEstadoMusicas;
using dztest::TFimProcesso;
using dztest::TProcesso;
using dztest::TTestDatabase;
using dztest::Vinhetas;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string Interrompido = "Interrompido.\n";
const std::string DiscoCheio = "Erro ao escrever na saída padrão: No space left on device.\n";
const std::string CanoFechado = "Erro ao escrever na saída padrão: Broken pipe.\n";

// Enough rows that a run lasts several seconds, even on a fast machine.
constexpr int MuitasLinhas = 20000;

std::size_t Linhas(const std::string& texto) {
  return static_cast<std::size_t>(std::count(texto.begin(), texto.end(), '\n'));
}

// Every line of a --verbose output is the line of a music row that got 3 s.
void SoLinhasDeMusicas(const std::string& saida) {
  EXPECT_TRUE(saida.empty() || saida.back() == '\n') << "a line cut short";
  std::size_t inicio = 0;
  for (std::size_t fim = saida.find('\n'); fim != std::string::npos; fim = saida.find('\n', inicio)) {
    const std::string linha = saida.substr(inicio, fim - inicio);
    EXPECT_EQ(linha.rfind("Tb_Musicas\t", 0), 0u) << linha;
    EXPECT_THAT(linha, ::testing::EndsWith("\t3\t00:03"));
    inicio = fim + 1;
  }
}

class AtualizaDuracoesSinais : public ::testing::Test {
protected:
  // Made at the first use, once for the whole test program.
  static const TAmostras& Amostras() {
    static const TAmostras amostras;
    return amostras;
  }
  static std::string Pasta() { return Amostras().Pasta(); }

  // linhas music rows, each naming the 3 s WAV, and one jingle; none has a length yet.
  static void Enche(const TTestDatabase& db, int linhas) {
    dztest::InsereMusicas(db.Path(), linhas, 1, TAmostras::Tres);
  }
  static std::string PastaEVinheta() {
    return InserePasta(1, Pasta()) + InsereVinheta(1, "00:00", Amostras().Arquivo(TAmostras::Dois));
  }

  // What a run stopped before the end left in the catalogue: the rows from
  // the top down to the last committed one measured, the others untouched.
  static void ParouEntreLinhas(const TTestDatabase& db, int gravadas) {
    const TEstadoMusicas estado = EstadoMusicas(db.Path(), 3, "00:03");
    EXPECT_EQ(estado.total, MuitasLinhas);
    EXPECT_TRUE(estado.NenhumaPelaMetade()) << estado.medidas << " + " << estado.vazias;
    EXPECT_TRUE(estado.MedidasDoTopo()) << estado.menorMedida;
    EXPECT_EQ(estado.medidas, gravadas);
    EXPECT_LT(estado.medidas, MuitasLinhas);
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|<null>|00:00"));
  }
};

// SIGINT, SIGTERM and SIGHUP end a run after the row it is on: that row and
// all before it written and committed, each named in the log, the rest
// untouched; "Interrompido." and 128 + the signal's number.
TEST_F(AtualizaDuracoesSinais, StopSignalEndsTheRunBetweenRows) {
  struct TCase {
    const char* what;
    int sinal;
    int saida;
  };
  const TCase cases[] = {
      {"SIGINT (Ctrl+C)", SIGINT, SaidaPorSinal(SIGINT)},
      {"SIGTERM (kill, a service stopped)", SIGTERM, SaidaPorSinal(SIGTERM)},
      {"SIGHUP (the terminal closed)", SIGHUP, SaidaPorSinal(SIGHUP)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(PastaEVinheta());
    Enche(db, MuitasLinhas);
    // A one-page pipe the test stops reading: the run halts a few dozen rows
    // on, far from its end, and takes the signal there.
    TProcesso programa({AtualizaPath(), "--idade-minima=0", "--database", db.Path(), "--verbose"}, TProcesso::TSaida::CanoCurto);
    // Attached, and some rows committed: the client has had every chance to take the signals.
    ASSERT_TRUE(programa.EsperaAte([&] { return Linhas(programa.SaidaPadrao()) >= 5; }));
    ASSERT_TRUE(programa.Rodando()) << "the run ended before the signal";
    programa.Sinal(c.sinal);
    const TFimProcesso fim = programa.EsperaLendo();
    EXPECT_EQ(fim.saida, c.saida);
    EXPECT_EQ(fim.sinal, 0);
    EXPECT_EQ(programa.SaidaErros(), Interrompido);
    const std::string saida = programa.SaidaPadrao();
    SoLinhasDeMusicas(saida);
    ParouEntreLinhas(db, static_cast<int>(Linhas(saida)));
  }
}

// A signal its starter chose to ignore stays ignored: under nohup, SIGHUP
// does not end the run.
TEST_F(AtualizaDuracoesSinais, IgnoredSignalStaysIgnored) {
  constexpr int linhas = 600;
  TTestDatabase db(PastaEVinheta());
  Enche(db, linhas);
  TProcesso programa({"/usr/bin/nohup", AtualizaPath(), "--idade-minima=0", "--database", db.Path(), "--verbose"},
                     TProcesso::TSaida::CanoCurto);
  ASSERT_TRUE(programa.EsperaAte([&] { return Linhas(programa.SaidaPadrao()) >= 5; }));
  // Held by the full one-page pipe, a few dozen rows on.
  ASSERT_TRUE(programa.Rodando()) << "the run had ended already";
  programa.Sinal(SIGHUP);
  EXPECT_LT(Linhas(programa.SaidaPadrao()), static_cast<std::size_t>(linhas)) << "the run had ended already";
  const TFimProcesso fim = programa.EsperaLendo();
  EXPECT_EQ(fim.saida, SaidaOk);
  EXPECT_EQ(programa.SaidaErros(), "");
  const TEstadoMusicas estado = EstadoMusicas(db.Path(), 3, "00:03");
  EXPECT_EQ(estado.medidas, linhas);
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|2|00:02"));
}

// When the output can no longer be written (here /dev/full, a full disk) the
// run ends before its next row with exit status 1 and the reason on standard
// error. With --verbose the first row's line is the first write: that row is
// committed and no other. Without it the first write is the line of the
// music phase, at the start of the jingles: the music rows are all written,
// the jingle is not.
TEST_F(AtualizaDuracoesSinais, UnwritableOutputEndsTheRun) {
  const std::string catalogo = PastaEVinheta() + InsereMusica(3, "00:00", 1, TAmostras::Tres) +
                               InsereMusica(2, "00:00", 1, TAmostras::Tres) +
                               InsereMusica(1, "00:00", 1, TAmostras::Tres);
  struct TCase {
    const char* what;
    std::vector<std::string> opcoes;
    std::vector<std::string> musicas;
    const char* vinheta;
  };
  const TCase cases[] = {
      {"--verbose", {"--verbose"}, {"1|<null>|00:00", "2|<null>|00:00", "3|3|00:03"}, "1|<null>|00:00"},
      {"one line per phase", {}, {"1|3|00:03", "2|3|00:03", "3|3|00:03"}, "1|<null>|00:00"},
      {"--dry-run", {"--dry-run"}, {"1|<null>|00:00", "2|<null>|00:00", "3|<null>|00:00"}, "1|<null>|00:00"},
      {"--help", {"--help"}, {"1|<null>|00:00", "2|<null>|00:00", "3|<null>|00:00"}, "1|<null>|00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(catalogo);
    std::vector<std::string> argumentos = {AtualizaPath(), "--idade-minima=0", "--database", db.Path()};
    argumentos.insert(argumentos.end(), c.opcoes.begin(), c.opcoes.end());
    TProcesso programa(argumentos, TProcesso::TSaida::Cheia);
    const TFimProcesso fim = programa.Espera();
    EXPECT_EQ(fim.saida, SaidaErro);
    EXPECT_EQ(programa.SaidaErros(), DiscoCheio);
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(c.musicas));
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAre(c.vinheta));
  }
}

// | head: the reader goes away while the run goes on. The next row's line
// cannot be written; the run ends there, that row committed, with exit
// status 1 and the reason, instead of dying of SIGPIPE wherever it was.
TEST_F(AtualizaDuracoesSinais, ClosedPipeEndsTheRunBetweenRows) {
  TTestDatabase db(PastaEVinheta());
  Enche(db, MuitasLinhas);
  TProcesso programa({AtualizaPath(), "--idade-minima=0", "--database", db.Path(), "--verbose"}, TProcesso::TSaida::CanoCurto);
  ASSERT_TRUE(programa.EsperaAte([&] { return Linhas(programa.SaidaPadrao()) >= 2; }));
  const std::size_t lidas = Linhas(programa.SaidaPadrao());
  // Held by the full one-page pipe, a few dozen rows on.
  ASSERT_TRUE(programa.Rodando()) << "the run ended before the pipe was closed";
  programa.FechaCano();
  const TFimProcesso fim = programa.Espera();
  EXPECT_EQ(fim.saida, SaidaErro);
  EXPECT_EQ(fim.sinal, 0);
  EXPECT_EQ(programa.SaidaErros(), CanoFechado);
  const TEstadoMusicas estado = EstadoMusicas(db.Path(), 3, "00:03");
  EXPECT_TRUE(estado.NenhumaPelaMetade());
  EXPECT_TRUE(estado.MedidasDoTopo());
  // The rows read, then those whose lines were still in the pipe, then the one whose line failed.
  EXPECT_GT(estado.medidas, static_cast<int>(lidas));
  EXPECT_LT(estado.medidas, MuitasLinhas);
}

// A file name is whatever the catalogue holds. In the log it is UTF-8, its
// control characters are escaped and a backslash is doubled: a newline cannot
// forge a row's line and an escape sequence cannot reach the terminal. The file itself is looked
// up by its real name.
TEST_F(AtualizaDuracoesSinais, PathsAreEscapedInTheLog) {
  struct TCase {
    const char* what;
    std::string nome;
    std::string mostrado;
  };
  const TCase cases[] = {
      {"a newline that would forge a row", "x\nTb_Musicas\t999\t/forged.mp3\t180\t03:00",
       "x\\nTb_Musicas\\t999\\t/forged.mp3\\t180\\t03:00"},
      {"terminal sequences", "\x1b]0;titulo\x07\x1b[2J.mp3", "\\x1b]0;titulo\\x07\\x1b[2J.mp3"},
      {"carriage return and DEL", "a\rb\x7f.wav", "a\\rb\\x7f.wav"},
      {"a backslash", "pasta\\faixa.wav", "pasta\\\\faixa.wav"},
      {"an escape written out stays apart from a real one", "a\\nb.wav", "a\\\\nb.wav"},
      {"Windows-1252 letters of a NONE catalogue in UTF-8", "Can\xE7\xE3o.wav", "Canção.wav"},
      {"a byte Windows-1252 leaves undefined", "a\x81.wav", "a\\x81.wav"},
  };
  // A real file with a newline in its name, in a folder of the test's own
  // (the sample files are shared): measured, and shown escaped.
  const dztest::TTempDir pasta;
  const std::string comQuebra = "tr\nes.wav";
  std::filesystem::copy_file(Amostras().Arquivo(TAmostras::Tres), pasta.File(comQuebra));
  const std::string nomePasta = pasta.Path().string() + "/";
  TTestDatabase db(InserePasta(1, nomePasta));
  {
    dztest::TSession sessao(db.Path());
    int codigo = 100;
    for (const auto& c : cases) dztest::AddMusica(sessao, --codigo, std::string("00:00"), 1, c.nome);
    dztest::AddMusica(sessao, 1, std::string("00:00"), 1, comQuebra);
    sessao.Commit();
  }
  const dztest::TRodada r = dztest::Roda({"--database", db.Path(), "--verbose"});
  EXPECT_EQ(r.saida, SaidaOk);
  std::string esperado;
  int codigo = 100;
  for (const auto& c : cases)
    esperado += LinhaDetalhada("Tb_Musicas", --codigo, nomePasta + c.mostrado, 0, "00:00", "arquivo inexistente");
  esperado += LinhaDetalhada("Tb_Musicas", 1, nomePasta + "tr\\nes.wav", 3, "00:03");
  EXPECT_EQ(r.saidaPadrao.substr(0, esperado.size()), esperado);
  // + 2 phase lines, the message, the summary
  EXPECT_EQ(Linhas(r.saidaPadrao), static_cast<std::size_t>(std::size(cases)) + 1 + 4);
  EXPECT_EQ(r.saidaErros, "");
}

}  // namespace
