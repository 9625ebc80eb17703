#include "paths/WindowsLookup.h"

#include "audio/ReadOnlyFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

namespace {

using dztest::TTempDir;

namespace fs = std::filesystem;

TEST(WindowsLookup, NameKey) {
  struct TCase {
    const char* what;
    std::string name;
    bool text8Bit;
    std::string key;
  };
  const TCase cases[] = {
      {"ASCII letters", "Aquarela.MP3", false, "aquarela.mp3"},
      {"UTF-8 capitals", "CORA\xC3\x87\xC3\x83O.MP3", false, "cora\xC3\xA7\xC3\xA3o.mp3"},
      {"Windows-1252 capitals, read so as not UTF-8", "CORA\xC7\xC3O.MP3", false, "cora\xC3\xA7\xC3\xA3o.mp3"},
      {"UTF-8 bytes read as Windows-1252 when told", "\xC3\xA9", true, "\xC3\xA3\xC2\xA9"},
      {"UTF-8 bytes read as UTF-8 otherwise", "\xC3\x89", false, "\xC3\xA9"},
      {"the capitals beyond Latin-1", "\x8A\x8C\x8E\x9F", true, "\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF"},
      {"the multiplication sign is no letter", "\xD7", true, "\xC3\x97"},
      {"sharp s has no capital here", "\xDF", true, "\xC3\x9F"},
      {"Greek is not folded", "\xCE\x91", false, "\xCE\x91"},
      {"a trailing dot goes", "faixa.mp3.", false, "faixa.mp3"},
      {"trailing blanks and dots go", "faixa.mp3. . ", false, "faixa.mp3"},
      {"leading ones stay", " .oculto", false, " .oculto"},
      {"only dots", "...", false, ""},
      {"only blanks", "  ", false, ""},
      {"empty", "", false, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NameKey(c.name, c.text8Bit), c.key) << c.what;
}

// A folder of real files whose names differ from the catalogue's in the ways
// a Windows catalogue differs from a Linux share.
class WindowsLookupTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    root_ = new TTempDir;
    for (const char* folder : {"Acervo/Samba", "Acervo/Dupla", "Acervo/Rock", "Acervo/ROCK", "Win",
                               "M\xC3\xBAsicas", "Acervo/pasta.mp3"}) {
      fs::create_directories(root_->Path() / folder);
    }
    for (const char* file : {"Acervo/Samba/Aquarela.MP3", "Acervo/Samba/Cora\xC3\xA7\xC3\xA3o.mp3",
                             "Acervo/Dupla/Faixa.mp3", "Acervo/Dupla/FAIXA.mp3", "Acervo/Rock/ensaio.wav",
                             "Win/Cora\xE7\xE3o.mp3", "M\xC3\xBAsicas/Cora\xC3\xA7\xC3\xA3o.mp3"}) {
      dztest::WriteFile(Path(file), "x");
    }
    fs::create_directory_symlink(root_->Path() / "Acervo/Samba", root_->Path() / "atalho");
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }
  static std::string Path(const std::string& relative) { return root_->Path().string() + "/" + relative; }

  static TTempDir* root_;
};

TTempDir* WindowsLookupTest::root_ = nullptr;

