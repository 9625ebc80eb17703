#include "fuzz/FuzzFile.h"
#include "audio/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TID3v2 tag;
  const bool loaded = tag.LoadFromFile(FuzzFile(data, size));
  if (!loaded && (tag.Present || tag.TagSize != 0)) __builtin_trap();
  if (tag.TagSize < 0 || static_cast<std::size_t>(tag.TagSize) > size) __builtin_trap();
  return 0;
}
