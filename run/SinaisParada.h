#pragma once

// The signals that ask a program to end (SIGINT, SIGTERM, SIGHUP), taken by
// the program itself so that it ends between two rows, never inside one.
//
// Once attached, the Firebird client puts handlers of its own on SIGINT and
// SIGTERM that shut its connections down under the program. Here the three
// signals are blocked instead, in the calling thread and so in every thread
// started after it (the client's and the toolkit's included): no handler ever
// runs, and a signal waits on a descriptor until the program reads it between
// rows, or until an event loop sees the descriptor readable.
//
// This is the one place that depends on the platform's signals (Linux
// signalfd); a port replaces this file.

#include <atomic>
#include <csignal>

class TSinaisParada {
public:
  // Construct first thing in main, before any library starts a thread. The
  // signals stay blocked for the rest of the process: one that comes while
  // the program ends has nothing left to interrupt.
  TSinaisParada();
  ~TSinaisParada();
  TSinaisParada(const TSinaisParada&) = delete;
  TSinaisParada& operator=(const TSinaisParada&) = delete;

  // Readable while a signal waits to be read by Recebido; -1 when the
  // platform gave none (the signals are then left as they were).
  int Descritor() const { return descritor_; }

  // The number of the first signal received so far, 0 while none; reads the
  // waiting ones without blocking. A signal that was ignored when the program
  // started (nohup ignores SIGHUP, a background job of a script SIGINT) stays
  // ignored: whoever started the program chose so.
  // Safe to call from any thread (the catalogue's watchdog asks it while a
  // call waits on a server that does not answer).
  int Recebido();

private:
  int descritor_ = -1;
  std::atomic<int> recebido_{0};
  sigset_t ignorados_;  // the signals that were ignored at start
};
