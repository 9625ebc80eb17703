// The database components on real databases, driven through the catalogue's
// queries: reading columns as text, editing and posting rows of the local
// copy, writing the changed rows back, connecting, and the end of a session.

#include "catalogue/DataSet.h"

#include "catalogue/Catalogue.h"
#include "tests/catalogue/CatalogueSteps.h"
#include "tests/support/CatalogueDb.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <variant>

namespace {

using dztest::AddPasta;
using dztest::DatabaseWithRows;
using dztest::EditMusica;
using dztest::ErrorText;
using dztest::MusicaInDatabase;
using dztest::Null;
using dztest::Show;
using dztest::T;
using dztest::TSession;
using dztest::TTestDatabase;
using dztest::WriteMusica;

// A column of the current row as the tests compare it: "<null>" or its text.
std::string Shown(const TQuery& query, const char* column) {
  return query.FieldIsNull(column) ? "<null>" : query.FieldAsString(column);
}

TEST(DataSet, ReadsColumnsAsText) {
  TTestDatabase db;
  {
    TSession s(db.Path());
    AddPasta(s, 4, T("D:\\Musicas"));
    s.Exec("insert into TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, MUS_TIPO, MUS_SUCESSO, MUS_TIPOPERIODO, MUS_ANO,"
           " MUS_FAIXA, MUS_NOMECOMPLETO, PAS_CODIGO, MUS_ARQUIVO, MUS_INTERPRETE) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
           {7, T("Can\xE7\xE3o  "), T("00:00"), T("S"), T(" "), T("\t"), 1999, -3, std::string(100, 'x'), 4,
            T("faixa.mp3"), T("\tTab ")});
    s.Commit();
  }
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db.Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  struct TCase {
    const char* what;
    const char* column;
    std::string text;
    bool isNull;
  };
  const TCase cases[] = {
      {"varchar as stored, trailing blanks and 8-bit bytes kept", "MUS_NOME", "Can\xE7\xE3o  ", false},
      {"varchar with a tab kept", "MUS_INTERPRETE", "\tTab ", false},
      {"char(1) letter", "MUS_TIPO", "S", false},
      {"char(1) blank is trimmed away", "MUS_SUCESSO", "", false},
      {"char(1) control character is trimmed away", "MUS_TIPOPERIODO", "", false},
      {"integer", "MUS_ANO", "1999", false},
      {"negative integer", "MUS_FAIXA", "-3", false},
      {"key", "MUS_CODIGO", "7", false},
      {"100 characters", "MUS_NOMECOMPLETO", std::string(100, 'x'), false},
      {"null text", "MUS_ALBUM", "", true},
      {"null integer", "GEN_CODIGO", "", true},
      {"folder path from the joined table", "PAS_PATH", "D:\\Musicas", false},
      {"names in any letter case", "mus_arquivo", "faixa.mp3", false},
  };
  for (const auto& tc : cases) {
    EXPECT_EQ(c.Q_Musicas.FieldAsString(tc.column), tc.text) << tc.what;
    EXPECT_EQ(c.Q_Musicas.FieldIsNull(tc.column), tc.isNull) << tc.what;
  }
  EXPECT_EQ(c.Q_Musicas.FieldAsString("PAS_PATH") + c.Q_Musicas.FieldAsString("MUS_ARQUIVO"), "D:\\Musicasfaixa.mp3");
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.FieldAsString("NOPE"); }), "Q_Musicas: Field 'NOPE' not found");
}

// Rows ahead of the cursor, as a caller that measures ahead of the run reads them.
TEST(DataSet, ReadsOtherRowsByNumber) {
  const auto db = DatabaseWithRows(3);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  c.Q_Musicas.Edit();
  c.Q_Musicas.SetInteger("MUS_SEGUNDOS", 42);
  c.Q_Musicas.Post();  // row 0, key 3, now holds 42
  c.Q_Musicas.Next();
  c.Q_Musicas.Edit();
  c.Q_Musicas.SetInteger("MUS_SEGUNDOS", 7);  // row 1, pending: not in the copy yet
  struct TCase {
    const char* what;
    int row;
    const char* column;
    std::string text;
  };
  const TCase cases[] = {
      {"the rows in the order of the result", 2, "MUS_CODIGO", "1"},
      {"a joined column", 2, "PAS_PATH", "/musicas/"},
      {"a posted edit is in the copy", 0, "MUS_SEGUNDOS", "42"},
      {"a pending edit is not", 1, "MUS_SEGUNDOS", ""},
      {"a text", 1, "MUS_NOME", "Musica 2"},
      {"before the first row", -1, "MUS_CODIGO", ""},
      {"past the last row", 3, "MUS_CODIGO", ""},
  };
  for (const auto& tc : cases) EXPECT_EQ(c.Q_Musicas.FieldAsString(tc.row, tc.column), tc.text) << tc.what;
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 1);  // the cursor stays
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_SEGUNDOS"), "7");
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.FieldAsString(0, "NOPE"); }), "Q_Musicas: Field 'NOPE' not found");
}

