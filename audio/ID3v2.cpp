#include "audio/ID3v2.h"

#include "text/CodePage.h"
#include "audio/ReadOnlyFile.h"

#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tiostream.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string_view>

namespace {

// Tag header: "ID3", major version, revision, flags, then the size in four
// bytes with the weights 2^21, 2^14, 2^7 and 1.
constexpr std::size_t TagHeaderLength = 10;
constexpr char TagMarker[] = "ID3";
constexpr std::size_t TagMarkerLength = 3;
constexpr std::size_t TagVersionOffset = 3;
constexpr std::size_t TagFlagsOffset = 5;
constexpr std::size_t TagSizeOffset = 6;
constexpr std::size_t TagSizeLength = 4;
constexpr std::uint8_t FooterFlag = 0x10;  // a 10-byte footer follows the frames
constexpr std::int64_t FooterLength = 10;
// Major versions whose frames are read.
constexpr std::uint8_t Version22 = 2;
constexpr std::uint8_t Version24 = 4;

// Layout of a frame header by version: the id, then the content size as a
// plain big-endian number, then (2.3 and 2.4) two flag bytes.
struct TFrameHeaderLayout {
  std::size_t length;    // bytes of the whole frame header
  std::size_t idLength;  // bytes of the id; the size follows it
  std::size_t sizeLength;
  std::size_t idTable;   // which row of ID3v2FrameIds holds its ids
};
constexpr TFrameHeaderLayout FrameHeaderV22{6, 3, 3, 1};   // version 2.2
constexpr TFrameHeaderLayout FrameHeaderV23{10, 4, 4, 0};  // versions 2.3 and 2.4
constexpr std::size_t MaxFrameHeaderLength = 10;
constexpr std::size_t SecondFlagByteOffset = 9;  // 2.3 and 2.4 only
constexpr std::uint8_t PassOverFlag = 0x80;      // in the second flag byte: the frame is not stored
// A content size of 2^31 or more ends the walk.
constexpr std::uint32_t FrameSizeLimit = 0x80000000u;

constexpr std::size_t SlotCount = 36;
// Content bytes kept per frame; the rest of a longer frame is passed over.
constexpr std::size_t ContentLength = 500;

// Frame ids of the 36 slots: [0] four-letter ids of versions 2.3 and 2.4,
// [1] three-letter ids of version 2.2, index by index parallel. Slots 17 to 35
// are read as text frames although most of their ids are not standard ones;
// "TRI" stands at two slots, so a version 2.2 frame "TRI" fills both.
constexpr std::array<std::array<std::string_view, SlotCount>, 2> ID3v2FrameIds = {{
    {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
     "TDRC", "TOPE", "TIT1", "TOAL", "TRIT", "TINT", "TEXT", "TEST", "TIDM", "TCAR", "TVIN", "TMXI",
     "TMXF", "TRFI", "TRFF", "TCAD", "TSUC", "TGRA", "TVOC", "TTPE", "TPIN", "TPFI", "TPMI", "POPM"},
    {"TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM", "TEN", "TCR", "TLA", "WXX",
     "TOR", "TOA", "TT1", "TOT", "TRI", "TIN", "TEX", "TES", "TID", "TCA", "TVI", "TMI",
     "TMF", "TRI", "TRF", "TCD", "TSU", "TGR", "TVO", "TTP", "TPI", "TPF", "TPM", "POP"},
}};

// Slot indexes (0-based) of the members with a rule of their own.
enum TSlot : std::size_t {
  TitleSlot,
  ArtistSlot,
  AlbumSlot,
  TrackSlot,
  YearSlot,
  GenreSlot,
  CommentSlot,
  ComposerSlot,
  EncodedBySlot,
  CopyrightSlot,
  LanguageSlot,
  UserLinkSlot,
  RecordingTimeSlot,   // second choice for the year
  OriginalArtistSlot,  // second choice for the artist
  ContentGroupSlot,    // second choice for the title
  OriginalAlbumSlot,   // second choice for the album
  FirstExtraTextSlot,  // slots 17 to 35: one plain text member each
  RatingSlot = SlotCount - 1,
};

// The plain text members of the slots from FirstExtraTextSlot on, in slot order.
constexpr std::array<std::string TID3v2::*, RatingSlot - FirstExtraTextSlot> ExtraTextMembers = {
    &TID3v2::FrameTRIT, &TID3v2::FrameTINT, &TID3v2::FrameTEXT, &TID3v2::FrameTEST, &TID3v2::FrameTIDM,
    &TID3v2::FrameTCAR, &TID3v2::FrameTVIN, &TID3v2::FrameTMXI, &TID3v2::FrameTMXF, &TID3v2::FrameTRFI,
    &TID3v2::FrameTRFF, &TID3v2::FrameTCAD, &TID3v2::FrameTSUC, &TID3v2::FrameTGRA, &TID3v2::FrameTVOC,
    &TID3v2::FrameTTPE, &TID3v2::FrameTPIN, &TID3v2::FrameTPFI, &TID3v2::FrameTPMI,
};

// The first ContentLength bytes of a frame, zero bytes after its end.
using TContent = std::array<std::uint8_t, ContentLength>;
// The last frame stored for each slot.
using TSlots = std::array<std::optional<TContent>, SlotCount>;

constexpr std::uint8_t EncodingLatin1 = 0;
constexpr std::uint8_t EncodingUtf16 = 1;
constexpr std::size_t EncodingLength = 1;  // the encoding byte that opens a text frame
constexpr std::size_t LanguageLength = 3;  // the language code after it in a comment frame

// Hands a frame to every slot whose id it carries. Only encodings 0 and 1 are
// kept; for a popularimeter frame that means an empty e-mail address.
void AssignToSlots(std::string_view frameId, const TContent& content, std::size_t table, TSlots& slots) {
  if (content[0] != EncodingLatin1 && content[0] != EncodingUtf16) return;
  for (std::size_t slot = 0; slot < SlotCount; ++slot) {
    if (ID3v2FrameIds[table][slot] == frameId) slots[slot] = content;
  }
}

std::uint32_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

// The id that begins a popularimeter frame in every version: "POP" in 2.2,
// "POPM" in 2.3 and 2.4.
constexpr std::string_view PopularimeterId = "POP";

// Search for the popularimeter id in bytes given piece by piece, in file
// order; an id that runs across the border of two pieces is found too.
class TIdSearch {
public:
  bool Found() const { return found_; }

