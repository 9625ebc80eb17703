#include "app/run/Atualizacao.h"

#include "catalogue/Catalogue.h"
#include "tests/app/CatalogueDb.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

using dztest::TSession;
using dztest::TTestDatabase;
using dztest::TTempDir;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::StartsWith;

const char* NomeBarra(TBarra barra) { return barra == TBarra::Atual ? "Atual" : "Geral"; }

// A front end without a window: bars that clamp like the window's, and a log
// of every call the run makes, in order.
class TFrenteGravada : public TFrenteAtualizacao {
public:
  void DefineMaximo(TBarra barra, std::int32_t maximo) override {
    log.push_back(std::string("max ") + NomeBarra(barra) + " " + std::to_string(maximo));
    Barra(barra).maximo = maximo;
    Barra(barra).progresso = std::min(Barra(barra).progresso, maximo);
  }
  void DefineProgresso(TBarra barra, std::int32_t progresso) override {
    log.push_back(std::string(NomeBarra(barra)) + " " + std::to_string(progresso));
    Barra(barra).progresso = std::clamp(progresso, 0, Barra(barra).maximo);
  }
  std::int32_t Progresso(TBarra barra) const override {
    return barra == TBarra::Atual ? atual.progresso : geral.progresso;
  }
  void DefineRotulo(const std::string& texto) override { log.push_back("rotulo " + texto); }
  void Mensagem(const std::string& texto) override { log.push_back("mensagem " + texto); }
  void LinhaAtualizada(const TLinhaAtualizada& linha) override {
    linhas.push_back(linha);
    log.push_back(std::string(linha.tabela == TTabela::Musicas ? "musica " : "vinheta ") +
                  std::to_string(linha.codigo));
    if (aoGravar) aoGravar(linha);
  }

  struct TValores {
    std::int32_t maximo = 100;
    std::int32_t progresso = 0;
  } atual, geral;
  std::vector<std::string> log;
  std::vector<TLinhaAtualizada> linhas;
  std::function<void(const TLinhaAtualizada&)> aoGravar;

private:
  TValores& Barra(TBarra barra) { return barra == TBarra::Atual ? atual : geral; }
};

// Runs the update run; the text of the database error that ended it, or "(no error)".
std::string ErroDaRodada(TCatalogo& catalogo, TFrenteAtualizacao& frente) {
  return dztest::ErrorText([&] { TAtualizacao(catalogo, frente).Executa(); });
}

// Real audio files, made once for all tests.
class AtualizacaoTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    audio_ = new TTempDir;
    std::filesystem::create_directory(audio_->Path() / "sub");
    const std::string commands[] = {
        Sox("tres.wav", 3),
        Sox("dois.wav", 2),
        Sox("sub/faixa.wav", 4),
        Sox("sub/falta.wav", 6),
        Sox("subfaixa.wav", 1),
        Sox("cinco-src.wav", 5, 44100, 2) + " && lame --quiet " + dztest::ShellQuote(File("cinco-src.wav")) + " " +
            dztest::ShellQuote(File("cinco.mp3")),
    };
    for (const auto& command : commands) ASSERT_EQ(dztest::RunCommand(command), 0) << command;
  }
  static void TearDownTestSuite() {
    delete audio_;
    audio_ = nullptr;
  }

  // A folder path with its separator, as the catalogue's Tb_Pastas holds it.
  static std::string Folder() { return audio_->Path().string() + "/"; }
  static std::string File(const std::string& name) { return audio_->File(name); }
  static std::string Sox(const std::string& name, int seconds, int rate = 8000, int channels = 1) {
    return "sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 " +
           dztest::ShellQuote(File(name)) + " synth " + std::to_string(seconds) + " sine 440";
  }

  // Three music rows (a WAV file, an MP3 file, a missing file) and one jingle.
  static std::string ThreeAndOne() {
    return "INSERT INTO TB_PASTAS VALUES (1, '" + Folder() + "');\n" +
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) "
           "VALUES (30, 'Tres', '00:00', 1, 'tres.wav');\n"
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) "
           "VALUES (20, 'Cinco', '00:00', 1, 'cinco.mp3');\n"
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) "
           "VALUES (10, 'Falta', '00:00', 1, 'falta.wav');\n"
           "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TEMPO, VIN_ARQUIVO) "
           "VALUES (1, 'Vinheta', '00:00', '" +
           File("dois.wav") + "');\n";
  }

  // The run's log for ThreeAndOne, from its start to its end.
  static std::vector<std::string> ThreeAndOneLog() {
    return {"max Geral 4", "Geral 0", "Atual 0", "max Atual 3", "rotulo Progresso: Músicas",
            "Atual 1", "Geral 1", "musica 30",
            "Atual 2", "Geral 2", "musica 20",
            "Atual 3", "Geral 3", "musica 10",
            "Atual 0", "max Atual 1", "rotulo Progresso: Vinhetas",
            "Atual 1", "Geral 4", "vinheta 1",
            "mensagem Atualização realizada com sucesso."};
  }

  static std::vector<std::string> Musicas(const TTestDatabase& db) {
    return dztest::Linhas(db.Path(), "SELECT MUS_CODIGO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS ORDER BY MUS_CODIGO");
  }
  static std::vector<std::string> Vinhetas(const TTestDatabase& db) {
    return dztest::Linhas(db.Path(), "SELECT VIN_CODIGO, VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS ORDER BY VIN_CODIGO");
  }

  static TTempDir* audio_;
};

