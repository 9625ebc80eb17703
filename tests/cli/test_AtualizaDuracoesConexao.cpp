// atualiza-duracoes as a process whose connection to the private Firebird
// server of the CTest fixture "fbserver" is lost, or whose server stalls, at
// a known row of a run or in its attach: the program ends with the client's
// error (or its own "O servidor não respondeu em N s.") and exit status 1, or
// as stopped when a stop signal came, within seconds; releasing what it held
// on the lost connection neither hangs nor fails, and every row is either
// written whole or untouched.

#include "tests/support/LostConnection.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/CatalogoGrande.h"
#include "cli/StatusSaida.h"
#include "tests/support/Processo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using dztest::FbServer;
using dztest::Roda;
using dztest::TAmostras;
using dztest::TRestartServer;
using dztest::TRodada;
using dztest::TProcesso;
using dztest::TSession;
using dztest::TTestDatabase;
using dztest::TServerPaused;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int Linhas = 3000;  // enough for a run of some seconds
constexpr int PerdeDepoisDe = 3;  // rows written before the connection is lost

// A catalogue for the server with music rows 1..Linhas, all of the same 2 s file.
std::unique_ptr<TTestDatabase> Catalogo(const TAmostras& amostras) {
  auto db = std::make_unique<TTestDatabase>(dztest::InserePasta(1, amostras.Pasta()), true);
  dztest::InsereMusicas(db->Path(), Linhas, 1, TAmostras::Dois);
  return db;
}

// "written" rows with both values, "untouched" rows with neither, and "torn" others.
std::string Contagem(const std::string& banco) {
  TSession s(banco);
  const auto count = [&](const char* where) {
    return dztest::Show(s.Scalar(std::string("SELECT COUNT(*) FROM TB_MUSICAS WHERE ") + where));
  };
  return count("MUS_SEGUNDOS = 2 AND MUS_TEMPO = '00:02'") + " written, " +
         count("MUS_SEGUNDOS IS NULL AND MUS_TEMPO = '00:00'") + " untouched, " +
         count("NOT ((MUS_SEGUNDOS = 2 AND MUS_TEMPO = '00:02') OR (MUS_SEGUNDOS IS NULL AND MUS_TEMPO = '00:00'))") +
         " torn";
}

int Escritas(const std::string& banco) {
  TSession s(banco);
  return std::get<std::int32_t>(s.Scalar("SELECT COUNT(*) FROM TB_MUSICAS WHERE MUS_TEMPO <> '00:00'"));
}

// The program (--verbose into a one-page pipe) has written the line of row
// PerdeDepoisDe + 1, which the test has read, and still runs: it goes on to
// a full pipe a few dozen rows later, far from the end, and waits there.
::testing::AssertionResult ParadoNoCano(TProcesso& programa) {
  const auto linhas = [&] {
    const std::string saida = programa.SaidaPadrao();
    return static_cast<int>(std::count(saida.begin(), saida.end(), '\n'));
  };
  if (!programa.EsperaAte([&] { return linhas() > PerdeDepoisDe; }, 60)) {
    return ::testing::AssertionFailure() << "the run ended (or hung) before its line " << PerdeDepoisDe + 1
                                         << "; output:\n" << programa.SaidaPadrao() << programa.SaidaErros();
  }
  if (!programa.Rodando())
    return ::testing::AssertionFailure() << "the run ended before the fault; output:\n" << programa.SaidaErros();
  return ::testing::AssertionSuccess();
}