  void Feed(std::string_view piece) {
    if (found_) return;
    constexpr std::string_view id = PopularimeterId;
    if (partial_ > 0) {
      // An id begun at the end of the earlier pieces goes on here or not at
      // all: no shorter start of "POP" lies inside "P" or "PO".
      const std::size_t missing = id.size() - partial_;
      const std::size_t length = std::min(missing, piece.size());
      if (piece.substr(0, length) == id.substr(partial_, length)) {
        if (length == missing) {
          found_ = true;
        } else {
          partial_ += length;  // the whole (short) piece goes on with the id
        }
        return;
      }
    }
    if (piece.find(id) != std::string_view::npos) {
      found_ = true;
      return;
    }
    // How much of the id the piece ends with, to go on with in the next one.
    partial_ = 0;
    for (std::size_t k = std::min(id.size() - 1, piece.size()); k > 0; --k) {
      if (piece.substr(piece.size() - k) == id.substr(0, k)) {
        partial_ = k;
        break;
      }
    }
  }

private:
  std::size_t partial_ = 0;  // bytes of the id at the end of the pieces so far
  bool found_ = false;
};

// Bytes read from the file with one call: a tag without a picture fits, and
// a tag with one is walked and searched with a few calls.
constexpr std::size_t WindowLength = 32768;

// The tag's bytes as the frame walk and the popularimeter search read them: a
// window of up to WindowLength bytes of the file, read with one call and read
// anew only when bytes outside it are asked for. Once the search has begun,
// every window that goes on from the part of the tag searched so far is
// searched as it comes, so the search reads again only what the walk passed
// over (the rest of a picture, say).
class TTagBytes {
public:
  explicit TTagBytes(TReadOnlyFile& file) : file_(file) {}
  TTagBytes(const TTagBytes&) = delete;
  TTagBytes& operator=(const TTagBytes&) = delete;

