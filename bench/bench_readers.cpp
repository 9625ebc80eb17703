// Time per file of DuracaoEmSegundos against TagLib's own duration read
// (FileRef with the fast read style) over the same corpus, warm cache, and the
// heap that one DuracaoEmSegundos call needs for small and for large files.
//
//   bench_readers [--corpus DIR] [benchmark options]

#include "bench/BenchCorpus.h"
#include "audio/U_Funcoes.h"

#include <benchmark/benchmark.h>
#include <taglib/fileref.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

BENCHMARK(BM_DuracaoEmSegundos)->MinTime(3.0);
BENCHMARK(BM_TagLibFastRead)->MinTime(3.0);

// Keeps the console output and remembers the time per iteration of each run.
class TRecordingReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> nanosecondsPerFile;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      nanosecondsPerFile[run.run_name.function_name] = seconds * 1e9;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

void ReportHeap() {
  // Heap needed by one call, for the smallest and the largest files.
  std::vector<std::pair<std::uintmax_t, std::string>> bySize;
  for (const std::string& path : corpus) bySize.emplace_back(std::filesystem::file_size(path), path);
  std::sort(bySize.begin(), bySize.end());
  auto peakFor = [](const std::string& path) {
    peakBytes = liveBytes.load();
    const long long before = liveBytes.load();
    benchmark::DoNotOptimize(DuracaoEmSegundos(path));
    return peakBytes.load() - before;
  };
  const std::size_t sample = std::min<std::size_t>(10, bySize.size() / 2);
  long long smallPeak = 0;
  long long largePeak = 0;
  for (std::size_t i = 0; i < sample; ++i) {
    smallPeak = std::max(smallPeak, peakFor(bySize[i].second));
    largePeak = std::max(largePeak, peakFor(bySize[bySize.size() - 1 - i].second));
  }
  std::printf("heap peak of one DuracaoEmSegundos call: %lld bytes for the %zu smallest files (%ju bytes and up), "
              "%lld bytes for the %zu largest (up to %ju bytes)\n",
              smallPeak, sample, bySize.front().first, largePeak, sample, bySize.back().first);
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
  // Warm the cache: both readers once over every file.
  for (const std::string& path : corpus) {
    benchmark::DoNotOptimize(DuracaoEmSegundos(path));
    TagLib::FileRef warm(path.c_str(), true, TagLib::AudioProperties::Fast);
  }
  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.nanosecondsPerFile["BM_DuracaoEmSegundos"];
  const double theirs = reporter.nanosecondsPerFile["BM_TagLibFastRead"];
  if (ours > 0 && theirs > 0) {
    std::printf("per file: DuracaoEmSegundos %.1f us, TagLib fast read %.1f us, ratio %.3f (target <= 1.0)\n",
                ours / 1000, theirs / 1000, ours / theirs);
  }
  ReportHeap();
  benchmark::Shutdown();
  return 0;
}
