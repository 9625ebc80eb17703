#include "tests/support/MpegFrames.h"

#include "tests/support/TestSupport.h"

namespace dztest {

std::vector<std::uint8_t> MpegFrames(const THeaderBytes& header, int count, std::size_t length) {
  if (length == 0) {
    FrameData frame{};
    MPEGFrame::DecodeHeader(header, frame);
    length = MPEGFrame::FrameLength(frame);
  }
  TBytes bytes;
  for (int i = 0; i < count; ++i)
    bytes.U8s({header[0], header[1], header[2], header[3]}).PadTo(static_cast<std::size_t>(i + 1) * length);
  return bytes;
}

}  // namespace dztest