  // The length bytes at offset (length at most WindowLength), valid until the
  // next call; nullptr when the file does not deliver them all. When they are
  // not all in the window, a new window is read at offset: up to end when that
  // lies farther than offset + length, and never more than WindowLength bytes.
  const std::uint8_t* At(std::int64_t offset, std::size_t length, std::int64_t end) {
    if (length == 0) return window_.data();  // nothing to read, nothing can fail
    const std::int64_t skip = offset - start_;
    const bool inWindow =
        skip >= 0 && static_cast<std::uint64_t>(skip) <= count_ && length <= count_ - static_cast<std::size_t>(skip);
    if (!inWindow) {
      const std::int64_t wanted =
          std::clamp<std::int64_t>(end - offset, static_cast<std::int64_t>(length), WindowLength);
      Load(offset, static_cast<std::size_t>(wanted));
      if (count_ < length) return nullptr;
    }
    return window_.data() + (offset - start_);
  }

  // From now on searches the tag, bytes 0 to tagSize - 1 of the file, for the
  // popularimeter id, beginning with the window already read.
  void SearchTag(std::int64_t tagSize) {
    searchEnd_ = tagSize;
    searched_ = 0;
    SearchWindow();
  }

  // True when the tag's bytes hold "POP", the start of the popularimeter
  // frame id of every version. A complete parser can only find such a frame
  // where its id stands in the tag: it reads no more than the tag's bytes,
  // unsynchronisation only drops a zero byte after 0xFF, and compression and
  // encryption touch frame contents, never ids. So a tag without these three
  // bytes has no rating to give, and the parser, which costs as much as the
  // rest of the reading, need not run. Also true when the tag's bytes cannot
  // all be read: the parser then decides, and fails, on its own.
  bool TagMayHoldPopularimeter() {
    while (!search_.Found() && searched_ < searchEnd_) {
      Load(searched_, static_cast<std::size_t>(std::min<std::int64_t>(searchEnd_ - searched_, WindowLength)));
      if (count_ == 0) return true;
    }
    return search_.Found();
  }

private:
  // Reads count bytes at offset into the window; fewer at the end of the file,
  // none on an error.
  void Load(std::int64_t offset, std::size_t count) {
    start_ = offset;
    count_ = file_.Seek(offset) ? file_.Read(window_.data(), count) : 0;
    SearchWindow();
  }

  // Adds the window's bytes to the search when they go on from where it stands.
  void SearchWindow() {
    const std::int64_t windowEnd = start_ + static_cast<std::int64_t>(count_);
    if (searched_ >= searchEnd_ || searched_ < start_ || searched_ >= windowEnd) return;
    const std::int64_t stop = std::min(windowEnd, searchEnd_);
    search_.Feed(std::string_view(reinterpret_cast<const char*>(window_.data()) + (searched_ - start_),
                                  static_cast<std::size_t>(stop - searched_)));
    searched_ = stop;
  }

