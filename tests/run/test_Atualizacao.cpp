#include "run/Atualizacao.h"

#include "catalogue/Catalogue.h"
#include "run/MedicaoAntecipada.h"
#include "tests/support/CatalogueDb.h"
#include "tests/support/SampleFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using dztest::Musicas;
using dztest::TSession;
using dztest::TTestDatabase;
using dztest::Vinhetas;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::StartsWith;

const char* NomeBarra(TBarra barra) { return barra == TBarra::Atual ? "Atual" : "Geral"; }

// A front end without a window: bars counted as the window's are, and a log
// of every call the run makes, in order.
class TFrenteGravada : public TFrenteContada {
public:
  void DefineMaximo(TBarra barra, std::int32_t maximo) override {
    log.push_back(std::string("max ") + NomeBarra(barra) + " " + std::to_string(maximo));
    TFrenteContada::DefineMaximo(barra, maximo);
  }
  void DefineProgresso(TBarra barra, std::int32_t progresso) override {
    log.push_back(std::string(NomeBarra(barra)) + " " + std::to_string(progresso));
    TFrenteContada::DefineProgresso(barra, progresso);
  }
  void DefineRotulo(const std::string& texto) override { log.push_back("rotulo " + texto); }
  void Mensagem(const std::string& texto) override { log.push_back("mensagem " + texto); }
  void LinhaAtualizada(const TLinhaAtualizada& linha) override {
    linhas.push_back(linha);
    log.push_back(std::string(linha.tabela == TTabela::Musicas ? "musica " : "vinheta ") +
                  std::to_string(linha.codigo));
    if (aoGravar) aoGravar(linha);
  }

  std::vector<std::string> log;
  std::vector<TLinhaAtualizada> linhas;
  std::function<void(const TLinhaAtualizada&)> aoGravar;
};

// Runs the update run; the text of the database error that ended it, or "(no error)".
std::string ErroDaRodada(TCatalogo& catalogo, TFrenteAtualizacao& frente) {
  return dztest::ErrorText([&] { TAtualizacao(catalogo, frente).Executa(); });
}

// The run of a catalogue with path rules; its front end and its lookup stay for the checks.
struct TRodadaComRegras {
  TRodadaComRegras(const TTestDatabase& db, const TPathMapping& regras, TModoAtualizacao modo)
      : atualizacao(catalogo, frente, modo, regras) {
    catalogo.DB_Velmar.SetDatabaseName(db.Path());
  }
  TCatalogo catalogo;
  TFrenteGravada frente;
  TAtualizacao atualizacao;
};

// Real audio files of the sample set Catalogue.
class AtualizacaoTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { audio_ = dztest::SampleFolder(dztest::TSampleSet::Catalogue); }

  // A folder path with its separator, as the catalogue's Tb_Pastas holds it.
  static std::string Folder() { return audio_.string() + "/"; }
  static std::string File(const std::string& name) { return (audio_ / name).string(); }

  // Three music rows (a WAV file, an MP3 file, a missing file) and one jingle.
  static std::string ThreeAndOne() {
    return dztest::InserePasta(1, Folder()) + dztest::InsereMusica(30, "00:00", 1, "tres.wav") +
           dztest::InsereMusica(20, "00:00", 1, "cinco.mp3") + dztest::InsereMusica(10, "00:00", 1, "falta.wav") +
           dztest::InsereVinheta(1, "00:00", File("dois.wav"));
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

  static std::filesystem::path audio_;
};

