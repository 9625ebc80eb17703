#include "fuzz/FuzzFile.h"
#include "audio/MPEGaudio.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMPEGaudio mpeg;
  mpeg.LoadFromFile(FuzzFile(data, size));
  const double duration = mpeg.Duration();
  if (std::isnan(duration)) __builtin_trap();
  if (!mpeg.Frame.Found && duration != 0) __builtin_trap();
  (void)mpeg.Frames();
  (void)mpeg.BitRate();
  (void)mpeg.Encoder();
  (void)mpeg.Valid();
  (void)mpeg.Version();
  (void)mpeg.Layer();
  (void)mpeg.ChannelMode();
  (void)mpeg.Emphasis();
  return 0;
}
