// The readers on several threads at once. Each measurement owns its readers
// and its open file, and what the readers share (tables, TagLib's settings) is
// never written while they run, so every thread must get, file for file,
// exactly what one thread alone gets. scripts/tsan also builds and runs this
// test with ThreadSanitizer, which reports any unsynchronised access.

#include "audio/ID3v1.h"
#include "audio/ID3v2.h"
#include "audio/MPEGFrameWalk.h"
#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/U_Funcoes.h"
#include "audio/WAVfile.h"
#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;
using dztest::TBytes;
using dztest::TSampleSet;

constexpr int ThreadCount = 4;
constexpr int Rounds = 3;  // each thread measures every file this many times

// Every result of every reader for one file, as one text; fractions are
// written exactly (hexadecimal), so equal texts mean equal results.
std::string Describe(const std::string& path) {
  std::ostringstream out;
  out << std::hexfloat;
  TMotivoDuracao motivo = TMotivoDuracao::Medida;
  out << "seconds " << DuracaoEmSegundos(path, &motivo) << ' ' << static_cast<int>(motivo) << '\n';

  TMPEGaudio mpeg;
  out << "mpeg " << mpeg.LoadFromFile(path) << ' ' << mpeg.FileLength << ' ' << mpeg.Frame.Position << ' '
      << mpeg.Frame.Size << ' ' << mpeg.VBR.Found << ' ' << mpeg.VBR.Frames << ' ' << mpeg.VendorID << ' '
      << mpeg.BitRate() << ' ' << mpeg.SampleRate() << ' ' << mpeg.Duration() << ' ' << mpeg.Encoder() << ' '
      << mpeg.Valid() << '\n';
  const TID3v2& tag = *mpeg.ID3v2Tag;
  out << "id3v2 " << tag.Present << ' ' << tag.TagSize << ' ' << tag.Title << '|' << tag.Artist << '|' << tag.Comment
      << '|' << int{tag.Rating} << '\n';
  out << "id3v1 " << mpeg.ID3v1Tag->Present << ' ' << mpeg.ID3v1Tag->Title << '|' << mpeg.ID3v1Tag->GenreName()
      << '\n';

  TMPEGFrameWalk walk;
  out << "walk " << walk.LoadFromFile(path) << ' ' << walk.Frames << ' ' << walk.Bytes << ' ' << walk.Resyncs << ' '
      << walk.Duration() << ' ' << walk.Truncated() << '\n';

  TWAVfile wav;
  out << "wav " << wav.LoadFromFile(path) << ' ' << wav.Valid << ' ' << wav.Duration() << ' ' << wav.ChannelMode()
      << '\n';

  TID3v1 id3v1;
  out << "id3v1 alone " << id3v1.LoadFromFile(path) << ' ' << id3v1.Title << '\n';
  TID3v2 id3v2;
  out << "id3v2 alone " << id3v2.LoadFromFile(path) << ' ' << id3v2.Title << ' ' << int{id3v2.Rating} << '\n';
  return out.str();
}

class ReadersOnThreads : public testing::Test {
protected:
  // Every file of every sample set, and a few made here for what the sets
  // lack: tags that send the ID3v2 reader to TagLib's complete parser, and
  // paths that name no regular file.
  static void SetUpTestSuite() {
    extra_ = std::make_unique<dztest::TTempDir>();
    try {
      for (const TSampleSet set :
           {TSampleSet::Wav, TSampleSet::Mp3, TSampleSet::Catalogue, TSampleSet::Walk, TSampleSet::Conferencia}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dztest::SampleFolder(set)))
          if (entry.is_regular_file()) files_.push_back(entry.path().string());
      }
    } catch (const std::exception& error) {
      failure_ = error.what();
      return;
    }
    std::sort(files_.begin(), files_.end());
    const std::vector<std::uint8_t> tone =
        dztest::ReadFileBytes((dztest::SampleFolder(TSampleSet::Mp3) / "tone.mp3").string());
    for (const auto& [name, popm] : {std::pair{"rated-v3.mp3", "dj@radio.example\0\x80\0\0\0\x05"s},
                                     std::pair{"rated-v3-second.mp3", "a@b\0\x40"s}}) {
      const std::string path = extra_->File(name);
      dztest::WriteFile(path, TBytes().Append(dztest::Id3v2TagWithPopularimeter(popm)).Append(tone));
      files_.push_back(path);
    }
    const std::string pipe = extra_->File("pipe.mp3");
    if (::mkfifo(pipe.c_str(), 0600) == 0) files_.push_back(pipe);
    files_.push_back(extra_->File("missing.mp3"));
    files_.push_back(extra_->Path().string());
  }
  static void TearDownTestSuite() { extra_.reset(); }

  static std::unique_ptr<dztest::TTempDir> extra_;
  static std::vector<std::string> files_;
  static std::string failure_;
};

std::unique_ptr<dztest::TTempDir> ReadersOnThreads::extra_;
std::vector<std::string> ReadersOnThreads::files_;
std::string ReadersOnThreads::failure_;

TEST_F(ReadersOnThreads, EveryThreadGetsWhatOneThreadGets) {
  ASSERT_EQ(failure_, "");
  ASSERT_GT(files_.size(), 50u);
  std::vector<std::string> alone;
  for (const std::string& path : files_) alone.push_back(Describe(path));

  // Each thread starts at another file, so that different readers run at
  // the same moment, and the same file is read by several threads at once too.
  std::vector<std::vector<std::string>> seen(ThreadCount, std::vector<std::string>(files_.size() * Rounds));
  std::vector<std::thread> threads;
  for (int t = 0; t < ThreadCount; ++t) {
    threads.emplace_back([t, &seen] {
      const std::size_t count = files_.size();
      for (std::size_t step = 0; step < count * Rounds; ++step) {
        const std::size_t file = (step + static_cast<std::size_t>(t) * count / ThreadCount) % count;
        seen[t][step] = Describe(files_[file]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  const std::size_t count = files_.size();
  for (int t = 0; t < ThreadCount; ++t) {
    for (std::size_t step = 0; step < count * Rounds; ++step) {
      const std::size_t file = (step + static_cast<std::size_t>(t) * count / ThreadCount) % count;
      ASSERT_EQ(seen[t][step], alone[file]) << "thread " << t << ", " << files_[file];
    }
  }
  // TagLib's complete parser did run: the rating behind an e-mail address.
  const auto rated = std::find(files_.begin(), files_.end(), extra_->File("rated-v3.mp3"));
  ASSERT_NE(rated, files_.end());
  EXPECT_NE(alone[static_cast<std::size_t>(rated - files_.begin())].find("|128\n"), std::string::npos);
}

// The readers of one measurement on one thread: each thread has its own, and
// none is left behind when a call ends.
TEST_F(ReadersOnThreads, EachThreadHasItsOwnFacadeReaders) {
  ASSERT_EQ(failure_, "");
  CriaLeitores(".MP3");
  bool emptyOnOtherThread = false;
  std::thread other([&emptyOnOtherThread] {
    emptyOnOtherThread = LeitorMPEG == nullptr && LeitorWAV == nullptr;
    DuracaoEmSegundos(files_.front());
  });
  other.join();
  EXPECT_TRUE(emptyOnOtherThread);
  EXPECT_NE(LeitorMPEG, nullptr);
  LiberaLeitores(".MP3");
  EXPECT_EQ(LeitorMPEG, nullptr);
}

}  // namespace
