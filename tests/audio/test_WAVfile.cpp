#include "audio/WAVfile.h"

#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include "audio/U_Funcoes.h"

#include <cstring>
#include <filesystem>
#include <functional>

namespace {

using dztest::TBytes;
using dztest::TTempDir;

// The fmt fields that the tests vary; the rest of a fmt chunk is zero bytes.
struct TFmt {
  std::uint16_t formatTag = 1;
  std::uint16_t channels = 2;
  std::uint32_t sampleRate = 8000;
  std::uint32_t bytesPerSecond = 1000;
  std::uint16_t blockAlign = 4;
  std::uint16_t bitsPerSample = 16;
};

// "RIFF" size "WAVE" "fmt " fmtSize, then the 16 bytes of the fmt fields.
TBytes Head(std::uint32_t riffSize, std::uint32_t fmtSize, const TFmt& f = {}, const char* riffId = "RIFF") {
  TBytes b;
  b.Str(riffId).LE32(riffSize).Str("WAVE").Str("fmt ").LE32(fmtSize);
  b.LE16(f.formatTag).LE16(f.channels).LE32(f.sampleRate).LE32(f.bytesPerSecond).LE16(f.blockAlign).LE16(f.bitsPerSample);
  return b;
}

// The plain 44-byte layout: 16-byte fmt chunk, then the data chunk header.
TBytes Plain(std::uint32_t riffSize, const TFmt& f = {}) { return Head(riffSize, 16, f).Str("data").LE32(riffSize - 36); }

// A 16-byte fmt chunk followed by a chunk with the given id, size and first data word.
TBytes AfterFmt16(std::uint32_t riffSize, const char* id, std::uint32_t size, std::uint32_t firstWord, const TFmt& f = {}) {
  return Head(riffSize, 16, f).Str(id).LE32(size).LE32(firstWord);
}

// "RIFF" size "WAVE", then the chunks the test appends.
TBytes Riff(std::uint32_t riffSize) { return TBytes().Str("RIFF").LE32(riffSize).Str("WAVE"); }

// A chunk of zero bytes with its pad byte when the size is odd.
TBytes& Chunk(TBytes& b, const char* id, std::uint32_t size) {
  b.Str(id).LE32(size).Zeros(size + (size & 1u));
  return b;
}

// A fmt chunk of the given size: the 16 bytes of the fmt fields, then zeros.
TBytes& Fmt(TBytes& b, std::uint32_t size, const TFmt& f) {
  b.Str("fmt ").LE32(size);
  b.LE16(f.formatTag).LE16(f.channels).LE32(f.sampleRate).LE32(f.bytesPerSecond).LE16(f.blockAlign).LE16(f.bitsPerSample);
  b.Zeros(size - 16);
  return b;
}

// The bytes with the RIFF size set to count all of them.
std::vector<std::uint8_t> WithRiffSize(const TBytes& b) {
  std::vector<std::uint8_t> bytes = b;
  const auto riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
  return bytes;
}

// The bytes and zeros behind them up to the length that the RIFF size states:
// a whole file, measured by its header.
std::vector<std::uint8_t> Whole(const TBytes& b) {
  std::vector<std::uint8_t> bytes = b;
  const std::uint64_t stated = std::uint64_t{bytes[4]} | (std::uint64_t{bytes[5]} << 8) |
                               (std::uint64_t{bytes[6]} << 16) | (std::uint64_t{bytes[7]} << 24);
  if (stated + 8 > bytes.size()) bytes.resize(stated + 8);
  return bytes;
}

// Chunks in front of a 16-byte fmt chunk and a data chunk of dataSize bytes,
// the RIFF size counting them all.
std::vector<std::uint8_t> FmtAfter(const std::function<void(TBytes&)>& before, std::uint32_t dataSize,
                                   const TFmt& f) {
  TBytes b = Riff(0);
  before(b);
  Fmt(b, 16, f).Str("data").LE32(dataSize).Zeros(dataSize);
  return WithRiffSize(b);
}

// n empty JUNK chunks.
std::function<void(TBytes&)> Junks(int n, std::uint32_t size = 0) {
  return [n, size](TBytes& b) {
    for (int i = 0; i < n; ++i) Chunk(b, "JUNK", size);
  };
}

struct TExpected {
  bool loaded;
  bool valid;
  std::int32_t sampleCount;
  std::uint16_t headerSize;
  std::uint32_t fileSize;
  double duration;
};

// Bytes made for a case, and what the reader must make of them.
struct TCraftedCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  TExpected expected;
};

