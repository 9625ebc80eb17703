#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/U_Funcoes.h"

#include "tests/support/MpegFrames.h"
#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
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
  return dztest::MpegFrames(header, count, length);
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
    bool protection = false;
    std::uint16_t bitRateID, sampleRateID;
    bool padding = false, privateBit = false;
    std::uint8_t mode, modeExtension = 0;
    bool copyright = false, original = false;
    std::uint8_t emphasis = EmphasisNone;
    std::uint16_t kbps, hz;
    std::uint8_t coefficient;
    std::uint16_t length;
    std::uint8_t vbrOffset;
  };
  const TCase cases[] = {
      {.what = "FF FB 90 64: MPEG 1 Layer III 128k 44100 joint stereo", .header = Joint128,
       .version = VersionMPEG1, .layer = LayerIII, .bitRateID = 9, .sampleRateID = 0, .mode = ModeJointStereo,
       .modeExtension = 2, .original = true, .kbps = 128, .hz = 44100, .coefficient = 144, .length = 417,
       .vbrOffset = 36},
      {.what = "FF FA 90 64: the same with a CRC", .header = {0xFF, 0xFA, 0x90, 0x64}, .version = VersionMPEG1,
       .layer = LayerIII, .protection = true, .bitRateID = 9, .sampleRateID = 0, .mode = ModeJointStereo,
       .modeExtension = 2, .original = true, .kbps = 128, .hz = 44100, .coefficient = 144, .length = 417,
       .vbrOffset = 36},
      {.what = "FF E3 18 C4: MPEG 2.5 Layer III 8k 8000 mono", .header = {0xFF, 0xE3, 0x18, 0xC4},
       .version = VersionMPEG25, .layer = LayerIII, .bitRateID = 1, .sampleRateID = 2, .mode = ModeMono,
       .original = true, .kbps = 8, .hz = 8000, .coefficient = 72, .length = 72, .vbrOffset = 13},
      {.what = "MPEG 2 Layer I 256k 16000", .header = {0xFF, 0xF7, 0xE8, 0x00}, .version = VersionMPEG2,
       .layer = LayerI, .bitRateID = 14, .sampleRateID = 2, .mode = ModeStereo, .kbps = 256, .hz = 16000,
       .coefficient = 48, .length = 768, .vbrOffset = 21},
      {.what = "MPEG 2.5 Layer II 160k 8000: longer than half a block", .header = Mpeg25LayerII160,
       .version = VersionMPEG25, .layer = LayerII, .bitRateID = 14, .sampleRateID = 2, .mode = ModeStereo,
       .kbps = 160, .hz = 8000, .coefficient = 144, .length = 2880, .vbrOffset = 21},
      {.what = "the same padded: one byte more", .header = {0xFF, 0xE5, 0xEA, 0x00}, .version = VersionMPEG25,
       .layer = LayerII, .bitRateID = 14, .sampleRateID = 2, .padding = true, .mode = ModeStereo, .kbps = 160,
       .hz = 8000, .coefficient = 144, .length = 2881, .vbrOffset = 21},
      {.what = "MPEG 1 Layer I 448k 32000 padded: 672 + 4", .header = {0xFF, 0xFF, 0xEA, 0x00},
       .version = VersionMPEG1, .layer = LayerI, .bitRateID = 14, .sampleRateID = 2, .padding = true,
       .mode = ModeStereo, .kbps = 448, .hz = 32000, .coefficient = 48, .length = 676, .vbrOffset = 36},
      {.what = "MPEG 1 Layer II 384k 48000 padded", .header = {0xFF, 0xFD, 0xE6, 0x00}, .version = VersionMPEG1,
       .layer = LayerII, .bitRateID = 14, .sampleRateID = 1, .padding = true, .mode = ModeStereo, .kbps = 384,
       .hz = 48000, .coefficient = 144, .length = 1153, .vbrOffset = 36},
      {.what = "MPEG 2 Layer III 64k 22050: 208.98 truncated", .header = Mpeg2Stereo64, .version = VersionMPEG2,
       .layer = LayerIII, .bitRateID = 8, .sampleRateID = 0, .mode = ModeStereo, .original = true, .kbps = 64,
       .hz = 22050, .coefficient = 72, .length = 208, .vbrOffset = 21},
      {.what = "MPEG 2 Layer III 160k 24000 mono", .header = {0xFF, 0xF3, 0xE4, 0xC0}, .version = VersionMPEG2,
       .layer = LayerIII, .bitRateID = 14, .sampleRateID = 1, .mode = ModeMono, .kbps = 160, .hz = 24000,
       .coefficient = 72, .length = 480, .vbrOffset = 13},
      {.what = "MPEG 1 mono: VBR header at 21", .header = Mono128, .version = VersionMPEG1, .layer = LayerIII,
       .bitRateID = 9, .sampleRateID = 0, .mode = ModeMono, .original = true, .kbps = 128, .hz = 44100,
       .coefficient = 144, .length = 417, .vbrOffset = 21},
      {.what = "private, copyright, dual channel, CCITT J.17", .header = {0xFF, 0xFB, 0x91, 0xBF},
       .version = VersionMPEG1, .layer = LayerIII, .bitRateID = 9, .sampleRateID = 0, .privateBit = true,
       .mode = ModeDualChannel, .modeExtension = 3, .copyright = true, .original = true,
       .emphasis = EmphasisCCITTJ17, .kbps = 128, .hz = 44100, .coefficient = 144, .length = 417, .vbrOffset = 36},
      {.what = "emphasis 50/15", .header = {0xFF, 0xFB, 0x10, 0x01}, .version = VersionMPEG1, .layer = LayerIII,
       .bitRateID = 1, .sampleRateID = 0, .mode = ModeStereo, .emphasis = Emphasis50_15, .kbps = 32, .hz = 44100,
       .coefficient = 144, .length = 104, .vbrOffset = 36},
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
    EXPECT_EQ(mpeg.Version(), VersionNames[c.version]);
    EXPECT_EQ(mpeg.Layer(), LayerNames[c.layer]);
    EXPECT_EQ(mpeg.ChannelMode(), ModeNames[c.mode]);
    EXPECT_EQ(mpeg.Emphasis(), EmphasisNames[c.emphasis]);
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

TEST(MPEGFrameHeader, LayerIFramesAreWholeSlots) {
  // 4 x (12 x bit rate / sample rate, the fraction dropped, + 1 padding slot).
  const struct {
    const char* what;
    THeaderBytes header;
    std::uint16_t length;
  } cases[] = {
      {"MPEG 1, 384 kbit/s, 44100 Hz: 104 slots", {0xFF, 0xFF, 0xC0, 0x00}, 416},
      {"the same padded", {0xFF, 0xFF, 0xC2, 0x00}, 420},
      {"MPEG 1, 32 kbit/s, 44100 Hz: 8 slots", {0xFF, 0xFF, 0x10, 0x00}, 32},
      {"MPEG 1, 448 kbit/s, 32000 Hz, padded", {0xFF, 0xFF, 0xEA, 0x00}, 676},
      {"MPEG 1, 448 kbit/s, 48000 Hz", {0xFF, 0xFF, 0xE4, 0x00}, 448},
      {"MPEG 2, 256 kbit/s, 16000 Hz", {0xFF, 0xF7, 0xE8, 0x00}, 768},
      {"MPEG 2, 144 kbit/s, 22050 Hz, padded", {0xFF, 0xF7, 0x92, 0x00}, 4 * (78 + 1)},
      {"MPEG 2.5, 32 kbit/s, 11025 Hz", {0xFF, 0xE7, 0x10, 0x00}, 4 * 34},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(IsFrameHeader(c.header)) << c.what;
    EXPECT_EQ(FrameLength(Decoded(c.header)), c.length) << c.what;
  }
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
      {VersionMPEG1, LayerI, 1, 32},    {VersionMPEG1, LayerI, 14, 448},   {VersionMPEG1, LayerII, 1, 32},
      {VersionMPEG1, LayerII, 2, 48},   {VersionMPEG1, LayerII, 14, 384},  {VersionMPEG1, LayerIII, 1, 32},
      {VersionMPEG1, LayerIII, 2, 40},  {VersionMPEG1, LayerIII, 14, 320}, {VersionMPEG2, LayerI, 1, 32},
      {VersionMPEG2, LayerI, 9, 144},   {VersionMPEG2, LayerI, 14, 256},   {VersionMPEG2, LayerII, 1, 8},
      {VersionMPEG2, LayerII, 14, 160}, {VersionMPEG2, LayerIII, 1, 8},    {VersionMPEG2, LayerIII, 9, 80},
      {VersionMPEG25, LayerI, 14, 256}, {VersionMPEG25, LayerII, 14, 160}, {VersionMPEG25, LayerIII, 13, 144},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BitRates[c.version][c.layer][c.index], c.kbps)
        << int(c.version) << "/" << int(c.layer) << "/" << int(c.index);
  for (std::size_t version = 0; version < 4; ++version)
    for (std::size_t layer = 0; layer < 4; ++layer) {
      EXPECT_EQ(BitRates[version][layer][BitRateFree], 0) << version << "/" << layer;
      EXPECT_EQ(BitRates[version][layer][BitRateBad], 0) << version << "/" << layer;
      if (version == VersionReserved || layer == LayerReserved) {
        for (std::size_t index = 0; index < 16; ++index)
          EXPECT_EQ(BitRates[version][layer][index], 0) << version << "/" << layer << "/" << index;
      }
    }
  // MPEG 2 and MPEG 2.5 share the lower-sample-rate rows.
  EXPECT_EQ(BitRates[VersionMPEG25], BitRates[VersionMPEG2]);
  for (std::size_t version = 0; version < 4; ++version)
    EXPECT_EQ(SampleRates[version][SampleRateReserved], 0) << version;
  EXPECT_EQ(SampleRates[VersionReserved], (std::array<std::uint16_t, 4>{0, 0, 0, 0}));
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

TEST(MPEGFrameHeader, NameTables) {
  // The texts shown for each code, as callers see them.
  const struct {
    const char* name;
    const char* text;
  } cases[] = {
      {VersionNames[VersionMPEG25], "MPEG 2.5"},
      {VersionNames[VersionReserved], "MPEG ?"},
      {VersionNames[VersionMPEG2], "MPEG 2"},
      {VersionNames[VersionMPEG1], "MPEG 1"},
      {LayerNames[LayerReserved], "Layer ?"},
      {LayerNames[LayerIII], "Layer III"},
      {LayerNames[LayerII], "Layer II"},
      {LayerNames[LayerI], "Layer I"},
      {ModeNames[ModeStereo], "Stereo"},
      {ModeNames[ModeJointStereo], "Joint Stereo"},
      {ModeNames[ModeDualChannel], "Dual Channel"},
      {ModeNames[ModeMono], "Mono"},
      {ModeNames[ModeNone], "Unknown"},
      {EmphasisNames[EmphasisNone], "None"},
      {EmphasisNames[Emphasis50_15], "50/15 ms"},
      {EmphasisNames[EmphasisReserved], "Unknown"},
      {EmphasisNames[EmphasisCCITTJ17], "CCIT J.17"},
      {EncoderNames[EncoderUnknown], "Unknown"},
      {EncoderNames[EncoderXing], "Xing"},
      {EncoderNames[EncoderFhG], "FhG"},
      {EncoderNames[EncoderLAME], "LAME"},
      {EncoderNames[EncoderBlade], "Blade"},
      {EncoderNames[EncoderGoGo], "GoGo"},
      {EncoderNames[EncoderShine], "Shine"},
      {EncoderNames[EncoderQDesign], "QDesign"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(c.name), c.text);
}

TEST(MPEGFrameHeader, ClearedReaderShowsUnknownCodes) {
  TMPEGaudio mpeg;
  EXPECT_EQ(mpeg.Version(), VersionNames[VersionReserved]);
  EXPECT_EQ(mpeg.Layer(), LayerNames[LayerReserved]);
  EXPECT_EQ(mpeg.ChannelMode(), ModeNames[ModeNone]);
  EXPECT_EQ(mpeg.Emphasis(), EmphasisNames[EmphasisReserved]);
  EXPECT_EQ(TableBitRate(mpeg.Frame), 0);
  EXPECT_EQ(TableSampleRate(mpeg.Frame), 0);
  EXPECT_EQ(FrameLength(mpeg.Frame), 0);
  // The cleared codes that no name shows.
  EXPECT_EQ(mpeg.Frame.SampleRateID, SampleRateReserved);
  EXPECT_EQ(mpeg.Frame.ModeExtensionID, ModeExtensionNone);
  EXPECT_FALSE(mpeg.Frame.Found);
  EXPECT_EQ(mpeg.BitRate(), 0);
  EXPECT_EQ(mpeg.SampleRate(), 0);
  EXPECT_EQ(mpeg.Frames(), 0);
  EXPECT_EQ(mpeg.Duration(), 0.0);
  EXPECT_EQ(mpeg.EncoderID(), EncoderUnknown);
  EXPECT_EQ(mpeg.Encoder(), EncoderNames[EncoderUnknown]);
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
      {"Info: read as a Xing header", Block(Put(XingFrame(Joint128, 417, 10000, 4180000), 36, "Info")), 36, true,
       "Info", 10000, 4180000, 0x3C, "LAME3.90"},
      {"info in lower case", Block(Put(XingFrame(Joint128, 417, 10000, 4180000), 36, "info")), 36, false,
       std::string(4, '\0'), 0, 0, 0, ""},
      {"INFO in upper case", Block(Put(XingFrame(Joint128, 417, 10000, 4180000), 36, "INFO")), 36, false,
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
    bool zeroSideInfo = false;
    const char* vbrId = nullptr;  // nullptr: no VBR header
    std::string vbrVendor = "";
    std::string vendor = "";
    std::uint8_t id;
    std::string version = "";  // appended to the encoder's name, after a space
  };
  const THeaderBytes jointNoOriginal{0xFF, 0xFB, 0x90, 0x60};
  const TCase cases[] = {
      // Without a VBR header: a guess from header flags, then the vendor signature.
      {.what = "no rule applies: FhG", .header = jointNoOriginal, .id = EncoderFhG},
      {.what = "original with CRC: LAME", .header = {0xFF, 0xFA, 0x90, 0x64}, .id = EncoderLAME},
      {.what = "stereo at 160 kbit/s: Blade", .header = {0xFF, 0xFB, 0xA0, 0x04}, .id = EncoderBlade},
      {.what = "stereo at 192 kbit/s: not Blade", .header = {0xFF, 0xFB, 0xB0, 0x00}, .id = EncoderFhG},
      {.what = "copyright and original without CRC: Xing", .header = {0xFF, 0xFB, 0x90, 0x6C}, .id = EncoderXing},
      {.what = "zero side information and original: Xing", .header = Joint128, .zeroSideInfo = true,
       .id = EncoderXing},
      {.what = "zero side information, not original", .header = jointNoOriginal, .zeroSideInfo = true,
       .id = EncoderFhG},
      {.what = "Layer II: QDesign", .header = {0xFF, 0xFD, 0x90, 0x64}, .id = EncoderQDesign},
      {.what = "dual channel with CRC: Shine over LAME", .header = {0xFF, 0xFA, 0x90, 0xA4}, .id = EncoderShine},
      {.what = "LAME signature overrides the flags", .header = {0xFF, 0xFD, 0x90, 0x64}, .vendor = "LAME3.97",
       .id = EncoderLAME, .version = "3.97"},
      {.what = "GOGO signature", .header = Joint128, .zeroSideInfo = true, .vendor = "GOGO", .id = EncoderGoGo},
      {.what = "lame in lower case is no signature", .header = jointNoOriginal, .vendor = "lame3.97",
       .id = EncoderFhG},
      {.what = "LAME without a version", .header = jointNoOriginal, .vendor = "LAME", .id = EncoderLAME},
      {.what = "LAME with a version of another shape", .header = jointNoOriginal, .vendor = "LAMEx.yz",
       .id = EncoderLAME},
      {.what = "LAME3.9x: the last character is not a digit", .header = jointNoOriginal, .vendor = "LAME3.9x",
       .id = EncoderLAME},
      // With a VBR header: its signature and vendor text.
      {.what = "Xing by LAME", .header = Joint128, .vbrId = "Xing", .vbrVendor = "LAME3.90", .id = EncoderLAME,
       .version = "3.90"},
      {.what = "Xing by GOGO", .header = Joint128, .vbrId = "Xing", .vbrVendor = "GOGO1.00", .id = EncoderGoGo},
      {.what = "Xing by MPGE", .header = Joint128, .vbrId = "Xing", .vbrVendor = "MPGE1.00", .id = EncoderGoGo},
      {.what = "Xing by someone else", .header = Joint128, .vbrId = "Xing", .vbrVendor = std::string(8, '\0'),
       .id = EncoderXing},
      {.what = "Info by LAME", .header = Joint128, .vbrId = "Info", .vbrVendor = "LAME3.99", .id = EncoderLAME,
       .version = "3.99"},
      {.what = "Info by someone else: as Xing", .header = Joint128, .vbrId = "Info",
       .vbrVendor = std::string(8, '\0'), .id = EncoderXing},
      {.what = "Info by Lavc", .header = Joint128, .vbrId = "Info", .vbrVendor = "Lavc58.5", .id = EncoderXing},
      {.what = "VBRI", .header = Joint128, .vbrId = "VBRI", .id = EncoderFhG},
      {.what = "VBRI with a LAME text: FhG still", .header = Joint128, .vbrId = "VBRI", .vbrVendor = "LAME3.90",
       .id = EncoderFhG},
      {.what = "the end signature wins over the Xing text", .header = Joint128, .vbrId = "Xing",
       .vbrVendor = "LAME3.90", .vendor = "LAME3.97", .id = EncoderLAME, .version = "3.97"},
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
    EXPECT_EQ(mpeg.Encoder(), EncoderNames[c.id] + (c.version.empty() ? "" : " " + c.version));
    mpeg.Frame.Found = false;
    EXPECT_EQ(mpeg.EncoderID(), EncoderUnknown) << "without a frame";
    EXPECT_EQ(mpeg.Encoder(), EncoderNames[EncoderUnknown]) << "without a frame";
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

// What a reader holds after LoadFromFile. The defaults are a file read to its
// end in which no frame was found: the cleared state.
// MPEG 1 Layer III, 56 kbit/s, 44100 Hz, joint stereo, original: 182-byte
// frames. Older encoders wrote the Info frame of a faster stream at this rate.
constexpr THeaderBytes Joint56{0xFF, 0xFB, 0x40, 0x64};

// A 182-byte Info frame at 56 kbit/s announcing frames and bytes, then 19
// frames at 128 kbit/s: 8105 bytes.
std::vector<std::uint8_t> Info56Before128(std::uint32_t frames, std::uint32_t bytes, std::string_view id = "Info") {
  return Concat({Put(XingFrame(Joint56, 182, frames, bytes), 36, id), FrameRun(Joint128, 417, 19)});
}

// count frames of MPEG 1 Layer I at 384 kbit/s and 44100 Hz, stereo, no CRC,
// silent (every allocation 0), padded as an encoder pads them: a frame is
// 104.49 slots of 4 bytes, so the padding slot goes to a frame whenever the
// fractions add up to a whole slot.
std::vector<std::uint8_t> LayerIStream(int count) {
  constexpr std::uint32_t SampleRate = 44100, SlotBits = 12 * 384000;
  TBytes b;
  std::uint32_t rest = 0;
  for (int i = 0; i < count; ++i) {
    rest += SlotBits % SampleRate;
    const bool padded = rest >= SampleRate;
    if (padded) rest -= SampleRate;
    const std::size_t length = 4 * (SlotBits / SampleRate + (padded ? 1 : 0));
    const std::size_t start = b.Size();
    b.U8s({0xFF, 0xFF, static_cast<std::uint8_t>(padded ? 0xC2 : 0xC0), 0x00}).PadTo(start + length);
  }
  return b;
}

struct TFileCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  bool result = true;
  bool found = false;
  std::int32_t position = 0;
  std::int32_t fileLength = 0;
  bool vbrFound = false;
  std::uint16_t bitRate = 0;
  std::int32_t frames = 0;
  double duration = 0.0;
  std::string vendorID = "";
  std::string encoder = EncoderNames[EncoderUnknown];
  bool valid = false;
};

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
  const std::string xing = EncoderNames[EncoderXing];
  const std::vector<TFileCase> cases = {
      {.what = "a 2,048-byte ID3v2 tag, then frames: the search starts after the tag",
       .bytes = Concat({Id3v2Tag(2048), run20}), .found = true, .fileLength = 10388, .bitRate = 128, .frames = 20,
       .duration = 0.52125, .encoder = xing, .valid = true},
      {.what = "300 bytes of noise, then frames: left out of the audio size", .bytes = Concat({Noise(300), run20}),
       .found = true, .position = 300, .fileLength = 8640, .bitRate = 128, .frames = 20, .duration = 0.52125,
       .encoder = xing, .valid = true},
      {.what = "a header not followed by another is skipped",
       .bytes = Concat({Bytes(Joint128), Noise(196), run20}), .found = true, .position = 200, .fileLength = 8540,
       .bitRate = 128, .frames = 20, .duration = 0.52125, .encoder = xing, .valid = true},
      {.what = "frames from 2,000: found in the middle block, position counted from it",
       .bytes = Concat({TBytes().Zeros(2000), FrameRun(Joint128, 417, 91)}), .found = true, .position = 375,
       .fileLength = 39947, .bitRate = 128, .frames = 94, .duration = 2.47325, .encoder = xing, .valid = true},
      {.what = "after a 10,000-byte ID3v2 tag: the middle block lies at (length - tag) div 2 from the file's start",
       .bytes = Concat({Id3v2Tag(10000), TBytes().Zeros(4000), FrameRun(Joint128, 417, 58)}), .found = true,
       .position = 324, .fileLength = 38186, .bitRate = 128, .frames = 66, .duration = 1.741375, .encoder = xing,
       .valid = true},
      {.what = "frames from 2,000 in a file shorter than a block: no middle block",
       .bytes = Concat({TBytes().Zeros(2000), FrameRun(Joint128, 417, 2)})},
      {.what = "Xing, 10,000 frames at 44100 Hz: the end block is not read",
       .bytes = Concat({XingFrame(Joint128Padded, 418, 10000, 4180000), FrameRun(Joint128Padded, 418, 19),
                        TBytes().Zeros(500).Str("LAME3.97").Zeros(100)}),
       .found = true, .fileLength = 8968, .vbrFound = true, .bitRate = 128, .frames = 10000,
       .duration = 261.2244897959, .encoder = "LAME 3.90", .valid = true},
      {.what = "Xing with no frames: measured by size",
       .bytes = Put(Concat({XingFrame(Joint128, 417, 0, 0), FrameRun(Joint128, 417, 19)}), runEnd - 500, "LAME3.97"),
       .found = true, .fileLength = 8340, .vbrFound = true, .bitRate = 128, .frames = 0, .duration = 0.52125,
       .encoder = "LAME 3.90", .valid = true},
      // An Info header: the bytes of the audio at the byte rate that its counts give.
      {.what = "Info at 56 kbit/s before a 128 kbit/s stream: the stream's byte rate, not 56 kbit/s",
       .bytes = Info56Before128(19, 8105), .found = true, .fileLength = 8105, .vbrFound = true, .bitRate = 131,
       .frames = 19, .duration = 0.4963265306, .encoder = "LAME 3.90", .valid = true},
      {.what = "the same between an ID3v2 and an ID3v1 tag: the tags are no audio",
       .bytes = Concat({Id3v2Tag(2048), Info56Before128(19, 8105), Id3v1Tag()}), .found = true,
       .fileLength = 10281, .vbrFound = true, .bitRate = 131, .frames = 19, .duration = 0.4963265306,
       .encoder = "LAME 3.90", .valid = true},
      {.what = "an Info header claiming three times the bytes present: a third of its frames",
       .bytes = Info56Before128(19, 3 * 8105), .found = true, .fileLength = 8105, .vbrFound = true,
       .bitRate = 392, .frames = 19, .duration = 0.1654421769, .encoder = "LAME 3.90", .valid = true},
      {.what = "Info with a frame count of 0: the first frame's bit rate", .bytes = Info56Before128(0, 8105),
       .found = true, .fileLength = 8105, .vbrFound = true, .bitRate = 56, .frames = 0,
       .duration = 1.1578571429, .encoder = "LAME 3.90", .valid = true},
      {.what = "Info with a byte count of 0: the first frame's bit rate", .bytes = Info56Before128(19, 0),
       .found = true, .fileLength = 8105, .vbrFound = true, .bitRate = 0, .frames = 19,
       .duration = 1.1578571429, .encoder = "LAME 3.90"},
      {.what = "Info with negative counts: the first frame's bit rate",
       .bytes = Info56Before128(0xFFFFFFFF, 0xFFFFFFFF), .found = true, .fileLength = 8105, .vbrFound = true,
       .bitRate = 56, .frames = -1, .duration = 1.1578571429, .encoder = "LAME 3.90", .valid = true},
      {.what = "info in lower case is no header: measured by size", .bytes = Info56Before128(19, 8105, "info"),
       .found = true, .fileLength = 8105, .bitRate = 56, .frames = 44, .duration = 1.1578571429, .encoder = xing,
       .valid = true},
      {.what = "Layer I at 44100 Hz with an encoder's padding: 416- and 420-byte frames",
       .bytes = LayerIStream(100), .found = true, .fileLength = 41792, .bitRate = 384, .frames = 100,
       .duration = 0.8706666667, .encoder = EncoderNames[EncoderFhG], .valid = true},
      {.what = "VBRI 36 bytes into an MPEG 1 stereo frame",
       .bytes = Concat({VBRIFrame(Joint128, 417, 4170000, 10000), FrameRun(Joint128, 417, 19), TBytes().Zeros(500)}),
       .found = true, .fileLength = 8840, .vbrFound = true, .bitRate = 128, .frames = 10000,
       .duration = 261.2244897959, .encoder = EncoderNames[EncoderFhG], .valid = true},
      {.what = "VBRI 36 bytes into an MPEG 1 mono frame is not looked for",
       .bytes = Concat({VBRIFrame(Mono128, 417, 4170000, 10000), FrameRun(Mono128, 417, 19), TBytes().Zeros(500)}),
       .found = true, .fileLength = 8840, .bitRate = 128, .frames = 21, .duration = 0.5525, .encoder = xing,
       .valid = true},
      {.what = "VBRI 36 bytes into an MPEG 2 stereo frame is not looked for",
       .bytes = Concat({VBRIFrame(Mpeg2Stereo64, 208, 4170000, 10000), FrameRun(Mpeg2Stereo64, 208, 40)}),
       .found = true, .fileLength = 8528, .bitRate = 64, .frames = 41, .duration = 1.066, .encoder = xing,
       .valid = true},
      {.what = "CBR, 4,000,000 bytes: 250 s", .bytes = FourMillionBytes(false), .found = true, .fileLength = 4000000,
       .bitRate = 128, .frames = 9592, .duration = 250.0, .encoder = xing, .valid = true},
      {.what = "the same with an ID3v1 tag: 249.992 s", .bytes = FourMillionBytes(true), .found = true,
       .fileLength = 4000000, .bitRate = 128, .frames = 9592, .duration = 249.992, .encoder = xing, .valid = true},
      {.what = "LAME3.97 in the last block", .bytes = Put(run20, runEnd - 500, "LAME3.97"), .found = true,
       .fileLength = 8340, .bitRate = 128, .frames = 20, .duration = 0.52125, .vendorID = "LAME3.97",
       .encoder = "LAME 3.97", .valid = true},
      {.what = "lame3.97 in lower case", .bytes = Put(run20, runEnd - 500, "lame3.97"), .found = true,
       .fileLength = 8340, .bitRate = 128, .frames = 20, .duration = 0.52125, .encoder = xing, .valid = true},
      {.what = "LAME exactly 5 frame lengths before the last place",
       .bytes = Put(run20, runEnd - 8 - 5 * 417, "LAME3.97"), .found = true, .fileLength = 8340, .bitRate = 128,
       .frames = 20, .duration = 0.52125, .vendorID = "LAME3.97", .encoder = "LAME 3.97", .valid = true},
      {.what = "LAME one byte farther", .bytes = Put(run20, runEnd - 9 - 5 * 417, "LAME3.97"), .found = true,
       .fileLength = 8340, .bitRate = 128, .frames = 20, .duration = 0.52125, .encoder = xing, .valid = true},
      {.what = "LAME before an ID3v1 tag", .bytes = Concat({Put(run20, runEnd - 500, "LAME3.98"), Id3v1Tag()}),
       .found = true, .fileLength = 8468, .bitRate = 128, .frames = 20, .duration = 0.52125, .vendorID = "LAME3.98",
       .encoder = "LAME 3.98", .valid = true},
      {.what = "GOGO in the last block", .bytes = Put(run20, runEnd - 500, "GOGO"), .found = true,
       .fileLength = 8340, .bitRate = 128, .frames = 20, .duration = 0.52125, .vendorID = "GOGO",
       .encoder = EncoderNames[EncoderGoGo], .valid = true},
      {.what = "a free-format stream is never found", .bytes = FrameRun({0xFF, 0xFB, 0x00, 0x64}, 417, 20)},
      {.what = "noise only", .bytes = Noise(10000)},
      {.what = "a file shorter than 128 bytes: the ID3v1 reader fails",
       .bytes = Concat({Bytes(Joint128), TBytes().Zeros(100)}), .result = false},
      {.what = "an ID3v2 header alone, 9 bytes", .bytes = TBytes().Str("ID3").U8s({3, 0, 0, 0, 0, 0}),
       .result = false},
      {.what = "an empty file", .bytes = {}, .result = false},
      {.what = "a frame in a file shorter than a block: the end block lies before the start",
       .bytes = FrameRun(Joint128, 417, 5), .result = false, .found = true, .fileLength = 2085, .bitRate = 128,
       .frames = 5, .duration = 0.1303125, .encoder = xing, .valid = true},
      {.what = "frames filling exactly one block", .bytes = Block(FrameRun(Joint128, 417, 8)), .found = true,
       .fileLength = 3458, .bitRate = 128, .frames = 8, .duration = 0.216125, .encoder = xing, .valid = true},
      {.what = "one block and an ID3v1 tag", .bytes = Concat({Block(FrameRun(Joint128, 417, 8)), Id3v1Tag()}),
       .found = true, .fileLength = 3586, .bitRate = 128, .frames = 8, .duration = 0.216125, .encoder = xing,
       .valid = true},
      {.what = "one byte less",
       .bytes = Concat({FrameRun(Joint128, 417, 8), TBytes().Zeros(3457 - 8 * 417), Id3v1Tag()}), .result = false,
       .found = true, .fileLength = 3585, .bitRate = 128, .frames = 8, .duration = 0.2160625, .encoder = xing,
       .valid = true},
      {.what = "Xing, 3 frames: under 0.1 s",
       .bytes = Concat({XingFrame(Joint128Padded, 418, 3, 3 * 418), FrameRun(Joint128Padded, 418, 19)}),
       .found = true, .fileLength = 8360, .vbrFound = true, .bitRate = 128, .frames = 3, .duration = 0.0783673469,
       .encoder = "LAME 3.90"},
      {.what = "Xing averaging 6 kbit/s",
       .bytes = Concat({XingFrame(Joint128, 417, 10000, 200000), FrameRun(Joint128, 417, 19)}), .found = true,
       .fileLength = 8340, .vbrFound = true, .bitRate = 6, .frames = 10000, .duration = 261.2244897959,
       .encoder = "LAME 3.90"},
      {.what = "Xing averaging 612 kbit/s",
       .bytes = Concat({XingFrame(Joint128, 417, 10000, 20000000), FrameRun(Joint128, 417, 19)}), .found = true,
       .fileLength = 8340, .vbrFound = true, .bitRate = 612, .frames = 10000, .duration = 261.2244897959,
       .encoder = "LAME 3.90"},
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
      EXPECT_EQ(mpeg.Version(), VersionNames[VersionReserved]);
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
  EXPECT_EQ(mpeg.ChannelMode(), ModeNames[ModeMono]);
  EXPECT_EQ(mpeg.VendorID, "LAME3.97");
  EXPECT_EQ(mpeg.Frames(), 20);
  ASSERT_TRUE(mpeg.LoadFromFile(noise));
  EXPECT_FALSE(mpeg.Frame.Found);
  EXPECT_TRUE(mpeg.VendorID.empty());
  EXPECT_EQ(mpeg.FileLength, 0);
  EXPECT_EQ(mpeg.ChannelMode(), ModeNames[ModeNone]);
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

// The length of the sines that the sample set Mp3 encodes, in seconds.
constexpr double SourceSeconds = 7.3;
// Samples that a lame stream holds beyond its source, besides the filling of
// its last frame (less than one frame): 576 samples of encoder delay in front
// and 529 at the end for the delay of the decoder's filter bank.
constexpr int LameExtraSamples = 576 + 529;

// Every result of the MPEG reader but the ID3v2 tag's contents, as one text.
std::string StreamResults(const TMPEGaudio& m) {
  std::ostringstream out;
  out << std::hexfloat << m.Duration() << '|' << m.Frames() << '|' << m.BitRate() << '|' << m.SampleRate() << '|'
      << int{m.EncoderID()} << '|' << m.Encoder() << '|' << m.Valid() << '|' << m.Version() << '|' << m.Layer()
      << '|' << m.ChannelMode() << '|' << m.Emphasis() << '|' << m.FileLength << '|' << m.VendorID << '|'
      << m.Frame.Found << '|' << m.Frame.Position << '|' << m.Frame.Size << '|' << m.VBR.Found << '|'
      << std::string(m.VBR.ID, 4) << '|' << m.VBR.Frames << '|' << m.VBR.Bytes << '|' << int{m.VBR.Scale} << '|'
      << m.VBR.VendorID << '|' << m.ID3v1Tag->Present << '|' << m.ID3v1Tag->Title << '|' << m.ID3v2Tag->Present
      << '|' << int{m.ID3v2Tag->TagVersion} << '|' << m.ID3v2Tag->TagSize;
  return out.str();
}

// The stream read with the ID3v2 tag's header only, as the duration facade
// reads it: the same results as with the whole tag, and the tag's texts left
// cleared.
std::string HeaderOnlyDifference(const std::string& path) {
  TMPEGaudio whole;
  const bool wholeRead = whole.LoadFromFile(path);
  TMPEGaudio headerOnly;
  TReadOnlyFile file(path);
  const bool headerRead = headerOnly.LoadFromFile(file, TTagReading::HeaderOnly);
  if (wholeRead != headerRead) return "LoadFromFile gave " + std::to_string(headerRead);
  if (StreamResults(whole) != StreamResults(headerOnly))
    return StreamResults(headerOnly) + " instead of " + StreamResults(whole);
  if (!headerOnly.ID3v2Tag->Title.empty() || headerOnly.ID3v2Tag->Rating != 0) return "tag contents were read";
  return "";
}

// Streams of the sample set Mp3, each made by lame from a sine of SourceSeconds.
class MPEGaudioRealFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    scratch_ = std::make_unique<TTempDir>();
    dir_ = dztest::SampleFolder(dztest::TSampleSet::Mp3);
    // "LAME 64bits version 3.100 (...)": lame signs its streams "LAME3.100".
    std::istringstream words(dztest::ReadFileText(Path("lame-version.txt")));
    std::string word;
    while (lameVersion_.empty() && words >> word)
      if (word == "version" && words >> word) lameVersion_ = word;
  }
  static void TearDownTestSuite() { scratch_.reset(); }

  static std::string Path(const std::string& file) { return (dir_ / file).string(); }
  static bool Made(const std::string& file) { return std::filesystem::is_regular_file(Path(file)); }
  // "LAME3.10" for lame 3.100: the 8 characters the reader keeps.
  static std::string LameSignature() { return ("LAME" + lameVersion_).substr(0, 8); }

  // ffprobe's count of the audio frames its demuxer reads (the Xing or Info
  // frame is not one of them; a last frame that is all padding is) and its bit rate.
  static void Probe(const std::string& file, std::int64_t& frames, std::int64_t& bitRate) {
    const std::string out = scratch_->File(file + ".probe");
    frames = bitRate = -1;
    if (dztest::RunCommand("ffprobe -v error -count_packets -select_streams a -show_entries "
                           "stream=nb_read_packets,bit_rate -of default=nw=1 " +
                           dztest::ShellQuote(Path(file)) + " > " + dztest::ShellQuote(out)) != 0)
      return;
    std::istringstream lines(dztest::ReadFileText(out));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("nb_read_packets=", 0) == 0) frames = std::stoll(line.substr(16));
      if (line.rfind("bit_rate=", 0) == 0) bitRate = std::stoll(line.substr(9));
    }
  }
  // Samples per channel that ffmpeg decodes from the file.
  static std::int64_t DecodedSamples(const std::string& file) { return dztest::DecodedSamples(Path(file), *scratch_); }

  static std::filesystem::path dir_;
  static std::unique_ptr<TTempDir> scratch_;  // what the tests write: the sample files stay as made
  static std::string lameVersion_;
};

