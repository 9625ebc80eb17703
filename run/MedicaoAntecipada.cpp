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

TMedicaoAntecipada::TMedicaoAntecipada(int paralelo, TPathMapping mapeamento, TConferencia conferir,
                                       std::chrono::microseconds limite, TMedidor medidor)
    : paralelo_(std::clamp(paralelo, 1, ParaleloMaximo)),
      lote_(std::max(1, paralelo_ / 4)),
      mapeamento_(std::move(mapeamento)),
      conferir_(conferir),
      limiteMicros_(static_cast<double>(std::max(limite.count(), std::chrono::microseconds::rep{0}))),
      medidor_(std::move(medidor)) {}

TMedicaoAntecipada::~TMedicaoAntecipada() { Encerra(); }

bool TMedicaoAntecipada::Cronometra(std::chrono::steady_clock::duration tempo) {
  const double micros = std::chrono::duration<double, std::micro>(tempo).count();
  mediaMicros_ = mediaMicros_ < 0 ? micros : mediaMicros_ + (micros - mediaMicros_) / 8;
  if (umPorLinha_ && mediaMicros_ < limiteMicros_ / 2) {
    umPorLinha_ = false;
  } else if (!umPorLinha_ && mediaMicros_ > limiteMicros_) {
    umPorLinha_ = true;
    return Esperando() > 0;
  }
  return false;
}

void TMedicaoAntecipada::Inicia(std::function<std::string(int)> caminhoDe, int total,
                                std::shared_ptr<TFolderCache> pastas) {
  Encerra();
  pastas_ = std::move(pastas);
  buscaPropria_.emplace(pastas_);
  caminhoDe_ = std::move(caminhoDe);
  total_ = total;
  {
    const std::lock_guard trava(mutex_);
    umPorLinha_ = true;  // until the measurements say otherwise
  }
  const int threads = std::min(paralelo_, total_);
  threads_.reserve(static_cast<std::size_t>(threads));
  try {
    for (int i = 0; i < threads; ++i) threads_.emplace_back(&TMedicaoAntecipada::Trabalha, this);
  } catch (...) {
    Encerra();  // the threads started so far
    throw;
  }
  Antecipa();
}

void TMedicaoAntecipada::Antecipa() {
  if (semAntecipar_) return;
  // proxima_ changes on this thread only: read without the lock.
  const int ate = std::min(total_, pedida_ + paralelo_);
  if (ate <= proxima_ || (ate - proxima_ < lote_ && ate < total_)) return;
  // The paths are read before the lock is taken, so that the threads
  // handing in their rows meanwhile do not wait for them.
  std::vector<TTarefa> novas;
  novas.reserve(static_cast<std::size_t>(ate - proxima_));
  for (int linha = proxima_; linha < ate; ++linha) {
    std::string caminho;
    try {
      caminho = caminhoDe_(linha);
    } catch (...) {
      // The run meets the same error when it reads that row itself, at its
      // own time; until then the rows are measured as they come.
      semAntecipar_ = true;
      break;
    }
    TTarefa& tarefa = novas.emplace_back();
    tarefa.linha = linha;
    tarefa.caminho = std::move(caminho);
  }
  if (novas.empty()) return;
  {
    const std::lock_guard trava(mutex_);
    for (TTarefa& tarefa : novas) janela_.push_back(std::move(tarefa));
    proxima_ += static_cast<int>(novas.size());
  }
  // One thread wakes; while rows wake a thread each, it wakes the next.
  haTarefa_.notify_one();
}