void ExpectReset(const TWAVfile& wav, const std::string& what) {
  EXPECT_FALSE(wav.Valid) << what;
  EXPECT_EQ(wav.FormatTag, 0) << what;
  EXPECT_EQ(wav.Channels, 0) << what;
  EXPECT_EQ(wav.SampleRate, 0u) << what;
  EXPECT_EQ(wav.BytesPerSecond, 0u) << what;
  EXPECT_EQ(wav.BlockAlign, 0) << what;
  EXPECT_EQ(wav.BitsPerSample, 0) << what;
  EXPECT_EQ(wav.SampleCount, 0) << what;
  EXPECT_EQ(wav.HeaderSize, 0) << what;
  EXPECT_EQ(wav.FileSize, 0u) << what;
  EXPECT_EQ(wav.ChannelMode(), WAVChannelModeNames[0]) << what;
  EXPECT_EQ(wav.Duration(), 0.0) << what;
}

// Reads the bytes as a file and checks what the reader made of them; a file
// that is not valid leaves every member reset.
TWAVfile ExpectRead(const TTempDir& dir, const std::string& what, const std::vector<std::uint8_t>& bytes,
                    const TExpected& expected) {
  const std::string path = dir.File("t.wav");
  dztest::WriteFile(path, bytes);
  TWAVfile wav;
  EXPECT_EQ(wav.LoadFromFile(path), expected.loaded) << what;
  EXPECT_EQ(wav.Valid, expected.valid) << what;
  EXPECT_EQ(wav.SampleCount, expected.sampleCount) << what;
  EXPECT_EQ(wav.HeaderSize, expected.headerSize) << what;
  EXPECT_EQ(wav.FileSize, expected.fileSize) << what;
  EXPECT_DOUBLE_EQ(wav.Duration(), expected.duration) << what;
  if (!expected.valid) ExpectReset(wav, what);
  return wav;
}

TEST(WAVfile, ClearedState) {
  TWAVfile wav;
  ExpectReset(wav, "new object");
  EXPECT_EQ(WAVChannelModeNames[0], std::string("Unknown"));
  EXPECT_EQ(WAVChannelModeNames[1], std::string("Mono"));
  EXPECT_EQ(WAVChannelModeNames[2], std::string("Stereo"));
}

