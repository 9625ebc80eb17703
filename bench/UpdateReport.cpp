#include "bench/UpdateReport.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* StepNames[StepSlots] = {"attach",          "select and fetch", "measure the file",
                                              "edit the row",    "write the row",    "commit with retention",
                                              "commit + detach", "update",           "commit with retention",
                                              "rest"};
constexpr const char* MemoryPointNames[MemorySlots] = {"attached", "music select executed", "all rows fetched",
                                                       "last row written"};

// The targets: the run at most 10 % slower than its floor, in less than 50 MB.
constexpr double RatioTarget = 1.10;
constexpr double PeakTargetMegabytes = 50;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintRunSteps(const char* title, const TChildResult& result) {
  const double* step = result.report.steps;
  const double perRow = 1e6 / static_cast<double>(result.report.rows);
  std::printf("  %-28s %.3f s: %s %.1f ms, %s %.1f ms | %s %.1f, %s %.1f, %s %.1f, %s %.1f, %s %.1f | %s %.1f ms\n",
              title, result.report.seconds, StepNames[Connect], step[Connect] * 1e3, StepNames[SelectFetch],
              step[SelectFetch] * 1e3, StepNames[Measure], step[Measure] * perRow, StepNames[Edit],
              step[Edit] * perRow, StepNames[Write], step[Write] * perRow, StepNames[Commit], step[Commit] * perRow,
              StepNames[Other], step[Other] * perRow, StepNames[Close], step[Close] * 1e3);
}

}  // namespace

void PrintSetting(const TBenchSetting& s) {
  std::printf("catalogue: %zu music rows + %zu jingle rows, all \"00:00\", over %zu files in %s (%d MP3, %d WAV); "
              "%d rows name a missing file, %d rows get 0 seconds\n",
              s.musicRows, s.jingleRows, s.corpusFiles, s.corpusFolder.c_str(), s.mp3Files, s.wavFiles,
              s.missingRows, s.zeroRows);
  std::printf("engine: embedded (plain local path), page size %ld, %ld page buffers, forced writes %s "
              "(the database default, left as it is); a fresh copy of the catalogue for every side\n",
              s.pageSize, s.pageBuffers, s.forcedWrites == 1 ? "on" : s.forcedWrites == 0 ? "OFF" : "unknown");
  std::printf("timed: update run = TCatalogo + TAtualizacao::Executa, front end doing nothing, from before the "
              "attach to after the detach; floor = TUpdateSQL::ExecModify + CommitRetaining per row, same "
              "statements, values and transaction, no file measured\n");
  std::printf("load average at start: %s\n", s.loadAverage.c_str());
}

void PrintRound(int round, const char* side, const TChildResult& result, long rows) {
  std::printf("  round %d %-10s %7.3f s  %6.0f rows/s  peak %5.1f MB\n", round, side, result.report.seconds,
              rows / result.report.seconds, result.peakMegabytes);
}

void PrintResults(const TBenchResults& r) {
  const double runMedian = Median(r.runSeconds);
  const double floorMedian = Median(r.floorSeconds);
  const double ratio = runMedian / floorMedian;
  const int rounds = static_cast<int>(r.runSeconds.size());
  std::printf("update run: %.0f rows/s (median of %d, %.3f s for %ld rows)\n", r.rows / runMedian, rounds, runMedian,
              r.rows);
  std::printf("floor: %.0f rows/s (median of %d, %.3f s)\n", r.rows / floorMedian, rounds, floorMedian);
  std::printf("ratio %.3fx (update run time / floor time, target <= %.2f): %s\n", ratio, RatioTarget,
              ratio <= RatioTarget ? "met" : "MISSED");
  std::printf("peak memory: run %.1f MB, floor %.1f MB (target < %.0f MB): %s  [maximum resident set of each side's "
              "process, of which %.1f MB was this process's at the fork]\n",
              r.runPeakMegabytes, r.floorPeakMegabytes, PeakTargetMegabytes,
              r.runPeakMegabytes < PeakTargetMegabytes ? "met" : "MISSED", r.parentMegabytes);

  std::printf("where the time goes (single runs timed step by step, not in the medians; us per row unless marked):\n");
  PrintRunSteps("update run", r.runSteps);
  PrintRunSteps("update run, seconds known", r.knownSteps);
  const double* f = r.floorSteps.report.steps;
  const double floorPerRow = 1e6 / static_cast<double>(r.floorSteps.report.rows);
  std::printf("  %-28s %s %.1f, %s %.1f\n", "floor", StepNames[FloorUpdate], f[FloorUpdate] * floorPerRow,
              StepNames[FloorCommit], f[FloorCommit] * floorPerRow);
  std::printf("  %-28s %.1f (DuracaoEmSegundos over every row's path, warm page cache, no database)\n",
              "measuring alone", r.measuring.report.seconds * 1e6 / static_cast<double>(r.measuring.report.rows));
  std::printf("  memory of the update run, MB (resident / peak resident so far / heap in use):");
  for (int point = Attached; point <= LastRow; ++point) {
    const double* m = r.runSteps.report.memory[point];
    std::printf("%s %s %.1f / %.1f / %.1f", point == Attached ? "" : ";", MemoryPointNames[point], m[0], m[1], m[2]);
  }
  std::printf("; process peak %.1f\n", r.runSteps.peakMegabytes);
  std::printf("load average at end: %s\n", LoadAverage().c_str());
}
