// The window program as a process against the private Firebird server of the
// CTest fixture "fbserver", when the server stalls (SIGSTOP) in the middle of
// a run, or before the start-up's attach, and a stop signal comes: the call
// the run waits in is ended, or the attach left waiting, and the window
// closes as "Fechar" does, within seconds, without a message box, every row
// whole or untouched and the database consistent.

#include "tests/app/ProgramaInstalado.h"
#include "tests/support/CatalogoGrande.h"
#include "tests/support/CatalogueDb.h"
#include "tests/support/LostConnection.h"
#include "tests/support/Processo.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

namespace {

using dztest::TFimProcesso;
using dztest::TProcesso;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int MuitasLinhas = 5000;

TEST(JanelaServidorParado, SignalWhileTheServerStalls) {
  ASSERT_EQ(dztest::FbServer("start"), 0);
  const dztest::TTempDir audio;
  ASSERT_EQ(dztest::RunCommand("sox -n -r 8000 -c 1 -b 16 " + dztest::ShellQuote(audio.File("tres.wav")) +
                               " synth 3 sine 440"),
            0);
  dztest::TTestDatabase db("INSERT INTO TB_PASTAS VALUES (1, '" + audio.Path().string() + "/');\n", true);
  dztest::InsereMusicas(db.Path(), MuitasLinhas, 1, "tres.wav");
  const std::string banco = dztest::OnServer(db.Path());
  // A limit far beyond the test's bound: only the signal can end the wait.
  const dztest::TInstalado instalado(JANELA_TESTE_PATH, banco, "TEMPO_LIMITE=600\r\n");
  double segundos = 0;
  TFimProcesso fim;
  std::string relato;
  {
    dztest::TRestartServer reinicia;
    // Each paint of the bar is a line into a one-page pipe: once the test
    // stops reading, the window stops on the full pipe, well before the end.
    TProcesso programa({instalado.Programa(), "--atualizar"}, TProcesso::TSaida::CanoCurto);
    ASSERT_TRUE(programa.EsperaAte([&] { return dztest::MaiorProgresso(programa.SaidaPadrao()) > 0; }))
        << programa.SaidaPadrao() << programa.SaidaErros();
    ASSERT_TRUE(programa.Rodando()) << "the run ended before the pause";
    dztest::TServerPaused pausa;
    ASSERT_TRUE(pausa.Paused());
    const auto inicio = std::chrono::steady_clock::now();
    programa.Sinal(SIGTERM);
    fim = programa.EsperaLendo(60);
    segundos = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
    relato = programa.SaidaPadrao() + programa.SaidaErros();
  }  // the server goes on
  EXPECT_EQ(fim.saida, 0);
  EXPECT_EQ(fim.sinal, 0);
  EXPECT_LT(segundos, 5);
  EXPECT_THAT(relato, Not(HasSubstr("caixa ")));
  const dztest::TEstadoMusicas estado = dztest::EstadoMusicas(banco, 3, "00:03");
  EXPECT_TRUE(estado.NenhumaPelaMetade()) << estado.medidas << " + " << estado.vazias;
  EXPECT_TRUE(estado.MedidasDoTopo()) << estado.menorMedida;
  EXPECT_LT(estado.medidas, MuitasLinhas);
  EXPECT_EQ(dztest::FullValidation(banco), "exit 0\n");
}

// The server paused before the program starts, and a stop signal once the
// start-up's connect is in its attach: the program ends with 0 within
// seconds, however long the limit, its engine folder gone and no row touched.
TEST(JanelaServidorParado, SignalWhileTheStartUpAttachWaits) {
  ASSERT_EQ(dztest::FbServer("start"), 0);
  dztest::TTestDatabase db("INSERT INTO TB_PASTAS VALUES (1, '/m/');\n", true);
  dztest::InsereMusicas(db.Path(), 3, 1, "tres.wav");
  const std::string banco = dztest::OnServer(db.Path());
  const dztest::TInstalado instalado(DEROZAVI_PATH, banco, "TEMPO_LIMITE=86400\r\n");
  // The program makes its engine folder only when no FIREBIRD root is given.
  const dztest::TTempDir temporaria;
  double segundos = 0;
  TFimProcesso fim;
  int pastasDurante = 0;
  {
    dztest::TRestartServer reinicia;
    dztest::TServerPaused pausa;
    ASSERT_TRUE(pausa.Paused());
    std::optional<TProcesso> iniciado;
    {
      const dztest::TEnvironmentVariable tmpdir("TMPDIR", temporaria.Path().c_str());
      const dztest::TEnvironmentVariable semRaiz("FIREBIRD", nullptr);
      iniciado.emplace(std::vector<std::string>{instalado.Programa()});
    }
    TProcesso& programa = *iniciado;
    ASSERT_TRUE(programa.EsperaAte([&] { return dztest::ConnectedToServer(programa.Pid()); }))
        << programa.SaidaErros();
    pastasDurante = dztest::PastasDoMotor(temporaria.Path());
    const auto inicio = std::chrono::steady_clock::now();
    programa.Sinal(SIGTERM);
    fim = programa.Espera(60);
    segundos = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
  }  // the server goes on
  EXPECT_EQ(fim.saida, 0);  // -1: killed at the test's bound
  EXPECT_EQ(fim.sinal, 0);
  EXPECT_LT(segundos, 5);
  EXPECT_EQ(pastasDurante, 1);
  EXPECT_EQ(dztest::PastasDoMotor(temporaria.Path()), 0);
  EXPECT_THAT(dztest::Musicas(banco), ::testing::ElementsAre("1|<null>|00:00", "2|<null>|00:00", "3|<null>|00:00"));
}

}  // namespace
