#include "catalogue/CharacterSets.h"

#include "catalogue/Catalogue.h"
#include "tests/support/CatalogueDb.h"

#include <gtest/gtest.h>

namespace {

using dztest::ErrorText;
using dztest::Show;
using dztest::TSession;
using dztest::TTestDatabase;

// The table agrees with the engine's own list of character sets.
TEST(CharacterSets, BytesPerCharacterAsTheEngineSays) {
  TTestDatabase db;
  TSession s(db.Path());
  const dztest::TRows sets = s.Query("SELECT RDB$CHARACTER_SET_ID, RDB$BYTES_PER_CHARACTER FROM RDB$CHARACTER_SETS");
  ASSERT_GT(sets.size(), 50u);
  for (const auto& set : sets) {
    EXPECT_EQ(std::to_string(BytesPerCharacter(std::get<std::int32_t>(set[0]))), Show(set[1])) << "set " << Show(set[0]);
  }
}

TEST(CharacterSets, ColumnsAndCuts) {
  EXPECT_EQ(CharacterSetOf(4), CharacterSetUtf8);
  EXPECT_EQ(CharacterSetOf(772), CharacterSetUtf8);  // UTF8 with collation 3 (UNICODE_CI)
  EXPECT_EQ(CharacterSetOf(53), 53);
  EXPECT_EQ(LengthInCharacters(1024, CharacterSetUtf8), 256);
  EXPECT_EQ(LengthInCharacters(256, 53), 256);
  EXPECT_EQ(LengthInCharacters(768, CharacterSetUnicodeFss), 256);

  struct TCase {
    const char* what;
    std::string text;
    std::size_t count;
    int set;
    std::string first;
  };
  const TCase cases[] = {
      {"bytes in a one-byte set", "Can\xE7\xE3o", 4, 53, "Can\xE7"},
      {"bytes without a set", "Can\xE7\xE3o", 4, CharacterSetNone, "Can\xE7"},
      {"characters in UTF8", "Can\xC3\xA7\xC3\xA3o", 4, CharacterSetUtf8, "Can\xC3\xA7"},
      {"characters in UNICODE_FSS", "\xE2\x82\xAC\xE2\x82\xAC", 1, CharacterSetUnicodeFss, "\xE2\x82\xAC"},
      {"four-byte characters", "\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5", 1, CharacterSetUtf8, "\xF0\x9F\x8E\xB5"},
      {"shorter than the count", "abc", 5, CharacterSetUtf8, "abc"},
      {"exactly the count", "\xC3\xA7\xC3\xA7", 2, CharacterSetUtf8, "\xC3\xA7\xC3\xA7"},
      {"none", "abc", 0, CharacterSetUtf8, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FirstCharacters(c.text, c.count, c.set), c.first) << c.what;
}

// The same catalogue in each default character set: the listed sizes hold
// (no "Size Mismatch" where the client counts bytes in a UTF8 database),
// texts come and go as the bytes the database stores, and a text set is cut
// in characters.
TEST(CharacterSets, CatalogueInEachCharacterSet) {
  struct TCase {
    const char* set;
    std::string cedilla, tilde;  // "ç" and "ã" in the set's encoding
    int id;                      // as the client describes the columns
  };
  const TCase cases[] = {{"NONE", "\xE7", "\xE3", CharacterSetNone},
                         {"WIN1252", "\xE7", "\xE3", CharacterSetWin1252},
                         {"UTF8", "\xC3\xA7", "\xC3\xA3", CharacterSetUtf8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    TTestDatabase db({}, false, 1, c.set);
    std::string longest;  // 45 characters, the most MUS_INTERPRETE holds
    for (int i = 0; i < 45; ++i) longest += c.cedilla;
    const std::string nome = "Can" + c.cedilla + c.tilde + "o";
    const std::string pasta = "/m/M" + c.cedilla + "sica/";
    const std::string arquivo = "Cora" + c.cedilla + c.tilde + "o.mp3";
    {
      TSession s(db.Path());
      s.Exec("INSERT INTO TB_PASTAS (PAS_CODIGO, PAS_PATH) VALUES (1, ?)", {pasta});
      s.Exec("INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_INTERPRETE, MUS_TEMPO, MUS_TIPO, PAS_CODIGO, "
             "MUS_ARQUIVO) VALUES (2, ?, ?, '00:00', 'x', 1, ?)",
             {nome, longest, arquivo});
      s.Commit();
    }

    // A modify statement that writes every text column back, so that each
    // makes the round trip through the copy.
    TDatabase database("DB", db.Path());
    TTransaction transaction("Trans", database);
    TUpdateSQL update("Up", database, transaction,
                      "update TB_MUSICAS set MUS_NOME = :MUS_NOME, MUS_INTERPRETE = :MUS_INTERPRETE, "
                      "MUS_COMPOSITOR = :MUS_COMPOSITOR, MUS_TIPO = :MUS_TIPO, MUS_ARQUIVO = :MUS_ARQUIVO, "
                      "MUS_SEGUNDOS = :MUS_SEGUNDOS, MUS_TEMPO = :MUS_TEMPO where MUS_CODIGO = :OLD_MUS_CODIGO");
    TQuery q("Q", database, transaction, MusicasSelectSql, MusicasColumns, update);
    q.Open();
    q.FetchAll();
    q.First();
    EXPECT_EQ(q.FieldAsString("PAS_PATH") + q.FieldAsString("MUS_ARQUIVO"), pasta + arquivo);
    EXPECT_EQ(q.FieldAsString("MUS_NOME"), nome);
    EXPECT_EQ(q.FieldAsString("MUS_INTERPRETE"), longest);
    EXPECT_EQ(q.FieldAsString("MUS_TIPO"), "x");  // CHAR(1): its padding goes
    EXPECT_EQ(q.FieldCharacterSet("MUS_ARQUIVO"), c.id);
    EXPECT_EQ(q.FieldCharacterSet("PAS_PATH"), c.id);
    EXPECT_EQ(q.FieldCharacterSet("MUS_CODIGO"), CharacterSetNone);  // no text

    q.Edit();
    q.SetInteger("MUS_SEGUNDOS", 7);
    q.SetString("MUS_TEMPO", "00:07");
    q.SetString("MUS_COMPOSITOR", longest + c.cedilla + c.cedilla);  // 47 characters into 45
    EXPECT_EQ(q.FieldAsString("MUS_COMPOSITOR"), longest);
    q.ApplyUpdates();
    transaction.CommitRetaining();

    TSession other(db.Path());
    const dztest::TRows rows = other.Query(
        "SELECT MUS_NOME, MUS_INTERPRETE, MUS_COMPOSITOR, MUS_ARQUIVO, MUS_TIPO, MUS_SEGUNDOS, MUS_TEMPO, "
        "CHAR_LENGTH(MUS_COMPOSITOR) FROM TB_MUSICAS");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Show(rows[0][0]), nome);
    EXPECT_EQ(Show(rows[0][1]), longest);
    EXPECT_EQ(Show(rows[0][2]), longest);
    EXPECT_EQ(Show(rows[0][3]), arquivo);
    EXPECT_EQ(Show(rows[0][4]).substr(0, 1), "x");
    EXPECT_EQ(Show(rows[0][5]), "7");
    EXPECT_EQ(Show(rows[0][6]), "00:07");
    EXPECT_EQ(Show(rows[0][7]), "45");
  }
}

// A column declared wider than listed still stops reads and writes, in
// characters whatever the character set.
TEST(CharacterSets, ColumnWiderThanListedInCharacters) {
  for (const char* set : {"NONE", "UTF8"}) {
    SCOPED_TRACE(set);
    TTestDatabase db("ALTER TABLE TB_MUSICAS ALTER MUS_NOME TYPE VARCHAR(46);\n"
                     "INSERT INTO TB_PASTAS (PAS_CODIGO, PAS_PATH) VALUES (1, '/m/');\n" +
                     dztest::InsereMusica(1, "00:00", 1, "a.mp3"),
                     false, 1, set);
    TCatalogo catalogo;
    catalogo.DB_Velmar.SetDatabaseName(db.Path());
    catalogo.Q_Musicas.Open();
    EXPECT_EQ(catalogo.Q_Musicas.FieldAsString("MUS_ARQUIVO"), "a.mp3");
    EXPECT_EQ(ErrorText([&] { catalogo.Q_Musicas.FieldAsString("MUS_NOME"); }),
              "Size Mismatch - Field MUS_NOME size is too small for data");
  }
}

}  // namespace
