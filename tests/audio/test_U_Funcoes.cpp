#include "audio/U_Funcoes.h"

#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/WAVfile.h"
#include "tests/support/MpegFrames.h"
#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

namespace {

using dztest::TBytes;
using dztest::TTempDir;

// A 16-byte fmt chunk followed by a fact chunk: duration sampleCount / sampleRate.
std::vector<std::uint8_t> WavWithFact(std::uint32_t sampleCount, std::uint32_t sampleRate) {
  return TBytes()
      .Str("RIFF").LE32(48).Str("WAVE")
      .Str("fmt ").LE32(16).LE16(1).LE16(1).LE32(sampleRate).LE32(2 * sampleRate).LE16(2).LE16(16)
      .Str("fact").LE32(4).LE32(sampleCount)
      .Str("data").LE32(0);
}

using dztest::ExpectNoReader;

// A real MP3 made by lame (the sample set Mp3) and a 3-second WAV header,
// stored under several names in a folder of the suite's own.
class UFuncoes : public dztest::TSuiteComMp3 {};

TEST_F(UFuncoes, ExtensionChoosesTheReader) {
  ASSERT_EQ(samplesFailure_, "");
  ExpectNoReader("before any call");
  // The MP3 plays 5 s; the WAV header claims 3 s. Each reader finds nothing in the other's bytes.
  const std::vector<std::uint8_t> wav3s = dztest::PlainWav(3000, 1000);
  std::filesystem::create_directory(dir_->Path() / "dir.mp3");
  struct TCase {
    const char* what;
    const char* name;  // inside the test folder
    bool mp3Bytes;
    std::int32_t seconds;
    TMotivoDuracao reason;
  } cases[] = {
      {".mp3: MPEG reader", "a.mp3", true, 5, TMotivoDuracao::Medida},
      {".Mp3: MPEG reader", "b.Mp3", true, 5, TMotivoDuracao::Medida},
      {".MP3: MPEG reader", "c.MP3", true, 5, TMotivoDuracao::Medida},
      {"WAV bytes named .mp3: MPEG reader finds no frame", "w.mp3", false, 0, TMotivoDuracao::SemQuadroMPEG},
      {"WAV bytes named .MP3", "W.MP3", false, 0, TMotivoDuracao::SemQuadroMPEG},
      {".wav: WAV reader", "w.wav", false, 3, TMotivoDuracao::Medida},
      {".ogg: WAV reader", "w.ogg", false, 3, TMotivoDuracao::Medida},
      {".mp3.bak: WAV reader", "w.mp3.bak", false, 3, TMotivoDuracao::Medida},
      {".mp3x: WAV reader", "w.mp3x", false, 3, TMotivoDuracao::Medida},
      {"no dot: WAV reader", "semponto", false, 3, TMotivoDuracao::Medida},
      {"dot only in a folder name: WAV reader", "dir.mp3/faixa", false, 3, TMotivoDuracao::Medida},
      {"Windows-style path, dot only in a folder: WAV reader", "C:\\a.mp3\\faixa", false, 3, TMotivoDuracao::Medida},
      {"drive-relative name after the dot: WAV reader", "x.mp3:faixa", false, 3, TMotivoDuracao::Medida},
      {"MPEG stream named .wav: no RIFF header, 0", "mpeg.wav", true, 0, TMotivoDuracao::NaoEWave},
      {"MPEG stream named .mp3.bak", "mpeg.mp3.bak", true, 0, TMotivoDuracao::NaoEWave},
  };
  for (const auto& c : cases) {
    const std::string path = dir_->File(c.name);
    dztest::WriteFile(path, c.mp3Bytes ? mp3Bytes_ : wav3s);
    TMotivoDuracao reason = TMotivoDuracao::DuracaoInvalida;
    EXPECT_EQ(DuracaoEmSegundos(path, &reason), c.seconds) << c.what;
    EXPECT_EQ(reason, c.reason) << c.what;
    ExpectNoReader(c.what);
    EXPECT_EQ(DuracaoEmSegundos(path), c.seconds) << c.what;
    ExpectNoReader(c.what);
  }
}

TEST_F(UFuncoes, MP3SecondsAreTheReadersDurationRounded) {
  ASSERT_EQ(samplesFailure_, "");
  const std::string path = tone_;
  TMPEGaudio reader;
  reader.LoadFromFile(path);
  ASSERT_TRUE(reader.Frame.Found);
  EXPECT_NEAR(reader.Duration(), 5.0, 0.1);
  EXPECT_EQ(DuracaoEmSegundos(path), static_cast<std::int32_t>(std::nearbyint(reader.Duration())));
  ExpectNoReader("after an MP3");
}

TEST_F(UFuncoes, WhyAFileGetsNothing) {
  struct TCase {
    const char* what;
    const char* name;  // nullptr: the test folder itself
    std::vector<std::uint8_t> bytes;
    bool write;
    std::int32_t seconds;
    TMotivoDuracao reason;
  } cases[] = {
      {"no file at the path", "missing.wav", {}, false, 0, TMotivoDuracao::ArquivoInexistente},
      {"no file, MP3 name", "missing.mp3", {}, false, 0, TMotivoDuracao::ArquivoInexistente},
      {"a folder", nullptr, {}, false, 0, TMotivoDuracao::ArquivoInexistente},
      {"empty file", "empty.wav", {}, true, 0, TMotivoDuracao::NaoEWave},
      {"10 bytes: header unreadable", "short.wav", TBytes().Str("RIFF").Zeros(6), true, 0, TMotivoDuracao::NaoEWave},
      {"text file", "notes.txt", TBytes().Str("not audio at all, just some text\n").PadTo(100, 'x'), true, 0,
       TMotivoDuracao::NaoEWave},
      {"3 channels: not valid", "six.wav", dztest::PlainWav(3000, 1000, 3), true, 0, TMotivoDuracao::NaoEWave},
      {"empty .mp3 file", "empty.mp3", {}, true, 0, TMotivoDuracao::SemQuadroMPEG},
      {"0.5 s", "half.wav", dztest::PlainWav(50, 100), true, 0, TMotivoDuracao::MeioSegundoOuMenos},
      {"valid header, no bytes per second", "nobps.wav", dztest::PlainWav(50, 0), true, 0, TMotivoDuracao::MeioSegundoOuMenos},
      {"0.51 s", "more.wav", dztest::PlainWav(51, 100), true, 1, TMotivoDuracao::Medida},
  };
  for (const auto& c : cases) {
    const std::string path = c.name != nullptr ? dir_->File(c.name) : dir_->Path().string();
    if (c.write) dztest::WriteFile(path, c.bytes);
    TMotivoDuracao reason = TMotivoDuracao::Medida;
    EXPECT_EQ(DuracaoEmSegundos(path, &reason), c.seconds) << c.what;
    EXPECT_EQ(reason, c.reason) << c.what;
    ExpectNoReader(c.what);
  }
  EXPECT_EQ(DuracaoEmSegundos(""), 0);
  ExpectNoReader("empty path");
}

// What exists but is neither a folder nor a regular file has its own reason
// and is never opened for reading; a folder counts as no file.
TEST_F(UFuncoes, WhatIsThereButIsNoRegularFile) {
  const std::string pipeWav = dir_->File("pipe.wav");
  const std::string pipeMp3 = dir_->File("pipe.mp3");
  ASSERT_EQ(::mkfifo(pipeWav.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(pipeMp3.c_str(), 0600), 0);
  const std::string socketPath = dir_->File("socket.wav");
  const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listening, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  std::filesystem::create_directory(dir_->Path() / "pasta.mp3");
  std::filesystem::create_directory_symlink(dir_->Path() / "pasta.mp3", dir_->Path() / "atalho.wav");
  std::filesystem::create_symlink("/dev/null", dir_->Path() / "nulo.mp3");
  const struct {
    const char* what;
    std::string path;
    TMotivoDuracao reason;
  } cases[] = {
      {"named pipe, WAV name", pipeWav, TMotivoDuracao::NaoEArquivoComum},
      {"named pipe, MP3 name", pipeMp3, TMotivoDuracao::NaoEArquivoComum},
      {"device", "/dev/null", TMotivoDuracao::NaoEArquivoComum},
      {"link to a device, MP3 name", dir_->File("nulo.mp3"), TMotivoDuracao::NaoEArquivoComum},
      {"socket", socketPath, TMotivoDuracao::NaoEArquivoComum},
      {"folder with an MP3 name", dir_->File("pasta.mp3"), TMotivoDuracao::ArquivoInexistente},
      {"link to a folder", dir_->File("atalho.wav"), TMotivoDuracao::ArquivoInexistente},
  };
  for (const auto& c : cases) {
    TMotivoDuracao reason = TMotivoDuracao::Medida;
    const TFileCalls before = FileCallsOnThisThread();
    EXPECT_EQ(DuracaoEmSegundos(c.path, &reason), 0) << c.what;
    const TFileCalls calls = FileCallsOnThisThread() - before;
    EXPECT_EQ(reason, c.reason) << c.what;
    EXPECT_EQ(calls.Reopens, 0u) << c.what << ": never opened for reading";
    EXPECT_EQ(calls.Reads, 0u) << c.what;
    ExpectNoReader(c.what);
  }
  ::close(listening);
}

// The system call the process is in, from /proc ("running" or -1 when none).
long SystemCallOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
  long number = -1;
  in >> number;
  return in ? number : -1;
}

// True while the process waits inside an open.
bool WaitsInOpen(pid_t pid) {
  const long number = SystemCallOf(pid);
#ifdef SYS_open
  if (number == SYS_open) return true;
#endif
  return number == SYS_openat;
}

// A program that waits at a pipe to write into it is not released by a
// measurement of the pipe: the pipe is never opened for reading.
TEST_F(UFuncoes, APipeWithAWriterWaitingIsLeftWaiting) {
  const std::string pipe = dir_->File("espera.wav");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    const int handle = ::open(pipe.c_str(), O_WRONLY);  // waits for a reader
    ::_exit(handle >= 0 ? 0 : 1);
  }
  // Until the writer waits inside its open; once there it stays until a reader comes.
  for (int i = 0; i < 10000 && !WaitsInOpen(writer); ++i) ::usleep(1000);
  const bool waiting = WaitsInOpen(writer);
  TMotivoDuracao reason = TMotivoDuracao::Medida;
  const TFileCalls before = FileCallsOnThisThread();
  const std::int32_t seconds = DuracaoEmSegundos(pipe, &reason);
  const TFileCalls calls = FileCallsOnThisThread() - before;
  int status = 0;
  const pid_t ended = ::waitpid(writer, &status, WNOHANG);
  // A writer that asks without waiting is told that no reader has the pipe open.
  const int probe = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
  const int probeError = errno;
  ::kill(writer, SIGKILL);
  ::waitpid(writer, &status, 0);
  ASSERT_TRUE(waiting) << "the writer never waited in its open";
  EXPECT_EQ(seconds, 0);
  EXPECT_EQ(reason, TMotivoDuracao::NaoEArquivoComum);
  EXPECT_EQ(calls.Reopens, 0u);
  EXPECT_EQ(ended, 0) << "the writer was released";
  EXPECT_EQ(probe, -1);
  EXPECT_EQ(probeError, ENXIO);
  if (probe >= 0) ::close(probe);
}

