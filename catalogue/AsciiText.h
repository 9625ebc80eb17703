#pragma once

// Names in the catalogue layer (INI sections and keys, columns, statement
// parameters) match without regard to letter case, for the letters a to z
// only: the same answer under every locale and on every system. Other bytes,
// 8-bit letters included, must be equal.

#include <algorithm>
#include <string_view>

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr bool SameAsciiText(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}
