#include "audio/MPEGaudio.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace {

using namespace MPEGFrame;
using dztest::TBytes;
using dztest::TTempDir;

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo, original: 417-byte frames.
constexpr THeaderBytes Joint128{0xFF, 0xFB, 0x90, 0x64};
// The same with the padding bit: 418-byte frames.
constexpr THeaderBytes Joint128Padded{0xFF, 0xFB, 0x92, 0x64};
// The same in mono: 417-byte frames, VBR header looked for at 21.
constexpr THeaderBytes Mono128{0xFF, 0xFB, 0x90, 0xC4};
// MPEG 2 Layer III, 64 kbit/s, 22050 Hz, stereo, original: 208-byte frames.
constexpr THeaderBytes Mpeg2Stereo64{0xFF, 0xF3, 0x80, 0x04};
// MPEG 2.5 Layer II, 160 kbit/s, 8000 Hz: 2880-byte frames, longer than the search allows for.
constexpr THeaderBytes Mpeg25LayerII160{0xFF, 0xE5, 0xE8, 0x00};

std::vector<std::uint8_t> Bytes(const THeaderBytes& header) { return {header.begin(), header.end()}; }

// count frames of length bytes each: the header, then zeros.
std::vector<std::uint8_t> FrameRun(const THeaderBytes& header, std::size_t length, int count) {
  TBytes b;
  for (int i = 0; i < count; ++i) b.Append(Bytes(header)).PadTo((i + 1) * length);
  return b;
}

// A frame carrying a Xing header 36 bytes after its start (MPEG 1, not mono).
std::vector<std::uint8_t> XingFrame(const THeaderBytes& header, std::size_t length, std::uint32_t frames,
                                    std::uint32_t bytes, std::string_view vendor = "LAME3.90") {
  return TBytes()
      .Append(Bytes(header))
      .Zeros(32)
      .Str("Xing")
      .BE32(0x0F)
      .BE32(frames)
      .BE32(bytes)
      .Zeros(103)  // table of contents and the first quality bytes
      .U8(0x3C)    // last quality byte
      .Str(vendor)
      .PadTo(length);
}

// A frame carrying a VBRI header 36 bytes after its start.
std::vector<std::uint8_t> VBRIFrame(const THeaderBytes& header, std::size_t length, std::uint32_t bytes,
                                    std::uint32_t frames) {
  return TBytes()
      .Append(Bytes(header))
      .Zeros(32)
      .Str("VBRI")
      .BE16(1)    // version
      .BE16(0)    // delay
      .BE16(75)   // quality
      .BE32(bytes)
      .BE32(frames)
      .PadTo(length);
}

// An ID3v2.3 tag of the given total size, header included, with nothing but padding.
std::vector<std::uint8_t> Id3v2Tag(std::uint32_t totalSize) {
  return TBytes().Str("ID3").U8s({3, 0, 0}).Syncsafe32(totalSize - 10).PadTo(totalSize);
}

std::vector<std::uint8_t> Id3v1Tag() { return TBytes().Str("TAG").Str("Title").PadTo(128); }

// Bytes that never hold 0xFF, so never a frame sync.
std::vector<std::uint8_t> Noise(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 37 + 11) % 251);
  return bytes;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  TBytes b;
  for (const auto& part : parts) b.Append(part);
  return b;
}

// The bytes with text written over them at a position.
std::vector<std::uint8_t> Put(std::vector<std::uint8_t> bytes, std::size_t at, std::string_view text) {
  std::memcpy(bytes.data() + at, text.data(), text.size());
  return bytes;
}

// A search block of the reader's size: the bytes, then zeros.
std::vector<std::uint8_t> Block(std::vector<std::uint8_t> bytes) {
  bytes.resize(ScanBlockSize, 0);
  return bytes;
}

FrameData Decoded(const THeaderBytes& header) {
  FrameData frame{};
  DecodeHeader(header, frame);
  return frame;
}

std::string Text4(const char (&id)[4]) { return std::string(id, 4); }

// ---------------------------------------------------------------- frame header

