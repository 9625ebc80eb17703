#include "audio/MPEGaudio.h"

#include "audio/ReadOnlyFile.h"
#include "audio/Rounding.h"

#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

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

const std::array<const char*, 4> VersionNames = {
    "MPEG 2.5",  // VersionMPEG25
    "MPEG ?",    // VersionReserved
    "MPEG 2",    // VersionMPEG2
    "MPEG 1",    // VersionMPEG1
};
const std::array<const char*, 4> LayerNames = {
    "Layer ?",    // LayerReserved
    "Layer III",  // LayerIII
    "Layer II",   // LayerII
    "Layer I",    // LayerI
};
const std::array<const char*, 5> ModeNames = {
    "Stereo",        // ModeStereo
    "Joint Stereo",  // ModeJointStereo
    "Dual Channel",  // ModeDualChannel
    "Mono",          // ModeMono
    "Unknown",       // ModeNone
};
const std::array<const char*, 4> EmphasisNames = {
    "None",       // EmphasisNone
    "50/15 ms",   // Emphasis50_15
    "Unknown",    // EmphasisReserved
    "CCIT J.17",  // EmphasisCCITTJ17; the text has always had one T fewer
};
const std::array<const char*, 8> EncoderNames = {
    "Unknown",  // EncoderUnknown
    "Xing",     // EncoderXing
    "FhG",      // EncoderFhG
    "LAME",     // EncoderLAME
    "Blade",    // EncoderBlade
    "GoGo",     // EncoderGoGo
    "Shine",    // EncoderShine
    "QDesign",  // EncoderQDesign
};

namespace {

// Where a field lies in the four header bytes: the byte, the shift that brings
// its lowest bit to bit 0, and the mask of its width.
struct THeaderField {
  std::size_t byte;
  unsigned shift;
  std::uint8_t mask;
};
// Byte 0 and the top three bits of byte 1 are the frame sync.
constexpr std::uint8_t SyncByte0 = 0xFF;
constexpr std::uint8_t SyncMaskByte1 = 0xE0;
constexpr THeaderField VersionField{1, 3, 0x03};        // TVersionCode
constexpr THeaderField LayerField{1, 1, 0x03};          // TLayerCode
constexpr THeaderField ProtectionField{1, 0, 0x01};     // 0: a 16-bit CRC follows the header
constexpr THeaderField BitRateField{2, 4, 0x0F};        // index into BitRates
constexpr THeaderField SampleRateField{2, 2, 0x03};     // index into SampleRates
constexpr THeaderField PaddingField{2, 1, 0x01};
constexpr THeaderField PrivateField{2, 0, 0x01};
constexpr THeaderField ModeField{3, 6, 0x03};           // TChannelModeCode
constexpr THeaderField ModeExtensionField{3, 4, 0x03};
constexpr THeaderField CopyrightField{3, 3, 0x01};
constexpr THeaderField OriginalField{3, 2, 0x01};
constexpr THeaderField EmphasisField{3, 0, 0x03};       // TEmphasisCode

std::uint8_t FieldOf(const THeaderBytes& header, THeaderField field) {
  return static_cast<std::uint8_t>((header[field.byte] >> field.shift) & field.mask);
}

// Samples per frame divided by 8, by [VersionID][LayerID]; 0 for reserved codes.
constexpr std::array<std::array<std::uint8_t, 4>, 4> FrameCoefficients = {{
    {0, 72, 144, 48},   // MPEG 2.5
    {0, 0, 0, 0},       // reserved
    {0, 72, 144, 48},   // MPEG 2
    {0, 144, 144, 48},  // MPEG 1
}};

// Bytes from the frame start to where a Xing or VBRI header is looked for: the
// 4-byte header and the Layer III side information, whatever the layer; by
// [VersionID == VersionMPEG1][ModeID == ModeMono].
constexpr std::array<std::array<std::uint8_t, 2>, 2> VBRHeaderOffsets = {{
    {21, 13},  // MPEG 2 and 2.5: 17 bytes of side information, 9 in mono
    {36, 21},  // MPEG 1: 32 bytes of side information, 17 in mono
}};

// Bytes of every signature: "Xing", "Info", "VBRI", "LAME", "GOGO", "MPGE".
constexpr std::size_t SignatureLength = 4;
constexpr char XingSignature[] = "Xing";
// Encoders write "Info" where "Xing" stands in a constant bit-rate stream; the
// layout is the same.
constexpr char InfoSignature[] = "Info";
constexpr char VBRISignature[] = "VBRI";
// Encoder signatures, case-sensitive.
constexpr std::string_view LameSignature = "LAME";
constexpr std::string_view GogoSignature = "GOGO";
constexpr std::string_view MpgeSignature = "MPGE";  // taken for GoGo too

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
constexpr std::size_t VBRILength = VBRIFramesOffset + 4;  // the frame count is the last field read

// Layer I frames are counted in 4-byte slots, 12 of them per kbit/s step.
constexpr std::uint32_t LayerISlotsPerFrame = 12;
constexpr std::uint32_t LayerISlotLength = 4;

constexpr std::size_t SideInfoProbeLength = 6;
constexpr std::size_t VendorWindowLength = 8;  // "LAME" and the 4 characters of its version
constexpr std::size_t VendorVersionOffset = 4;  // "3.90" in "LAME3.90"
constexpr std::size_t VendorVersionLength = 4;

// True when length bytes from index lie inside the block.
bool Fits(TBlock block, std::size_t index, std::size_t length) {
  return index <= block.size() && length <= block.size() - index;
}

bool HasSignature(TBlock block, std::size_t index, const char* signature) {
  return Fits(block, index, SignatureLength) && std::memcmp(block.data() + index, signature, SignatureLength) == 0;
}

// The header bytes at index; the caller has made sure they are in the block.
THeaderBytes HeaderAt(TBlock block, std::size_t index) {
  return {block[index], block[index + 1], block[index + 2], block[index + 3]};
}

std::int32_t BigEndian32(TBlock block, std::size_t index) {
  const std::uint32_t value = (std::uint32_t{block[index]} << 24) | (std::uint32_t{block[index + 1]} << 16) |
                              (std::uint32_t{block[index + 2]} << 8) | std::uint32_t{block[index + 3]};
  return static_cast<std::int32_t>(value);
}

}  // namespace

