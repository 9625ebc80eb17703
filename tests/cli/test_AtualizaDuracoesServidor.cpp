// Faults of a run against the private Firebird server of the CTest fixture
// "fbserver" (scripts/fbserver: 127.0.0.1 on a port of its own, never 3050),
// started before and stopped after: the server killed mid-run, a row locked or deleted by another
// program, a refused or impossible connection, files that cannot be read.
// Each case checks what the catalogue holds afterwards. The run is the
// program itself, or, where a fault must strike between two given rows, the
// program's update run and front end driven in this process with a hook
// after each committed row.

#include "run/Atualizacao.h"
#include "catalogue/Catalogue.h"
#include "tests/cli/CliTestSupport.h"
#include "cli/StatusSaida.h"
#include "tests/support/LostConnection.h"
#include "cli/FrenteTerminal.h"
#include "cli/OpcoesLinha.h"
#include "run/TextoErro.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <sys/stat.h>

namespace {

using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::LinhaDetalhada;
using dztest::Musicas;
using dztest::Roda;
using dztest::TAmostras;
using dztest::TRodada;
using dztest::TSession;
using dztest::TTempDir;
using dztest::TTestDatabase;
using dztest::Versoes;
using dztest::Vinhetas;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string Sucesso = "Atualização realizada com sucesso.\n";


// SYSDBA's password on the server is another one while this object lives,
// so the catalogue's login is refused.
class TOutraSenha {
public:
  explicit TOutraSenha(std::string banco) : banco_(std::move(banco)) { Troca(FbBlocks::Password, Outra); }
  ~TOutraSenha() {
    try {
      Troca(Outra, FbBlocks::Password);
    } catch (const std::exception&) {
      dztest::FbServer("restart");  // a start sets the password again
    }
  }
  TOutraSenha(const TOutraSenha&) = delete;
  TOutraSenha& operator=(const TOutraSenha&) = delete;

private:
  static constexpr std::string_view Outra = "outra123";
  void Troca(std::string_view de, std::string_view para) {
    TFbAttachment conexao = TFbAttachment::Attach(banco_, FbBlocks::AttachBlock(FbBlocks::UserName, de));
    TFbTransaction transacao = TFbTransaction::Start(conexao);
    TFbStatement alteracao =
        TFbStatement::Prepare(conexao, transacao, "ALTER USER SYSDBA PASSWORD '" + std::string(para) + "'");
    alteracao.Execute(transacao);
    transacao.Commit();
  }
  std::string banco_;
};

// The program's front end, as with --verbose off a terminal, writing to a
// temporary file; after each committed row it calls depois.
class TFrenteComGancho : public TFrenteTerminal {
public:
  TFrenteComGancho() : TFrenteComGancho(std::tmpfile()) {}
  ~TFrenteComGancho() override { std::fclose(arquivo_); }
  TFrenteComGancho(const TFrenteComGancho&) = delete;
  TFrenteComGancho& operator=(const TFrenteComGancho&) = delete;

  void LinhaAtualizada(const TLinhaAtualizada& linha) override {
    TFrenteTerminal::LinhaAtualizada(linha);
    if (depois) depois(linha);
  }
  // What the front end has written so far.
  std::string Texto() {
    std::fflush(arquivo_);
    std::string texto;
    std::rewind(arquivo_);
    for (int c; (c = std::fgetc(arquivo_)) != EOF;) texto += static_cast<char>(c);
    return texto;
  }

  std::function<void(const TLinhaAtualizada&)> depois;

private:
  explicit TFrenteComGancho(std::FILE* arquivo) : TFrenteTerminal(arquivo, false, true), arquivo_(arquivo) {}
  std::FILE* arquivo_;
};

// The update run of the program in this process; the text of the error that
// ended it, as the program prints it ("" when none did).
std::string ErroDaRodada(const std::string& banco, TFrenteComGancho& frente) {
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(banco);
  try {
    TAtualizacao(catalogo, frente).Executa();
  } catch (const EDatabaseError& erro) {
    return ComPontoFinal(erro.what());
  }
  return "";
}

class AtualizaDuracoesServidor : public ::testing::Test {
protected:
  static void SetUpTestSuite() { amostras_ = new TAmostras; }
  static void TearDownTestSuite() {
    delete amostras_;
    amostras_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(dztest::FbServer("start"), 0); }  // already running: does nothing

  static std::string Pasta() { return amostras_->Pasta(); }
  static std::string Arquivo(const std::string& nome) { return amostras_->Arquivo(nome); }
  // The catalogue as the server reaches it.
  static std::string NoServidor(const TTestDatabase& db) { return dztest::OnServer(db.Path()); }

