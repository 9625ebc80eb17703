#pragma once

// Small steps shared by the catalogue tests: values for rows, and the update
// run's own write of the current music row (catalogue/Tabelas.h).

#include "catalogue/Catalogue.h"
#include "catalogue/Tabelas.h"

#include <string>

namespace dztest {

inline const TSqlValue Null{};
inline TSqlValue T(const char* text) { return std::string(text); }

// The update run's edit of the current music row: both columns set, not yet written.
inline void EditMusica(TCatalogo& c, std::int32_t seconds, const std::string& time) {
  TabelaCatalogo(TTabela::Musicas).EditaDuracao(c, seconds, time);
}

// The update run's write of the current music row: edit, write, commit with retention.
inline void WriteMusica(TCatalogo& c, std::int32_t seconds, const std::string& time) {
  TabelaCatalogo(TTabela::Musicas).GravaDuracao(c, seconds, time);
}

}  // namespace dztest
