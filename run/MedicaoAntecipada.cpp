#include "run/MedicaoAntecipada.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#include <stdexcept>
#include <utility>

namespace {

// Lowers the calling thread's priority by CessaoPrioridade (nice), within the
// system's range; left as it is when the system refuses.
void CedeVez() {
  const auto thread = static_cast<id_t>(::gettid());
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, thread);
  if (nice == -1 && errno != 0) return;
  ::setpriority(PRIO_PROCESS, thread, std::min(nice + CessaoPrioridade, 19));
}

}  // namespace

// What a phase's threads share with the run's thread: how a path is measured,
// the rows named, and the running average. Each thread holds it, so that a
// thread left behind by a stop finishes its file with it and then ends, after
// the measurer itself may be gone.
struct TMedicaoAntecipada::TCompartilhado {
  enum class TEstado { Esperando, Medindo, Pronta };
  struct TTarefa {
    int linha = 0;
    std::string caminho;
    TEstado estado = TEstado::Esperando;
    TMedida medida;
    std::exception_ptr erro;  // what the measurement threw, for the run's thread
    std::chrono::steady_clock::time_point medidaEm;  // when it became Pronta
  };

  TCompartilhado(const TPathMapping& mapeamento, TConferencia conferir, double limiteMicros, TMedidor medidor)
      : mapeamento(mapeamento), conferir(conferir), limiteMicros(limiteMicros), medidor(std::move(medidor)) {}

  // Measures a path; gives the time it took in tempo.
  TMedida Mede(TWindowsLookup& busca, const std::string& caminho, std::chrono::steady_clock::duration& tempo) const {
    const auto inicio = std::chrono::steady_clock::now();
    TMedida medida = medidor ? medidor(busca, caminho) : MedeCaminho(busca, mapeamento, caminho, conferir);
    tempo = std::chrono::steady_clock::now() - inicio;
    return medida;
  }

  // Adds a measurement's time to the average and decides how many threads a
  // batch wakes from now on (lock held). True when the rows waiting now
  // want more threads awake.
  bool Cronometra(std::chrono::steady_clock::duration tempo) {
    const double micros = std::chrono::duration<double, std::micro>(tempo).count();
    mediaMicros = mediaMicros < 0 ? micros : mediaMicros + (micros - mediaMicros) / 8;
    if (umPorLinha && mediaMicros < limiteMicros / 2) {
      umPorLinha = false;
    } else if (!umPorLinha && mediaMicros > limiteMicros) {
      umPorLinha = true;
      return Esperando() > 0;
    }
    return false;
  }

  // The rows named and not yet taken by a thread (lock held).
  int Esperando() const { return proxima - proximaMedir; }

  const TPathMapping mapeamento;
  const TConferencia conferir;
  const double limiteMicros;
  const TMedidor medidor;
  std::shared_ptr<TFolderCache> pastas;  // the phase's; set before the threads start

  std::mutex mutex;  // guards what follows
  std::condition_variable haTarefa;
  std::condition_variable haPronta;
  std::deque<TTarefa> janela;  // rows named and not yet asked for: janela.front().linha .. proxima - 1
  int proxima = 0;       // the next row to be named
  int proximaMedir = 0;  // the next row a thread takes; the rows before it are measured or being measured
  bool umPorLinha = true;   // each row named wakes a thread (else one thread a batch)
  double mediaMicros = -1;  // the running average of a file's time; -1 before the first
  bool parar = false;
};

TMedicaoAntecipada::TMedicaoAntecipada(int paralelo, TPathMapping mapeamento, TConferencia conferir,
                                       std::chrono::microseconds limite, TMedidor medidor,
                                       std::chrono::milliseconds idadeMaxima)
    : paralelo_(std::clamp(paralelo, 1, ParaleloMaximo)),
      lote_(std::max(1, paralelo_ / 4)),
      mapeamento_(std::move(mapeamento)),
      conferir_(conferir),
      limiteMicros_(static_cast<double>(std::max(limite.count(), std::chrono::microseconds::rep{0}))),
      medidor_(std::move(medidor)),
      idadeMaxima_(idadeMaxima),
      estado_(NovoEstado()) {}