TEST(WAVfile, CraftedHeaders) {
  TFmt mono8k{1, 1, 8000, 16000, 2, 16};
  TFmt noRate{1, 1, 0, 16000, 2, 16};
  TFmt noBytesPerSecond{1, 1, 8000, 0, 2, 16};
  // A fmt size near 2^32 whose read wraps to offset 4, where the RIFF size
  // field spells "fact": the count is then the bytes at 12, "fmt ".
  const std::uint32_t factAsNumber = 0x74636166;  // "fact" read little-endian
  const std::uint32_t fmtIdAsNumber = 0x20746D66; // "fmt " read little-endian
  const TCraftedCase cases[] = {
      {"plain layout: RIFF size 36 + B, B bytes per second: 1 s",
       Plain(36 + 1000).Zeros(1000), {true, true, 0, 44, 1044, 1.0}},
      {"plain layout: the data chunk's size field is not used",
       Head(36 + 2000, 16).Str("data").LE32(5).Zeros(2000), {true, true, 0, 44, 2044, 2.0}},
      {"plain layout: trailing chunks after the data count as audio",
       Plain(36 + 1000 + 8 + 492).Zeros(1000).Str("LIST").LE32(492).Zeros(492), {true, true, 0, 44, 1544, 1.5}},
      {"16-byte fmt, fact count = sample rate: 1 s whatever the data size",
       Whole(AfterFmt16(1000000, "fact", 4, 8000, mono8k).Str("data").LE32(100).Zeros(100)), {true, true, 8000, 56, 1000008, 1.0}},
      {"20-byte fmt, fact at 40: count from 48, header 60",
       Whole(Head(60 + 40, 20, mono8k).LE16(2).LE16(0xBEEF).Str("fact").LE32(4).LE32(24000).Str("data").LE32(40).Zeros(40)),
       {true, true, 24000, 60, 108, 3.0}},
      {"18-byte fmt, fact at 38 (float files): header 58",
       Head(50 + 16000, 18, mono8k).LE16(0).Str("fact").LE32(4).LE32(4000).Str("data").LE32(16000).Zeros(16000),
       {true, true, 4000, 58, 16058, 0.5}},
      {"fact count with the top bit set: negative, no duration",
       AfterFmt16(1000, "fact", 4, 0x80000000u, mono8k).Str("data").LE32(0), {true, true, INT32_MIN, 56, 1008, 0.0}},
      {"fact count 0xFFFFFFFF: -1, no duration",
       AfterFmt16(1000, "fact", 4, 0xFFFFFFFFu, mono8k).Str("data").LE32(0), {true, true, -1, 56, 1008, 0.0}},
      {"fact count with sample rate 0: no duration",
       AfterFmt16(1000, "fact", 4, 100, noRate).Str("data").LE32(0), {true, true, 100, 56, 1008, 0.0}},
      {"fact count 0: duration from the bytes",
       Whole(AfterFmt16(56 - 8 + 32000, "fact", 4, 0, mono8k).Str("data").LE32(0)), {true, true, 0, 56, 32056, 2.0}},
      {"no count and 0 bytes per second: no duration",
       Plain(36 + 1000, noBytesPerSecond), {true, true, 0, 44, 1044, 0.0}},
      {"LIST chunk after the fmt chunk: its \"INFO\" is no count",
       Whole(AfterFmt16(48 + 8000, "LIST", 26, 0x4F464E49, mono8k).Str("ISFT").LE32(14).Str("Lavf59.27.100").Zeros(1)),
       {true, true, 0, 56, 8056, 0.5}},
      {"bext chunk after the fmt chunk: its description is no count",
       Whole(AfterFmt16(48 + 16000, "bext", 602, 0x00006968, mono8k).Zeros(598)), {true, true, 0, 56, 16056, 1.0}},
      {"upper-case FACT is another chunk: no count",
       Whole(AfterFmt16(48 + 16000, "FACT", 4, 8000, mono8k)), {true, true, 0, 56, 16056, 1.0}},
      {"extensible 40-byte fmt, data right after: the first sample is no count",
       Whole(Head(72 + 16000, 40, TFmt{0xFFFE, 1, 8000, 16000, 2, 16}).Zeros(24).Str("data").LE32(16000).LE32(0x00200000)),
       {true, true, 0, 80, 16080, 1.0}},
      {"extensible 40-byte fmt, then fact at 60: header 80",
       Whole(Head(72 + 16000, 40, TFmt{0xFFFE, 2, 8000, 32000, 4, 16}).Zeros(24).Str("fact").LE32(4).LE32(12000)),
       {true, true, 12000, 80, 16080, 1.5}},
      {"RIFF size 20 with data at 36: header cut to the file size 28",
       Plain(20), {true, true, 0, 28, 28, 0.0}},
      {"RIFF size 0xFFFFFFF8 wraps the file size to 0",
       Plain(0xFFFFFFF8u), {true, true, 0, 0, 0, 0.0}},
      {"fmt size 0xFFF0: header size kept to 16 bits",
       Head(8016, 0xFFF0, mono8k).PadTo(0x10004).Str("JUNK").LE32(4).LE32(1), {true, true, 0, 24, 8024, 0.5}},
      {"fmt size 2^32 - 16: the read wraps to offset 4 and finds no fact",
       Whole(Head(24 + 16000, 0xFFFFFFF0u, mono8k).Str("JUNK").LE32(0)), {true, true, 0, 24, 16032, 1.0005}},
      {"fmt size 2^32 - 16, RIFF size spelling \"fact\": count from offset 12, the length from the file",
       Head(factAsNumber, 0xFFFFFFF0u, TFmt{1, 1, 1000, 2000, 2, 16}).Str("JUNK").LE32(0),
       {true, true, static_cast<std::int32_t>(fmtIdAsNumber), 24, factAsNumber + 8, (44.0 - 24) / 2000}},
      {"fmt size 2^32 - 24: position 2^32 - 4 lies past the end",
       Head(1000, 0xFFFFFFE8u, mono8k).Str("JUNK").LE32(0), {false, false, 0, 0, 0, 0.0}},
      {"16-byte fmt, a fact chunk cut short", Head(100, 16, mono8k).Str("fact").LE32(4), {false, false, 0, 0, 0, 0.0}},
      // The first 128 bytes are read at once; a chunk after the fmt chunk that
      // does not end within them is read on its own.
      {"96-byte fmt: the fact chunk ends at byte 128",
       Whole(Head(2000, 96, mono8k).Zeros(80).Str("fact").LE32(4).LE32(16000).Zeros(100)), {true, true, 16000, 136, 2008, 2.0}},
      {"97-byte fmt: the fact chunk runs past byte 128",
       Whole(Head(2000, 97, mono8k).Zeros(81).Str("fact").LE32(4).LE32(16000).Zeros(100)), {true, true, 16000, 137, 2008, 2.0}},
      {"300-byte fmt: the fact chunk lies wholly past byte 128",
       Whole(Head(2000, 300, mono8k).Zeros(284).Str("fact").LE32(4).LE32(4000)), {true, true, 4000, 340, 2008, 0.5}},
      {"97-byte fmt, the file ending inside the fact chunk",
       Head(2000, 97, mono8k).Zeros(81).Str("fact").LE32(4).LE16(1), {false, false, 0, 0, 0, 0.0}},
      {"300-byte fmt, the file ending inside the fact chunk",
       Head(2000, 300, mono8k).Zeros(284).Str("fact").LE32(4), {false, false, 0, 0, 0, 0.0}},
      {"16-byte fmt and nothing after", Head(100, 16, mono8k).Zeros(4), {false, false, 0, 0, 0, 0.0}},
      {"channel count 0", Plain(1036, TFmt{1, 0, 8000, 1000, 4, 16}), {true, false, 0, 0, 0, 0.0}},
      {"channel count 3", Plain(1036, TFmt{1, 3, 8000, 1000, 4, 16}), {true, false, 0, 0, 0, 0.0}},
      {"channel count 0x0101: the whole 16-bit field is checked",
       Plain(1036, TFmt{1, 0x0101, 8000, 1000, 4, 16}), {true, false, 0, 0, 0, 0.0}},
      {"RIFF id in lower case", Head(1036, 16, {}, "riff").Str("data").LE32(1000), {true, false, 0, 0, 0, 0.0}},
      {"RIFX (big-endian RIFF)", Head(1036, 16, {}, "RIFX").Str("data").LE32(1000), {true, false, 0, 0, 0, 0.0}},
      {"form type not WAVE",
       TBytes().Str("RIFF").LE32(1036).Str("AVI ").Str("fmt ").LE32(16).Zeros(16).Str("data").LE32(0),
       {true, false, 0, 0, 0, 0.0}},
      {"fmt id without its blank",
       TBytes().Str("RIFF").LE32(1036).Str("WAVE").Str("fmt").U8(0).LE32(16).LE16(1).LE16(1).Zeros(12).Str("data").LE32(0),
       {true, false, 0, 0, 0, 0.0}},
      {"MPEG frame bytes", TBytes().U8s({0xFF, 0xFB, 0x90, 0x64}).Zeros(400), {true, false, 0, 0, 0, 0.0}},
  };
  TTempDir dir;
  for (const auto& c : cases) ExpectRead(dir, c.what, c.bytes, c.expected);
}

