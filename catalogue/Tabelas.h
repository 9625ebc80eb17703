#pragma once

// The two tables an update run fills, described once: the run walks both
// from this table, and the companion's log, the benchmark and the tests
// read their names and columns here.

#include <array>
#include <string>

class TCatalogo;
class TQuery;

enum class TTabela { Musicas, Vinhetas };

struct TTabelaCatalogo {
  TTabela tabela;
  const char* nome;                          // "Tb_Musicas": how the companion's log names it
  TQuery& (*consulta)(TCatalogo& catalogo);  // its query: Q_Musicas, Q_Vinhetas
  const char* colunaCodigo;                  // the key
  const char* colunaSegundos;                // the two columns a run writes
  const char* colunaTempo;
  const char* colunaArquivo;                 // the file's name; its character set is the path's
  const char* colunaPasta;                   // the folder's path in front of the name; nullptr: none

  // The path of a fetched row of the query: the folder's path runs straight
  // into the file name, with no separator put between them and nothing trimmed.
  std::string Caminho(const TQuery& query, int linha) const;
};

// The music, then the jingles: the order in which a run walks them.
extern const std::array<TTabelaCatalogo, 2> TabelasCatalogo;

const TTabelaCatalogo& TabelaCatalogo(TTabela tabela);