TTempDir* AtualizacaoTest::audio_ = nullptr;

TEST_F(AtualizacaoTest, ThreeMusicRowsAndOneJingle) {
  TTestDatabase db(ThreeAndOne());
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());  // not connected: the run connects
  TFrenteGravada frente;
  TAtualizacao(catalogo, frente).Executa();

  EXPECT_THAT(frente.log, ElementsAreArray(ThreeAndOneLog()));
  // What the run tells of each row, in the order of the queries (keys descending).
  struct TLinhaEsperada {
    TTabela tabela;
    std::int32_t codigo;
    std::string caminho;
    std::int32_t segundos;
    std::string tempo;
    TMotivoDuracao motivo;
  };
  const TLinhaEsperada esperadas[] = {
      {TTabela::Musicas, 30, Folder() + "tres.wav", 3, "00:03", TMotivoDuracao::Medida},
      {TTabela::Musicas, 20, Folder() + "cinco.mp3", 5, "00:05", TMotivoDuracao::Medida},
      {TTabela::Musicas, 10, Folder() + "falta.wav", 0, "00:00", TMotivoDuracao::ArquivoInexistente},
      {TTabela::Vinhetas, 1, File("dois.wav"), 2, "00:02", TMotivoDuracao::Medida},
  };
  ASSERT_EQ(frente.linhas.size(), std::size(esperadas));
  for (std::size_t i = 0; i < std::size(esperadas); ++i) {
    SCOPED_TRACE(esperadas[i].caminho);
    EXPECT_EQ(frente.linhas[i].tabela, esperadas[i].tabela);
    EXPECT_EQ(frente.linhas[i].codigo, esperadas[i].codigo);
    EXPECT_EQ(frente.linhas[i].caminho, esperadas[i].caminho);
    EXPECT_EQ(frente.linhas[i].segundos, esperadas[i].segundos);
    EXPECT_EQ(frente.linhas[i].tempo, esperadas[i].tempo);
    EXPECT_EQ(frente.linhas[i].motivo, esperadas[i].motivo);
  }
  // Written and committed: another attachment sees them while the catalogue is still open.
  EXPECT_THAT(Musicas(db), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  EXPECT_THAT(Vinhetas(db), ElementsAre("1|2|00:02"));
}

