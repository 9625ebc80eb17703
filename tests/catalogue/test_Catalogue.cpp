// The catalogue's own statements on real databases: which rows the selects
// take and in what order, what the modify statements write, and how the
// catalogue meets another program that shares the database.

#include "catalogue/Catalogue.h"

#include "tests/catalogue/CatalogueSteps.h"
#include "tests/support/CatalogueDb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>

namespace {

using dztest::AddMusica;
using dztest::AddPasta;
using dztest::AddVinheta;
using dztest::DatabaseWithRows;
using dztest::ErrorText;
using dztest::MusicaInDatabase;
using dztest::Null;
using dztest::Show;
using dztest::T;
using dztest::TSession;
using dztest::TTestDatabase;
using dztest::WriteMusica;

// Opens, fetches all and walks a query as the update run does; the column's text of each row.
std::vector<std::string> Walk(TQuery& query, std::string_view column) {
  query.Open();
  query.FetchAll();
  query.First();
  std::vector<std::string> seen;
  for (; !query.Eof(); query.Next()) seen.push_back(query.FieldAsString(column));
  return seen;
}

TEST(Catalogue, StateBeforeTheFirstRun) {
  TCatalogo c;
  EXPECT_EQ(c.DB_Velmar.DatabaseName(), "C:\\Velmar\\Velmar Play\\Velmardb\\VELMARAUDIO.FDB");
  EXPECT_FALSE(c.DB_Velmar.Connected());
  EXPECT_FALSE(c.Trans_Velmar.Active());
  EXPECT_FALSE(c.Q_Musicas.IsOpen());
  EXPECT_TRUE(c.Q_Musicas.Eof());
  EXPECT_EQ(c.Q_Musicas.RecordCount(), 0);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "");
  EXPECT_FALSE(c.Up_Musicas.Prepared());
  // The modify statements take only the two columns the tool sets and the fetched key.
  EXPECT_EQ(c.Up_Musicas.ParameterNames(), (std::vector<std::string>{"MUS_SEGUNDOS", "MUS_TEMPO", "OLD_MUS_CODIGO"}));
  EXPECT_EQ(c.Up_Vinhetas.ParameterNames(), (std::vector<std::string>{"VIN_SEGUNDOS", "VIN_TEMPO", "OLD_VIN_CODIGO"}));
}

TEST(Catalogue, SelectsExactly0000WithAFolderInDescendingOrder) {
  struct TCase {
    const char* what;
    std::int32_t codigo;
    TSqlValue tempo;
    TSqlValue pasta;
    bool selected;
  };
  const TCase cases[] = {
      {"00:00 in folder 1", 1, T("00:00"), 1, true},
      {"null time", 2, Null, 1, false},
      {"empty time", 3, T(""), 1, false},
      {"0:00", 4, T("0:00"), 1, false},
      {"0:00 with a trailing blank", 5, T("0:00 "), 1, false},
      // The server drops a trailing blank beyond the column's 5 characters,
      // and compares texts blank-padded: this row holds "00:00".
      {"00:00 with a trailing blank", 6, T("00:00 "), 1, true},
      {"a length", 7, T("00:01"), 1, false},
      {"folder row missing", 8, T("00:00"), 99, false},
      {"no folder", 9, T("00:00"), Null, false},
      {"00:00 in folder 2", 10, T("00:00"), 2, true},
      {" 0:00", 11, T(" 0:00"), 1, false},
  };
  TTestDatabase db;
  {
    TSession s(db.Path());
    AddPasta(s, 1, T("/a/"));
    AddPasta(s, 2, T("/b/"));
    for (const auto& c : cases) {
      AddMusica(s, c.codigo, c.tempo, c.pasta);
      AddVinheta(s, c.codigo, c.tempo);
    }
    s.Commit();
  }
  std::vector<std::string> expected;
  for (auto c = std::rbegin(cases); c != std::rend(cases); ++c) {
    if (c->selected) expected.push_back(std::to_string(c->codigo));
  }
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  EXPECT_EQ(Walk(catalogo.Q_Musicas, "MUS_CODIGO"), expected);
  EXPECT_EQ(catalogo.Q_Musicas.RecordCount(), 3);
  // Jingles have no folder: every "00:00" row is selected.
  EXPECT_EQ(Walk(catalogo.Q_Vinhetas, "VIN_CODIGO"), (std::vector<std::string>{"10", "9", "8", "6", "1"}));
}