TMedida TMedicaoAntecipada::Mede(int linha, const std::string& caminho) {
  TTarefa tarefa;
  bool nomeada = false;
  {
    std::unique_lock trava(mutex_);
    // Rows before this one that were never named were measured here: naming
    // goes on from this row.
    if (janela_.empty() && proxima_ < linha) proxima_ = proximaMedir_ = linha;
    if (linha < proxima_) {
      if (janela_.empty() || janela_.front().linha != linha)
        throw std::logic_error("measuring ahead: row " + std::to_string(linha) + " asked out of order");
      // A row no thread has taken yet (the threads are busy, or slow to
      // get the processor) is measured here rather than waited for.
      if (janela_.front().estado == TEstado::Esperando) {
        ++proximaMedir_;
        janela_.pop_front();
      } else {
        haPronta_.wait(trava, [this] { return janela_.front().estado == TEstado::Pronta; });
        tarefa = std::move(janela_.front());
        janela_.pop_front();
        nomeada = true;
      }
    }
  }
  pedida_ = linha + 1;
  Antecipa();
  if (nomeada) {
    if (tarefa.erro) std::rethrow_exception(tarefa.erro);
    // Named from the same copy of the rows as the run reads, so never
    // another path; should it be, the row's own path is what counts.
    if (tarefa.caminho == caminho) return std::move(tarefa.medida);
  }
  if (!buscaPropria_) buscaPropria_.emplace();  // asked outside a phase
  std::chrono::steady_clock::duration tempo{};
  TMedida medida = MedeTarefa(*buscaPropria_, caminho, tempo);
  const std::lock_guard trava(mutex_);
  if (Cronometra(tempo)) haTarefa_.notify_one();
  return medida;
}

void TMedicaoAntecipada::Encerra() noexcept {
  {
    const std::lock_guard trava(mutex_);
    parar_ = true;
  }
  haTarefa_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
  janela_.clear();
  parar_ = false;
  proxima_ = 0;
  proximaMedir_ = 0;
  semAntecipar_ = false;
  buscaPropria_.reset();
  pastas_.reset();  // the run keeps its folders; the phase no longer holds them
  caminhoDe_ = nullptr;
  total_ = 0;
  pedida_ = 0;
}

void TMedicaoAntecipada::Trabalha() {
  CedeVez();  // the run's thread comes first (MedicaoAntecipada.h)
  TWindowsLookup busca(pastas_);  // this thread's own, with the folders of the run
  std::unique_lock trava(mutex_);
  for (;;) {
    haTarefa_.wait(trava, [this] { return parar_ || Esperando() > 0; });
    if (parar_) return;  // the rows still waiting are dropped
    // The earliest row waiting: the rows are taken in order.
    TTarefa* tarefa = &janela_[static_cast<std::size_t>(proximaMedir_ - janela_.front().linha)];
    ++proximaMedir_;
    tarefa->estado = TEstado::Medindo;
    // Read without the lock: a task's path does not change once named, and
    // the window's growing and shrinking at its ends leaves the task in place.
    const std::string& caminho = tarefa->caminho;
    const bool acorda = umPorLinha_ && Esperando() > 0;
    trava.unlock();
    if (acorda) haTarefa_.notify_one();
    // Measured into a result of its own: the run's thread may read the
    // window meanwhile, and only takes a row once it is ready. A row being
    // measured stays in the window until then, because the run takes rows
    // in order and waits for each.
    TMedida medida;
    std::exception_ptr erro;
    std::chrono::steady_clock::duration tempo{};
    try {
      medida = MedeTarefa(busca, caminho, tempo);
    } catch (...) {
      erro = std::current_exception();  // the run ends at this row: no time to count
    }
    trava.lock();
    const bool maisThreads = !erro && Cronometra(tempo);
    tarefa->medida = std::move(medida);
    tarefa->erro = erro;
    tarefa->estado = TEstado::Pronta;
    haPronta_.notify_one();
    if (maisThreads) haTarefa_.notify_one();
  }
}

TMedida TMedicaoAntecipada::MedeTarefa(TWindowsLookup& busca, const std::string& caminho,
                                       std::chrono::steady_clock::duration& tempo) const {
  const auto inicio = std::chrono::steady_clock::now();
  TMedida medida = medidor_ ? medidor_(busca, caminho) : MedeCaminho(busca, mapeamento_, caminho, conferir_);
  tempo = std::chrono::steady_clock::now() - inicio;
  return medida;
}
