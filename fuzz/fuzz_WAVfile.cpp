#include "fuzz/FuzzFile.h"
#include "audio/WAVfile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TWAVfile wav;
  wav.LoadFromFile(FuzzFile(data, size));
  const double duration = wav.Duration();
  if (!std::isfinite(duration) || duration < 0) __builtin_trap();
  (void)wav.ChannelMode();
  return 0;
}
