#include "run/MedicaoAntecipada.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// The facade keeps the reader of the call in progress at unit level
// (LeitorMPEG, LeitorWAV). When that is one object for the whole program,
// calls on several threads would share it; when each thread has its own,
// they are independent.
bool LeitoresPorThread() {
  const void* aqui = &LeitorMPEG;
  const void* outra = aqui;
  std::thread([&outra] { outra = &LeitorMPEG; }).join();
  return outra != aqui;
}

}  // namespace

TMedicaoAntecipada::TMedicaoAntecipada(int paralelo, TPathMapping mapeamento, TConferencia conferir,
                                       std::chrono::microseconds limite, TMedidor medidor)
    : paralelo_(std::clamp(paralelo, 1, ParaleloMaximo)),
      mapeamento_(std::move(mapeamento)),
      conferir_(conferir),
      limiteMicros_(static_cast<double>(std::max(limite.count(), std::chrono::microseconds::rep{0}))),
      medidor_(std::move(medidor)),
      leitoresPorThread_(LeitoresPorThread()) {}

void TMedicaoAntecipada::Cronometra(std::chrono::steady_clock::duration tempo) {
  const double micros = std::chrono::duration<double, std::micro>(tempo).count();
  mediaMicros_ = mediaMicros_ < 0 ? micros : mediaMicros_ + (micros - mediaMicros_) / 8;
  if (antecipando_ && mediaMicros_ < limiteMicros_ / 2) antecipando_ = false;
  else if (!antecipando_ && mediaMicros_ > limiteMicros_) antecipando_ = true;
}

TMedicaoAntecipada::~TMedicaoAntecipada() { Encerra(); }

void TMedicaoAntecipada::Inicia(std::function<std::string(int)> caminhoDe, int total,
                                std::shared_ptr<TFolderCache> pastas) {
  Encerra();
  pastas_ = std::move(pastas);
  buscaPropria_.emplace(pastas_);
  caminhoDe_ = std::move(caminhoDe);
  total_ = total;
  proxima_ = 0;
  const int threads = std::min(paralelo_, total_);
  threads_.reserve(static_cast<std::size_t>(threads));
  try {
    for (int i = 0; i < threads; ++i) threads_.emplace_back(&TMedicaoAntecipada::Trabalha, this);
  } catch (...) {
    Encerra();  // the threads started so far
    throw;
  }
  const std::lock_guard trava(mutex_);
  antecipando_ = true;  // until the measurements say otherwise
  Antecipa();
}

void TMedicaoAntecipada::Antecipa() {
  const std::size_t antes = janela_.size();
  while (proxima_ < total_ && janela_.size() < static_cast<std::size_t>(paralelo_)) {
    std::string caminho;
    try {
      caminho = caminhoDe_(proxima_);
    } catch (...) {
      // The run meets the same error when it reads that row itself, at its
      // own time; until then the rows are measured as they come.
      semAntecipar_ = true;
      break;
    }
    TTarefa& tarefa = janela_.emplace_back();
    tarefa.linha = proxima_++;
    tarefa.caminho = std::move(caminho);
  }
  if (janela_.size() == antes + 1) {
    haTarefa_.notify_one();
  } else if (janela_.size() > antes) {
    haTarefa_.notify_all();
  }
}