TEST(Catalogue, SecondOpenSeesNoNewRows) {
  auto db = DatabaseWithRows(2);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  ASSERT_EQ(Walk(c.Q_Musicas, "MUS_CODIGO"), (std::vector<std::string>{"2", "1"}));
  {
    TSession s(db->Path());
    AddMusica(s, 3, T("00:00"), 1);
    s.Commit();
  }
  EXPECT_EQ(Walk(c.Q_Musicas, "MUS_CODIGO"), (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(c.Q_Musicas.RecordCount(), 2);
  // A new program run selects it.
  TCatalogo later;
  later.DB_Velmar.SetDatabaseName(db->Path());
  EXPECT_EQ(Walk(later.Q_Musicas, "MUS_CODIGO"), (std::vector<std::string>{"3", "2", "1"}));
}

TEST(Catalogue, WritesRowByRowEachCommittedAtOnce) {
  auto db = DatabaseWithRows(3);
  TSession other(db->Path());
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  ASSERT_EQ(c.Q_Musicas.RecordCount(), 3);
  EXPECT_TRUE(c.DB_Velmar.Connected());
  EXPECT_TRUE(c.Trans_Velmar.Active());

  WriteMusica(c, 215, "03:35");
  EXPECT_TRUE(c.Up_Musicas.Prepared());
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 0);
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 0);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "03:35");
  // Visible to another program at once, the others untouched.
  EXPECT_EQ(MusicaInDatabase(other, 3), "215 03:35");
  EXPECT_EQ(MusicaInDatabase(other, 2), "<null> 00:00");

  c.Q_Musicas.Next();
  WriteMusica(c, 6000, "100:00");  // a text longer than the column's 5 characters is cut
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "100:0");
  c.Q_Musicas.Next();
  WriteMusica(c, 0, "00:00");
  c.Q_Musicas.Next();
  EXPECT_TRUE(c.Q_Musicas.Eof());

  EXPECT_EQ(MusicaInDatabase(other, 3), "215 03:35");
  EXPECT_EQ(MusicaInDatabase(other, 2), "6000 100:0");
  EXPECT_EQ(MusicaInDatabase(other, 1), "0 00:00");
  // Only the two columns were written.
  EXPECT_EQ(Show(other.Scalar("select MUS_NOME || '|' || MUS_ARQUIVO || '|' || PAS_CODIGO from TB_MUSICAS where MUS_CODIGO = 2")),
            "Musica 2|faixa.mp3|1");

  // The jingles go the same way.
  ASSERT_EQ(Walk(c.Q_Vinhetas, "VIN_ARQUIVO"), (std::vector<std::string>{"/v/3.wav", "/v/2.wav", "/v/1.wav"}));
  c.Q_Vinhetas.First();
  c.Q_Vinhetas.Edit();
  c.Q_Vinhetas.SetInteger("VIN_SEGUNDOS", 5);
  c.Q_Vinhetas.SetString("VIN_TEMPO", "00:05");
  c.Q_Vinhetas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
  EXPECT_EQ(Show(other.Scalar("select VIN_SEGUNDOS || ' ' || VIN_TEMPO || ' ' || VIN_NOME from TB_VINHETAS where VIN_CODIGO = 3")),
            "5 00:05 Vinheta 3");
}

TEST(Catalogue, AnotherProgramsChangeToOtherColumnsSurvivesTheWrite) {
  auto db = DatabaseWithRows(1);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Vinhetas.Open();
  c.Q_Vinhetas.FetchAll();
  TSession other(db->Path());
  other.Exec("update TB_MUSICAS set MUS_NOME = 'Renamed', MUS_ARQUIVO = 'moved.mp3', MUS_ANO = 2001 where MUS_CODIGO = 1");
  other.Exec("update TB_VINHETAS set VIN_NOME = 'Renamed', CAV_CODIGO = 9 where VIN_CODIGO = 1");
  other.Commit();

  WriteMusica(c, 61, "01:01");
  c.Q_Vinhetas.Edit();
  c.Q_Vinhetas.SetInteger("VIN_SEGUNDOS", 2);
  c.Q_Vinhetas.SetString("VIN_TEMPO", "00:02");
  c.Q_Vinhetas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();

  EXPECT_EQ(Show(other.Scalar("select MUS_NOME || '|' || MUS_ARQUIVO || '|' || MUS_ANO || '|' || MUS_SEGUNDOS || '|' ||"
                              " MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = 1")),
            "Renamed|moved.mp3|2001|61|01:01");
  EXPECT_EQ(Show(other.Scalar("select VIN_NOME || '|' || CAV_CODIGO || '|' || VIN_SEGUNDOS || '|' || VIN_TEMPO"
                              " from TB_VINHETAS where VIN_CODIGO = 1")),
            "Renamed|9|2|00:02");
}

