#pragma once

// One run put together in one place, from one request: the window, the
// companion and the benchmark each hold a context and ask it for the run
// (Executa, with their front end) or for the measuring of one path (Mede),
// instead of assembling the catalogue, the rules, the measurer and the stop
// signals each in its own way.
//
// The context owns the catalogue's connection, the path rules, the folder
// cache of its paths measured alone, the measurer of its runs and the stop
// signals' wiring. Its construction reads the configuration and wires the
// signals and the wait limit into the connection, and connects nothing, so
// that the first connect (the window's, at start-up, or the first run's) is
// already watched: a call that waits on a server that does not answer is
// ended by a stop, and an attach, which has no handle to end, is left
// waiting on its own thread (the program then ends through FimProcesso.h).

#include "catalogue/Catalogue.h"
#include "run/Arranque.h"
#include "run/Atualizacao.h"
#include "run/Conferencia.h"
#include "run/Medicao.h"
#include "run/MedicaoAntecipada.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

struct TPedidoExecucao {
  TPedidoArranque arranque;  // the configuration, the rules, the wait limit, the stop signals
  TModoAtualizacao modo = TModoAtualizacao::Gravacao;
  // Threads that measure the next rows' files ahead of the run; 1 measures
  // each file on the run's own thread as its row comes (unless conferencia
  // asks for the walk, which the measuring threads make).
  int paralelo = ParaleloPadrao;
  TConferencia conferencia = TConferencia::Nenhuma;
  // Which rows a run visits: those still at "00:00", or every row (the companion's check).
  TReverificacao reverificacao = TReverificacao::Nenhuma;
  // Files modified less than this many seconds before they are measured are
  // left, with their rows, for a later run (they may still be being copied);
  // 0: none is.
  std::int32_t idadeMinima = 0;
  // A measurer of the caller's own instead (the benchmark's seconds known
  // beforehand); it must outlive the context.
  TMedicao* medicao = nullptr;
};

class TContextoExecucao {
public:
  explicit TContextoExecucao(TPedidoExecucao pedido);
  TContextoExecucao(const TContextoExecucao&) = delete;
  TContextoExecucao& operator=(const TContextoExecucao&) = delete;

  // DB_Velmar, Trans_Velmar and the queries of the runs.
  TCatalogo& Catalogo() { return catalogo_; }
  // The configuration file was there, and was read.
  bool ArquivoLido() const { return arranque_.arquivoLido; }
  // "" or what is wrong in the configuration, which keeps every run from starting.
  const std::string& Erro() const { return arranque_.erro; }

  // The update run with this front end (TAtualizacao::Executa). A wrong
  // configuration (Erro) is thrown before anything is read.
  void Executa(TFrenteAtualizacao& frente);
  // The counts of the last run, also when it ended early.
  const TContagemAtualizacao& Contagem() const { return contagem_; }

  // One path measured as the run measures its rows, with the same rules and
  // check; the folders it reads are remembered for the next paths.
  TMedida Mede(const std::string& caminho) { return medidor_.Mede(caminho); }

  // Tells aviso each moment of the runs (the update benchmark's step timing).
  void AvisaMomentos(std::function<void(TMomento)> aviso) { avisoMomentos_ = std::move(aviso); }

private:
  TCatalogo catalogo_;  // first: the rest is wired into its connection
  const TArranque arranque_;
  const TModoAtualizacao modo_;
  const TReverificacao reverificacao_;
  const std::int32_t idadeMinima_;
  std::optional<TMedicaoAntecipada> antecipada_;
  TMedicao* medicao_ = nullptr;  // the runs' measurer; none: each row's file measured as it comes
  TMedidor medidor_;
  std::function<void(TMomento)> avisoMomentos_;
  TContagemAtualizacao contagem_;
};
