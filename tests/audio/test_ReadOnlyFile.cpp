#include "audio/ReadOnlyFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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
  EXPECT_FALSE(file.ReadExact(buffer, 8));  // a read goes on where the last one ended: 6 bytes left
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(file.Read(buffer, 1), 0u);
}

TEST(ReadOnlyFile, SizeIsTheOneTakenAtOpenAndReadsSeeTheFileAsItIsNow) {
  TTempDir dir;
  const std::string path = dir.File("shrinking.bin");
  dztest::WriteFile(path, std::string_view("0123456789"));
  TReadOnlyFile file(path);
  ASSERT_TRUE(file.IsOpen());
  std::filesystem::resize_file(path, 4);  // cut by someone else while open
  EXPECT_EQ(file.Size(), 10);
  char buffer[8] = {};
  ASSERT_TRUE(file.Seek(2));
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 2u);
  EXPECT_EQ(std::string(buffer, 2), "23");
  ASSERT_TRUE(file.Seek(6));
  EXPECT_FALSE(file.ReadExact(buffer, 2));  // inside the size taken at open, past the end now
}

TEST(ReadOnlyFile, ReadsAtPositionsBeyond2And4GiB) {
  TTempDir dir;
  const std::string path = dir.File("sparse.bin");
  const std::int64_t size = (std::int64_t{1} << 32) + 4096;
  const struct {
    std::int64_t position;
    std::string_view marker;
  } markers[] = {{(std::int64_t{1} << 31) + 5, "beyond 2 GiB"}, {(std::int64_t{1} << 32) + 7, "beyond 4 GiB"}};
  dztest::WriteFile(path, std::string_view("start"));
  std::error_code error;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size), error);
  if (error) GTEST_SKIP() << "no sparse file of " << size << " bytes here: " << error.message();
  {
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& m : markers) {
      out.seekp(m.position);
      out.write(m.marker.data(), static_cast<std::streamsize>(m.marker.size()));
    }
    ASSERT_TRUE(out.good());
  }
  TReadOnlyFile file(path);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), size);
  for (const auto& m : markers) {
    std::string buffer(m.marker.size(), '\0');
    ASSERT_TRUE(file.Seek(m.position));
    EXPECT_TRUE(file.ReadExact(buffer.data(), buffer.size()));
    EXPECT_EQ(buffer, m.marker);
  }
  // A position whose low 32 bits point into the file reads nothing past its end.
  char byte;
  ASSERT_TRUE(file.Seek((std::int64_t{1} << 33) + 1));
  EXPECT_EQ(file.Read(&byte, 1), 0u);
  std::filesystem::remove(path);
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

TEST(ReadOnlyFile, MovedFileKeepsTheHandleSizeAndPosition) {
  TTempDir dir;
  const std::string path = dir.File("a.bin");
  dztest::WriteFile(path, std::string_view("abc"));
  TReadOnlyFile first(path);
  ASSERT_TRUE(first.Seek(1));
  TReadOnlyFile second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(first.Size(), -1);
  EXPECT_EQ(second.Size(), 3);
  char byte = 0;
  EXPECT_EQ(second.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'b');
  TReadOnlyFile third;
  third = std::move(second);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(third.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'c');
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

// An open tells what is at the path as a stat of it would, so a caller that
// opens the file anyway need not ask first.
TEST(ReadOnlyFile, OpenTellsWhatIsThereAsAStatWould) {
  TTempDir dir;
  const std::string file = dir.File("x.wav");
  dztest::WriteFile(file, std::string_view("abc"));
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.File("nothing"), dir.File("dangling"));
  std::filesystem::create_symlink(dir.Path(), dir.File("folder-link"));
  const struct {
    const char* what;
    std::string path;
    TPathKind kind;
    bool open;
    TOpenRefusal refusal = TOpenRefusal::None;
  } cases[] = {
      {"regular file", file, TPathKind::File, true},
      {"missing file", dir.File("y.wav"), TPathKind::Missing, false},
      {"below a file", file + "/y.wav", TPathKind::Missing, false},
      {"folder", dir.Path().string(), TPathKind::Directory, false},
      {"link to a folder", dir.File("folder-link"), TPathKind::Directory, false},
      {"link to nothing", dir.File("dangling"), TPathKind::Missing, false},
      {"named pipe: there, but refused", fifo, TPathKind::File, false, TOpenRefusal::NotRegular},
      {"device: there, but refused", "/dev/null", TPathKind::File, false, TOpenRefusal::NotRegular},
      {"empty name", "", TPathKind::Missing, false},
      {"name with a zero byte", std::string("a\0b", 3), TPathKind::Missing, false},
  };
  for (const auto& c : cases) {
    TReadOnlyFile opened(c.path);
    EXPECT_EQ(opened.IsOpen(), c.open) << c.what;
    EXPECT_EQ(opened.Found(), c.kind) << c.what;
    EXPECT_EQ(opened.Refusal(), c.refusal) << c.what;
    EXPECT_EQ(PathKindOf(c.path), c.kind) << c.what;
  }
  TReadOnlyFile unused;
  EXPECT_EQ(unused.Found(), TPathKind::Missing);
  TReadOnlyFile moved(file);
  TReadOnlyFile target(std::move(moved));
  EXPECT_EQ(target.Found(), TPathKind::File);
  EXPECT_EQ(moved.Found(), TPathKind::Missing);
}

