#pragma once

// Real audio files written by the encoders (sox, lame, ffmpeg), and files cut
// or tagged from them, so that the tests also meet what encoders really
// write. Each set is made once per test build, in a folder of its own under
// the build folder, and then shared by every test program that asks for it;
// test programs that run at the same time wait for one another while a set
// is being made. The files are read only: a test that needs to change or add
// a file works in a folder of its own.

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dztest {

enum class TSampleSet {
  // WAV files of many layouts by sox and ffmpeg: plain PCM of 8, 16 and 24
  // bits, extensible and float headers, 6 channels, LIST and bext chunks,
  // a JUNK chunk in front of the fmt chunk ("ffjunk.wav").
  Wav,
  // lame streams: CBR of MPEG 1, 2 and 2.5 (mono, stereo, joint stereo, with
  // and without CRC, one without lame's Info frame), VBR and ABR with a Xing
  // header, each from a 7.3 s sine; "tone.mp3" (5 s, 128 kbit/s); "lame.mp3",
  // one second of silence tagged by lame itself (ID3v2 only); ffmpeg's CBR
  // streams "ffmpeg-16k.mp3" (6 s, 8000 Hz mono) and "ffmpeg-128k.mp3" (5 s);
  // and "lame-version.txt", what "lame --version" said.
  Mp3,
  // What the test catalogues point at: "tres.wav" (3 s), "dois.wav" (2 s),
  // "curto.wav" (0.4 s), "subfaixa.wav" (1 s), "sub/faixa.wav" (4 s),
  // "sub/falta.wav" (6 s; there is no "falta.wav" beside "tres.wav"), all
  // 8 kHz mono; "cinco.mp3" (5 s, lame's defaults); "texto.wav" and
  // "texto.mp3", plain text that no reader takes for audio.
  Catalogue,
  // What the frame walk meets. lame streams, each from 7.3 s of pink noise so
  // that VBR varies its bit rate: "cbr-128.mp3", "vbr-V2.mp3", "abr-96.mp3"
  // (44.1 kHz stereo), "mpeg2-vbr-mono.mp3" (22.05 kHz, -V 5),
  // "mpeg25-cbr-32.mp3" (11.025 kHz stereo), "mpeg25-mono-crc-8.mp3" (8 kHz)
  // and "free-format.mp3" (400 kbit/s). Made from them: "vbr-half.mp3" and
  // "cbr-half.mp3", the first half of vbr-V2.mp3 and cbr-128.mp3 (interrupted
  // copies); "vbr-no-xing.mp3", vbr-V2.mp3 without its first frame, the Xing
  // frame; "tags-at-end.mp3", cbr-128.mp3 with an APE tag (a 5000-character
  // comment) and an ID3v1 tag by TagLib, and an extended ID3v1 block ("TAG+",
  // 227 bytes) put in front of the ID3v1 tag. Junk ('j' bytes) in front of
  // the audio, more than the reader's first search covers: "junk-1730-cbr.mp3",
  // "junk-2500-cbr.mp3" (cbr-128.mp3), "junk-1730-vbr.mp3", "junk-2500-vbr.mp3"
  // (vbr-V2.mp3), "junk-sync-vbr.mp3" (2500 bytes holding a frame header, then
  // vbr-V2.mp3) and "junk-2500-join.mp3" (before 6 s at 32 kbit/s joined to 4 s
  // at 320, both without an Info frame).
  Walk,
  // What atualiza-duracoes --conferir warns about, all 44.1 kHz stereo:
  // "bom.mp3" (5 s sine, 128 kbit/s) and "bom.wav" (3 s sine), nothing wrong;
  // "truncado.mp3", the first half of "cheio.mp3" (20 s of noise, lame -V 2);
  // "vbr sem xing.mp3", 2 s of silence and 6 s of noise by lame -V 2, without
  // its first frame, the Xing frame; "lixo no fim.mp3", bom.mp3 and 100000
  // zero bytes.
  Conferencia,
};

// The folder of the set, made on first use. Throws std::runtime_error with the
// step that failed (and the encoder's output) when a step fails; nothing is
// kept then, and the next call tries again.
std::filesystem::path SampleFolder(TSampleSet set);

// A suite with a real MP3 made by lame (the set Mp3's "tone.mp3": 5 s at
// 128 kbit/s) and a folder of its own for the files its tests write.
class TSuiteComMp3 : public testing::Test {
protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static std::unique_ptr<TTempDir> dir_;
  static std::string tone_;            // the MP3's path
  static std::string samplesFailure_;  // why there is no MP3, if there is none
  static std::vector<std::uint8_t> mp3Bytes_;
};

// How ffmpeg decodes a file for DecodedSamples.
struct TDecodificacao {
  int taxa = 0;               // resampled to this rate; 0: the file's own
  bool semCorteGapless = false;  // its gapless trimming off: an encoder's delay and padding count as frames do
};

// Samples per channel that ffmpeg decodes from the whole file (mixed to one
// channel, 16 bits), or -1 when it fails; the decode is written into scratch.
std::int64_t DecodedSamples(const std::string& file, const TTempDir& scratch, TDecodificacao como = {});

// The duration facade keeps no reader between its calls (LeitorMPEG, LeitorWAV).
void ExpectNoReader(const std::string& what);

}  // namespace dztest
