#include "fuzz/FuzzFile.h"
#include "audio/MPEGFrameWalk.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMPEGFrameWalk walk;
  const bool walked = walk.LoadFromFile(FuzzFile(data, size));
  const double duration = walk.Duration();
  if (!std::isfinite(duration) || duration < 0) __builtin_trap();
  if (walked != walk.Walked) __builtin_trap();
  if (!walked && (walk.Frames != 0 || walk.Truncated() || walk.TrailingBytes() != 0)) __builtin_trap();
  if (walked) {
    // Everything counted lies between the first frame and the end of the audio, inside the file.
    const auto fileSize = static_cast<std::int64_t>(size);
    if (walk.StreamStart > walk.StreamEnd || walk.StreamEnd > walk.AudioEnd || walk.AudioEnd > fileSize)
      __builtin_trap();
    if (walk.Bytes + walk.SkippedBytes > walk.AudioEnd - walk.StreamStart) __builtin_trap();
    if (walk.Frames < 0 || walk.Resyncs < 0 || walk.SampleRate == 0) __builtin_trap();
  }
  return 0;
}
