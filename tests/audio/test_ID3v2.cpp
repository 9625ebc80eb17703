#include "audio/ID3v2.h"

#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/textidentificationframe.h>

#include <array>
#include <fstream>
#include <memory>
#include <optional>

namespace {

using namespace std::string_literals;
using dztest::TBytes;
using dztest::TTempDir;

// Frame contents: encoding byte and text.
std::string Latin1(std::string_view text) { return "\0"s + std::string(text); }

std::string Utf16Units(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  for (char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// The reader reads the 10-byte tag header, then the tag in windows of 32 KB;
// the first window ends here.
constexpr std::size_t WindowLength = 32768;
constexpr std::size_t FirstWindowEnd = 10 + WindowLength;

// Encoding 1 with the byte-order mark FF FE and little-endian units.
std::string Utf16(std::u16string_view text) { return "\x01\xFF\xFE"s + Utf16Units(text, false); }
// Encoding 1 with the byte-order mark FE FF and big-endian units.
std::string Utf16BigEndian(std::u16string_view text) { return "\x01\xFE\xFF"s + Utf16Units(text, true); }

// Builder of an ID3v2 tag from exact frame bytes. The header's size is the
// frames plus padding, written 7 bits per byte as tag writers do, unless the
// size bytes are given.
class TTagBuilder {
public:
  explicit TTagBuilder(std::uint8_t version, std::uint8_t flags = 0) : version_(version), flags_(flags) {}

  // A frame of this tag's version; its size is the content's unless given.
  TTagBuilder& Frame(std::string_view id, const std::string& content, std::uint8_t secondFlagByte = 0,
                     std::optional<std::uint32_t> size = std::nullopt) {
    const std::uint32_t frameSize = size.value_or(static_cast<std::uint32_t>(content.size()));
    frames_.Str(id);
    if (version_ == 2) {
      frames_.BE24(frameSize);
    } else {
      frames_.BE32(frameSize).U8(0).U8(secondFlagByte);
    }
    frames_.Str(content);
    return *this;
  }
  // A "TXXX" frame of letters that ends where the next frame is to start, at
  // the given offset in the file. With a 7-bit size (version 2.4 as the format
  // has it) the walk, which takes sizes as plain numbers, jumps past the tag.
  TTagBuilder& FrameEndingAt(std::size_t offset, bool sevenBitSize = false) {
    const std::size_t headerLength = version_ == 2 ? 6 : 10;
    const std::size_t length = offset - 10 - frames_.Size() - headerLength;
    std::optional<std::uint32_t> size;
    if (sevenBitSize) size = dztest::Syncsafe(static_cast<std::uint32_t>(length));
    return Frame(version_ == 2 ? "TXX" : "TXXX", "\0"s + std::string(length - 1, 'a'), 0, size);
  }
  TTagBuilder& Raw(std::string_view bytes) {
    frames_.Str(bytes);
    return *this;
  }
  TTagBuilder& Padding(std::size_t count) {
    frames_.Zeros(count);
    return *this;
  }
  TTagBuilder& SizeBytes(std::array<std::uint8_t, 4> bytes) {
    sizeBytes_ = bytes;
    return *this;
  }
  // Bytes after the tag, standing for the audio.
  TTagBuilder& Audio(std::size_t count, std::uint8_t value = 0xAA) {
    audio_.Fill(count, value);
    return *this;
  }

  std::vector<std::uint8_t> File() const {
    TBytes file;
    file.Str("ID3").U8(version_).U8(0).U8(flags_);
    if (sizeBytes_) {
      file.U8s({(*sizeBytes_)[0], (*sizeBytes_)[1], (*sizeBytes_)[2], (*sizeBytes_)[3]});
    } else {
      file.Syncsafe32(static_cast<std::uint32_t>(frames_.Size()));
    }
    return file.Append(frames_).Append(audio_);
  }

private:
  std::uint8_t version_;
  std::uint8_t flags_;
  TBytes frames_;
  TBytes audio_;
  std::optional<std::array<std::uint8_t, 4>> sizeBytes_;
};

// Loads bytes written to a fresh file and checks that the load succeeded.
TID3v2 LoadBytes(const std::vector<std::uint8_t>& bytes) {
  TTempDir dir;
  const std::string path = dir.File("tagged.mp3");
  dztest::WriteFile(path, bytes);
  TID3v2 tag;
  EXPECT_TRUE(tag.LoadFromFile(path));
  return tag;
}

TEST(ID3v2, HeaderAndTagSize) {
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool result;
    bool present;
    std::uint8_t version;
    std::int32_t tagSize;
  };
  auto header = [](std::uint8_t version, std::uint8_t flags, std::array<std::uint8_t, 4> size) {
    return TBytes().Str("ID3").U8(version).U8(0).U8(flags).U8s({size[0], size[1], size[2], size[3]});
  };
  const TCase cases[] = {
      {"empty file", {}, false, false, 0, 0},
      {"9 bytes of a header", TBytes().Str("ID3").U8s({3, 0, 0, 0, 0, 0}), false, false, 0, 0},
      {"10 bytes, empty tag: the walk starts at its end", header(3, 0, {0, 0, 0, 0}), true, true, 3, 10},
      {"marker in lower case", TBytes().Str("id3").U8s({3, 0, 0, 0, 0, 0, 1}).PadTo(300), true, false, 0, 0},
      {"no tag", TBytes().Fill(300, 0xFF), true, false, 0, 0},
      {"size 0,0,2,1", TBytes(header(3, 0, {0, 0, 2, 1})).PadTo(300), true, true, 3, 267},
      {"footer flag adds 10", TBytes(header(4, 0x10, {0, 0, 2, 1})).PadTo(300), true, true, 4, 277},
      {"unsynchronisation and extended header flags add nothing", TBytes(header(3, 0xC0, {0, 0, 2, 1})).PadTo(300),
       true, true, 3, 267},
      {"file of 270 bytes", TBytes(header(3, 0, {0, 0, 2, 1})).PadTo(270), true, true, 3, 267},
      {"tag exactly as long as the file", TBytes(header(3, 0, {0, 0, 2, 1})).PadTo(267), true, true, 3, 267},
      {"tag one byte longer than the file", TBytes(header(3, 0, {0, 0, 2, 1})).PadTo(266), true, true, 3, 0},
      {"footer makes the tag longer than the file", TBytes(header(3, 0x10, {0, 0, 2, 1})).PadTo(270), true, true,
       3, 0},
      {"top bit of the first size byte counts: 2^28", TBytes(header(3, 0, {0x80, 0, 0, 0})).PadTo(2000), true, true,
       3, 0},
      {"top bit of the last size byte counts: 128", TBytes(header(3, 0, {0, 0, 0, 0x80})).PadTo(200), true, true, 3,
       138},
      {"version 5 keeps its size", TBytes(header(5, 0, {0, 0, 1, 0})).PadTo(200), true, true, 5, 138},
      {"version 255", TBytes(header(255, 0x10, {0, 0, 0, 0})).PadTo(200), true, true, 255, 20},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("h.mp3");
    dztest::WriteFile(path, c.bytes);
    TID3v2 tag;
    EXPECT_EQ(tag.LoadFromFile(path), c.result) << c.what;
    EXPECT_EQ(tag.Present, c.present) << c.what;
    EXPECT_EQ(int{tag.TagVersion}, int{c.version}) << c.what;
    EXPECT_EQ(tag.TagSize, c.tagSize) << c.what;
  }
  TID3v2 tag;
  EXPECT_FALSE(tag.LoadFromFile(dir.File("missing.mp3")));
  EXPECT_FALSE(tag.Present);
  EXPECT_FALSE(tag.LoadFromFile(dir.Path().string()));
  EXPECT_FALSE(tag.LoadFromFile(""));
}

using TTextMember = std::string TID3v2::*;

struct TTextCase {
  const char* what;
  std::vector<std::uint8_t> file;
  TTextMember member;
  std::string expected;
};

void CheckTexts(const TTextCase* begin, const TTextCase* end) {
  TTempDir dir;
  for (const TTextCase* c = begin; c != end; ++c) {
    const std::string path = dir.File("t.mp3");
    dztest::WriteFile(path, c->file);
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c->what;
    EXPECT_EQ(tag.*(c->member), c->expected) << c->what;
  }
}

TEST(ID3v2, PlainText) {
  const std::string longContent = "\0LongTitle"s + std::string(490, '\0') + std::string(56, 'Z');  // 556 bytes
  const TTextCase cases[] = {
      {"Latin-1 title, zero padding after the frame",
       TTagBuilder(3).Frame("TIT2", Latin1("Noite Fria")).Padding(40).File(), &TID3v2::Title, "Noite Fria"},
      {"Latin-1 bytes stay as they are", TTagBuilder(3).Frame("TIT2", Latin1("Can\xE7\xE3o")).File(), &TID3v2::Title,
       "Can\xE7\xE3o"},
      {"spaces and control bytes at both ends go",
       TTagBuilder(3).Frame("TIT2", Latin1(" \x01 Title\t \x1F")).File(), &TID3v2::Title, "Title"},
      {"a zero byte between two values of a list stays",
       TTagBuilder(4).Frame("TPE1", Latin1("Ana\0Rui"s)).File(), &TID3v2::Artist, "Ana\0Rui"s},
      {"UTF-16 with FF FE into the 8-bit code page",
       TTagBuilder(3).Frame("TIT2", Utf16(u"A\u00e7\u00e3o \u20ac\u0416")).File(), &TID3v2::Title,
       "A\xE7\xE3o \x80?"},
      {"UTF-16 units with a low byte of FF are dropped",
       TTagBuilder(3).Frame("TIT2", Utf16(u"a\u00ffb\u01ffc")).File(), &TID3v2::Title, "abc"},
      {"UTF-16 with FE FF and big-endian units gives garbage",
       TTagBuilder(3).Frame("TIT2", Utf16BigEndian(u"Ab")).File(), &TID3v2::Title, "???"},
      {"UTF-16 ends at a zero unit", TTagBuilder(3).Frame("TIT2", Utf16(u"ab\0cd"s)).File(), &TID3v2::Title, "ab"},
      {"UTF-16: 249 units of a 500-byte buffer, the mark among them",
       TTagBuilder(3).Frame("TIT2", Utf16(std::u16string(300, u'A'))).File(), &TID3v2::Title,
       std::string(248, 'A')},
      {"Latin-1: 500 bytes kept, encoding byte included",
       TTagBuilder(3).Frame("TIT2", Latin1(std::string(600, 'B'))).File(), &TID3v2::Title, std::string(499, 'B')},
      {"version 2.4 size 00 00 02 2C is 556 bytes, not 300",
       TTagBuilder(4).Frame("TIT2", longContent).Frame("TPE1", Latin1("After")).File(), &TID3v2::Artist, "After"},
      {"of a 556-byte frame only 500 bytes are kept",
       TTagBuilder(4).Frame("TIT2", longContent).Frame("TPE1", Latin1("After")).File(), &TID3v2::Title,
       "LongTitle"},
      {"encoding 3 is not stored, the title falls back to TIT1",
       TTagBuilder(4).Frame("TIT2", "\x03Utf8"s).Frame("TIT1", Latin1("Group")).File(), &TID3v2::Title, "Group"},
      {"encoding 2 is not stored", TTagBuilder(4).Frame("TPE1", "\x02\xFE\xFF\0A"s).File(), &TID3v2::Artist, ""},
      {"a stored TIT2 wins over TIT1",
       TTagBuilder(3).Frame("TIT1", Latin1("Group")).Frame("TIT2", Latin1("Title")).File(), &TID3v2::Title, "Title"},
      {"an empty TIT2 falls back to TIT1",
       TTagBuilder(3).Frame("TIT2", Latin1("  ")).Frame("TIT1", Latin1("Group")).File(), &TID3v2::Title, "Group"},
      {"the later of two TPE1 frames wins",
       TTagBuilder(3).Frame("TPE1", Latin1("First")).Frame("TPE1", Latin1("Second")).File(), &TID3v2::Artist,
       "Second"},
      {"a later TPE1 that is not stored leaves the earlier",
       TTagBuilder(4).Frame("TPE1", Latin1("First")).Frame("TPE1", "\x03Second"s).File(), &TID3v2::Artist, "First"},
      {"artist falls back to TOPE", TTagBuilder(3).Frame("TOPE", Latin1("Original")).File(), &TID3v2::Artist,
       "Original"},
      {"album falls back to TOAL", TTagBuilder(3).Frame("TOAL", Latin1("First Album")).File(), &TID3v2::Album,
       "First Album"},
      {"year falls back to the first 4 characters of TDRC",
       TTagBuilder(4).Frame("TDRC", Latin1("2004-05-06")).File(), &TID3v2::Year, "2004"},
      {"TYER wins over TDRC", TTagBuilder(3).Frame("TDRC", Latin1("2004")).Frame("TYER", Latin1("1999")).File(),
       &TID3v2::Year, "1999"},
      {"v3 frame with second flag byte 0x80 is passed over",
       TTagBuilder(3).Frame("TIT2", Latin1("Hidden"), 0x80).Frame("TPE1", Latin1("Next")).File(), &TID3v2::Title, ""},
      {"... and the walk goes on after it",
       TTagBuilder(3).Frame("TIT2", Latin1("Hidden"), 0x80).Frame("TPE1", Latin1("Next")).File(), &TID3v2::Artist,
       "Next"},
      {"other flag bits are ignored", TTagBuilder(3).Frame("TIT2", Latin1("Shown"), 0x7F).File(), &TID3v2::Title,
       "Shown"},
      {"version 2.2 frames", TTagBuilder(2).Frame("TT2", Latin1("Old")).Frame("TP1", Latin1("Band")).File(),
       &TID3v2::Artist, "Band"},
      {"version 2.2 size 00 00 80 is 128 bytes",
       TTagBuilder(2).Frame("TT2", Latin1("Old") + std::string(0x80 - 4, '\0')).Frame("TP1", Latin1("Band")).File(),
       &TID3v2::Artist, "Band"},
      {"genre: a reference and a word give the word", TTagBuilder(3).Frame("TCON", Latin1("(17)Rock")).File(),
       &TID3v2::Genre, "Rock"},
      {"genre: a reference alone gives nothing", TTagBuilder(3).Frame("TCON", Latin1("(17)")).File(), &TID3v2::Genre,
       ""},
      {"genre: the space after the reference stays", TTagBuilder(3).Frame("TCON", Latin1("(17) Rock")).File(),
       &TID3v2::Genre, " Rock"},
      {"genre: everything up to the last parenthesis goes",
       TTagBuilder(3).Frame("TCON", Latin1("(17)(18)Techno")).File(), &TID3v2::Genre, "Techno"},
      {"genre: a plain name", TTagBuilder(4).Frame("TCON", Latin1("Samba")).File(), &TID3v2::Genre, "Samba"},
  };
  CheckTexts(std::begin(cases), std::end(cases));
}

TEST(ID3v2, DescribedText) {
  const TTextCase cases[] = {
      {"COMM, encoding 0, empty description", TTagBuilder(3).Frame("COMM", "\0eng\0Ao vivo"s).File(),
       &TID3v2::Comment, "Ao vivo"},
      {"COMM, encoding 0, a description", TTagBuilder(3).Frame("COMM", "\0porNota\0Texto"s).File(),
       &TID3v2::Comment, "Texto"},
      {"COMM, encoding 1, one-letter description with its terminator",
       TTagBuilder(3).Frame("COMM", "\x01" "eng"s + "\xFF\xFE" "d\0"s + "\0\0"s + Utf16(u"Bom dia").substr(1)).File(),
       &TID3v2::Comment, "Bom dia"},
      {"COMM, encoding 1: the terminator is a whole unit, not 00 00 across two units",
       TTagBuilder(3).Frame("COMM", "\x01" "eng"s + "A\0\0B\0\0"s + "T\0x\0t\0"s).File(), &TID3v2::Comment, "Txt"},
      {"COMM without any zero byte keeps the description",
       TTagBuilder(3).Frame("COMM", "\0eng"s + std::string(496, 'A')).File(), &TID3v2::Comment,
       std::string(496, 'A')},
      {"COMM, encoding 3, is not stored", TTagBuilder(4).Frame("COMM", "\x03" "eng\0Text"s).File(), &TID3v2::Comment,
       ""},
      {"COM of version 2.2", TTagBuilder(2).Frame("COM", "\0engd\0Old note"s).File(), &TID3v2::Comment, "Old note"},
      {"WXXX has no language", TTagBuilder(3).Frame("WXXX", "\0\0http://radio.example"s).File(), &TID3v2::UserLink,
       "http://radio.example"},
      {"WXXX with a description", TTagBuilder(3).Frame("WXXX", "\0Site\0http://radio.example"s).File(),
       &TID3v2::UserLink, "http://radio.example"},
      {"WXXX with encoding 1 decodes the link as UTF-16",
       TTagBuilder(3).Frame("WXXX", "\x01\0\0"s + Utf16Units(u"\ufeffhttp://x", false)).File(), &TID3v2::UserLink,
       "http://x"},
  };
  CheckTexts(std::begin(cases), std::end(cases));
}

TEST(ID3v2, TrackNumber) {
  struct TCase {
    const char* what;
    std::string content;  // the TRCK frame's content
    std::uint16_t track;
    std::string trackText;
  };
  const TCase cases[] = {
      {"number and total", Latin1("7/12"), 7, "7/12"},
      {"letter then digit", Latin1("a1"), 0, "a1"},
      {"digits then a letter", Latin1("12a"), 0, "12a"},
      {"inner space", Latin1("1 2"), 0, "1 2"},
      {"empty before the slash", Latin1("/12"), 0, "/12"},
      {"plus sign", Latin1("+5"), 5, "+5"},
      {"minus one kept in 16 bits", Latin1("-1"), 65535, "-1"},
      {"sign without digits", Latin1("-"), 0, "-"},
      {"dollar hex", Latin1("$1F"), 31, "$1F"},
      {"x hex", Latin1("x10"), 16, "x10"},
      {"0X hex", Latin1("0X1a"), 26, "0X1a"},
      {"0x without digits", Latin1("0x"), 0, "0x"},
      {"sign before hex", Latin1("-$10"), 0, "-$10"},
      {"zero", Latin1("0"), 0, "0"},
      {"70000 modulo 65536", Latin1("70000"), 4464, "70000"},
      {"largest 32-bit number", Latin1("2147483647"), 65535, "2147483647"},
      {"one past the 32-bit range", Latin1("2147483648"), 0, "2147483648"},
      {"most negative but one", Latin1("-2147483647"), 1, "-2147483647"},
      {"below the 32-bit range", Latin1("-2147483649"), 0, "-2147483649"},
      {"hex past the signed range", Latin1("$80000000"), 0, "$80000000"},
      {"a zero byte ends the number", Latin1("3\0" "4"s), 3, "3\0" "4"s},
      {"UTF-16", Utf16(u"9/10"), 9, "9/10"},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("t.mp3");
    dztest::WriteFile(path, TTagBuilder(3).Frame("TRCK", c.content).File());
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c.what;
    EXPECT_EQ(tag.Track, c.track) << c.what;
    EXPECT_EQ(tag.TrackText, c.trackText) << c.what;
  }
}

TEST(ID3v2, EveryFrameIdFeedsItsMember) {
  struct TSlotCase {
    const char* id4;
    const char* id3;
    TTextMember member;
  };
  const TSlotCase slots[] = {
      {"TIT2", "TT2", &TID3v2::Title},     {"TPE1", "TP1", &TID3v2::Artist},    {"TALB", "TAL", &TID3v2::Album},
      {"TRCK", "TRK", &TID3v2::TrackText}, {"TYER", "TYE", &TID3v2::Year},      {"TCON", "TCO", &TID3v2::Genre},
      {"TCOM", "TCM", &TID3v2::Composer},  {"TENC", "TEN", &TID3v2::EncodedBy}, {"TCOP", "TCR", &TID3v2::Copyright},
      {"TLAN", "TLA", &TID3v2::Language},  {"TRIT", "TRI", &TID3v2::FrameTRIT}, {"TINT", "TIN", &TID3v2::FrameTINT},
      {"TEXT", "TEX", &TID3v2::FrameTEXT}, {"TEST", "TES", &TID3v2::FrameTEST}, {"TIDM", "TID", &TID3v2::FrameTIDM},
      {"TCAR", "TCA", &TID3v2::FrameTCAR}, {"TVIN", "TVI", &TID3v2::FrameTVIN}, {"TMXI", "TMI", &TID3v2::FrameTMXI},
      {"TMXF", "TMF", &TID3v2::FrameTMXF}, {"TRFI", "TRI", &TID3v2::FrameTRFI}, {"TRFF", "TRF", &TID3v2::FrameTRFF},
      {"TCAD", "TCD", &TID3v2::FrameTCAD}, {"TSUC", "TSU", &TID3v2::FrameTSUC}, {"TGRA", "TGR", &TID3v2::FrameTGRA},
      {"TVOC", "TVO", &TID3v2::FrameTVOC}, {"TTPE", "TTP", &TID3v2::FrameTTPE}, {"TPIN", "TPI", &TID3v2::FrameTPIN},
      {"TPFI", "TPF", &TID3v2::FrameTPFI}, {"TPMI", "TPM", &TID3v2::FrameTPMI},
  };
  for (const bool v22 : {false, true}) {
    // Every frame carries its own id as text; "TRI" of version 2.2 feeds two members.
    TTagBuilder builder(v22 ? 2 : 3);
    for (const auto& s : slots) builder.Frame(v22 ? s.id3 : s.id4, Latin1(v22 ? s.id3 : s.id4));
    builder.Frame(v22 ? "COM" : "COMM", "\0eng\0Comment"s).Frame(v22 ? "WXX" : "WXXX", "\0\0Link"s);
    const TID3v2 tag = LoadBytes(builder.Padding(100).File());
    for (const auto& s : slots) EXPECT_EQ(tag.*(s.member), v22 ? s.id3 : s.id4) << s.id4;
    EXPECT_EQ(tag.Comment, "Comment");
    EXPECT_EQ(tag.UserLink, "Link");
  }
  struct TFallbackCase {
    const char* id4;
    const char* id3;
    TTextMember member;
    const char* text;
    const char* expected;
  };
  const TFallbackCase fallbacks[] = {
      {"TDRC", "TOR", &TID3v2::Year, "1987-01", "1987"},
      {"TOPE", "TOA", &TID3v2::Artist, "Original", "Original"},
      {"TIT1", "TT1", &TID3v2::Title, "Group", "Group"},
      {"TOAL", "TOT", &TID3v2::Album, "Old Album", "Old Album"},
  };
  for (const auto& f : fallbacks) {
    EXPECT_EQ(LoadBytes(TTagBuilder(4).Frame(f.id4, Latin1(f.text)).File()).*(f.member), f.expected) << f.id4;
    EXPECT_EQ(LoadBytes(TTagBuilder(2).Frame(f.id3, Latin1(f.text)).File()).*(f.member), f.expected) << f.id3;
  }
}

TEST(ID3v2, Rating) {
  const std::string counter = "\0\0\0\x05"s;
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> file;
    std::uint8_t rating;
  };
  const TCase cases[] = {
      {"POPM with an empty e-mail", TTagBuilder(3).Frame("POPM", "\0\xC4"s + counter).File(), 196},
      {"an empty e-mail is read by the walk, not by the complete parser (which would take the first POPM)",
       TTagBuilder(3)
           .Frame("POPM", "dj@radio.example\0\x0A"s + counter)
           .Frame("POPM", "\0\xC4"s + counter)
           .File(),
       196},
      {"POPM with an e-mail: the complete parser gives its rating",
       TTagBuilder(3).Frame("TIT2", Latin1("Song")).Frame("POPM", "dj@radio.example\0\x80"s + counter).File(), 128},
      {"first POPM in tag order when both have an e-mail",
       TTagBuilder(3)
           .Frame("POPM", "a@radio.example\0\x40"s + counter)
           .Frame("POPM", "b@radio.example\0\xFF"s + counter)
           .File(),
       64},
      {"version 2.4 POPM with an e-mail", TTagBuilder(4).Frame("POPM", "x@y\0\xFF"s).Padding(20).File(), 255},
      {"version 2.2 POP with an empty e-mail", TTagBuilder(2).Frame("POP", "\0\x32"s + counter).File(), 50},
      {"version 2.2 POP with an e-mail", TTagBuilder(2).Frame("POP", "me@home\0\x33"s + counter).File(), 51},
      {"no POPM at all", TTagBuilder(3).Frame("TIT2", Latin1("Song")).Padding(50).File(), 0},
      {"POPM passed over by the walk for its flag 0x80 (unused in version 2.4): the complete parser reads it",
       TTagBuilder(4).Frame("POPM", "\0\x07"s + counter, 0x80).File(), 7},
      {"version 5 tags are not read", TTagBuilder(5).Frame("POPM", "\0\xC4"s + counter).File(), 0},
      {"POPM with e-mail but no rating byte", TTagBuilder(3).Frame("POPM", "a@b\0"s).File(), 0},
      // The tag is searched for "POP" window by window as the walk reads it; what
      // the walk leaves out is searched before the complete parser runs.
      {"\"POP\" split 1 + 2 by the end of the first window, the walk reading on",
       TTagBuilder(3).FrameEndingAt(FirstWindowEnd - 1).Frame("POPM", "a@b\0\x21"s + counter).File(), 33},
      {"\"POP\" split 2 + 1 by the end of the first window, the walk reading on",
       TTagBuilder(3).FrameEndingAt(FirstWindowEnd - 2).Frame("POPM", "a@b\0\x22"s + counter).File(), 34},
      {"\"POP\" at the end of the first window, \"M\" in the next",
       TTagBuilder(3).FrameEndingAt(FirstWindowEnd - 3).Frame("POPM", "a@b\0\x23"s + counter).File(), 35},
      {"\"POP\" split 1 + 2 by the end of the first window, the walk gone (7-bit size taken as plain)",
       TTagBuilder(4).FrameEndingAt(FirstWindowEnd - 1, true).Frame("POPM", "a@b\0\x24"s).Padding(20).File(), 36},
      {"\"POP\" split 2 + 1 by the end of the first window, the walk gone",
       TTagBuilder(4).FrameEndingAt(FirstWindowEnd - 2, true).Frame("POPM", "a@b\0\x25"s).Padding(20).File(), 37},
      {"\"POP\" split 1 + 2 by the end of the second window, the walk gone",
       TTagBuilder(4).FrameEndingAt(FirstWindowEnd + WindowLength - 1, true).Frame("POPM", "a@b\0\x26"s).File(),
       38},
      {"\"POP\" split 2 + 1 by the end of the second window, the walk gone",
       TTagBuilder(4).FrameEndingAt(FirstWindowEnd + WindowLength - 2, true).Frame("POPM", "a@b\0\x27"s).File(),
       39},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("r.mp3");
    dztest::WriteFile(path, c.file);
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c.what;
    EXPECT_EQ(int{tag.Rating}, int{c.rating}) << c.what;
  }
}

TEST(ID3v2, WhatEndsTheWalk) {
  const std::string title = Latin1("Kept");
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> file;
    const char* title;
    const char* artist;
  };
  const TCase cases[] = {
      {"padding ends it", TTagBuilder(3).Frame("TIT2", title).Padding(10).Frame("TPE1", Latin1("Lost")).File(), "Kept",
       ""},
      {"an id not starting with A to Z ends it",
       TTagBuilder(3).Frame("TIT2", title).Frame("tPE1", Latin1("x")).Frame("TPE1", Latin1("Lost")).File(), "Kept",
       ""},
      {"only the first byte of the id is tested",
       TTagBuilder(3).Frame("TIT2", title).Frame("T\x01\x02\x03", Latin1("x")).Frame("TPE1", Latin1("Next")).File(),
       "Kept", "Next"},
      {"an extended header is read as a frame header and ends it",
       TTagBuilder(3, 0x40).Raw("\0\0\0\x06\0\0\0\0\0\0"s).Frame("TIT2", title).File(), "", ""},
      {"the footer ends it",
       TTagBuilder(4, 0x10).Frame("TIT2", title).Raw("3DI\x04\0\x10\0\0\0\x0E"s).Frame("TPE1", Latin1("x")).Audio(50).File(),
       "Kept", ""},
      {"frames after the tag's end are not read",
       TTagBuilder(3).Frame("TIT2", title).SizeBytes({0, 0, 0, 15}).Frame("TPE1", Latin1("Audio")).File(), "Kept",
       ""},
      {"a frame reaching past the tag's end is still read",
       TTagBuilder(3).Frame("TIT2", title).Frame("TPE1", Latin1("Last")).SizeBytes({0, 0, 0, 20}).Audio(100).File(),
       "Kept",
       "Last"},
      {"frame size past the end of the file: earlier texts stay",
       TTagBuilder(3).Frame("TIT2", title).Frame("TPE1", Latin1("Lost"), 0, 1000).File(), "Kept", ""},
      {"frame size past the end of the file, even with 500 bytes left",
       TTagBuilder(3).Frame("TIT2", title).Frame("TPE1", Latin1("Lost") + std::string(600, ' '), 0, 100000).File(),
       "Kept", "Lost"},
      {"frame header cut by the end of the file", TTagBuilder(3).Frame("TIT2", title).Raw("TPE1\0\0").File(), "Kept",
       ""},
      {"v3 frame size 2^31 ends it",
       TTagBuilder(3).Frame("TIT2", title).Frame("TPE1", Latin1("Big") + std::string(600, ' '), 0, 0x80000000u).File(),
       "Kept", ""},
      {"v4 frame size FF FF FF FF ends it",
       TTagBuilder(4).Frame("TIT2", title).Frame("TPE1", Latin1("Big") + std::string(600, ' '), 0, 0xFFFFFFFFu).File(),
       "Kept", ""},
      {"v3 frame size 2^31 - 1 is passed over by moving",
       TTagBuilder(3).Frame("TIT2", title).Frame("TPE1", Latin1("Big") + std::string(600, ' '), 0, 0x7FFFFFFFu).File(),
       "Kept", "Big"},
      {"v2.2 frame size FF FF FF", TTagBuilder(2).Frame("TT2", title).Frame("TP1", Latin1("Big"), 0, 0xFFFFFF).File(),
       "Kept", ""},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("w.mp3");
    dztest::WriteFile(path, c.file);
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c.what;
    EXPECT_TRUE(tag.Present) << c.what;
    EXPECT_GT(tag.TagSize, 0) << c.what;
    EXPECT_EQ(tag.Title, c.title) << c.what;
    EXPECT_EQ(tag.Artist, c.artist) << c.what;
  }
}