// Small reads come from three blocks, each read in one call: the bytes are the
// file's own wherever a read falls (across a block's edge, at the end, before
// and after the other block replaced it), and the calls are one per place.
TEST(ReadOnlyFile, SmallReadsComeFromBlocksWithTheFilesOwnBytes) {
  TTempDir dir;
  const std::string path = dir.File("pattern.bin");
  constexpr std::int64_t Block = TReadOnlyFile::BlockBytes;
  std::string bytes(static_cast<std::size_t>(3 * Block + 1000), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
  dztest::WriteFile(path, bytes);
  const auto size = static_cast<std::int64_t>(bytes.size());
  const struct {
    std::int64_t at;
    std::size_t count;
    std::uint64_t calls;  // reads this one costs, after the ones above it
  } reads[] = {
      {0, 10, 1},                  // the head block
      {size - 128, 128, 1},        // the tail block: it ends where the file ends
      {500, 3458, 0},              // inside the head block
      {size - Block, 100, 0},      // the tail block's first bytes
      {Block - 4, 8, 1},           // across the head block's edge: a third block from there
      {size - 3458 - 128, 3458, 0},
      {2, 2, 0},                   // the head block is still held
      {2 * Block, 10, 1},          // a fourth place replaces the block read longest ago, the head
      {2, 2, 1},                   // which replaces the tail block
      {size - 2, 2, 1},            // which replaces the third
      {size - 2, 8, 1},            // beyond the end: read directly, two bytes come
      {Block, static_cast<std::size_t>(Block), 1},  // a large read: directly
      {size, 1, 1},                // at the end: nothing
  };
  TReadOnlyFile file(path);
  ASSERT_TRUE(file.IsOpen());
  for (const auto& r : reads) {
    const std::string what = "at " + std::to_string(r.at) + ", " + std::to_string(r.count) + " bytes";
    const std::size_t expected =
        static_cast<std::size_t>(std::clamp<std::int64_t>(size - r.at, 0, static_cast<std::int64_t>(r.count)));
    std::string got(r.count, '\0');
    const TFileCalls before = FileCallsOnThisThread();
    ASSERT_TRUE(file.Seek(r.at)) << what;
    ASSERT_EQ(file.Read(got.data(), r.count), expected) << what;
    EXPECT_EQ((FileCallsOnThisThread() - before).Reads, r.calls) << what;
    EXPECT_EQ(got.substr(0, expected), bytes.substr(static_cast<std::size_t>(r.at), expected)) << what;
    // The position moves past what came, as with a direct read.
    char next = 0;
    if (r.at + static_cast<std::int64_t>(expected) < size) {
      ASSERT_EQ(file.Read(&next, 1), 1u) << what;
      EXPECT_EQ(next, bytes[static_cast<std::size_t>(r.at) + expected]) << what;
    }
  }

  // A file smaller than a block is one read, wherever the small reads fall;
  // the blocks go with a moved file and are not the next file's.
  const std::string small = dir.File("small.bin");
  dztest::WriteFile(small, bytes.substr(0, 5000));
  const TFileCalls before = FileCallsOnThisThread();
  TReadOnlyFile first(small);
  char chunk[16] = {};
  for (const std::int64_t at : {0, 4990, 100, 2500}) {
    ASSERT_TRUE(first.Seek(at));
    ASSERT_EQ(first.Read(chunk, 10), 10u);
    EXPECT_EQ(std::string(chunk, 10), bytes.substr(static_cast<std::size_t>(at), 10));
  }
  TReadOnlyFile moved(std::move(first));
  ASSERT_TRUE(moved.Seek(1234));
  ASSERT_EQ(moved.Read(chunk, 10), 10u);
  EXPECT_EQ(std::string(chunk, 10), bytes.substr(1234, 10));
  EXPECT_EQ((FileCallsOnThisThread() - before).Reads, 1u);
  ASSERT_TRUE(moved.Open(path));
  ASSERT_TRUE(moved.Seek(4990));
  ASSERT_EQ(moved.Read(chunk, 10), 10u);
  EXPECT_EQ(std::string(chunk, 10), bytes.substr(4990, 10));
}

// Each system call is counted where it is made, on the calling thread.
TEST(ReadOnlyFile, CountsItsSystemCalls) {
  TTempDir dir;
  const std::string path = dir.File("ten.bin");
  dztest::WriteFile(path, std::string_view("0123456789"));
  const TFileCalls before = FileCallsOnThisThread();
  {
    TReadOnlyFile file(path);
    char buffer[16];
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    // A short read that reaches the end known at open ends there, without a
    // second call to be told so.
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(FileExists(path));
    TReadOnlyFile missing(dir.File("none"));
  }
  const TFileCalls calls = FileCallsOnThisThread() - before;
  EXPECT_EQ(calls.Opens, 2u);
  EXPECT_EQ(calls.SizeQueries, 1u);  // the missing file has none
  EXPECT_EQ(calls.PathQueries, 1u);  // FileExists
  EXPECT_EQ(calls.Reads, 3u);
  EXPECT_EQ(calls.Closes, 1u);
}

}  // namespace