TMedicaoAntecipada::~TMedicaoAntecipada() { Encerra(); }

std::shared_ptr<TMedicaoAntecipada::TCompartilhado> TMedicaoAntecipada::NovoEstado() const {
  return std::make_shared<TCompartilhado>(mapeamento_, conferir_, limiteMicros_, medidor_);
}

void TMedicaoAntecipada::Inicia(std::function<std::string(int)> caminhoDe, int total,
                                std::shared_ptr<TFolderCache> pastas) {
  Encerra();
  estado_->pastas = std::move(pastas);
  buscaPropria_.emplace(estado_->pastas);
  caminhoDe_ = std::move(caminhoDe);
  total_ = total;
  {
    const std::lock_guard trava(estado_->mutex);
    estado_->umPorLinha = true;  // until the measurements say otherwise
  }
  const int threads = std::min(paralelo_, total_);
  threads_.reserve(static_cast<std::size_t>(threads));
  try {
    for (int i = 0; i < threads; ++i) threads_.emplace_back(&TMedicaoAntecipada::Trabalha, estado_);
  } catch (...) {
    Encerra();  // the threads started so far
    throw;
  }
  Antecipa();
}

void TMedicaoAntecipada::Antecipa() {
  if (semAntecipar_) return;
  TCompartilhado& estado = *estado_;
  // proxima changes on this thread only: read without the lock.
  const int ate = std::min(total_, pedida_ + paralelo_);
  if (ate <= estado.proxima || (ate - estado.proxima < lote_ && ate < total_)) return;
  // The paths are read before the lock is taken, so that the threads
  // handing in their rows meanwhile do not wait for them.
  std::vector<TCompartilhado::TTarefa> novas;
  novas.reserve(static_cast<std::size_t>(ate - estado.proxima));
  for (int linha = estado.proxima; linha < ate; ++linha) {
    std::string caminho;
    try {
      caminho = caminhoDe_(linha);
    } catch (...) {
      // The run meets the same error when it reads that row itself, at its
      // own time; until then the rows are measured as they come.
      semAntecipar_ = true;
      break;
    }
    TCompartilhado::TTarefa& tarefa = novas.emplace_back();
    tarefa.linha = linha;
    tarefa.caminho = std::move(caminho);
  }
  if (novas.empty()) return;
  {
    const std::lock_guard trava(estado.mutex);
    for (TCompartilhado::TTarefa& tarefa : novas) estado.janela.push_back(std::move(tarefa));
    estado.proxima += static_cast<int>(novas.size());
  }
  // One thread wakes; while rows wake a thread each, it wakes the next.
  estado.haTarefa.notify_one();
}

TMedida TMedicaoAntecipada::Mede(int linha, const std::string& caminho) {
  TCompartilhado& estado = *estado_;
  TCompartilhado::TTarefa tarefa;
  bool nomeada = false;
  {
    std::unique_lock trava(estado.mutex);
    // Rows before this one that were never named were measured here: naming
    // goes on from this row.
    if (estado.janela.empty() && estado.proxima < linha) estado.proxima = estado.proximaMedir = linha;
    if (linha < estado.proxima) {
      if (estado.janela.empty() || estado.janela.front().linha != linha)
        throw std::logic_error("measuring ahead: row " + std::to_string(linha) + " asked out of order");
      // A row no thread has taken yet (the threads are busy, or slow to
      // get the processor) is measured here rather than waited for.
      if (estado.janela.front().estado == TCompartilhado::TEstado::Esperando) {
        ++estado.proximaMedir;
        estado.janela.pop_front();
      } else {
        estado.haPronta.wait(trava,
                             [&estado] { return estado.janela.front().estado == TCompartilhado::TEstado::Pronta; });
        tarefa = std::move(estado.janela.front());
        estado.janela.pop_front();
        nomeada = true;
      }
    }
  }
  pedida_ = linha + 1;
  Antecipa();
  if (nomeada) {
    if (tarefa.erro) std::rethrow_exception(tarefa.erro);
    // Named from the same copy of the rows as the run reads, so never
    // another path; should it be, the row's own path is what counts. A
    // measurement that has waited too long (the run held up) may no longer
    // be the file's: it is taken again.
    const bool recente = std::chrono::steady_clock::now() - tarefa.medidaEm <= idadeMaxima_;
    if (tarefa.caminho == caminho && recente) return std::move(tarefa.medida);
  }
  if (!buscaPropria_) buscaPropria_.emplace();  // asked outside a phase
  std::chrono::steady_clock::duration tempo{};
  TMedida medida = estado.Mede(*buscaPropria_, caminho, tempo);
  const std::lock_guard trava(estado.mutex);
  if (estado.Cronometra(tempo)) estado.haTarefa.notify_one();
  return medida;
}