TEST(MPEGFrameHeader, DecodesFieldsTablesAndNames) {
  struct TCase {
    const char* what;
    THeaderBytes header;
    std::uint8_t version, layer;
    bool protection;
    std::uint16_t bitRateID, sampleRateID;
    bool padding, privateBit;
    std::uint8_t mode, modeExtension;
    bool copyright, original;
    std::uint8_t emphasis;
    std::uint16_t kbps, hz;
    std::uint8_t coefficient;
    std::uint16_t length;
    std::uint8_t vbrOffset;
    const char *versionName, *layerName, *modeName, *emphasisName;
  };
  const TCase cases[] = {
      {"FF FB 90 64: MPEG 1 Layer III 128k 44100 joint stereo", Joint128, 3, 1, false, 9, 0, false, false, 1, 2,
       false, true, 0, 128, 44100, 144, 417, 36, "MPEG 1", "Layer III", "Joint Stereo", "None"},
      {"FF FA 90 64: the same with a CRC", {0xFF, 0xFA, 0x90, 0x64}, 3, 1, true, 9, 0, false, false, 1, 2, false,
       true, 0, 128, 44100, 144, 417, 36, "MPEG 1", "Layer III", "Joint Stereo", "None"},
      {"FF E3 18 C4: MPEG 2.5 Layer III 8k 8000 mono", {0xFF, 0xE3, 0x18, 0xC4}, 0, 1, false, 1, 2, false, false, 3,
       0, false, true, 0, 8, 8000, 72, 72, 13, "MPEG 2.5", "Layer III", "Mono", "None"},
      {"MPEG 2 Layer I 256k 16000", {0xFF, 0xF7, 0xE8, 0x00}, 2, 3, false, 14, 2, false, false, 0, 0, false, false, 0,
       256, 16000, 48, 768, 21, "MPEG 2", "Layer I", "Stereo", "None"},
      {"MPEG 2.5 Layer II 160k 8000: longer than half a block", Mpeg25LayerII160, 0, 2, false, 14, 2, false, false, 0,
       0, false, false, 0, 160, 8000, 144, 2880, 21, "MPEG 2.5", "Layer II", "Stereo", "None"},
      {"the same padded: one byte more", {0xFF, 0xE5, 0xEA, 0x00}, 0, 2, false, 14, 2, true, false, 0, 0, false,
       false, 0, 160, 8000, 144, 2881, 21, "MPEG 2.5", "Layer II", "Stereo", "None"},
      {"MPEG 1 Layer I 448k 32000 padded: 672 + 4", {0xFF, 0xFF, 0xEA, 0x00}, 3, 3, false, 14, 2, true, false, 0, 0,
       false, false, 0, 448, 32000, 48, 676, 36, "MPEG 1", "Layer I", "Stereo", "None"},
      {"MPEG 1 Layer II 384k 48000 padded", {0xFF, 0xFD, 0xE6, 0x00}, 3, 2, false, 14, 1, true, false, 0, 0, false,
       false, 0, 384, 48000, 144, 1153, 36, "MPEG 1", "Layer II", "Stereo", "None"},
      {"MPEG 2 Layer III 64k 22050: 208.98 truncated", Mpeg2Stereo64, 2, 1, false, 8, 0, false, false, 0, 0, false,
       true, 0, 64, 22050, 72, 208, 21, "MPEG 2", "Layer III", "Stereo", "None"},
      {"MPEG 2 Layer III 160k 24000 mono", {0xFF, 0xF3, 0xE4, 0xC0}, 2, 1, false, 14, 1, false, false, 3, 0, false,
       false, 0, 160, 24000, 72, 480, 13, "MPEG 2", "Layer III", "Mono", "None"},
      {"MPEG 1 mono: VBR header at 21", Mono128, 3, 1, false, 9, 0, false, false, 3, 0, false, true, 0, 128, 44100,
       144, 417, 21, "MPEG 1", "Layer III", "Mono", "None"},
      {"private, copyright, dual channel, CCITT J.17", {0xFF, 0xFB, 0x91, 0xBF}, 3, 1, false, 9, 0, false, true, 2,
       3, true, true, 3, 128, 44100, 144, 417, 36, "MPEG 1", "Layer III", "Dual Channel", "CCIT J.17"},
      {"emphasis 50/15", {0xFF, 0xFB, 0x10, 0x01}, 3, 1, false, 1, 0, false, false, 0, 0, false, false, 1, 32, 44100,
       144, 104, 36, "MPEG 1", "Layer III", "Stereo", "50/15 ms"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(IsFrameHeader(c.header));
    FrameData frame{};
    frame.Found = true;
    frame.Position = 77;
    frame.Size = 5;
    frame.ZeroSideInfo = true;
    DecodeHeader(c.header, frame);
    // The search's own fields are left alone.
    EXPECT_TRUE(frame.Found);
    EXPECT_EQ(frame.Position, 77);
    EXPECT_EQ(frame.Size, 5);
    EXPECT_TRUE(frame.ZeroSideInfo);
    EXPECT_EQ(frame.Data, c.header);
    EXPECT_EQ(frame.VersionID, c.version);
    EXPECT_EQ(frame.LayerID, c.layer);
    EXPECT_EQ(frame.ProtectionBit, c.protection);
    EXPECT_EQ(frame.BitRateID, c.bitRateID);
    EXPECT_EQ(frame.SampleRateID, c.sampleRateID);
    EXPECT_EQ(frame.PaddingBit, c.padding);
    EXPECT_EQ(frame.PrivateBit, c.privateBit);
    EXPECT_EQ(frame.ModeID, c.mode);
    EXPECT_EQ(frame.ModeExtensionID, c.modeExtension);
    EXPECT_EQ(frame.CopyrightBit, c.copyright);
    EXPECT_EQ(frame.OriginalBit, c.original);
    EXPECT_EQ(frame.EmphasisID, c.emphasis);
    EXPECT_EQ(TableBitRate(frame), c.kbps);
    EXPECT_EQ(TableSampleRate(frame), c.hz);
    EXPECT_EQ(FrameCoefficient(frame), c.coefficient);
    EXPECT_EQ(FrameLength(frame), c.length);
    EXPECT_EQ(VBRHeaderOffset(frame), c.vbrOffset);

    TMPEGaudio mpeg;
    mpeg.Frame = frame;
    EXPECT_EQ(mpeg.Version(), c.versionName);
    EXPECT_EQ(mpeg.Layer(), c.layerName);
    EXPECT_EQ(mpeg.ChannelMode(), c.modeName);
    EXPECT_EQ(mpeg.Emphasis(), c.emphasisName);
    EXPECT_EQ(mpeg.SampleRate(), c.hz);
  }
}

TEST(MPEGFrameHeader, PaddingSlotIsFourBytesInLayerIOnly) {
  const struct {
    const char* what;
    THeaderBytes header;
    std::uint8_t padding;
  } cases[] = {
      {"Layer I padded", {0xFF, 0xFF, 0xEA, 0x00}, 4},
      {"Layer II padded", {0xFF, 0xFD, 0xE6, 0x00}, 1},
      {"Layer III padded", Joint128Padded, 1},
      {"Layer I not padded", {0xFF, 0xFF, 0xE8, 0x00}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(PaddingSize(Decoded(c.header)), c.padding) << c.what;
}

TEST(MPEGFrameHeader, RejectsReservedAndFreeFormatCodes) {
  const struct {
    const char* what;
    THeaderBytes header;
  } cases[] = {
      {"first byte not 0xFF", {0xFE, 0xFB, 0x90, 0x64}},
      {"sync bits of byte 1 incomplete", {0xFF, 0xDB, 0x90, 0x64}},
      {"reserved version 1", {0xFF, 0xEB, 0x90, 0x64}},
      {"reserved layer 0", {0xFF, 0xF9, 0x90, 0x64}},
      {"bit-rate index 0, free format", {0xFF, 0xFB, 0x00, 0x64}},
      {"bit-rate index 15", {0xFF, 0xFB, 0xF0, 0x64}},
      {"reserved sample rate 3", {0xFF, 0xFB, 0x9C, 0x64}},
      {"reserved emphasis 2", {0xFF, 0xFB, 0x90, 0x66}},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(IsFrameHeader(c.header)) << c.what;
    const auto block = Bytes(c.header);
    EXPECT_FALSE(IsFrameAt(block, 0)) << c.what;
  }
}

TEST(MPEGFrameHeader, BitRateTableRows) {
  const struct {
    std::uint8_t version, layer, index;
    std::uint16_t kbps;
  } cases[] = {
      {3, 3, 1, 32},  {3, 3, 14, 448}, {3, 2, 1, 32},  {3, 2, 2, 48},   {3, 2, 14, 384}, {3, 1, 1, 32},
      {3, 1, 2, 40},  {3, 1, 14, 320}, {2, 3, 1, 32},  {2, 3, 9, 144},  {2, 3, 14, 256}, {2, 2, 1, 8},
      {2, 2, 14, 160}, {2, 1, 1, 8},   {2, 1, 9, 80},  {0, 3, 14, 256}, {0, 2, 14, 160}, {0, 1, 13, 144},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BitRates[c.version][c.layer][c.index], c.kbps)
        << int(c.version) << "/" << int(c.layer) << "/" << int(c.index);
  for (std::size_t version = 0; version < 4; ++version)
    for (std::size_t layer = 0; layer < 4; ++layer) {
      EXPECT_EQ(BitRates[version][layer][0], 0) << version << "/" << layer;
      EXPECT_EQ(BitRates[version][layer][15], 0) << version << "/" << layer;
      if (version == 1 || layer == 0) {
        for (std::size_t index = 0; index < 16; ++index)
          EXPECT_EQ(BitRates[version][layer][index], 0) << version << "/" << layer << "/" << index;
      }
    }
  // MPEG 2 and MPEG 2.5 share the lower-sample-rate rows.
  EXPECT_EQ(BitRates[0], BitRates[2]);
  for (std::size_t version = 0; version < 4; ++version) EXPECT_EQ(SampleRates[version][3], 0) << version;
  EXPECT_EQ(SampleRates[1], (std::array<std::uint16_t, 4>{0, 0, 0, 0}));
}

TEST(MPEGFrameHeader, BlockFunctionsStayInsideTheBlock) {
  const auto block = Concat({TBytes().Zeros(10), Bytes(Joint128)});  // header in the last four bytes
  EXPECT_TRUE(IsFrameAt(block, 10));
  EXPECT_FALSE(IsFrameAt(std::span(block).first(13), 10)) << "three bytes of a header";
  EXPECT_FALSE(IsFrameAt(block, 11));
  EXPECT_FALSE(IsFrameAt(block, 14));
  EXPECT_FALSE(IsFrameAt(block, std::numeric_limits<std::size_t>::max()));
  EXPECT_FALSE(IsFrameAt({}, 0));

  EXPECT_TRUE(HasZeroSideInfo(block, 4));   // bytes 4..9
  EXPECT_FALSE(HasZeroSideInfo(block, 5));  // byte 10 is 0xFF
  const std::vector<std::uint8_t> zeros(6, 0);
  EXPECT_TRUE(HasZeroSideInfo(zeros, 0));
  EXPECT_FALSE(HasZeroSideInfo(zeros, 1)) << "only five bytes left";
  EXPECT_FALSE(HasZeroSideInfo(zeros, std::numeric_limits<std::size_t>::max()));
}

TEST(MPEGFrameHeader, ClearedReaderShowsUnknownCodes) {
  TMPEGaudio mpeg;
  EXPECT_EQ(mpeg.Version(), "MPEG ?");
  EXPECT_EQ(mpeg.Layer(), "Layer ?");
  EXPECT_EQ(mpeg.ChannelMode(), "Unknown");
  EXPECT_EQ(mpeg.Emphasis(), "Unknown");
  EXPECT_EQ(TableBitRate(mpeg.Frame), 0);
  EXPECT_EQ(TableSampleRate(mpeg.Frame), 0);
  EXPECT_EQ(FrameLength(mpeg.Frame), 0);
  EXPECT_EQ(mpeg.Frame.VersionID, 1);
  EXPECT_EQ(mpeg.Frame.SampleRateID, 3);
  EXPECT_EQ(mpeg.Frame.ModeID, 4);
  EXPECT_EQ(mpeg.Frame.ModeExtensionID, 4);
  EXPECT_EQ(mpeg.Frame.EmphasisID, 2);
  EXPECT_FALSE(mpeg.Frame.Found);
  EXPECT_EQ(mpeg.BitRate(), 0);
  EXPECT_EQ(mpeg.SampleRate(), 0);
  EXPECT_EQ(mpeg.Frames(), 0);
  EXPECT_EQ(mpeg.Duration(), 0.0);
  EXPECT_EQ(mpeg.EncoderID(), 0);
  EXPECT_EQ(mpeg.Encoder(), "Unknown");
  EXPECT_FALSE(mpeg.Valid());
  EXPECT_EQ(mpeg.FileLength, 0);
  EXPECT_TRUE(mpeg.VendorID.empty());
  EXPECT_FALSE(mpeg.VBR.Found);
  EXPECT_EQ(Text4(mpeg.VBR.ID), std::string(4, '\0'));
  ASSERT_NE(mpeg.ID3v1Tag, nullptr);
  ASSERT_NE(mpeg.ID3v2Tag, nullptr);
  EXPECT_EQ(mpeg.ID3v1Tag->GenreIndex, 255);
}

TEST(MPEGFrameHeader, CodesOutsideTheTablesGiveNoNameAndNoRate) {
  // The record is public: a caller may put any code into it.
  TMPEGaudio mpeg;
  mpeg.Frame.Found = true;
  mpeg.Frame.VersionID = 9;
  mpeg.Frame.LayerID = 9;
  mpeg.Frame.ModeID = 9;
  mpeg.Frame.EmphasisID = 9;
  mpeg.Frame.BitRateID = 99;
  mpeg.Frame.SampleRateID = 99;
  EXPECT_EQ(mpeg.Version(), "");
  EXPECT_EQ(mpeg.Layer(), "");
  EXPECT_EQ(mpeg.ChannelMode(), "");
  EXPECT_EQ(mpeg.Emphasis(), "");
  EXPECT_EQ(mpeg.BitRate(), 0);
  EXPECT_EQ(mpeg.SampleRate(), 0);
  EXPECT_EQ(mpeg.Frames(), 0);
  EXPECT_EQ(mpeg.Duration(), 0.0);
  EXPECT_FALSE(mpeg.Valid());
}

// ---------------------------------------------------------------- searches over a block

TEST(MPEGFrameSearch, FindsTheFirstFrameFollowedByAHeader) {
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> block;
    bool found;
    std::int32_t position;
    std::uint16_t size;
    bool zeroSideInfo;
  };
  const TCase cases[] = {
      {"frames from position 0", Block(FrameRun(Joint128, 417, 3)), true, 0, 417, true},
      {"a header not followed by one 417 bytes later is skipped",
       Block(Concat({Bytes(Joint128), Noise(196), FrameRun(Joint128, 417, 3)})), true, 200, 417, true},
      {"non-zero side information", Block(Concat({Bytes(Joint128), TBytes().U8(1).PadTo(413), Bytes(Joint128)})),
       true, 0, 417, false},
      {"the second header need not match the first",
       Block(Concat({FrameRun(Joint128, 417, 1), Bytes({0xFF, 0xE3, 0x18, 0xC4})})), true, 0, 417, true},
      {"position 1729 is the last one searched", Block(Concat({TBytes().Zeros(1729), FrameRun(Joint128, 417, 2)})),
       true, 1729, 417, true},
      {"position 1730 is past it", Block(Concat({TBytes().Zeros(1730), FrameRun(Joint128, 417, 2)})), false, 0, 0,
       false},
      {"a 2880-byte frame at 0: its second header lies inside the block",
       Block(FrameRun(Mpeg25LayerII160, 2880, 2)), true, 0, 2880, true},
      {"a 2880-byte frame at 600: its second header would lie past the block",
       Block(Concat({TBytes().Zeros(600), FrameRun(Mpeg25LayerII160, 2880, 1)})), false, 0, 0, false},
      {"a header alone", Block(Bytes(Joint128)), false, 0, 0, false},
      {"free format frames", Block(FrameRun({0xFF, 0xFB, 0x00, 0x64}, 417, 3)), false, 0, 0, false},
      {"a block shorter than the longest frame", FrameRun(Joint128, 417, 3), false, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    VBRData vbr{};
    vbr.Found = true;  // a search that finds no frame leaves this alone
    vbr.Frames = 5;
    const FrameData frame = FindFrame(c.block, vbr);
    EXPECT_EQ(frame.Found, c.found);
    if (c.found) {
      EXPECT_EQ(frame.Position, c.position);
      EXPECT_EQ(frame.Size, c.size);
      EXPECT_EQ(frame.ZeroSideInfo, c.zeroSideInfo);
      EXPECT_EQ(frame.Data[0], 0xFF);
      EXPECT_FALSE(vbr.Found);  // replaced by the (empty) result of the VBR search
    } else {
      EXPECT_TRUE(vbr.Found);
      EXPECT_EQ(vbr.Frames, 5);
    }
  }
}

TEST(MPEGFrameSearch, ReadsXingAndVBRIHeaders) {
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> block;
    std::size_t index;
    bool found;
    std::string id;
    std::int32_t frames, bytes;
    std::uint8_t scale;
    std::string vendor;
  };
  const TCase cases[] = {
      {"Xing", Block(XingFrame(Joint128, 417, 10000, 4180000)), 36, true, "Xing", 10000, 4180000, 0x3C, "LAME3.90"},
      {"Xing counts are signed", Block(XingFrame(Joint128, 417, 0xFFFFFFFF, 0x80000000)), 36, true, "Xing", -1,
       std::numeric_limits<std::int32_t>::min(), 0x3C, "LAME3.90"},
      {"Xing vendor bytes kept as they stand", Block(XingFrame(Joint128, 417, 1, 2, std::string_view("AB\0D\0\0\0\0", 8))),
       36, true, "Xing", 1, 2, 0x3C, std::string("AB\0D\0\0\0\0", 8)},
      {"VBRI", Block(VBRIFrame(Joint128, 417, 4170000, 10000)), 36, true, "VBRI", 10000, 4170000, 75, ""},
      {"looked for at another place", Block(XingFrame(Joint128, 417, 10000, 4180000)), 21, false,
       std::string(4, '\0'), 0, 0, 0, ""},
      {"xing in lower case", Block(Put(XingFrame(Joint128, 417, 10000, 4180000), 36, "xing")), 36, false,
       std::string(4, '\0'), 0, 0, 0, ""},
      {"Info is not a Xing header", Block(Put(XingFrame(Joint128, 417, 10000, 4180000), 36, "Info")), 36, false,
       std::string(4, '\0'), 0, 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const VBRData vbr = FindVBRHeader(c.block, c.index);
    EXPECT_EQ(vbr.Found, c.found);
    EXPECT_EQ(Text4(vbr.ID), c.id);
    EXPECT_EQ(vbr.Frames, c.frames);
    EXPECT_EQ(vbr.Bytes, c.bytes);
    EXPECT_EQ(vbr.Scale, c.scale);
    EXPECT_EQ(vbr.VendorID, c.vendor);
  }
}

TEST(MPEGFrameSearch, XingCutOffByTheBlockEndIsNotRead) {
  // "Xing" in the last 127 bytes of a block: its fields would lie past the end.
  const auto block = Concat({TBytes().Zeros(100), TBytes().Str("Xing").PadTo(127)});
  EXPECT_FALSE(FindVBRHeader(block, 100).Found);
  EXPECT_TRUE(FindVBRHeader(Concat({block, TBytes().Zeros(1)}), 100).Found);
  EXPECT_FALSE(FindVBRHeader(block, block.size()).Found);
}

TEST(MPEGFrameSearch, FindsTheVendorNearTheEndOfTheBlock) {
  const std::size_t end = ScanBlockSize - 8;  // last place a signature can start
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> block;
    std::int32_t limit;
    std::string vendor;
  };
  const TCase cases[] = {
      {"LAME3.97 at the very end", Put(Block({}), end, "LAME3.97"), 0, "LAME3.97"},
      {"at the farthest place the limit allows", Put(Block({}), end - 100, "LAME3.97"), 100, "LAME3.97"},
      {"one byte farther", Put(Block({}), end - 101, "LAME3.97"), 100, ""},
      {"lower case", Put(Block({}), end - 10, "lame3.97"), 100, ""},
      {"GOGO alone", Put(Block({}), end - 10, "GOGO-no matter"), 100, "GOGO"},
      {"the one nearest the end wins", Put(Put(Block({}), end - 50, "LAME3.96"), end - 20, "GOGO"), 100, "GOGO"},
      {"a limit beyond the block searches it whole", Put(Block({}), 0, "LAME3.92"), 100000, "LAME3.92"},
      {"a limit of exactly the whole block", Put(Block({}), 0, "LAME3.92"), std::int32_t(end), "LAME3.92"},
      {"LAME near a short block's start", TBytes().Str("LAME1.23").Zeros(4), 100, "LAME1.23"},
      {"a block shorter than a signature", TBytes().Str("LAME3.9"), 100, ""},
      {"an empty block", {}, 100, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FindVendorID(c.block, c.limit), c.vendor) << c.what;
}

// ---------------------------------------------------------------- results from the records

TEST(MPEGaudioResults, EncoderRules) {
  struct TCase {
    const char* what;
    THeaderBytes header;
    bool zeroSideInfo;
    const char* vbrId;  // nullptr: no VBR header
    std::string vbrVendor;
    std::string vendor;
    std::uint8_t id;
    std::string encoder;
  };
  const THeaderBytes jointNoOriginal{0xFF, 0xFB, 0x90, 0x60};
  const TCase cases[] = {
      // Without a VBR header: a guess from header flags, then the vendor signature.
      {"no rule applies: FhG", jointNoOriginal, false, nullptr, "", "", 2, "FhG"},
      {"original with CRC: LAME", {0xFF, 0xFA, 0x90, 0x64}, false, nullptr, "", "", 3, "LAME"},
      {"stereo at 160 kbit/s: Blade", {0xFF, 0xFB, 0xA0, 0x04}, false, nullptr, "", "", 4, "Blade"},
      {"stereo at 192 kbit/s: not Blade", {0xFF, 0xFB, 0xB0, 0x00}, false, nullptr, "", "", 2, "FhG"},
      {"copyright and original without CRC: Xing", {0xFF, 0xFB, 0x90, 0x6C}, false, nullptr, "", "", 1, "Xing"},
      {"zero side information and original: Xing", Joint128, true, nullptr, "", "", 1, "Xing"},
      {"zero side information, not original", jointNoOriginal, true, nullptr, "", "", 2, "FhG"},
      {"Layer II: QDesign", {0xFF, 0xFD, 0x90, 0x64}, false, nullptr, "", "", 7, "QDesign"},
      {"dual channel with CRC: Shine over LAME", {0xFF, 0xFA, 0x90, 0xA4}, false, nullptr, "", "", 6, "Shine"},
      {"LAME signature overrides the flags", {0xFF, 0xFD, 0x90, 0x64}, false, nullptr, "", "LAME3.97", 3,
       "LAME 3.97"},
      {"GOGO signature", Joint128, true, nullptr, "", "GOGO", 5, "GoGo"},
      {"lame in lower case is no signature", jointNoOriginal, false, nullptr, "", "lame3.97", 2, "FhG"},
      {"LAME without a version", jointNoOriginal, false, nullptr, "", "LAME", 3, "LAME"},
      {"LAME with a version of another shape", jointNoOriginal, false, nullptr, "", "LAMEx.yz", 3, "LAME"},
      {"LAME3.9x: the last character is not a digit", jointNoOriginal, false, nullptr, "", "LAME3.9x", 3, "LAME"},
      // With a VBR header: its signature and vendor text.
      {"Xing by LAME", Joint128, false, "Xing", "LAME3.90", "", 3, "LAME 3.90"},
      {"Xing by GOGO", Joint128, false, "Xing", "GOGO1.00", "", 5, "GoGo"},
      {"Xing by MPGE", Joint128, false, "Xing", "MPGE1.00", "", 5, "GoGo"},
      {"Xing by someone else", Joint128, false, "Xing", std::string(8, '\0'), "", 1, "Xing"},
      {"VBRI", Joint128, false, "VBRI", "", "", 2, "FhG"},
      {"VBRI with a LAME text: FhG still", Joint128, false, "VBRI", "LAME3.90", "", 2, "FhG"},
      {"the end signature wins over the Xing text", Joint128, false, "Xing", "LAME3.90", "LAME3.97", 3,
       "LAME 3.97"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMPEGaudio mpeg;
    mpeg.Frame = Decoded(c.header);
    mpeg.Frame.Found = true;
    mpeg.Frame.ZeroSideInfo = c.zeroSideInfo;
    if (c.vbrId != nullptr) {
      mpeg.VBR.Found = true;
      std::memcpy(mpeg.VBR.ID, c.vbrId, 4);
    }
    mpeg.VBR.VendorID = c.vbrVendor;
    mpeg.VendorID = c.vendor;
    EXPECT_EQ(mpeg.EncoderID(), c.id);
    EXPECT_EQ(mpeg.Encoder(), c.encoder);
    mpeg.Frame.Found = false;
    EXPECT_EQ(mpeg.EncoderID(), 0) << "without a frame";
    EXPECT_EQ(mpeg.Encoder(), "Unknown") << "without a frame";
  }
}

TEST(MPEGaudioResults, AverageBitRateOfAVBRHeader) {
  // MPEG 1 Layer I at 48000 Hz: kbit/s = average frame bytes exactly, so ties can be shown.
  const THeaderBytes layerI48k{0xFF, 0xFF, 0x94, 0x00};
  const THeaderBytes layerI48kPadded{0xFF, 0xFF, 0x96, 0x00};
  struct TCase {
    const char* what;
    THeaderBytes header;
    std::int32_t bytes, frames;
    std::uint16_t bitRate;
    double duration;
    bool valid;
  };
  const TCase cases[] = {
      {"4,180,000 bytes in 10,000 padded frames: 127.7 gives 128", Joint128Padded, 4180000, 10000, 128,
       261.2244897959, true},
      {"124.5 rounds to the even 124", layerI48k, 1245, 10, 124, 0.08, false},
      {"125.5 rounds to the even 126", layerI48k, 1255, 10, 126, 0.08, false},
      {"the padding slot of Layer I is 4 bytes", layerI48kPadded, 1290, 10, 125, 0.08, false},
      {"13 frames last 0.104 s", layerI48k, 13 * 125, 13, 125, 0.104, true},
      {"12 frames last 0.096 s: under 0.1", layerI48k, 12 * 125, 12, 125, 0.096, false},
      {"an average of 8 kbit/s", layerI48k, 8 * 100, 100, 8, 0.8, true},
      {"an average of 7 kbit/s", layerI48k, 7 * 100, 100, 7, 0.8, false},
      {"an average of 448 kbit/s", layerI48k, 448 * 100, 100, 448, 0.8, true},
      {"an average of 449 kbit/s", layerI48k, 449 * 100, 100, 449, 0.8, false},
      {"612.5 rounds to 612", Joint128, 20000000, 10000, 612, 261.2244897959, false},
      {"a negative average wraps to 16 bits", layerI48k, -1000, 10, 65436, 0.08, false},
      {"a huge average keeps its low 16 bits", layerI48k, std::numeric_limits<std::int32_t>::max(), 1, 65535, 0.008,
       false},
      {"2,147,483.8 rounds to 2,147,484, whose low 16 bits are 50,332", Joint128, 7012192, 1, 50332,
       0.0261224489796, false},
      {"no frames: the table rate and the size", Joint128, 4180000, 0, 128, 0.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TMPEGaudio mpeg;
    mpeg.Frame = Decoded(c.header);
    mpeg.Frame.Found = true;
    mpeg.VBR.Found = true;
    mpeg.VBR.Bytes = c.bytes;
    mpeg.VBR.Frames = c.frames;
    EXPECT_EQ(mpeg.Frames(), c.frames);
    // The same in every floating-point rounding mode: rounding upward would
    // take the ties above to the odd neighbour.
    for (const auto& mode : dztest::RoundingModes) {
      SCOPED_TRACE(mode.name);
      std::uint16_t bitRate = 0;
      double duration = 0;
      bool valid = false;
      {
        const dztest::TRoundingModeGuard guard(mode.mode);
        ASSERT_TRUE(guard.Set());
        bitRate = mpeg.BitRate();
        duration = mpeg.Duration();
        valid = mpeg.Valid();
      }
      EXPECT_EQ(bitRate, c.bitRate);
      EXPECT_NEAR(duration, c.duration, 1e-9);
      EXPECT_EQ(valid, c.valid);
    }
  }
}

TEST(MPEGaudioResults, HugeVBRFrameCountsDoNotOverflow) {
  TMPEGaudio mpeg;
  mpeg.Frame = Decoded(Joint128);
  mpeg.Frame.Found = true;
  mpeg.VBR.Found = true;
  mpeg.VBR.Frames = std::numeric_limits<std::int32_t>::max();
  mpeg.VBR.Bytes = 1;
  // 1152 samples per frame: the product needs more than 32 bits.
  EXPECT_NEAR(mpeg.Duration(), 1152.0 * 2147483647.0 / 44100, 1e-3);
  EXPECT_EQ(mpeg.BitRate(), 0);  // an average of 0 bytes per frame
  EXPECT_FALSE(mpeg.Valid());
}

// ---------------------------------------------------------------- whole files, crafted

struct TFileCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  bool result;
  bool found;
  std::int32_t position;
  std::int32_t fileLength;
  bool vbrFound;
  std::uint16_t bitRate;
  std::int32_t frames;
  double duration;
  std::string vendorID;
  std::string encoder;
  bool valid;
};

// What a reader holds after a file in which no frame was found.
TFileCase Cleared(const char* what, std::vector<std::uint8_t> bytes, bool result) {
  return {what, std::move(bytes), result, false, 0, 0, false, 0, 0, 0.0, "", "Unknown", false};
}

std::vector<std::uint8_t> FourMillionBytes(bool withId3v1) {
  auto bytes = FrameRun(Joint128, 417, 3);
  bytes.resize(4000000, 0);
  if (withId3v1) {
    const auto tag = Id3v1Tag();
    std::copy(tag.begin(), tag.end(), bytes.end() - 128);
  }
  return bytes;
}

TEST(MPEGaudioFile, CraftedStreams) {
  const auto run20 = FrameRun(Joint128, 417, 20);  // 8340 bytes, 0.52125 s
  const std::size_t runEnd = run20.size();
  const std::vector<TFileCase> cases = {
      {"a 2,048-byte ID3v2 tag, then frames: the search starts after the tag",
       Concat({Id3v2Tag(2048), run20}), true, true, 0, 10388, false, 128, 20, 0.52125, "", "Xing", true},
      {"300 bytes of noise, then frames: left out of the audio size", Concat({Noise(300), run20}), true, true, 300,
       8640, false, 128, 20, 0.52125, "", "Xing", true},
      {"a header not followed by another is skipped", Concat({Bytes(Joint128), Noise(196), run20}), true, true, 200,
       8540, false, 128, 20, 0.52125, "", "Xing", true},
      {"frames from 2,000: found in the middle block, position counted from it",
       Concat({TBytes().Zeros(2000), FrameRun(Joint128, 417, 91)}), true, true, 375, 39947, false, 128, 94, 2.47325,
       "", "Xing", true},
      {"after a 10,000-byte ID3v2 tag: the middle block lies at (length - tag) div 2 from the file's start",
       Concat({Id3v2Tag(10000), TBytes().Zeros(4000), FrameRun(Joint128, 417, 58)}), true, true, 324, 38186, false,
       128, 66, 1.741375, "", "Xing", true},
      Cleared("frames from 2,000 in a file shorter than a block: no middle block",
              Concat({TBytes().Zeros(2000), FrameRun(Joint128, 417, 2)}), true),
      {"Xing, 10,000 frames at 44100 Hz: the end block is not read",
       Concat({XingFrame(Joint128Padded, 418, 10000, 4180000), FrameRun(Joint128Padded, 418, 19),
               TBytes().Zeros(500).Str("LAME3.97").Zeros(100)}),
       true, true, 0, 8968, true, 128, 10000, 261.2244897959, "", "LAME 3.90", true},
      {"Xing with no frames: measured by size",
       Put(Concat({XingFrame(Joint128, 417, 0, 0), FrameRun(Joint128, 417, 19)}), runEnd - 500, "LAME3.97"), true,
       true, 0, 8340, true, 128, 0, 0.52125, "", "LAME 3.90", true},
      {"VBRI 36 bytes into an MPEG 1 stereo frame",
       Concat({VBRIFrame(Joint128, 417, 4170000, 10000), FrameRun(Joint128, 417, 19), TBytes().Zeros(500)}), true,
       true, 0, 8840, true, 128, 10000, 261.2244897959, "", "FhG", true},
      {"VBRI 36 bytes into an MPEG 1 mono frame is not looked for",
       Concat({VBRIFrame(Mono128, 417, 4170000, 10000), FrameRun(Mono128, 417, 19), TBytes().Zeros(500)}), true,
       true, 0, 8840, false, 128, 21, 0.5525, "", "Xing", true},
      {"VBRI 36 bytes into an MPEG 2 stereo frame is not looked for",
       Concat({VBRIFrame(Mpeg2Stereo64, 208, 4170000, 10000), FrameRun(Mpeg2Stereo64, 208, 40)}), true, true, 0,
       8528, false, 64, 41, 1.066, "", "Xing", true},
      {"CBR, 4,000,000 bytes: 250 s", FourMillionBytes(false), true, true, 0, 4000000, false, 128, 9592, 250.0, "",
       "Xing", true},
      {"the same with an ID3v1 tag: 249.992 s", FourMillionBytes(true), true, true, 0, 4000000, false, 128, 9592,
       249.992, "", "Xing", true},
      {"LAME3.97 in the last block", Put(run20, runEnd - 500, "LAME3.97"), true, true, 0, 8340, false, 128, 20,
       0.52125, "LAME3.97", "LAME 3.97", true},
      {"lame3.97 in lower case", Put(run20, runEnd - 500, "lame3.97"), true, true, 0, 8340, false, 128, 20, 0.52125,
       "", "Xing", true},
      {"LAME exactly 5 frame lengths before the last place", Put(run20, runEnd - 8 - 5 * 417, "LAME3.97"), true,
       true, 0, 8340, false, 128, 20, 0.52125, "LAME3.97", "LAME 3.97", true},
      {"LAME one byte farther", Put(run20, runEnd - 9 - 5 * 417, "LAME3.97"), true, true, 0, 8340, false, 128, 20,
       0.52125, "", "Xing", true},
      {"LAME before an ID3v1 tag", Concat({Put(run20, runEnd - 500, "LAME3.98"), Id3v1Tag()}), true, true, 0, 8468,
       false, 128, 20, 0.52125, "LAME3.98", "LAME 3.98", true},
      {"GOGO in the last block", Put(run20, runEnd - 500, "GOGO"), true, true, 0, 8340, false, 128, 20, 0.52125,
       "GOGO", "GoGo", true},
      Cleared("a free-format stream is never found", FrameRun({0xFF, 0xFB, 0x00, 0x64}, 417, 20), true),
      Cleared("noise only", Noise(10000), true),
      Cleared("a file shorter than 128 bytes: the ID3v1 reader fails",
              Concat({Bytes(Joint128), TBytes().Zeros(100)}), false),
      Cleared("an ID3v2 header alone, 9 bytes", TBytes().Str("ID3").U8s({3, 0, 0, 0, 0, 0}), false),
      Cleared("an empty file", {}, false),
      {"a frame in a file shorter than a block: the end block lies before the start",
       FrameRun(Joint128, 417, 5), false, true, 0, 2085, false, 128, 5, 0.1303125, "", "Xing", true},
      {"frames filling exactly one block", Block(FrameRun(Joint128, 417, 8)), true, true, 0, 3458, false, 128, 8,
       0.216125, "", "Xing", true},
      {"one block and an ID3v1 tag", Concat({Block(FrameRun(Joint128, 417, 8)), Id3v1Tag()}), true, true, 0, 3586,
       false, 128, 8, 0.216125, "", "Xing", true},
      {"one byte less", Concat({FrameRun(Joint128, 417, 8), TBytes().Zeros(3457 - 8 * 417), Id3v1Tag()}), false,
       true, 0, 3585, false, 128, 8, 0.2160625, "", "Xing", true},
      {"Xing, 3 frames: under 0.1 s",
       Concat({XingFrame(Joint128Padded, 418, 3, 3 * 418), FrameRun(Joint128Padded, 418, 19)}), true, true, 0, 8360,
       true, 128, 3, 0.0783673469, "", "LAME 3.90", false},
      {"Xing averaging 6 kbit/s",
       Concat({XingFrame(Joint128, 417, 10000, 200000), FrameRun(Joint128, 417, 19)}), true, true, 0, 8340, true, 6,
       10000, 261.2244897959, "", "LAME 3.90", false},
      {"Xing averaging 612 kbit/s",
       Concat({XingFrame(Joint128, 417, 10000, 20000000), FrameRun(Joint128, 417, 19)}), true, true, 0, 8340, true,
       612, 10000, 261.2244897959, "", "LAME 3.90", false},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("crafted.mp3");
    dztest::WriteFile(path, c.bytes);
    TMPEGaudio mpeg;
    EXPECT_EQ(mpeg.LoadFromFile(path), c.result);
    EXPECT_EQ(mpeg.Frame.Found, c.found);
    EXPECT_EQ(mpeg.Frame.Position, c.position);
    EXPECT_EQ(mpeg.FileLength, c.fileLength);
    EXPECT_EQ(mpeg.VBR.Found, c.vbrFound);
    EXPECT_EQ(mpeg.BitRate(), c.bitRate);
    EXPECT_EQ(mpeg.Frames(), c.frames);
    EXPECT_NEAR(mpeg.Duration(), c.duration, 1e-9);
    EXPECT_EQ(mpeg.VendorID, c.vendorID);
    EXPECT_EQ(mpeg.Encoder(), c.encoder);
    EXPECT_EQ(mpeg.Valid(), c.valid);
    if (!c.found) {
      EXPECT_EQ(mpeg.Version(), "MPEG ?");
      EXPECT_EQ(mpeg.ID3v2Tag->TagSize, 0);
      EXPECT_FALSE(mpeg.ID3v1Tag->Present);
    }
  }
}

TEST(MPEGaudioFile, TagReadersSeeTheTags) {
  TTempDir dir;
  const std::string path = dir.File("tags.mp3");
  dztest::WriteFile(path, Concat({Id3v2Tag(2048), FrameRun(Joint128, 417, 20), Id3v1Tag()}));
  TMPEGaudio mpeg;
  ASSERT_TRUE(mpeg.LoadFromFile(path));
  EXPECT_TRUE(mpeg.ID3v2Tag->Present);
  EXPECT_EQ(mpeg.ID3v2Tag->TagSize, 2048);
  EXPECT_TRUE(mpeg.ID3v1Tag->Present);
  EXPECT_EQ(mpeg.ID3v1Tag->Title, "Title");
  EXPECT_EQ(mpeg.Frames(), 20);
  EXPECT_DOUBLE_EQ(mpeg.Duration(), 0.52125);
}

TEST(MPEGaudioFile, WhatCannotBeReadGivesFalseAndClears) {
  TTempDir dir;
  const std::string good = dir.File("good.mp3");
  dztest::WriteFile(good, Concat({FrameRun(Joint128, 417, 20), Id3v1Tag()}));
  const std::string cases[] = {dir.File("missing.mp3"), dir.Path().string(), ""};
  for (const auto& path : cases) {
    TMPEGaudio mpeg;
    ASSERT_TRUE(mpeg.LoadFromFile(good));
    ASSERT_TRUE(mpeg.Frame.Found);
    EXPECT_FALSE(mpeg.LoadFromFile(path)) << path;
    EXPECT_FALSE(mpeg.Frame.Found) << path;
    EXPECT_EQ(mpeg.FileLength, 0) << path;
    EXPECT_EQ(mpeg.Duration(), 0.0) << path;
    EXPECT_FALSE(mpeg.ID3v1Tag->Present) << path;
  }
}

TEST(MPEGaudioFile, NothingOfAnEarlierFileSurvives) {
  TTempDir dir;
  const std::string xing = dir.File("xing.mp3");
  const std::string cbr = dir.File("cbr.mp3");
  const std::string noise = dir.File("noise.mp3");
  dztest::WriteFile(xing, Concat({Id3v2Tag(1000), XingFrame(Joint128, 417, 10000, 4170000),
                                  FrameRun(Joint128, 417, 19), Id3v1Tag()}));
  dztest::WriteFile(cbr, Put(FrameRun(Mono128, 417, 20), 8000, "LAME3.97"));
  dztest::WriteFile(noise, Noise(5000));

  TMPEGaudio mpeg;
  ASSERT_TRUE(mpeg.LoadFromFile(xing));
  ASSERT_TRUE(mpeg.VBR.Found);
  ASSERT_EQ(mpeg.ID3v2Tag->TagSize, 1000);
  ASSERT_TRUE(mpeg.LoadFromFile(cbr));
  EXPECT_FALSE(mpeg.VBR.Found);
  EXPECT_TRUE(mpeg.VBR.VendorID.empty());
  EXPECT_EQ(mpeg.ID3v2Tag->TagSize, 0);
  EXPECT_FALSE(mpeg.ID3v1Tag->Present);
  EXPECT_EQ(mpeg.ChannelMode(), "Mono");
  EXPECT_EQ(mpeg.VendorID, "LAME3.97");
  EXPECT_EQ(mpeg.Frames(), 20);
  ASSERT_TRUE(mpeg.LoadFromFile(noise));
  EXPECT_FALSE(mpeg.Frame.Found);
  EXPECT_TRUE(mpeg.VendorID.empty());
  EXPECT_EQ(mpeg.FileLength, 0);
  EXPECT_EQ(mpeg.ChannelMode(), "Unknown");
  EXPECT_EQ(mpeg.Duration(), 0.0);
}

TEST(MPEGaudioFile, FilesOf2GiBAndMoreAreNotMeasured) {
  // Sparse files: frames at the start, zeros up to the size.
  TTempDir dir;
  const struct {
    const char* what;
    std::uintmax_t size;
    bool result;
    std::int32_t fileLength;
    double duration;
  } cases[] = {
      {"2 GiB - 1: the largest length a signed 32-bit number holds", 0x7FFFFFFFu, true, 0x7FFFFFFF,
       2147483647.0 * 8 / 128000},
      {"2 GiB", 0x80000000u, false, 0, 0.0},
      {"4 GiB + 1000: would look like 1000 bytes in 32 bits", 0x100000000ull + 1000, false, 0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("big.mp3");
    dztest::WriteFile(path, FrameRun(Joint128, 417, 20));
    std::error_code error;
    std::filesystem::resize_file(path, c.size, error);
    if (error) GTEST_SKIP() << "no sparse file of " << c.size << " bytes here: " << error.message();
    TMPEGaudio mpeg;
    EXPECT_EQ(mpeg.LoadFromFile(path), c.result);
    EXPECT_EQ(mpeg.Frame.Found, c.result);
    EXPECT_EQ(mpeg.FileLength, c.fileLength);
    EXPECT_NEAR(mpeg.Duration(), c.duration, 1e-6);
    std::filesystem::remove(path);
  }
}

// ---------------------------------------------------------------- real encoder output

constexpr double SourceSeconds = 7.3;
// Samples that a lame stream holds beyond its source, besides the filling of
// its last frame (less than one frame): 576 samples of encoder delay in front
// and 529 at the end for the delay of the decoder's filter bank.
constexpr int LameExtraSamples = 576 + 529;

struct TEncode {
  const char* file;
  int rate;
  int channels;
  const char* lameOptions;
};

const TEncode Encodes[] = {
    {"mpeg1-joint-128.mp3", 44100, 2, "-b 128 -m j"},
    {"mpeg1-mono-crc-64.mp3", 32000, 1, "-p -b 64 -m m"},
    {"mpeg2-mono-crc-64.mp3", 22050, 1, "-p -b 64 -m m"},
    {"mpeg2-stereo-32.mp3", 16000, 2, "-b 32 -m s"},
    {"mpeg25-stereo-32.mp3", 11025, 2, "-b 32 -m s"},
    {"mpeg25-mono-crc-16.mp3", 8000, 1, "-p -b 16 -m m"},
    {"mpeg1-no-lame-tag.mp3", 44100, 2, "-t -b 128 -m j"},
    {"vbr-V2.mp3", 44100, 2, "-V 2"},
    {"vbr-V5-mpeg2-mono.mp3", 22050, 1, "-V 5"},
    {"abr-96.mp3", 44100, 2, "--abr 96 --resample 44.1"},
};

class MPEGaudioRealFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TTempDir>();
    // "LAME 64bits version 3.100 (...)": lame signs its streams "LAME3.100".
    const std::string versionFile = dir_->File("lame-version.txt");
    if (dztest::RunCommand("lame --version > " + dztest::ShellQuote(versionFile) + " 2>&1") == 0) {
      std::istringstream words(ReadText(versionFile));
      std::string word;
      while (lameVersion_.empty() && words >> word)
        if (word == "version" && words >> word) lameVersion_ = word;
    }
    for (const auto& e : Encodes) {
      const std::string wav = dir_->File(std::string(e.file) + ".wav");
      const std::string mp3 = dir_->File(e.file);
      const std::string line = "sox -n -r " + std::to_string(e.rate) + " -c " + std::to_string(e.channels) +
                               " -b 16 " + dztest::ShellQuote(wav) + " synth " + std::to_string(SourceSeconds) +
                               " sine 440 && lame --quiet " + e.lameOptions + " " + dztest::ShellQuote(wav) + " " +
                               dztest::ShellQuote(mp3);
      status_[e.file] = dztest::RunCommand(line + " > /dev/null 2>&1");
    }
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static std::string Path(const std::string& file) { return dir_->File(file); }
  static bool Made(const std::string& file) { return status_.count(file) && status_.at(file) == 0; }
  // "LAME3.10" for lame 3.100: the 8 characters the reader keeps.
  static std::string LameSignature() { return ("LAME" + lameVersion_).substr(0, 8); }

  // ffprobe's count of the audio frames its demuxer reads (the Xing or Info
  // frame is not one of them; a last frame that is all padding is) and its bit rate.
  static void Probe(const std::string& file, std::int64_t& frames, std::int64_t& bitRate) {
    const std::string out = Path(file) + ".probe";
    frames = bitRate = -1;
    if (dztest::RunCommand("ffprobe -v error -count_packets -select_streams a -show_entries "
                           "stream=nb_read_packets,bit_rate -of default=nw=1 " +
                           dztest::ShellQuote(Path(file)) + " > " + dztest::ShellQuote(out)) != 0)
      return;
    std::istringstream lines(ReadText(out));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("nb_read_packets=", 0) == 0) frames = std::stoll(line.substr(16));
      if (line.rfind("bit_rate=", 0) == 0) bitRate = std::stoll(line.substr(9));
    }
  }
  // Samples per channel that ffmpeg decodes from the file.
  static std::int64_t DecodedSamples(const std::string& file) {
    const std::string raw = Path(file) + ".raw";
    if (dztest::RunCommand("ffmpeg -v error -y -i " + dztest::ShellQuote(Path(file)) + " -f s16le -ac 1 " +
                           dztest::ShellQuote(raw)) != 0)
      return -1;
    return static_cast<std::int64_t>(std::filesystem::file_size(raw) / 2);
  }

  static std::unique_ptr<TTempDir> dir_;
  static std::map<std::string, int> status_;
  static std::string lameVersion_;
};

std::unique_ptr<TTempDir> MPEGaudioRealFiles::dir_;
std::map<std::string, int> MPEGaudioRealFiles::status_;
std::string MPEGaudioRealFiles::lameVersion_;

TEST_F(MPEGaudioRealFiles, ConstantBitRate) {
  ASSERT_GE(lameVersion_.size(), 4u) << "lame --version gave no version";
  struct TCase {
    const char* file;
    const char* version;
    const char* mode;
    std::uint16_t sampleRate, bitRate;
    bool crc;
    int samplesPerFrame;
    bool decoderPlaysEveryFrame;  // no lame tag: the decoder cannot drop delay and padding
  };
  const TCase cases[] = {
      {"mpeg1-joint-128.mp3", "MPEG 1", "Joint Stereo", 44100, 128, false, 1152, false},
      {"mpeg1-mono-crc-64.mp3", "MPEG 1", "Mono", 32000, 64, true, 1152, false},
      {"mpeg2-mono-crc-64.mp3", "MPEG 2", "Mono", 22050, 64, true, 576, false},
      {"mpeg2-stereo-32.mp3", "MPEG 2", "Stereo", 16000, 32, false, 576, false},
      {"mpeg25-stereo-32.mp3", "MPEG 2.5", "Stereo", 11025, 32, false, 576, false},
      {"mpeg25-mono-crc-16.mp3", "MPEG 2.5", "Mono", 8000, 16, true, 576, false},
      {"mpeg1-no-lame-tag.mp3", "MPEG 1", "Joint Stereo", 44100, 128, false, 1152, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(Made(c.file)) << "sox or lame failed";
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(Path(c.file)));
    TMPEGaudio mpeg;
    ASSERT_TRUE(mpeg.LoadFromFile(Path(c.file)));
    EXPECT_TRUE(mpeg.Valid());
    EXPECT_TRUE(mpeg.Frame.Found);
    EXPECT_EQ(mpeg.Frame.Position, 0);
    EXPECT_EQ(mpeg.FileLength, size);
    EXPECT_EQ(mpeg.Version(), c.version);
    EXPECT_EQ(mpeg.Layer(), "Layer III");
    EXPECT_EQ(mpeg.ChannelMode(), c.mode);
    EXPECT_EQ(mpeg.SampleRate(), c.sampleRate);
    EXPECT_EQ(mpeg.BitRate(), c.bitRate);
    EXPECT_EQ(mpeg.Frame.ProtectionBit, c.crc);
    // lame's "Info" frame of a CBR stream is no VBR header: the stream is measured by its size.
    EXPECT_FALSE(mpeg.VBR.Found);
    EXPECT_DOUBLE_EQ(mpeg.Duration(), static_cast<double>(size) * 8 / (c.bitRate * 1000.0));
    const std::int64_t frameBytes = std::int64_t{c.samplesPerFrame} / 8 * c.bitRate * 1000 / c.sampleRate;
    EXPECT_EQ(mpeg.Frames(), size / frameBytes);
    // lame signs the ancillary data of its last frames.
    EXPECT_EQ(mpeg.VendorID, LameSignature());
    EXPECT_EQ(mpeg.Encoder(), "LAME " + LameSignature().substr(4));

    // Against the length of the source: the size counts lame's extra samples,
    // the filling of the last frame (less than a frame) and lame's Info frame
    // when it wrote one; less than a millisecond goes to rounding the size.
    const double frameSeconds = double(c.samplesPerFrame) / c.sampleRate;
    const double extra = mpeg.Duration() - SourceSeconds;
    EXPECT_GT(extra, double(LameExtraSamples) / c.sampleRate - 0.001);
    EXPECT_LT(extra, double(LameExtraSamples) / c.sampleRate + 2 * frameSeconds);
    if (c.decoderPlaysEveryFrame) {
      // Then the decoder plays exactly the frames the size estimate counts.
      const std::int64_t decoded = DecodedSamples(c.file);
      ASSERT_GT(decoded, 0);
      EXPECT_NEAR(mpeg.Duration(), double(decoded) / c.sampleRate, frameSeconds);
    }
  }
}

TEST_F(MPEGaudioRealFiles, VariableBitRateWithXingHeader) {
  ASSERT_GE(lameVersion_.size(), 4u) << "lame --version gave no version";
  struct TCase {
    const char* file;
    const char* version;
    const char* mode;
    std::uint16_t sampleRate;
    int samplesPerFrame;
  };
  const TCase cases[] = {
      {"vbr-V2.mp3", "MPEG 1", "Joint Stereo", 44100, 1152},
      {"vbr-V5-mpeg2-mono.mp3", "MPEG 2", "Mono", 22050, 576},
      {"abr-96.mp3", "MPEG 1", "Joint Stereo", 44100, 1152},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(Made(c.file)) << "sox or lame failed";
    std::int64_t probedFrames = 0, probedBitRate = 0;
    Probe(c.file, probedFrames, probedBitRate);
    ASSERT_GT(probedFrames, 0) << "ffprobe failed";
    const std::int64_t decoded = DecodedSamples(c.file);
    ASSERT_GT(decoded, 0) << "ffmpeg failed";

    TMPEGaudio mpeg;
    ASSERT_TRUE(mpeg.LoadFromFile(Path(c.file)));
    EXPECT_TRUE(mpeg.Valid());
    EXPECT_EQ(mpeg.Version(), c.version);
    EXPECT_EQ(mpeg.ChannelMode(), c.mode);
    EXPECT_EQ(mpeg.SampleRate(), c.sampleRate);
    ASSERT_TRUE(mpeg.VBR.Found);
    EXPECT_EQ(Text4(mpeg.VBR.ID), "Xing");
    EXPECT_EQ(mpeg.VBR.VendorID, LameSignature());
    EXPECT_EQ(mpeg.VBR.Bytes, static_cast<std::int64_t>(std::filesystem::file_size(Path(c.file))));
    EXPECT_EQ(mpeg.Frames(), probedFrames);
    EXPECT_TRUE(mpeg.VendorID.empty());
    EXPECT_EQ(mpeg.Encoder(), "LAME " + LameSignature().substr(4));
    EXPECT_NEAR(mpeg.BitRate(), probedBitRate / 1000.0, 1.0);

    // The decoder drops lame's delay and padding (it reads them from lame's
    // tag) and plays exactly the source; the Xing frame count still holds
    // them: lame's extra samples and less than one frame of filling.
    EXPECT_EQ(decoded, std::int64_t(SourceSeconds * c.sampleRate + 0.5));
    const double frameSeconds = double(c.samplesPerFrame) / c.sampleRate;
    const double extra = mpeg.Duration() - double(decoded) / c.sampleRate;
    EXPECT_GE(extra, double(LameExtraSamples) / c.sampleRate);
    EXPECT_LT(extra, double(LameExtraSamples) / c.sampleRate + frameSeconds);
  }
}

TEST_F(MPEGaudioRealFiles, BigID3v2TagWithCoverAndID3v1Tag) {
  const std::string plainFile = "mpeg1-joint-128.mp3";
  ASSERT_TRUE(Made(plainFile)) << "sox or lame failed";
  const std::string tagged = Path("tagged.mp3");
  std::filesystem::copy_file(Path(plainFile), tagged, std::filesystem::copy_options::overwrite_existing);
  {
    TagLib::MPEG::File file(tagged.c_str());
    ASSERT_TRUE(file.isOpen());
    TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag(true);
    id3v2->setTitle("Capa grande");
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setMimeType("image/jpeg");
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    // JPEG-like bytes, frame syncs included: none of it may be taken for audio.
    TagLib::ByteVector image(40000, '\0');
    for (unsigned i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i % 7 == 0 ? 0xFF : 0xFB - i % 5);
    picture->setPicture(image);
    id3v2->addFrame(picture);
    file.ID3v1Tag(true)->setTitle("Capa grande");
    ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v1 | TagLib::MPEG::File::ID3v2));
  }
  const auto plainSize = static_cast<std::int64_t>(std::filesystem::file_size(Path(plainFile)));
  const auto taggedSize = static_cast<std::int64_t>(std::filesystem::file_size(tagged));

  TMPEGaudio plain;
  ASSERT_TRUE(plain.LoadFromFile(Path(plainFile)));
  TMPEGaudio mpeg;
  ASSERT_TRUE(mpeg.LoadFromFile(tagged));
  EXPECT_TRUE(mpeg.ID3v2Tag->Present);
  EXPECT_GT(mpeg.ID3v2Tag->TagSize, 40000);
  EXPECT_EQ(mpeg.ID3v2Tag->TagSize, taggedSize - plainSize - 128);
  EXPECT_TRUE(mpeg.ID3v1Tag->Present);
  EXPECT_EQ(mpeg.FileLength, taggedSize);
  EXPECT_TRUE(mpeg.Frame.Found);
  EXPECT_EQ(mpeg.Frame.Position, 0);
  EXPECT_EQ(mpeg.Frame.Data, plain.Frame.Data);
  // Both tags are left out: the same audio, the same length.
  EXPECT_DOUBLE_EQ(mpeg.Duration(), plain.Duration());
  EXPECT_EQ(mpeg.Frames(), plain.Frames());
  EXPECT_EQ(mpeg.VendorID, LameSignature());
  EXPECT_TRUE(mpeg.Valid());
}

}  // namespace
