#include "ReadOnlyFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using dztest::TTempDir;

TEST(ReadOnlyFile, ReadsSizeSeeksAndCountsShortReads) {
  TTempDir dir;
  const std::string path = dir.File("ten.bin");
  dztest::WriteFile(path, std::string_view("0123456789"));

  TReadOnlyFile file(path);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), 10);
  ASSERT_TRUE(file.Seek(7));
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 3u);  // only three bytes left
  EXPECT_EQ(std::string(buffer, 3), "789");
  ASSERT_TRUE(file.Seek(20));  // past the end is allowed; reading there gives nothing
  EXPECT_EQ(file.Read(buffer, 4), 0u);
  EXPECT_FALSE(file.Seek(-1));
  ASSERT_TRUE(file.Seek(0));
  EXPECT_TRUE(file.ReadExact(buffer, 4));
  EXPECT_FALSE(file.ReadExact(buffer, 8));
}

TEST(ReadOnlyFile, RefusesWhatIsNotARegularFile) {
  TTempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    const char* what;
    std::string path;
  } cases[] = {
      {"missing file", dir.File("nothing-here")},
      {"directory", dir.Path().string()},
      {"named pipe (would block)", fifo},
      {"empty name", ""},
      {"name with a zero byte", std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    TReadOnlyFile file;
    EXPECT_FALSE(file.Open(c.path)) << c.what;
    EXPECT_FALSE(file.IsOpen()) << c.what;
    EXPECT_EQ(file.Size(), -1) << c.what;
    char byte;
    EXPECT_EQ(file.Read(&byte, 1), 0u) << c.what;
    EXPECT_FALSE(file.Seek(0)) << c.what;
  }
}

TEST(ReadOnlyFile, MovedFileKeepsTheHandle) {
  TTempDir dir;
  const std::string path = dir.File("a.bin");
  dztest::WriteFile(path, std::string_view("abc"));
  TReadOnlyFile first(path);
  TReadOnlyFile second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Size(), 3);
}

TEST(ReadOnlyFile, FileExistsIsFalseForFoldersAndMissingPaths) {
  TTempDir dir;
  const std::string path = dir.File("x.wav");
  dztest::WriteFile(path, std::string_view(""));
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(FileExists(dir.File("y.wav")));
  EXPECT_FALSE(FileExists(dir.Path().string()));
  EXPECT_FALSE(FileExists(""));
}

}  // namespace