TEST_F(WindowsLookupTest, Finds) {
  struct TCase {
    const char* what;
    std::string path;      // below the folder
    TLookupResult result;
    std::string opened;    // below the folder; "" when it is path
  };
  const TCase cases[] = {
      {"the exact bytes", "Acervo/Samba/Aquarela.MP3", TLookupResult::Exact, ""},
      {"the file's letter case", "Acervo/Samba/aquarela.mp3", TLookupResult::Found, "Acervo/Samba/Aquarela.MP3"},
      {"every name's letter case", "ACERVO/samba/AQUARELA.mp3", TLookupResult::Found, "Acervo/Samba/Aquarela.MP3"},
      {"a Windows-1252 name of a UTF-8 file", "Acervo/Samba/Cora\xE7\xE3o.mp3", TLookupResult::Found,
       "Acervo/Samba/Cora\xC3\xA7\xC3\xA3o.mp3"},
      {"the same in capitals", "acervo/SAMBA/CORA\xC7\xC3O.MP3", TLookupResult::Found,
       "Acervo/Samba/Cora\xC3\xA7\xC3\xA3o.mp3"},
      {"a UTF-8 name in capitals", "Acervo/Samba/CORA\xC3\x87\xC3\x83O.MP3", TLookupResult::Found,
       "Acervo/Samba/Cora\xC3\xA7\xC3\xA3o.mp3"},
      {"a Windows-1252 file, exactly", "Win/Cora\xE7\xE3o.mp3", TLookupResult::Exact, ""},
      {"a Windows-1252 file found by its UTF-8 name", "win/cora\xC3\xA7\xC3\xA3o.mp3", TLookupResult::Found,
       "Win/Cora\xE7\xE3o.mp3"},
      {"trailing blanks and dots of the file", "Acervo/Samba/aquarela.mp3. ", TLookupResult::Found,
       "Acervo/Samba/Aquarela.MP3"},
      {"trailing dots of a folder", "Acervo/Samba./Aquarela.MP3", TLookupResult::Found, "Acervo/Samba/Aquarela.MP3"},
      {"two files differ only in case", "Acervo/Dupla/faixa.mp3", TLookupResult::Ambiguous, ""},
      {"one of them named exactly", "Acervo/Dupla/FAIXA.mp3", TLookupResult::Exact, ""},
      {"two folders differ only in case", "Acervo/rock/ensaio.wav", TLookupResult::Ambiguous, ""},
      {"one of them named exactly", "Acervo/Rock/ENSAIO.WAV", TLookupResult::Found, "Acervo/Rock/ensaio.wav"},
      {"no such file", "Acervo/Samba/falta.mp3", TLookupResult::Missing, ""},
      {"no such folder", "Acervo/Pagode/aquarela.mp3", TLookupResult::Missing, ""},
      {"a folder is no file", "acervo/samba", TLookupResult::Missing, ""},
      {"a folder named like a file is no file", "Acervo/PASTA.MP3", TLookupResult::Missing, ""},
      {"a file is no folder", "Acervo/Samba/aquarela.mp3/x", TLookupResult::Missing, ""},
      {"a link to a folder", "ATALHO/aquarela.mp3", TLookupResult::Found, "atalho/Aquarela.MP3"},
      {"\".\" and \"..\" are left to the system", "Acervo/./Samba/../samba/aquarela.mp3", TLookupResult::Found,
       "Acervo/Samba/../Samba/Aquarela.MP3"},
      {"a name of dots only", "Acervo/Samba/...", TLookupResult::Missing, ""},
      {"a trailing separator", "Acervo/Samba/", TLookupResult::Missing, ""},
      {"a zero byte", std::string("Acervo/Samba/Aquarela.MP3\0x", 27), TLookupResult::Missing, ""},
  };
  TWindowsLookup lookup;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TLookup found = lookup.FindPath(Path(c.path));
    EXPECT_EQ(found.Result, c.result);
    EXPECT_EQ(found.Path, Path(c.opened.empty() ? c.path : c.opened));
  }
}