TEST(ID3v2, FramesAcrossTheWindowBorder) {
  const std::string title = Latin1("Kept");
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> file;
    const char* artist;
  };
  const TCase cases[] = {
      {"a frame header across the end of the first window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 4).Frame("TPE1", Latin1("Across")).Padding(50).File(),
       "Across"},
      {"frame content across the end of the first window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 12).Frame("TPE1", Latin1("Across")).Padding(50).File(),
       "Across"},
      {"a frame header ending one byte past the end of the first window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 9).Frame("TPE1", Latin1("Across")).Padding(50).File(),
       "Across"},
      {"frame content ending one byte past the end of the first window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 16).Frame("TPE1", Latin1("Across")).Padding(50).File(),
       "Across"},
      {"frame content ending at the end of the first window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 17).Frame("TPE1", Latin1("Across")).Padding(50).File(),
       "Across"},
      {"a frame right after the end of the first window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd).Frame("TPE1", Latin1("Next")).Padding(50).File(),
       "Next"},
      {"a frame after a picture that ends in the second window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd + 20000).Frame("TPE1", Latin1("After")).File(),
       "After"},
      {"a frame after a picture of several windows",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd + 3 * WindowLength + 7)
           .Frame("TPE1", Latin1("After")).Padding(1000).Audio(500).File(),
       "After"},
      {"version 2.2: a frame header across the end of the first window",
       TTagBuilder(2).Frame("TT2", title).FrameEndingAt(FirstWindowEnd - 3).Frame("TP1", Latin1("Across")).File(),
       "Across"},
      {"version 2.2: a frame header ending one byte past the end of the first window",
       TTagBuilder(2).Frame("TT2", title).FrameEndingAt(FirstWindowEnd - 5).Frame("TP1", Latin1("Across")).File(),
       "Across"},
      {"content past the end of the file, read from inside the window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 20).Frame("TPE1", Latin1("Lost"), 0, 100).File(),
       ""},
      {"content past the end of the file, beyond the end of the window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 10).Frame("TPE1", Latin1("Lost"), 0, 100).File(),
       ""},
      {"a frame header cut by the end of the file past the end of the window",
       TTagBuilder(3).Frame("TIT2", title).FrameEndingAt(FirstWindowEnd - 4).Raw("TPE1\0\0"s).File(), ""},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("b.mp3");
    dztest::WriteFile(path, c.file);
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c.what;
    EXPECT_GT(tag.TagSize, static_cast<std::int32_t>(FirstWindowEnd) - 30) << c.what;
    EXPECT_EQ(tag.Title, "Kept") << c.what;
    EXPECT_EQ(tag.Artist, c.artist) << c.what;
  }
}

