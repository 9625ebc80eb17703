#pragma once

// Work in a process of its own, for the update benchmark: each side of a
// round needs a fresh process (the database engine keeps threads and caches
// for the life of a process), and its peak memory is that process's own.
// Also the few numbers a process can tell about itself.

#include <functional>
#include <string>

// Seconds per step and memory at a few points, for the step-by-step runs
// (UpdateReport.h names them).
constexpr int StepSlots = 10;
constexpr int MemorySlots = 4;
// A run's rows in tenths, each timed on its own.
constexpr int Tenths = 10;

// What a child sends back through its pipe: plain data, copied as bytes.
struct TChildReport {
  bool finished = false;
  double seconds = 0;                  // the timed part
  long rows = 0;                       // rows written (or checked)
  double steps[StepSlots] = {};        // seconds per step
  double tenths[Tenths] = {};          // seconds for each tenth of the rows
  long values[4] = {};                 // anything else a child reports
  double memory[MemorySlots][3] = {};  // MB at the points of a step-by-step run: resident, peak, heap
  char error[1024] = {};
};

struct TChildResult {
  TChildReport report;
  double peakMegabytes = 0;  // maximum resident set of the child
};

// Runs work in a child process and returns its report and its peak memory.
// A failure of the child (an exception, or no report) becomes an exception
// here, named by what.
TChildResult InChild(const char* what, const std::function<void(TChildReport&)>& work);

// A number of /proc/self/status: VmRSS and VmHWM (kB), Threads; -1 when missing.
long StatusField(const char* name);
// Heap in use by malloc, MB.
double HeapMegabytes();
// The system's load averages over 1, 5 and 15 minutes.
std::string LoadAverage();