TEST(Catalogue, RowDeletedByAnotherProgramFailsWithUpdateFailed) {
  auto db = DatabaseWithRows(3);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  TSession other(db->Path());
  other.Exec("delete from TB_MUSICAS where MUS_CODIGO = 2");
  other.Commit();

  WriteMusica(c, 10, "00:10");  // row 3
  c.Q_Musicas.Next();           // row 2, gone
  EXPECT_EQ(ErrorText([&] { WriteMusica(c, 20, "00:20"); }), "Update Failed");
  EXPECT_TRUE(c.Q_Musicas.RowChanged(1));
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 1);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "00:20");  // the new values stay pending
  EXPECT_EQ(MusicaInDatabase(other, 3), "10 00:10");             // the row before stays committed
  EXPECT_EQ(MusicaInDatabase(other, 2), "(gone)");

  // The failed row is visited again first, so the next row is not written either.
  c.Q_Musicas.Next();
  EXPECT_EQ(ErrorText([&] { WriteMusica(c, 30, "00:30"); }), "Update Failed");
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 2);
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 2);
  EXPECT_EQ(MusicaInDatabase(other, 1), "<null> 00:00");
}

TEST(Catalogue, RowLockedByAnotherTransactionFailsAtOnce) {
  auto db = DatabaseWithRows(3);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  // The other program holds row 2 in a transaction that waits for locks itself.
  const std::string waitingBlock = {isc_tpb_version3, isc_tpb_concurrency, isc_tpb_wait};
  TSession other(db->Path(), waitingBlock);
  other.Exec("update TB_MUSICAS set MUS_NOME = 'busy' where MUS_CODIGO = 2");

  WriteMusica(c, 10, "00:10");
  c.Q_Musicas.Next();
  const auto start = std::chrono::steady_clock::now();
  std::string text;
  ISC_STATUS code = 0;
  try {
    WriteMusica(c, 20, "00:20");
  } catch (const EDatabaseError& error) {
    text = error.what();
    code = error.ErrorCode();
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::milliseconds(500));
  EXPECT_EQ(code, isc_deadlock);
  EXPECT_EQ(text.rfind("deadlock\nupdate conflicts with concurrent update\nconcurrent transaction number is ", 0), 0u)
      << text;
  EXPECT_TRUE(c.Q_Musicas.RowChanged(1));

  // Once the other program lets go, the next write takes the pending row.
  other.Rollback();
  c.Q_Musicas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 0);
  TSession check(db->Path());
  EXPECT_EQ(MusicaInDatabase(check, 2), "20 00:20");
  EXPECT_EQ(MusicaInDatabase(check, 3), "10 00:10");
}

TEST(Catalogue, OpenFailsOnTheDatabasesShape) {
  struct TCase {
    const char* what;
    const char* extraSql;
    bool jingles;
    std::string text;
  };
  const TCase cases[] = {
      {"a listed jingle column missing", "ALTER TABLE TB_VINHETAS DROP VIN_TIPO;", true,
       "Q_Vinhetas: Field 'VIN_TIPO' not found"},
      {"the folder path missing", "ALTER TABLE TB_PASTAS DROP PAS_PATH;", false,
       "Dynamic SQL Error\nSQL error code = -206\nColumn unknown\nPAS.PAS_PATH\nAt line 1, column 15"},
      {"a listed music column missing", "ALTER TABLE TB_MUSICAS DROP MUS_SEGUNDOS;", false,
       "Q_Musicas: Field 'MUS_SEGUNDOS' not found"},
      {"the jingle table missing", "DROP TABLE TB_VINHETAS;", true,
       "Dynamic SQL Error\nSQL error code = -204\nTable unknown\nTB_VINHETAS\nAt line 1, column 15"},
  };
  for (const auto& tc : cases) {
    TTestDatabase db(tc.extraSql);
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName(db.Path());
    TQuery& query = tc.jingles ? c.Q_Vinhetas : c.Q_Musicas;
    EXPECT_EQ(ErrorText([&] { query.Open(); }), tc.text) << tc.what;
    EXPECT_FALSE(query.IsOpen()) << tc.what;
    EXPECT_TRUE(c.DB_Velmar.Connected()) << tc.what;
    EXPECT_TRUE(c.Trans_Velmar.Active()) << tc.what;
    // Each later run tries again.
    EXPECT_EQ(ErrorText([&] { query.Open(); }), tc.text) << tc.what;
  }
}

}  // namespace