// Read calls this process has made, as the kernel counts them; -1 where it does not.
long long ReadCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "syscr:") return value;
  return -1;
}

TEST(ID3v2, ReadsATagWithABigPictureInFewCalls) {
  // Text frames, a picture of 100,000 bytes, a text frame after it, padding:
  // the header, the first window, the frame after the picture, and the rest of
  // the picture once (in windows) for the popularimeter search; no read per frame.
  TTempDir dir;
  const std::string path = dir.File("cover.mp3");
  dztest::WriteFile(path, TTagBuilder(3)
                              .Frame("TIT2", Latin1("Title"))
                              .Frame("TPE1", Latin1("Artist"))
                              .Frame("APIC", "\0image/jpeg\0\x03\0"s + std::string(100000, 'x'))
                              .Frame("TYER", Latin1("1999"))
                              .Padding(1024)
                              .Audio(5000)
                              .File());
  const long long first = ReadCalls();
  if (first < 0) GTEST_SKIP() << "no read accounting (/proc/self/io) here";
  const long long counting = ReadCalls() - first;  // what one look at the count costs
  const long long before = ReadCalls();
  TID3v2 tag;
  ASSERT_TRUE(tag.LoadFromFile(path));
  const long long calls = ReadCalls() - before - counting;
  EXPECT_EQ(tag.Title, "Title");
  EXPECT_EQ(tag.Year, "1999");
  EXPECT_EQ(tag.TagSize, 10 + 16 + 17 + 100024 + 15 + 1024);
  // 1 header + 1 first window + 1 after the picture + 3 windows of the search.
  EXPECT_LE(calls, 6);
  EXPECT_GT(calls, 0);
}

