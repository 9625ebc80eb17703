#include "audio/CodePage.h"

#include <array>

namespace {

// Characters of the bytes 0x80..0x9F; 0 marks the five bytes that have none.
// Every other byte stands for the character with the same code.
constexpr std::array<std::uint16_t, 32> HighControlRange = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,
};

constexpr char Replacement = '?';

}  // namespace

char Utf16UnitTo8Bit(std::uint16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (std::size_t i = 0; i < HighControlRange.size(); ++i) {
    if (HighControlRange[i] != 0 && HighControlRange[i] == unit) return static_cast<char>(0x80 + i);
  }
  return Replacement;
}