TEST_F(AtualizacaoTest, SmallCatalogues) {
  const std::string folder = "INSERT INTO TB_PASTAS VALUES (1, '" + Folder() + "');\n";
  const std::vector<std::string> nothingToDo = {
      "max Geral 0", "Geral 0", "Atual 0", "max Atual 0", "rotulo Progresso: Músicas",
      "Atual 0", "max Atual 0", "rotulo Progresso: Vinhetas", "mensagem Não há arquivos sem duração cadastradas."};
  struct TCase {
    const char* what;
    std::string sql;
    std::vector<std::string> log;
  };
  const TCase cases[] = {
      {"nothing to do: a length already, a time text other than 00:00, a row without its folder",
       folder +
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (1, '03:00', 1, 'tres.wav');\n"
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (2, '0:00', 1, 'tres.wav');\n"
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (3, '00:00', 9, 'tres.wav');\n"
           "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (1, NULL, 'x.wav');\n",
       nothingToDo},
      {"empty tables", "", nothingToDo},
      {"only jingles: both bars count them",
       "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (1, '00:00', '" + File("dois.wav") +
           "');\n"
           "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (2, '00:00', '" +
           File("tres.wav") + "');\n",
       {"max Geral 2", "Geral 0", "Atual 0", "max Atual 0", "rotulo Progresso: Músicas", "Atual 0", "max Atual 2",
        "rotulo Progresso: Vinhetas", "Atual 1", "Geral 1", "vinheta 2", "Atual 2", "Geral 2", "vinheta 1",
        "mensagem Atualização realizada com sucesso."}},
      {"every file missing: still walked and written, and a success",
       folder +
           "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (5, '00:00', 1, 'nada.mp3');\n"
           "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (1, '00:00', NULL);\n",
       {"max Geral 2", "Geral 0", "Atual 0", "max Atual 1", "rotulo Progresso: Músicas", "Atual 1", "Geral 1",
        "musica 5", "Atual 0", "max Atual 1", "rotulo Progresso: Vinhetas", "Atual 1", "Geral 2", "vinheta 1",
        "mensagem Atualização realizada com sucesso."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(c.sql);
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(db.Path());
    TFrenteGravada frente;
    TAtualizacao(catalogo, frente).Executa();
    EXPECT_THAT(frente.log, ElementsAreArray(c.log));
  }
}

// The folder's path runs straight into the file name.
TEST_F(AtualizacaoTest, FolderWithoutTrailingSeparator) {
  TTestDatabase db("INSERT INTO TB_PASTAS VALUES (1, '" + File("sub") + "');\n" +
                  "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) "
                  "VALUES (1, '00:00', 1, 'faixa.wav');\n");
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  TFrenteGravada frente;
  TAtualizacao(catalogo, frente).Executa();
  ASSERT_EQ(frente.linhas.size(), 1u);
  EXPECT_EQ(frente.linhas[0].caminho, File("subfaixa.wav"));
  // subfaixa.wav lasts 1 s; sub/faixa.wav, which is not looked up, 4 s.
  EXPECT_THAT(Musicas(db), ElementsAre("1|1|00:01"));
}

// A second press selects again: a row that has a length since is left alone
// (also one that another program gave another length), a row that came to
// lack one is taken, and a row whose file gave 0 is measured again.
TEST_F(AtualizacaoTest, SecondPress) {
  TTestDatabase db(ThreeAndOne());
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  TFrenteGravada frente;
  TAtualizacao(catalogo, frente).Executa();
  ASSERT_THAT(frente.log, ElementsAreArray(ThreeAndOneLog()));

  dztest::Executa(db.Path(), {"UPDATE TB_MUSICAS SET MUS_SEGUNDOS = 99, MUS_TEMPO = '01:39' WHERE MUS_CODIGO = 30",
                              "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) "
                              "VALUES (40, '00:00', 1, 'tres.wav')"});
  frente.log.clear();
  TAtualizacao(catalogo, frente).Executa();
  // Both bars start from zero again, with this run's counts.
  EXPECT_THAT(frente.log, ElementsAre("max Geral 2", "Geral 0", "Atual 0", "max Atual 2", "rotulo Progresso: Músicas",
                                      "Atual 1", "Geral 1", "musica 40", "Atual 2", "Geral 2", "musica 10", "Atual 0",
                                      "max Atual 0", "rotulo Progresso: Vinhetas",
                                      "mensagem Atualização realizada com sucesso."));
  EXPECT_THAT(Musicas(db), ElementsAre("10|0|00:00", "20|5|00:05", "30|99|01:39", "40|3|00:03"));
  EXPECT_THAT(Vinhetas(db), ElementsAre("1|2|00:02"));
}

// Errors end the run where they happen and pass to the caller; the rows
// written before stay committed.
TEST_F(AtualizacaoTest, Failures) {
  struct TCase {
    const char* what;
    std::string sql;                                               // rows and schema changes
    std::function<std::string(const TTestDatabase&)> databaseName;  // what the connection holds
    std::function<std::unique_ptr<TSession>(const TTestDatabase&)> lock;
    std::string textStart, textEnd;  // the error's text
    std::vector<std::string> log;    // what the front end saw until then
    std::vector<std::string> musicas;
    std::vector<std::string> retryLog;  // the cause goes away afterwards: the next run's log (none: no retry)
  };
  const auto ownPath = [](const TTestDatabase& db) { return db.Path(); };
  const auto noLock = [](const TTestDatabase&) { return std::unique_ptr<TSession>(); };
  const std::vector<std::string> untouched = {"10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00"};
  const TCase cases[] = {
      {"empty database name", ThreeAndOne(), [](const TTestDatabase&) { return std::string(); }, noLock,
       "Database name is missing", "Database name is missing", {}, untouched, {}},
      {"wrong path", ThreeAndOne(), [](const TTestDatabase& db) { return db.Path() + ".missing"; }, noLock,
       "I/O error during \"open\" operation for file", "No such file or directory", {}, untouched, {}},
      {"missing table", ThreeAndOne() + "COMMIT;\nDROP TABLE TB_VINHETAS;\n", ownPath, noLock,
       "Dynamic SQL Error", "", {}, untouched, {}},
      {"missing column", ThreeAndOne() + "COMMIT;\nALTER TABLE TB_VINHETAS DROP VIN_SEGUNDOS;\n", ownPath, noLock,
       "Q_Vinhetas: Field 'VIN_SEGUNDOS' not found", "Q_Vinhetas: Field 'VIN_SEGUNDOS' not found", {}, untouched,
       {}},
      {"a row locked by another program", ThreeAndOne(), ownPath,
       [](const TTestDatabase& db) {
         auto other = std::make_unique<TSession>(db.Path());
         other->Exec("UPDATE TB_MUSICAS SET MUS_NOME = 'x' WHERE MUS_CODIGO = 20");
         return other;
       },
       "deadlock\nupdate conflicts with concurrent update", "",
       {"max Geral 4", "Geral 0", "Atual 0", "max Atual 3", "rotulo Progresso: Músicas", "Atual 1", "Geral 1",
        "musica 30", "Atual 2", "Geral 2"},
       {"10|<null>|00:00", "20|<null>|00:00", "30|3|00:03"},
       // The rows still without a length.
       {"max Geral 3", "Geral 0", "Atual 0", "max Atual 2", "rotulo Progresso: Músicas", "Atual 1", "Geral 1",
        "musica 20", "Atual 2", "Geral 2", "musica 10", "Atual 0", "max Atual 1", "rotulo Progresso: Vinhetas",
        "Atual 1", "Geral 3", "vinheta 1", "mensagem Atualização realizada com sucesso."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(c.sql);
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(c.databaseName(db));
    TFrenteGravada frente;
    std::string text;
    {
      const auto lock = c.lock(db);
      text = ErroDaRodada(catalogo, frente);
    }
    EXPECT_THAT(text, StartsWith(c.textStart));
    EXPECT_THAT(text, EndsWith(c.textEnd));
    EXPECT_THAT(frente.log, ElementsAreArray(c.log));
    EXPECT_THAT(Musicas(db), ElementsAreArray(c.musicas));
    if (c.retryLog.empty()) continue;
    frente.log.clear();
    TAtualizacao(catalogo, frente).Executa();
    EXPECT_THAT(frente.log, ElementsAreArray(c.retryLog));
    EXPECT_THAT(Musicas(db), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  }
}

// A row deleted by another program after the run selected it cannot be
// written: "Update Failed"; the rows before it stay written.
TEST_F(AtualizacaoTest, RowDeletedSinceTheSelection) {
  TTestDatabase db(ThreeAndOne());
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  TFrenteGravada frente;
  frente.aoGravar = [&](const TLinhaAtualizada& linha) {
    if (linha.codigo == 30) dztest::Executa(db.Path(), {"DELETE FROM TB_MUSICAS WHERE MUS_CODIGO = 20"});
  };
  const std::string text = ErroDaRodada(catalogo, frente);
  EXPECT_EQ(text, "Update Failed");
  EXPECT_EQ(frente.log.back(), "Geral 2");
  EXPECT_THAT(Musicas(db), ElementsAre("10|<null>|00:00", "30|3|00:03"));
}

// Another program re-points a row, or gives it a length, while the run is
// on its way to it: the run never writes into it the length of the file it
// named before. It ends there with "Update Failed" and the row keeps what the
// other program wrote; the next run measures it again if it still lacks a
// length.
TEST_F(AtualizacaoTest, RowChangedDuringTheRun) {
  struct TCase {
    const char* what;
    TTabela after;                 // the other program acts after this table's row ...
    std::int32_t afterKey;         // ... of this key is written
    std::string sql;
    std::vector<std::string> lastLog;  // the failed run's log ends with
    std::vector<std::string> musicas, vinhetas;          // after the failed run
    std::vector<std::string> musicasNext, vinhetasNext;  // after the next run
  };
  const std::vector<std::string> failsAtMusic10 = {"Atual 3", "Geral 3"};
  const std::vector<std::string> failsAtJingle1 = {"rotulo Progresso: Vinhetas", "Atual 1", "Geral 4"};
  const std::vector<std::string> musicDone = {"10|0|00:00", "20|5|00:05", "30|3|00:03"};
  const TCase cases[] = {
      {"music row re-pointed from a missing file to a real one, with its length", TTabela::Musicas, 20,
       "UPDATE TB_MUSICAS SET MUS_ARQUIVO = 'subfaixa.wav', MUS_SEGUNDOS = 1, MUS_TEMPO = '00:01' WHERE MUS_CODIGO = 10",
       failsAtMusic10, {"10|1|00:01", "20|5|00:05", "30|3|00:03"}, {"1|<null>|00:00"},
       {"10|1|00:01", "20|5|00:05", "30|3|00:03"}, {"1|2|00:02"}},
      {"music row moved to another folder", TTabela::Musicas, 20,
       "UPDATE TB_MUSICAS SET PAS_CODIGO = 2, MUS_ARQUIVO = 'faixa.wav' WHERE MUS_CODIGO = 10", failsAtMusic10,
       {"10|<null>|00:00", "20|5|00:05", "30|3|00:03"}, {"1|<null>|00:00"},
       {"10|4|00:04", "20|5|00:05", "30|3|00:03"}, {"1|2|00:02"}},
      {"the music row's folder given another path", TTabela::Musicas, 20,
       "UPDATE TB_PASTAS SET PAS_PATH = '" + File("sub") + "/' WHERE PAS_CODIGO = 1", failsAtMusic10,
       {"10|<null>|00:00", "20|5|00:05", "30|3|00:03"}, {"1|<null>|00:00"},
       {"10|6|00:06", "20|5|00:05", "30|3|00:03"}, {"1|2|00:02"}},
      {"music row given a length by the other program", TTabela::Musicas, 20,
       "UPDATE TB_MUSICAS SET MUS_SEGUNDOS = 180, MUS_TEMPO = '03:00' WHERE MUS_CODIGO = 10", failsAtMusic10,
       {"10|180|03:00", "20|5|00:05", "30|3|00:03"}, {"1|<null>|00:00"},
       {"10|180|03:00", "20|5|00:05", "30|3|00:03"}, {"1|2|00:02"}},
      {"jingle re-pointed to another file, with its length", TTabela::Musicas, 10,
       "UPDATE TB_VINHETAS SET VIN_ARQUIVO = '" + File("tres.wav") + "', VIN_SEGUNDOS = 3, VIN_TEMPO = '00:03'",
       failsAtJingle1, musicDone, {"1|3|00:03"}, musicDone, {"1|3|00:03"}},
      {"jingle moved to another folder", TTabela::Musicas, 10,
       "UPDATE TB_VINHETAS SET VIN_ARQUIVO = '" + File("sub/faixa.wav") + "'", failsAtJingle1, musicDone,
       {"1|<null>|00:00"}, musicDone, {"1|4|00:04"}},
      {"jingle given a length by the other program", TTabela::Musicas, 10,
       "UPDATE TB_VINHETAS SET VIN_SEGUNDOS = 180, VIN_TEMPO = '03:00'", failsAtJingle1, musicDone, {"1|180|03:00"},
       musicDone, {"1|180|03:00"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(ThreeAndOne() + "INSERT INTO TB_PASTAS VALUES (2, '" + File("sub") + "/');\n");
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(db.Path());
    TFrenteGravada frente;
    frente.aoGravar = [&](const TLinhaAtualizada& linha) {
      if (linha.tabela == c.after && linha.codigo == c.afterKey) dztest::Executa(db.Path(), {c.sql});
    };
    const std::string text = ErroDaRodada(catalogo, frente);
    EXPECT_EQ(text, "Update Failed");
    ASSERT_GE(frente.log.size(), c.lastLog.size());
    EXPECT_THAT(std::vector<std::string>(frente.log.end() - static_cast<std::ptrdiff_t>(c.lastLog.size()), frente.log.end()),
                ElementsAreArray(c.lastLog));
    EXPECT_THAT(Musicas(db), ElementsAreArray(c.musicas));
    EXPECT_THAT(Vinhetas(db), ElementsAreArray(c.vinhetas));

    frente.aoGravar = nullptr;
    frente.log.clear();
    TAtualizacao(catalogo, frente).Executa();
    EXPECT_THAT(frente.log.back(), StartsWith("mensagem "));
    EXPECT_THAT(Musicas(db), ElementsAreArray(c.musicasNext));
    EXPECT_THAT(Vinhetas(db), ElementsAreArray(c.vinhetasNext));
  }
}

// A row locked by another program fails the run, also when pressed again
// while it is still locked; nothing the runs did stays uncommitted, so once
// the lock goes another program can update every row at once, and the next
// run does the rest.
TEST_F(AtualizacaoTest, LockedRowLeavesNothingLocked) {
  TTestDatabase db(ThreeAndOne());
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  TFrenteGravada frente;
  auto other = std::make_unique<TSession>(db.Path());
  other->Exec("UPDATE TB_MUSICAS SET MUS_NOME = 'x' WHERE MUS_CODIGO = 20");
  for (const char* press : {"first press", "second press"}) {
    SCOPED_TRACE(press);
    const std::string text = ErroDaRodada(catalogo, frente);
    EXPECT_THAT(text, StartsWith("deadlock\nupdate conflicts with concurrent update"));
  }
  other.reset();

  {
    TSession third(db.Path());
    EXPECT_EQ(dztest::ErrorText([&] {
                EXPECT_EQ(third.Exec("UPDATE TB_MUSICAS SET MUS_INTERPRETE = 'Todas'"), 3);
                EXPECT_EQ(third.Exec("UPDATE TB_VINHETAS SET VIN_NOME = 'Todas'"), 1);
              }),
              "(no error)");
    third.Commit();
  }
  frente.log.clear();
  TAtualizacao(catalogo, frente).Executa();
  EXPECT_EQ(frente.log.back(), "mensagem Atualização realizada com sucesso.");
  EXPECT_THAT(Musicas(db), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  EXPECT_THAT(Vinhetas(db), ElementsAre("1|2|00:02"));
}

}  // namespace