TEST(WAVfile, FmtChunkAfterOtherChunks) {
  const TFmt mono8k{1, 1, 8000, 16000, 2, 16};
  // bext (602 bytes), iXML (101, padded), a 20-byte fmt, a fact chunk
  // counting 8000 samples, the data.
  TBytes broadcast = Riff(0);
  Chunk(broadcast, "bext", 602);
  Chunk(broadcast, "iXML", 101);
  Fmt(broadcast, 20, mono8k).Str("fact").LE32(4).LE32(8000).Str("data").LE32(4000).Zeros(4000);
  // An odd-sized chunk written without its pad byte: the walk steps past the fmt chunk.
  TBytes unpadded = Riff(16000 + 8 + 24 + 21);
  unpadded.Str("LIST").LE32(13).Zeros(13);
  Fmt(unpadded, 16, mono8k).Str("data").LE32(16000).Zeros(16000);
  TBytes fmtCutShort = Riff(1000);
  Chunk(fmtCutShort, "JUNK", 28).Str("fmt ").LE32(16).LE16(1).LE16(1).LE32(8000);
  std::vector<std::uint8_t> riffx = FmtAfter(Junks(1, 28), 16000, mono8k);
  std::memcpy(riffx.data(), "RIFX", 4);
  TBytes fmtThenNothing = Riff(1000);
  Chunk(fmtThenNothing, "JUNK", 28);
  Fmt(fmtThenNothing, 16, mono8k).Zeros(4);
  TBytes firstChunkCut = Riff(1000);
  firstChunkCut.Str("bext").LE32(602).Zeros(100);
  const TCraftedCase cases[] = {
      {"bext first: the fmt chunk at 622, the header 610 bytes longer",
       FmtAfter([](TBytes& b) { Chunk(b, "bext", 602); }, 16000, mono8k), {true, true, 0, 654, 16654, 1.0}},
      {"bext, iXML, a 20-byte fmt and fact: the count read behind the fmt chunk",
       WithRiffSize(broadcast), {true, true, 8000, 60 + 720, 4780, 1.0}},
      {"an odd-sized chunk first: its pad byte counts", FmtAfter([](TBytes& b) { Chunk(b, "LIST", 13); }, 16000, mono8k),
       {true, true, 0, 66, 16066, 1.0}},
      {"an odd-sized chunk without its pad byte: no fmt chunk", unpadded, {true, false, 0, 0, 0, 0.0}},
      {"JUNK (28 bytes) first, as written with -rf64 auto", FmtAfter(Junks(1, 28), 16000, mono8k),
       {true, true, 0, 80, 16080, 1.0}},
      {"fmt as the 64th chunk", FmtAfter(Junks(63), 16000, mono8k), {true, true, 0, 548, 16548, 1.0}},
      {"fmt as the 65th chunk: not looked at", FmtAfter(Junks(64), 16000, mono8k), {true, false, 0, 0, 0, 0.0}},
      {"fmt at 65,528: found, the header size kept to 16 bits", FmtAfter(Junks(1, 65508), 16000, mono8k),
       {true, true, 0, 24, 81560, (81560.0 - 24) / 16000}},
      {"fmt at 65,536: past the chunks looked at", FmtAfter(Junks(1, 65516), 16000, mono8k),
       {true, false, 0, 0, 0, 0.0}},
      {"a chunk size near 2^32 ends the walk",
       FmtAfter([](TBytes& b) { b.Str("JUNK").LE32(0xFFFFFFF0u); }, 16000, mono8k),
       {true, false, 0, 0, 0, 0.0}},
      // Without a fmt chunk the chunk after "the fmt chunk" is read from the
      // size at offset 16 all the same (here the bext chunk's): past the end.
      {"the file ends inside the first chunk, before any fmt chunk", firstChunkCut, {false, false, 0, 0, 0, 0.0}},
      {"the file ends inside the fmt chunk found", fmtCutShort, {false, false, 0, 0, 0, 0.0}},
      {"the file ends before the chunk behind the fmt chunk", fmtThenNothing, {false, false, 0, 0, 0, 0.0}},
      {"RIFX with fmt behind JUNK: no walk, not valid", riffx, {true, false, 0, 0, 0, 0.0}},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    const TWAVfile wav = ExpectRead(dir, c.what, c.bytes, c.expected);
    if (c.expected.valid) {
      EXPECT_EQ(wav.SampleRate, mono8k.sampleRate) << c.what;
      EXPECT_EQ(wav.BytesPerSecond, mono8k.bytesPerSecond) << c.what;
      EXPECT_EQ(wav.Channels, 1) << c.what;
    }
  }
}

