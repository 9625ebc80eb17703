#pragma once

// The update run: every catalogue row whose time is still "00:00" gets the
// play length of its audio file, written and committed row by row, first the
// music rows, then the jingles. Two bars, a label and a closing message follow
// it through a front end (the window, or a program without one).

#include "run/FrenteAtualizacao.h"
#include "run/Medicao.h"
#include "paths/PathMapping.h"
#include "paths/WindowsLookup.h"

#include <functional>
#include <string>

class TCatalogo;
class TQuery;

inline constexpr const char* RotuloMusicas = "Progresso: Músicas";
inline constexpr const char* RotuloVinhetas = "Progresso: Vinhetas";
inline constexpr const char* MensagemSucesso = "Atualização realizada com sucesso.";
inline constexpr const char* MensagemNadaAFazer = "Não há arquivos sem duração cadastradas.";

// The moments of a run that whoever times its steps is told of (the update
// benchmark): a query opened (its select executed), every query fetched, and
// for each row its beginning, its file measured, its values set, its row
// written and its commit.
enum class TMomento { ConsultaAberta, ConsultasLidas, LinhaInicia, ArquivoMedido, LinhaEditada, LinhaGravada,
                      LinhaConfirmada };

// Gravacao writes and commits every row; Simulacao measures and reports every
// row the same way but writes and commits nothing.
enum class TModoAtualizacao { Gravacao, Simulacao };

// What a run did, counted by the run from the measurements it wrote,
// whatever its front end draws.
struct TContagemAtualizacao {
  int linhas = 0;         // rows written and committed (in a dry run: measured)
  int percorridos = 0;    // MP3 files walked frame by frame (TConferencia)
  int avisos = 0;         // rows whose estimated length can't be trusted
  int comPercorrida = 0;  // rows that got the walked length (TConferencia::Corrige)
};

class TAtualizacao {
public:
  // mapeamento: how the catalogue's Windows paths become local ones (BaseAudio.ini's [CAMINHOS]).
  TAtualizacao(TCatalogo& catalogo, TFrenteAtualizacao& frente, TModoAtualizacao modo = TModoAtualizacao::Gravacao,
               TPathMapping mapeamento = {});

  // The whole run. It handles no error: a database error ends it where it
  // happens (the rows before stay committed, nothing after it stays pending
  // or locked) and passes to the caller. Each run selects the rows afresh, so
  // a later run takes what still lacks a length; after a lost connection it
  // connects again.
  // It also ends, quietly, before a row when the front end asks it to.
  void Executa();

  // The lookup of the last run, with the folders it read (also those read
  // by a measurer's lookups, which share its folder cache).
  const TWindowsLookup& Busca() const { return busca_; }

  // Lets medicao measure the rows' files (it must outlive the runs); without
  // one, each row's file is measured on the run's own thread as the row comes.
  void MedeCom(TMedicao& medicao) { medicao_ = &medicao; }

  // Tells aviso each moment of the runs, on the run's thread (empty: none).
  void AvisaMomentos(std::function<void(TMomento)> aviso) { aviso_ = std::move(aviso); }

  // The counts of the last run, also when it ended early (an error, a stop).
  const TContagemAtualizacao& Contagem() const { return contagem_; }

private:
  // Measures and writes the current row of the table's query.
  void GravaDuracao(const TTabelaCatalogo& tabela, TQuery& query);
  void AvancaBarras();
  void Conta(const TMedida& medida);

  TCatalogo& catalogo_;
  TFrenteAtualizacao& frente_;
  TModoAtualizacao modo_;
  TPathMapping mapeamento_;
  TWindowsLookup busca_;  // one per run: each run sees the folders afresh
  TMedicao* medicao_ = nullptr;
  TContagemAtualizacao contagem_;
  std::function<void(TMomento)> aviso_;
  void Marca(TMomento momento) const {
    if (aviso_) aviso_(momento);
  }
};
