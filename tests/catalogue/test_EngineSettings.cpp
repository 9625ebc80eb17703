#include "catalogue/EngineSettings.h"

#include "tests/support/CatalogueDb.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace {

namespace fs = std::filesystem;
using dztest::TTempDir;

// FIREBIRD as the test found it, put back when the test ends.
class KeptRootVariable {
public:
  KeptRootVariable() {
    if (const char* value = std::getenv("FIREBIRD")) kept_ = value;
    ::unsetenv("FIREBIRD");
  }
  ~KeptRootVariable() {
    if (kept_) ::setenv("FIREBIRD", kept_->c_str(), 1);
    else ::unsetenv("FIREBIRD");
  }

private:
  std::optional<std::string> kept_;
};

// A root like the system's: firebird.conf (the setting commented out, as
// shipped), a folder and a file.
struct TFakeRoot {
  explicit TFakeRoot(const std::string& conf) {
    dztest::WriteFile(dir.File("firebird.conf"), conf);
    fs::create_directory(dir.Path() / "plugins");
    dztest::WriteFile(dir.File("plugins/libEngine12.so"), std::string_view("engine"));
    dztest::WriteFile(dir.File("firebird.msg"), std::string_view("messages"));
  }
  TTempDir dir;
};

TEST(EngineSettings, OnlyPlainPathsAndAliasesOpenInThisProcess) {
  const struct {
    const char* name;
    bool local;
  } cases[] = {
      {"/srv/radio/VELMAR.FDB", true},
      {"relative/catalogue.fdb", true},
      {"velmar", true},  // an alias of databases.conf
      {"localhost:/srv/radio/VELMAR.FDB", false},
      {"127.0.0.1/3050:/srv/radio/VELMAR.FDB", false},
      {"servidor:velmar", false},
      {"inet://servidor/velmar", false},
      {"xnet://velmar", false},
      {"C:\\Radio\\VELMAR.FDB", false},
      {"\\\\servidor\\Radio\\VELMAR.FDB", false},
      {"//servidor/velmar", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(OpensInThisProcess(c.name), c.local) << c.name;
}

TEST(EngineSettings, PrivateRootIsTheSystemsWithTheLinesAddedAndGoesAway) {
  const KeptRootVariable kept;
  const std::string conf = "# shipped\n#TempCacheLimit = 64M\nDefaultDbCachePages = 2048";  // no final newline
  TFakeRoot system(conf);
  TTempDir temporary;
  std::string folder;
  {
    const TEngineSettings settings =
        TEngineSettings::Apply({"TempCacheLimit = 8M"}, system.dir.Path().string(), temporary.Path().string());
    ASSERT_TRUE(settings.Applied()) << settings.Reason();
    folder = settings.Folder();
    EXPECT_EQ(fs::path(folder).parent_path(), temporary.Path());
    ASSERT_NE(std::getenv("FIREBIRD"), nullptr);
    EXPECT_EQ(std::string(std::getenv("FIREBIRD")), folder);
    EXPECT_EQ(dztest::ReadFileText((fs::path(folder) / "firebird.conf").string()),
              conf + "\n\n# Added for this program's run only\nTempCacheLimit = 8M\n");
    EXPECT_FALSE(fs::is_symlink(fs::path(folder) / "firebird.conf"));
    EXPECT_TRUE(fs::is_symlink(fs::path(folder) / "plugins"));
    EXPECT_EQ(dztest::ReadFileText((fs::path(folder) / "plugins/libEngine12.so").string()), "engine");
    EXPECT_EQ(dztest::ReadFileText((fs::path(folder) / "firebird.msg").string()), "messages");
  }
  EXPECT_FALSE(fs::exists(folder));
  // What the links named is untouched.
  EXPECT_EQ(dztest::ReadFileText((system.dir.Path() / "plugins/libEngine12.so").string()), "engine");
  EXPECT_EQ(dztest::ReadFileText((system.dir.Path() / "firebird.conf").string()), conf);
}

TEST(EngineSettings, AnAdministratorsChoiceWins) {
  const KeptRootVariable kept;
  TTempDir temporary;
  const std::vector<std::string> lines{"TempCacheLimit = 8M"};
  const struct {
    const char* what;
    std::string conf;
    const char* rootVariable;
    bool missingRoot;
  } cases[] = {
      {"FIREBIRD names a root", "#TempCacheLimit = 64M\n", "/opt/firebird", false},
      {"firebird.conf sets the name", "TempCacheLimit = 16M\n", nullptr, false},
      {"set in other letter case, spaced", "  tempcachelimit=16M  # ours\n", nullptr, false},
      {"no root found", "", nullptr, true},
  };
  for (const auto& c : cases) {
    TFakeRoot system(c.conf);
    if (c.rootVariable) ::setenv("FIREBIRD", c.rootVariable, 1);
    else ::unsetenv("FIREBIRD");
    const TEngineSettings settings =
        TEngineSettings::Apply(lines, c.missingRoot ? std::string() : system.dir.Path().string(),
                               temporary.Path().string());
    EXPECT_FALSE(settings.Applied()) << c.what;
    EXPECT_NE(settings.Reason(), "") << c.what;
    const char* now = std::getenv("FIREBIRD");
    EXPECT_EQ(now ? std::string(now) : "", c.rootVariable ? c.rootVariable : "") << c.what;
    EXPECT_TRUE(fs::is_empty(temporary.Path())) << c.what;
  }
}

// The engine of this process reads the private root: the page buffers of a
// database without its own number are the configuration's. (No other test
// of this program calls the client library, which reads its settings once.)
TEST(EngineSettings, TheEngineInThisProcessReadsThePrivateRoot) {
  const KeptRootVariable kept;
  const std::string root = ClientLibraryRoot();
  ASSERT_NE(root, "") << "the client library's root folder was not found";
  TTempDir temporary;
  const TEngineSettings settings = TEngineSettings::Apply(
      {"TempCacheLimit = 8M", "DefaultDbCachePages = 321"}, root, temporary.Path().string());
  ASSERT_TRUE(settings.Applied()) << settings.Reason();
  dztest::TTestDatabase database;
  dztest::TSession session(database.Path());
  EXPECT_EQ(dztest::Show(session.Scalar("SELECT MON$PAGE_BUFFERS FROM MON$DATABASE")), "321");
}

}  // namespace