  // Five music rows and two jingles, all of real files of 2 to 5 seconds.
  static std::string Catalogo() {
    return InserePasta(1, Pasta()) + InsereMusica(50, "00:00", 1, TAmostras::Tres) +
           InsereMusica(40, "00:00", 1, TAmostras::Cinco) + InsereMusica(30, "00:00", 1, TAmostras::Dois) +
           InsereMusica(20, "00:00", 1, TAmostras::Cinco) + InsereMusica(10, "00:00", 1, TAmostras::Tres) +
           InsereVinheta(2, "00:00", Arquivo(TAmostras::Dois)) + InsereVinheta(1, "00:00", Arquivo(TAmostras::Cinco));
  }
  // Its rows as --verbose tells them.
  static std::string Linha(int codigo) {
    switch (codigo) {
      case 50: return LinhaDetalhada("Tb_Musicas", 50, Pasta() + TAmostras::Tres, 3, "00:03");
      case 40: return LinhaDetalhada("Tb_Musicas", 40, Pasta() + TAmostras::Cinco, 5, "00:05");
      case 30: return LinhaDetalhada("Tb_Musicas", 30, Pasta() + TAmostras::Dois, 2, "00:02");
      case 20: return LinhaDetalhada("Tb_Musicas", 20, Pasta() + TAmostras::Cinco, 5, "00:05");
      case 10: return LinhaDetalhada("Tb_Musicas", 10, Pasta() + TAmostras::Tres, 3, "00:03");
    }
    return "";
  }
  static std::string Vinhetas2e1() {
    return LinhaDetalhada("Tb_Vinhetas", 2, Arquivo(TAmostras::Dois), 2, "00:02") +
           LinhaDetalhada("Tb_Vinhetas", 1, Arquivo(TAmostras::Cinco), 5, "00:05");
  }
  static std::vector<std::string> MusicasCompletas() {
    return {"10|3|00:03", "20|5|00:05", "30|2|00:02", "40|5|00:05", "50|3|00:03"};
  }
  static std::vector<std::string> MusicasIntactas() {
    return {"10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00", "40|<null>|00:00", "50|<null>|00:00"};
  }

