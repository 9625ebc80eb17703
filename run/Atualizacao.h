#pragma once

// The update run: every catalogue row whose time is still "00:00" gets the
// play length of its audio file, written and committed row by row, first the
// music rows, then the jingles. Two bars, a label and a closing message follow
// it through a front end (the window, or a program without one). The
// companion's check visits the rows that have a length too (TReverificacao).

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

// Which rows a run visits. The window's run, and the companion's by default,
// fill the rows still at "00:00"; the companion's check visits every row, in
// the same order and with the same rules, fills those still at "00:00" as
// always, and compares the length each other row holds with its file's: the
// stored seconds more than 1 s away from the file's, or a time text that is
// not the one written for the stored seconds, differ. A file that measures
// 0 (missing, unreadable, not audio) never takes a row's length away.
enum class TReverificacao {
  Nenhuma,  // the rows still at "00:00"
  Relata,   // every row; a differing length is reported and left as it is
  Corrige,  // every row; a differing length is written (while the row still holds what was read)
};

// What a run did, counted by the run from the rows it visited, whatever its
// front end draws.
struct TContagemAtualizacao {
  int linhas = 0;         // rows written and committed (in a dry run: that would be)
  int percorridos = 0;    // MP3 files walked frame by frame (TConferencia)
  int avisos = 0;         // rows whose estimated length can't be trusted
  int comPercorrida = 0;  // rows that got the walked length (TConferencia::Corrige)
  int visitadas = 0;      // rows visited
  int diferentes = 0;     // rows whose stored length (not "00:00") is not the file's, written or not
  int gravadas = 0;       // rows written and committed
  int recentes = 0;       // rows left as they were: their file was modified too recently
  int semMedida = 0;      // rows whose file measured 0, with its reason
  int naoGravadas = 0;    // differing rows left as they were (a report, a dry run, an edit that won)
};

// Whether a time text is the "00:00" of a row without a length (as the
// queries compare it: blanks after it do not count).
bool SemDuracao(const std::string& tempo);
// Whether a row's stored length differs from the seconds its file measured:
// more than 1 s away, or a time text that is not SegundosParaTempo of the
// stored seconds.
bool DuracaoDifere(std::int32_t segundosAntes, const std::string& tempoAntes, std::int32_t segundos);

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

  // Which rows the runs visit (TReverificacao::Nenhuma unless told).
  void Reverifica(TReverificacao reverificacao) { reverificacao_ = reverificacao; }
  // Files modified less than this many seconds before they are measured are
  // not measured, and their rows are left as they are (0, the default: none).
  // For the rows measured on the run's own thread; a measurer given with
  // MedeCom applies its own.
  void IdadeMinima(std::int32_t segundos) { idadeMinima_ = segundos; }

  // Tells aviso each moment of the runs, on the run's thread (empty: none).
  void AvisaMomentos(std::function<void(TMomento)> aviso) { aviso_ = std::move(aviso); }

  // The counts of the last run, also when it ended early (an error, a stop).
  const TContagemAtualizacao& Contagem() const { return contagem_; }

private:
  // The query a run visits of the table.
  TQuery& Consulta(const TTabelaCatalogo& tabela) const;
  // Measures the current row of the table's query, writes what it must and
  // tells the front end.
  void VisitaLinha(const TTabelaCatalogo& tabela, TQuery& query);
  // Writes the row's measured length: Gravada, or Falhou when the check's
  // guarded write found the row changed by another program. A commit cut off
  // is told to the front end (NaoConfirmada) and its error passes on.
  TDesfecho Grava(const TTabelaCatalogo& tabela, TQuery& query, const TLinhaAtualizada& linha);
  void AvancaBarras();

  TCatalogo& catalogo_;
  TFrenteAtualizacao& frente_;
  TModoAtualizacao modo_;
  TPathMapping mapeamento_;
  TWindowsLookup busca_;  // one per run: each run sees the folders afresh
  TMedicao* medicao_ = nullptr;
  TReverificacao reverificacao_ = TReverificacao::Nenhuma;
  std::int32_t idadeMinima_ = 0;
  TContagemAtualizacao contagem_;
  std::function<void(TMomento)> aviso_;
  void Marca(TMomento momento) const {
    if (aviso_) aviso_(momento);
  }
};