std::filesystem::path MPEGaudioRealFiles::dir_;
std::unique_ptr<TTempDir> MPEGaudioRealFiles::scratch_;
std::string MPEGaudioRealFiles::lameVersion_;

TEST_F(MPEGaudioRealFiles, ConstantBitRate) {
  ASSERT_GE(lameVersion_.size(), 4u) << "lame --version gave no version";
  struct TCase {
    const char* file;
    std::uint8_t version;
    std::uint8_t mode;
    std::uint16_t sampleRate, bitRate;
    bool crc;
    int samplesPerFrame;
    // lame writes an Info frame (with its own tag) when the frame can hold it.
    // Without one, the decoder cannot drop delay and padding.
    bool infoFrame;
  };
  const TCase cases[] = {
      {"mpeg1-joint-128.mp3", VersionMPEG1, ModeJointStereo, 44100, 128, false, 1152, true},
      {"mpeg1-mono-crc-64.mp3", VersionMPEG1, ModeMono, 32000, 64, true, 1152, true},
      {"mpeg2-mono-crc-64.mp3", VersionMPEG2, ModeMono, 22050, 64, true, 576, true},
      {"mpeg2-stereo-32.mp3", VersionMPEG2, ModeStereo, 16000, 32, false, 576, false},  // 144-byte frames
      {"mpeg25-stereo-32.mp3", VersionMPEG25, ModeStereo, 11025, 32, false, 576, true},
      {"mpeg25-mono-crc-16.mp3", VersionMPEG25, ModeMono, 8000, 16, true, 576, false},  // 144-byte frames
      {"mpeg1-no-lame-tag.mp3", VersionMPEG1, ModeJointStereo, 44100, 128, false, 1152, false},
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
    EXPECT_EQ(mpeg.Version(), VersionNames[c.version]);
    EXPECT_EQ(mpeg.Layer(), LayerNames[LayerIII]);
    EXPECT_EQ(mpeg.ChannelMode(), ModeNames[c.mode]);
    EXPECT_EQ(mpeg.SampleRate(), c.sampleRate);
    EXPECT_EQ(mpeg.BitRate(), c.bitRate);
    EXPECT_EQ(mpeg.Frame.ProtectionBit, c.crc);
    EXPECT_EQ(mpeg.Encoder(), "LAME " + LameSignature().substr(4));
    const double bySize = static_cast<double>(size) * 8 / (c.bitRate * 1000.0);
    if (c.infoFrame) {
      // The Info header counts the whole file: its byte rate is the stream's,
      // and the length is its frame count's.
      ASSERT_TRUE(mpeg.VBR.Found);
      EXPECT_EQ(Text4(mpeg.VBR.ID), "Info");
      EXPECT_EQ(mpeg.VBR.Bytes, size);
      EXPECT_EQ(mpeg.VBR.VendorID, LameSignature());
      EXPECT_EQ(mpeg.Frames(), mpeg.VBR.Frames);
      EXPECT_DOUBLE_EQ(mpeg.Duration(), double(mpeg.VBR.Frames) * c.samplesPerFrame / c.sampleRate);
      // The Info frame itself is no longer counted, and the end block is not read.
      EXPECT_NEAR(mpeg.Duration(), bySize, 2.0 * c.samplesPerFrame / c.sampleRate);
      EXPECT_TRUE(mpeg.VendorID.empty());
    } else {
      EXPECT_FALSE(mpeg.VBR.Found);
      EXPECT_DOUBLE_EQ(mpeg.Duration(), bySize);
      const std::int64_t frameBytes = std::int64_t{c.samplesPerFrame} / 8 * c.bitRate * 1000 / c.sampleRate;
      EXPECT_EQ(mpeg.Frames(), size / frameBytes);
      // lame signs the ancillary data of its last frames.
      EXPECT_EQ(mpeg.VendorID, LameSignature());
    }
    // Every rate keeps the whole seconds that its size gave.
    EXPECT_EQ(std::lround(mpeg.Duration()), std::lround(bySize));

    // Against the length of the source: lame's extra samples and the filling
    // of the last frame (less than a frame); less than a millisecond goes to
    // rounding the size.
    const double frameSeconds = double(c.samplesPerFrame) / c.sampleRate;
    const double extra = mpeg.Duration() - SourceSeconds;
    EXPECT_GT(extra, double(LameExtraSamples) / c.sampleRate - 0.001);
    EXPECT_LT(extra, double(LameExtraSamples) / c.sampleRate + 2 * frameSeconds);
    // The decoder plays every frame where lame left no tag, else just the source.
    const std::int64_t decoded = DecodedSamples(c.file);
    ASSERT_GT(decoded, 0);
    EXPECT_NEAR(mpeg.Duration(), double(decoded) / c.sampleRate, c.infoFrame ? 1.0 : frameSeconds);
  }
}