// Writers that cannot seek back leave placeholder sizes, and a copy cut
// short keeps the sizes of the whole: when the RIFF size is 0 or 0xFFFFFFFF,
// or counts more bytes than the file has, the audio ends with the file. The
// members stay as the header states them.
TEST(WAVfile, HeaderThatStatesMoreThanTheFileHolds) {
  const TFmt mono8k{1, 1, 8000, 16000, 2, 16};
  const TFmt noRate{1, 1, 0, 16000, 2, 16};
  const TFmt noBytesPerSecond{1, 1, 8000, 0, 2, 16};
  const std::uint32_t unknown = 0xFFFFFFFFu;
  const TCraftedCase cases[] = {
      {"RIFF size 0: 16000 bytes on disk, 1 s",
       Head(0, 16, mono8k).Str("data").LE32(0).Zeros(16000), {true, true, 0, 8, 8, 1.0}},
      {"RIFF and data sizes 0xFFFFFFFF (written to a pipe): 1.5 s on disk",
       Head(unknown, 16, mono8k).Str("data").LE32(unknown).Zeros(24000), {true, true, 0, 7, 7, 1.5}},
      {"RIFF size 0xFFFFFFBF on a 0.15 s file",
       Head(0xFFFFFFBFu, 16, mono8k).Str("data").LE32(0xFFFFFF9Bu).Zeros(2400),
       {true, true, 0, 44, 0xFFFFFFC7u, 0.15}},
      {"the first half of a 2 s file: 1 s",
       Plain(36 + 32000, mono8k).Zeros(16000), {true, true, 0, 44, 32044, 1.0}},
      {"one byte short of the RIFF size: measured by the file",
       Plain(36 + 16001, mono8k).Zeros(16000), {true, true, 0, 44, 16045, 1.0}},
      {"exactly as long as the RIFF size says: by the header",
       Plain(36 + 16000, mono8k).Zeros(16000), {true, true, 0, 44, 16044, 1.0}},
      {"longer than the RIFF size says: by the header, not the file",
       Plain(36 + 8000, mono8k).Zeros(16000), {true, true, 0, 44, 8044, 0.5}},
      {"a placeholder fact count (sox to a pipe): the bytes on disk are shorter",
       AfterFmt16(0x7FFFF048u, "fact", 4, 0x1FFFFC00u, mono8k).Str("data").LE32(0x7FFFF000u).Zeros(16000),
       {true, true, 0x1FFFFC00, 56, 0x7FFFF050u, 1.0}},
      {"a fact count shorter than the bytes on disk: the count",
       AfterFmt16(unknown, "fact", 4, 4000, mono8k).Str("data").LE32(unknown).Zeros(16000),
       {true, true, 4000, 7, 7, 0.5}},
      {"a negative fact count: nothing, as by the header",
       AfterFmt16(0, "fact", 4, 0x80000000u, mono8k).Str("data").LE32(0).Zeros(16000),
       {true, true, INT32_MIN, 8, 8, 0.0}},
      {"a fact count with sample rate 0: nothing, as by the header",
       AfterFmt16(0, "fact", 4, 4000, noRate).Str("data").LE32(0).Zeros(16000), {true, true, 4000, 8, 8, 0.0}},
      {"0 bytes per second: the fact count, as by the header",
       AfterFmt16(0, "fact", 4, 4000, noBytesPerSecond).Str("data").LE32(0), {true, true, 4000, 8, 8, 0.5}},
      {"0 bytes per second and no count: nothing",
       Head(0, 16, noBytesPerSecond).Str("data").LE32(0).Zeros(16000), {true, true, 0, 8, 8, 0.0}},
      {"a file no longer than its header: nothing",
       Head(unknown, 40, mono8k).Zeros(24).Str("data").LE32(unknown).Zeros(4), {true, true, 0, 7, 7, 0.0}},
      {"chunks in front of the fmt chunk count as header",
       [&] {
         TBytes b = Riff(unknown);
         Chunk(b, "bext", 602);
         Fmt(b, 16, mono8k).Str("data").LE32(unknown).Zeros(16000);
         return b.Data();
       }(),
       {true, true, 0, 7, 7, 1.0}},
  };
  TTempDir dir;
  for (const auto& c : cases) ExpectRead(dir, c.what, c.bytes, c.expected);
}

