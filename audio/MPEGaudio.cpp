#include "audio/MPEGaudio.h"

#include "audio/ReadOnlyFile.h"
#include "audio/Rounding.h"

#include <cstring>
#include <limits>
#include <optional>

namespace MPEGFrame {

// Version codes 0 = MPEG 2.5 and 2 = MPEG 2 share the lower-sample-rate rows;
// layer codes run backwards (1 = Layer III, 3 = Layer I).
const std::array<std::array<std::array<std::uint16_t, 16>, 4>, 4> BitRates = {{
    // MPEG 2.5
    {{{},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}}},
    // reserved
    {{{}, {}, {}, {}}},
    // MPEG 2
    {{{},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}}},
    // MPEG 1
    {{{},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}}},
}};

const std::array<std::array<std::uint16_t, 4>, 4> SampleRates = {{
    {11025, 12000, 8000, 0},   // MPEG 2.5
    {0, 0, 0, 0},              // reserved
    {22050, 24000, 16000, 0},  // MPEG 2
    {44100, 48000, 32000, 0},  // MPEG 1
}};

const std::array<const char*, 4> VersionNames = {"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
const std::array<const char*, 4> LayerNames = {"Layer ?", "Layer III", "Layer II", "Layer I"};
const std::array<const char*, 5> ModeNames = {"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};
const std::array<const char*, 4> EmphasisNames = {"None", "50/15 ms", "Unknown", "CCIT J.17"};
const std::array<const char*, 8> EncoderNames = {"Unknown", "Xing", "FhG",   "LAME",
                                                 "Blade",   "GoGo", "Shine", "QDesign"};

namespace {

constexpr std::uint8_t VersionMPEG1 = 3;
constexpr std::uint8_t LayerI = 3;
constexpr std::uint8_t LayerII = 2;
constexpr std::uint8_t ModeMono = 3;

// Samples per frame divided by 8, by [VersionID][LayerID]; 0 for reserved codes.
constexpr std::array<std::array<std::uint8_t, 4>, 4> FrameCoefficients = {{
    {0, 72, 144, 48},   // MPEG 2.5
    {0, 0, 0, 0},       // reserved
    {0, 72, 144, 48},   // MPEG 2
    {0, 144, 144, 48},  // MPEG 1
}};

// Xing header: frame and byte counts at fixed places whatever its flags say,
// the last byte of the quality field, then the encoder's 8-byte signature.
constexpr std::size_t XingFramesOffset = 8;
constexpr std::size_t XingBytesOffset = 12;
constexpr std::size_t XingScaleOffset = 119;
constexpr std::size_t XingVendorOffset = 120;
constexpr std::size_t XingVendorLength = 8;
constexpr std::size_t XingLength = XingVendorOffset + XingVendorLength;
// VBRI header (Fraunhofer): quality byte, then byte and frame counts.
constexpr std::size_t VBRIScaleOffset = 9;
constexpr std::size_t VBRIBytesOffset = 10;
constexpr std::size_t VBRIFramesOffset = 14;
constexpr std::size_t VBRILength = VBRIFramesOffset + 4;

constexpr std::size_t SideInfoProbeLength = 6;
constexpr std::size_t VendorWindowLength = 8;  // "LAME" and the 4 characters of its version

// True when length bytes from index lie inside the block.
bool Fits(TBlock block, std::size_t index, std::size_t length) {
  return index <= block.size() && length <= block.size() - index;
}

bool HasSignature(TBlock block, std::size_t index, const char* signature) {
  return Fits(block, index, 4) && std::memcmp(block.data() + index, signature, 4) == 0;
}

std::int32_t BigEndian32(TBlock block, std::size_t index) {
  const std::uint32_t value = (std::uint32_t{block[index]} << 24) | (std::uint32_t{block[index + 1]} << 16) |
                              (std::uint32_t{block[index + 2]} << 8) | std::uint32_t{block[index + 3]};
  return static_cast<std::int32_t>(value);
}

}  // namespace

bool IsFrameHeader(const THeaderBytes& header) {
  if (header[0] != 0xFF) return false;
  if ((header[1] & 0xE0) != 0xE0) return false;
  if (((header[1] >> 3) & 0x03) == 1) return false;  // reserved version
  if (((header[1] >> 1) & 0x03) == 0) return false;  // reserved layer
  const int bitRateID = header[2] >> 4;
  if (bitRateID == 15 || bitRateID == 0) return false;  // bad, free format
  if (((header[2] >> 2) & 0x03) == 3) return false;  // reserved sample rate
  if ((header[3] & 0x03) == 2) return false;         // reserved emphasis
  return true;
}

void DecodeHeader(const THeaderBytes& header, FrameData& frame) {
  frame.Data = header;
  frame.VersionID = (header[1] >> 3) & 0x03;
  frame.LayerID = (header[1] >> 1) & 0x03;
  frame.ProtectionBit = (header[1] & 0x01) == 0;
  frame.BitRateID = header[2] >> 4;
  frame.SampleRateID = (header[2] >> 2) & 0x03;
  frame.PaddingBit = (header[2] & 0x02) != 0;
  frame.PrivateBit = (header[2] & 0x01) != 0;
  frame.ModeID = header[3] >> 6;
  frame.ModeExtensionID = (header[3] >> 4) & 0x03;
  frame.CopyrightBit = (header[3] & 0x08) != 0;
  frame.OriginalBit = (header[3] & 0x04) != 0;
  frame.EmphasisID = header[3] & 0x03;
}

bool IsFrameAt(TBlock block, std::size_t index) {
  if (!Fits(block, index, 4)) return false;
  return IsFrameHeader({block[index], block[index + 1], block[index + 2], block[index + 3]});
}

bool HasZeroSideInfo(TBlock block, std::size_t index) {
  if (!Fits(block, index, SideInfoProbeLength)) return false;
  for (std::size_t i = 0; i < SideInfoProbeLength; ++i)
    if (block[index + i] != 0) return false;
  return true;
}

std::uint8_t FrameCoefficient(const FrameData& frame) {
  if (frame.VersionID >= FrameCoefficients.size() || frame.LayerID >= FrameCoefficients[0].size()) return 0;
  return FrameCoefficients[frame.VersionID][frame.LayerID];
}

std::uint16_t TableBitRate(const FrameData& frame) {
  if (frame.VersionID >= BitRates.size() || frame.LayerID >= BitRates[0].size() ||
      frame.BitRateID >= BitRates[0][0].size())
    return 0;
  return BitRates[frame.VersionID][frame.LayerID][frame.BitRateID];
}

std::uint16_t TableSampleRate(const FrameData& frame) {
  if (frame.VersionID >= SampleRates.size() || frame.SampleRateID >= SampleRates[0].size()) return 0;
  return SampleRates[frame.VersionID][frame.SampleRateID];
}

std::uint8_t PaddingSize(const FrameData& frame) {
  if (!frame.PaddingBit) return 0;
  return frame.LayerID == LayerI ? 4 : 1;
}

std::uint16_t FrameLength(const FrameData& frame) {
  const std::uint32_t sampleRate = TableSampleRate(frame);
  if (sampleRate == 0) return 0;
  const std::uint32_t length = std::uint32_t{FrameCoefficient(frame)} * TableBitRate(frame) * 1000 / sampleRate;
  return static_cast<std::uint16_t>(length + PaddingSize(frame));
}

std::uint8_t VBRHeaderOffset(const FrameData& frame) {
  const bool mono = frame.ModeID == ModeMono;
  if (frame.VersionID == VersionMPEG1) return mono ? 21 : 36;
  return mono ? 13 : 21;
}

FrameData FindFrame(TBlock block, VBRData& vbr) {
  FrameData frame{};
  if (block.size() < MaxFrameLength) return frame;
  const std::size_t lastPosition = block.size() - MaxFrameLength;
  for (std::size_t p = 0; p <= lastPosition; ++p) {
    if (!IsFrameAt(block, p)) continue;
    DecodeHeader({block[p], block[p + 1], block[p + 2], block[p + 3]}, frame);
    const std::uint16_t length = FrameLength(frame);
    // The second header only has to be a header; it need not match the first.
    if (IsFrameAt(block, p + length)) {
      frame.Found = true;
      frame.Position = static_cast<std::int32_t>(p);
      frame.Size = length;
      frame.ZeroSideInfo = HasZeroSideInfo(block, p + 4);
      vbr = FindVBRHeader(block, p + VBRHeaderOffset(frame));
      break;
    }
  }
  return frame;
}

VBRData FindVBRHeader(TBlock block, std::size_t index) {
  VBRData vbr{};
  if (HasSignature(block, index, "Xing") && Fits(block, index, XingLength)) {
    vbr.Found = true;
    std::memcpy(vbr.ID, "Xing", 4);
    vbr.Frames = BigEndian32(block, index + XingFramesOffset);
    vbr.Bytes = BigEndian32(block, index + XingBytesOffset);
    vbr.Scale = block[index + XingScaleOffset];
    vbr.VendorID.assign(reinterpret_cast<const char*>(block.data() + index + XingVendorOffset), XingVendorLength);
  } else if (HasSignature(block, index, "VBRI") && Fits(block, index, VBRILength)) {
    vbr.Found = true;
    std::memcpy(vbr.ID, "VBRI", 4);
    vbr.Scale = block[index + VBRIScaleOffset];
    vbr.Bytes = BigEndian32(block, index + VBRIBytesOffset);
    vbr.Frames = BigEndian32(block, index + VBRIFramesOffset);
  }
  return vbr;
}

std::string FindVendorID(TBlock block, std::int32_t limit) {
  const std::int64_t blockLength = static_cast<std::int64_t>(block.size());
  std::int64_t last = limit;
  if (blockLength - last - static_cast<std::int64_t>(VendorWindowLength) < 0)
    last = blockLength - static_cast<std::int64_t>(VendorWindowLength);
  // From the end of the block toward its start: the signature nearest the end wins.
  for (std::int64_t i = 0; i <= last; ++i) {
    const auto s = static_cast<std::size_t>(blockLength - static_cast<std::int64_t>(VendorWindowLength) - i);
    const char* window = reinterpret_cast<const char*>(block.data() + s);
    if (std::memcmp(window, "LAME", 4) == 0) return std::string(window, VendorWindowLength);
    if (std::memcmp(window, "GOGO", 4) == 0) return "GOGO";
  }
  return std::string();
}

}  // namespace MPEGFrame

using namespace MPEGFrame;

namespace {

constexpr std::int64_t ID3v1TagLength = 128;
constexpr std::int32_t VendorSearchFrames = 5;  // the signature is looked for within this many frames of the end

enum : std::uint8_t {
  EncoderUnknown = 0,
  EncoderXing = 1,
  EncoderFhG = 2,
  EncoderLAME = 3,
  EncoderBlade = 4,
  EncoderGoGo = 5,
  EncoderShine = 6,
  EncoderQDesign = 7,
};

template <std::size_t N>
std::string NameAt(const std::array<const char*, N>& names, std::size_t index) {
  return index < N ? names[index] : std::string();
}

// Rounds ties to even and keeps the low 16 bits of the result, as the bit
// rate's 16-bit field does; not-a-number and infinities give 0. (An average
// bit rate from 32-bit header counts never reaches the 64-bit limit.)
std::uint16_t RoundToWord(double value) {
  const std::optional<std::int64_t> rounded = RoundTiesToEven(value);
  return rounded ? static_cast<std::uint16_t>(static_cast<std::uint64_t>(*rounded)) : 0;
}

// Reads up to one block at an absolute position. Bytes that the file does not
// deliver (at its end, or when it shrank since its size was taken) are zeros.
bool ReadBlock(TReadOnlyFile& file, std::int64_t position, std::array<std::uint8_t, ScanBlockSize>& block,
               std::size_t& count) {
  block.fill(0);
  count = 0;
  if (!file.Seek(position)) return false;
  count = file.Read(block.data(), block.size());
  return true;
}

}  // namespace

TMPEGaudio::TMPEGaudio() : ID3v1Tag(std::make_unique<TID3v1>()), ID3v2Tag(std::make_unique<TID3v2>()) { Clear(); }

TMPEGaudio::~TMPEGaudio() {
  ID3v1Tag.reset();
  ID3v2Tag.reset();
}

void TMPEGaudio::Clear() {
  FileLength = 0;
  VendorID.clear();
  VBR = VBRData{};
  // Reserved or out-of-range codes: no names, no table rates.
  Frame = FrameData{};
  Frame.VersionID = 1;
  Frame.SampleRateID = 3;
  Frame.ModeID = 4;
  Frame.ModeExtensionID = 4;
  Frame.EmphasisID = 2;
  ID3v1Tag->Clear();
  ID3v2Tag->Clear();
}

bool TMPEGaudio::LoadFromFile(const std::string& fileName) {
  Clear();
  bool result = false;
  if (ID3v2Tag->LoadFromFile(fileName) && ID3v1Tag->LoadFromFile(fileName)) result = ReadStream(fileName);
  if (!Frame.Found) Clear();
  return result;
}

// The block reads. Any failure ends them at once; what was found so far stays.
bool TMPEGaudio::ReadStream(const std::string& fileName) {
  TReadOnlyFile file(fileName);
  const std::int64_t size = file.Size();
  // The file length is a signed 32-bit number: larger files are not measured.
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) return false;
  FileLength = static_cast<std::int32_t>(size);

  std::array<std::uint8_t, ScanBlockSize> block;
  std::size_t count = 0;
  const std::int64_t tagSize = ID3v2Tag->TagSize;
  if (!ReadBlock(file, tagSize, block, count)) return false;
  Frame = FindFrame(block, VBR);

  if (!Frame.Found && count == block.size()) {
    // Counted from the start of the file, not from the end of the tag.
    if (!ReadBlock(file, (FileLength - tagSize) / 2, block, count)) return false;
    Frame = FindFrame(block, VBR);
  }

  if (Frame.Found && !VBR.Found) {
    std::int64_t position = std::int64_t{FileLength} - static_cast<std::int64_t>(block.size());
    if (ID3v1Tag->Present) position -= ID3v1TagLength;
    // A file shorter than a block puts this before its start: an error.
    if (!ReadBlock(file, position, block, count)) return false;
    VendorID = FindVendorID(block, std::int32_t{Frame.Size} * VendorSearchFrames);
  }
  return true;
}