std::filesystem::path AtualizacaoTest::audio_;

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
    EXPECT_EQ(frente.linhas[i].medida.segundos, esperadas[i].segundos);
    EXPECT_EQ(frente.linhas[i].tempo, esperadas[i].tempo);
    EXPECT_EQ(frente.linhas[i].medida.motivo, esperadas[i].motivo);
    EXPECT_EQ(frente.linhas[i].Aberto(), "");  // Linux paths: the catalogue's own
  }
  // Written and committed: another attachment sees them while the catalogue is still open.
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|2|00:02"));
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
           dztest::InsereMusica(1, "03:00", 1, "tres.wav") +
           dztest::InsereMusica(2, "0:00", 1, "tres.wav") +
           dztest::InsereMusica(3, "00:00", 9, "tres.wav") +
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
           dztest::InsereMusica(5, "00:00", 1, "nada.mp3") +
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
                  dztest::InsereMusica(1, "00:00", 1, "faixa.wav"));
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  TFrenteGravada frente;
  TAtualizacao(catalogo, frente).Executa();
  ASSERT_EQ(frente.linhas.size(), 1u);
  EXPECT_EQ(frente.linhas[0].caminho, File("subfaixa.wav"));
  // subfaixa.wav lasts 1 s; sub/faixa.wav, which is not looked up, 4 s.
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|1|00:01"));
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

  {
    TSession outro(db.Path());
    outro.Exec("UPDATE TB_MUSICAS SET MUS_SEGUNDOS = 99, MUS_TEMPO = '01:39' WHERE MUS_CODIGO = 30");
    dztest::AddMusica(outro, 40, std::string("00:00"), 1, std::string("tres.wav"));
    outro.Commit();
  }
  frente.log.clear();
  TAtualizacao(catalogo, frente).Executa();
  // Both bars start from zero again, with this run's counts.
  EXPECT_THAT(frente.log, ElementsAre("max Geral 2", "Geral 0", "Atual 0", "max Atual 2", "rotulo Progresso: Músicas",
                                      "Atual 1", "Geral 1", "musica 40", "Atual 2", "Geral 2", "musica 10", "Atual 0",
                                      "max Atual 0", "rotulo Progresso: Vinhetas",
                                      "mensagem Atualização realizada com sucesso."));
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|99|01:39", "40|3|00:03"));
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|2|00:02"));
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
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(c.musicas));
    if (c.retryLog.empty()) continue;
    frente.log.clear();
    TAtualizacao(catalogo, frente).Executa();
    EXPECT_THAT(frente.log, ElementsAreArray(c.retryLog));
    EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
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
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|<null>|00:00", "30|3|00:03"));
}

// A catalogue written on Windows: its rows find their files through the
// rules and the lookup, and each row tells the file it opened. Each run reads
// the folders afresh: a file that appears between two presses is found by the
// second, which selects only the row still without a length.
TEST_F(AtualizacaoTest, WindowsPathsThroughTheRules) {
  const dztest::TTempDir novos;
  TTestDatabase db("INSERT INTO TB_PASTAS VALUES (1, 'C:\\AUDIO\\');\n"
                   "INSERT INTO TB_PASTAS VALUES (2, 'C:\\Audio\\SUB\\');\n"
                   "INSERT INTO TB_PASTAS VALUES (3, 'D:\\');\n" +
                   dztest::InsereMusica(3, "00:00", 3, "NOVA.WAV") +
                   dztest::InsereMusica(2, "00:00", 1, "TRES.WAV") +
                   dztest::InsereMusica(1, "00:00", 2, "Faixa.Wav") +
                   "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (1, '00:00', '\\\\srv\\audio\\Cinco.MP3');\n");
  TPathMapping mapeamento;
  ASSERT_EQ(mapeamento.Add("c:\\audio\\", Folder(), "DE1", "PARA1"), "");
  ASSERT_EQ(mapeamento.Add("\\\\srv\\audio", Folder(), "DE2", "PARA2"), "");
  ASSERT_EQ(mapeamento.Add("D:", novos.Path().string(), "DE3", "PARA3"), "");
  TRodadaComRegras rodada(db, mapeamento, TModoAtualizacao::Gravacao);
  TFrenteGravada& frente = rodada.frente;
  TAtualizacao& atualizacao = rodada.atualizacao;
  atualizacao.Executa();
  ASSERT_EQ(frente.linhas.size(), 4u);
  EXPECT_EQ(frente.linhas[0].Aberto(), novos.File("NOVA.WAV"));  // looked for
  EXPECT_EQ(frente.linhas[0].medida.motivo, TMotivoDuracao::ArquivoInexistente);
  EXPECT_EQ(frente.linhas[1].Aberto(), Folder() + "tres.wav");
  EXPECT_EQ(frente.linhas[2].Aberto(), Folder() + "sub/faixa.wav");
  EXPECT_EQ(frente.linhas[3].Aberto(), Folder() + "cinco.mp3");
  EXPECT_EQ(frente.linhas[3].caminho, "\\\\srv\\audio\\Cinco.MP3");
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|4|00:04", "2|3|00:03", "3|0|00:00"));
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|5|00:05"));
  EXPECT_EQ(atualizacao.Busca().DirectoryReads(), 3u);  // the new files' folder, the audio folder and sub

  std::filesystem::copy_file(File("dois.wav"), novos.File("nova.wav"));
  frente.linhas.clear();
  atualizacao.Executa();
  // The second run selects again: only the row still without a length.
  ASSERT_EQ(frente.linhas.size(), 1u);
  EXPECT_EQ(frente.linhas[0].Aberto(), novos.File("nova.wav"));
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|4|00:04", "2|3|00:03", "3|2|00:02"));
  EXPECT_EQ(atualizacao.Busca().DirectoryReads(), 1u);  // the new files' folder, read afresh
}

