#include "run/ContextoExecucao.h"

#include <stdexcept>
#include <utility>

TContextoExecucao::TContextoExecucao(TPedidoExecucao pedido)
    : arranque_(PreparaArranque(catalogo_, pedido.arranque)),
      modo_(pedido.modo),
      reverificacao_(pedido.reverificacao),
      idadeMinima_(pedido.idadeMinima),
      medicao_(pedido.medicao),
      medidor_(arranque_.mapeamento, pedido.conferencia) {
  // The walk is made by the measurer with each measurement (correcting needs
  // it before the row is written), so a check is measured ahead, on one
  // thread at least. The threads start with each phase of a run, after the
  // stop signals were blocked: they inherit that and never take a signal.
  if (medicao_ == nullptr && (pedido.paralelo > 1 || pedido.conferencia != TConferencia::Nenhuma)) {
    TMedicaoAntecipada::TMedidor medidor;
    if (idadeMinima_ > 0) {
      medidor = [mapeamento = arranque_.mapeamento, conferir = pedido.conferencia, idade = idadeMinima_](
                    TWindowsLookup& busca, const std::string& caminho) {
        return MedeCaminho(busca, mapeamento, caminho, conferir, idade);
      };
    }
    medicao_ = &antecipada_.emplace(pedido.paralelo, arranque_.mapeamento, pedido.conferencia, LimiteAntecipacao,
                                    std::move(medidor));
  }
}

void TContextoExecucao::Executa(TFrenteAtualizacao& frente) {
  if (!arranque_.erro.empty()) throw std::runtime_error(arranque_.erro);
  contagem_ = {};
  TAtualizacao atualizacao(catalogo_, frente, modo_, arranque_.mapeamento);
  if (medicao_ != nullptr) atualizacao.MedeCom(*medicao_);
  atualizacao.Reverifica(reverificacao_);
  atualizacao.IdadeMinima(idadeMinima_);
  atualizacao.AvisaMomentos(avisoMomentos_);
  try {
    atualizacao.Executa();
  } catch (...) {
    contagem_ = atualizacao.Contagem();
    throw;
  }
  contagem_ = atualizacao.Contagem();
}