TEST(WAVfile, ShortFiles) {
  // 40 bytes are always read; offset 40 is read only when "data" is not at 36.
  TTempDir dir;
  const std::string path = dir.File("short.wav");
  const std::vector<std::uint8_t> plain = Plain(36 + 1000);
  for (std::size_t size : {0, 4, 30, 39}) {
    dztest::WriteFile(path, std::vector<std::uint8_t>(plain.begin(), plain.begin() + size));
    TWAVfile wav;
    EXPECT_FALSE(wav.LoadFromFile(path)) << size;
    ExpectReset(wav, std::to_string(size) + " bytes");
  }
  // The header says 1 s, but the file ends before the audio would start.
  for (std::size_t size : {40, 41, 42, 43}) {
    dztest::WriteFile(path, std::vector<std::uint8_t>(plain.begin(), plain.begin() + size));
    TWAVfile wav;
    EXPECT_TRUE(wav.LoadFromFile(path)) << size;
    EXPECT_TRUE(wav.Valid) << size;
    EXPECT_EQ(wav.HeaderSize, 44) << size;
    EXPECT_EQ(wav.FileSize, 1044u) << size;
    EXPECT_DOUBLE_EQ(wav.Duration(), 0.0) << size;
  }
}

TEST(WAVfile, CopiesTheFmtFields) {
  struct TCase {
    const char* what;
    TFmt fmt;
    std::uint8_t channels;
    std::uint8_t bitsPerSample;
  } cases[] = {
      {"mono", {0x1234, 1, 44100, 88200, 0xABCD, 16}, 1, 16},
      {"stereo, bits field 0x0118 keeps its low byte", {0xFFFE, 2, 96000, 576000, 6, 0x0118}, 2, 0x18},
  };
  TTempDir dir;
  const std::string path = dir.File("f.wav");
  for (const auto& c : cases) {
    dztest::WriteFile(path, Whole(Plain(36 + c.fmt.bytesPerSecond, c.fmt)));
    TWAVfile wav;
    ASSERT_TRUE(wav.LoadFromFile(path)) << c.what;
    EXPECT_TRUE(wav.Valid) << c.what;
    EXPECT_EQ(wav.FormatTag, c.fmt.formatTag) << c.what;
    EXPECT_EQ(wav.Channels, c.channels) << c.what;
    EXPECT_EQ(wav.SampleRate, c.fmt.sampleRate) << c.what;
    EXPECT_EQ(wav.BytesPerSecond, c.fmt.bytesPerSecond) << c.what;
    EXPECT_EQ(wav.BlockAlign, c.fmt.blockAlign) << c.what;
    EXPECT_EQ(wav.BitsPerSample, c.bitsPerSample) << c.what;
    EXPECT_EQ(wav.ChannelMode(), WAVChannelModeNames[c.channels]) << c.what;
    EXPECT_DOUBLE_EQ(wav.Duration(), 1.0) << c.what;
  }
}

