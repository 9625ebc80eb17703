#include "catalogue/EngineSettings.h"

#include "tests/support/CatalogueDb.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using dztest::TTempDir;

// FIREBIRD removed for the test, put back as the test found it when it ends.
class KeptRootVariable : public dztest::TEnvironmentVariable {
public:
  KeptRootVariable() : TEnvironmentVariable("FIREBIRD", nullptr) {}
};

// A root like the system's: firebird.conf (the setting commented out, as
// shipped), a folder and a file.
struct TFakeRoot {
  explicit TFakeRoot(const std::string& conf) {
    dztest::WriteFile(dir.File("firebird.conf"), conf);
    fs::create_directory(dir.Path() / "plugins");
    dztest::WriteFile(dir.File("plugins/libEngine12.so"), std::string_view("engine"));
    dztest::WriteFile(dir.File("firebird.msg"), std::string_view("messages"));
    // As Debian ships it: the module a file, its list a link into /etc.
    fs::create_directory(dir.Path() / "intl");
    dztest::WriteFile(dir.File("intl/libfbintl.so"), std::string_view("charsets"));
    dztest::WriteFile(dir.File("etc-fbintl.conf"), std::string_view("intl_module = fbintl"));
    fs::create_symlink(dir.Path() / "etc-fbintl.conf", dir.Path() / "intl/fbintl.conf");
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
    // The character set folder is a copy: the engine loads its module only
    // from a real file under its root.
    for (const char* file : {"intl", "intl/libfbintl.so", "intl/fbintl.conf"}) {
      EXPECT_FALSE(fs::is_symlink(fs::path(folder) / file)) << file;
    }
    EXPECT_EQ(dztest::ReadFileText((fs::path(folder) / "intl/libfbintl.so").string()), "charsets");
    EXPECT_EQ(dztest::ReadFileText((fs::path(folder) / "intl/fbintl.conf").string()), "intl_module = fbintl");
  }
  EXPECT_FALSE(fs::exists(folder));
  // What the links named is untouched.
  EXPECT_EQ(dztest::ReadFileText((system.dir.Path() / "plugins/libEngine12.so").string()), "engine");
  EXPECT_EQ(dztest::ReadFileText((system.dir.Path() / "firebird.conf").string()), conf);
}

// The largest process id the kernel gives (0 when unknown): no process has
// an id above it.
long LargestProcessId() {
  long largest = 0;
  std::ifstream("/proc/sys/kernel/pid_max") >> largest;
  return largest;
}

// The private folder of a process that no longer runs goes at the next
// start; that of a running process stays, and so does anything that only
// looks like one. What the links named is untouched.
TEST(EngineSettings, FoldersOfProcessesThatNoLongerRunGo) {
  TTempDir temporary;
  TTempDir system;
  dztest::WriteFile(system.File("firebird.msg"), std::string_view("messages"));
  fs::create_directory(system.Path() / "plugins");
  dztest::WriteFile((system.Path() / "plugins/libEngine12.so").string(), std::string_view("engine"));
  const long largest = LargestProcessId();
  ASSERT_GT(largest, 0);
  const std::string gone = "derozavizirizid-firebird." + std::to_string(largest + 1) + ".AbC123";
  const std::string running = "derozavizirizid-firebird." + std::to_string(::getppid()) + ".XyZ789";
  const std::string oldStyle = "derozavizirizid-firebird.Q1w2E3";
  const std::string otherName = "outro-programa." + std::to_string(largest + 1) + ".AbC123";
  const std::string linkToFolder = "derozavizirizid-firebird." + std::to_string(largest + 2) + ".LnK000";
  for (const std::string& name : {gone, running, oldStyle, otherName}) {
    fs::create_directory(temporary.Path() / name);
    fs::create_symlink(system.Path() / "plugins", temporary.Path() / name / "plugins");
    fs::create_symlink(system.Path() / "firebird.msg", temporary.Path() / name / "firebird.msg");
  }
  fs::create_directory_symlink(system.Path(), temporary.Path() / linkToFolder);

  RemoveLeftEngineFolders(temporary.Path().string());

  EXPECT_FALSE(fs::exists(fs::symlink_status(temporary.Path() / gone)));
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(temporary.Path() / running)));
  EXPECT_TRUE(fs::is_symlink(temporary.Path() / running / "plugins"));
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(temporary.Path() / oldStyle)));
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(temporary.Path() / otherName)));
  EXPECT_TRUE(fs::is_symlink(temporary.Path() / linkToFolder));
  EXPECT_EQ(dztest::ReadFileText((system.Path() / "plugins/libEngine12.so").string()), "engine");
  EXPECT_EQ(dztest::ReadFileText(system.File("firebird.msg")), "messages");
}

// Apply names its folder with this process's id, and clears what a killed
// run left first.
TEST(EngineSettings, ApplyNamesItsFolderWithTheProcessAndClearsLeftFolders) {
  const KeptRootVariable kept;
  TFakeRoot system("DefaultDbCachePages = 2048\n");
  TTempDir temporary;
  const long largest = LargestProcessId();
  ASSERT_GT(largest, 0);
  const fs::path left = temporary.Path() / ("derozavizirizid-firebird." + std::to_string(largest + 1) + ".AbC123");
  fs::create_directory(left);
  fs::create_symlink(system.dir.Path() / "plugins", left / "plugins");
  const TEngineSettings settings =
      TEngineSettings::Apply({"TempCacheLimit = 8M"}, system.dir.Path().string(), temporary.Path().string());
  ASSERT_TRUE(settings.Applied()) << settings.Reason();
  EXPECT_EQ(fs::path(settings.Folder()).filename().string().rfind(
                "derozavizirizid-firebird." + std::to_string(::getpid()) + ".", 0),
            0u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(left)));
  EXPECT_EQ(dztest::ReadFileText((system.dir.Path() / "plugins/libEngine12.so").string()), "engine");
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