TEST_F(MPEGaudioRealFiles, VariableBitRateWithXingHeader) {
  ASSERT_GE(lameVersion_.size(), 4u) << "lame --version gave no version";
  struct TCase {
    const char* file;
    std::uint8_t version;
    std::uint8_t mode;
    std::uint16_t sampleRate;
    int samplesPerFrame;
  };
  const TCase cases[] = {
      {"vbr-V2.mp3", VersionMPEG1, ModeJointStereo, 44100, 1152},
      {"vbr-V5-mpeg2-mono.mp3", VersionMPEG2, ModeMono, 22050, 576},
      {"abr-96.mp3", VersionMPEG1, ModeJointStereo, 44100, 1152},
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
    EXPECT_EQ(mpeg.Version(), VersionNames[c.version]);
    EXPECT_EQ(mpeg.ChannelMode(), ModeNames[c.mode]);
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

// Files whose length comes from an Info header or from Layer I frames, as
// encoders write them or as only crafted bytes show them: the seconds the
// tool writes, within one second of what ffmpeg decodes.
TEST_F(MPEGaudioRealFiles, InfoHeadersAndLayerIAgainstTheDecoder) {
  ASSERT_TRUE(Made("mpeg1-no-lame-tag.mp3") && Made("ffmpeg-16k.mp3") && Made("ffmpeg-128k.mp3"));
  // lame's 128 kbit/s stream behind an Info frame at 56 kbit/s, as ffmpeg up
  // to 4.x wrote it, and the first third of that file.
  std::int64_t frames = 0, bitRate = 0;
  Probe("mpeg1-no-lame-tag.mp3", frames, bitRate);
  ASSERT_GT(frames, 0) << "ffprobe failed";
  const std::vector<std::uint8_t> stream = dztest::ReadFileBytes(Path("mpeg1-no-lame-tag.mp3"));
  const auto size = static_cast<std::uint32_t>(182 + stream.size());
  const std::vector<std::uint8_t> info56 =
      Concat({Put(XingFrame(Joint56, 182, static_cast<std::uint32_t>(frames), size, "Lavf58.2"), 36, "Info"), stream});
  const std::string slowInfo = scratch_->File("info56-128.mp3");
  dztest::WriteFile(slowInfo, info56);
  const std::string cut = scratch_->File("info56-128-third.mp3");
  dztest::WriteFile(cut, std::vector<std::uint8_t>(info56.begin(), info56.begin() + size / 3));
  const std::string layerI = scratch_->File("layer1.mp3");
  dztest::WriteFile(layerI, LayerIStream(1000));

  struct TCase {
    std::string path;
    std::string vbrId;
    std::int32_t seconds;
  } cases[] = {
      {Path("ffmpeg-16k.mp3"), "Info", 6},  // the 24 kbit/s Info frame's rate gave 4
      {Path("ffmpeg-128k.mp3"), "Info", 5},
      {slowInfo, "Info", 7},                // 56 kbit/s gave 17
      {cut, "Info", 2},                     // the whole file's frame count would give 7
      {Path("mpeg1-joint-128.mp3"), "Info", 7},
      {layerI, std::string(4, '\0'), 9},   // no second header was found: 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TMPEGaudio mpeg;
    mpeg.LoadFromFile(c.path);
    EXPECT_TRUE(mpeg.Valid());
    EXPECT_EQ(Text4(mpeg.VBR.ID), c.vbrId);
    EXPECT_EQ(DuracaoEmSegundos(c.path), c.seconds);
    const std::int64_t decoded = DecodedSamples(c.path);
    ASSERT_GT(decoded, 0) << "ffmpeg failed";
    EXPECT_NEAR(c.seconds, double(decoded) / mpeg.SampleRate(), 1.0);
  }
}

TEST_F(MPEGaudioRealFiles, BigID3v2TagWithCoverAndID3v1Tag) {
  const std::string plainFile = "mpeg1-joint-128.mp3";
  ASSERT_TRUE(Made(plainFile)) << "sox or lame failed";
  const std::string tagged = scratch_->File("tagged.mp3");
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
  EXPECT_EQ(Text4(mpeg.VBR.ID), "Info");
  EXPECT_EQ(mpeg.VBR.VendorID, LameSignature());
  EXPECT_TRUE(mpeg.Valid());

  // Without the tag's contents: the same stream, in three reads (the head
  // with the tag header, the end with the ID3v1 tag, the stream after the tag).
  EXPECT_EQ(HeaderOnlyDifference(tagged), "");
  const TFileCalls before = FileCallsOnThisThread();
  TMPEGaudio headerOnly;
  TReadOnlyFile file(tagged);
  ASSERT_TRUE(headerOnly.LoadFromFile(file, TTagReading::HeaderOnly));
  EXPECT_EQ((FileCallsOnThisThread() - before).Reads, 3u);
  EXPECT_EQ(headerOnly.ID3v2Tag->Title, "");
}

// Every MP3 the tests make, read with the ID3v2 tag's header only.
TEST(MPEGaudioFile, HeaderOnlyTagReadingGivesTheSameStream) {
  for (const dztest::TSampleSet set : {dztest::TSampleSet::Mp3, dztest::TSampleSet::Walk, dztest::TSampleSet::Conferencia}) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dztest::SampleFolder(set))) {
      if (entry.path().extension() != ".mp3") continue;
      ++files;
      EXPECT_EQ(HeaderOnlyDifference(entry.path().string()), "") << entry.path();
    }
    EXPECT_GT(files, 0);
  }
}

}  // namespace