std::int64_t TMPEGaudio::AudioSize() const {
  std::int64_t size = std::int64_t{FileLength} - ID3v2Tag->TagSize;
  if (ID3v1Tag->Present) size -= ID3v1TagLength;
  return size;
}

std::string TMPEGaudio::Version() const { return NameAt(VersionNames, Frame.VersionID); }
std::string TMPEGaudio::Layer() const { return NameAt(LayerNames, Frame.LayerID); }
std::string TMPEGaudio::ChannelMode() const { return NameAt(ModeNames, Frame.ModeID); }
std::string TMPEGaudio::Emphasis() const { return NameAt(EmphasisNames, Frame.EmphasisID); }

std::uint16_t TMPEGaudio::BitRate() const {
  if (VBR.Found && VBR.Frames > 0) {
    const std::uint8_t coefficient = FrameCoefficient(Frame);
    if (coefficient == 0) return 0;
    // The average frame length without its padding slot, turned back into kbit/s.
    const double average = (static_cast<double>(VBR.Bytes) / VBR.Frames - PaddingSize(Frame)) *
                           TableSampleRate(Frame) / coefficient / 1000;
    return RoundToWord(average);
  }
  return TableBitRate(Frame);
}

std::uint16_t TMPEGaudio::SampleRate() const { return TableSampleRate(Frame); }

