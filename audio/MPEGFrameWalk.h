#pragma once

#include <cstdint>
#include <string>

class TMPEGaudio;
class TReadOnlyFile;

// Follows the frame headers of an MPEG audio stream from its first frame to
// the end of the audio, to check the length that the MPEG reader estimates
// from the frame it finds and its Xing or VBRI header. Two kinds of file make
// that estimate wrong: a truncated copy whose VBR header still announces the
// whole track, and a VBR stream without a VBR header.
//
// The stream's first frame is the first of four frames back to back (the same
// version, layer and sample rate; fewer when they end the audio) from the end
// of the ID3v2 tag on, whichever frame the reader's search chose: junk in
// front of the audio may hide the first frames from that search, or hold a
// sync word that it takes for a frame. Only a file in which the reader's frame
// is found is walked; without such a chain the walk starts at that frame.
//
// The file is read once, front to back, in large blocks into one buffer of a
// fixed size, whatever the file's size. Nothing throws. A file that shrinks
// while it is read ends the walk where its bytes end; bytes beyond the size
// it had when it was opened are not read.
class TMPEGFrameWalk {
public:
  TMPEGFrameWalk() { Clear(); }

  bool Walked;                  // a first frame was found and the stream followed from it
  std::int64_t StreamStart;     // file offset of the stream's first frame
  std::int64_t StreamEnd;       // file offset just after the last whole frame
  std::int64_t AudioEnd;        // the file's end less the tags behind the audio (ID3v1, APE, Lyrics3)
  std::uint32_t SampleRate;     // Hz, of the first frame; every frame walked has it
  std::int64_t Frames;          // whole audio frames walked: a frame that holds a VBR header is none
  std::int64_t Bytes;           // bytes of those frames
  std::int64_t Samples;         // samples per channel in those frames
  std::int64_t HeaderFrames;    // frames announced by a Xing, Info or VBRI header; -1 without one
  std::int32_t Resyncs;         // damaged places passed by searching for the next frame
  std::int64_t SkippedBytes;    // bytes passed over there, and ID3v2 tags inside the stream
  bool LastFrameCut;            // the last frame runs past the end of the audio
  bool BitRateChanges;          // not every audio frame has the bit rate of the first

  void Clear();
  // Runs the MPEG reader on the file, then walks the stream in which it
  // found a frame, with one open for both. True when a stream was walked (Walked); a
  // file in which the reader finds no frame, a free-format stream among them,
  // gives false.
  bool LoadFromFile(const std::string& fileName);
  // The same with a reader already loaded from this file.
  bool LoadFromFile(const std::string& fileName, const TMPEGaudio& mpeg);
  // The same from a file the caller has opened (the one the reader was loaded from).
  bool LoadFromFile(TReadOnlyFile& file, const TMPEGaudio& mpeg);

  // Seconds of audio walked (frames that hold a VBR header not counted).
  double Duration() const;
  // The file ends inside a frame, or the VBR header announces more than 1 %
  // frames more than the walk found.
  bool Truncated() const;
  // Bytes between the last whole frame and the end of the audio that are no frame.
  std::int64_t TrailingBytes() const { return Walked && AudioEnd > StreamEnd ? AudioEnd - StreamEnd : 0; }
};
