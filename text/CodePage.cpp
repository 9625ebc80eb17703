#include "text/CodePage.h"

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

char32_t Char8BitToUnicode(unsigned char byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const std::uint16_t character = HighControlRange[byte - 0x80];
  return character != 0 ? character : byte;
}

std::string Text8BitToUtf8(std::string_view text) {
  std::string utf8;
  utf8.reserve(text.size() + text.size() / 2);
  for (const char byte : text) AppendUtf8(utf8, Char8BitToUnicode(static_cast<unsigned char>(byte)));
  return utf8;
}

bool NextUtf8Character(std::string_view text, std::size_t& pos, char32_t& character) {
  if (pos >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t smallest = 0;  // below it the sequence is overlong
  if (lead < 0x80) {
    character = lead;
    ++pos;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, smallest = 0x10000;
  } else {
    return false;  // a continuation byte, or a lead byte no character has
  }
  if (text.size() - pos < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  character = value;
  pos += length;
  return true;
}

bool IsUtf8(std::string_view text) {
  std::size_t pos = 0;
  char32_t character = 0;
  while (pos < text.size()) {
    if (!NextUtf8Character(text, pos, character)) return false;
  }
  return true;
}

void AppendUtf8(std::string& text, char32_t character) {
  const auto byte = [&](char32_t bits) { text += static_cast<char>(bits); };
  if (character < 0x80) {
    byte(character);
  } else if (character < 0x800) {
    byte(0xC0 | (character >> 6));
    byte(0x80 | (character & 0x3F));
  } else if (character < 0x10000) {
    byte(0xE0 | (character >> 12));
    byte(0x80 | ((character >> 6) & 0x3F));
    byte(0x80 | (character & 0x3F));
  } else {
    byte(0xF0 | ((character >> 18) & 0x07));
    byte(0x80 | ((character >> 12) & 0x3F));
    byte(0x80 | ((character >> 6) & 0x3F));
    byte(0x80 | (character & 0x3F));
  }
}

char32_t FoldCase1252(char32_t character) {
  constexpr char32_t MultiplicationSign = 0xD7;
  if ((character >= 'A' && character <= 'Z') ||
      (character >= 0xC0 && character <= 0xDE && character != MultiplicationSign)) {
    return character + 0x20;
  }
  switch (character) {
    case 0x0160: return 0x0161;  // Š
    case 0x0152: return 0x0153;  // Œ
    case 0x017D: return 0x017E;  // Ž
    case 0x0178: return 0x00FF;  // Ÿ
    default: return character;
  }
}