// As root every file may be read, so the check runs in a child that has
// become "nobody" (uid and gid 65534) for good: the file layer's own calls,
// no seam. Each case's reason comes back as the child's exit status.
TEST_F(UFuncoes, WhatThisUserMayNotReadHasItsOwnReason) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to become another user";
  std::filesystem::permissions(dir_->Path(), std::filesystem::perms(0755));
  const std::string closedFile = dir_->File("fechado.wav");
  dztest::WriteFile(closedFile, dztest::PlainWav(3000, 1000));
  ASSERT_EQ(::chmod(closedFile.c_str(), 0600), 0);
  const std::filesystem::path closedFolder = dir_->Path() / "trancada";
  std::filesystem::create_directory(closedFolder);
  dztest::WriteFile((closedFolder / "dentro.wav").string(), dztest::PlainWav(3000, 1000));
  ASSERT_EQ(::chmod(closedFolder.c_str(), 0700), 0);
  const std::string openFile = dir_->File("aberto.wav");
  dztest::WriteFile(openFile, dztest::PlainWav(3000, 1000));
  ASSERT_EQ(::chmod(openFile.c_str(), 0644), 0);
  const struct {
    const char* what;
    std::string path;
    int seconds;
    TMotivoDuracao reason;
  } cases[] = {
      {"a file this user may not read", closedFile, 0, TMotivoDuracao::SemPermissao},
      {"a file in a folder this user may not enter", (closedFolder / "dentro.wav").string(), 0,
       TMotivoDuracao::SemPermissao},
      {"a file this user may read", openFile, 3, TMotivoDuracao::Medida},
      {"no file, in a folder this user may enter", dir_->File("nada.wav"), 0, TMotivoDuracao::ArquivoInexistente},
  };
  for (const auto& c : cases) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
          ::setresuid(65534, 65534, 65534) != 0)
        ::_exit(100);
      TMotivoDuracao reason = TMotivoDuracao::Medida;
      const std::int32_t seconds = DuracaoEmSegundos(c.path, &reason);
      ::_exit(seconds == c.seconds ? static_cast<int>(reason) : 101);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << c.what;
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(c.reason)) << c.what << " (100: could not become nobody, 101: "
                                                                  "wrong length)";
  }
}