// Garbage after a valid header: the rules decide, nothing reads outside a
// buffer (the test build checks that) and no text outgrows a frame buffer.
TEST(ID3v2, GarbageFramesNeverFail) {
  TTempDir dir;
  const std::string path = dir.File("g.mp3");
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::uint8_t>(seed >> 24);
  };
  for (int round = 0; round < 300; ++round) {
    const std::uint8_t version = static_cast<std::uint8_t>(2 + round % 3);
    TBytes body;
    const std::size_t length = 20 + next() * 4;
    for (std::size_t i = 0; i < length; ++i) {
      // Mostly frame-like bytes: upper-case letters, small numbers, encodings 0 and 1.
      const std::uint8_t kind = next() % 4;
      body.U8(kind == 0 ? static_cast<std::uint8_t>('A' + next() % 26) : kind == 1 ? next() % 3 : next());
    }
    dztest::WriteFile(path, TTagBuilder(version, next() & 0xEF).Raw(std::string(body.Data().begin(), body.Data().end())).File());
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << round;
    EXPECT_TRUE(tag.Present);
    EXPECT_EQ(tag.TagVersion, version);
    for (const std::string* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.Comment, &tag.UserLink, &tag.FrameTPMI})
      EXPECT_LE(text->size(), 500u) << round;
  }
}