TEST(DataSet, ConnectFailures) {
  TTestDatabase db;
  const std::string missing = db.Dir().File("nope.fdb");
  struct TCase {
    const char* what;
    std::string name;
    std::string text;
  };
  const TCase cases[] = {
      {"empty name", "", "Database name is missing"},
      {"wrong path", missing,
       "I/O error during \"open\" operation for file \"" + missing + "\"\nError while trying to open file\nNo such file or directory"},
  };
  for (const auto& tc : cases) {
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName(tc.name);
    EXPECT_EQ(ErrorText([&] { c.DB_Velmar.Connect(); }), tc.text) << tc.what;
    EXPECT_FALSE(c.DB_Velmar.Connected()) << tc.what;
    // Opening connects on demand, and fails the same way before anything starts.
    EXPECT_EQ(ErrorText([&] { c.Q_Musicas.Open(); }), tc.text) << tc.what;
    EXPECT_FALSE(c.Trans_Velmar.Active()) << tc.what;
    // With a good name the next attempt works.
    c.DB_Velmar.SetDatabaseName(db.Path());
    c.Q_Musicas.Open();
    EXPECT_TRUE(c.Q_Musicas.IsOpen()) << tc.what;
  }
}

TEST(DataSet, ConnectAsksTheDialectAndUsesDialect1) {
  for (int dialect : {1, 3}) {
    TTestDatabase db({}, false, dialect);
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName(db.Path());
    c.DB_Velmar.Connect();
    EXPECT_EQ(c.DB_Velmar.DatabaseDialect(), dialect);
    EXPECT_EQ(c.DB_Velmar.SqlDialect(), 1);
    c.Q_Musicas.Open();  // the select's '00:00' and the join work in dialect 1
    EXPECT_TRUE(c.Q_Musicas.Eof());
  }
}

TEST(DataSet, ColumnWiderThanListedStopsReadsAndWrites) {
  auto db = DatabaseWithRows(1, "ALTER TABLE TB_MUSICAS ALTER MUS_NOME TYPE VARCHAR(46);");
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  const std::string mismatch = "Size Mismatch - Field MUS_NOME size is too small for data";
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.FieldAsString("MUS_NOME"); }), mismatch);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "00:00");
  EXPECT_EQ(ErrorText([&] { WriteMusica(c, 1, "00:01"); }), mismatch);
  EXPECT_FALSE(c.Q_Musicas.RowChanged(0));
  TSession other(db->Path());
  EXPECT_EQ(MusicaInDatabase(other, 1), "<null> 00:00");
}

TEST(DataSet, EmptyResult) {
  TTestDatabase db;
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db.Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  EXPECT_TRUE(c.Q_Musicas.Eof());
  EXPECT_EQ(c.Q_Musicas.RecordCount(), 0);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("PAS_PATH"), "");
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.Edit(); }), "Q_Musicas: Cannot perform this operation on an empty dataset");
  c.Q_Musicas.Next();
  EXPECT_TRUE(c.Q_Musicas.Eof());
}

TEST(DataSet, EditRules) {
  auto db = DatabaseWithRows(2);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.First(); }), "Q_Musicas: Cannot perform this operation on a closed dataset");
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.SetInteger("MUS_SEGUNDOS", 1); }), "Q_Musicas: Dataset not in edit or insert mode");
  c.Q_Musicas.Edit();
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.SetString("MUS_SEGUNDOS", "1x"); }), "'1x' is not a valid integer value");
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.SetInteger("NOPE", 1); }), "Q_Musicas: Field 'NOPE' not found");
  c.Q_Musicas.SetString("MUS_SEGUNDOS", "42");
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_SEGUNDOS"), "42");  // the edit shows while editing
  c.Q_Musicas.Cancel();
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_SEGUNDOS"), "");
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 0);
  // Moving on posts a pending edit; the next write takes it.
  c.Q_Musicas.Edit();
  c.Q_Musicas.SetInteger("MUS_TEMPO", 7);  // an integer into a text column: its decimal text
  c.Q_Musicas.Next();
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 1);
  c.Q_Musicas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
  TSession other(db->Path());
  EXPECT_EQ(MusicaInDatabase(other, 2), "<null> 7");
  EXPECT_EQ(MusicaInDatabase(other, 1), "<null> 00:00");
}