  TReadOnlyFile& file_;
  std::array<std::uint8_t, WindowLength> window_;  // only the first count_ bytes are ever read
  std::int64_t start_ = 0;                         // file offset of the window's first byte
  std::size_t count_ = 0;                          // bytes in the window
  std::int64_t searchEnd_ = 0;                     // the search covers bytes 0 .. searchEnd_ - 1
  std::int64_t searched_ = 0;                      // bytes 0 .. searched_ - 1 have been searched
  TIdSearch search_;
};

// Reads the frames of the tag, from right after its header up to tagSize, into
// the slots. Any failed read ends the walk; the frame in hand is lost.
void WalkFrames(TTagBytes& tag, std::uint8_t version, std::int64_t tagSize, std::int64_t fileSize, TSlots& slots) {
  const bool isV22 = version == Version22;
  const TFrameHeaderLayout& layout = isV22 ? FrameHeaderV22 : FrameHeaderV23;

  std::int64_t position = static_cast<std::int64_t>(TagHeaderLength);
  while (position < tagSize && position < fileSize) {
    const std::uint8_t* headerBytes = tag.At(position, layout.length, tagSize);
    if (headerBytes == nullptr) return;
    // Copied, as reading the content may move the window.
    std::array<std::uint8_t, MaxFrameHeaderLength> header{};
    std::copy_n(headerBytes, layout.length, header.begin());
    // Padding (zero bytes) and the footer ("3DI") end the walk here.
    if (header[0] < 'A' || header[0] > 'Z') return;
    // The size is a plain big-endian number in every version, never the
    // 7-bit form, so a version 2.4 size 00 00 02 2C is 556 bytes.
    const std::uint32_t size = BigEndian(header.data() + layout.idLength, layout.sizeLength);
    if (size >= FrameSizeLimit) return;
    position += static_cast<std::int64_t>(layout.length);
    const std::size_t kept = std::min<std::size_t>(size, ContentLength);
    const std::uint8_t* contentBytes = tag.At(position, kept, tagSize);
    if (contentBytes == nullptr) return;
    // Only the top bit of the second flag byte passes a frame over; the other
    // flags (compression, unsynchronisation, ...) are not looked at.
    const bool passedOver = !isV22 && (header[SecondFlagByteOffset] & PassOverFlag) != 0;
    if (!passedOver) {
      TContent content{};
      std::copy_n(contentBytes, kept, content.begin());
      AssignToSlots(std::string_view(reinterpret_cast<const char*>(header.data()), layout.idLength), content,
                    layout.idTable, slots);
    }
    // The rest of a longer frame is passed over without being read.
    position += size;
  }
}

// Removes leading and trailing bytes of 0x20 or below; those inside stay.
std::string Trimmed(const std::string& text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
  const auto last = std::find_if_not(text.rbegin(), std::make_reverse_iterator(first), isBlank).base();
  return std::string(first, last);
}

// Text of an encoding byte and what follows it. UTF-16 is read little-endian
// whatever the byte-order mark says; units with a low byte of 0xFF are
// dropped (the mark FF FE among them). Any other encoding byte: all bytes as
// they are, the encoding byte included (trimmed away when it is 0).
std::string PlainText(const std::uint8_t* bytes, std::size_t length) {
  if (length == 0) return std::string();
  std::string text;
  if (bytes[0] == EncodingUtf16) {
    const std::size_t units = (length - 1) / 2;
    for (std::size_t i = 0; i < units; ++i) {
      const std::uint8_t low = bytes[1 + 2 * i];
      const std::uint8_t high = bytes[2 + 2 * i];
      const std::uint16_t unit = static_cast<std::uint16_t>(low | (high << 8));
      if (unit == 0) break;
      if (low == 0xFF) continue;
      text += Utf16UnitTo8Bit(unit);
    }
  } else {
    text.assign(reinterpret_cast<const char*>(bytes), length);
  }
  return Trimmed(text);
}

std::string PlainText(const std::optional<TContent>& slot) {
  return slot ? PlainText(slot->data(), slot->size()) : std::string();
}

// Text of a frame made of an encoding byte, [3 language bytes,] a short
// description with its terminator and the text: the description is dropped
// and the rest decoded by the frame's encoding byte.
std::string DescribedText(const std::optional<TContent>& slot, bool withLanguage) {
  if (!slot) return std::string();
  const TContent& content = *slot;
  const std::uint8_t encoding = content[0];
  const std::size_t descriptionStart = withLanguage ? EncodingLength + LanguageLength : EncodingLength;
  std::size_t textStart = descriptionStart;  // stays when no terminator is found
  if (encoding == EncodingUtf16) {
    for (std::size_t i = descriptionStart; i + 1 < content.size(); i += 2) {
      if (content[i] == 0 && content[i + 1] == 0) {
        textStart = i + 2;
        break;
      }
    }
  } else {
    for (std::size_t i = descriptionStart; i < content.size(); ++i) {
      if (content[i] == 0) {
        textStart = i + 1;
        break;
      }
    }
  }
  std::array<std::uint8_t, ContentLength> rest{};
  rest[0] = encoding;
  std::copy(content.begin() + static_cast<std::ptrdiff_t>(textStart), content.end(), rest.begin() + 1);
  return PlainText(rest.data(), 1 + content.size() - textStart);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Converts the whole text to a signed 32-bit number: leading spaces, then an
// optional sign and decimal digits, or a "$", "x", "X", "0x" or "0X" prefix
// and hexadecimal digits. A zero byte ends the text. Anything else after the
// digits, no digits at all, or a value outside the signed 32-bit range fails.
std::optional<std::int32_t> TextToInt32(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  int base = 10;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  } else if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

// Track number of a text like "7/12": the part before the first "/", 0 when
// it is no number, else kept modulo 65536.
std::uint16_t TrackNumber(const std::string& text) {
  const std::optional<std::int32_t> number = TextToInt32(std::string_view(text).substr(0, text.find('/')));
  return number ? static_cast<std::uint16_t>(static_cast<std::uint32_t>(*number)) : 0;
}

// Genre text: whatever follows the last ")", so "(17)Rock" gives "Rock" and a
// reference alone gives nothing. Numeric references are not looked up.
std::string GenreText(const std::string& text) {
  const std::size_t close = text.rfind(')');
  return close == std::string::npos ? text : text.substr(close + 1);
}

// Keeps TagLib's diagnostics off stderr while it parses a possibly broken tag.
class TSilentDebugListener final : public TagLib::DebugListener {
public:
  void printMessage(const TagLib::String&) override {}
};

// TagLib's listener is one pointer for the whole process, read by every
// parse: it is set once, by the first parse, and kept, so that readers on
// several threads never write it while another parse reads it.
void SilenceTagLib() {
  static std::once_flag once;
  std::call_once(once, [] {
    static TSilentDebugListener listener;
    TagLib::setDebugListener(&listener);
  });
}

// The file the reader has open, as TagLib's parser reads a stream: the parser
// goes through the same open file instead of opening it again. Read-only:
// writing does nothing, as with a file TagLib opened read-only.
class TTagLibStream final : public TagLib::IOStream {
public:
  explicit TTagLibStream(TReadOnlyFile& file) : file_(file) {}

  TagLib::FileName name() const override { return ""; }
  TagLib::ByteVector readBlock(unsigned long length) override {
    // No more than the file holds, so a size read from broken bytes asks for no huge buffer.
    const std::int64_t left = std::max<std::int64_t>(file_.Size() - position_, 0);
    const auto count = static_cast<unsigned int>(std::min<std::uint64_t>(
        {length, static_cast<std::uint64_t>(left), std::numeric_limits<unsigned int>::max()}));
    if (count == 0 || !file_.Seek(position_)) return TagLib::ByteVector();
    TagLib::ByteVector block(count, 0);
    const std::size_t got = file_.Read(block.data(), count);
    block.resize(static_cast<unsigned int>(got));
    position_ += static_cast<std::int64_t>(got);
    return block;
  }
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return file_.IsOpen(); }
  // A position before the start of the file is refused and the position kept.
  void seek(long offset, Position from) override {
    std::int64_t base = 0;
    if (from == Current) base = position_;
    if (from == End) base = file_.Size();
    if (base + offset >= 0) position_ = base + offset;
  }
  long tell() const override { return static_cast<long>(position_); }
  long length() override { return static_cast<long>(file_.Size()); }
  void truncate(long) override {}

private:
  TReadOnlyFile& file_;
  std::int64_t position_ = 0;
};

// Rating of the first popularimeter frame of the file's ID3v2 tag, read with
// TagLib's complete tag parser (which also understands e-mail addresses,
// unsynchronisation and the version 2.4 frame sizes). 0 when there is none or
// anything fails. The audio is not read.
std::uint8_t RatingFromTagParser(TReadOnlyFile& file) noexcept {
  try {
    SilenceTagLib();
    TTagLibStream stream(file);
    if (!stream.isOpen()) return 0;
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false,
                            TagLib::AudioProperties::Fast);
    if (!file.isValid() || !file.hasID3v2Tag()) return 0;
    const TagLib::ID3v2::FrameList frames = file.ID3v2Tag()->frameList("POPM");
    if (frames.isEmpty()) return 0;
    // A frame TagLib could not decode (compressed, encrypted) has no rating to give.
    const auto* popularimeter = dynamic_cast<const TagLib::ID3v2::PopularimeterFrame*>(frames.front());
    if (popularimeter == nullptr) return 0;
    return static_cast<std::uint8_t>(std::clamp(popularimeter->rating(), 0, 255));
  } catch (...) {
    return 0;
  }
}

}  // namespace

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
  for (std::string TID3v2::*member : ExtraTextMembers) (this->*member).clear();
  Rating = 0;
}