TEST(ID3v2, NothingOfAnEarlierFileSurvives) {
  TTempDir dir;
  dztest::WriteFile(dir.File("a.mp3"), TTagBuilder(3)
                                           .Frame("TIT2", Latin1("First"))
                                           .Frame("TRCK", Latin1("4"))
                                           .Frame("POPM", "\0\x09"s)
                                           .Frame("TPMI", Latin1("x"))
                                           .File());
  dztest::WriteFile(dir.File("b.mp3"), TTagBuilder(5).Frame("TIT2", Latin1("Second")).File());
  TID3v2 tag;
  ASSERT_TRUE(tag.LoadFromFile(dir.File("a.mp3")));
  ASSERT_EQ(tag.Title, "First");
  ASSERT_EQ(tag.Rating, 9);
  ASSERT_TRUE(tag.LoadFromFile(dir.File("b.mp3")));
  EXPECT_EQ(tag.TagVersion, 5);
  EXPECT_TRUE(tag.Title.empty());
  EXPECT_TRUE(tag.TrackText.empty());
  EXPECT_TRUE(tag.FrameTPMI.empty());
  EXPECT_EQ(tag.Track, 0);
  EXPECT_EQ(tag.Rating, 0);
  EXPECT_FALSE(tag.LoadFromFile(dir.File("missing.mp3")));
  EXPECT_FALSE(tag.Present);
  EXPECT_EQ(tag.TagVersion, 0);
  EXPECT_EQ(tag.TagSize, 0);
}

