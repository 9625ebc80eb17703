// Time per file of DuracaoEmSegundos against TagLib's own duration read
// (FileRef with the fast read style) over the same corpus, warm cache, the
// heap that one DuracaoEmSegundos call needs for small and for large files,
// and the file system calls it makes per MP3 and per WAV file.
//
// Then the MPEG frame walk, which reads every byte of a file: its time per MB
// over the corpus's MP3 files, warm cache, against a full decode of the same
// files by "ffmpeg -i FILE -f null -", and its heap for small and large files.
//
//   bench_readers [--corpus DIR] [benchmark options]

#include "bench/BenchCorpus.h"
#include "audio/MPEGFrameWalk.h"
#include "audio/ReadOnlyFile.h"
#include "audio/U_Funcoes.h"

#include <benchmark/benchmark.h>
#include <taglib/fileref.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <new>

namespace {

// Heap accounting: bytes live now and the highest mark since the last reset.
std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void* Allocate(std::size_t size) {
  void* block = std::malloc(size + 16);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  const long long now = liveBytes += static_cast<long long>(size);
  long long peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + 16;
}

void Release(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - 16;
  liveBytes -= static_cast<long long>(*static_cast<std::size_t*>(block));
  std::free(block);
}

std::vector<std::string> corpus;
std::vector<std::string> mp3Corpus;  // the MP3 files of the corpus
double mp3Megabytes = 0;             // their size, MB of 2^20 bytes

void BM_DuracaoEmSegundos(benchmark::State& state) {
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DuracaoEmSegundos(corpus[next]));
    next = (next + 1) % corpus.size();
  }
  state.SetLabel(std::to_string(corpus.size()) + " files");
}

void BM_TagLibFastRead(benchmark::State& state) {
  std::size_t next = 0;
  for (auto _ : state) {
    TagLib::FileRef file(corpus[next].c_str(), true, TagLib::AudioProperties::Fast);
    int length = 0;
    if (!file.isNull() && file.audioProperties() != nullptr) length = file.audioProperties()->lengthInMilliseconds();
    benchmark::DoNotOptimize(length);
    next = (next + 1) % corpus.size();
  }
  state.SetLabel(std::to_string(corpus.size()) + " files");
}

// One iteration walks every MP3 file of the corpus once.
void BM_MPEGFrameWalk(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& path : mp3Corpus) {
      TMPEGFrameWalk walk;
      walk.LoadFromFile(path);
      benchmark::DoNotOptimize(walk.Frames);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * mp3Megabytes * 1048576));
  state.SetLabel(std::to_string(mp3Corpus.size()) + " MP3 files, " + std::to_string(int(mp3Megabytes)) + " MB");
}

BENCHMARK(BM_DuracaoEmSegundos)->MinTime(3.0);
BENCHMARK(BM_TagLibFastRead)->MinTime(3.0);
BENCHMARK(BM_MPEGFrameWalk)->MinTime(3.0)->Unit(benchmark::kMillisecond);

// Keeps the console output and remembers the time per iteration of each run.
class TRecordingReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> nanosecondsPerFile;  // per iteration: per file, or per pass for the walk

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      nanosecondsPerFile[run.run_name.function_name] = seconds * 1e9;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Heap needed by one call of measure, for the smallest and the largest of the files.
template <typename TMeasure>
void ReportHeap(const char* what, const std::vector<std::string>& files, TMeasure measure) {
  std::vector<std::pair<std::uintmax_t, std::string>> bySize;
  for (const std::string& path : files) bySize.emplace_back(std::filesystem::file_size(path), path);
  std::sort(bySize.begin(), bySize.end());
  auto peakFor = [&](const std::string& path) {
    peakBytes = liveBytes.load();
    const long long before = liveBytes.load();
    measure(path);
    return peakBytes.load() - before;
  };
  const std::size_t sample = std::min<std::size_t>(10, bySize.size() / 2);
  long long smallPeak = 0;
  long long largePeak = 0;
  for (std::size_t i = 0; i < sample; ++i) {
    smallPeak = std::max(smallPeak, peakFor(bySize[i].second));
    largePeak = std::max(largePeak, peakFor(bySize[bySize.size() - 1 - i].second));
  }
  std::printf("heap peak of one %s call: %lld bytes for the %zu smallest files (%ju bytes and up), "
              "%lld bytes for the %zu largest (up to %ju bytes)\n",
              what, smallPeak, sample, bySize.front().first, largePeak, sample, bySize.back().first);
}

