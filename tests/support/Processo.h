#pragma once

// A program run by a test as a process of its own, which the test can watch
// while it runs and send signals to: its standard output goes to a file or to
// a pipe the test reads (and may close), its standard error to a file.

#include "tests/support/TestSupport.h"

#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace dztest {

// How a process ended: its exit status, or the signal that ended it.
struct TFimProcesso {
  int saida = -1;  // -1 when a signal ended it
  int sinal = 0;   // 0 when it exited
};

class TProcesso {
public:
  // Where the standard output goes: a file the test reads, a pipe the test
  // reads and may close, the same with the smallest pipe the system gives
  // (one page: a program that writes a line per row stops a few rows after
  // the test stops reading), or /dev/full (every write fails: a full disk).
  enum class TSaida { Arquivo, Cano, CanoCurto, Cheia };

  // Starts argumentos[0] (a path) with the others as its arguments and this
  // process's environment; standard input from /dev/null. SIGINT, SIGTERM,
  // SIGHUP and SIGPIPE start at their defaults and unblocked, whatever the
  // test runner left them at.
  explicit TProcesso(const std::vector<std::string>& argumentos, TSaida saida = TSaida::Arquivo);
  // A process still running is killed and reaped.
  ~TProcesso();
  TProcesso(const TProcesso&) = delete;
  TProcesso& operator=(const TProcesso&) = delete;

  pid_t Pid() const { return pid_; }
  // True while the process has not ended.
  bool Rodando() { return !Terminou(); }
  void Sinal(int sinal) const;

  // Checks pronto every few milliseconds until it holds (true), the process
  // ends or limite seconds pass (false). A bound against a hang, not a measure.
  bool EsperaAte(const std::function<bool()>& pronto, double limite = 60);
  // Waits for the end, at most limite seconds; after that the process is killed.
  TFimProcesso Espera(double limite = 60);

  // The same, reading the pipe meanwhile, so that a program stopped on a
  // full pipe goes on to its end.
  TFimProcesso EsperaLendo(double limite = 60);

  // The standard output so far (from the pipe: what has arrived so far).
  std::string SaidaPadrao();
  std::string SaidaErros() const;
  // Closes the test's end of the pipe: the program's next write fails.
  void FechaCano();

private:
  bool Terminou();

  TSaida saida_;
  TTempDir pasta_;
  pid_t pid_ = -1;
  int cano_ = -1;      // the test's reading end of the pipe, -1 once closed
  std::string lido_;  // what has come through the pipe
  bool terminou_ = false;
  TFimProcesso fim_;
};

}  // namespace dztest
