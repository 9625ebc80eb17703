#include "audio/WAVfile.h"

#include "audio/ReadOnlyFile.h"

#include <algorithm>
#include <cstring>
#include <optional>

const std::array<const char*, 3> WAVChannelModeNames = {"Unknown", "Mono", "Stereo"};

namespace {

// Byte offsets in the 44-byte header record (little-endian fields).
constexpr std::size_t RiffIdOffset = 0;
constexpr std::size_t RiffSizeOffset = 4;
constexpr std::size_t FormOffset = 8;
constexpr std::size_t FmtIdOffset = 12;
constexpr std::size_t FmtSizeOffset = 16;
constexpr std::size_t FormatTagOffset = 20;
constexpr std::size_t ChannelsOffset = 22;
constexpr std::size_t SampleRateOffset = 24;
constexpr std::size_t BytesPerSecondOffset = 28;
constexpr std::size_t BlockAlignOffset = 32;
constexpr std::size_t BitsPerSampleOffset = 34;
constexpr std::size_t NextChunkIdOffset = 36;    // "data" in the plain 44-byte layout
constexpr std::size_t SampleCountOffset = 40;    // filled only from a fact chunk

constexpr std::size_t HeaderLength = 44;
// The RIFF size counts the bytes after the RIFF chunk's id and size fields.
constexpr std::uint32_t RiffChunkHeaderLength = 8;
constexpr std::size_t FixedPartLength = 40;      // always read from offset 0
constexpr std::uint16_t PlainHeaderSize = 44;
// The chunk after the fmt chunk starts at fmt size + 20 (12 bytes of RIFF
// header, 8 of fmt chunk header); its id, size and first data word are read.
constexpr std::uint32_t NextChunkDistance = 20;
constexpr std::size_t NextChunkReadLength = 12;
// fmt chunk, one 12-byte chunk (a fact chunk), then the 8-byte data chunk header.
constexpr std::uint16_t HeaderAfterFmtChunk = 40;

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// The on-disk header: the first 40 bytes of the file, then the sample count
// of a fact chunk at offset 40 (0 when there is none). Zero-filled first, so
// bytes that are not read stay 0.
struct WAVHeader {
  unsigned char Bytes[HeaderLength] = {};

