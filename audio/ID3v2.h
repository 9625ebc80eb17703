#pragma once

#include <cstdint>
#include <string>

class TReadOnlyFile;

// How much of an ID3v2 tag a reader takes in.
enum class TTagReading { Complete, HeaderOnly };

// Reader of the ID3v2 tag (versions 2.2, 2.3 and 2.4) at the start of a file,
// read in this tool's own small way: a plain walk over the frame headers, at
// most 500 content bytes kept per frame, 36 frame slots, a fixed rule per
// member. Texts are 8-bit text in the catalogue's code page.
class TID3v2 {
public:
  TID3v2() { Clear(); }

  bool Present;              // the file begins with "ID3"
  std::uint8_t TagVersion;   // the header's major version byte, whatever it is
  std::int32_t TagSize;      // bytes before the audio, header (and footer) included; 0 without a tag
  std::string Title;
  std::string Artist;
  std::string Album;
  std::uint16_t Track;
  std::string TrackText;
  std::string Year;
  std::string Genre;
  std::string Comment;
  std::string Composer;
  std::string EncodedBy;
  std::string Copyright;
  std::string Language;
  std::string UserLink;
  std::string FrameTRIT;
  std::string FrameTINT;
  std::string FrameTEXT;
  std::string FrameTEST;
  std::string FrameTIDM;
  std::string FrameTCAR;
  std::string FrameTVIN;
  std::string FrameTMXI;
  std::string FrameTMXF;
  std::string FrameTRFI;
  std::string FrameTRFF;
  std::string FrameTCAD;
  std::string FrameTSUC;
  std::string FrameTGRA;
  std::string FrameTVOC;
  std::string FrameTTPE;
  std::string FrameTPIN;
  std::string FrameTPFI;
  std::string FrameTPMI;
  std::uint8_t Rating;       // popularimeter rating, 0..255

  void Clear();
  // True when the first 10 bytes of the file could be read, tag or not.
  bool LoadFromFile(const std::string& fileName);
  // The same from a file the caller has opened; the complete parser that may
  // look for the rating reads through it too. Its position is left anywhere.
  // With TTagReading::HeaderOnly only Present, TagVersion and TagSize are
  // read (the other members stay cleared): all that the position of the
  // audio after the tag needs, at the cost of one small read.
  bool LoadFromFile(TReadOnlyFile& file, TTagReading reading = TTagReading::Complete);
};