// Names compare in composed form (NFC): "Coração" written composed, as
// Windows writes it, finds the file named decomposed (as copied from a Mac),
// and the reverse; two names in one folder that differ only in composition
// are ambiguous, as names that differ only in letter case.
TEST(WindowsLookup, ComposedAndDecomposedNamesAreOneName) {
  const TTempDir dir;
  const std::string composed = "Cora\xC3\xA7\xC3\xA3o";       // ç and ã as one character each
  const std::string decomposed = "Corac\xCC\xA7\x61\xCC\x83o";  // c + U+0327, a + U+0303
  fs::create_directories(dir.Path() / "nfd");
  fs::create_directories(dir.Path() / "nfc");
  fs::create_directories(dir.Path() / "dupla");
  dztest::WriteFile((dir.Path() / "nfd" / (decomposed + ".mp3")).string(), "x");
  dztest::WriteFile((dir.Path() / "nfc" / (composed + ".mp3")).string(), "x");
  dztest::WriteFile((dir.Path() / "dupla" / (composed + ".mp3")).string(), "x");
  dztest::WriteFile((dir.Path() / "dupla" / (decomposed + ".mp3")).string(), "x");
  const std::string root = dir.Path().string() + "/";
  const struct {
    const char* what;
    std::string path;
    TLookupResult result;
    std::string expected;
  } cases[] = {
      {"composed name, decomposed file", root + "nfd/" + composed + ".mp3", TLookupResult::Found,
       root + "nfd/" + decomposed + ".mp3"},
      {"decomposed name, composed file", root + "nfc/" + decomposed + ".mp3", TLookupResult::Found,
       root + "nfc/" + composed + ".mp3"},
      {"composed name, decomposed file, other letter case", root + "NFD/CORA\xC3\x87\xC3\x83O.MP3",
       TLookupResult::Found, root + "nfd/" + decomposed + ".mp3"},
      {"Windows-1252 name, decomposed file", root + "nfd/Cora\xE7\xE3o.mp3", TLookupResult::Found,
       root + "nfd/" + decomposed + ".mp3"},
      {"the same bytes: exact", root + "nfd/" + decomposed + ".mp3", TLookupResult::Exact,
       root + "nfd/" + decomposed + ".mp3"},
      {"both forms in one folder: ambiguous", root + "dupla/cora\xC3\xA7\xC3\xA3o.mp3", TLookupResult::Ambiguous,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TWindowsLookup lookup;
    const TLookup found = lookup.FindPath(c.path);
    EXPECT_EQ(found.Result, c.result);
    if (c.result != TLookupResult::Ambiguous) {
      EXPECT_EQ(found.Path, c.expected);
    }
  }
  EXPECT_EQ(NameKey(composed, false), NameKey(decomposed, false));
}

TEST_F(WindowsLookupTest, RelativePathsOnlyAsTheyAre) {
  TWindowsLookup lookup;
  const TLookup found = lookup.FindPath("Acervo/Samba/aquarela.mp3");
  EXPECT_EQ(found.Result, TLookupResult::Missing);
  EXPECT_EQ(found.Path, "Acervo/Samba/aquarela.mp3");
  EXPECT_EQ(lookup.DirectoryReads(), 0u);
}

// The local folder of a rule is read as the configuration wrote it (UTF-8);
// only the catalogue's part of the path is read as Windows-1252.
TEST_F(WindowsLookupTest, OnlyTheCataloguePartIsWindows1252) {
  const std::string local = Path("M\xC3\x9ASICAS/");  // "MÚSICAS" in UTF-8
  const std::string path = local + "cora\xE7\xE3o.MP3";
  TWindowsLookup lookup;
  const TLookup found = lookup.FindPath(path, local.size());
  EXPECT_EQ(found.Result, TLookupResult::Found);
  EXPECT_EQ(found.Path, Path("M\xC3\xBAsicas/Cora\xC3\xA7\xC3\xA3o.mp3"));
  // Read whole as Windows-1252, the folder's name would be another one.
  EXPECT_EQ(lookup.FindPath(path, 0).Result, TLookupResult::Missing);
}

TEST_F(WindowsLookupTest, TranslatesFirst) {
  TPathMapping mapping;
  ASSERT_EQ(mapping.Add("C:\\Musicas\\", Path("Acervo/"), "DE", "PARA"), "");
  TWindowsLookup lookup;
  const TLookup found = lookup.Find(mapping, "c:\\musicas\\SAMBA\\Cora\xE7\xE3o.MP3");
  EXPECT_EQ(found.Result, TLookupResult::Found);
  EXPECT_EQ(found.Path, Path("Acervo/Samba/Cora\xC3\xA7\xC3\xA3o.mp3"));
  const TLookup missing = lookup.Find(mapping, "C:\\Musicas\\Samba\\falta.mp3");
  EXPECT_EQ(missing.Result, TLookupResult::Missing);
  EXPECT_EQ(missing.Path, Path("Acervo/Samba/falta.mp3"));
}

// An exact path costs no folder read; every folder is read at most once, and
// what was read stays: a file added later in a folder already read is not
// seen by the same lookup object (one update run).
TEST_F(WindowsLookupTest, FoldersAreReadOnce) {
  TWindowsLookup lookup;
  EXPECT_EQ(lookup.FindPath(Path("Acervo/Samba/Aquarela.MP3")).Result, TLookupResult::Exact);
  EXPECT_EQ(lookup.DirectoryReads(), 0u);
  EXPECT_EQ(lookup.FindPath(Path("Acervo/Samba/aquarela.mp3")).Result, TLookupResult::Found);
  EXPECT_EQ(lookup.DirectoryReads(), 1u);  // Samba only: the folders above were named exactly
  EXPECT_EQ(lookup.FindPath(Path("ACERVO/SAMBA/AQUARELA.MP3")).Result, TLookupResult::Found);
  EXPECT_EQ(lookup.DirectoryReads(), 3u);  // the test's folder and Acervo; Samba again from memory
  EXPECT_EQ(lookup.FindPath(Path("acervo/samba/falta.mp3")).Result, TLookupResult::Missing);
  EXPECT_EQ(lookup.DirectoryReads(), 3u);
  dztest::WriteFile(Path("Acervo/Samba/Nova.mp3"), "x");
  EXPECT_EQ(lookup.FindPath(Path("Acervo/Samba/nova.mp3")).Result, TLookupResult::Missing);
  // Another lookup of the same run shares the folders as they were read.
  TWindowsLookup sharing(lookup.Folders());
  EXPECT_EQ(sharing.FindPath(Path("Acervo/Samba/nova.mp3")).Result, TLookupResult::Missing);
  EXPECT_EQ(sharing.DirectoryReads(), 3u);
  EXPECT_EQ(TWindowsLookup().FindPath(Path("Acervo/Samba/nova.mp3")).Result, TLookupResult::Found);
  std::remove(Path("Acervo/Samba/Nova.mp3").c_str());
}

// On a share every stat is a round trip: once its folders are known, a path
// costs a stat of its exact bytes, one less when the caller's own open has
// already found no file there (FindElsewhere), and one more only for the name
// as given in a folder found under another spelling. No path is asked twice.
TEST_F(WindowsLookupTest, AsksForEachPathOnce) {
  struct TCase {
    const char* what;
    std::string path;  // below the folder
    TLookupResult result;
    std::uint64_t stats;  // by FindPath; FindElsewhere asks one fewer
  };
  const TCase cases[] = {
      {"the exact bytes", "Acervo/Samba/Aquarela.MP3", TLookupResult::Exact, 1},
      {"the file's letter case, folders as given", "Acervo/Samba/aquarela.mp3", TLookupResult::Found, 1},
      {"no such file", "Acervo/Samba/falta.mp3", TLookupResult::Missing, 1},
      {"every name's letter case: the name as given in the real folder", "ACERVO/samba/AQUARELA.mp3",
       TLookupResult::Found, 2},
  };
  TWindowsLookup lookup;
  for (const auto& c : cases) lookup.FindPath(Path(c.path));  // the folders read and resolved once
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TFileCalls before = FileCallsOnThisThread();
    EXPECT_EQ(lookup.FindPath(Path(c.path)).Result, c.result);
    EXPECT_EQ((FileCallsOnThisThread() - before).PathQueries, c.stats);
    if (c.result == TLookupResult::Exact) continue;
    before = FileCallsOnThisThread();
    EXPECT_EQ(lookup.FindElsewhere(Path(c.path)).Result, c.result);
    EXPECT_EQ((FileCallsOnThisThread() - before).PathQueries, c.stats - 1);
  }
}

