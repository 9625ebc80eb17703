#pragma once

// Small steps shared by the catalogue tests: values for rows, and the update
// run's write of the current music row.

#include "catalogue/Catalogue.h"

#include <string>

namespace dztest {

inline const TSqlValue Null{};
inline TSqlValue T(const char* text) { return std::string(text); }

// The update run's write of the current music row: edit, set both columns,
// write, commit with retention.
inline void WriteMusica(TCatalogo& c, std::int32_t seconds, const std::string& time) {
  c.Q_Musicas.Edit();
  c.Q_Musicas.SetInteger("MUS_SEGUNDOS", seconds);
  c.Q_Musicas.SetString("MUS_TEMPO", time);
  c.Q_Musicas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
}

}  // namespace dztest
