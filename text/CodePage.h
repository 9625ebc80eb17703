#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Texts of the readers are 8-bit text in the catalogue's code page,
// Windows-1252. This is the one place that knows that code page.

// The Windows-1252 byte for one UTF-16 unit, or '?' when the code page has no
// such character (this includes lone surrogates: units are converted one by one).
char Utf16UnitTo8Bit(std::uint16_t unit);

// The character (Unicode code point) of one Windows-1252 byte. The five bytes
// that have none (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control
// character with the same code, as Windows converts them.
char32_t Char8BitToUnicode(unsigned char byte);

// Windows-1252 text as UTF-8: the names a Linux share shows for files that a
// Windows program named in this code page.
std::string Text8BitToUtf8(std::string_view text);

// Reads the UTF-8 sequence at pos into character and moves pos past it; false
// (pos unchanged) when no well-formed sequence starts there: a stray
// continuation byte, a truncated or overlong sequence, a surrogate, or a value
// beyond U+10FFFF.
bool NextUtf8Character(std::string_view text, std::size_t& pos, char32_t& character);
bool IsUtf8(std::string_view text);
void AppendUtf8(std::string& text, char32_t character);

// The lower-case form of a character for comparing names without regard to
// letter case as Windows does for this code page: ASCII A to Z and the
// Windows-1252 capitals (À to Þ but ×, Š, Œ, Ž, Ÿ). Every other character is
// its own lower case.
char32_t FoldCase1252(char32_t character);