  std::uint16_t U16(std::size_t offset) const {
    return static_cast<std::uint16_t>(Bytes[offset] | (Bytes[offset + 1] << 8));
  }
  std::uint32_t U32(std::size_t offset) const { return LittleEndian32(Bytes + offset); }
  // Four-character ids are compared byte for byte, case-sensitive.
  bool HasId(std::size_t offset, const char* id) const { return std::memcmp(Bytes + offset, id, 4) == 0; }
};

// Bytes read from the start of the file with one call: the fixed part and,
// for the usual fmt chunk sizes (16, 18, 40), the chunk after the fmt chunk.
constexpr std::size_t HeadReadLength = 128;

// Broadcast and other writers put chunks (bext, iXML, JUNK) in front of the
// fmt chunk. The chunk list is walked for it within these limits.
constexpr std::size_t ChunkHeaderLength = 8;      // id and little-endian size
constexpr int MaxChunksBeforeFmt = 64;            // chunk headers looked at, the one at offset 12 included
constexpr std::uint64_t ChunkSearchLimit = 65536; // a chunk must start before this offset
// The header's bytes from offset 12 to 39: the fmt chunk's id, size and fields.
constexpr std::size_t FmtPartLength = FixedPartLength - FmtIdOffset;

// Reads count bytes at position, from the head already read when it holds
// them; false on a read error or when the file ends first.
bool ReadAt(TReadOnlyFile& file, const unsigned char* head, std::size_t headCount, std::uint64_t position,
            unsigned char* out, std::size_t count) {
  if (position + count <= headCount) {
    std::memcpy(out, head + position, count);
    return true;
  }
  return file.Seek(static_cast<std::int64_t>(position)) && file.ReadExact(out, count);
}

// The offset of the first "fmt " chunk in the chunk list that starts at
// offset 12, or nothing when the walk ends without one: a chunk header that
// cannot be read, MaxChunksBeforeFmt headers looked at, or a chunk that starts
// at ChunkSearchLimit or beyond.
std::optional<std::uint32_t> FindFmtChunk(TReadOnlyFile& file, const unsigned char* head, std::size_t headCount) {
  std::uint64_t position = FmtIdOffset;
  for (int chunk = 0; chunk < MaxChunksBeforeFmt && position < ChunkSearchLimit; ++chunk) {
    unsigned char chunkHeader[ChunkHeaderLength];
    if (!ReadAt(file, head, headCount, position, chunkHeader, sizeof chunkHeader)) return std::nullopt;
    if (std::memcmp(chunkHeader, "fmt ", 4) == 0) return static_cast<std::uint32_t>(position);
    const std::uint32_t size = LittleEndian32(chunkHeader + 4);
    // Bodies are padded to an even length.
    position += ChunkHeaderLength + std::uint64_t{size} + (size & 1u);
  }
  return std::nullopt;
}

// Fills the header from the file; false when it is not open, on a read
// error, or when the file ends before the bytes it needs. fmtShift is how far
// the fmt chunk lies behind offset 12 (0 in the usual layout): the header's
// bytes from 12 on are then the file's from the fmt chunk on, and every later
// position moves by as much.
// Only a chunk whose id is "fact" gives the sample count: other chunks found
// after the fmt chunk (LIST from many encoders, bext in broadcast files, or the
// data chunk after an extensible fmt chunk) would otherwise hand over text or
// audio as a count.
bool ReadWAVHeader(TReadOnlyFile& file, WAVHeader& header, std::uint32_t& fmtShift) {
  fmtShift = 0;
  unsigned char head[HeadReadLength];
  const std::size_t count = file.Seek(0) ? file.Read(head, sizeof head) : 0;
  if (count < FixedPartLength) return false;
  std::memcpy(header.Bytes, head, FixedPartLength);
  if (header.HasId(RiffIdOffset, "RIFF") && header.HasId(FormOffset, "WAVE") && !header.HasId(FmtIdOffset, "fmt ")) {
    // Without a fmt chunk the header stays as read (and not valid), and the
    // read of the chunk after the "fmt chunk" below is made from it all the
    // same: a file cut before its fmt chunk is then usually too short for it.
    if (const std::optional<std::uint32_t> fmt = FindFmtChunk(file, head, count)) {
      if (!ReadAt(file, head, count, *fmt, header.Bytes + FmtIdOffset, FmtPartLength)) return false;
      fmtShift = *fmt - static_cast<std::uint32_t>(FmtIdOffset);
    }
  }
  if (!header.HasId(NextChunkIdOffset, "data")) {
    // 32-bit addition: a fmt size near 2^32 wraps the position to the start of the file.
    const std::uint32_t position = header.U32(FmtSizeOffset) + NextChunkDistance + fmtShift;
    unsigned char nextChunk[NextChunkReadLength];
    if (!ReadAt(file, head, count, position, nextChunk, sizeof nextChunk)) return false;
    if (std::memcmp(nextChunk, "fact", 4) == 0) std::memcpy(header.Bytes + SampleCountOffset, nextChunk + 8, 4);
  }
  return true;
}

// Only the ids and the channel count are checked; rates and sizes are taken as they are.
bool HeaderIsValid(const WAVHeader& header) {
  const std::uint16_t channels = header.U16(ChannelsOffset);
  return header.HasId(RiffIdOffset, "RIFF") && header.HasId(FormOffset, "WAVE") && header.HasId(FmtIdOffset, "fmt ") &&
         (channels == 1 || channels == 2);
}

}  // namespace

void TWAVfile::Clear() {
  statesMoreThanFile_ = false;
  bytesOnDisk_ = 0;
  Valid = false;
  FormatTag = 0;
  Channels = 0;
  SampleRate = 0;
  BytesPerSecond = 0;
  BlockAlign = 0;
  BitsPerSample = 0;
  SampleCount = 0;
  HeaderSize = 0;
  FileSize = 0;
}

bool TWAVfile::LoadFromFile(const std::string& fileName) {
  TReadOnlyFile file(fileName);
  return LoadFromFile(file);
}

