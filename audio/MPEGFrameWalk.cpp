#include "audio/MPEGFrameWalk.h"

#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

using namespace MPEGFrame;

namespace {

constexpr std::size_t WalkBlockSize = 256 * 1024;  // bytes read at a time, and all the walk holds
constexpr std::int64_t ResyncWindow = 64 * 1024;   // bytes searched for the next frame after a damaged place
constexpr std::size_t HeaderLength = 4;
// Frames back to back that mark where the audio starts: junk in front of it
// (a broken tag, padding) may hold a frame sync, or even a header whose
// frame length lands on another one, but hardly four in a row.
constexpr int StartChainFrames = 4;

// Tags written behind the audio, looked for from the end of the file.
constexpr std::int64_t ID3v1Length = 128;
constexpr std::int64_t ID3v1ExtendedLength = 227;  // the "TAG+" block some taggers put in front of an ID3v1 tag
constexpr std::size_t APEFooterLength = 32;        // an APE tag's header has the same size
constexpr std::size_t APESizeOffset = 12;          // little-endian: items and footer, not the header
constexpr std::size_t APEFlagsOffset = 20;
constexpr std::uint32_t APEHasHeader = 0x80000000u;
constexpr std::size_t Lyrics3SizeDigits = 6;       // Lyrics3 v2 ends with 6 digits of size and "LYRICS200"
constexpr std::size_t Lyrics3FooterLength = Lyrics3SizeDigits + 9;
constexpr int TailTagRounds = 4;                   // at most this many such tags one behind the other

// An ID3v2 tag inside the stream, left by joining tagged files.
constexpr std::size_t ID3v2HeaderLength = 10;  // a footer, when the flags announce one, too
constexpr std::uint8_t ID3v2FooterFlag = 0x10;

// VBR headers inside the first frame. LAME writes "Info" instead of "Xing"
// into constant bit-rate streams; VBRI always sits 32 bytes behind the header.
constexpr std::size_t XingFlagsOffset = 4;
constexpr std::size_t XingFramesOffset = 8;
constexpr std::uint32_t XingHasFrames = 0x1;
constexpr std::size_t VBRIOffset = 36;
constexpr std::size_t VBRIFramesOffset = 14;

bool Fits(TBlock block, std::size_t index, std::size_t length) {
  return index <= block.size() && length <= block.size() - index;
}

bool HasText(TBlock block, std::size_t index, const char* text) {
  const std::size_t length = std::strlen(text);
  return Fits(block, index, length) && std::memcmp(block.data() + index, text, length) == 0;
}

std::uint32_t BigEndian32(TBlock block, std::size_t index) {
  return (std::uint32_t{block[index]} << 24) | (std::uint32_t{block[index + 1]} << 16) |
         (std::uint32_t{block[index + 2]} << 8) | std::uint32_t{block[index + 3]};
}

std::uint32_t LittleEndian32(TBlock block, std::size_t index) {
  return std::uint32_t{block[index]} | (std::uint32_t{block[index + 1]} << 8) |
         (std::uint32_t{block[index + 2]} << 16) | (std::uint32_t{block[index + 3]} << 24);
}

// Exactly length bytes at an absolute position, or an empty block.
template <std::size_t N>
TBlock ReadAt(TReadOnlyFile& file, std::int64_t position, std::array<std::uint8_t, N>& buffer, std::size_t length) {
  length = std::min(length, N);
  if (position < 0 || !file.Seek(position) || !file.ReadExact(buffer.data(), length)) return {};
  return TBlock(buffer.data(), length);
}

// The bytes of a file from a position on, read forward in blocks of
// WalkBlockSize into one buffer. What is still ahead in the buffer is kept
// when it moves on, so the file is read once, front to back. Nothing at or
// beyond the limit is read. A block given stays valid until the next call.
class TForwardReader {
public:
  TForwardReader(TReadOnlyFile& file, std::int64_t limit)
      : file_(file), limit_(limit), buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(WalkBlockSize)) {}