std::int32_t TMPEGaudio::Frames() const {
  if (VBR.Found) return VBR.Frames;
  const std::uint16_t length = FrameLength(Frame);
  if (length == 0) return 0;
  return static_cast<std::int32_t>((AudioSize() - Frame.Position) / length);
}

double TMPEGaudio::Duration() const {
  if (!Frame.Found) return 0;
  if (VBR.Found && VBR.Frames > 0) {
    const std::uint16_t sampleRate = TableSampleRate(Frame);
    if (sampleRate == 0) return 0;
    return static_cast<double>(FrameCoefficient(Frame)) * 8 * VBR.Frames / sampleRate;
  }
  const std::uint16_t bitRate = TableBitRate(Frame);
  if (bitRate == 0) return 0;
  // The first frame's bit rate, not the BitRate result.
  return (static_cast<double>(AudioSize() - Frame.Position) / bitRate / 1000) * 8;
}

std::uint8_t TMPEGaudio::EncoderID() const {
  if (!Frame.Found) return EncoderUnknown;
  return VBR.Found ? VBREncoderID() : CBREncoderID();
}

std::uint8_t TMPEGaudio::VBREncoderID() const {
  const std::string v4 = VBR.VendorID.substr(0, 4);
  std::uint8_t id = EncoderUnknown;
  if (v4 == "LAME") id = EncoderLAME;
  if (v4 == "GOGO") id = EncoderGoGo;
  if (v4 == "MPGE") id = EncoderGoGo;
  if (std::memcmp(VBR.ID, "Xing", 4) == 0 && v4 != "LAME" && v4 != "GOGO" && v4 != "MPGE") id = EncoderXing;
  if (std::memcmp(VBR.ID, "VBRI", 4) == 0) id = EncoderFhG;
  return id;
}

