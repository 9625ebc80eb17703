#pragma once

// How the update run measures its rows' files. By itself the run measures
// each row's file when it comes to the row, on its own thread; a measurer
// given to it may measure the next rows' files ahead while the run writes and
// commits the current one. Either way the run writes, commits and reports
// every row itself, in order.

#include "audio/U_Funcoes.h"
#include "paths/PathMapping.h"
#include "paths/WindowsLookup.h"
#include "run/Conferencia.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

// What the run learns of one row's file: what it writes, why, which file
// it read, and the frame walk of that file when the run checks its files.
struct TMedida {
  TLookup arquivo;            // the file found for the catalogue's path, or the path looked for
  std::int32_t segundos = 0;  // the value written into the seconds column
  TMotivoDuracao motivo = TMotivoDuracao::Medida;  // why the file gave that many seconds
  TOrigemDuracao origem = TOrigemDuracao::Nenhuma;  // which rule gave them
  TConferenciaArquivo conferencia;  // with conferir: the walk of arquivo.Path (else not walked)
  bool comPercorrida = false;       // segundos is the walked length (Corrige, a file warned of)
  // With ModificadoHaPouco: the age in seconds the file had not reached.
  std::int32_t idadeMinima = 0;
};

// The reason a file got the seconds it got, in a few words, as the
// companion's log and audioinfo show it ("" when measured).
const char* TextoMotivo(TMotivoDuracao motivo);
// The same for a measurement, with the age it asked for where that is the
// reason ("arquivo modificado há menos de 10 s").
std::string TextoMotivo(const TMedida& medida);
// Which rule gave the seconds, as the companion's report names it; "—" for none.
const char* TextoOrigem(TOrigemDuracao origem);

// One row's file as the run measures it, the one entry every measuring
// thread and the run's own use: the catalogue's path translated by the rules
// and found as the station's Windows machines find it (WindowsLookup.h),
// then measured by the facade. The open that measures the file is also the
// lookup's first try, with no stat before it; the lookup reads folders only
// when that open finds nothing. An ambiguous name, or a path whose ".." lead
// out of its mapped folder, gives 0 and nothing is read. busca remembers the
// folders it read (in its cache, which lookups on other threads may share).
// conferir: the file found (or the path looked for) is also walked; with
// Corrige a file warned of gets its walked length.
// idadeMinima (seconds, 0: none): a file the open finds modified less than
// that long ago (or later than now) is not read, with ModificadoHaPouco: it
// may still be being copied. Its time comes from the open itself.
TMedida MedeCaminho(TWindowsLookup& busca, const TPathMapping& mapeamento, const std::string& caminho,
                    TConferencia conferir = TConferencia::Nenhuma, std::int32_t idadeMinima = 0);

// One path measured as the run measures a row's, outside a run: a run
// context's Mede, and audioinfo. Its lookup remembers the folders it read
// from one path to the next.
class TMedidor {
public:
  // procura false: each path is read exactly as given, never looked up in
  // another letter case (audioinfo without rules).
  explicit TMedidor(TPathMapping mapeamento = {}, TConferencia conferir = TConferencia::Nenhuma, bool procura = true)
      : mapeamento_(std::move(mapeamento)), conferir_(conferir), procura_(procura) {}

  TMedida Mede(const std::string& caminho);

private:
  TPathMapping mapeamento_;
  TConferencia conferir_;
  bool procura_;
  TWindowsLookup busca_;
};

class TMedicao {
public:
  virtual ~TMedicao() = default;

  // A phase begins with rows 0 .. total - 1; caminhoDe gives the path of any
  // of them. It reads the catalogue's copy of the rows, so it is called on
  // the run's thread only (from Inicia and Mede), and not after Encerra.
  // pastas: the run's folder cache, which every lookup of the phase shares,
  // so that a folder is read once in the run.
  virtual void Inicia(std::function<std::string(int linha)> caminhoDe, int total,
                      std::shared_ptr<TFolderCache> pastas) = 0;
  // The measurement of the row linha of the phase, whose path is caminho.
  // The run asks for its rows in order, each once.
  virtual TMedida Mede(int linha, const std::string& caminho) = 0;
  // The phase is over, whether it ended, failed or was stopped: whatever was
  // measured ahead and not asked for is dropped, and nothing goes on in the
  // background.
  virtual void Encerra() noexcept = 0;
  // The same when the run was stopped: what only measures files may go on in
  // the background until it ends by itself, but nothing of it reaches the run
  // any more. True when something was left to end so.
  virtual bool Abandona() noexcept {
    Encerra();
    return false;
  }
};