  // Up to length bytes at position: fewer where the limit or the file ends.
  TBlock At(std::int64_t position, std::size_t length) {
    if (position < 0 || position >= limit_) return {};
    length = static_cast<std::size_t>(std::min<std::int64_t>({static_cast<std::int64_t>(length),
                                                              static_cast<std::int64_t>(WalkBlockSize),
                                                              limit_ - position}));
    const bool inside = position >= base_ && position - base_ <= static_cast<std::int64_t>(count_);
    const std::size_t offset = inside ? static_cast<std::size_t>(position - base_) : 0;
    if (!inside || count_ - offset < length) Refill(position, inside ? count_ - offset : 0, offset);
    const std::size_t start = static_cast<std::size_t>(position - base_);
    return TBlock(buffer_.get() + start, std::min(length, count_ - start));
  }

private:
  // Moves the kept bytes to the front and reads on behind them.
  void Refill(std::int64_t position, std::size_t kept, std::size_t offset) {
    if (kept > 0) std::memmove(buffer_.get(), buffer_.get() + offset, kept);
    base_ = position;
    count_ = kept;
    const std::int64_t next = base_ + static_cast<std::int64_t>(count_);
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(WalkBlockSize - count_, limit_ - next));
    if (wanted == 0 || !file_.Seek(next)) return;
    const std::size_t got = file_.Read(buffer_.get() + count_, wanted);
    count_ += got;
    // The file is shorter than it was when it was opened: it ends here.
    if (got < wanted) limit_ = base_ + static_cast<std::int64_t>(count_);
  }

  TReadOnlyFile& file_;
  std::int64_t limit_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::int64_t base_ = 0;
  std::size_t count_ = 0;
};

// Where the reader's first frame lies in the file. The reader searched the
// block behind the ID3v2 tag, and the block from the middle of the file only
// when the first held no frame: the frame is in the first block exactly when
// the reader's test passes there.
std::int64_t FirstFrameOffset(TReadOnlyFile& file, const TMPEGaudio& mpeg) {
  const FrameData& frame = mpeg.Frame;
  if (!frame.Found) return -1;
  const std::int64_t tagSize = mpeg.ID3v2Tag->TagSize;
  const std::int64_t blockStarts[] = {tagSize, (std::int64_t{mpeg.FileLength} - tagSize) / 2};
  for (const std::int64_t blockStart : blockStarts) {
    const std::int64_t position = blockStart + frame.Position;
    std::array<std::uint8_t, HeaderLength> here{}, next{};
    const TBlock header = ReadAt(file, position, here, HeaderLength);
    if (header.size() == HeaderLength && here == frame.Data &&
        IsFrameAt(ReadAt(file, position + frame.Size, next, HeaderLength), 0))
      return position;
  }
  return -1;
}

// The end of the audio: the file's end less the tags written behind it, in
// any order: ID3v1 (with a "TAG+" block in front), APE (footer, and header
// when its flags say so), Lyrics3 v2. Never before floor.
std::int64_t AudioEndBeforeTags(TReadOnlyFile& file, std::int64_t end, std::int64_t floor) {
  std::array<std::uint8_t, APEFooterLength> tail{};
  for (int round = 0; round < TailTagRounds; ++round) {
    if (end - ID3v1Length >= floor && HasText(ReadAt(file, end - ID3v1Length, tail, 3), 0, "TAG")) {
      end -= ID3v1Length;
      if (end - ID3v1ExtendedLength >= floor && HasText(ReadAt(file, end - ID3v1ExtendedLength, tail, 4), 0, "TAG+"))
        end -= ID3v1ExtendedLength;
      continue;
    }
    const std::int64_t apeFooter = end - static_cast<std::int64_t>(APEFooterLength);
    if (const TBlock ape = ReadAt(file, apeFooter, tail, APEFooterLength);
        apeFooter >= floor && HasText(ape, 0, "APETAGEX")) {
      std::int64_t size = LittleEndian32(ape, APESizeOffset);
      if ((LittleEndian32(ape, APEFlagsOffset) & APEHasHeader) != 0) size += static_cast<std::int64_t>(APEFooterLength);
      if (size < static_cast<std::int64_t>(APEFooterLength) || end - size < floor) break;
      end -= size;
      continue;
    }
    const std::int64_t lyricsFooter = end - static_cast<std::int64_t>(Lyrics3FooterLength);
    if (const TBlock lyrics = ReadAt(file, lyricsFooter, tail, Lyrics3FooterLength);
        lyricsFooter >= floor && HasText(lyrics, Lyrics3SizeDigits, "LYRICS200")) {
      std::int64_t size = static_cast<std::int64_t>(Lyrics3FooterLength);  // the digits count what comes before them
      std::int64_t content = 0;
      for (std::size_t i = 0; i < Lyrics3SizeDigits; ++i) {
        if (lyrics[i] < '0' || lyrics[i] > '9') return end;
        content = content * 10 + (lyrics[i] - '0');
      }
      size += content;
      if (end - size < floor) break;
      end -= size;
      continue;
    }
    break;
  }
  return end;
}

// A header of the same stream: the version, layer and sample rate of the
// first frame, so that every frame has the same samples and rate.
bool SameStream(TBlock bytes, const FrameData& first, FrameData& header) {
  if (!IsFrameAt(bytes, 0)) return false;
  DecodeHeader({bytes[0], bytes[1], bytes[2], bytes[3]}, header);
  return header.VersionID == first.VersionID && header.LayerID == first.LayerID &&
         header.SampleRateID == first.SampleRateID;
}