  static TAmostras* amostras_;
};

TAmostras* AtualizaDuracoesServidor::amostras_ = nullptr;

// The server is killed after the second row: the run ends with the client's
// error at the third; the two rows before it are committed whole, the rest
// untouched. While the server is down the program cannot connect; after a
// restart a new run does the rest.
TEST_F(AtualizaDuracoesServidor, ServerKilledMidRun) {
  TTestDatabase db(Catalogo(), true);
  const std::string banco = NoServidor(db);
  {
    dztest::TRestartServer reinicia;
    TFrenteComGancho frente;
    int feitas = 0;
    frente.depois = [&](const TLinhaAtualizada&) {
      if (++feitas == 2) {
        EXPECT_EQ(dztest::FbServer("kill"), 0);
      }
    };
    EXPECT_EQ(ErroDaRodada(banco, frente), "Error reading data from the connection.");
    EXPECT_EQ(frente.Texto(), Linha(50) + Linha(40));

    const TRodada parado = Roda({"--database", banco});
    EXPECT_EQ(parado.saida, SaidaErro);
    EXPECT_EQ(parado.saidaPadrao, "");
    EXPECT_EQ(parado.saidaErros,
              "Unable to complete network request to host \"localhost\".\nFailed to establish a connection.\n");
  }
  ASSERT_EQ(dztest::FbServer("status"), 0);
  // The rows before the failure hold both their values, the others neither.
  EXPECT_THAT(Musicas(banco),
              ElementsAre("10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00", "40|5|00:05", "50|3|00:03"));
  EXPECT_THAT(Vinhetas(banco), ElementsAre("1|<null>|00:00", "2|<null>|00:00"));

  const TRodada resto = Roda({"--database", banco, "--verbose"});
  EXPECT_EQ(resto.saida, SaidaOk);
  EXPECT_EQ(resto.saidaErros, "");
  EXPECT_EQ(resto.saidaPadrao, Linha(30) + Linha(20) + Linha(10) + "Progresso: Músicas 3/3 (100%); geral 3/5 (60%)\n" +
                                   Vinhetas2e1() + "Progresso: Vinhetas 2/2 (100%); geral 5/5 (100%)\n" + Sucesso +
                                   dztest::Resumo(5, 0, 5, 0, 0));
  EXPECT_THAT(Musicas(banco), ElementsAreArray(MusicasCompletas()));
  EXPECT_THAT(Vinhetas(banco), ElementsAre("1|5|00:05", "2|2|00:02"));
}

// Another program holds an uncommitted change of the second row: the run
// does not wait for it but ends at once with the lock conflict; the row
// before is committed, the locked row and those after it are untouched.
TEST_F(AtualizaDuracoesServidor, RowLockedByAnotherTransaction) {
  TTestDatabase db(Catalogo(), true);
  const std::string banco = NoServidor(db);
  const std::vector<std::string> antes = Versoes(banco);
  TSession outro(banco);
  ASSERT_EQ(outro.Exec("UPDATE TB_MUSICAS SET MUS_NOME = 'Outro programa' WHERE MUS_CODIGO = 40"), 1);
  const std::string transacao =
      dztest::Show(outro.Scalar("SELECT CAST(CURRENT_TRANSACTION AS INTEGER) FROM RDB$DATABASE"));

  // A run that waited would still be waiting when timeout stops it (exit 124).
  const TRodada r = Roda({"--database", banco, "--verbose"}, dztest::AtualizaPath(), 20);
  EXPECT_EQ(r.saida, SaidaErro);
  EXPECT_LT(r.segundos, 3.0);
  EXPECT_EQ(r.saidaErros,
            "deadlock\nupdate conflicts with concurrent update\nconcurrent transaction number is " + transacao + ".\n");
  EXPECT_EQ(r.saidaPadrao, Linha(50));

  outro.Rollback();
  EXPECT_THAT(Musicas(banco),
              ElementsAre("10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00", "40|<null>|00:00", "50|3|00:03"));
  EXPECT_THAT(dztest::Linhas(banco, "SELECT MUS_NOME FROM TB_MUSICAS WHERE MUS_CODIGO = 40"), ElementsAre("Faixa 40"));
  // No row but 50 was ever written, not even with the values it had.
  const auto semA50 = [](std::vector<std::string> versoes) {
    std::erase_if(versoes, [](const std::string& versao) { return versao.rfind("M 50|", 0) == 0; });
    return versoes;
  };
  EXPECT_THAT(semA50(Versoes(banco)), ElementsAreArray(semA50(antes)));
}

// The run's attachment is ended between the second row's write and its
// commit: the commit fails on its way, and the row is told as not confirmed
// ("gravação não confirmada"), with no line of its own as written, before the
// error ends the run. The row before stays committed; the cut row holds
// either both values or neither, and the rows after it are untouched.
TEST_F(AtualizaDuracoesServidor, ACommitCutOffIsToldAsSuch) {
  TTestDatabase db(Catalogo(), true);
  const std::string banco = NoServidor(db);
  TFrenteComGancho frente;
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(banco);
  TAtualizacao atualizacao(catalogo, frente);
  int gravadas = 0;
  atualizacao.AvisaMomentos([&](TMomento momento) {
    if (momento == TMomento::LinhaGravada && ++gravadas == 2) {
      EXPECT_EQ(dztest::EndOtherAttachments(banco), 1);
    }
  });
  std::string erro;
  try {
    atualizacao.Executa();
  } catch (const EDatabaseError& e) {
    erro = ComPontoFinal(e.what());
  }
  EXPECT_EQ(erro, "connection shutdown.");
  EXPECT_EQ(frente.Texto(), Linha(50) + "gravação não confirmada\tTb_Musicas\t40\t" + Pasta() + TAmostras::Cinco +
                                "\t5\t00:05\n");
  EXPECT_THAT(Musicas(banco), ElementsAre("10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00",
                                          AnyOf("40|<null>|00:00", "40|5|00:05"), "50|3|00:03"));
  EXPECT_THAT(Vinhetas(banco), ElementsAre("1|<null>|00:00", "2|<null>|00:00"));
}

// Another program deletes the second row after the run selected it: its
// write changes no row, "Update Failed."; the row before stays committed.
TEST_F(AtualizaDuracoesServidor, RowDeletedAfterTheSelection) {
  TTestDatabase db(Catalogo(), true);
  const std::string banco = NoServidor(db);
  TFrenteComGancho frente;
  frente.depois = [&](const TLinhaAtualizada& linha) {
    if (linha.codigo != 50) return;
    TSession outro(banco);
    outro.Exec("DELETE FROM TB_MUSICAS WHERE MUS_CODIGO = 40");
    outro.Commit();
  };
  EXPECT_EQ(ErroDaRodada(banco, frente), "Update Failed.");
  EXPECT_EQ(frente.Texto(), Linha(50));
  EXPECT_THAT(Musicas(banco), ElementsAre("10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00", "50|3|00:03"));
  EXPECT_THAT(Vinhetas(banco), ElementsAre("1|<null>|00:00", "2|<null>|00:00"));
}

// No connection: the client's text (or the catalogue's own) on standard
// error with its full stop, exit status 1, nothing on standard output, and
// no row of the catalogue written.
TEST_F(AtualizaDuracoesServidor, NoConnection) {
  TTestDatabase db(Catalogo(), true);
  const std::string banco = NoServidor(db);
  const TTempDir pasta;
  const std::string semCaminho = pasta.File("BaseAudio.ini");
  dztest::WriteFile(semCaminho, dztest::Ini({"[BANCO]", "CAMINHO="}));
  const std::string faltando = db.Dir().File("faltando.fdb");
  struct TCase {
    const char* what;
    std::function<std::unique_ptr<TOutraSenha>()> prepara;
    std::vector<std::string> argumentos;
    std::string saidaErros;
  };
  const auto nada = [] { return std::unique_ptr<TOutraSenha>(); };
  const TCase cases[] = {
      {"a wrong password", [&] { return std::make_unique<TOutraSenha>(banco); }, {"--database", banco},
       "Your user name and password are not defined. Ask your database administrator to set up a Firebird login.\n"},
      {"no server on the port", nada, {"--database", "localhost/3051:" + db.Path()},
       "Unable to complete network request to host \"localhost\".\nFailed to establish a connection.\n"},
      {"a missing database file", nada, {"--database", dztest::OnServer(faltando)},
       "I/O error during \"open\" operation for file \"" + faltando +
           "\"\nError while trying to open file\nNo such file or directory.\n"},
      {"an empty CAMINHO", nada, {"--config", semCaminho}, "Database name is missing.\n"},
  };
  const std::vector<std::string> antes = Versoes(banco);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TRodada r;
    {
      const auto preparo = c.prepara();
      r = Roda(c.argumentos);
    }
    EXPECT_EQ(r.saida, SaidaErro);
    EXPECT_EQ(r.saidaPadrao, "");
    EXPECT_EQ(r.saidaErros, c.saidaErros);
  }
  EXPECT_THAT(Versoes(banco), ElementsAreArray(antes));
  EXPECT_THAT(Musicas(banco), ElementsAreArray(MusicasIntactas()));
}

