#pragma once

// MPEG audio frames as tests build them: a header, then zeros to the frame's
// length. Shared by the tests of the MPEG reader, the frame walk and the
// walk check.

#include "audio/MPEGaudio.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dztest {

// count frames of the header: each the header's four bytes, then zeros up to
// the frame length the header gives, or up to length when it is not 0 (a
// free-format header gives none, and a test may want another).
std::vector<std::uint8_t> MpegFrames(const THeaderBytes& header, int count, std::size_t length = 0);

}  // namespace dztest