// A frame that holds a VBR header instead of audio, and the frames the
// header announces (-1 when it does not say).
struct TVBRHeaderFrame {
  bool present = false;
  std::int64_t frames = -1;
};

TVBRHeaderFrame VBRHeaderIn(TBlock frame, const FrameData& header) {
  TVBRHeaderFrame found;
  const std::size_t xing = VBRHeaderOffset(header);
  if (HasText(frame, xing, "Xing") || HasText(frame, xing, "Info")) {
    found.present = true;
    if (Fits(frame, xing + XingFramesOffset, 4) && (BigEndian32(frame, xing + XingFlagsOffset) & XingHasFrames) != 0)
      found.frames = BigEndian32(frame, xing + XingFramesOffset);
  } else if (HasText(frame, VBRIOffset, "VBRI")) {
    found.present = true;
    if (Fits(frame, VBRIOffset + VBRIFramesOffset, 4)) found.frames = BigEndian32(frame, VBRIOffset + VBRIFramesOffset);
  }
  return found;
}

// The size of an ID3v2 tag at the start of the bytes, or 0 when none is there.
std::int64_t ID3v2TagSize(TBlock bytes) {
  if (!Fits(bytes, 0, ID3v2HeaderLength) || !HasText(bytes, 0, "ID3") || bytes[3] == 0xFF || bytes[4] == 0xFF)
    return 0;
  std::int64_t size = 0;
  for (std::size_t i = 6; i < ID3v2HeaderLength; ++i) {
    if ((bytes[i] & 0x80) != 0) return 0;  // sizes are stored 7 bits to a byte
    size = (size << 7) | bytes[i];
  }
  size += static_cast<std::int64_t>(ID3v2HeaderLength);
  if ((bytes[5] & ID3v2FooterFlag) != 0) size += static_cast<std::int64_t>(ID3v2HeaderLength);
  return size;
}

// The next frame after a damaged place, within ResyncWindow bytes: a header of
// the same stream whose frame is followed by another one or by the end of the
// audio. -1 when there is none.
std::int64_t NextFrame(TForwardReader& reader, std::int64_t from, std::int64_t end, const FrameData& first) {
  const std::int64_t last = std::min(end, from + ResyncWindow);
  for (std::int64_t position = from; position < last; ++position) {
    FrameData header{};
    if (!SameStream(reader.At(position, HeaderLength), first, header)) continue;
    const std::size_t length = FrameLength(header);
    const std::int64_t next = position + static_cast<std::int64_t>(length);
    if (next == end) return position;
    // Both headers in one read, so the reader never has to go back.
    const TBlock both = reader.At(position, length + HeaderLength);
    FrameData following{};
    if (both.size() == length + HeaderLength && SameStream(both.subspan(length), first, following)) return position;
  }
  return -1;
}

// True when a frame starts at the position and StartChainFrames frames of
// its stream (version, layer and sample rate) follow one another from there,
// or fewer that end exactly at the end of the audio.
bool ChainStartsAt(TForwardReader& reader, std::int64_t position, std::int64_t end) {
  const TBlock bytes = reader.At(position, HeaderLength);
  if (!IsFrameAt(bytes, 0)) return false;
  FrameData start{};
  DecodeHeader({bytes[0], bytes[1], bytes[2], bytes[3]}, start);
  // The whole chain in the buffer at once, so that the search never reads
  // the bytes behind this position again.
  reader.At(position, StartChainFrames * MaxFrameLength + HeaderLength);
  FrameData frame = start;
  for (int count = 1; count < StartChainFrames; ++count) {
    position += static_cast<std::int64_t>(FrameLength(frame));
    if (position == end) return true;
    if (!SameStream(reader.At(position, HeaderLength), start, frame)) return false;
  }
  return true;
}

// Where the stream starts: the first chain of frames from the position on,
// before the end of the audio; -1 when there is none.
std::int64_t FirstChain(TForwardReader& reader, std::int64_t from, std::int64_t end) {
  for (std::int64_t position = from; position < end; ++position) {
    if (ChainStartsAt(reader, position, end)) return position;
  }
  return -1;
}