bool TWAVfile::LoadFromFile(TReadOnlyFile& file) {
  Clear();
  WAVHeader header;
  std::uint32_t fmtShift = 0;
  if (!ReadWAVHeader(file, header, fmtShift)) return false;
  if (!HeaderIsValid(header)) return true;

  Valid = true;
  FormatTag = header.U16(FormatTagOffset);
  Channels = static_cast<std::uint8_t>(header.U16(ChannelsOffset) & 0xFF);
  SampleRate = header.U32(SampleRateOffset);
  BytesPerSecond = header.U32(BytesPerSecondOffset);
  BlockAlign = header.U16(BlockAlignOffset);
  BitsPerSample = static_cast<std::uint8_t>(header.U16(BitsPerSampleOffset) & 0xFF);
  SampleCount = static_cast<std::int32_t>(header.U32(SampleCountOffset));
  // Kept to 16 bits: a fmt size of 0xFFF0 or more wraps to a small header
  // size, and so do chunks of that size in front of the fmt chunk.
  if (header.HasId(NextChunkIdOffset, "data")) {
    HeaderSize = static_cast<std::uint16_t>(PlainHeaderSize + fmtShift);
  } else {
    HeaderSize = static_cast<std::uint16_t>(static_cast<std::uint16_t>(header.U32(FmtSizeOffset) & 0xFFFF) +
                                            HeaderAfterFmtChunk + fmtShift);
  }
  const std::uint32_t riffSize = header.U32(RiffSizeOffset);
  FileSize = riffSize + RiffChunkHeaderLength;
  // 0 and 0xFFFFFFFF are the placeholders of writers that cannot seek back.
  const auto lengthOnDisk = static_cast<std::uint64_t>(std::max<std::int64_t>(file.Size(), 0));
  statesMoreThanFile_ = riffSize == 0 || riffSize == UINT32_MAX ||
                        std::uint64_t{riffSize} + RiffChunkHeaderLength > lengthOnDisk;
  const std::uint64_t countedLength = std::min<std::uint64_t>(lengthOnDisk, UINT32_MAX);
  bytesOnDisk_ = countedLength > HeaderSize ? static_cast<std::uint32_t>(countedLength - HeaderSize) : 0;
  if (FileSize < HeaderSize) HeaderSize = static_cast<std::uint16_t>(FileSize);
  return true;
}

std::string TWAVfile::ChannelMode() const {
  return Valid && Channels < WAVChannelModeNames.size() ? WAVChannelModeNames[Channels] : WAVChannelModeNames[0];
}

bool TWAVfile::DurationFromDisk() const {
  if (!Valid || !statesMoreThanFile_ || BytesPerSecond == 0) return false;
  if (SampleCount == 0) return true;
  if (SampleCount < 0 || SampleRate == 0) return false;
  const double onDisk = static_cast<double>(bytesOnDisk_) / static_cast<double>(BytesPerSecond);
  return onDisk < static_cast<double>(SampleCount) / static_cast<double>(SampleRate);
}

double TWAVfile::Duration() const {
  if (!Valid) return 0.0;
  if (statesMoreThanFile_ && BytesPerSecond > 0) {
    const double onDisk = static_cast<double>(bytesOnDisk_) / static_cast<double>(BytesPerSecond);
    if (SampleCount == 0) return onDisk;
    // A fact chunk's count may be a placeholder as well.
    if (SampleCount > 0 && SampleRate > 0)
      return std::min(static_cast<double>(SampleCount) / static_cast<double>(SampleRate), onDisk);
  }
  // Without a sample count the audio is everything after the header up to the
  // RIFF end, so chunks after the data (and before it, beyond the 12 bytes
  // allowed for a fact chunk) count as audio.
  if (SampleCount == 0 && BytesPerSecond > 0) {
    return static_cast<double>(FileSize - HeaderSize) / static_cast<double>(BytesPerSecond);
  }
  if (SampleCount > 0 && SampleRate > 0) return static_cast<double>(SampleCount) / static_cast<double>(SampleRate);
  return 0.0;
}
