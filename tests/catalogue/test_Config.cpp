#include "catalogue/ConfigBanco.h"

#include "catalogue/DataSet.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <ini.h>

#include <filesystem>

namespace {

using dztest::TTempDir;

std::string Letters(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

TEST(Config, ReadsTheDatabaseName) {
  struct TCase {
    const char* what;
    std::string content;
    std::string value;
  };
  const std::string path3000 = "C:\\" + Letters(2997);
  const TCase cases[] = {
      {"plain", "[BANCO]\nCAMINHO=C:\\Velmar\\db.fdb\n", "C:\\Velmar\\db.fdb"},
      {"names in any letter case", "[banco]\ncaminho=localhost:/srv/db.fdb\n", "localhost:/srv/db.fdb"},
      {"backslashes, blanks inside, quotes and ';' stay",
       "[BANCO]\nCAMINHO=\\\\srv\\a b;c\\\"x\".fdb\n", "\\\\srv\\a b;c\\\"x\".fdb"},
      {"blanks around key and value go", "[BANCO]\n  CAMINHO  =  /db.fdb  \n", "/db.fdb"},
      {"Windows line ends", "[BANCO]\r\nCAMINHO=C:\\db.fdb\r\n", "C:\\db.fdb"},
      {"UTF-8 byte order mark", "\xEF\xBB\xBF[BANCO]\nCAMINHO=x.fdb\n", "x.fdb"},
      {"other sections and keys around", "[OUTRO]\nCAMINHO=no\n[BANCO]\nUSUARIO=u\nCAMINHO=yes\n[FIM]\nCAMINHO=no2\n", "yes"},
      {"the first of a key given twice", "[BANCO]\nCAMINHO=first\nCAMINHO=second\n", "first"},
      {"an indented line is a key of its own", "[BANCO]\nOUTRA=1\n  CAMINHO=indented\n", "indented"},
      {"the section given twice", "[BANCO]\nA=1\n[X]\n[BANCO]\nCAMINHO=later\n", "later"},
      {"a malformed line does not stop the read", "[BANCO]\nnot a pair\nCAMINHO=after\n", "after"},
      {"empty value", "[BANCO]\nCAMINHO=\n", ""},
      {"key missing", "[BANCO]\nCAMINH=x\n", ""},
      {"section missing", "[BANCOS]\nCAMINHO=x\n", ""},
      {"key before any section", "CAMINHO=x\n[BANCO]\n", ""},
      {"empty file", "", ""},
      {"2047 characters stay whole", "[BANCO]\nCAMINHO=" + Letters(2047) + "\n", Letters(2047)},
      {"3000 characters are cut to 2047", "[BANCO]\nCAMINHO=" + path3000 + "\nX=1\n", path3000.substr(0, 2047)},
      {"a line longer than the reader's line: first 2047 of the value",
       "[BANCO]\nCAMINHO=" + Letters(20000) + "\nCAMINHO=second\n", Letters(2047)},
  };
  TTempDir dir;
  const std::string file = dir.File("BaseAudio.ini");
  for (const auto& c : cases) {
    dztest::WriteFile(file, c.content);
    EXPECT_EQ(ReadConfiguredDatabaseName(file), c.value) << c.what;
  }
}

TEST(Config, MissingFileGivesEmptyText) {
  TTempDir dir;
  EXPECT_EQ(ReadConfiguredDatabaseName(dir.File("BaseAudio.ini")), "");
  EXPECT_EQ(ReadConfiguredDatabaseName(dir.Path().string()), "");  // a folder
}

TEST(Config, ReadsAnySectionAndKey) {
  TTempDir dir;
  const std::string file = dir.File("a.ini");
  dztest::WriteFile(file, "[BANCO]\nCAMINHO=a\n[Outro]\nChave=b\n");
  EXPECT_EQ(ReadIniValue(file, "OUTRO", "chave"), "b");
  EXPECT_EQ(ReadIniValue(file, "Outro", "CAMINHO"), "");
}

// [BANCO] TEMPO_LIMITE: whole seconds from 1 to 86400, or the file's error;
// without a value the database keeps the limit it had.
TEST(Config, ReadsTheCallLimit) {
  struct TCase {
    const char* what;
    const char* content;
    std::string error;  // $INI stands for the file's name
    int limit;
  } cases[] = {
      {"no key", "[BANCO]\nCAMINHO=/c/x.fdb\n", "", 60},
      {"an empty value", "[BANCO]\nTEMPO_LIMITE=\n", "", 60},
      {"a number", "[BANCO]\nTEMPO_LIMITE=5\n", "", 5},
      {"blanks around it, the key in lower case", "[banco]\ntempo_limite =  120  \n", "", 120},
      {"the most", "[BANCO]\nTEMPO_LIMITE=86400\n", "", 86400},
      {"zero", "[BANCO]\nTEMPO_LIMITE=0\n", "$INI: [BANCO] TEMPO_LIMITE=0 não é um número de segundos de 1 a 86400", 60},
      {"past the most", "[BANCO]\nTEMPO_LIMITE=86401\n",
       "$INI: [BANCO] TEMPO_LIMITE=86401 não é um número de segundos de 1 a 86400", 60},
      {"negative", "[BANCO]\nTEMPO_LIMITE=-5\n", "$INI: [BANCO] TEMPO_LIMITE=-5 não é um número de segundos de 1 a 86400",
       60},
      {"a plus sign", "[BANCO]\nTEMPO_LIMITE=+5\n", "$INI: [BANCO] TEMPO_LIMITE=+5 não é um número de segundos de 1 a 86400",
       60},
      {"with a unit", "[BANCO]\nTEMPO_LIMITE=30s\n", "$INI: [BANCO] TEMPO_LIMITE=30s não é um número de segundos de 1 a 86400",
       60},
      {"a fraction", "[BANCO]\nTEMPO_LIMITE=1.5\n", "$INI: [BANCO] TEMPO_LIMITE=1.5 não é um número de segundos de 1 a 86400",
       60},
      {"too many digits", "[BANCO]\nTEMPO_LIMITE=99999999999999999999\n",
       "$INI: [BANCO] TEMPO_LIMITE=99999999999999999999 não é um número de segundos de 1 a 86400", 60},
  };
  TTempDir dir;
  const std::string file = dir.File("BaseAudio.ini");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dztest::WriteFile(file, c.content);
    TDatabase database("DB", "");
    std::string error = c.error;
    if (const auto mark = error.find("$INI"); mark != std::string::npos) error.replace(mark, 4, file);
    EXPECT_EQ(ReadConfiguredCallLimit(file, database), error);
    EXPECT_EQ(database.CallLimit(), c.limit);
  }
  TDatabase database("DB", "");
  EXPECT_EQ(ReadConfiguredCallLimit(dir.File("missing.ini"), database), "");
  EXPECT_EQ(database.CallLimit(), DefaultCallLimitSeconds);
}

TEST(Config, ReadsAWholeSection) {
  TTempDir dir;
  const std::string file = dir.File("a.ini");
  dztest::WriteFile(file, "A=0\n[X]\nk=1\n[Y]\nk=2\n[x]\nK=3\nk=4\n");
  const TIniEntries expected = {{"k", "1"}, {"K", "3"}, {"k", "4"}};
  EXPECT_EQ(ReadIniSection(file, "X"), expected);
  EXPECT_TRUE(ReadIniSection(file, "Z").empty());
  EXPECT_TRUE(ReadIniSection(dir.File("missing.ini"), "X").empty());
}

TEST(Config, LeavesTheReadersOptionsAsFound) {
  const int maxLine = ini_max_line;
  const bool multiline = ini_allow_multiline;
  const bool inlineComments = ini_allow_inline_comments;
  TTempDir dir;
  dztest::WriteFile(dir.File("a.ini"), "[BANCO]\nCAMINHO=a\n");
  ASSERT_EQ(ReadConfiguredDatabaseName(dir.File("a.ini")), "a");
  EXPECT_EQ(ini_max_line, maxLine);
  EXPECT_EQ(ini_allow_multiline, multiline);
  EXPECT_EQ(ini_allow_inline_comments, inlineComments);
}

TEST(Config, AppliesTheFileWhenItExists) {
  using namespace std::string_literals;
  TTempDir dir;
  const std::string ini = dir.File("BaseAudio.ini");
  dztest::WriteFile(ini, "[BANCO]\nCAMINHO=localhost:/srv/db.fdb\n");
  dztest::WriteFile(dir.File("SemChave.ini"), "[BANCO]\nOUTRA=x\n");
  dztest::WriteFile(dir.File("Vazio.ini"), "");
  std::filesystem::create_directory(dir.File("Pasta.ini"));
  std::filesystem::create_symlink(ini, dir.File("Ligacao.ini"));
  std::filesystem::create_symlink(dir.File("Falta.ini"), dir.File("Quebrada.ini"));
  struct TCase {
    const char* what;
    std::string fileName;
    bool applied;
    std::string databaseName;  // afterwards
  };
  const std::string builtIn = "C:\\built-in.fdb";
  const TCase cases[] = {
      {"the file's value", ini, true, "localhost:/srv/db.fdb"},
      {"a file without the key empties the name", dir.File("SemChave.ini"), true, ""},
      {"an empty file empties the name", dir.File("Vazio.ini"), true, ""},
      {"a link to the file is the file", dir.File("Ligacao.ini"), true, "localhost:/srv/db.fdb"},
      {"no file: the built-in name stays", dir.File("Falta.ini"), false, builtIn},
      {"a link to no file", dir.File("Quebrada.ini"), false, builtIn},
      {"a folder is no file", dir.File("Pasta.ini"), false, builtIn},
      {"the empty name", "", false, builtIn},
      {"a NUL byte names no file, not the file before it", ini + "\0x"s, false, builtIn},
  };
  for (const auto& c : cases) {
    TDatabase database("DB", builtIn);
    EXPECT_EQ(AplicaConfiguracao(database, c.fileName), c.applied) << c.what;
    EXPECT_EQ(database.DatabaseName(), c.databaseName) << c.what;
    EXPECT_FALSE(database.Connected()) << c.what;
  }
}

TEST(Config, ExecutableFolderIsTheTestsFolder) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  const auto expected = std::filesystem::canonical(dztest::BinaryDir() + "/tests/catalogue").string() + "/";
  EXPECT_EQ(folder, expected);
  EXPECT_TRUE(std::filesystem::exists(folder + "test_Config"));
}

}  // namespace