// 10,000 rows in 20 folders, every name in another letter case than on disk:
// each folder is read once in the run, and the two above them.
TEST_F(AtualizacaoTest, TenThousandRowsInTwentyFoldersReadEachFolderOnce) {
  constexpr int Pastas = 20;
  constexpr int FaixasPorPasta = 500;
  const dztest::TTempDir acervo;
  std::string sql;
  for (int pasta = 1; pasta <= Pastas; ++pasta) {
    const std::filesystem::path caminho = acervo.Path() / "Acervo" / ("Pasta" + std::to_string(pasta));
    std::filesystem::create_directories(caminho);
    for (int faixa = 1; faixa <= FaixasPorPasta; ++faixa)
      dztest::WriteFile((caminho / ("Faixa" + std::to_string(faixa) + ".wav")).string(), "");
    sql += "INSERT INTO TB_PASTAS VALUES (" + std::to_string(pasta) + ", 'E:\\ACERVO\\PASTA" + std::to_string(pasta) +
           "\\');\n";
  }
  // Row n lies in folder n mod 20 + 1, as file n / 20 + 1 of it.
  sql += "SET TERM ^;\n"
         "EXECUTE BLOCK AS DECLARE N INTEGER = 0; DECLARE F INTEGER = 1; DECLARE P INTEGER; BEGIN\n"
         "  WHILE (F <= " + std::to_string(FaixasPorPasta) + ") DO BEGIN\n"
         "    P = 1;\n"
         "    WHILE (P <= " + std::to_string(Pastas) + ") DO BEGIN\n"
         "      N = N + 1;\n"
         "      INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (:N, '00:00', :P, 'FAIXA' || :F || '.WAV');\n"
         "      P = P + 1;\n"
         "    END\n"
         "    F = F + 1;\n"
         "  END\n"
         "END^\n"
         "SET TERM ;^\n";
  TTestDatabase db(sql);
  TPathMapping mapeamento;
  ASSERT_EQ(mapeamento.Add("E:\\", acervo.Path().string(), "DE1", "PARA1"), "");
  TRodadaComRegras rodada(db, mapeamento, TModoAtualizacao::Simulacao);
  TFrenteGravada& frente = rodada.frente;
  TAtualizacao& atualizacao = rodada.atualizacao;
  atualizacao.Executa();
  ASSERT_EQ(frente.linhas.size(), static_cast<std::size_t>(Pastas * FaixasPorPasta));
  // The files are empty: found and read, they are no RIFF/WAVE files.
  const auto lidas = std::count_if(frente.linhas.begin(), frente.linhas.end(),
                                   [](const TLinhaAtualizada& l) { return l.medida.motivo == TMotivoDuracao::NaoEWave; });
  EXPECT_EQ(lidas, Pastas * FaixasPorPasta);
  EXPECT_EQ(frente.linhas.front().Aberto(), acervo.Path().string() + "/Acervo/Pasta20/Faixa500.wav");
  EXPECT_EQ(frente.linhas.back().Aberto(), acervo.Path().string() + "/Acervo/Pasta1/Faixa1.wav");
  EXPECT_EQ(atualizacao.Busca().DirectoryReads(), static_cast<std::size_t>(Pastas + 2));
  std::printf("directory reads of the run over %d rows in %d folders: %zu\n", Pastas * FaixasPorPasta, Pastas,
              atualizacao.Busca().DirectoryReads());
}