TEST(DataSet, EndCommitsTheActiveTransactionAndDetaches) {
  auto db = DatabaseWithRows(1);
  TSession other(db->Path());
  {
    TCatalogo c;
    c.DB_Velmar.SetDatabaseName(db->Path());
    c.Q_Musicas.Open();
    c.Q_Musicas.FetchAll();
    c.Q_Musicas.Edit();
    c.Q_Musicas.SetInteger("MUS_SEGUNDOS", 9);
    c.Q_Musicas.SetString("MUS_TEMPO", "00:09");
    c.Q_Musicas.ApplyUpdates();  // written, not committed
    EXPECT_EQ(MusicaInDatabase(other, 1), "<null> 00:00");
    EXPECT_EQ(Show(other.Scalar("select count(*) from MON$ATTACHMENTS where MON$SYSTEM_FLAG = 0")), "2");
  }
  other.Commit();  // a fresh look at the monitoring tables
  EXPECT_EQ(MusicaInDatabase(other, 1), "9 00:09");
  EXPECT_EQ(Show(other.Scalar("select count(*) from MON$ATTACHMENTS where MON$SYSTEM_FLAG = 0")), "1");
}

TEST(DataSet, ParametersByNameFromTheRow) {
  auto db = DatabaseWithRows(2);
  TDatabase database("DB", db->Path());
  TTransaction transaction("Tr", database);
  // Names in any letter case; a name the query does not list is null.
  TUpdateSQL update("Up", database, transaction,
                    "update TB_VINHETAS set VIN_NOME = :SEM_COLUNA, vin_tempo = :vin_tempo, VIN_SEGUNDOS = :Old_Vin_Codigo"
                    " where VIN_CODIGO = :old_vin_codigo");
  TQuery query("Q", database, transaction, VinhetasSelectSql, VinhetasColumns, update);
  query.Open();
  query.FetchAll();
  query.Edit();
  query.SetString("VIN_TEMPO", "00:07");
  query.SetInteger("VIN_CODIGO", 99);  // the current key changes; the fetched one finds the row
  query.ApplyUpdates();
  transaction.Commit();
  TSession other(db->Path());
  EXPECT_EQ(Show(other.Scalar("select coalesce(VIN_NOME, '<null>') || ' ' || VIN_TEMPO || ' ' || VIN_SEGUNDOS"
                              " from TB_VINHETAS where VIN_CODIGO = 2")),
            "<null> 00:07 2");
  EXPECT_EQ(Show(other.Scalar("select VIN_NOME from TB_VINHETAS where VIN_CODIGO = 1")), "Vinheta 1");
}