// 10,000 catalogue rows in 20 folders, every name in another letter case
// than on disk: each folder is read once, and the two folders above them.
TEST(WindowsLookup, TenThousandRowsInTwentyFoldersReadEachFolderOnce) {
  constexpr int Folders = 20;
  constexpr int FilesPerFolder = 500;
  const TTempDir dir;
  for (int folder = 1; folder <= Folders; ++folder) {
    const fs::path path = dir.Path() / "Acervo" / ("Pasta" + std::to_string(folder));
    fs::create_directories(path);
    for (int file = 1; file <= FilesPerFolder; ++file) {
      dztest::WriteFile((path / ("Faixa" + std::to_string(file) + ".mp3")).string(), "");
    }
  }
  TWindowsLookup lookup;
  int found = 0;
  for (int file = 1; file <= FilesPerFolder; ++file) {
    for (int folder = 1; folder <= Folders; ++folder) {
      const std::string path = dir.Path().string() + "/ACERVO/pasta" + std::to_string(folder) + "/FAIXA" +
                               std::to_string(file) + ".MP3";
      if (lookup.FindPath(path).Result == TLookupResult::Found) ++found;
    }
  }
  EXPECT_EQ(found, Folders * FilesPerFolder);
  EXPECT_EQ(lookup.DirectoryReads(), static_cast<std::size_t>(Folders + 2));
  std::printf("directory reads for %d rows in %d folders: %zu\n", Folders * FilesPerFolder, Folders,
              lookup.DirectoryReads());
}