TEST(WAVfile, NothingOfAnEarlierFileSurvives) {
  TTempDir dir;
  dztest::WriteFile(dir.File("a.wav"), AfterFmt16(1000, "fact", 4, 8000, {1, 2, 8000, 32000, 4, 16}).Data());
  dztest::WriteFile(dir.File("b.wav"), Plain(1036, TFmt{1, 3, 8000, 1000, 4, 16}).Data());
  TWAVfile wav;
  ASSERT_TRUE(wav.LoadFromFile(dir.File("a.wav")));
  EXPECT_EQ(wav.SampleCount, 8000);
  ASSERT_TRUE(wav.LoadFromFile(dir.File("b.wav")));
  ExpectReset(wav, "after an invalid header");
  ASSERT_TRUE(wav.LoadFromFile(dir.File("a.wav")));
  EXPECT_FALSE(wav.LoadFromFile(dir.File("missing.wav")));
  ExpectReset(wav, "after a missing file");
  ASSERT_TRUE(wav.LoadFromFile(dir.File("a.wav")));
  EXPECT_FALSE(wav.LoadFromFile(dir.Path().string()));
  ExpectReset(wav, "after a folder");
}

// Real files written by sox and ffmpeg (the sample set Wav).
class WAVfileRealFiles : public testing::Test {
protected:
  static void SetUpTestSuite() { dir_ = dztest::SampleFolder(dztest::TSampleSet::Wav); }

  static std::string File(const std::string& name) { return (dir_ / name).string(); }

  static std::filesystem::path dir_;
};

std::filesystem::path WAVfileRealFiles::dir_;

// Offset of the data chunk's contents, found by walking the chunk list.
std::size_t DataStart(const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    std::uint32_t size;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (std::memcmp(bytes.data() + at, "data", 4) == 0) return at + 8;
    at += 8 + size + (size & 1);
  }
  return 0;
}

TEST_F(WAVfileRealFiles, DurationsOfRealFiles) {
  // seconds: the length asked of the tool. Files with a fact chunk give it
  // exactly. Without one, the bytes from HeaderSize to the RIFF end count as
  // audio: a pad byte after odd-sized data, and every byte that lies in front
  // of the data beyond HeaderSize (a LIST or bext chunk is longer than the 12
  // bytes allowed for a fact chunk; an extensible header with the data right
  // after it is 12 bytes shorter) shift the result by (DataStart - HeaderSize +
  // pad) / BytesPerSecond, the shift given here.
  struct TCase {
    const char* file;
    bool valid;
    std::uint16_t formatTag;
    std::uint8_t channels;
    std::int32_t sampleCount;
    std::uint16_t headerSize;
    double seconds;
    bool byteBased;
    std::int64_t padBytes;
  } cases[] = {
      {"sox16stereo.wav", true, 1, 2, 0, 44, 2.5, true, 0},
      {"sox16mono.wav", true, 1, 1, 0, 44, 3.0, true, 0},
      {"sox8mono.wav", true, 1, 1, 0, 44, 1.5, true, 1},  // 33075 data bytes and a pad byte
      {"sox24stereo.wav", true, 0xFFFE, 2, 96000, 80, 2.0, false, 0},
      {"soxfloat.wav", true, 3, 1, 88200, 58, 2.0, false, 0},
      {"soxdefault.wav", true, 0xFFFE, 1, 24000, 80, 3.0, false, 0},
      {"sox6ch.wav", false, 0, 0, 0, 0, 0.0, false, 0},
      {"ffsine6.wav", true, 1, 1, 0, 56, 6.0, true, 0},      // LIST chunk before the data
      {"ff24stereo.wav", true, 0xFFFE, 2, 0, 80, 2.0, true, 0},  // LIST chunk before the data
      {"ff24bitexact.wav", true, 0xFFFE, 2, 0, 80, 2.0, true, 0},  // data right after a 40-byte fmt
      {"ff6ch.wav", false, 0, 0, 0, 0, 0.0, false, 0},
      {"ffbext.wav", true, 1, 1, 0, 56, 2.0, true, 0},       // bext and LIST chunks before the data
      {"ffjunk.wav", true, 1, 1, 0, 92, 2.0, true, 0},       // a JUNK chunk before the fmt chunk
      {"fffloat.wav", true, 0xFFFE, 1, 88200, 80, 2.0, false, 0},  // fact, then LIST
  };
  for (const auto& c : cases) {
    const std::string path = File(c.file);
    const std::vector<std::uint8_t> bytes = dztest::ReadFileBytes(path);
    TWAVfile wav;
    ASSERT_TRUE(wav.LoadFromFile(path)) << c.file;
    EXPECT_EQ(wav.Valid, c.valid) << c.file;
    EXPECT_EQ(wav.FormatTag, c.formatTag) << c.file;
    EXPECT_EQ(wav.Channels, c.channels) << c.file;
    EXPECT_EQ(wav.SampleCount, c.sampleCount) << c.file;
    EXPECT_EQ(wav.HeaderSize, c.headerSize) << c.file;
    if (!c.valid) {
      EXPECT_EQ(wav.Duration(), 0.0) << c.file;
      continue;
    }
    EXPECT_EQ(wav.FileSize, bytes.size()) << c.file;
    double expected = c.seconds;
    if (c.byteBased) {
      const std::size_t dataStart = DataStart(bytes);
      ASSERT_GT(dataStart, 0u) << c.file;
      // The tools wrote exactly the length asked for.
      const auto dataBytes = static_cast<std::int64_t>(bytes.size() - dataStart) - c.padBytes;
      ASSERT_EQ(static_cast<double>(dataBytes), c.seconds * wav.BytesPerSecond) << c.file;
      const std::int64_t shift = static_cast<std::int64_t>(dataStart) - c.headerSize + c.padBytes;
      expected += static_cast<double>(shift) / wav.BytesPerSecond;
    }
    EXPECT_DOUBLE_EQ(wav.Duration(), expected) << c.file;
    EXPECT_NEAR(wav.Duration(), c.seconds, 0.01) << c.file;
    EXPECT_EQ(wav.ChannelMode(), WAVChannelModeNames[c.channels]) << c.file;
  }
}