TEST(DataSet, EachRowKeepsItsOwnValues) {
  // In the order of the walk. Texts equal to the row above share its bytes in
  // the copy; the cases show that each row still reads as fetched, and that
  // an edit of a row leaves its neighbours alone.
  struct TCase {
    const char* what;
    std::int32_t codigo;
    TSqlValue nome, interprete, tipo, album, ano;
    std::int32_t pasta;
  };
  const TCase cases[] = {
      {"first row", 6, T("Igual"), T("Igual"), T("S"), Null, 1, 1},
      {"texts of the row above, and of another column", 5, T("Igual"), T("S"), T("S"), T("Igual"), 1, 1},
      {"a trailing blank more, empty after text", 4, T("Igual "), T(""), T(" "), T(""), Null, 2},
      {"same length in other letter case, null after empty", 3, T("igual"), Null, T("S"), Null, -1, 2},
      {"the text of two rows up again", 2, T("Igual"), T(""), T("S"), T("Igual"), -1, 1},
      {"empty after null, another folder again", 1, T(""), T("Igual"), Null, T("Igual"), 0, 2},
  };
  TTestDatabase db;
  {
    TSession s(db.Path());
    AddPasta(s, 1, T("/musicas/"));
    AddPasta(s, 2, T("/musicas/outras/"));
    for (const auto& c : cases) {
      s.Exec("insert into TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_INTERPRETE, MUS_TEMPO, MUS_TIPO, MUS_ALBUM, MUS_ANO,"
             " PAS_CODIGO, MUS_ARQUIVO) values (?, ?, ?, '00:00', ?, ?, ?, ?, 'f.mp3')",
             {c.codigo, c.nome, c.interprete, c.tipo, c.album, c.ano, c.pasta});
    }
    s.Commit();
  }
  auto expected = [](const TCase& c) {
    // MUS_TIPO is CHAR(1): a blank reads as the empty text.
    const std::string tipo = Show(c.tipo) == " " ? "" : Show(c.tipo);
    return std::vector<std::string>{std::to_string(c.codigo), Show(c.nome), Show(c.interprete), tipo, Show(c.album),
                                    Show(c.ano), c.pasta == 1 ? "/musicas/" : "/musicas/outras/"};
  };
  const char* const columns[] = {"MUS_CODIGO", "MUS_NOME", "MUS_INTERPRETE", "MUS_TIPO", "MUS_ALBUM", "MUS_ANO", "PAS_PATH"};
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db.Path());
  auto check = [&](const char* when, int editedRow, const std::vector<std::string>& edited) {
    int row = 0;
    for (c.Q_Musicas.First(); !c.Q_Musicas.Eof(); c.Q_Musicas.Next(), ++row) {
      ASSERT_LT(row, static_cast<int>(std::size(cases))) << when;
      std::vector<std::string> seen;
      for (const char* column : columns) seen.push_back(Shown(c.Q_Musicas, column));
      EXPECT_EQ(seen, row == editedRow ? edited : expected(cases[row])) << when << ": " << cases[row].what;
    }
    EXPECT_EQ(row, static_cast<int>(std::size(cases))) << when;
  };
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  check("as fetched", -1, {});

  // The second row shares its name and type with the first and its artist with the first's type.
  c.Q_Musicas.First();
  c.Q_Musicas.Next();
  c.Q_Musicas.Edit();
  c.Q_Musicas.SetString("MUS_NOME", "Outro");
  c.Q_Musicas.SetString("MUS_TIPO", "N");
  c.Q_Musicas.SetString("MUS_INTERPRETE", "");
  c.Q_Musicas.Next();  // posts
  check("after an edit of the second row", 1, {"5", "Outro", "", "N", "Igual", "1", "/musicas/"});
}