bool IsFrameHeader(const THeaderBytes& header) {
  if (header[0] != SyncByte0) return false;
  if ((header[1] & SyncMaskByte1) != SyncMaskByte1) return false;
  if (FieldOf(header, VersionField) == VersionReserved) return false;
  if (FieldOf(header, LayerField) == LayerReserved) return false;
  const std::uint8_t bitRateID = FieldOf(header, BitRateField);
  if (bitRateID == BitRateBad || bitRateID == BitRateFree) return false;
  if (FieldOf(header, SampleRateField) == SampleRateReserved) return false;
  if (FieldOf(header, EmphasisField) == EmphasisReserved) return false;
  return true;
}

void DecodeHeader(const THeaderBytes& header, FrameData& frame) {
  frame.Data = header;
  frame.VersionID = FieldOf(header, VersionField);
  frame.LayerID = FieldOf(header, LayerField);
  frame.ProtectionBit = FieldOf(header, ProtectionField) == 0;  // stored inverted
  frame.BitRateID = FieldOf(header, BitRateField);
  frame.SampleRateID = FieldOf(header, SampleRateField);
  frame.PaddingBit = FieldOf(header, PaddingField) != 0;
  frame.PrivateBit = FieldOf(header, PrivateField) != 0;
  frame.ModeID = FieldOf(header, ModeField);
  frame.ModeExtensionID = FieldOf(header, ModeExtensionField);
  frame.CopyrightBit = FieldOf(header, CopyrightField) != 0;
  frame.OriginalBit = FieldOf(header, OriginalField) != 0;
  frame.EmphasisID = FieldOf(header, EmphasisField);
}

bool IsFrameAt(TBlock block, std::size_t index) {
  if (!Fits(block, index, FrameHeaderLength)) return false;
  return IsFrameHeader(HeaderAt(block, index));
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
  if (frame.LayerID == LayerI) {
    // Layer I frames are whole 4-byte slots: 12 slots per kbit/s step, plus the padding slot.
    const std::uint32_t slots = std::uint32_t{LayerISlotsPerFrame} * TableBitRate(frame) * 1000 / sampleRate;
    return static_cast<std::uint16_t>(LayerISlotLength * (slots + (frame.PaddingBit ? 1 : 0)));
  }
  const std::uint32_t length = std::uint32_t{FrameCoefficient(frame)} * TableBitRate(frame) * 1000 / sampleRate;
  return static_cast<std::uint16_t>(length + PaddingSize(frame));
}

std::uint8_t VBRHeaderOffset(const FrameData& frame) {
  return VBRHeaderOffsets[frame.VersionID == VersionMPEG1][frame.ModeID == ModeMono];
}