bool TID3v2::LoadFromFile(const std::string& fileName) {
  TReadOnlyFile file(fileName);
  return LoadFromFile(file);
}

bool TID3v2::LoadFromFile(TReadOnlyFile& file, TTagReading reading) {
  Clear();
  // One open file serves the header, the frame walk, the popularimeter
  // search and the complete parser.
  const std::int64_t fileSize = file.Size();
  if (fileSize < 0) return false;
  TTagBytes tagBytes(file);
  const std::uint8_t* headerBytes = tagBytes.At(0, TagHeaderLength, TagHeaderLength);
  if (headerBytes == nullptr) return false;
  std::array<std::uint8_t, TagHeaderLength> header;
  std::copy_n(headerBytes, TagHeaderLength, header.begin());
  if (std::memcmp(header.data(), TagMarker, TagMarkerLength) != 0) return true;

  Present = true;
  TagVersion = header[TagVersionOffset];
  // Every size byte counts with all 8 bits (the top bit is not masked).
  std::int64_t size = 0;
  for (std::size_t i = 0; i < TagSizeLength; ++i) size = (size << 7) + header[TagSizeOffset + i];
  size += static_cast<std::int64_t>(TagHeaderLength);
  if (header[TagFlagsOffset] & FooterFlag) size += FooterLength;
  TagSize = size > fileSize ? 0 : static_cast<std::int32_t>(size);
  if (TagVersion < Version22 || TagVersion > Version24 || TagSize <= 0) return true;
  if (reading == TTagReading::HeaderOnly) return true;

  tagBytes.SearchTag(TagSize);
  TSlots slots;
  WalkFrames(tagBytes, TagVersion, TagSize, fileSize, slots);

  Title = PlainText(slots[TitleSlot]);
  if (Title.empty()) Title = PlainText(slots[ContentGroupSlot]);
  Artist = PlainText(slots[ArtistSlot]);
  if (Artist.empty()) Artist = PlainText(slots[OriginalArtistSlot]);
  Album = PlainText(slots[AlbumSlot]);
  if (Album.empty()) Album = PlainText(slots[OriginalAlbumSlot]);
  TrackText = PlainText(slots[TrackSlot]);
  Track = TrackNumber(TrackText);
  Year = PlainText(slots[YearSlot]);
  if (Year.empty()) Year = PlainText(slots[RecordingTimeSlot]).substr(0, 4);
  Genre = GenreText(PlainText(slots[GenreSlot]));
  Comment = DescribedText(slots[CommentSlot], true);
  Composer = PlainText(slots[ComposerSlot]);
  EncodedBy = PlainText(slots[EncodedBySlot]);
  Copyright = PlainText(slots[CopyrightSlot]);
  Language = PlainText(slots[LanguageSlot]);
  UserLink = DescribedText(slots[UserLinkSlot], false);
  for (std::size_t i = 0; i < ExtraTextMembers.size(); ++i)
    this->*ExtraTextMembers[i] = PlainText(slots[FirstExtraTextSlot + i]);
  // A stored popularimeter frame has an empty e-mail address, so its second
  // byte is the rating; any other is left to the complete parser.
  if (slots[RatingSlot]) {
    Rating = (*slots[RatingSlot])[1];
  } else if (tagBytes.TagMayHoldPopularimeter()) {
    Rating = RatingFromTagParser(file);
  }
  return true;
}