// A path that names a folder, and what is no regular file (named pipes with
// an MP3 and a WAV name, never opened): those rows get 0 and "00:00", with
// the reason, and the run goes on to the end.
TEST_F(AtualizaDuracoesServidor, FolderAndUnreadableFiles) {
  const TTempDir especiais;
  std::filesystem::create_directory(especiais.Path() / "pasta.wav");
  std::filesystem::create_directory(especiais.Path() / "pasta.mp3");
  for (const char* fila : {"fila.mp3", "fila.wav"}) ASSERT_EQ(::mkfifo(especiais.File(fila).c_str(), 0644), 0);
  const std::string outra = especiais.Path().string() + "/";
  TTestDatabase db(InserePasta(1, outra) + InserePasta(2, Pasta()) + InsereMusica(50, "00:00", 2, TAmostras::Tres) +
                       InsereMusica(40, "00:00", 1, "pasta.wav") + InsereMusica(30, "00:00", 1, "fila.mp3") +
                       InsereMusica(20, "00:00", 1, "fila.wav") + InsereMusica(10, "00:00", 2, TAmostras::Cinco) +
                       InsereVinheta(2, "00:00", especiais.File("pasta.mp3")) +
                       InsereVinheta(1, "00:00", especiais.File("fila.wav")),
                   true);
  const std::string banco = NoServidor(db);
  const TRodada r = Roda({"--database", banco, "--verbose"}, dztest::AtualizaPath(), 20);
  EXPECT_EQ(r.saida, SaidaOk);
  EXPECT_EQ(r.saidaErros, "");
  EXPECT_EQ(r.saidaPadrao,
            Linha(50) + LinhaDetalhada("Tb_Musicas", 40, outra + "pasta.wav", 0, "00:00", "arquivo inexistente") +
                LinhaDetalhada("Tb_Musicas", 30, outra + "fila.mp3", 0, "00:00", "não é um arquivo comum") +
                LinhaDetalhada("Tb_Musicas", 20, outra + "fila.wav", 0, "00:00", "não é um arquivo comum") +
                LinhaDetalhada("Tb_Musicas", 10, Pasta() + TAmostras::Cinco, 5, "00:05") +
                "Progresso: Músicas 5/5 (100%); geral 5/7 (71%)\n" +
                LinhaDetalhada("Tb_Vinhetas", 2, outra + "pasta.mp3", 0, "00:00", "arquivo inexistente") +
                LinhaDetalhada("Tb_Vinhetas", 1, outra + "fila.wav", 0, "00:00", "não é um arquivo comum") +
                "Progresso: Vinhetas 2/2 (100%); geral 7/7 (100%)\n" + Sucesso + dztest::Resumo(7, 0, 7, 0, 5));
  EXPECT_THAT(Musicas(banco), ElementsAre("10|5|00:05", "20|0|00:00", "30|0|00:00", "40|0|00:00", "50|3|00:03"));
  EXPECT_THAT(Vinhetas(banco), ElementsAre("1|0|00:00", "2|0|00:00"));
}

}  // namespace