FrameData FindFrame(TBlock block, VBRData& vbr) {
  FrameData frame{};
  if (block.size() < MaxFrameLength) return frame;
  const std::size_t lastPosition = block.size() - MaxFrameLength;
  for (std::size_t p = 0; p <= lastPosition; ++p) {
    if (!IsFrameAt(block, p)) continue;
    DecodeHeader(HeaderAt(block, p), frame);
    const std::uint16_t length = FrameLength(frame);
    // The second header only has to be a header; it need not match the first.
    if (IsFrameAt(block, p + length)) {
      frame.Found = true;
      frame.Position = static_cast<std::int32_t>(p);
      frame.Size = length;
      frame.ZeroSideInfo = HasZeroSideInfo(block, p + FrameHeaderLength);
      vbr = FindVBRHeader(block, p + VBRHeaderOffset(frame));
      break;
    }
  }
  return frame;
}

VBRData FindVBRHeader(TBlock block, std::size_t index) {
  VBRData vbr{};
  const char* xingLike = HasSignature(block, index, XingSignature)   ? XingSignature
                         : HasSignature(block, index, InfoSignature) ? InfoSignature
                                                                     : nullptr;
  if (xingLike != nullptr && Fits(block, index, XingLength)) {
    vbr.Found = true;
    std::memcpy(vbr.ID, xingLike, SignatureLength);
    vbr.Frames = BigEndian32(block, index + XingFramesOffset);
    vbr.Bytes = BigEndian32(block, index + XingBytesOffset);
    vbr.Scale = block[index + XingScaleOffset];
    vbr.VendorID.assign(reinterpret_cast<const char*>(block.data() + index + XingVendorOffset), XingVendorLength);
  } else if (HasSignature(block, index, VBRISignature) && Fits(block, index, VBRILength)) {
    vbr.Found = true;
    std::memcpy(vbr.ID, VBRISignature, SignatureLength);
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
    if (std::memcmp(window, LameSignature.data(), SignatureLength) == 0) return std::string(window, VendorWindowLength);
    if (std::memcmp(window, GogoSignature.data(), SignatureLength) == 0) return std::string(GogoSignature);
  }
  return std::string();
}

}  // namespace MPEGFrame

using namespace MPEGFrame;

namespace {

constexpr std::int32_t VendorSearchFrames = 5;  // the signature is looked for within this many frames of the end
// A stream below these is not taken for MPEG audio.
constexpr std::uint16_t MinValidBitRate = 8;    // kbit/s
constexpr std::uint16_t MaxValidBitRate = 448;  // kbit/s, the highest in BitRates
constexpr double MinValidDuration = 0.1;        // seconds
constexpr std::uint16_t BladeMaxBitRate = 160;  // kbit/s: plain stereo up to this rate is taken for Blade

template <std::size_t N>
std::string NameAt(const std::array<const char*, N>& names, std::size_t index) {
  return index < N ? names[index] : std::string();
}

// Rounds ties to even and keeps the low 16 bits of the result, as the bit
// rate's 16-bit field does; not-a-number and infinities give 0. (An average
// bit rate from 32-bit header counts never reaches the 64-bit limit.)
// Whether the VBR header read carries this signature.
bool HasID(const VBRData& vbr, const char* signature) {
  return std::memcmp(vbr.ID, signature, SignatureLength) == 0;
}

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

// The tag readers go in the order they were made, ID3v1 first; left to the
// members, they would go in reverse order of declaration.
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
  Frame.VersionID = VersionReserved;
  Frame.SampleRateID = SampleRateReserved;
  Frame.ModeID = ModeNone;
  Frame.ModeExtensionID = ModeExtensionNone;
  Frame.EmphasisID = EmphasisReserved;
  ID3v1Tag->Clear();
  ID3v2Tag->Clear();
}

bool TMPEGaudio::LoadFromFile(const std::string& fileName) {
  TReadOnlyFile file(fileName);
  return LoadFromFile(file);
}

bool TMPEGaudio::LoadFromFile(TReadOnlyFile& file, TTagReading id3v2) {
  Clear();
  bool result = false;
  if (ID3v2Tag->LoadFromFile(file, id3v2) && ID3v1Tag->LoadFromFile(file)) result = ReadStream(file);
  if (!Frame.Found) Clear();
  return result;
}

// The block reads. Any failure ends them at once; what was found so far stays.
bool TMPEGaudio::ReadStream(TReadOnlyFile& file) {
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
    if (ID3v1Tag->Present) position -= static_cast<std::int64_t>(ID3v1TagLength);
    // A file shorter than a block puts this before its start: an error.
    if (!ReadBlock(file, position, block, count)) return false;
    VendorID = FindVendorID(block, std::int32_t{Frame.Size} * VendorSearchFrames);
  }
  return true;
}

