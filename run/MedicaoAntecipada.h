#pragma once

// Both programs' runs (atualiza-duracoes with --paralelo N, the window with
// ParaleloPadrao): the files of the next rows are measured on N threads while
// the run writes and commits the current row. The threads only look the
// files up and measure them (and, with --conferir, walk the MP3 files);
// every write, commit, bar step, message and log line stays on the run's
// thread (the window's GUI thread), row by row in the catalogue's order. On a
// share, where every open and read of a file waits for the network, the run
// then waits for its commits rather than for its files; on a local disk the
// measuring leaves the run's thread, whose caches the commits keep cold.
//
// At most N rows are named ahead of the run, in batches: the run names more
// only when a quarter of the rows ahead have been taken, so that handing rows
// over costs the run's thread one call for many rows. The threads take the
// named rows in order, each the earliest one still waiting, and go on to the
// next without sleeping while there is one. How many threads a batch wakes
// depends on how long a file takes (a running average): while files take
// more than the limit (a share, a disk that seeks, --conferir walking large
// files) each row named wakes a thread of its own, so that the files' waits
// overlap; once they take less than half the limit (a local disk, some
// 10 µs a file) one thread wakes for the batch and measures it row after row,
// the others asleep: waking a thread per row would cost more than the file.
// Each phase begins a thread a row until the average says otherwise.
//
// The threads run at a lower priority than the run's thread (CessaoPrioridade):
// on a local disk a measurement that takes the processor just as a commit
// ends delays the run more than measuring ahead gains, and the station's
// other programs come first too. A row that no thread has taken yet when the
// run asks for it is measured by the run's thread itself, so that threads
// waiting for the processor never hold the run up.
//
// Each thread has its own lookup (WindowsLookup.h), and all share the run's
// folder cache, so a folder read to find a name in another letter case is
// read and held once per run, however many threads look names up in it. What
// was measured ahead and not asked for when a phase ends (the last row, an
// error) is dropped, after the threads have finished the file each is on. A
// stop does not wait even for that (Abandona): on a slow share a hundred
// threads each in a file would hold the end of the run for a minute, and
// they hold nothing of the catalogue.
//
// A measurement is of the file as it was when it was measured: a row is
// written at most N rows and, normally, a fraction of a second after its
// file was measured. One measured more than IdadeMaximaAntecipada before the
// run asks for it (the run held up by a slow server or a stall) is measured
// again, on the run's thread.

#include "run/Medicao.h"
#include "run/Conferencia.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Threads that measure the next rows' files while the run writes the current
// one, in both programs, unless --paralelo says otherwise (1: each file
// measured as its row comes). On a local disk one would do (it measures a
// batch while the run commits); on a music share whose every lookup, stat,
// open and read is a round trip of 2 ms a file takes some 9 ms, longer when
// many wait at once, and 128 files in flight keep the run within 1.15 times
// the time of its commits (scripts/bench share; 64 kept it 1.2 to 1.5); the
// threads wait, they hardly use the processor.
inline constexpr int ParaleloPadrao = 128;

// The most threads --paralelo allows.
inline constexpr int ParaleloMaximo = 128;
// How much lower the measuring threads' priority (nice) is than the run's
// thread's.
inline constexpr int CessaoPrioridade = 10;

// Above this average time a file, each row named wakes a thread of its own;
// below half of it, one thread measures a batch (see above).
inline constexpr std::chrono::microseconds LimiteAntecipacao{100};

// A measurement older than this when the run asks for it is taken again.
inline constexpr std::chrono::milliseconds IdadeMaximaAntecipada{5000};

class TMedicaoAntecipada final : public TMedicao {
public:
  // paralelo: threads, and rows named ahead of the run (1 to ParaleloMaximo).
  // conferir: each file the MPEG reader measures is also walked (--conferir),
  // and with Corrige a file warned of is given its walked length.
  // limite: the average time a file above which each row wakes a thread of its
  // own; 0 keeps it so.
  // medidor: what measures a path (tests); MedeCaminho with mapeamento and conferir when empty.
  // idadeMaxima: a measurement older than this when its row is asked for is taken again.
  using TMedidor = std::function<TMedida(TWindowsLookup& busca, const std::string& caminho)>;
  TMedicaoAntecipada(int paralelo, TPathMapping mapeamento, TConferencia conferir,
                     std::chrono::microseconds limite = LimiteAntecipacao, TMedidor medidor = nullptr,
                     std::chrono::milliseconds idadeMaxima = IdadeMaximaAntecipada);
  ~TMedicaoAntecipada() override;
  TMedicaoAntecipada(const TMedicaoAntecipada&) = delete;
  TMedicaoAntecipada& operator=(const TMedicaoAntecipada&) = delete;

  void Inicia(std::function<std::string(int linha)> caminhoDe, int total,
              std::shared_ptr<TFolderCache> pastas) override;
  TMedida Mede(int linha, const std::string& caminho) override;
  void Encerra() noexcept override;
  // The phase ends without waiting for the threads: each finishes the file
  // it is on and then ends by itself, holding only what it shares with the
  // others (none of it the run's). False when none was left behind.
  bool Abandona() noexcept override;

  // Threads left behind by Abandona that have not ended yet (tests).
  int ThreadsDeixadas() const;

private:
  struct TCompartilhado;
  // A thread: measures the earliest row waiting, until the phase ends.
  static void Trabalha(std::shared_ptr<TCompartilhado> estado);
  // Names the next rows to the threads, up to paralelo_ ahead of the row
  // taken last, when a batch fits (run's thread, lock not held).
  void Antecipa();
  // What the threads of a new phase share.
  std::shared_ptr<TCompartilhado> NovoEstado() const;

  const int paralelo_;
  const int lote_;  // rows named at once, at least
  const TPathMapping mapeamento_;
  const TConferencia conferir_;
  const double limiteMicros_;
  const TMedidor medidor_;
  const std::chrono::steady_clock::duration idadeMaxima_;

  std::function<std::string(int)> caminhoDe_;  // read on the run's thread only
  int total_ = 0;
  int pedida_ = 0;  // the next row the run asks for (run's thread only)
  bool semAntecipar_ = false;  // a path could not be read: no more rows are named in this phase
  std::optional<TWindowsLookup> buscaPropria_;  // the run's thread's own, for the rows it measures itself

  std::shared_ptr<TCompartilhado> estado_;  // the phase's, shared with its threads
  std::vector<std::thread> threads_;
  std::vector<std::weak_ptr<TCompartilhado>> deixados_;  // the states of phases left behind
};
