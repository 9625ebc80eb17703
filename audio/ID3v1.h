#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TReadOnlyFile;

constexpr std::size_t ID3v1TagLength = 128;  // bytes of the tag at the end of a file

// Values of TID3v1::TagVersion.
constexpr std::uint8_t ID3v1Version10 = 1;  // a 30-byte comment
constexpr std::uint8_t ID3v1Version11 = 2;  // a 28-byte comment, a mark byte and the track number
// TID3v1::GenreIndex when cleared: past the genre list, so it has no name.
constexpr std::uint8_t ID3v1NoGenre = 255;

// The 148 genre names of the ID3v1 tag: the 80 of the format and 68 extensions.
extern const std::array<const char*, 148> ID3v1GenreNames;

// Reader of the ID3v1 tag, the fixed 128-byte record that may end a file.
// Texts are the tag's bytes as stored (8-bit text, no conversion).
class TID3v1 {
public:
  TID3v1() { Clear(); }

  bool Present;          // the last 128 bytes begin with "TAG"
  std::uint8_t TagVersion;  // ID3v1Version10 or ID3v1Version11
  std::string Title;     // at most 30 bytes
  std::string Artist;    // at most 30 bytes
  std::string Album;     // at most 30 bytes
  std::string Year;      // at most 4 bytes
  std::string Comment;   // at most 30 bytes (28 in ID3v1.1)
  std::uint8_t Track;    // ID3v1.1 only
  std::uint8_t GenreIndex;  // as stored; ID3v1NoGenre when cleared

  void Clear();
  // True when the last 128 bytes of the file could be read, tag or not.
  bool LoadFromFile(const std::string& fileName);
  // The same from a file the caller has opened, so that the readers of one
  // measurement share one open; the file's position is left anywhere.
  bool LoadFromFile(TReadOnlyFile& file);
  // The genre's name, or the empty text for an index past the list.
  std::string GenreName() const;
};
