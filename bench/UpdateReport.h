#pragma once

// What the update benchmark prints: the setting, a line per side of each
// round, then the medians against their targets and where the time goes.

#include "bench/ChildProcess.h"

#include <cstddef>
#include <string>
#include <vector>

// The steps that the step-by-step runs time, each in its slot of TChildReport::steps.
enum TStep { Connect, SelectFetch, Measure, Edit, Write, Commit, Close, FloorUpdate, FloorCommit, Other };
static_assert(Other < StepSlots);

// Memory of the step-by-step run: resident set, its peak so far and heap in
// use after the attach, after the music select's execution (its sort done,
// one row fetched), after fetching every row, and at the end of the last row.
enum TMemoryPoint { Attached, MusicOpened, Fetched, LastRow };
static_assert(LastRow < MemorySlots);

// The catalogue and the engine the rounds run on.
struct TBenchSetting {
  std::size_t musicRows = 0;
  std::size_t jingleRows = 0;
  std::size_t corpusFiles = 0;
  std::string filesFolder;  // where the catalogue's rows point: the corpus, or the corpus seen through another file system
  int mp3Files = 0;
  int wavFiles = 0;
  int missingRows = 0;  // rows that name a missing file
  int zeroRows = 0;     // rows that get 0 seconds, missing files included
  long forcedWrites = -1;  // as MON$DATABASE tells: 1 on, 0 off, -1 unknown
  long pageBuffers = 0;
  long pageSize = 0;
  std::string loadAverage;
  bool reverify = false;  // the check of the lengths written against a dry run, not the update run
};

// The sides of a round, in the order of TBenchResults::sides.
enum TSide { WindowSide, CompanionSide, FloorSide };

// One side's rounds.
struct TSideResults {
  std::string name;
  std::vector<double> seconds;               // per round
  std::vector<std::vector<double>> tenths;   // per round: seconds for each tenth of the rows
  double peakMegabytes = 0;                  // highest of the rounds
};

// The rounds' times and the single runs that show where the time goes.
struct TBenchResults {
  long rows = 0;  // per side
  int paralelo = 1;       // the companion's threads
  double target = 1.03;   // the ratio the sides that measure files should keep to
  double windowTarget = 0;  // the window side's own, when it has another (0: target)
  std::vector<TSideResults> sides;
  double roundsMinutes = 0;
  double parentMegabytes = 0;  // the benchmark's own resident set, which each side starts with
  TChildResult runSteps;       // the update run in steps
  TChildResult knownSteps;     // the same with each file's seconds looked up
  TChildResult floorSteps;     // the floor in steps
  TChildResult measuring;      // the files measured, no database
};

void PrintSetting(const TBenchSetting& setting);
void PrintRound(int round, const char* side, const TChildResult& result, long rows);
void PrintResults(const TBenchResults& results);
