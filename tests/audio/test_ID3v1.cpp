#include "audio/ID3v1.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <taglib/id3v1tag.h>

#include <filesystem>
#include <fstream>
#include <taglib/mpegfile.h>

namespace {

using dztest::TBytes;
using dztest::TTempDir;

// A 128-byte tag: fields given as raw bytes, each padded with zeros to its width.
struct TTagFields {
  std::string title, artist, album, year;
  std::string comment;  // up to 30 bytes, written as they are
  std::uint8_t genre = 0;
};

std::vector<std::uint8_t> Tag(const TTagFields& f, const char* marker = "TAG") {
  auto field = [](TBytes& b, const std::string& text, std::size_t width) {
    b.Str(text.substr(0, width)).Zeros(width - std::min(width, text.size()));
  };
  TBytes b;
  b.Str(marker);
  field(b, f.title, 30);
  field(b, f.artist, 30);
  field(b, f.album, 30);
  field(b, f.year, 4);
  field(b, f.comment, 30);
  b.U8(f.genre);
  return b;
}

std::string Comment30(const std::string& first28, std::uint8_t byte125, std::uint8_t byte126) {
  std::string text = first28;
  text.resize(28, '\0');
  text += static_cast<char>(byte125);
  text += static_cast<char>(byte126);
  return text;
}

TEST(ID3v1, ClearedState) {
  TID3v1 tag;
  EXPECT_FALSE(tag.Present);
  EXPECT_EQ(tag.TagVersion, ID3v1Version10);
  EXPECT_EQ(tag.GenreIndex, ID3v1NoGenre);
  EXPECT_EQ(tag.Track, 0);
  EXPECT_TRUE(tag.Title.empty());
  EXPECT_EQ(tag.GenreName(), "");
}

TEST(ID3v1, ReadsFieldsVersionAndTrack) {
  struct TCase {
    const char* what;
    TTagFields fields;
    std::uint8_t version;
    std::uint8_t track;
    std::string title;
    std::string comment;
  };
  const std::string letters28 = "abcdefghijklmnopqrstuvwxyzAB";
  const TCase cases[] = {
      {"letters then zero bytes", {"Abc", "", "", "", ""}, ID3v1Version10, 0, "Abc", ""},
      {"letters then spaces", {"Abc" + std::string(27, ' '), "", "", "", ""}, ID3v1Version10, 0, "Abc", ""},
      {"leading spaces stay", {"  Abc", "", "", "", ""}, ID3v1Version10, 0, "  Abc", ""},
      {"a zero byte inside stays", {std::string("Ab\0c", 4), "", "", "", ""}, ID3v1Version10, 0,
       std::string("Ab\0c", 4), ""},
      {"control bytes at the end go", {"Abc\x01\x1f", "", "", "", ""}, ID3v1Version10, 0, "Abc", ""},
      {"ID3v1.1: zero then track 7", {"T", "", "", "", Comment30(letters28, 0, 7)}, ID3v1Version11, 7, "T",
       letters28},
      {"both bytes zero: ID3v1.0", {"T", "", "", "", Comment30("note", 0, 0)}, ID3v1Version10, 0, "T", "note"},
      {"letter then space: ID3v1.0, full comment",
       {"T", "", "", "", Comment30(letters28, 'y', ' ')}, ID3v1Version10, 0, "T", letters28 + "y"},
      {"space then '9': ID3v1.1 with track 57",
       {"T", "", "", "", Comment30(letters28, ' ', '9')}, ID3v1Version11, 57, "T", letters28},
      {"space then space: ID3v1.0", {"T", "", "", "", Comment30("x", ' ', ' ')}, ID3v1Version10, 0, "T",
       std::string("x", 1)},
      {"full 30-byte comment", {"T", "", "", "", letters28 + "CD"}, ID3v1Version10, 0, "T", letters28 + "CD"},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("t.mp3");
    dztest::WriteFile(path, TBytes().Fill(500, 0xAA).Append(Tag(c.fields)).Data());
    TID3v1 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c.what;
    EXPECT_TRUE(tag.Present) << c.what;
    EXPECT_EQ(tag.TagVersion, c.version) << c.what;
    EXPECT_EQ(tag.Track, c.track) << c.what;
    EXPECT_EQ(tag.Title, c.title) << c.what;
    EXPECT_EQ(tag.Comment, c.comment) << c.what;
  }
}

TEST(ID3v1, OtherFieldsAndGenres) {
  TTempDir dir;
  const std::string path = dir.File("t.mp3");
  struct TCase {
    std::uint8_t genre;
    const char* name;
  } cases[] = {{0, "Blues"}, {79, "Hard Rock"}, {80, "Folk"}, {92, "Progessive Rock"}, {147, "Synthpop"}, {148, ""}, {255, ""}};
  for (const auto& c : cases) {
    dztest::WriteFile(path, Tag({"Title", "Artist  ", "Album", "1999", "", c.genre}));
    TID3v1 tag;
    ASSERT_TRUE(tag.LoadFromFile(path));
    EXPECT_EQ(tag.Artist, "Artist");
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.GenreIndex, c.genre);
    EXPECT_EQ(tag.GenreName(), c.name) << int(c.genre);
  }
}

