#pragma once

#include "audio/ID3v1.h"
#include "audio/ID3v2.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class TReadOnlyFile;

namespace MPEGFrame {

constexpr std::size_t FrameHeaderLength = 4;  // bytes of a frame header

// The codes of the header fields as the bits hold them. Each is also the index
// into its name table below.
enum TVersionCode : std::uint8_t {  // FrameData::VersionID
  VersionMPEG25 = 0,                // MPEG 2.5: half the sample rates of MPEG 2
  VersionReserved = 1,              // no version; also the cleared record's code
  VersionMPEG2 = 2,                 // ISO/IEC 13818-3, the lower sample rates
  VersionMPEG1 = 3,                 // ISO/IEC 11172-3
};
enum TLayerCode : std::uint8_t {  // FrameData::LayerID: the codes run backwards
  LayerReserved = 0,              // no layer; also the cleared record's code
  LayerIII = 1,
  LayerII = 2,
  LayerI = 3,
};
enum TChannelModeCode : std::uint8_t {  // FrameData::ModeID
  ModeStereo = 0,
  ModeJointStereo = 1,
  ModeDualChannel = 2,                  // two independent mono channels
  ModeMono = 3,
  ModeNone = 4,                         // not a header code: the cleared record's
};
enum TEmphasisCode : std::uint8_t {  // FrameData::EmphasisID
  EmphasisNone = 0,
  Emphasis50_15 = 1,                 // 50/15 microseconds
  EmphasisReserved = 2,              // no emphasis code; also the cleared record's
  EmphasisCCITTJ17 = 3,
};
constexpr std::uint16_t BitRateFree = 0;         // BitRateID of a free-format stream
constexpr std::uint16_t BitRateBad = 15;         // BitRateID that no stream may use
constexpr std::uint16_t SampleRateReserved = 3;  // SampleRateID; also the cleared record's
constexpr std::uint8_t ModeExtensionNone = 4;    // not a header code: the cleared record's ModeExtensionID

}  // namespace MPEGFrame

// The four bytes of an MPEG audio frame header, in file order.
using THeaderBytes = std::array<std::uint8_t, MPEGFrame::FrameHeaderLength>;

// The first frame of an MPEG audio stream: where it was found and its decoded
// header. MPEG 1 follows ISO/IEC 11172-3, MPEG 2 the lower sample rates of
// ISO/IEC 13818-3, and MPEG 2.5 (version code 0) halves the rates of MPEG 2.
struct FrameData {
  bool Found = false;               // a frame was found by the search
  std::int32_t Position = 0;        // bytes from the start of the block it was found in
  std::uint16_t Size = 0;           // frame length in bytes, header included
  bool ZeroSideInfo = false;        // the six bytes after the header are all zero
  THeaderBytes Data{};              // the raw header bytes
  std::uint8_t VersionID = 0;       // a TVersionCode: MPEG 2.5, reserved, MPEG 2, MPEG 1
  std::uint8_t LayerID = 0;         // a TLayerCode: reserved, Layer III, Layer II, Layer I
  bool ProtectionBit = false;       // a 16-bit CRC follows the header (the bit is stored inverted)
  std::uint16_t BitRateID = 0;      // 0..15, index into BitRates
  std::uint16_t SampleRateID = 0;   // 0..3, index into SampleRates (SampleRateReserved = 3)
  bool PaddingBit = false;          // the frame carries one padding slot
  bool PrivateBit = false;
  std::uint8_t ModeID = 0;          // a TChannelModeCode: stereo, joint, dual channel, mono; ModeNone
  std::uint8_t ModeExtensionID = 0; // as stored; ModeExtensionNone when cleared
  bool CopyrightBit = false;
  bool OriginalBit = false;
  std::uint8_t EmphasisID = 0;      // a TEmphasisCode: none, 50/15 us, reserved, CCITT J.17
};

// The Xing, Info or VBRI header inside the first frame of a stream. "Info" is
// the constant bit-rate form of "Xing", with the same layout.
struct VBRData {
  bool Found = false;         // a Xing, Info or VBRI header was found
  char ID[4] = {};            // "Xing", "Info" or "VBRI"; four zero bytes when none was found
  std::int32_t Frames = 0;    // number of frames, from the header
  std::int32_t Bytes = 0;     // number of bytes, from the header
  std::uint8_t Scale = 0;     // quality byte
  std::string VendorID;       // Xing and Info only: the 8 bytes after the header as they stand (e.g. "LAME3.90")
};