// On a network share every system call is a round trip: a measured file
// costs one open by name, one size query, one open for reading of what that
// open found (no second lookup of the name), its reads and one close, and
// nothing asks for the path by name otherwise.
TEST_F(UFuncoes, OneOpenPerMeasuredFile) {
  ASSERT_EQ(samplesFailure_, "");
  // A popularimeter frame with an e-mail address sends the ID3v2 reader to
  // its complete parser, which reads through the same open file.
  const std::string rated = dir_->File("rated.mp3");
  const std::string_view popularimeter("dj@radio.example\0\x80", 18);
  dztest::WriteFile(rated, TBytes().Append(dztest::Id3v2TagWithPopularimeter(popularimeter)).Append(mp3Bytes_));
  // A fmt chunk longer than the header read puts the fact chunk beyond it: still inside the head block.
  const std::string longFmt = dir_->File("long-fmt.wav");
  dztest::WriteFile(longFmt, TBytes()
                                 .Str("RIFF").LE32(4 + 8 + 200 + 12 + 8).Str("WAVE")
                                 .Str("fmt ").LE32(200).LE16(1).LE16(1).LE32(8000).LE32(16000).LE16(2).LE16(16)
                                 .Zeros(184)
                                 .Str("fact").LE32(4).LE32(24000)
                                 .Str("data").LE32(0));
  const std::string plainWav = dir_->File("plain.wav");
  dztest::WriteFile(plainWav, dztest::PlainWav(3000, 1000));
  // Reads of an MP3 without a tag body: a block at its head (the ID3v2
  // header, the first frames) and one at its end (the ID3v1 tag, the
  // encoder signature before it).
  constexpr std::uint64_t UntaggedMp3Reads = 2;
  const struct {
    const char* what;
    std::string path;
    std::int32_t seconds;
    std::uint64_t maxReads;  // 0: not counted here
  } cases[] = {
      {"MP3 by lame", tone_, 5, UntaggedMp3Reads},
      {"MP3 with a rating for the complete parser", rated, 5, 0},
      {"WAV, plain header", plainWav, 3, 1},
      {"WAV, fact chunk after a long fmt chunk", longFmt, 3, 1},
  };
  for (const auto& c : cases) {
    const TFileCalls before = FileCallsOnThisThread();
    EXPECT_EQ(DuracaoEmSegundos(c.path), c.seconds) << c.what;
    const TFileCalls calls = FileCallsOnThisThread() - before;
    EXPECT_EQ(calls.Opens, 1u) << c.what;
    EXPECT_EQ(calls.Reopens, 1u) << c.what;
    EXPECT_EQ(calls.SizeQueries, 1u) << c.what;
    EXPECT_EQ(calls.PathQueries, 0u) << c.what;
    EXPECT_EQ(calls.Closes, 1u) << c.what;
    EXPECT_GE(calls.Reads, 1u) << c.what;
    if (c.maxReads != 0) {
      EXPECT_LE(calls.Reads, c.maxReads) << c.what;
    }
  }

  TFileCalls before = FileCallsOnThisThread();
  TMPEGaudio reader;
  reader.LoadFromFile(rated);
  EXPECT_EQ(int{reader.ID3v2Tag->Rating}, 0x80);
  EXPECT_EQ((FileCallsOnThisThread() - before).Opens, 1u) << "the MPEG reader with its tag readers";

  before = FileCallsOnThisThread();
  EXPECT_EQ(DuracaoEmSegundos(dir_->File("nothing.mp3")), 0);
  const TFileCalls missing = FileCallsOnThisThread() - before;
  EXPECT_EQ(missing.Opens, 1u) << "a missing file: the open alone tells";
  EXPECT_EQ(missing.SizeQueries + missing.PathQueries + missing.Reads + missing.Closes, 0u);
}