TEST(AtualizaDuracoesConexao, ConnectionLostMidRun) {
  struct TCase {
    const char* what;
    std::function<void(const std::string& banco)> perde;
    std::string erro;  // standard error
  };
  const TCase cases[] = {
      {"the server killed", [](const std::string&) { EXPECT_EQ(FbServer("kill"), 0); },
       "Error reading data from the connection.\n"},
      {"the attachment ended by an administrator",
       [](const std::string& banco) { EXPECT_EQ(dztest::EndOtherAttachments(banco), 1); }, "connection shutdown.\n"},
  };
  const TAmostras amostras;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(FbServer("start"), 0);
    const std::unique_ptr<TTestDatabase> catalogo = Catalogo(amostras);
    const TTestDatabase& db = *catalogo;
    const std::string banco = dztest::OnServer(db.Path());
    TRodada r;
    {
      TRestartServer reinicia;
      // --verbose writes a line per row into a one-page pipe: once the test
      // has read the line of row PerdeDepoisDe + 1 and reads no more, the
      // program stops on a full pipe a few dozen rows later, far from the
      // end, and waits there until the fault is in place.
      TProcesso programa({dztest::AtualizaPath(), "--idade-minima=0", "--database", banco, "--verbose"}, TProcesso::TSaida::CanoCurto);
      ASSERT_TRUE(ParadoNoCano(programa));
      ASSERT_LT(Escritas(banco), Linhas) << "the run wrote every row before the fault";
      c.perde(banco);
      // Reads on, so that the program gets past the full pipe to the lost connection.
      const dztest::TFimProcesso fim = programa.EsperaLendo(60);
      r.saida = fim.saida;
      r.saidaErros = programa.SaidaErros();
    }
    EXPECT_EQ(r.saida, SaidaErro);  // 124: it hung until timeout stopped it
    EXPECT_EQ(r.saidaErros, c.erro);
    EXPECT_THAT(r.saidaErros, Not(HasSubstr("Sanitizer")));
    EXPECT_THAT(r.saidaErros, Not(HasSubstr("runtime error")));
    const int escritas = Escritas(banco);
    EXPECT_GE(escritas, PerdeDepoisDe);
    EXPECT_LT(escritas, Linhas);
    EXPECT_EQ(Contagem(banco), std::to_string(escritas) + " written, " + std::to_string(Linhas - escritas) +
                                   " untouched, 0 torn");

    // A new run does the rest.
    const TRodada resto = Roda({"--database", banco}, dztest::AtualizaPath(), 120);
    EXPECT_EQ(resto.saida, SaidaOk) << resto.saidaErros;
    EXPECT_EQ(Contagem(banco), std::to_string(Linhas) + " written, 0 untouched, 0 torn");
  }
}

// The rows the run logged (--verbose: a line per row written and committed).
int Registradas(const std::string& saida) {
  int linhas = 0;
  for (std::size_t at = 0; (at = saida.find("Tb_Musicas\t", at)) != std::string::npos; ++at)
    linhas += at == 0 || saida[at - 1] == '\n';
  return linhas;
}

double SegundosDesde(std::chrono::steady_clock::time_point inicio) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
}

// The server pauses (SIGSTOP) after row PerdeDepoisDe has been logged, while
// the run goes on towards its full output pipe. Without a signal, the call
// that waits is ended at the limit; with SIGTERM, the program ends as stopped
// within 5 s, however long the limit. Every row logged is committed, none is
// torn, the database is consistent once the server goes on, and a new run
// does the rest.
TEST(AtualizaDuracoesConexao, ServerStalledMidRun) {
  struct TCase {
    const char* what;
    const char* limite;  // --tempo-limite
    int sinal;           // sent while the server is paused; 0: none
    int saida;
    std::string erro;
    double segundos;  // the most the program may take once the server is paused
  };
  const TCase cases[] = {
      {"no answer within the limit", "2", 0, SaidaErro, "O servidor não respondeu em 2 s.\n", 2 + 5},
      {"SIGTERM while the server is paused", "600", SIGTERM, SaidaPorSinal(SIGTERM), "Interrompido.\n", 5},
  };
  const TAmostras amostras;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(FbServer("start"), 0);
    const std::unique_ptr<TTestDatabase> catalogo = Catalogo(amostras);
    const TTestDatabase& db = *catalogo;
    const std::string banco = dztest::OnServer(db.Path());
    TRodada r;
    double segundos = 0;
    {
      TRestartServer reinicia;
      TProcesso programa({dztest::AtualizaPath(), "--idade-minima=0", "--database", banco, "--verbose", "--tempo-limite", c.limite},
                         TProcesso::TSaida::CanoCurto);
      ASSERT_TRUE(ParadoNoCano(programa));
      TServerPaused pausa;
      ASSERT_TRUE(pausa.Paused());
      const auto inicio = std::chrono::steady_clock::now();
      if (c.sinal != 0) programa.Sinal(c.sinal);
      // Reads on: the program gets past the full pipe to the paused server.
      const dztest::TFimProcesso fim = programa.EsperaLendo(60);
      segundos = SegundosDesde(inicio);
      r.saida = fim.saida;
      r.saidaPadrao = programa.SaidaPadrao();
      r.saidaErros = programa.SaidaErros();
    }  // the server goes on
    EXPECT_EQ(r.saida, c.saida);  // 124: it hung until the test's bound
    EXPECT_EQ(r.saidaErros, c.erro);
    EXPECT_LT(segundos, c.segundos);
    // Every row logged is committed. The pause may come while a row's
    // commit is on its way to the server: the server then carries it out
    // when it goes on, though the program gave it up, so one row more than
    // the log tells may hold its length, and only where the log says so.
    const int escritas = Escritas(banco);
    const int registradas = Registradas(r.saidaPadrao);
    const bool cortada = r.saidaPadrao.find("\ngravação não confirmada\tTb_Musicas\t") != std::string::npos;
    EXPECT_GE(escritas, registradas);
    EXPECT_LE(escritas, registradas + (cortada ? 1 : 0));
    EXPECT_GE(registradas, PerdeDepoisDe);
    EXPECT_LT(escritas, Linhas);
    EXPECT_EQ(Contagem(banco), std::to_string(escritas) + " written, " + std::to_string(Linhas - escritas) +
                                   " untouched, 0 torn");
    EXPECT_EQ(dztest::FullValidation(banco), "exit 0\n");

    const TRodada resto = Roda({"--database", banco}, dztest::AtualizaPath(), 120);
    EXPECT_EQ(resto.saida, SaidaOk) << resto.saidaErros;
    EXPECT_EQ(Contagem(banco), std::to_string(Linhas) + " written, 0 untouched, 0 torn");
  }
}