// Tags written by real tag writers: TagLib on a zero-filled file, and lame
// tagging its own MP3 file (the sample set Mp3).
class ID3v2Written : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = new TTempDir;
    WriteWithTagLib(dir_->File("v24.mp3"), TagLib::ID3v2::v4, false);
    WriteWithTagLib(dir_->File("v23.mp3"), TagLib::ID3v2::v3, false);
    WriteWithTagLib(dir_->File("v24wide.mp3"), TagLib::ID3v2::v4, true);
    WriteWithTagLib(dir_->File("v23wide.mp3"), TagLib::ID3v2::v3, true);
    try {
      lameFile_ = (dztest::SampleFolder(dztest::TSampleSet::Mp3) / "lame.mp3").string();
    } catch (const std::exception& error) {
      samplesFailure_ = error.what();
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // Latin-1 texts, or texts that need UTF-16 (version 2.3) or UTF-8 (version
  // 2.4); wide files have a POPM with an empty e-mail, the others one with an
  // e-mail address.
  static void WriteWithTagLib(const std::string& path, TagLib::ID3v2::Version version, bool wide) {
    dztest::WriteFile(path, TBytes().Zeros(4000));
    TagLib::MPEG::File file(path.c_str());
    ASSERT_TRUE(file.isOpen());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    const TagLib::String::Type encoding = wide ? (version == TagLib::ID3v2::v3 ? TagLib::String::UTF16
                                                                               : TagLib::String::UTF8)
                                               : TagLib::String::Latin1;
    auto text = [&](const char* id, const char* utf8) {
      auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, encoding);
      frame->setText(TagLib::String(utf8, TagLib::String::UTF8));
      tag->addFrame(frame);
    };
    text("TIT2", wide ? "Žluť €" : "Canção do Mar");
    text("TPE1", "Dulce");
    text("TALB", "Best");
    text("TRCK", "3/10");
    text("TCON", "Samba");
    text(version == TagLib::ID3v2::v3 ? "TYER" : "TDRC", "2001");
    auto* comment = new TagLib::ID3v2::CommentsFrame(encoding);
    comment->setLanguage("por");
    comment->setDescription("nota");
    comment->setText(TagLib::String("ao vivo", TagLib::String::UTF8));
    tag->addFrame(comment);
    auto* popularimeter = new TagLib::ID3v2::PopularimeterFrame();
    popularimeter->setEmail(wide ? "" : "radio@example.org");
    popularimeter->setRating(wide ? 196 : 200);
    popularimeter->setCounter(3);
    tag->addFrame(popularimeter);
    ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, version));
  }

  // The tag's complete size as TagLib reads it from the header.
  static std::int32_t TagLibTagSize(const std::string& path) {
    const std::vector<std::uint8_t> bytes = dztest::ReadFileBytes(path);
    TagLib::ID3v2::Header header(TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()), 10));
    return static_cast<std::int32_t>(header.completeTagSize());
  }

  static TTempDir* dir_;
  static std::string lameFile_;
  static std::string samplesFailure_;  // why there is no lame file, if there is none
};

