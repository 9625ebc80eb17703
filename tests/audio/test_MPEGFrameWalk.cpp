#include "audio/MPEGFrameWalk.h"

#include "audio/MPEGaudio.h"
#include "tests/support/MpegFrames.h"
#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

namespace {

using namespace MPEGFrame;
using dztest::TBytes;
using dztest::TTempDir;

// MPEG 1 Layer III at 44100 Hz, joint stereo: 128 kbit/s gives 417-byte
// frames, 160 kbit/s 522-byte ones; 1152 samples each.
constexpr THeaderBytes At128{0xFF, 0xFB, 0x90, 0x64};
constexpr THeaderBytes At160{0xFF, 0xFB, 0xA0, 0x64};
// The same at 48000 Hz: another stream.
constexpr THeaderBytes At128Rate48{0xFF, 0xFB, 0x94, 0x64};
// Bit-rate index 0: a free-format header, which the MPEG reader never takes.
constexpr THeaderBytes FreeFormat{0xFF, 0xFB, 0x00, 0x64};
constexpr std::int64_t Length128 = 417;
constexpr std::int64_t Length160 = 522;
constexpr double FrameSeconds = 1152.0 / 44100;

// MPEG streams built from frames, VBR header frames, tags and junk:
// TStream().Frames(At128, 20).Junk(50).Frames(At128, 5).
class TStream {
public:
  // count frames of the header's length: the header, then zeros.
  TStream& Frames(const THeaderBytes& header, int count) {
    bytes_.Append(dztest::MpegFrames(header, count));
    return *this;
  }
  // A 128 kbit/s frame holding a VBR header: "Xing" or "Info" 36 bytes after
  // its start with the frame count flagged (or not), or "VBRI" there.
  TStream& HeaderFrame(std::string_view id, std::uint32_t frames, bool framesFlagged = true) {
    TBytes frame;
    frame.U8s({At128[0], At128[1], At128[2], At128[3]}).Zeros(32).Str(id);
    if (id == "VBRI") frame.BE16(1).BE16(0).BE16(75).BE32(0).BE32(frames);
    else frame.BE32(framesFlagged ? 0x0F : 0x0E).BE32(frames).BE32(0);
    bytes_.Append(frame.PadTo(Length128));
    return *this;
  }
  // Bytes without a 0xFF, so never a frame sync.
  TStream& Junk(std::size_t count) { return Fill(count, 0x11); }
  TStream& Fill(std::size_t count, std::uint8_t value) {
    bytes_.Fill(count, value);
    return *this;
  }
  TStream& Text(std::string_view text) {
    bytes_.Str(text);
    return *this;
  }
  // An ID3v2.3 tag of totalSize bytes, header included, only padding inside.
  TStream& ID3v2(std::uint32_t totalSize) {
    const std::uint32_t size = totalSize - 10;
    bytes_.Str("ID3").U8s({3, 0, 0});
    for (int shift = 21; shift >= 0; shift -= 7) bytes_.U8((size >> shift) & 0x7F);
    bytes_.Zeros(size);
    return *this;
  }
  TStream& ID3v1() {
    bytes_.Append(TBytes().Str("TAG").Str("Titulo").PadTo(128));
    return *this;
  }
  // The extended block that some taggers put in front of an ID3v1 tag.
  TStream& ID3v1Extended() {
    bytes_.Append(TBytes().Str("TAG+").Str("Titulo longo").PadTo(227));
    return *this;
  }
  // An APE v2 tag of one item, with a header when asked.
  TStream& APE(std::size_t valueLength, bool withHeader) {
    TBytes item;
    item.LE32(static_cast<std::uint32_t>(valueLength)).LE32(0).Str("Comment").U8(0).Fill(valueLength, 0xFF);
    const auto size = static_cast<std::uint32_t>(item.Size() + 32);
    const std::uint32_t flags = withHeader ? 0x80000000u : 0;
    if (withHeader) bytes_.Str("APETAGEX").LE32(2000).LE32(size).LE32(1).LE32(flags | 0x20000000u).Zeros(8);
    bytes_.Append(item).Str("APETAGEX").LE32(2000).LE32(size).LE32(1).LE32(flags).Zeros(8);
    return *this;
  }
  // Lyrics3 v2: the lyrics, the size of all before the footer in 6 digits, "LYRICS200".
  TStream& Lyrics3() {
    const std::string content = "LYRICSBEGININD00002" "10LYR00005Letra";
    char size[7];
    std::snprintf(size, sizeof size, "%06zu", content.size());
    bytes_.Str(content).Str(size).Str("LYRICS200");
    return *this;
  }
  // Drops the last count bytes.
  TStream& Cut(std::size_t count) {
    std::vector<std::uint8_t> kept = bytes_.Data();
    kept.resize(kept.size() - count);
    bytes_ = TBytes().Append(kept);
    return *this;
  }
  const std::vector<std::uint8_t>& Data() const { return bytes_.Data(); }

private:
  TBytes bytes_;
};

// Frames of 1000 bytes with bit-rate index 0: their length is the encoder's choice.
std::vector<std::uint8_t> FreeFormatStream() {
  TBytes bytes;
  for (int i = 0; i < 20; ++i) bytes.U8s({FreeFormat[0], FreeFormat[1], FreeFormat[2], FreeFormat[3]}).Fill(996, 0x55);
  return bytes.Data();
}

TMPEGFrameWalk WalkBytes(const std::vector<std::uint8_t>& bytes) {
  TTempDir dir;
  const std::string path = dir.File("stream.mp3");
  dztest::WriteFile(path, bytes);
  TMPEGFrameWalk walk;
  walk.LoadFromFile(path);
  return walk;
}

// ---------------------------------------------------------------- crafted streams

TEST(MPEGFrameWalk, CraftedStreams) {
  struct TCase {
    const char* what;
    TStream stream;
    std::int64_t frames;
    std::int64_t bytes;
    std::int64_t headerFrames = -1;
    std::int32_t resyncs = 0;
    std::int64_t skipped = 0;
    std::int64_t trailing = 0;
    std::int64_t streamStart = 0;
    bool cut = false;
    bool truncated = false;
    bool bitRateChanges = false;
  };
  const TCase cases[] = {
      {.what = "a constant bit-rate stream to the end of the file",
       .stream = TStream().Frames(At128, 20), .frames = 20, .bytes = 20 * Length128},
      {.what = "the file ends inside the last frame",
       .stream = TStream().Frames(At128, 21).Cut(300), .frames = 20, .bytes = 20 * Length128,
       .trailing = Length128 - 300, .cut = true, .truncated = true},
      {.what = "the file ends inside a frame's header: junk, not a cut frame",
       .stream = TStream().Frames(At128, 20).Text("\xFF\xFB"), .frames = 20, .bytes = 20 * Length128, .trailing = 2},
      {.what = "a Xing header frame is no audio frame",
       .stream = TStream().HeaderFrame("Xing", 20).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .headerFrames = 20},
      {.what = "a Xing header announcing twice the frames there are",
       .stream = TStream().HeaderFrame("Xing", 40).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .headerFrames = 40, .truncated = true},
      {.what = "exactly 1 % fewer frames than announced is not truncated",
       .stream = TStream().HeaderFrame("Xing", 200).Frames(At128, 198), .frames = 198, .bytes = 198 * Length128,
       .headerFrames = 200},
      {.what = "more than 1 % fewer frames than announced is truncated",
       .stream = TStream().HeaderFrame("Xing", 200).Frames(At128, 197), .frames = 197, .bytes = 197 * Length128,
       .headerFrames = 200, .truncated = true},
      {.what = "more frames than announced is not truncated",
       .stream = TStream().HeaderFrame("Xing", 10).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .headerFrames = 10},
      {.what = "a Xing header without the frame-count flag announces nothing",
       .stream = TStream().HeaderFrame("Xing", 40, false).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128},
      {.what = "LAME's Info frame of a constant bit-rate stream",
       .stream = TStream().HeaderFrame("Info", 20).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .headerFrames = 20},
      {.what = "a VBRI header frame",
       .stream = TStream().HeaderFrame("VBRI", 30).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .headerFrames = 30, .truncated = true},
      {.what = "bit rates that change from frame to frame, no VBR header",
       .stream = TStream().Frames(At128, 5).Frames(At160, 5).Frames(At128, 5), .frames = 15,
       .bytes = 10 * Length128 + 5 * Length160, .bitRateChanges = true},
      {.what = "an ID3v2 tag in front: the walk starts behind it",
       .stream = TStream().ID3v2(2048).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .streamStart = 2048},
      {.what = "noise in front of the first frame",
       .stream = TStream().Junk(300).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128, .streamStart = 300},
      // The reader searches again from the middle of the file, 6170, inside the
      // seventh frame, and finds the eighth; the walk still starts at the first.
      {.what = "a first frame that the reader finds only in the middle of the file",
       .stream = TStream().Junk(4000).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .streamStart = 4000},
      {.what = "an ID3v2 tag, then junk longer than the reader's first search",
       .stream = TStream().ID3v2(2048).Junk(2000).Frames(At128, 20), .frames = 20, .bytes = 20 * Length128,
       .streamStart = 4048},
      {.what = "a frame sync and header in the junk, no frame behind it",
       .stream = TStream().Junk(1000).Text("\xFF\xFB\x90\x64").Junk(1000).Frames(At128, 20), .frames = 20,
       .bytes = 20 * Length128, .streamStart = 2004},
      // Two whole frames, which the reader takes for the stream's start (a
      // header one frame length behind another), but not four in a row.
      {.what = "two stray frames in the junk",
       .stream = TStream().Junk(300).Frames(At128, 2).Junk(500).Frames(At128, 20), .frames = 20,
       .bytes = 20 * Length128, .streamStart = 300 + 2 * Length128 + 500},
      {.what = "a stream of two frames that ends the audio starts with fewer than four",
       .stream = TStream().Junk(100).Frames(At128, 2).APE(3000, true).ID3v1(), .frames = 2, .bytes = 2 * Length128,
       .streamStart = 100},
      {.what = "an ID3v1 tag at the end",
       .stream = TStream().Frames(At128, 20).ID3v1(), .frames = 20, .bytes = 20 * Length128},
      {.what = "an APE tag with a header, an extended ID3v1 block and an ID3v1 tag",
       .stream = TStream().Frames(At128, 20).APE(3000, true).ID3v1Extended().ID3v1(), .frames = 20,
       .bytes = 20 * Length128},
      {.what = "an APE tag without a header, then nothing",
       .stream = TStream().Frames(At128, 20).APE(100, false), .frames = 20, .bytes = 20 * Length128},
      {.what = "Lyrics3 v2 and an ID3v1 tag",
       .stream = TStream().Frames(At128, 20).Lyrics3().ID3v1(), .frames = 20, .bytes = 20 * Length128},
      {.what = "a frame cut off by the ID3v1 tag behind it",
       .stream = TStream().Frames(At128, 21).Cut(200).ID3v1(), .frames = 20, .bytes = 20 * Length128,
       .trailing = Length128 - 200, .cut = true, .truncated = true},
      {.what = "junk behind the last frame",
       .stream = TStream().Frames(At128, 20).Junk(500), .frames = 20, .bytes = 20 * Length128, .trailing = 500},
      {.what = "zeros behind the last frame",
       .stream = TStream().Frames(At128, 20).Fill(5000, 0), .frames = 20, .bytes = 20 * Length128, .trailing = 5000},
      {.what = "a damaged place between frames",
       .stream = TStream().Frames(At128, 10).Junk(50).Frames(At128, 10), .frames = 20, .bytes = 20 * Length128,
       .resyncs = 1, .skipped = 50},
      {.what = "a frame sync inside the damage that no frame follows",
       .stream = TStream().Frames(At128, 10).Junk(20).Text("\xFF\xFB\x90\x64").Junk(30).Frames(At128, 10),
       .frames = 20, .bytes = 20 * Length128, .resyncs = 1, .skipped = 54},
      {.what = "two damaged places",
       .stream = TStream().Frames(At128, 5).Junk(10).Frames(At128, 5).Junk(700).Frames(At128, 5), .frames = 15,
       .bytes = 15 * Length128, .resyncs = 2, .skipped = 710},
      {.what = "damage longer than the resync window ends the walk",
       .stream = TStream().Frames(At128, 10).Junk(70000).Frames(At128, 10), .frames = 10, .bytes = 10 * Length128,
       .trailing = 70000 + 10 * Length128},
      {.what = "an ID3v2 tag between two joined streams is stepped over",
       .stream = TStream().Frames(At128, 10).ID3v2(100000).Frames(At128, 10), .frames = 20,
       .bytes = 20 * Length128, .skipped = 100000},
      {.what = "an ID3v2 tag that claims more bytes than the file holds",
       .stream = TStream().Frames(At128, 10).ID3v2(100000).Cut(90000), .frames = 10, .bytes = 10 * Length128,
       .skipped = 10000, .trailing = 10000},
      {.what = "a stream at another sample rate behind the first ends the walk",
       .stream = TStream().Frames(At128, 10).Frames(At128Rate48, 10), .frames = 10, .bytes = 10 * Length128,
       .trailing = 10 * 384},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TMPEGFrameWalk walk = WalkBytes(c.stream.Data());
    const auto size = static_cast<std::int64_t>(c.stream.Data().size());
    ASSERT_TRUE(walk.Walked);
    EXPECT_EQ(walk.StreamStart, c.streamStart);
    EXPECT_EQ(walk.SampleRate, 44100u);
    EXPECT_EQ(walk.Frames, c.frames);
    EXPECT_EQ(walk.Bytes, c.bytes);
    EXPECT_EQ(walk.Samples, c.frames * 1152);
    EXPECT_DOUBLE_EQ(walk.Duration(), c.frames * FrameSeconds);
    EXPECT_EQ(walk.HeaderFrames, c.headerFrames);
    EXPECT_EQ(walk.Resyncs, c.resyncs);
    EXPECT_EQ(walk.SkippedBytes, c.skipped);
    EXPECT_EQ(walk.TrailingBytes(), c.trailing);
    EXPECT_EQ(walk.LastFrameCut, c.cut);
    EXPECT_EQ(walk.Truncated(), c.truncated);
    EXPECT_EQ(walk.BitRateChanges, c.bitRateChanges);
    EXPECT_LE(walk.StreamEnd, walk.AudioEnd);
    EXPECT_LE(walk.AudioEnd, size);
  }
}

TEST(MPEGFrameWalk, TagsBehindTheAudioEndIt) {
  const std::int64_t audio = 20 * Length128;
  const struct {
    const char* what;
    TStream stream;
    std::int64_t tags;
  } cases[] = {
      {"none", TStream().Frames(At128, 20), 0},
      {"ID3v1", TStream().Frames(At128, 20).ID3v1(), 128},
      {"extended ID3v1", TStream().Frames(At128, 20).ID3v1Extended().ID3v1(), 227 + 128},
      {"APE with header, then ID3v1", TStream().Frames(At128, 20).APE(3000, true).ID3v1(), 32 + 16 + 3000 + 32 + 128},
      {"ID3v1, then APE without header", TStream().Frames(At128, 20).ID3v1().APE(10, false), 128 + 16 + 10 + 32},
      {"Lyrics3 v2", TStream().Frames(At128, 20).Lyrics3(), 34 + 15},
      // "TAG+" alone, without the ID3v1 tag behind it, is no tag: junk.
      {"TAG+ alone", TStream().Frames(At128, 20).ID3v1Extended(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TMPEGFrameWalk walk = WalkBytes(c.stream.Data());
    EXPECT_EQ(static_cast<std::int64_t>(c.stream.Data().size()) - walk.AudioEnd, c.tags);
    EXPECT_EQ(walk.StreamEnd, audio);
    EXPECT_EQ(walk.Frames, 20);
  }
}

TEST(MPEGFrameWalk, NothingToWalk) {
  TTempDir dir;
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"text", TBytes().Fill(8000, 'x')},
      {"an empty file", {}},
      {"a free-format stream", FreeFormatStream()},
      {"a single frame: the reader wants a second header behind it", TStream().Frames(At128, 1).Junk(3000).Data()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("x.mp3");
    dztest::WriteFile(path, c.bytes);
    TMPEGFrameWalk walk;
    EXPECT_FALSE(walk.LoadFromFile(path));
    EXPECT_FALSE(walk.Walked);
    EXPECT_EQ(walk.Frames, 0);
    EXPECT_EQ(walk.Duration(), 0.0);
    EXPECT_FALSE(walk.Truncated());
    EXPECT_EQ(walk.TrailingBytes(), 0);
  }
  TMPEGFrameWalk walk;
  EXPECT_FALSE(walk.LoadFromFile(dir.File("missing.mp3")));
  EXPECT_FALSE(walk.LoadFromFile(dir.Path().string()));  // a folder
}

// A reader loaded from another file gives no starting point in this one,
// and nothing of an earlier walk survives a later one.
TEST(MPEGFrameWalk, StartsOnlyFromTheReadersFrameInThisFile) {
  TTempDir dir;
  const std::string withTag = dir.File("tag.mp3");
  const std::string plain = dir.File("plain.mp3");
  dztest::WriteFile(withTag, TStream().ID3v2(1000).Frames(At128, 20).Data());
  dztest::WriteFile(plain, TStream().Junk(7).Frames(At160, 8).Data());
  TMPEGaudio mpeg;
  ASSERT_TRUE(mpeg.LoadFromFile(withTag));
  TMPEGFrameWalk walk;
  ASSERT_TRUE(walk.LoadFromFile(withTag, mpeg));
  EXPECT_EQ(walk.Frames, 20);
  EXPECT_FALSE(walk.LoadFromFile(plain, mpeg));
  EXPECT_FALSE(walk.Walked);
  EXPECT_EQ(walk.Frames, 0);
  ASSERT_TRUE(walk.LoadFromFile(plain));
  EXPECT_EQ(walk.StreamStart, 7);
  EXPECT_EQ(walk.Frames, 8);
  EXPECT_EQ(walk.Bytes, 8 * Length160);
}

// A stream many times the size of the walk's buffer, with a damaged place
// across a buffer boundary: every frame is found.
TEST(MPEGFrameWalk, StreamsLongerThanTheBuffer) {
  TStream stream;
  stream.HeaderFrame("Xing", 3000);
  for (int i = 0; i < 10; ++i) stream.Frames(At128, 150).Junk(13).Frames(At160, 150);
  const TMPEGFrameWalk walk = WalkBytes(stream.Data());
  EXPECT_EQ(walk.Frames, 3000);
  EXPECT_EQ(walk.Bytes, 1500 * (Length128 + Length160));
  EXPECT_EQ(walk.Resyncs, 10);
  EXPECT_EQ(walk.SkippedBytes, 130);
  EXPECT_FALSE(walk.Truncated());
  EXPECT_TRUE(walk.BitRateChanges);
}

// ---------------------------------------------------------------- real encoder output

// The sample set Walk: lame's streams of noise, and copies of them cut short,
// without their Xing frame or with tags behind the audio.
class MPEGFrameWalkRealFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    scratch_ = std::make_unique<TTempDir>();
    dir_ = dztest::SampleFolder(dztest::TSampleSet::Walk);
  }
  static void TearDownTestSuite() { scratch_.reset(); }

