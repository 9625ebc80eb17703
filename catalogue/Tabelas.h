#pragma once

// The two tables an update run fills, described once: the run walks both
// from this table, the catalogue's select and modify statements are made
// from it, and the companion's log, the benchmark and the tests read their
// names and columns here.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class TCatalogo;
class TQuery;

enum class TTabela { Musicas, Vinhetas };

// The steps of a row's write, for whoever times the run (the update benchmark).
enum class TPassoGravacao { Editada, Gravada, Confirmada };

struct TTabelaCatalogo {
  TTabela tabela;
  const char* nome;                          // "Tb_Musicas": the table, as the companion's log names it
  TQuery& (*consulta)(TCatalogo& catalogo);  // its query: Q_Musicas, Q_Vinhetas
  // The query of every row, for the check of the lengths already written:
  // Q_MusicasTodas, Q_VinhetasTodas.
  TQuery& (*consultaTodas)(TCatalogo& catalogo);
  const char* colunaCodigo;                  // the key
  const char* colunaSegundos;                // the two columns a run writes
  const char* colunaTempo;
  const char* colunaArquivo;                 // the file's name; its character set is the path's
  const char* colunaPasta;                   // the folder's path in front of the name; nullptr: none
  const char* tabelaPastas = nullptr;        // with colunaPasta: the folders' table ...
  const char* colunaCodigoPasta = nullptr;   // ... and the folder's key, in both tables

  // The path of a fetched row of the query: the folder's path runs straight
  // into the file name, with no separator put between them and nothing trimmed.
  std::string Caminho(const TQuery& query, int linha) const;

  // The run's write of the current row of its query: the seconds and the
  // "mm:ss" text set (EditaDuracao), the row written, and committed with
  // retention, so the transaction goes on. passo, when given, is told each
  // step as it ends.
  void GravaDuracao(TCatalogo& catalogo, std::int32_t segundos, const std::string& tempo,
                    const std::function<void(TPassoGravacao)>& passo = {}) const;
  // The same write of the current row of query, one of the table's two.
  void GravaDuracao(TCatalogo& catalogo, TQuery& query, std::int32_t segundos, const std::string& tempo,
                    const std::function<void(TPassoGravacao)>& passo = {}) const;
  // Its first step alone: both columns set on the current row, not yet written.
  void EditaDuracao(TCatalogo& catalogo, std::int32_t segundos, const std::string& tempo) const;
};

// The music, then the jingles: the order in which a run walks them.
extern const std::array<TTabelaCatalogo, 2> TabelasCatalogo;

const TTabelaCatalogo& TabelaCatalogo(TTabela tabela);
