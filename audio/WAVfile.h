#pragma once

#include <array>
#include <cstdint>
#include <string>

class TReadOnlyFile;

// Names of the channel modes, indexed by TWAVfile::Channels.
extern const std::array<const char*, 3> WAVChannelModeNames;

// Reader of the fixed-layout header at the start of a RIFF/WAVE file. It never
// reads the audio: everything comes from the first 40 bytes of the file, plus
// one 12-byte read of the chunk that follows the fmt chunk when the data chunk
// is not right after a 16-byte fmt chunk. Only when the fmt chunk is not the
// first chunk (broadcast files put bext and iXML first, some writers JUNK) is
// the chunk list walked for it: at most 64 chunk headers, each starting before
// offset 65,536. The fmt chunk's fields are then read where it lies, and the
// header size counts the chunks in front of it.
//
// A header may state more than the file holds: a writer that cannot seek
// back (to a pipe) leaves placeholder sizes, and a copy cut short keeps the
// sizes of the whole recording. The length is then taken from the file's
// length on disk (see Duration); the members still show the header as stated.
class TWAVfile {
public:
  TWAVfile() { Clear(); }

  bool Valid;                   // the last read found "RIFF", "WAVE", "fmt " and 1 or 2 channels
  std::uint16_t FormatTag;      // format code of the fmt chunk, kept as read
  std::uint8_t Channels;        // low byte of the channel count; 1 or 2 when Valid
  std::uint32_t SampleRate;     // samples per second
  std::uint32_t BytesPerSecond; // average bytes per second
  std::uint16_t BlockAlign;     // kept as read
  std::uint8_t BitsPerSample;   // low byte of the header field, kept as read
  std::int32_t SampleCount;     // samples per channel from a fact chunk right after the fmt chunk, else 0
  std::uint16_t HeaderSize;     // bytes taken to lie in front of the audio
  std::uint32_t FileSize;       // RIFF size field + 8 (wrapping), not the length on disk

  void Clear();
  // True when the header bytes could be read, whether or not they form a
  // valid header (Valid tells that); false when the file cannot be opened or
  // is too short for the reads, with every member reset.
  bool LoadFromFile(const std::string& fileName);
  // The same from a file the caller has opened; its position is left anywhere.
  bool LoadFromFile(TReadOnlyFile& file);
  // "Unknown", "Mono" or "Stereo".
  std::string ChannelMode() const;
  // Play length in seconds; 0 when there is nothing to measure. When the
  // RIFF size is 0 or 0xFFFFFFFF, or counts more bytes than the file has, the
  // audio is taken to end with the file: (length on disk, at most
  // 0xFFFFFFFF, less the header) at the bytes-per-second rate, or the fact
  // chunk's count when that is shorter.
  double Duration() const;
  // Whether Duration is the length on disk (the rule above) rather than what
  // the header's sizes or fact chunk state.
  bool DurationFromDisk() const;

private:
  // Whether the RIFF size states more than the file holds, and what the file
  // then holds: the length on disk less the header (before the header size
  // is cut to FileSize), capped to 32 bits.
  bool statesMoreThanFile_;
  std::uint32_t bytesOnDisk_;
};