TTempDir* ID3v2Written::dir_ = nullptr;
std::string ID3v2Written::lameFile_;
std::string ID3v2Written::samplesFailure_;

TEST_F(ID3v2Written, TagLibTags) {
  struct TCase {
    const char* file;
    std::uint8_t version;
    std::string title;
    std::string year;
    std::uint8_t rating;
  };
  const TCase cases[] = {
      {"v24.mp3", 4, "Can\xE7\xE3o do Mar", "2001", 200},
      {"v23.mp3", 3, "Can\xE7\xE3o do Mar", "2001", 200},
      {"v23wide.mp3", 3, "\x8Elu? \x80", "2001", 196},  // UTF-16 into Windows-1252
      {"v24wide.mp3", 4, "", "", 196},                  // UTF-8 (encoding 3) is not stored
  };
  for (const auto& c : cases) {
    const std::string path = dir_->File(c.file);
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(path)) << c.file;
    EXPECT_TRUE(tag.Present) << c.file;
    EXPECT_EQ(int{tag.TagVersion}, int{c.version}) << c.file;
    EXPECT_EQ(tag.TagSize, TagLibTagSize(path)) << c.file;
    EXPECT_EQ(tag.Title, c.title) << c.file;
    EXPECT_EQ(tag.Year, c.year) << c.file;
    EXPECT_EQ(int{tag.Rating}, int{c.rating}) << c.file;
    const bool stored = c.version == 3 || std::string(c.file) == "v24.mp3";
    EXPECT_EQ(tag.Artist, stored ? "Dulce" : "") << c.file;
    EXPECT_EQ(tag.Album, stored ? "Best" : "") << c.file;
    EXPECT_EQ(tag.TrackText, stored ? "3/10" : "") << c.file;
    EXPECT_EQ(tag.Track, stored ? 3 : 0) << c.file;
    EXPECT_EQ(tag.Genre, stored ? "Samba" : "") << c.file;
    EXPECT_EQ(tag.Comment, stored ? "ao vivo" : "") << c.file;
  }
}