void TMedicaoAntecipada::Encerra() noexcept {
  {
    const std::lock_guard trava(estado_->mutex);
    estado_->parar = true;
  }
  estado_->haTarefa.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  estado_ = NovoEstado();
  semAntecipar_ = false;
  buscaPropria_.reset();
  caminhoDe_ = nullptr;
  total_ = 0;
  pedida_ = 0;
}

bool TMedicaoAntecipada::Abandona() noexcept {
  {
    const std::lock_guard trava(estado_->mutex);
    estado_->parar = true;
  }
  estado_->haTarefa.notify_all();
  const bool deixadas = !threads_.empty();
  // Each thread holds the phase's state, window and all, until it ends; the
  // run's thread no longer touches it.
  for (std::thread& thread : threads_) thread.detach();
  threads_.clear();
  if (deixadas) deixados_.push_back(estado_);
  Encerra();  // a new state; no thread is left to wait for
  return deixadas;
}

int TMedicaoAntecipada::ThreadsDeixadas() const {
  long vivas = 0;
  for (const std::weak_ptr<TCompartilhado>& estado : deixados_) vivas += estado.use_count();
  return static_cast<int>(vivas);
}

void TMedicaoAntecipada::Trabalha(std::shared_ptr<TCompartilhado> compartilhado) {
  CedeVez();  // the run's thread comes first (MedicaoAntecipada.h)
  TCompartilhado& estado = *compartilhado;
  TWindowsLookup busca(estado.pastas);  // this thread's own, with the folders of the run
  std::unique_lock trava(estado.mutex);
  for (;;) {
    estado.haTarefa.wait(trava, [&estado] { return estado.parar || estado.Esperando() > 0; });
    if (estado.parar) return;  // the rows still waiting are dropped
    // The earliest row waiting: the rows are taken in order.
    TCompartilhado::TTarefa* tarefa =
        &estado.janela[static_cast<std::size_t>(estado.proximaMedir - estado.janela.front().linha)];
    ++estado.proximaMedir;
    tarefa->estado = TCompartilhado::TEstado::Medindo;
    // Read without the lock: a task's path does not change once named, and
    // the window's growing and shrinking at its ends leaves the task in place.
    const std::string& caminho = tarefa->caminho;
    const bool acorda = estado.umPorLinha && estado.Esperando() > 0;
    trava.unlock();
    if (acorda) estado.haTarefa.notify_one();
    // Measured into a result of its own: the run's thread may read the
    // window meanwhile, and only takes a row once it is ready. A row being
    // measured stays in the window until then, because the run takes rows
    // in order and waits for each.
    TMedida medida;
    std::exception_ptr erro;
    std::chrono::steady_clock::duration tempo{};
    try {
      medida = estado.Mede(busca, caminho, tempo);
    } catch (...) {
      erro = std::current_exception();  // the run ends at this row: no time to count
    }
    trava.lock();
    if (estado.parar) return;  // the phase is over: nobody asks for the row any more
    const bool maisThreads = !erro && estado.Cronometra(tempo);
    tarefa->medida = std::move(medida);
    tarefa->erro = erro;
    tarefa->estado = TCompartilhado::TEstado::Pronta;
    tarefa->medidaEm = std::chrono::steady_clock::now();
    estado.haPronta.notify_one();
    if (maisThreads) estado.haTarefa.notify_one();
  }
}