// When the front end asks before a row (a stop signal, an output lost), the
// run ends there: every row before it written and committed, that row and
// the rest untouched, no closing message.
TEST_F(AtualizacaoTest, FrontEndStopsTheRunBeforeARow) {
  class TFrenteQueInterrompe : public TFrenteGravada {
  public:
    explicit TFrenteQueInterrompe(std::size_t linhasAntes) : linhasAntes_(linhasAntes) {}
    bool Interromper() override { return linhas.size() >= linhasAntes_; }

  private:
    std::size_t linhasAntes_;
  };
  struct TCase {
    const char* what;
    std::size_t linhasAntes;
    std::size_t passos;  // how much of the whole run's log it goes through
    std::vector<std::string> musicas;
    const char* vinheta;
  };
  const TCase cases[] = {
      {"before the first row", 0, 5, {"10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00"}, "1|<null>|00:00"},
      {"after one music row", 1, 8, {"10|<null>|00:00", "20|<null>|00:00", "30|3|00:03"}, "1|<null>|00:00"},
      {"before the jingle", 3, 17, {"10|0|00:00", "20|5|00:05", "30|3|00:03"}, "1|<null>|00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(ThreeAndOne());
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(db.Path());
    TFrenteQueInterrompe frente(c.linhasAntes);
    TAtualizacao(catalogo, frente).Executa();
    const std::vector<std::string> todo = ThreeAndOneLog();
    EXPECT_THAT(frente.log, ElementsAreArray(todo.begin(), todo.begin() + static_cast<std::ptrdiff_t>(c.passos)));
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(c.musicas));
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAre(c.vinheta));
  }
}

// A stop does not wait for the files being measured ahead (a share where
// every call waits): the run ends before its next row with the rows before it
// committed, while the threads are still in their files.
TEST_F(AtualizacaoTest, AStopDoesNotWaitForTheFilesMeasuredAhead) {
  struct TPortao {
    std::mutex mutex;
    std::condition_variable mudou;
    bool livre = false;
    int esperando = 0;
  };
  auto portao = std::make_shared<TPortao>();
  // Every file but the first row's waits until the test lets it go.
  TMedicaoAntecipada medicao(8, {}, TConferencia::Nenhuma, std::chrono::microseconds(0),
                             [portao](TWindowsLookup& busca, const std::string& caminho) {
                               if (!caminho.ends_with("tres.wav")) {
                                 std::unique_lock trava(portao->mutex);
                                 ++portao->esperando;
                                 portao->mudou.notify_all();
                                 portao->mudou.wait(trava, [&] { return portao->livre; });
                               }
                               return MedeCaminho(busca, {}, caminho);
                             });
  // After the first row, the stop comes once both other files are in their threads.
  class TFrenteQueInterrompe : public TFrenteGravada {
  public:
    explicit TFrenteQueInterrompe(TPortao& portao) : portao_(portao) {}
    bool Interromper() override {
      if (linhas.empty()) return false;
      std::unique_lock trava(portao_.mutex);
      EXPECT_TRUE(portao_.mudou.wait_for(trava, std::chrono::seconds(30), [&] { return portao_.esperando == 2; }));
      return true;
    }

  private:
    TPortao& portao_;
  };
  TTestDatabase db(ThreeAndOne());
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  TFrenteQueInterrompe frente(*portao);
  TAtualizacao atualizacao(catalogo, frente);
  atualizacao.MedeCom(medicao);
  atualizacao.Executa();
  // Here only because the run did not wait: the other two files still wait.
  EXPECT_GE(medicao.ThreadsDeixadas(), 2);
  EXPECT_EQ(frente.linhas.size(), 1u);
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|<null>|00:00", "20|<null>|00:00", "30|3|00:03"));
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|<null>|00:00"));
  {
    const std::lock_guard trava(portao->mutex);
    portao->livre = true;
  }
  portao->mudou.notify_all();
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (medicao.ThreadsDeixadas() > 0 && std::chrono::steady_clock::now() < limite)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(medicao.ThreadsDeixadas(), 0);
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
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(c.musicas));
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAreArray(c.vinhetas));

    frente.aoGravar = nullptr;
    frente.log.clear();
    TAtualizacao(catalogo, frente).Executa();
    EXPECT_THAT(frente.log.back(), StartsWith("mensagem "));
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(c.musicasNext));
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAreArray(c.vinhetasNext));
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
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|2|00:02"));
}

}  // namespace