// The measuring threads of a run each have a lookup, and all share the run's
// folder cache: however many threads look names up in one folder at once,
// the folder is read once, and each thread finds what one lookup alone finds.
TEST(WindowsLookup, ThreadsSharingAFolderCacheReadEachFolderOnce) {
  constexpr int Files = 2000;
  constexpr int Threads = 8;
  const TTempDir dir;
  const fs::path folder = dir.Path() / "Acervo";
  fs::create_directories(folder / "Pasta.mp3");
  for (int file = 1; file <= Files; ++file)
    dztest::WriteFile((folder / ("Faixa" + std::to_string(file) + ".mp3")).string(), "");
  dztest::WriteFile((folder / "Dupla.mp3").string(), "");
  dztest::WriteFile((folder / "DUPLA.mp3").string(), "");
  // A link's kind is known only once it is asked for, by whichever thread asks first.
  fs::create_symlink(folder / "Faixa1.mp3", folder / "Atalho.mp3");

  const std::string below = dir.Path().string() + "/ACERVO/";
  std::vector<std::string> paths;
  for (int file = 1; file <= Files; ++file) paths.push_back(below + "faixa" + std::to_string(file) + ".MP3");
  for (const char* name : {"dupla.mp3", "atalho.MP3", "pasta.mp3", "falta.mp3"}) paths.push_back(below + name);

  TWindowsLookup alone;
  std::vector<TLookup> expected;
  for (const std::string& path : paths) expected.push_back(alone.FindPath(path));
  EXPECT_EQ(alone.DirectoryReads(), 2u);  // the test's folder, for Acervo, and Acervo

  const auto folders = std::make_shared<TFolderCache>();
  std::vector<std::vector<TLookup>> found(Threads);
  std::latch start(Threads);
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      TWindowsLookup lookup(folders);
      std::vector<TLookup>& mine = found[static_cast<std::size_t>(t)];
      mine.resize(paths.size());
      start.arrive_and_wait();
      // Each thread from another place in the list, all over the same folder at once.
      const std::size_t first = paths.size() * static_cast<std::size_t>(t) / Threads;
      for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::size_t each = (first + i) % paths.size();
        mine[each] = lookup.FindPath(paths[each]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(folders->DirectoryReads(), alone.DirectoryReads());
  for (int t = 0; t < Threads; ++t) {
    SCOPED_TRACE("thread " + std::to_string(t));
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const TLookup& mine = found[static_cast<std::size_t>(t)][i];
      EXPECT_EQ(mine.Result, expected[i].Result) << paths[i];
      EXPECT_EQ(mine.Path, expected[i].Path) << paths[i];
    }
  }
  // What one lookup alone finds: every file, the link, no pair and no folder.
  EXPECT_EQ(expected[0].Path, folder.string() + "/Faixa1.mp3");
  EXPECT_EQ(expected[Files].Result, TLookupResult::Ambiguous);
  EXPECT_EQ(expected[Files + 1].Path, folder.string() + "/Atalho.mp3");
  EXPECT_EQ(expected[Files + 2].Result, TLookupResult::Missing);
  EXPECT_EQ(expected[Files + 3].Result, TLookupResult::Missing);
}

}  // namespace
