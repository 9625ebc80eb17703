// The catalogue's own statements on real databases: which rows the selects
// take and in what order, what the modify statements write, and how the
// catalogue meets another program that shares the database.

#include "catalogue/Catalogue.h"
#include "catalogue/Tabelas.h"

#include "tests/catalogue/CatalogueSteps.h"
#include "tests/support/LostConnection.h"
#include "tests/support/CatalogueDb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <map>
#include <span>
#include <string_view>
#include <utility>

namespace {

using dztest::AddMusica;
using dztest::AddPasta;
using dztest::AddVinheta;
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

// Opens, fetches all and walks a query as the update run does; the column's text of each row.
std::vector<std::string> Walk(TQuery& query, std::string_view column) {
  query.Open();
  query.FetchAll();
  query.First();
  std::vector<std::string> seen;
  for (; !query.Eof(); query.Next()) seen.push_back(query.FieldAsString(column));
  return seen;
}

// Both queries opened on the database and fetched, as the update run begins.
void FetchBoth(TCatalogo& c, const std::string& databasePath) {
  c.DB_Velmar.SetDatabaseName(databasePath);
  for (TQuery* query : {&c.Q_Musicas, &c.Q_Vinhetas}) {
    query->Open();
    query->FetchAll();
  }
}

// The walk of the update run over both fetched queries, each row given 61
// seconds ("01:01"); the error text of each row's write ("(no error)"), by
// key (the tests keep the keys of both tables apart).
std::map<std::int32_t, std::string> WriteEveryRow(TCatalogo& c) {
  std::map<std::int32_t, std::string> errors;
  for (const TTabelaCatalogo& tabela : TabelasCatalogo) {
    TQuery& query = tabela.consulta(c);
    for (query.First(); !query.Eof(); query.Next()) {
      const std::int32_t key = std::stoi(query.FieldAsString(tabela.colunaCodigo));
      // The run's own write.
      errors[key] = ErrorText([&] { tabela.GravaDuracao(c, 61, "01:01"); });
    }
    EXPECT_EQ(query.ChangedCount(), 0);
  }
  return errors;
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
  // The modify statements take only the two columns the tool sets, the
  // fetched key, and what named the file that was measured.
  EXPECT_EQ(c.Up_Musicas.ParameterNames(), (std::vector<std::string>{"MUS_SEGUNDOS", "MUS_TEMPO", "OLD_MUS_CODIGO",
                                                                     "OLD_MUS_ARQUIVO", "OLD_PAS_CODIGO", "OLD_PAS_PATH"}));
  EXPECT_EQ(c.Up_Vinhetas.ParameterNames(),
            (std::vector<std::string>{"VIN_SEGUNDOS", "VIN_TEMPO", "OLD_VIN_CODIGO", "OLD_VIN_ARQUIVO"}));
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

// The tables as a run walks them: music first, each described by its
// query's own columns; a row's key as a number, its path as the run builds it.
TEST(Catalogue, TablesDescribedOnce) {
  ASSERT_EQ(TabelasCatalogo.size(), 2u);
  EXPECT_EQ(TabelasCatalogo[0].tabela, TTabela::Musicas);
  EXPECT_EQ(TabelasCatalogo[1].tabela, TTabela::Vinhetas);
  EXPECT_STREQ(TabelaCatalogo(TTabela::Musicas).nome, "Tb_Musicas");
  EXPECT_STREQ(TabelaCatalogo(TTabela::Vinhetas).nome, "Tb_Vinhetas");
  const auto listed = [](const auto& columns, const char* name) {
    return std::any_of(std::begin(columns), std::end(columns),
                       [&](const TColumnDef& column) { return std::string_view(column.Name) == name; });
  };
  for (const auto& [tabela, columns] : {std::pair{TabelasCatalogo[0], std::span<const TColumnDef>(MusicasColumns)},
                                        std::pair{TabelasCatalogo[1], std::span<const TColumnDef>(VinhetasColumns)}}) {
    SCOPED_TRACE(tabela.nome);
    for (const char* column : {tabela.colunaCodigo, tabela.colunaSegundos, tabela.colunaTempo, tabela.colunaArquivo}) {
      EXPECT_TRUE(listed(columns, column)) << column;
    }
    if (tabela.colunaPasta != nullptr) {
      EXPECT_TRUE(listed(columns, tabela.colunaPasta));
    }
  }

  TTestDatabase db;
  {
    TSession s(db.Path());
    // The folder's path runs into the name as stored: no separator, nothing trimmed.
    AddPasta(s, 1, T("/m/ a"));
    AddMusica(s, 7, T("00:00"), 1, T("b.mp3 "));
    AddVinheta(s, 9, T("00:00"));
    s.Commit();
  }
  TCatalogo catalogo;
  catalogo.DB_Velmar.SetDatabaseName(db.Path());
  for (const TTabelaCatalogo& tabela : TabelasCatalogo) {
    TQuery& query = tabela.consulta(catalogo);
    query.Open();
    query.FetchAll();
    query.First();
  }
  EXPECT_EQ(&TabelasCatalogo[0].consulta(catalogo), &catalogo.Q_Musicas);
  EXPECT_EQ(&TabelasCatalogo[1].consulta(catalogo), &catalogo.Q_Vinhetas);
  EXPECT_EQ(TabelasCatalogo[0].Caminho(catalogo.Q_Musicas, 0), "/m/ ab.mp3 ");
  EXPECT_EQ(TabelasCatalogo[1].Caminho(catalogo.Q_Vinhetas, 0), "/v/9.wav");
  EXPECT_EQ(catalogo.Q_Musicas.FieldAsInteger("MUS_CODIGO"), 7);
  EXPECT_EQ(catalogo.Q_Vinhetas.FieldAsInteger("VIN_CODIGO"), 9);
  EXPECT_EQ(catalogo.Q_Musicas.FieldAsInteger("MUS_SEGUNDOS"), 0);  // null
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
  TabelaCatalogo(TTabela::Vinhetas).GravaDuracao(c, 5, "00:05");
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
  other.Exec("update TB_MUSICAS set MUS_NOME = 'Renamed', MUS_INTERPRETE = 'Other', MUS_ANO = 2001 where MUS_CODIGO = 1");
  other.Exec("update TB_VINHETAS set VIN_NOME = 'Renamed', CAV_CODIGO = 9 where VIN_CODIGO = 1");
  other.Commit();

  WriteMusica(c, 61, "01:01");
  c.Q_Vinhetas.Edit();
  c.Q_Vinhetas.SetInteger("VIN_SEGUNDOS", 2);
  c.Q_Vinhetas.SetString("VIN_TEMPO", "00:02");
  c.Q_Vinhetas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();

  EXPECT_EQ(Show(other.Scalar("select MUS_NOME || '|' || MUS_INTERPRETE || '|' || MUS_ANO || '|' || MUS_SEGUNDOS || '|' ||"
                              " MUS_TEMPO from TB_MUSICAS where MUS_CODIGO = 1")),
            "Renamed|Other|2001|61|01:01");
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
  // The failed row's edit is dropped: it shows what it was fetched with.
  EXPECT_FALSE(c.Q_Musicas.RowChanged(1));
  EXPECT_EQ(c.Q_Musicas.CurrentRow(), 1);
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_TEMPO"), "00:00");
  EXPECT_EQ(c.Q_Musicas.FieldAsString("MUS_SEGUNDOS"), "");
  EXPECT_EQ(MusicaInDatabase(other, 3), "10 00:10");  // the row before stays committed
  EXPECT_EQ(MusicaInDatabase(other, 2), "(gone)");

  // Nothing of it is left to write, so the next row is written.
  c.Q_Musicas.Next();
  WriteMusica(c, 30, "00:30");
  EXPECT_EQ(c.Q_Musicas.ChangedCount(), 0);
  EXPECT_EQ(MusicaInDatabase(other, 1), "30 00:30");
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
  EXPECT_FALSE(c.Q_Musicas.RowChanged(1));

  // Once the other program lets go, the row can be written again.
  other.Rollback();
  WriteMusica(c, 20, "00:20");
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

// Another program changes a selected row between the selection and this
// tool's write of it. The row is written only while it still names the file
// that was measured and still lacks a length; otherwise the write fails with
// "Update Failed", the row keeps exactly what the other program wrote, and
// the rows after it are written as usual.
TEST(Catalogue, RowChangedSinceTheSelectionIsLeftAsTheOtherProgramLeftIt) {
  struct TCase {
    const char* what;
    bool jingle;
    TSqlValue file;        // as selected: music, the name in its folder; jingles, the whole path
    TSqlValue folderPath;  // music: its folder's path as selected
    std::vector<std::string> otherSql;  // "?": the row's key, which is also its folder's key
    bool written;
    std::string after;  // music: file|folder's path|seconds|time; jingles: file|seconds|time
  };
  const TSqlValue file = T("f.wav"), path = T("/p/");
  const TCase cases[] = {
      {"untouched", false, file, path, {}, true, "f.wav|/p/|61|01:01"},
      {"another column changed", false, file, path, {"update TB_MUSICAS set MUS_NOME = 'Outro' where MUS_CODIGO = ?"},
       true, "f.wav|/p/|61|01:01"},
      {"no file name and no folder path, untouched", false, Null, Null, {}, true, "<null>|<null>|61|01:01"},
      {"a file name with a trailing blank, untouched", false, T("f.wav "), path, {}, true, "f.wav |/p/|61|01:01"},
      {"re-pointed to another file with its length", false, T("typo.wav"), path,
       {"update TB_MUSICAS set MUS_ARQUIVO = 'one.wav', MUS_SEGUNDOS = 1, MUS_TEMPO = '00:01' where MUS_CODIGO = ?"},
       false, "one.wav|/p/|1|00:01"},
      {"re-pointed to another file, still without a length", false, file, path,
       {"update TB_MUSICAS set MUS_ARQUIVO = 'one.wav' where MUS_CODIGO = ?"}, false, "one.wav|/p/|<null>|00:00"},
      {"a trailing blank added to the file name", false, file, path,
       {"update TB_MUSICAS set MUS_ARQUIVO = 'f.wav ' where MUS_CODIGO = ?"}, false, "f.wav |/p/|<null>|00:00"},
      {"the file name taken away", false, file, path,
       {"update TB_MUSICAS set MUS_ARQUIVO = null where MUS_CODIGO = ?"}, false, "<null>|/p/|<null>|00:00"},
      {"a file name given to a row without one", false, Null, path,
       {"update TB_MUSICAS set MUS_ARQUIVO = 'f.wav' where MUS_CODIGO = ?"}, false, "f.wav|/p/|<null>|00:00"},
      {"moved to another folder", false, file, path,
       {"update TB_MUSICAS set PAS_CODIGO = 1000 where MUS_CODIGO = ?"}, false, "f.wav|/outras/|<null>|00:00"},
      {"its folder's path changed", false, file, path,
       {"update TB_PASTAS set PAS_PATH = '/novo/' where PAS_CODIGO = ?"}, false, "f.wav|/novo/|<null>|00:00"},
      {"its folder's path taken away", false, file, path,
       {"update TB_PASTAS set PAS_PATH = null where PAS_CODIGO = ?"}, false, "f.wav|<null>|<null>|00:00"},
      {"its folder's row deleted", false, file, path, {"delete from TB_PASTAS where PAS_CODIGO = ?"}, false,
       "f.wav|<null>|<null>|00:00"},
      {"given a length by the other program", false, file, path,
       {"update TB_MUSICAS set MUS_SEGUNDOS = 180, MUS_TEMPO = '03:00' where MUS_CODIGO = ?"}, false,
       "f.wav|/p/|180|03:00"},
      {"its time cleared", false, file, path, {"update TB_MUSICAS set MUS_TEMPO = null where MUS_CODIGO = ?"}, false,
       "f.wav|/p/|<null>|<null>"},

      {"untouched", true, T("/v/f.wav"), Null, {}, true, "/v/f.wav|61|01:01"},
      {"another column changed", true, T("/v/f.wav"), Null,
       {"update TB_VINHETAS set VIN_NOME = 'Outro', CAV_CODIGO = 3 where VIN_CODIGO = ?"}, true, "/v/f.wav|61|01:01"},
      {"no file, untouched", true, Null, Null, {}, true, "<null>|61|01:01"},
      {"re-pointed to another file with its length", true, T("/v/typo.wav"), Null,
       {"update TB_VINHETAS set VIN_ARQUIVO = '/v/one.wav', VIN_SEGUNDOS = 1, VIN_TEMPO = '00:01' where VIN_CODIGO = ?"},
       false, "/v/one.wav|1|00:01"},
      {"re-pointed to another file, still without a length", true, T("/v/f.wav"), Null,
       {"update TB_VINHETAS set VIN_ARQUIVO = '/v/one.wav' where VIN_CODIGO = ?"}, false, "/v/one.wav|<null>|00:00"},
      {"moved to another folder", true, T("/v/f.wav"), Null,
       {"update TB_VINHETAS set VIN_ARQUIVO = '/outras/f.wav' where VIN_CODIGO = ?"}, false,
       "/outras/f.wav|<null>|00:00"},
      {"a trailing blank added to the file name", true, T("/v/f.wav"), Null,
       {"update TB_VINHETAS set VIN_ARQUIVO = '/v/f.wav ' where VIN_CODIGO = ?"}, false, "/v/f.wav |<null>|00:00"},
      {"the file taken away", true, T("/v/f.wav"), Null,
       {"update TB_VINHETAS set VIN_ARQUIVO = null where VIN_CODIGO = ?"}, false, "<null>|<null>|00:00"},
      {"given a length by the other program", true, T("/v/f.wav"), Null,
       {"update TB_VINHETAS set VIN_SEGUNDOS = 180, VIN_TEMPO = '03:00' where VIN_CODIGO = ?"}, false,
       "/v/f.wav|180|03:00"},
  };
  // One database: each case has a row (and, for music, a folder) of its own,
  // keyed by its place in the table.
  TTestDatabase db;
  {
    TSession s(db.Path());
    AddPasta(s, 1000, T("/outras/"));
    for (std::int32_t key = 1; key <= static_cast<std::int32_t>(std::size(cases)); ++key) {
      const TCase& tc = cases[key - 1];
      if (tc.jingle) {
        s.Exec("insert into TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) values (?, '00:00', ?)", {key, tc.file});
      } else {
        AddPasta(s, key, tc.folderPath);
        AddMusica(s, key, T("00:00"), key, tc.file);
      }
    }
    s.Commit();
  }
  TCatalogo c;
  FetchBoth(c, db.Path());
  {
    TSession other(db.Path());
    for (std::int32_t key = 1; key <= static_cast<std::int32_t>(std::size(cases)); ++key) {
      for (const std::string& sql : cases[key - 1].otherSql) other.Exec(sql, {key});
    }
    other.Commit();
  }
  const std::map<std::int32_t, std::string> errors = WriteEveryRow(c);
  TSession check(db.Path());
  for (std::int32_t key = 1; key <= static_cast<std::int32_t>(std::size(cases)); ++key) {
    const TCase& tc = cases[key - 1];
    SCOPED_TRACE(std::string(tc.jingle ? "jingle: " : "music: ") + tc.what);
    EXPECT_EQ(errors.at(key), tc.written ? "(no error)" : "Update Failed");
    const dztest::TRows row =
        tc.jingle ? check.Query("select VIN_ARQUIVO, VIN_SEGUNDOS, VIN_TEMPO from TB_VINHETAS where VIN_CODIGO = ?", {key})
                  : check.Query("select Mus.MUS_ARQUIVO, Pas.PAS_PATH, Mus.MUS_SEGUNDOS, Mus.MUS_TEMPO from TB_MUSICAS Mus"
                                " left join TB_PASTAS Pas on Pas.PAS_CODIGO = Mus.PAS_CODIGO where Mus.MUS_CODIGO = ?",
                                {key});
    ASSERT_EQ(row.size(), 1u);
    std::string after;
    for (const TSqlValue& value : row[0]) after += (after.empty() ? "" : "|") + Show(value);
    EXPECT_EQ(after, tc.after);
  }
}

// Names as long as their columns allow (256 characters), in each character
// set and with characters of every UTF-8 length: the rows are written, and a
// name that another program changed since the select, if only by a trailing
// blank, still stops the write of its row.
TEST(Catalogue, NamesAsLongAsTheColumnsAllow) {
  struct TCase {
    const char* what;
    const char* set;
    std::string letter;  // one character in the set's encoding
  };
  const TCase cases[] = {
      {"NONE, 1 byte", "NONE", "\xE7"},
      {"WIN1252, 1 byte", "WIN1252", "\xE7"},
      {"UTF8, 1 byte", "UTF8", "a"},
      {"UTF8, 2 bytes", "UTF8", "\xC3\xA7"},          // ç
      {"UTF8, 3 bytes", "UTF8", "\xE2\x82\xAC"},      // €
      {"UTF8, 4 bytes", "UTF8", "\xF0\x9F\x8E\xB5"},  // U+1F3B5
  };
  constexpr int Longest = 256;  // PAS_PATH, MUS_ARQUIVO, VIN_ARQUIVO
  for (const TCase& tc : cases) {
    SCOPED_TRACE(tc.what);
    std::string longest, shorter;
    for (int i = 0; i < Longest; ++i) longest += tc.letter;
    shorter = longest.substr(0, longest.size() - tc.letter.size());
    TTestDatabase db({}, false, 1, tc.set);
    {
      TSession s(db.Path());
      AddPasta(s, 1, longest);
      AddPasta(s, 2, shorter);
      AddMusica(s, 1, T("00:00"), 1, longest);  // written
      AddMusica(s, 2, T("00:00"), 1, shorter);  // the other program adds a blank to its name
      AddMusica(s, 3, T("00:00"), 2, longest);  // ... and to its folder's path
      s.Exec("insert into TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) values (11, '00:00', ?)", {longest});
      s.Exec("insert into TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) values (12, '00:00', ?)", {shorter});
      s.Commit();
    }
    TCatalogo c;
    FetchBoth(c, db.Path());
    EXPECT_EQ(c.Q_Musicas.FieldAsString(2, "PAS_PATH") + c.Q_Musicas.FieldAsString(2, "MUS_ARQUIVO"),
              longest + longest);
    dztest::Executa(db.Path(), {"update TB_MUSICAS set MUS_ARQUIVO = MUS_ARQUIVO || ' ' where MUS_CODIGO = 2",
                                "update TB_PASTAS set PAS_PATH = PAS_PATH || ' ' where PAS_CODIGO = 2",
                                "update TB_VINHETAS set VIN_ARQUIVO = VIN_ARQUIVO || ' ' where VIN_CODIGO = 12"});
    const std::map<std::int32_t, std::string> errors = WriteEveryRow(c);
    const std::map<std::int32_t, std::string> expected = {
        {1, "(no error)"}, {2, "Update Failed"}, {3, "Update Failed"}, {11, "(no error)"}, {12, "Update Failed"}};
    EXPECT_EQ(errors, expected);
    EXPECT_THAT(dztest::Linhas(db.Path(), "select Mus.MUS_CODIGO, Mus.MUS_ARQUIVO, Pas.PAS_PATH, Mus.MUS_SEGUNDOS,"
                                          " Mus.MUS_TEMPO from TB_MUSICAS Mus join TB_PASTAS Pas"
                                          " on Pas.PAS_CODIGO = Mus.PAS_CODIGO order by 1"),
                testing::ElementsAre("1|" + longest + "|" + longest + "|61|01:01",
                                     "2|" + shorter + " |" + longest + "|<null>|00:00",
                                     "3|" + longest + "|" + shorter + " |<null>|00:00"));
    EXPECT_THAT(dztest::Linhas(db.Path(),
                               "select VIN_CODIGO, VIN_ARQUIVO, VIN_SEGUNDOS, VIN_TEMPO from TB_VINHETAS order by 1"),
                testing::ElementsAre("11|" + longest + "|61|01:01", "12|" + shorter + " |<null>|00:00"));
  }
}

// A write that fails leaves nothing executed and uncommitted behind: what
// the same write had written before the failing row is rolled back, so no
// other program meets a lock that the tool keeps while it sits idle.
TEST(Catalogue, FailedWriteLeavesNoRowLocked) {
  auto db = DatabaseWithRows(3);  // walked as keys 3, 2, 1
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  auto other = std::make_unique<TSession>(db->Path());
  other->Exec("update TB_MUSICAS set MUS_NOME = 'busy' where MUS_CODIGO = 2");

  // Two rows pending, the second locked: the first is executed, the second fails.
  c.Q_Musicas.First();
  EditMusica(c, 10, "00:10");
  c.Q_Musicas.Next();
  EditMusica(c, 20, "00:20");
  EXPECT_THAT(ErrorText([&] { c.Q_Musicas.ApplyUpdates(); }), ::testing::StartsWith("deadlock\n"));
  other.reset();  // lets go of its row

  // Every row at once, by a program that does not wait for locks: no conflict.
  {
    TSession third(db->Path());
    EXPECT_EQ(ErrorText([&] { EXPECT_EQ(third.Exec("update TB_MUSICAS set MUS_NOME = 'all'"), 3); }), "(no error)");
    third.Commit();
  }
  // The rolled-back row is pending again, the failed one is not.
  EXPECT_TRUE(c.Q_Musicas.RowChanged(0));
  EXPECT_FALSE(c.Q_Musicas.RowChanged(1));
  c.Q_Musicas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
  TSession check(db->Path());
  EXPECT_EQ(MusicaInDatabase(check, 3), "10 00:10");
  EXPECT_EQ(MusicaInDatabase(check, 2), "<null> 00:00");
  EXPECT_EQ(Show(check.Scalar("select MUS_NOME from TB_MUSICAS where MUS_CODIGO = 3")), "all");
}

// The attachment ended by an administrator (its row deleted from
// MON$ATTACHMENTS): the call that meets it fails with the client's text and
// the connection is dropped, so the next open attaches and selects again. Ended
// while idle, the next open finds out and attaches again without an error.
TEST(Catalogue, AttachmentEndedByAnAdministrator) {
  auto db = DatabaseWithRows(3);
  TCatalogo c;
  c.DB_Velmar.SetDatabaseName(db->Path());
  c.Q_Musicas.Open();
  c.Q_Musicas.FetchAll();
  c.Q_Musicas.First();
  WriteMusica(c, 10, "00:10");
  c.Q_Musicas.Next();
  ASSERT_EQ(dztest::EndOtherAttachments(db->Path()), 1);

  EXPECT_THAT(ErrorText([&] { WriteMusica(c, 20, "00:20"); }), ::testing::StartsWith("connection shutdown"));
  EXPECT_FALSE(c.DB_Velmar.Connected());
  EXPECT_FALSE(c.Trans_Velmar.Active());
  EXPECT_FALSE(c.Q_Musicas.IsOpen());
  EXPECT_FALSE(c.Up_Musicas.Prepared());

  EXPECT_EQ(Walk(c.Q_Musicas, "MUS_CODIGO"), (std::vector<std::string>{"2", "1"}));
  c.Q_Musicas.First();
  WriteMusica(c, 20, "00:20");
  ASSERT_EQ(dztest::EndOtherAttachments(db->Path()), 1);
  c.Q_Musicas.Close();
  EXPECT_EQ(Walk(c.Q_Musicas, "MUS_CODIGO"), (std::vector<std::string>{"1"}));
  WriteMusica(c, 30, "00:30");

  TSession check(db->Path());
  EXPECT_EQ(MusicaInDatabase(check, 3), "10 00:10");
  EXPECT_EQ(MusicaInDatabase(check, 2), "20 00:20");
  EXPECT_EQ(MusicaInDatabase(check, 1), "30 00:30");
}

}  // namespace