// Files written to a pipe (placeholder sizes) and interrupted copies (the
// sizes of the whole): the header's members as stated, the length from the
// bytes there are, within a second of what ffmpeg decodes.
TEST_F(WAVfileRealFiles, PipedAndCutFilesAreMeasuredByWhatTheyHold) {
  struct TCase {
    const char* file;
    std::uint16_t formatTag;
    std::int32_t sampleCount;   // -1: sox's placeholder, more than 2^28
    std::uint16_t headerSize;
    const char* statedBy;       // the file whose length the RIFF size gives, or nullptr: a placeholder
    std::uint32_t placeholder;  // FileSize when statedBy is nullptr
    std::int32_t seconds;
  } cases[] = {
      {"ffpipe.wav", 1, 0, 7, nullptr, 7, 3},                  // RIFF size 0xFFFFFFFF: the header size cut to 7
      {"soxpipe.wav", 0xFFFE, -1, 80, nullptr, 0x7FFFF050u, 3},
      {"sox30-half.wav", 1, 0, 44, "sox30.wav", 0, 15},
      {"sox30float-half.wav", 3, 240000, 58, "sox30float.wav", 0, 15},
      {"sox30.wav", 1, 0, 44, "sox30.wav", 0, 30},
      {"sox30float.wav", 3, 240000, 58, "sox30float.wav", 0, 30},
  };
  TTempDir scratch;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = File(c.file);
    TWAVfile wav;
    ASSERT_TRUE(wav.LoadFromFile(path));
    EXPECT_TRUE(wav.Valid);
    EXPECT_EQ(wav.FormatTag, c.formatTag);
    EXPECT_EQ(wav.Channels, 1);
    if (c.sampleCount >= 0) {
      EXPECT_EQ(wav.SampleCount, c.sampleCount);
    } else {
      EXPECT_GT(wav.SampleCount, 1 << 28);
    }
    EXPECT_EQ(wav.HeaderSize, c.headerSize);
    const std::uint32_t stated =
        c.statedBy != nullptr ? static_cast<std::uint32_t>(std::filesystem::file_size(File(c.statedBy))) : c.placeholder;
    EXPECT_EQ(wav.FileSize, stated);
    TMotivoDuracao reason = TMotivoDuracao::ArquivoInexistente;
    EXPECT_EQ(DuracaoEmSegundos(path, &reason), c.seconds);
    EXPECT_EQ(reason, TMotivoDuracao::Medida);
    const std::int64_t samples = dztest::DecodedSamples(path, scratch, {.taxa = 8000});
    ASSERT_GT(samples, 0) << "ffmpeg failed";
    const double decoded = static_cast<double>(samples) / 8000;
    EXPECT_NEAR(wav.Duration(), decoded, 1.0);
  }
}

TEST_F(WAVfileRealFiles, FirstWordAfterTheFmtChunkIsNoCount) {
  // Without the id check, these files would report a count taken from text
  // or audio: "INFO", "hi\0\0" and the first 24-bit sample of 0.25.
  struct TCase {
    const char* file;
    std::size_t wordOffset;
    std::uint32_t word;
  } cases[] = {
      {"ffsine6.wav", 44, 0x4F464E49},
      {"ffbext.wav", 44, 0x00006968},
      {"ff24bitexact.wav", 68, 0x00200000},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> bytes = dztest::ReadFileBytes(File(c.file));
    ASSERT_GE(bytes.size(), c.wordOffset + 4) << c.file;
    std::uint32_t word;
    std::memcpy(&word, bytes.data() + c.wordOffset, 4);
    ASSERT_EQ(word, c.word) << c.file;
    TWAVfile wav;
    ASSERT_TRUE(wav.LoadFromFile(File(c.file))) << c.file;
    EXPECT_EQ(wav.SampleCount, 0) << c.file;
    EXPECT_GT(wav.Duration(), 1.99) << c.file;
  }
}

}  // namespace
