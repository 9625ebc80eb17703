#include "ID3v2.h"

#include "ReadOnlyFile.h"

#include <cstring>

// Placeholder: the header and tag size only; the frame walk is still to come.

void TID3v2::Clear() {
  Present = false;
  TagVersion = 0;
  TagSize = 0;
  Title.clear();
  Artist.clear();
  Album.clear();
  Track = 0;
  TrackText.clear();
  Year.clear();
  Genre.clear();
  Comment.clear();
  Composer.clear();
  EncodedBy.clear();
  Copyright.clear();
  Language.clear();
  UserLink.clear();
  for (std::string* text : {&FrameTRIT, &FrameTINT, &FrameTEXT, &FrameTEST, &FrameTIDM, &FrameTCAR, &FrameTVIN,
                            &FrameTMXI, &FrameTMXF, &FrameTRFI, &FrameTRFF, &FrameTCAD, &FrameTSUC, &FrameTGRA,
                            &FrameTVOC, &FrameTTPE, &FrameTPIN, &FrameTPFI, &FrameTPMI})
    text->clear();
  Rating = 0;
}

bool TID3v2::LoadFromFile(const std::string& fileName) {
  Clear();
  unsigned char header[10];
  std::int64_t fileSize;
  {
    TReadOnlyFile file(fileName);
    fileSize = file.Size();
    if (fileSize < 0 || !file.ReadExact(header, sizeof header)) return false;
  }
  if (std::memcmp(header, "ID3", 3) != 0) return true;
  Present = true;
  TagVersion = header[3];
  std::int64_t size = (std::int64_t{header[6]} << 21) + (std::int64_t{header[7]} << 14) + (std::int64_t{header[8]} << 7) +
                      header[9] + 10;
  if (header[5] & 0x10) size += 10;
  TagSize = size > fileSize ? 0 : static_cast<std::int32_t>(size);
  return true;
}