  static std::string Path(const std::string& file) { return (dir_ / file).string(); }
  static bool Made(const std::string& file) { return std::filesystem::is_regular_file(Path(file)); }

  // Samples per channel that ffmpeg decodes from the whole file, as its
  // "ffmpeg -i FILE -f null -" run does, counted sample by sample (the time
  // it prints follows timestamps, in steps of 10 ms). Its gapless trimming
  // is off: the encoder's delay and padding are frames of the stream, which
  // the walk counts, as the VBR header's frame count does.
  static std::int64_t DecodedSamples(const std::string& file) {
    return dztest::DecodedSamples(Path(file), *scratch_, {.semCorteGapless = true});
  }

  static std::filesystem::path dir_;
  static std::unique_ptr<TTempDir> scratch_;  // ffmpeg's decodes: the sample files stay as made
};

std::filesystem::path MPEGFrameWalkRealFiles::dir_;
std::unique_ptr<TTempDir> MPEGFrameWalkRealFiles::scratch_;

TEST_F(MPEGFrameWalkRealFiles, WalkedDurationAgreesWithAFullDecode) {
  struct TCase {
    const char* file;
    int rate;
    int samplesPerFrame;
    bool truncated;
    // The MPEG reader's VBR header: its estimate comes from a Xing header's
    // frame count, or from the byte rate that an Info header gives.
    std::string vbrId;
  };
  const std::string none(4, '\0');
  const TCase cases[] = {
      {"cbr-128.mp3", 44100, 1152, false, "Info"},
      {"vbr-V2.mp3", 44100, 1152, false, "Xing"},
      {"abr-96.mp3", 44100, 1152, false, "Xing"},
      {"mpeg2-vbr-mono.mp3", 22050, 576, false, "Xing"},
      {"mpeg25-cbr-32.mp3", 11025, 576, false, "Info"},
      {"mpeg25-mono-crc-8.mp3", 8000, 576, false, none},  // 72-byte frames hold no Info header
      {"vbr-half.mp3", 44100, 1152, true, "Xing"},
      {"cbr-half.mp3", 44100, 1152, true, "Info"},
      {"vbr-no-xing.mp3", 44100, 1152, false, none},
      {"tags-at-end.mp3", 44100, 1152, false, "Info"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(Made(c.file)) << "sox, lame or TagLib failed";
    const std::int64_t decoded = DecodedSamples(c.file);
    ASSERT_GT(decoded, 0) << "ffmpeg failed";
    TMPEGaudio mpeg;
    mpeg.LoadFromFile(Path(c.file));
    EXPECT_EQ(mpeg.VBR.Found, c.vbrId != none);
    EXPECT_EQ(std::string(mpeg.VBR.ID, 4), c.vbrId);
    TMPEGFrameWalk walk;
    ASSERT_TRUE(walk.LoadFromFile(Path(c.file), mpeg));
    EXPECT_EQ(walk.SampleRate, static_cast<std::uint32_t>(c.rate));
    const double frameSeconds = double(c.samplesPerFrame) / c.rate;
    EXPECT_NEAR(walk.Duration(), double(decoded) / c.rate, frameSeconds + 1e-9);
    EXPECT_EQ(walk.Truncated(), c.truncated);
    EXPECT_EQ(walk.Resyncs, 0);
    if (!c.truncated) {
      EXPECT_EQ(walk.TrailingBytes(), 0);
    }
    // Where nothing is wrong, the reader's estimate is right too, within the
    // second that atualiza-duracoes --conferir allows (it counts a frame
    // holding the VBR header, and APE and extended ID3v1 tags, as audio). A
    // copy of a constant-rate stream cut short is measured by the bytes it
    // holds, its Info header's counts giving only the byte rate.
    if ((!c.truncated || c.vbrId == "Info") && std::string(c.file) != "vbr-no-xing.mp3") {
      EXPECT_NEAR(mpeg.Duration(), walk.Duration(), 1.0);
    }
  }
}

// The two files whose estimate goes wrong, against the files they came from.
TEST_F(MPEGFrameWalkRealFiles, WhatTheEstimateMisses) {
  ASSERT_TRUE(Made("vbr-V2.mp3") && Made("vbr-half.mp3") && Made("vbr-no-xing.mp3") && Made("tags-at-end.mp3"));
  TMPEGFrameWalk whole, half, noXing, cbr, tagged;
  ASSERT_TRUE(whole.LoadFromFile(Path("vbr-V2.mp3")));
  ASSERT_TRUE(half.LoadFromFile(Path("vbr-half.mp3")));
  ASSERT_TRUE(noXing.LoadFromFile(Path("vbr-no-xing.mp3")));
  ASSERT_TRUE(cbr.LoadFromFile(Path("cbr-128.mp3")));
  ASSERT_TRUE(tagged.LoadFromFile(Path("tags-at-end.mp3")));

  // The Xing header of the half still announces every frame of the whole.
  EXPECT_EQ(whole.HeaderFrames, whole.Frames);
  EXPECT_EQ(half.HeaderFrames, whole.Frames);
  // The half holds the whole's frames up to its cut: the walk ends where
  // the frame that the cut splits begins (at most 1,045 bytes at 320 kbit/s
  // and 44.1 kHz, padded 1,046).
  const auto halfSize = static_cast<std::int64_t>(std::filesystem::file_size(Path("vbr-half.mp3")));
  EXPECT_EQ(half.StreamStart, whole.StreamStart);
  EXPECT_LE(half.StreamEnd, halfSize);
  EXPECT_LT(halfSize - half.StreamEnd, 1046);
  EXPECT_TRUE(half.LastFrameCut || half.StreamEnd == halfSize);
  EXPECT_LT(half.Frames, whole.Frames);
  TMPEGaudio halfEstimate;
  halfEstimate.LoadFromFile(Path("vbr-half.mp3"));
  EXPECT_DOUBLE_EQ(halfEstimate.Duration(), whole.Duration());

  // Without its Xing frame the stream still has every audio frame, and shows
  // that its bit rate varies.
  EXPECT_EQ(noXing.Frames, whole.Frames);
  EXPECT_EQ(noXing.Bytes, whole.Bytes);
  EXPECT_EQ(noXing.HeaderFrames, -1);
  EXPECT_TRUE(noXing.BitRateChanges);
  EXPECT_FALSE(cbr.BitRateChanges);

  // The tags behind the audio are no part of it.
  EXPECT_EQ(tagged.Frames, cbr.Frames);
  EXPECT_EQ(tagged.Bytes, cbr.Bytes);
  EXPECT_EQ(tagged.StreamEnd, cbr.StreamEnd);
  EXPECT_GT(static_cast<std::int64_t>(std::filesystem::file_size(Path("tags-at-end.mp3"))) - tagged.AudioEnd,
            5000 + 227 + 128);
}

TEST_F(MPEGFrameWalkRealFiles, FreeFormatIsNotWalkable) {
  ASSERT_TRUE(Made("free-format.mp3")) << "lame failed";
  TMPEGaudio mpeg;
  mpeg.LoadFromFile(Path("free-format.mp3"));
  EXPECT_FALSE(mpeg.Frame.Found);
  TMPEGFrameWalk walk;
  EXPECT_FALSE(walk.LoadFromFile(Path("free-format.mp3"), mpeg));
  EXPECT_FALSE(walk.Walked);
  EXPECT_EQ(walk.Duration(), 0.0);
}

}  // namespace
