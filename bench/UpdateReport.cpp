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

// The target of memory: each side's process under 100 MB (at 110,000 rows).
constexpr double PeakTargetMegabytes = 100;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Lowest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
double Highest(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

// Microseconds per row in each tenth of the rows, medians over the rounds.
std::string TenthsPerRow(const TSideResults& side, long rows) {
  std::string text;
  for (int tenth = 0; tenth < Tenths; ++tenth) {
    std::vector<double> values;
    for (const auto& round : side.tenths) values.push_back(round[static_cast<std::size_t>(tenth)]);
    const long first = rows * tenth / Tenths;
    const long last = rows * (tenth + 1) / Tenths;
    char number[32];
    std::snprintf(number, sizeof number, "%s%.0f", tenth == 0 ? "" : " ", Median(values) * 1e6 / double(last - first));
    text += number;
  }
  return text;
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
              s.musicRows, s.jingleRows, s.corpusFiles, s.filesFolder.c_str(), s.mp3Files, s.wavFiles,
              s.missingRows, s.zeroRows);
  std::printf("engine: embedded (plain local path), page size %ld, %ld page buffers, forced writes %s "
              "(the database default, left as it is); a fresh copy of the catalogue for every side\n",
              s.pageSize, s.pageBuffers, s.forcedWrites == 1 ? "on" : s.forcedWrites == 0 ? "OFF" : "unknown");
  if (!s.reverify)
    std::printf("timed: window = TCatalogo + TAtualizacao::Executa with the files measured ahead "
              "(TMedicaoAntecipada, 128 threads), front end doing nothing, from before the attach to after the "
              "detach; companion = the same with --paralelo's threads; both with the engine's memory for sorting at 8 MB, as the "
              "programs run a local catalogue (TEngineSettings); floor = TUpdateSQL::ExecModify + CommitRetaining per row, same "
              "statements, values and transaction, no file measured\n");
  std::printf("load average at start: %s\n", s.loadAverage.c_str());
}

void PrintRound(int round, const char* side, const TChildResult& result, long rows) {
  std::printf("  round %d %-10s %7.3f s  %6.0f rows/s  peak %5.1f MB\n", round, side, result.report.seconds,
              rows / result.report.seconds, result.peakMegabytes);
}

void PrintResults(const TBenchResults& r) {
  const TSideResults& floor = r.sides[FloorSide];
  const bool hasFloor = !floor.seconds.empty();
  const double floorMedian = hasFloor ? Median(floor.seconds) : 0;
  int rounds = 0;
  for (const TSideResults& side : r.sides) rounds = std::max(rounds, static_cast<int>(side.seconds.size()));
  std::printf("%d rounds in %.1f min; each side's time: median (lowest - highest), rows/s of the median; "
              "ratio = median / the last side's median (floor, baseline), and the median (lowest - highest) of "
              "each round's own ratio\n",
              rounds, r.roundsMinutes);
  bool met = true;
  for (int index = WindowSide; index <= FloorSide; ++index) {
    const TSideResults& side = r.sides[static_cast<std::size_t>(index)];
    if (side.seconds.empty()) continue;  // not run (--sides)
    const double median = Median(side.seconds);
    std::printf("  %-10s %7.3f s (%.3f - %.3f) %6.0f rows/s  peak %5.1f MB", side.name.c_str(), median,
                Lowest(side.seconds), Highest(side.seconds), r.rows / median, side.peakMegabytes);
    if (index == CompanionSide) std::printf("  [--paralelo %d]", r.paralelo);
    if (index != FloorSide && hasFloor) {
      std::vector<double> ratios;
      for (std::size_t i = 0; i < side.seconds.size(); ++i) ratios.push_back(side.seconds[i] / floor.seconds[i]);
      const double ratio = median / floorMedian;
      const double target = index == WindowSide && r.windowTarget > 0 ? r.windowTarget : r.target;
      met = met && ratio <= target;
      std::printf("  ratio %.3fx (rounds %.3f, %.3f - %.3f; target <= %.2f): %s", ratio, Median(ratios),
                  Lowest(ratios), Highest(ratios), target, ratio <= target ? "met" : "MISSED");
    }
    std::printf("\n");
  }
  std::printf("us per row in each tenth of the rows (medians of the rounds):\n");
  for (const TSideResults& side : r.sides)
    if (!side.seconds.empty()) std::printf("  %-10s %s\n", side.name.c_str(), TenthsPerRow(side, r.rows).c_str());
  double peak = 0;
  for (const TSideResults& side : r.sides) peak = std::max(peak, side.peakMegabytes);
  std::printf("peak memory: %.1f MB (target < %.0f MB): %s  [maximum resident set of each side's process, of which "
              "%.1f MB was this process's at the fork]\n",
              peak, PeakTargetMegabytes, peak < PeakTargetMegabytes ? "met" : "MISSED", r.parentMegabytes);
  if (hasFloor) std::printf("ratios: %s\n", met ? "met" : "MISSED");
  if (r.runSteps.report.rows == 0) {
    std::printf("load average at end: %s\n", LoadAverage().c_str());
    return;
  }

  std::printf("where the time goes (single runs timed step by step, not in the medians; us per row unless marked):\n");
  PrintRunSteps("update run", r.runSteps);
  PrintRunSteps("update run, seconds known", r.knownSteps);
  const double* f = r.floorSteps.report.steps;
  const double floorPerRow = 1e6 / static_cast<double>(r.floorSteps.report.rows);
  std::printf("  %-28s %s %.1f, %s %.1f\n", "floor", StepNames[FloorUpdate], f[FloorUpdate] * floorPerRow,
              StepNames[FloorCommit], f[FloorCommit] * floorPerRow);
  std::printf("  %-28s %.1f (the run's measuring over every row's path, warm page cache, no database)\n",
              "measuring alone", r.measuring.report.seconds * 1e6 / static_cast<double>(r.measuring.report.rows));
  std::printf("  memory of the update run, MB (resident / peak resident so far / heap in use):");
  for (int point = Attached; point <= LastRow; ++point) {
    const double* m = r.runSteps.report.memory[point];
    std::printf("%s %s %.1f / %.1f / %.1f", point == Attached ? "" : ";", MemoryPointNames[point], m[0], m[1], m[2]);
  }
  std::printf("; process peak %.1f\n", r.runSteps.peakMegabytes);
  std::printf("load average at end: %s\n", LoadAverage().c_str());
}
