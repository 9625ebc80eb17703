#include "fuzz/FuzzFile.h"
#include "audio/ID3v1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TID3v1 tag;
  const bool loaded = tag.LoadFromFile(FuzzFile(data, size));
  if (!loaded && tag.Present) __builtin_trap();
  if (tag.Title.size() > 30 || tag.Comment.size() > 30 || tag.Year.size() > 4) __builtin_trap();
  (void)tag.GenreName();
  return 0;
}
