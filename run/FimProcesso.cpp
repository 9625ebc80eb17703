#include "run/FimProcesso.h"

#include "catalogue/FbWatchdog.h"

#include <cstdio>
#include <cstdlib>

int FimDoProcesso(int saida) {
  if (TFbWatchdog::AttachesLeftBehind() == 0) return saida;
  std::fflush(nullptr);
  std::_Exit(saida);
}
