#pragma once

// Small steps shared by the catalogue tests: values for rows, and the update
// run's write of the current music row.

#include "catalogue/Catalogue.h"

#include <string>

namespace dztest {

inline const TSqlValue Null{};
inline TSqlValue T(const char* text) { return std::string(text); }

// The update run's edit of the current music row: both columns set, not yet written.
inline void EditMusica(TCatalogo& c, std::int32_t seconds, const std::string& time) {
  c.Q_Musicas.Edit();
  c.Q_Musicas.SetInteger("MUS_SEGUNDOS", seconds);
  c.Q_Musicas.SetString("MUS_TEMPO", time);
}

// The update run's write of the current music row: edit, write, commit with retention.
inline void WriteMusica(TCatalogo& c, std::int32_t seconds, const std::string& time) {
  EditMusica(c, seconds, time);
  c.Q_Musicas.ApplyUpdates();
  c.Trans_Velmar.CommitRetaining();
}

}  // namespace dztest