TEST_F(UFuncoes, RoundsWAVDurationsHalvesToEven) {
  struct TCase {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::int32_t seconds;
  } cases[] = {
      {"2.5 s gives 2", dztest::PlainWav(250, 100), 2},
      {"3.5 s gives 4", dztest::PlainWav(350, 100), 4},
      {"0.49 s gives 0", dztest::PlainWav(49, 100), 0},
      {"0.5 s gives 0", dztest::PlainWav(50, 100), 0},
      {"1.5 s gives 2", dztest::PlainWav(150, 100), 2},
      {"4.5 s gives 4", dztest::PlainWav(450, 100), 4},
      {"2.51 s gives 3", dztest::PlainWav(251, 100), 3},
      {"from a fact chunk: 7.5 s gives 8", WavWithFact(60000, 8000), 8},
      {"fact count 2^31 - 1 at 1 Hz", WavWithFact(0x7FFFFFFF, 1), 0x7FFFFFFF},
  };
  const std::string path = dir_->File("round.wav");
  for (const auto& c : cases) {
    dztest::WriteFile(path, c.bytes);
    EXPECT_EQ(DuracaoEmSegundos(path), c.seconds) << c.what;
    ExpectNoReader(c.what);
  }
}

// A length whose low 32 bits are negative is written as 0, as for a file
// that can't be measured: no playout schedules -45 s or shows "00:-4". The
// files are as long as their headers say (sparse: nothing is written but
// the header), at 1 byte a second.
TEST(UFuncoesNoNegativeLength, LowBitsNegativeGiveNothing) {
  struct TCase {
    const char* what;
    std::uint64_t length;  // of the file, header included
    double duration;       // the WAV reader's
    std::int32_t seconds;
    TMotivoDuracao reason;
  } cases[] = {
      {"2^31 s: the low 32 bits are the most negative", 0x80000000ull + 44, 2147483648.0, 0,
       TMotivoDuracao::DuracaoNegativa},
      {"3 GB: 2,999,999,956 s", 3000000000ull, 2999999956.0, 0, TMotivoDuracao::DuracaoNegativa},
      {"4294967251 s: the low 32 bits are -45", 0xFFFFFFFFull, 4294967251.0, 0, TMotivoDuracao::DuracaoNegativa},
      {"2^31 - 1 s: still positive", 0x7FFFFFFFull + 44, 2147483647.0, 0x7FFFFFFF, TMotivoDuracao::Medida},
  };
  TTempDir dir;
  const std::string path = dir.File("esparso.wav");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto riffSize = static_cast<std::uint32_t>(c.length - 8);
    dztest::WriteFile(path, TBytes()
                                .Str("RIFF").LE32(riffSize).Str("WAVE")
                                .Str("fmt ").LE32(16).LE16(1).LE16(1).LE32(1).LE32(1).LE16(1).LE16(8)
                                .Str("data").LE32(riffSize - 36));
    std::filesystem::resize_file(path, c.length);
    TWAVfile wav;
    ASSERT_TRUE(wav.LoadFromFile(path));
    EXPECT_TRUE(wav.Valid);
    EXPECT_EQ(wav.SampleCount, 0);
    EXPECT_EQ(wav.HeaderSize, 44);
    EXPECT_EQ(wav.FileSize, c.length);
    EXPECT_DOUBLE_EQ(wav.Duration(), c.duration);
    TMotivoDuracao reason = TMotivoDuracao::Medida;
    EXPECT_EQ(DuracaoEmSegundos(path, &reason), c.seconds);
    EXPECT_EQ(reason, c.reason);
    ExpectNoReader(c.what);
  }
}