// Header arithmetic, tables and the searches over a read block. Pure
// functions: nothing here touches a file, and nothing reads outside the block
// it is given (a header that would lie past the block's end is no header).
namespace MPEGFrame {

using TBlock = std::span<const std::uint8_t>;

constexpr std::size_t ScanBlockSize = 3458;   // bytes read at a time
constexpr std::size_t MaxFrameLength = 1729;  // longest frame the search allows for: half a block

// Encoders that EncoderID tells apart, each the index of its name in EncoderNames.
enum TEncoderCode : std::uint8_t {
  EncoderUnknown = 0,  // no frame found
  EncoderXing = 1,
  EncoderFhG = 2,      // Fraunhofer: the VBRI header, or no rule matched
  EncoderLAME = 3,
  EncoderBlade = 4,
  EncoderGoGo = 5,
  EncoderShine = 6,
  EncoderQDesign = 7,
};

// kbit/s by [VersionID][LayerID][BitRateID]; 0 for free format, bad and reserved codes.
extern const std::array<std::array<std::array<std::uint16_t, 16>, 4>, 4> BitRates;
// Hz by [VersionID][SampleRateID]; 0 for reserved codes.
extern const std::array<std::array<std::uint16_t, 4>, 4> SampleRates;

extern const std::array<const char*, 4> VersionNames;   // by VersionID
extern const std::array<const char*, 4> LayerNames;     // by LayerID
extern const std::array<const char*, 5> ModeNames;      // by ModeID, ModeNone included
extern const std::array<const char*, 4> EmphasisNames;  // by EmphasisID
extern const std::array<const char*, 8> EncoderNames;   // by TEncoderCode

// True when the four bytes are a frame header this reader accepts: sync, no
// reserved version, layer, sample rate or emphasis, and a bit rate from the
// table (free-format streams are never recognised).
bool IsFrameHeader(const THeaderBytes& header);
// Copies the bytes into frame.Data and sets VersionID..EmphasisID; Found,
// Position, Size and ZeroSideInfo stay as they were.
void DecodeHeader(const THeaderBytes& header, FrameData& frame);
// IsFrameHeader of the four bytes at index; false when they are not all in the block.
bool IsFrameAt(TBlock block, std::size_t index);
// The six bytes at index are all zero; false when they are not all in the block.
bool HasZeroSideInfo(TBlock block, std::size_t index);

std::uint8_t FrameCoefficient(const FrameData& frame);  // samples per frame / 8
std::uint16_t TableBitRate(const FrameData& frame);     // kbit/s
std::uint16_t TableSampleRate(const FrameData& frame);  // Hz
std::uint8_t PaddingSize(const FrameData& frame);       // bytes of the padding slot
// Frame length in bytes, header included; 0 when the sample rate is unknown.
std::uint16_t FrameLength(const FrameData& frame);
// Bytes from the first header byte to where a Xing or VBRI header is looked for.
std::uint8_t VBRHeaderOffset(const FrameData& frame);

// The first frame in the block: a header at a position 0..size - MaxFrameLength
// followed exactly one frame length later by another header. When one is
// found, vbr is replaced by what FindVBRHeader finds inside it.
FrameData FindFrame(TBlock block, VBRData& vbr);
// A Xing, Info or VBRI header at index (case-sensitive signatures), or an all-zero record.
VBRData FindVBRHeader(TBlock block, std::size_t index);
// "LAME" with the 4 bytes after it, or "GOGO", searched from the end of the
// block toward its start over limit + 1 positions; empty when neither is there.
std::string FindVendorID(TBlock block, std::int32_t limit);

}  // namespace MPEGFrame

// Reader of an MPEG audio file: skips the ID3v2 tag, finds the first frame,
// reads a Xing, Info or VBRI header, and estimates the play length, reading at most
// three blocks of the stream whatever the file's size.
class TMPEGaudio {
public:
  TMPEGaudio();
  virtual ~TMPEGaudio();
  TMPEGaudio(const TMPEGaudio&) = delete;
  TMPEGaudio& operator=(const TMPEGaudio&) = delete;

  std::int32_t FileLength;   // bytes, tags included
  std::string VendorID;      // "LAME" + 4 characters or "GOGO" near the end of a stream without VBR header
  VBRData VBR;
  FrameData Frame;
  std::unique_ptr<TID3v1> ID3v1Tag;
  std::unique_ptr<TID3v2> ID3v2Tag;

  void Clear();
  // True when the file was read to the end of the analysis; ask Valid whether
  // it holds MPEG audio. Files of 2 GiB or more are refused (false, cleared).
  bool LoadFromFile(const std::string& fileName);
  // The same from a file the caller has opened: the tag readers and the
  // block reads all use it, so one measurement opens the file once. Its
  // position is left anywhere. With TTagReading::HeaderOnly the ID3v2 reader
  // takes only the tag's header (ID3v2.h): every member of this reader comes
  // out the same, its ID3v2Tag then holds only presence, version and size.
  bool LoadFromFile(TReadOnlyFile& file, TTagReading id3v2 = TTagReading::Complete);

  std::string Version() const;
  std::string Layer() const;
  std::string ChannelMode() const;
  std::string Emphasis() const;
  std::uint16_t BitRate() const;      // kbit/s; the average of a VBR header when there is one
  std::uint16_t SampleRate() const;   // Hz
  std::int32_t Frames() const;        // 0 without a frame length to count by
  double Duration() const;            // seconds
  std::uint8_t EncoderID() const;     // an MPEGFrame::TEncoderCode
  std::string Encoder() const;
  bool Valid() const;

private:
  bool ReadStream(TReadOnlyFile& file);
  std::int64_t AudioSize() const;
  double FirstFrameEstimate() const;
  std::uint8_t VBREncoderID() const;
  std::uint8_t CBREncoderID() const;
};
