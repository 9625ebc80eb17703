#pragma once

// Both programs' runs (atualiza-duracoes with --paralelo N, the window with
// ParaleloPadrao): the files of the next rows are measured on N threads while
// the run writes and commits the current row. The threads only look the
// files up and measure them (and, with --conferir, walk the MP3 files);
// every write, commit, bar step, message and log line stays on the run's
// thread (the window's GUI thread), row by row in the catalogue's order. On a share, where every open
// and read of a file waits for the network, the run then waits for its
// commits rather than for its files.
//
// Measuring ahead pays only when a file takes long (a share, a disk that
// seeks, --conferir walking a large file): a file on a local disk measures in
// some 10 µs, less than handing it to a thread and back. So the measurements
// are timed (a running average), and while a file takes less than half the
// limit the run's thread measures its rows itself, as they come; once it takes
// more than the limit, the next rows are measured ahead again. Each phase
// begins measuring ahead until the average says otherwise.
//
// At most N rows are measured ahead of the run. Each thread has its own
// lookup (WindowsLookup.h), and all share the run's folder cache, so a folder
// read to find a name in another letter case is read and held once per run,
// however many threads look names up in it. What was measured ahead and
// not asked for when a phase ends (the last row, an error, a stop signal) is
// dropped, after the threads have finished the file each is on.

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
// measured as its row comes). On a local disk two would do; on a music share
// whose every lookup, stat, open and read is a round trip of 2 ms a file
// takes some 11 ms, longer when many wait at once, and 64 files in flight
// kept the run 1.2 to 1.5 times the time of its commits, 128 about 1.2 or less
// (scripts/bench share); the threads wait, they hardly use the processor.
inline constexpr int ParaleloPadrao = 128;

// The most threads --paralelo allows.
inline constexpr int ParaleloMaximo = 128;
// Above this average time a file, the rows are measured ahead (see above).
inline constexpr std::chrono::microseconds LimiteAntecipacao{100};

class TMedicaoAntecipada final : public TMedicao {
public:
  // paralelo: threads, and rows measured ahead of the run (1 to ParaleloMaximo).
  // conferir: each file the MPEG reader measures is also walked (--conferir),
  // and with Corrige a file warned of is given its walked length.
  // limite: the average time a file above which rows are measured ahead; 0
  // measures every row ahead.
  // medidor: what measures a path (tests); MedeCaminho with mapeamento when empty.
  using TMedidor = std::function<TMedida(TWindowsLookup& busca, const std::string& caminho)>;
  TMedicaoAntecipada(int paralelo, TPathMapping mapeamento, TConferencia conferir,
                     std::chrono::microseconds limite = LimiteAntecipacao, TMedidor medidor = nullptr);
  ~TMedicaoAntecipada() override;
  TMedicaoAntecipada(const TMedicaoAntecipada&) = delete;
  TMedicaoAntecipada& operator=(const TMedicaoAntecipada&) = delete;

  void Inicia(std::function<std::string(int linha)> caminhoDe, int total,
              std::shared_ptr<TFolderCache> pastas) override;
  TMedida Mede(int linha, const std::string& caminho) override;
  void Encerra() noexcept override;

  // With conferir: the walk of arquivo, made ahead when it is the file of the
  // row Mede gave last (as it is when the front end asks for that row).
  TConferenciaArquivo ConferenciaDe(const std::string& arquivo) const;

private:
  enum class TEstado { Esperando, Medindo, Pronta };
  struct TTarefa {
    int linha = 0;
    std::string caminho;
    TEstado estado = TEstado::Esperando;
    TMedida medida;
    TConferenciaArquivo conferencia;
    std::exception_ptr erro;  // what the measurement threw, for the run's thread
  };

  // A thread: measures the earliest row waiting, until the phase ends.
  void Trabalha();
  // Measures into resultado; gives the time it took.
  std::chrono::steady_clock::duration MedeTarefa(TWindowsLookup& busca, const std::string& caminho,
                                                 TTarefa& resultado) const;
  // Whether the rows are named to the threads now (lock held).
  bool NomeiaAdiante() const { return antecipando_ && !semAntecipar_; }
  // Names the next rows to the threads, up to paralelo_ ahead (run's thread, lock held).
  void Antecipa();
  // Adds a measurement's time to the average and decides whether rows are
  // named ahead from now on (lock held).
  void Cronometra(std::chrono::steady_clock::duration tempo);

  const int paralelo_;
  const TPathMapping mapeamento_;
  const TConferencia conferir_;
  const double limiteMicros_;
  const TMedidor medidor_;
  // Whether the facade's readers may be used on several threads at once (else the measurements take turns).
  const bool leitoresPorThread_;
  mutable std::mutex turnoLeitores_;

  std::function<std::string(int)> caminhoDe_;  // read on the run's thread only
  int total_ = 0;
  int proxima_ = 0;  // the next row to be named
  bool semAntecipar_ = false;  // a path could not be read: no more rows are named in this phase
  bool antecipando_ = true;    // rows are named ahead (else the run's thread measures them)
  double mediaMicros_ = -1;    // the running average of a file's time; -1 before the first
  std::shared_ptr<TFolderCache> pastas_;  // the phase's; set before the threads start
  std::optional<TWindowsLookup> buscaPropria_;  // the run's thread's own, for the rows it measures itself

  std::mutex mutex_;  // guards janela_ and parar_
  std::condition_variable haTarefa_;
  std::condition_variable haPronta_;
  std::deque<TTarefa> janela_;  // the rows named and not yet asked for, in order
  bool parar_ = false;
  std::vector<std::thread> threads_;

  // The row Mede gave last: the file it walked, and the walk.
  std::string conferido_;
  TConferenciaArquivo conferencia_;
};