TMedida TMedicaoAntecipada::Mede(int linha, const std::string& caminho) {
  TTarefa tarefa;
  bool medida = false;  // by a thread, for this row's path
  {
    std::unique_lock trava(mutex_);
    // The rows before this one that were not named were measured here: naming
    // goes on from this row.
    if (janela_.empty() && proxima_ < linha) proxima_ = linha;
    if (NomeiaAdiante()) Antecipa();
    const bool nomeada = linha < proxima_;
    if (nomeada || NomeiaAdiante()) {
      if (janela_.empty() || janela_.front().linha != linha)
        throw std::logic_error("measuring ahead: row " + std::to_string(linha) + " asked out of order");
      haPronta_.wait(trava, [this] { return janela_.front().estado == TEstado::Pronta; });
      tarefa = std::move(janela_.front());
      janela_.pop_front();
      if (NomeiaAdiante()) Antecipa();
      if (tarefa.erro) std::rethrow_exception(tarefa.erro);
      // Named from the same copy of the rows as the run reads, so never
      // another path; should it be, the row's own path is what counts.
      medida = tarefa.caminho == caminho;
    }
  }
  if (!medida) {
    // Measured here, as it comes; timed like the threads' measurements, so
    // that a slow file turns measuring ahead on again from the next row.
    if (!buscaPropria_) buscaPropria_.emplace();  // asked outside a phase
    const auto tempo = MedeTarefa(*buscaPropria_, caminho, tarefa);
    const std::lock_guard trava(mutex_);
    Cronometra(tempo);
  }
  conferido_ = tarefa.medida.arquivo.Path;
  conferencia_ = tarefa.conferencia;
  return tarefa.medida;
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
  semAntecipar_ = false;
  buscaPropria_.reset();
  pastas_.reset();  // the run keeps its folders; the phase no longer holds them
  caminhoDe_ = nullptr;
  total_ = 0;
  proxima_ = 0;
}

TConferenciaArquivo TMedicaoAntecipada::ConferenciaDe(const std::string& arquivo) const {
  return conferir_ != TConferencia::Nenhuma && arquivo == conferido_ ? conferencia_ : ConfereArquivo(arquivo);
}

void TMedicaoAntecipada::Trabalha() {
  TWindowsLookup busca(pastas_);  // this thread's own, with the folders of the run
  for (;;) {
    TTarefa* tarefa = nullptr;
    std::string caminho;
    {
      std::unique_lock trava(mutex_);
      haTarefa_.wait(trava, [&] {
        if (parar_) return true;
        const auto esperando = std::find_if(janela_.begin(), janela_.end(),
                                            [](const TTarefa& t) { return t.estado == TEstado::Esperando; });
        tarefa = esperando == janela_.end() ? nullptr : &*esperando;
        return tarefa != nullptr;
      });
      if (parar_) return;  // the rows still waiting are dropped
      tarefa->estado = TEstado::Medindo;
      caminho = tarefa->caminho;
    }
    // Measured into a result of its own: the run's thread may read the
    // window meanwhile, and only takes a row once it is ready. A row being
    // measured stays in the window until then, because the run takes rows
    // in order and waits for each.
    TTarefa resultado;
    std::chrono::steady_clock::duration tempo{};
    try {
      tempo = MedeTarefa(busca, caminho, resultado);
    } catch (...) {
      resultado.erro = std::current_exception();  // the run ends at this row: no time to count
    }
    {
      const std::lock_guard trava(mutex_);
      if (!resultado.erro) Cronometra(tempo);
      tarefa->medida = std::move(resultado.medida);
      tarefa->conferencia = resultado.conferencia;
      tarefa->erro = resultado.erro;
      tarefa->estado = TEstado::Pronta;
    }
    haPronta_.notify_one();
  }
}

std::chrono::steady_clock::duration TMedicaoAntecipada::MedeTarefa(TWindowsLookup& busca, const std::string& caminho,
                                                                   TTarefa& resultado) const {
  const auto inicio = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> turno;
  if (!leitoresPorThread_) turno = std::unique_lock(turnoLeitores_);
  resultado.medida = medidor_ ? medidor_(busca, caminho) : MedeCaminho(busca, mapeamento_, caminho);
  // The file the front end would walk: the one opened, or the path looked for.
  if (conferir_ != TConferencia::Nenhuma) {
    resultado.conferencia = ConfereArquivo(resultado.medida.arquivo.Path);
    if (conferir_ == TConferencia::Corrige && resultado.conferencia.motivo != TMotivoAviso::Nenhum)
      resultado.medida.segundos = SegundosPercorridos(resultado.conferencia);
  }
  return std::chrono::steady_clock::now() - inicio;
}
