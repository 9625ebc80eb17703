#include "bench/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

TChildResult InChild(const char* what, const std::function<void(TChildReport&)>& work) {
  int channel[2];
  if (::pipe(channel) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(channel[0]);
    TChildReport report;
    try {
      work(report);
      report.finished = true;
    } catch (const std::exception& error) {
      std::snprintf(report.error, sizeof report.error, "%s", error.what());
    }
    const bool sent = ::write(channel[1], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
    ::close(channel[1]);
    std::fflush(nullptr);
    std::exit(sent && report.finished ? 0 : 1);
  }
  ::close(channel[1]);
  TChildResult result;
  std::size_t got = 0;
  auto* bytes = reinterpret_cast<char*>(&result.report);
  while (got < sizeof result.report) {
    const ssize_t n = ::read(channel[0], bytes + got, sizeof result.report - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(channel[0]);
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error(std::string(what) + ": wait4 failed");
  result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  if (got != sizeof result.report || !result.report.finished) {
    const std::string reason = got == sizeof result.report ? result.report.error : "the process ended without a report";
    throw std::runtime_error(std::string(what) + " failed: " + reason);
  }
  return result;
}

long StatusField(const char* name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

double HeapMegabytes() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}
