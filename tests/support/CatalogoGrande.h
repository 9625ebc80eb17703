#pragma once

// A catalogue of many rows, for runs that a test stops: a run over it lasts
// seconds, so a signal sent once the run has begun meets it running.

#include <string>

namespace dztest {

// Adds music rows with keys 1 to linhas, each in folder pasta naming arquivo,
// with the time "00:00" and no seconds. The folder row is the caller's.
void InsereMusicas(const std::string& banco, int linhas, int pasta, const std::string& arquivo);

// What the music rows hold after a run, which walks them from the highest key down.
struct TEstadoMusicas {
  int total = 0;
  int medidas = 0;      // rows holding exactly the seconds and "mm:ss" the run writes
  int vazias = 0;       // rows still without seconds, time "00:00"
  int menorMedida = 0;  // the lowest key of the measured rows (0 when none)

  // Every row either measured or untouched: none holds one column and not the other.
  bool NenhumaPelaMetade() const { return medidas + vazias == total; }
  // The measured rows are the highest keys: each row before the last written one is written too.
  bool MedidasDoTopo() const { return medidas == 0 || menorMedida == total - medidas + 1; }
};
TEstadoMusicas EstadoMusicas(const std::string& banco, int segundos, const std::string& tempo);

}  // namespace dztest
