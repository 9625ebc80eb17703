#include "fuzz/FuzzFile.h"
#include "audio/U_Funcoes.h"
#include "audio/WAVfile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TWAVfile wav;
  wav.LoadFromFile(FuzzFile(data, size));
  const double duration = wav.Duration();
  if (!std::isfinite(duration) || duration < 0) __builtin_trap();
  (void)wav.ChannelMode();
  // What the catalogue would get: never a negative number of seconds.
  if (DuracaoEmSegundos(FuzzFile(data, size)) < 0) __builtin_trap();
  return 0;
}
