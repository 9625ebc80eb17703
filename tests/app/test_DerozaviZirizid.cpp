// The window program run as a process (offscreen) and ended by SIGINT,
// SIGTERM or SIGHUP, as a desktop logout or kill ends it: it closes as
// "Fechar" does and exits with status 0, whether it was idle, in the middle
// of a run (which stops after its current row) or showing a message box.

#include "tests/app/ProgramaInstalado.h"
#include "tests/support/CatalogoGrande.h"
#include "tests/support/CatalogueDb.h"
#include "tests/support/Processo.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>

namespace {

using dztest::EstadoMusicas;
using dztest::MaiorProgresso;
using dztest::PastasDoMotor;
using dztest::TInstalado;
using dztest::TEstadoMusicas;
using dztest::TFimProcesso;
using dztest::TProcesso;
using dztest::TTempDir;
using dztest::TTestDatabase;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct TSinal {
  const char* what;
  int sinal;
};
const TSinal Sinais[] = {{"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};

constexpr int MuitasLinhas = 20000;

// Whether the process has the file open: the embedded engine holds the
// database file open from attach to detach.
bool TemAberto(pid_t pid, const std::string& arquivo) {
  const std::filesystem::path alvo = std::filesystem::canonical(arquivo);
  std::error_code erro;
  std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", erro);
  for (; !erro && fds != std::filesystem::directory_iterator(); fds.increment(erro)) {
    std::error_code ignorado;
    if (std::filesystem::read_symlink(fds->path(), ignorado) == alvo) return true;
  }
  return false;
}

class DerozaviZirizid : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    audio_ = new TTempDir;
    ASSERT_EQ(dztest::RunCommand("sox -n -r 8000 -c 1 -b 16 " + dztest::ShellQuote(audio_->File("tres.wav")) +
                                 " synth 3 sine 440"),
              0);
  }
  static void TearDownTestSuite() {
    delete audio_;
    audio_ = nullptr;
  }
  // The folder of the audio files, as a Tb_Pastas row holds it.
  static std::string Pasta() { return "INSERT INTO TB_PASTAS VALUES (1, '" + audio_->Path().string() + "/');\n"; }

  static TTempDir* audio_;
};

TTempDir* DerozaviZirizid::audio_ = nullptr;

// Idle, connected at start-up: the signal closes the window and the program
// ends with 0, the catalogue as it was and free for the next program.
TEST_F(DerozaviZirizid, SignalClosesTheIdleWindow) {
  for (const auto& s : Sinais) {
    SCOPED_TRACE(s.what);
    TTestDatabase db(Pasta() +
                     dztest::InsereMusica(1, "00:00", 1, "tres.wav"));
    const TInstalado instalado(DEROZAVI_PATH, db.Path());
    // The engine's configuration folder of the program (EngineSettings.h)
    // lies in TMPDIR while it runs, and goes with it. The program makes it
    // only when no FIREBIRD root is given (the tests give one to every process).
    const TTempDir temporaria;
    std::optional<TProcesso> iniciado;
    {
      const dztest::TEnvironmentVariable tmpdir("TMPDIR", temporaria.Path().c_str());
      const dztest::TEnvironmentVariable semRaiz("FIREBIRD", nullptr);
      iniciado.emplace(std::vector<std::string>{instalado.Programa()});
    }
    TProcesso& programa = *iniciado;
    ASSERT_TRUE(programa.EsperaAte([&] { return TemAberto(programa.Pid(), db.Path()); }));
    EXPECT_EQ(PastasDoMotor(temporaria.Path()), 1);
    programa.Sinal(s.sinal);
    const TFimProcesso fim = programa.Espera();
    EXPECT_EQ(fim.saida, 0);
    EXPECT_EQ(fim.sinal, 0);
    EXPECT_EQ(PastasDoMotor(temporaria.Path()), 0);
    EXPECT_THAT(dztest::Linhas(db.Path(), "SELECT MUS_CODIGO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS"),
                ElementsAre("1|<null>|00:00"));
  }
}

// In the middle of a run: the run stops after its current row and the window
// closes, without a message box. The rows from the top down to the last one
// written hold their length, the others nothing: none holds half of it.
TEST_F(DerozaviZirizid, SignalStopsARunAfterItsRowAndCloses) {
  for (const auto& s : Sinais) {
    SCOPED_TRACE(s.what);
    TTestDatabase db(Pasta());
    dztest::InsereMusicas(db.Path(), MuitasLinhas, 1, "tres.wav");
    const TInstalado instalado(JANELA_TESTE_PATH, db.Path());
    // Each paint of the bar is a line into a one-page pipe: once the test
    // stops reading, the window stops on the full pipe a few hundred paints
    // on and takes the signal there.
    TProcesso programa({instalado.Programa(), "--atualizar"}, TProcesso::TSaida::CanoCurto);
    // 1% of the rows begun: the run is well under way.
    ASSERT_TRUE(programa.EsperaAte([&] { return MaiorProgresso(programa.SaidaPadrao()) > 0; }));
    ASSERT_TRUE(programa.Rodando()) << "the run ended before the signal";
    programa.Sinal(s.sinal);
    const TFimProcesso fim = programa.EsperaLendo();
    EXPECT_EQ(fim.saida, 0);
    EXPECT_EQ(fim.sinal, 0);
    EXPECT_THAT(programa.SaidaPadrao(), Not(HasSubstr("caixa ")));
    const TEstadoMusicas estado = EstadoMusicas(db.Path(), 3, "00:03");
    EXPECT_TRUE(estado.NenhumaPelaMetade()) << estado.medidas << " + " << estado.vazias;
    EXPECT_TRUE(estado.MedidasDoTopo()) << estado.menorMedida;
    EXPECT_GE(estado.medidas, MuitasLinhas / 100);
    EXPECT_LT(estado.medidas, MuitasLinhas);
  }
}

// A run has ended and its message box waits for a user who has gone: the
// signal closes the box and the window.
TEST_F(DerozaviZirizid, SignalClosesAnOpenMessageBox) {
  TTestDatabase db(Pasta() +
                   dztest::InsereMusica(1, "00:00", 1, "tres.wav"));
  const TInstalado instalado(JANELA_TESTE_PATH, db.Path());
  TProcesso programa({instalado.Programa(), "--atualizar"});
  const std::string caixa = "caixa Atualização realizada com sucesso.\n";
  ASSERT_TRUE(programa.EsperaAte([&] { return programa.SaidaPadrao().find(caixa) != std::string::npos; }));
  programa.Sinal(SIGTERM);
  const TFimProcesso fim = programa.Espera();
  EXPECT_EQ(fim.saida, 0);
  EXPECT_EQ(fim.sinal, 0);
  EXPECT_THAT(dztest::Linhas(db.Path(), "SELECT MUS_CODIGO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS"),
              ElementsAre("1|3|00:03"));
}

}  // namespace
