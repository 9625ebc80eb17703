#pragma once

// Real audio files written by the encoders (sox, lame, ffmpeg), so that the
// tests also meet what encoders really write. Each set is made once per test
// build, in a folder of its own under the build folder, and then shared by
// every test program that asks for it; test programs that run at the same
// time wait for one another while a set is being made. The files are read
// only: a test that needs to change or add a file works in a folder of its own.

#include <filesystem>

namespace dztest {

enum class TSampleSet {
  // WAV files of many layouts by sox and ffmpeg: plain PCM of 8, 16 and 24
  // bits, extensible and float headers, 6 channels, LIST and bext chunks.
  Wav,
  // lame streams: CBR of MPEG 1, 2 and 2.5 (mono, stereo, joint stereo, with
  // and without CRC, one without lame's Info frame), VBR and ABR with a Xing
  // header, each from a 7.3 s sine; "tone.mp3" (5 s, 128 kbit/s); "lame.mp3",
  // one second of silence tagged by lame itself (ID3v2 only); and
  // "lame-version.txt", what "lame --version" said.
  Mp3,
  // What the test catalogues point at: "tres.wav" (3 s), "dois.wav" (2 s),
  // "curto.wav" (0.4 s), "subfaixa.wav" (1 s), "sub/faixa.wav" (4 s), all
  // 8 kHz mono; "cinco.mp3" (5 s, lame's defaults); "texto.wav" and
  // "texto.mp3", plain text that no reader takes for audio.
  Catalogue,
};

// The folder of the set, made on first use. Throws std::runtime_error with the
// command and the encoder's output when an encoder fails; nothing is kept
// then, and the next call tries again.
std::filesystem::path SampleFolder(TSampleSet set);

}  // namespace dztest