// Guesses from header flags that encoders set in their own ways; a later
// rule overrides an earlier one.
std::uint8_t TMPEGaudio::CBREncoderID() const {
  const std::string v4 = VendorID.substr(0, 4);
  std::uint8_t id = EncoderFhG;
  if (Frame.OriginalBit && Frame.ProtectionBit) id = EncoderLAME;
  if (TableBitRate(Frame) <= 160 && Frame.ModeID == 0) id = EncoderBlade;
  if (Frame.CopyrightBit && Frame.OriginalBit && !Frame.ProtectionBit) id = EncoderXing;
  if (Frame.ZeroSideInfo && Frame.OriginalBit) id = EncoderXing;
  if (Frame.LayerID == LayerII) id = EncoderQDesign;
  if (Frame.ModeID == 2 && Frame.ProtectionBit) id = EncoderShine;
  if (v4 == "LAME") id = EncoderLAME;
  if (v4 == "GOGO") id = EncoderGoGo;
  return id;
}

std::string TMPEGaudio::Encoder() const {
  const std::uint8_t id = EncoderID();
  std::string result = NameAt(EncoderNames, id);
  std::string vendor;
  if (!VBR.VendorID.empty()) vendor = VBR.VendorID;
  if (!VendorID.empty()) vendor = VendorID;
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  // "LAME3.90" gives "LAME 3.90".
  if (id == EncoderLAME && vendor.size() >= 8 && isDigit(vendor[4]) && vendor[5] == '.' && isDigit(vendor[6]) &&
      isDigit(vendor[7]))
    result.append(" ").append(vendor, 4, 4);
  return result;
}

bool TMPEGaudio::Valid() const {
  const std::uint16_t bitRate = BitRate();
  return Frame.Found && bitRate >= 8 && bitRate <= 448 && Duration() >= 0.1;
}