// A server paused before the run: the attach is given up at the limit.
TEST(AtualizaDuracoesConexao, ServerStalledBeforeTheRun) {
  ASSERT_EQ(FbServer("start"), 0);
  const TAmostras amostras;
  const std::unique_ptr<TTestDatabase> catalogo = Catalogo(amostras);
  const TTestDatabase& db = *catalogo;
  const std::string banco = dztest::OnServer(db.Path());
  TRodada r;
  {
    TRestartServer reinicia;
    TServerPaused pausa;
    ASSERT_TRUE(pausa.Paused());
    r = Roda({"--database", banco, "--tempo-limite", "2"}, dztest::AtualizaPath(), 60);
  }
  EXPECT_EQ(r.saida, SaidaErro);
  EXPECT_EQ(r.saidaErros, "O servidor não respondeu em 2 s.\n");
  EXPECT_EQ(r.saidaPadrao, "");
  EXPECT_LT(r.segundos, 2 + 5);
  EXPECT_EQ(Contagem(banco), "0 written, " + std::to_string(Linhas) + " untouched, 0 torn");
}

// A server paused before the run, and a stop signal once the program is in
// its attach: whatever the limit, the program ends as stopped within
// seconds, the attach left waiting, and no row is touched.
TEST(AtualizaDuracoesConexao, StopWhileTheAttachWaits) {
  struct TCase {
    const char* what;
    std::vector<std::string> limite;  // arguments
    int sinal;
  };
  const TCase cases[] = {
      {"SIGTERM, the default limit", {}, SIGTERM},
      {"SIGTERM, --tempo-limite 86400", {"--tempo-limite", "86400"}, SIGTERM},
      {"SIGINT, --tempo-limite 86400", {"--tempo-limite", "86400"}, SIGINT},
  };
  ASSERT_EQ(FbServer("start"), 0);
  const TAmostras amostras;
  const std::unique_ptr<TTestDatabase> catalogo = Catalogo(amostras);
  const std::string banco = dztest::OnServer(catalogo->Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dztest::TFimProcesso fim;
    std::string saida;
    std::string erros;
    double segundos = 0;
    {
      TRestartServer reinicia;
      TServerPaused pausa;
      ASSERT_TRUE(pausa.Paused());
      std::vector<std::string> argumentos = {dztest::AtualizaPath(), "--database", banco};
      argumentos.insert(argumentos.end(), c.limite.begin(), c.limite.end());
      TProcesso programa(argumentos);
      ASSERT_TRUE(programa.EsperaAte([&] { return dztest::ConnectedToServer(programa.Pid()); }))
          << programa.SaidaErros();
      const auto inicio = std::chrono::steady_clock::now();
      programa.Sinal(c.sinal);
      fim = programa.Espera(60);
      segundos = SegundosDesde(inicio);
      saida = programa.SaidaPadrao();
      erros = programa.SaidaErros();
    }  // the server goes on
    EXPECT_EQ(fim.saida, SaidaPorSinal(c.sinal));  // -1: killed at the test's bound
    EXPECT_EQ(fim.sinal, 0);
    EXPECT_EQ(erros, "Interrompido.\n");
    EXPECT_EQ(saida, "");
    EXPECT_LT(segundos, 5);
    EXPECT_EQ(Contagem(banco), "0 written, " + std::to_string(Linhas) + " untouched, 0 torn");
  }
}

}  // namespace
