#include "fuzz/FuzzFile.h"
#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"

#include <cmath>
#include <cstring>

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

  // Read with the ID3v2 tag's header only (as the duration facade reads),
  // the stream comes out the same.
  TMPEGaudio headerOnly;
  TReadOnlyFile file(FuzzFile(data, size));
  (void)headerOnly.LoadFromFile(file, TTagReading::HeaderOnly);
  const double other = headerOnly.Duration();
  if (std::memcmp(&duration, &other, sizeof duration) != 0) __builtin_trap();
  if (headerOnly.Frames() != mpeg.Frames() || headerOnly.BitRate() != mpeg.BitRate() ||
      headerOnly.EncoderID() != mpeg.EncoderID() || headerOnly.VendorID != mpeg.VendorID ||
      headerOnly.FileLength != mpeg.FileLength || headerOnly.Frame.Position != mpeg.Frame.Position ||
      headerOnly.ID3v2Tag->TagSize != mpeg.ID3v2Tag->TagSize || headerOnly.ID3v1Tag->Present != mpeg.ID3v1Tag->Present)
    __builtin_trap();
  return 0;
}