TEST(UFuncoesSteps, ArredondaSegundos) {
  // The rounding rule has its own test (test_Rounding); here: ties still go to
  // the even neighbour, the low 32 bits are kept, and what has no 64-bit
  // integer gives 0.
  const double twoTo63 = 9223372036854775808.0;
  struct TCase {
    const char* what;
    double value;
    std::int32_t seconds;
  } cases[] = {
      {"0", 0.0, 0},
      {"2.5 to even 2", 2.5, 2},
      {"-2.5 to -2", -2.5, -2},
      {"2^32 + 7.5 to even, low 32 bits 8", 4294967303.5, 8},
      {"2^52 + 1 stays, low bits 1", 4503599627370497.0, 1},
      {"-2^63 is in range, low bits 0", -twoTo63, 0},
      {"largest double below 2^63: 2^63 - 1024, low bits -1024", 9223372036854774784.0, -1024},
      {"-2^40 - 3: low bits", -1099511627779.0, -3},
      {"2^63 is out of range", twoTo63, 0},
      {"+infinity", std::numeric_limits<double>::infinity(), 0},
      {"NaN", std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ArredondaSegundos(c.value), c.seconds) << c.what;
}

TEST(UFuncoesSteps, ExtensionKey) {
  struct TCase {
    const char* path;
    const char* key;
  } cases[] = {
      {"musica.mp3", ".MP3"},
      {"musica.Mp3", ".MP3"},
      {"a.b.mp3.bak", ".BAK"},
      {"semponto", ""},
      {"C:\\a.mp3\\faixa", ""},
      {"C:\\pasta\\faixa.wav", ".WAV"},
      {"x.mp3:faixa", ""},
      {"dir.mp3/faixa", ".MP3/FAIXA"},
      {"fim.", "."},
      {"caf\xE9.mp\xE9", ".MP\xE9"},  // only a to z change
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ChaveExtensao(c.path), c.key) << c.path;
}

TEST(UFuncoesSteps, CreateAndFreeTheReaderOfAKey) {
  ExpectNoReader("at start");
  CriaLeitores(".MP3");
  EXPECT_NE(LeitorMPEG, nullptr);
  EXPECT_EQ(LeitorWAV, nullptr);
  LiberaLeitores(".WAV");  // frees the WAV reader, which is not there
  EXPECT_NE(LeitorMPEG, nullptr);
  LiberaLeitores(".MP3");
  ExpectNoReader("after freeing the MPEG reader");
  for (const char* key : {"", ".WAV", ".mp3", ".MP3/FAIXA"}) {
    CriaLeitores(key);
    EXPECT_EQ(LeitorMPEG, nullptr) << key;
    EXPECT_NE(LeitorWAV, nullptr) << key;
    LiberaLeitores(key);
    ExpectNoReader(key);
  }
}

TEST(UFuncoesSteps, SegundosParaTempo) {
  struct TCase {
    std::int32_t seconds;
    const char* text;
  } cases[] = {
      {0, "00:00"},
      {7, "00:07"},
      {59, "00:59"},
      {60, "01:00"},
      {61, "01:01"},
      {599, "09:59"},
      {5999, "99:59"},
      {6000, "10:00"},   // "100" cut to "10"
      {6059, "10:59"},
      {36000, "60:00"},  // "600" cut to "60"
      {599999, "99:59"},
      {INT32_MAX, "35:07"},  // 35791394 minutes, 7 seconds
      // Negative input, converted by the same rule: the minus sign is a character like the digits.
      {-5, "00:-5"},
      {-60, "-1:00"},
      {-65, "-1:-5"},
      {-6000, "-1:00"},
      {INT32_MIN, "-3:-8"},  // -35791394 minutes, -8 seconds
  };
  for (const auto& c : cases) EXPECT_EQ(SegundosParaTempo(c.seconds), c.text) << c.seconds;
}

TEST(UFuncoesSteps, CompletaEsquerda) {
  struct TCase {
    const char* what;
    std::string text;
    char fill;
    int width;
    std::string result;
  } cases[] = {
      {"two blanks and 7", "  7", '0', 2, "07"},
      {"123 cut", "123", '0', 2, "12"},
      {"empty text", "", '0', 2, "00"},
      {"only blanks", "   ", '0', 2, "00"},
      {"control characters and NUL lead", std::string("\t\n\0\x1f" "5", 5), '0', 2, "05"},
      {"trailing blank stays", "7 ", '0', 2, "7 "},
      {"blank inside stays", " 7 8", '0', 4, "07 8"},
      {"a byte above 127 is no blank", "\xE9", '0', 2, "0\xE9"},
      {"other fill and width", "abc", '*', 6, "***abc"},
      {"exact width", "ab", '0', 2, "ab"},
      {"width 0", "abc", '0', 0, ""},
      {"negative width", "abc", '0', -3, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CompletaEsquerda(c.text, c.fill, c.width), c.result) << c.what;
}

}  // namespace

namespace {

// Which of the readers' rules gave a file its length: each rule met by a
// file that takes it (real files of the encoders where they write one).
TEST(UFuncoesOrigem, TheRuleThatGaveTheLength) {
  const std::filesystem::path mp3 = dztest::SampleFolder(dztest::TSampleSet::Mp3);
  const std::filesystem::path wav = dztest::SampleFolder(dztest::TSampleSet::Wav);
  const TTempDir dir;
  // A VBRI frame (MPEG 1 Layer III, 128 kbit/s, 44.1 kHz) counting 100 frames, then 10 frames.
  constexpr THeaderBytes Joint128{0xFF, 0xFB, 0x90, 0x64};
  std::vector<std::uint8_t> vbri = TBytes()
                                       .Append(dztest::MpegFrames(Joint128, 1))
                                       .Append(dztest::MpegFrames(Joint128, 10));
  const std::uint8_t cabecalho[] = {'V', 'B', 'R', 'I', 0, 1, 0, 0, 0, 75, 0, 0, 0x9F, 0x10, 0, 0, 0, 100};
  std::copy(std::begin(cabecalho), std::end(cabecalho), vbri.begin() + 36);
  dztest::WriteFile(dir.File("vbri.mp3"), vbri);
  dztest::WriteFile(dir.File("texto.wav"), std::string_view("não é áudio"));
  struct TCase {
    std::string arquivo;
    TOrigemDuracao origem;
  };
  const TCase cases[] = {
      {(mp3 / "vbr-V2.mp3").string(), TOrigemDuracao::Xing},
      {(mp3 / "mpeg1-joint-128.mp3").string(), TOrigemDuracao::Info},
      {dir.File("vbri.mp3"), TOrigemDuracao::VBRI},
      {(mp3 / "mpeg1-no-lame-tag.mp3").string(), TOrigemDuracao::EstimativaCBR},
      {(wav / "ffsine6.wav").string(), TOrigemDuracao::CabecalhoWAV},
      {(wav / "ffpipe.wav").string(), TOrigemDuracao::TamanhoWAVEmDisco},
      {(wav / "sox30-half.wav").string(), TOrigemDuracao::TamanhoWAVEmDisco},
      {(wav / "sox30.wav").string(), TOrigemDuracao::CabecalhoWAV},
      {dir.File("texto.wav"), TOrigemDuracao::Nenhuma},
      {dir.File("nada.mp3"), TOrigemDuracao::Nenhuma},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.arquivo);
    TReadOnlyFile arquivo(c.arquivo);
    TMotivoDuracao motivo{};
    TOrigemDuracao origem = TOrigemDuracao::QuadrosPercorridos;
    const std::int32_t segundos = DuracaoEmSegundos(arquivo, c.arquivo, &motivo, &origem);
    EXPECT_EQ(origem, c.origem);
    EXPECT_EQ(segundos > 0, c.origem != TOrigemDuracao::Nenhuma);
  }
}

// The open gives the file's modification time with its size, in the same call.
TEST(UFuncoesOrigem, TheOpenGivesTheModificationTime) {
  const TTempDir dir;
  dztest::WriteFile(dir.File("a.wav"), std::string_view("x"));
  const timespec tempos[2] = {{1'700'000'000, 250'000'000}, {1'700'000'000, 250'000'000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("a.wav").c_str(), tempos, 0), 0);
  const TFileCalls antes = FileCallsOnThisThread();
  TReadOnlyFile arquivo(dir.File("a.wav"));
  EXPECT_EQ(arquivo.ModifiedAt(), 1'700'000'000'250'000'000);
  EXPECT_EQ((FileCallsOnThisThread() - antes).SizeQueries, 1u);
  arquivo.Close();
  EXPECT_EQ(arquivo.ModifiedAt(), 0);
}

}  // namespace
