#include "audio/CodePage.h"

#include <gtest/gtest.h>

namespace {

struct TUnitCase {
  const char* what;
  std::uint16_t unit;
  unsigned char expected;
};

TEST(CodePage, ConvertsOneUnitToWindows1252) {
  const TUnitCase cases[] = {
      {"ASCII letter", 'A', 'A'},
      {"zero", 0x0000, 0x00},
      {"Latin-1 letter keeps its code", 0x00E7, 0xE7},
      {"no-break space", 0x00A0, 0xA0},
      {"last Latin-1 letter", 0x00FF, 0xFF},
      {"euro sign lives at 0x80", 0x20AC, 0x80},
      {"left double quote", 0x201C, 0x93},
      {"S with caron", 0x0160, 0x8A},
      {"Y with diaeresis", 0x0178, 0x9F},
      {"C1 control 0x81 has no character", 0x0081, '?'},
      {"C1 control 0x80 is not the euro sign", 0x0080, '?'},
      {"Greek alpha is missing", 0x03B1, '?'},
      {"CJK ideograph is missing", 0x4E2D, '?'},
      {"lone high surrogate", 0xD83D, '?'},
      {"replacement character", 0xFFFD, '?'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<unsigned char>(Utf16UnitTo8Bit(c.unit)), c.expected) << c.what;
  }
}

}  // namespace
