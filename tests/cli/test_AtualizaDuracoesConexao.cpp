// atualiza-duracoes as a process whose connection to the Firebird server on
// 127.0.0.1:3050 (the CTest fixture "fbserver") is lost in the middle of a
// run: the program ends at once with the client's error and exit status 1,
// releasing what it held on the lost connection neither hangs nor fails, and
// every row is either written whole or untouched.

#include "tests/support/LostConnection.h"
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

namespace {

using dztest::FbServer;
using dztest::Roda;
using dztest::TAmostras;
using dztest::TRestartServer;
using dztest::TRodada;
using dztest::TSession;
using dztest::TTestDatabase;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int Linhas = 3000;  // enough for a run of some seconds
constexpr int PerdeDepoisDe = 3;  // rows written before the connection is lost

// Music rows 1..Linhas, all of the same 2 s file.
std::string Catalogo(const TAmostras& amostras) {
  return dztest::InserePasta(1, amostras.Pasta()) +
         "SET TERM ^;\n"
         "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN\n"
         "  WHILE (I <= " + std::to_string(Linhas) + ") DO BEGIN\n"
         "    INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (:I, '00:00', 1, '" +
         TAmostras::Dois + "');\n"
         "    I = I + 1;\n"
         "  END\n"
         "END^\n"
         "SET TERM ;^\n";
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
    TTestDatabase db(Catalogo(amostras), true);
    const std::string banco = "localhost:" + db.Path();
    TRodada r;
    {
      TRestartServer reinicia;
      auto rodada = std::async(std::launch::async, [&] { return Roda({"--database", banco}, dztest::AtualizaPath(), 60); });
      while (Escritas(banco) < PerdeDepoisDe &&
             rodada.wait_for(std::chrono::milliseconds(10)) == std::future_status::timeout) {
      }
      c.perde(banco);
      r = rodada.get();
    }
    EXPECT_EQ(r.saida, 1);  // 124: it hung until timeout stopped it
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
    EXPECT_EQ(resto.saida, 0) << resto.saidaErros;
    EXPECT_EQ(Contagem(banco), std::to_string(Linhas) + " written, 0 untouched, 0 torn");
  }
}

}  // namespace