void FollowFrames(TForwardReader& reader, const FrameData& first, TMPEGFrameWalk& walk) {
  std::int64_t position = walk.StreamStart;
  bool firstFrame = true;
  std::uint16_t audioBitRateID = 0;  // of the first audio frame
  while (position < walk.AudioEnd) {
    FrameData header{};
    if (SameStream(reader.At(position, HeaderLength), first, header)) {
      const std::size_t length = FrameLength(header);
      const TBlock frame = reader.At(position, length);
      if (frame.size() < length) {
        walk.LastFrameCut = true;
        break;
      }
      bool audio = true;
      if (firstFrame) {
        const TVBRHeaderFrame vbr = VBRHeaderIn(frame, header);
        audio = !vbr.present;
        walk.HeaderFrames = vbr.frames;
        firstFrame = false;
      }
      if (audio) {
        if (walk.Frames == 0) audioBitRateID = header.BitRateID;
        if (header.BitRateID != audioBitRateID) walk.BitRateChanges = true;
        ++walk.Frames;
        walk.Bytes += static_cast<std::int64_t>(length);
        walk.Samples += std::int64_t{FrameCoefficient(header)} * 8;
      }
      position += static_cast<std::int64_t>(length);
      walk.StreamEnd = position;
      continue;
    }
    const TBlock bytes = reader.At(position, ID3v2HeaderLength);
    if (bytes.size() < HeaderLength) break;  // fewer bytes than a header are left
    if (const std::int64_t tagSize = ID3v2TagSize(bytes); tagSize > 0) {
      const std::int64_t skipped = std::min(tagSize, walk.AudioEnd - position);  // a tag may claim more than there is
      walk.SkippedBytes += skipped;
      position += skipped;
      continue;
    }
    const std::int64_t next = NextFrame(reader, position + 1, walk.AudioEnd, first);
    if (next < 0) break;  // junk to the end of the audio, or a damage too long to pass
    ++walk.Resyncs;
    walk.SkippedBytes += next - position;
    position = next;
  }
}

}  // namespace

void TMPEGFrameWalk::Clear() {
  Walked = false;
  StreamStart = 0;
  StreamEnd = 0;
  AudioEnd = 0;
  SampleRate = 0;
  Frames = 0;
  Bytes = 0;
  Samples = 0;
  HeaderFrames = -1;
  Resyncs = 0;
  SkippedBytes = 0;
  LastFrameCut = false;
  BitRateChanges = false;
}

bool TMPEGFrameWalk::LoadFromFile(const std::string& fileName) {
  TReadOnlyFile file(fileName);
  TMPEGaudio mpeg;
  mpeg.LoadFromFile(file);
  return LoadFromFile(file, mpeg);
}

bool TMPEGFrameWalk::LoadFromFile(const std::string& fileName, const TMPEGaudio& mpeg) {
  TReadOnlyFile file(fileName);
  return LoadFromFile(file, mpeg);
}

bool TMPEGFrameWalk::LoadFromFile(TReadOnlyFile& file, const TMPEGaudio& mpeg) {
  Clear();
  if (!file.IsOpen()) return false;
  // The reader's frame shows that this file holds a stream, but the reader
  // may have found it only in the middle of the file (junk in front of the
  // audio), or found a sync in the junk: the walk starts where the frames
  // start to follow one another, from the end of the ID3v2 tag on.
  const std::int64_t readersFrame = FirstFrameOffset(file, mpeg);
  if (readersFrame < 0) return false;
  const std::int64_t tagEnd = std::max<std::int64_t>(mpeg.ID3v2Tag->TagSize, 0);
  const std::int64_t searchFloor = std::min(tagEnd, readersFrame);
  const std::int64_t searchEnd = AudioEndBeforeTags(file, file.Size(), searchFloor);
  auto reader = std::make_unique<TForwardReader>(file, searchEnd);
  std::int64_t start = FirstChain(*reader, tagEnd, searchEnd);
  if (start < 0) start = readersFrame;
  Walked = true;
  StreamStart = StreamEnd = start;
  // The tags behind the audio never reach below the stream's start; usually
  // it starts where the search did, and they are known already.
  AudioEnd = start == searchFloor ? searchEnd : AudioEndBeforeTags(file, file.Size(), start);
  if (AudioEnd != searchEnd) reader = std::make_unique<TForwardReader>(file, AudioEnd);
  FrameData first{};
  const TBlock header = reader->At(start, HeaderLength);
  if (header.size() == HeaderLength) DecodeHeader({header[0], header[1], header[2], header[3]}, first);
  SampleRate = TableSampleRate(first);
  FollowFrames(*reader, first, *this);
  return true;
}

double TMPEGFrameWalk::Duration() const {
  return SampleRate == 0 ? 0.0 : static_cast<double>(Samples) / SampleRate;
}

bool TMPEGFrameWalk::Truncated() const {
  // More than 1 % missing, in whole numbers: 100 × missing > announced.
  const bool fewerThanAnnounced = HeaderFrames > 0 && (HeaderFrames - Frames) * 100 > HeaderFrames;
  return Walked && (LastFrameCut || fewerThanAnnounced);
}