TEST(ID3v1, FilesWithoutTagOrTooShort) {
  TTempDir dir;
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool result;
    bool present;
  };
  const TCase cases[] = {
      {"exactly 128 bytes, a tag", Tag({"X", "", "", "", ""}), true, true},
      {"marker in lower case", Tag({"X", "", "", "", "", 3}, "tag"), true, false},
      {"no marker", TBytes().Fill(300, 'A'), true, false},
      {"127 bytes", TBytes().Str("TAG").PadTo(127), false, false},
      {"empty file", {}, false, false},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File("f.mp3");
    dztest::WriteFile(path, c.bytes);
    TID3v1 tag;
    EXPECT_EQ(tag.LoadFromFile(path), c.result) << c.what;
    EXPECT_EQ(tag.Present, c.present) << c.what;
    if (!c.present) {
      EXPECT_EQ(tag.GenreIndex, ID3v1NoGenre) << c.what;
      EXPECT_EQ(tag.TagVersion, ID3v1Version10) << c.what;
      EXPECT_TRUE(tag.Title.empty()) << c.what;
    }
  }
  TID3v1 tag;
  EXPECT_FALSE(tag.LoadFromFile(dir.File("missing.mp3")));
  EXPECT_FALSE(tag.LoadFromFile(dir.Path().string()));
}

TEST(ID3v1, TagAtTheEndOfAFileBeyond4GiB) {
  // A sparse file whose last 128 bytes, past 4 GiB, are a tag; the bytes at
  // the same place modulo 2^32 are zeros.
  TTempDir dir;
  const std::string path = dir.File("big.mp3");
  const std::int64_t size = (std::int64_t{1} << 32) + 1000;
  dztest::WriteFile(path, TBytes().Zeros(1000).Data());
  std::error_code error;
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size), error);
  if (error) GTEST_SKIP() << "no sparse file of " << size << " bytes here: " << error.message();
  {
    const std::vector<std::uint8_t> tag = Tag({"Far Away", "", "", "2024", ""});
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(size - 128);
    out.write(reinterpret_cast<const char*>(tag.data()), static_cast<std::streamsize>(tag.size()));
    ASSERT_TRUE(out.good());
  }
  TID3v1 tag;
  EXPECT_TRUE(tag.LoadFromFile(path));
  EXPECT_TRUE(tag.Present);
  EXPECT_EQ(tag.Title, "Far Away");
  EXPECT_EQ(tag.Year, "2024");
  std::filesystem::remove(path);
}

TEST(ID3v1, NothingOfAnEarlierFileSurvives) {
  TTempDir dir;
  dztest::WriteFile(dir.File("a.mp3"), Tag({"First", "Art", "", "2001", Comment30("c", 0, 3), 17}));
  dztest::WriteFile(dir.File("b.mp3"), TBytes().Fill(200, 0x55).Data());
  TID3v1 tag;
  ASSERT_TRUE(tag.LoadFromFile(dir.File("a.mp3")));
  EXPECT_EQ(tag.Track, 3);
  ASSERT_TRUE(tag.LoadFromFile(dir.File("b.mp3")));
  EXPECT_FALSE(tag.Present);
  EXPECT_TRUE(tag.Title.empty());
  EXPECT_TRUE(tag.Artist.empty());
  EXPECT_TRUE(tag.Year.empty());
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.GenreIndex, ID3v1NoGenre);
}

TEST(ID3v1, ReadsATagWrittenByTagLib) {
  TTempDir dir;
  const std::string path = dir.File("real.mp3");
  dztest::WriteFile(path, TBytes().Fill(1000, 0).Data());
  {
    TagLib::MPEG::File file(path.c_str());
    ASSERT_TRUE(file.isOpen());
    TagLib::ID3v1::Tag* written = file.ID3v1Tag(true);
    written->setTitle(TagLib::String("Canção do Mar", TagLib::String::UTF8));
    written->setArtist("Dulce");
    written->setAlbum("Best");
    written->setYear(1999);
    written->setComment("ao vivo");
    written->setTrack(12);
    written->setGenre("Rock");
    ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v1, TagLib::File::StripOthers));
  }
  TID3v1 tag;
  ASSERT_TRUE(tag.LoadFromFile(path));
  EXPECT_TRUE(tag.Present);
  EXPECT_EQ(tag.TagVersion, ID3v1Version11);
  EXPECT_EQ(tag.Title, "Can\xE7\xE3o do Mar");  // Latin-1 bytes as stored
  EXPECT_EQ(tag.Artist, "Dulce");
  EXPECT_EQ(tag.Year, "1999");
  EXPECT_EQ(tag.Comment, "ao vivo");
  EXPECT_EQ(tag.Track, 12);
  EXPECT_EQ(tag.GenreName(), "Rock");
}

}  // namespace