std::int64_t TMPEGaudio::AudioSize() const {
  std::int64_t size = std::int64_t{FileLength} - ID3v2Tag->TagSize;
  if (ID3v1Tag->Present) size -= static_cast<std::int64_t>(ID3v1TagLength);
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
  if (VBR.Found && HasID(VBR, InfoSignature)) {
    // A constant-rate stream: its bytes at the byte rate the header gives, so
    // a copy cut short keeps the length of what it holds.
    if (VBR.Frames > 0 && VBR.Bytes > 0) {
      const double sampleRate = TableSampleRate(Frame);
      if (sampleRate == 0) return 0;
      const double audio = static_cast<double>(AudioSize() - Frame.Position);
      return ((audio * static_cast<double>(FrameCoefficient(Frame)) * 8.0) * static_cast<double>(VBR.Frames)) /
             (static_cast<double>(VBR.Bytes) * sampleRate);
    }
    return FirstFrameEstimate();
  }
  if (VBR.Found && VBR.Frames > 0) {
    const std::uint16_t sampleRate = TableSampleRate(Frame);
    if (sampleRate == 0) return 0;
    return static_cast<double>(FrameCoefficient(Frame)) * 8 * VBR.Frames / sampleRate;
  }
  return FirstFrameEstimate();
}

// The size of the audio at the first frame's bit rate (not the BitRate result).
double TMPEGaudio::FirstFrameEstimate() const {
  const std::uint16_t bitRate = TableBitRate(Frame);
  if (bitRate == 0) return 0;
  return (static_cast<double>(AudioSize() - Frame.Position) / bitRate / 1000) * 8;
}

std::uint8_t TMPEGaudio::EncoderID() const {
  if (!Frame.Found) return EncoderUnknown;
  return VBR.Found ? VBREncoderID() : CBREncoderID();
}

std::uint8_t TMPEGaudio::VBREncoderID() const {
  const std::string v4 = VBR.VendorID.substr(0, SignatureLength);
  std::uint8_t id = EncoderUnknown;
  if (v4 == LameSignature) id = EncoderLAME;
  if (v4 == GogoSignature) id = EncoderGoGo;
  if (v4 == MpgeSignature) id = EncoderGoGo;
  const bool xingLike = HasID(VBR, XingSignature) || HasID(VBR, InfoSignature);
  if (xingLike && v4 != LameSignature && v4 != GogoSignature &&
      v4 != MpgeSignature)
    id = EncoderXing;
  if (HasID(VBR, VBRISignature)) id = EncoderFhG;
  return id;
}

// Guesses from header flags that encoders set in their own ways; a later
// rule overrides an earlier one.
std::uint8_t TMPEGaudio::CBREncoderID() const {
  const std::string v4 = VendorID.substr(0, SignatureLength);
  std::uint8_t id = EncoderFhG;
  if (Frame.OriginalBit && Frame.ProtectionBit) id = EncoderLAME;
  if (TableBitRate(Frame) <= BladeMaxBitRate && Frame.ModeID == ModeStereo) id = EncoderBlade;
  if (Frame.CopyrightBit && Frame.OriginalBit && !Frame.ProtectionBit) id = EncoderXing;
  if (Frame.ZeroSideInfo && Frame.OriginalBit) id = EncoderXing;
  if (Frame.LayerID == LayerII) id = EncoderQDesign;
  if (Frame.ModeID == ModeDualChannel && Frame.ProtectionBit) id = EncoderShine;
  if (v4 == LameSignature) id = EncoderLAME;
  if (v4 == GogoSignature) id = EncoderGoGo;
  return id;
}

std::string TMPEGaudio::Encoder() const {
  const std::uint8_t id = EncoderID();
  std::string result = NameAt(EncoderNames, id);
  std::string vendor;
  if (!VBR.VendorID.empty()) vendor = VBR.VendorID;
  if (!VendorID.empty()) vendor = VendorID;
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  // "LAME3.90" gives "LAME 3.90": a digit, a dot and two digits.
  const std::size_t at = VendorVersionOffset;
  if (id == EncoderLAME && vendor.size() >= at + VendorVersionLength && isDigit(vendor[at]) && vendor[at + 1] == '.' &&
      isDigit(vendor[at + 2]) && isDigit(vendor[at + 3]))
    result.append(" ").append(vendor, at, VendorVersionLength);
  return result;
}

bool TMPEGaudio::Valid() const {
  const std::uint16_t bitRate = BitRate();
  return Frame.Found && bitRate >= MinValidBitRate && bitRate <= MaxValidBitRate && Duration() >= MinValidDuration;
}