// File system calls of one DuracaoEmSegundos per file, on average over the
// files. On a network share each is a round trip, whatever the page cache
// holds here.
void ReportSystemCalls(const char* what, const std::vector<std::string>& files) {
  if (files.empty()) return;
  const TFileCalls before = FileCallsOnThisThread();
  for (const std::string& path : files) benchmark::DoNotOptimize(DuracaoEmSegundos(path));
  const TFileCalls calls = FileCallsOnThisThread() - before;
  const double fileCount = static_cast<double>(files.size());
  const auto perFile = [fileCount](std::uint64_t count) { return static_cast<double>(count) / fileCount; };
  std::printf("system calls per %s file: %.2f open, %.2f size query, %.2f stat, %.2f read, %.2f close\n", what,
              perFile(calls.Opens), perFile(calls.SizeQueries), perFile(calls.PathQueries), perFile(calls.Reads),
              perFile(calls.Closes));
}

// A full decode of every MP3 file by ffmpeg, one process per file, output
// thrown away: the wall time of the processes, and the time ffmpeg itself
// reports for its decoding loop ("-benchmark": rtime), which leaves out
// starting the program and probing the file.
void ReportFullDecode(double walkNanosecondsPerPass) {
  double wallSeconds = 0;
  double loopSeconds = 0;
  for (const std::string& path : mp3Corpus) {
    // Audio only: the cover picture of a tagged file would be a video stream.
    const std::string command =
        "ffmpeg -nostdin -hide_banner -nostats -benchmark -i '" + path + "' -map 0:a -f null - 2>&1";
    const auto start = std::chrono::steady_clock::now();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
      double rtime = 0;
      if (const char* at = std::strstr(line, "rtime="); at != nullptr && std::sscanf(at, "rtime=%lfs", &rtime) == 1)
        loopSeconds += rtime;
    }
    if (::pclose(pipe) != 0) {
      std::printf("ffmpeg failed on %s: no decode comparison\n", path.c_str());
      return;
    }
    wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double walkMs = walkNanosecondsPerPass / 1e6 / mp3Megabytes;
  const double wallMs = wallSeconds * 1e3 / mp3Megabytes;
  const double loopMs = loopSeconds * 1e3 / mp3Megabytes;
  std::printf("per MB of MP3 (%zu files, %.1f MB, warm cache): frame walk %.3f ms; ffmpeg -f null full decode "
              "%.1f ms (processes' wall time), %.1f ms (its decoding loop alone)\n",
              mp3Corpus.size(), mp3Megabytes, walkMs, wallMs, loopMs);
  std::printf("frame walk against full decode: %.0fx faster than the decoding loop, %.0fx than the processes "
              "(target >= 50x)\n",
              loopMs / walkMs, wallMs / walkMs);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { Release(pointer); }

int main(int argc, char** argv) {
  std::string folder = "bench-corpus";
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--corpus") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else {
      arguments.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  corpus = MakeBenchCorpus(folder);
  std::printf("corpus: %zu files in %s\n", corpus.size(), folder.c_str());
  for (const std::string& path : corpus) {
    if (!MedidoPeloMPEG(path)) continue;
    mp3Corpus.push_back(path);
    mp3Megabytes += static_cast<double>(std::filesystem::file_size(path)) / 1048576;
  }
  // Warm the cache: both readers and the walk once over every file.
  for (const std::string& path : corpus) {
    benchmark::DoNotOptimize(DuracaoEmSegundos(path));
    TagLib::FileRef warm(path.c_str(), true, TagLib::AudioProperties::Fast);
    TMPEGFrameWalk walk;
    benchmark::DoNotOptimize(walk.LoadFromFile(path));
  }
  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.nanosecondsPerFile["BM_DuracaoEmSegundos"];
  const double theirs = reporter.nanosecondsPerFile["BM_TagLibFastRead"];
  if (ours > 0 && theirs > 0) {
    std::printf("per file: DuracaoEmSegundos %.1f us, TagLib fast read %.1f us, ratio %.3f (target <= 1.0)\n",
                ours / 1000, theirs / 1000, ours / theirs);
  }
  ReportHeap("DuracaoEmSegundos", corpus, [](const std::string& path) {
    benchmark::DoNotOptimize(DuracaoEmSegundos(path));
  });
  std::vector<std::string> otherCorpus;
  std::copy_if(corpus.begin(), corpus.end(), std::back_inserter(otherCorpus),
               [](const std::string& path) { return !MedidoPeloMPEG(path); });
  ReportSystemCalls("MP3", mp3Corpus);
  ReportSystemCalls("WAV", otherCorpus);
  ReportHeap("TMPEGFrameWalk::LoadFromFile", mp3Corpus, [](const std::string& path) {
    TMPEGFrameWalk walk;
    benchmark::DoNotOptimize(walk.LoadFromFile(path));
  });
  if (const double walk = reporter.nanosecondsPerFile["BM_MPEGFrameWalk"]; walk > 0 && mp3Megabytes > 0)
    ReportFullDecode(walk);
  benchmark::Shutdown();
  return 0;
}