TEST(DataSet, LaterEditsOfARowBuildOnEarlierOnes) {
  auto db = DatabaseWithRows(1);
  TDatabase database("DB", db->Path());
  TTransaction transaction("Tr", database);
  TUpdateSQL update("Up", database, transaction,
                    "update TB_MUSICAS set MUS_NOME = :MUS_NOME, MUS_ANO = :MUS_ANO, MUS_TEMPO = :MUS_TEMPO,"
                    " MUS_ARQUIVO = :MUS_ARQUIVO, MUS_CODIGO = :MUS_CODIGO where MUS_CODIGO = :OLD_MUS_CODIGO");
  TQuery query("Q", database, transaction, MusicasSelectSql, MusicasColumns, update);
  query.Open();
  query.FetchAll();
  // A value set as an integer goes by SetInteger, a text by SetString.
  struct TSet {
    const char* column;
    TSqlValue value;
  };
  struct TStep {
    const char* what;
    std::vector<TSet> sets;
    bool post;  // else cancel
    std::vector<std::string> after;  // MUS_NOME, MUS_ANO, MUS_TEMPO, MUS_ARQUIVO, MUS_CODIGO
  };
  const std::string longName(50, 'n');
  const TStep steps[] = {
      {"a long name, cut to 45 characters, and a year", {{"MUS_NOME", longName}, {"MUS_ANO", 2020}}, true,
       {longName.substr(0, 45), "2020", "00:00", "faixa.mp3", "1"}},
      {"an edit of other columns keeps the earlier edit", {{"MUS_TEMPO", T("01:00")}, {"MUS_ARQUIVO", T("outra.mp3")}},
       true, {longName.substr(0, 45), "2020", "01:00", "outra.mp3", "1"}},
      {"a cancelled edit leaves the posted values", {{"MUS_NOME", T("x")}, {"MUS_TEMPO", T("")}}, false,
       {longName.substr(0, 45), "2020", "01:00", "outra.mp3", "1"}},
      {"a shorter text and a null replace earlier edits", {{"MUS_NOME", T("Curto")}, {"MUS_ANO", T("")}}, true,
       {"Curto", "<null>", "01:00", "outra.mp3", "1"}},
      {"the same column set twice in one edit, and a new key",
       {{"MUS_ARQUIVO", T("primeira.mp3")}, {"MUS_ARQUIVO", T("segunda.mp3")}, {"MUS_CODIGO", 77}}, true,
       {"Curto", "<null>", "01:00", "segunda.mp3", "77"}},
  };
  for (const TStep& step : steps) {
    query.Edit();
    for (const TSet& set : step.sets) {
      if (const auto* number = std::get_if<std::int32_t>(&set.value)) {
        query.SetInteger(set.column, *number);
      } else {
        query.SetString(set.column, std::get<std::string>(set.value));
      }
    }
    step.post ? query.Post() : query.Cancel();
    std::vector<std::string> seen;
    for (const char* column : {"MUS_NOME", "MUS_ANO", "MUS_TEMPO", "MUS_ARQUIVO", "MUS_CODIGO"}) {
      seen.push_back(Shown(query, column));
    }
    EXPECT_EQ(seen, step.after) << step.what;
    EXPECT_TRUE(query.RowChanged(0)) << step.what;
  }
  // One write with the values of all edits; the key as fetched finds the row.
  query.ApplyUpdates();
  EXPECT_EQ(query.ChangedCount(), 0);
  transaction.Commit();
  TSession other(db->Path());
  EXPECT_EQ(other.Query("select MUS_NOME, MUS_ANO, MUS_TEMPO, MUS_ARQUIVO, MUS_CODIGO from TB_MUSICAS"),
            (dztest::TRows{{T("Curto"), Null, T("01:00"), T("segunda.mp3"), 77}}));
}

TEST(DataSet, WritesChangedRowsInTheOrderOfTheCopy) {
  auto db = DatabaseWithRows(4);  // walked as keys 4, 3, 2, 1
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  TSession other(db->Path());
  other.Exec("delete from TB_MUSICAS where MUS_CODIGO = 2");
  other.Commit();
  auto edit = [&](std::int32_t seconds, const char* time) { EditMusica(c, seconds, time); };
  auto changed = [&] {
    std::vector<bool> marks;
    for (int row = 0; row < c.Q_Musicas.RecordCount(); ++row) marks.push_back(c.Q_Musicas.RowChanged(row));
    return marks;
  };

  // Changed in the order last row, first row, third row (gone); each move posts.
  c.Q_Musicas.First();
  for (int i = 0; i < 3; ++i) c.Q_Musicas.Next();
  edit(13, "00:13");
  c.Q_Musicas.First();
  edit(10, "00:10");
  c.Q_Musicas.Next();
  c.Q_Musicas.Next();
  edit(12, "00:12");
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 2);  // the third row's edit is not posted yet
  // The write goes in the order of the copy: the first row, then the third,
  // which fails and stops the write before the last row. The first row's
  // write is rolled back with it, so the first row is pending again; the
  // third row's edit is dropped.
  EXPECT_EQ(ErrorText([&] { c.Q_Musicas.ApplyUpdates(); }), "Update Failed");
  c.Trans_Velmar.CommitRetaining();
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 2);
  EXPECT_EQ(changed(), (std::vector<bool>{true, false, false, true}));
  EXPECT_THROW(c.Q_Musicas.RowChanged(4), std::out_of_range);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "00:00");
  EXPECT_EQ(MusicaInDatabase(other, 4), "<null> 00:00");
  EXPECT_EQ(MusicaInDatabase(other, 1), "<null> 00:00");

  // The next write takes every pending row in the order of the copy.
  c.Q_Musicas.First();
  edit(20, "00:20");
  c.Q_Musicas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 0);
  EXPECT_EQ(changed(), (std::vector<bool>{false, false, false, false}));
  EXPECT_EQ(MusicaInDatabase(other, 4), "20 00:20");
  EXPECT_EQ(MusicaInDatabase(other, 3), "<null> 00:00");
  EXPECT_EQ(MusicaInDatabase(other, 1), "13 00:13");
}

}  // namespace