TEST_F(ID3v2Written, LameTag) {
  ASSERT_EQ(samplesFailure_, "");
  const std::string& path = lameFile_;
  TID3v2 tag;
  ASSERT_TRUE(tag.LoadFromFile(path));
  EXPECT_TRUE(tag.Present);
  EXPECT_EQ(tag.TagVersion, 3);
  EXPECT_EQ(tag.TagSize, TagLibTagSize(path));
  // The audio starts right after the tag with a frame sync.
  const std::vector<std::uint8_t> bytes = dztest::ReadFileBytes(path);
  ASSERT_GT(bytes.size(), static_cast<std::size_t>(tag.TagSize) + 1);
  EXPECT_EQ(bytes[tag.TagSize], 0xFF);
  EXPECT_EQ(bytes[tag.TagSize + 1] & 0xE0, 0xE0);
  EXPECT_EQ(tag.Title, "Noite Fria");
  EXPECT_EQ(tag.Artist, "Os Lame");
  EXPECT_EQ(tag.Album, "Ao Vivo");
  EXPECT_EQ(tag.Year, "1998");
  EXPECT_EQ(tag.TrackText, "5/9");
  EXPECT_EQ(tag.Track, 5);
  EXPECT_EQ(tag.Comment, "Gravado em casa");
  EXPECT_EQ(tag.Rating, 0);
}

}  // namespace
