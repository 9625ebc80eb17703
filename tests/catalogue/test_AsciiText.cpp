#include "catalogue/AsciiText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AsciiText, SameAsciiText) {
  using namespace std::string_literals;
  struct TCase {
    const char* what;
    std::string a, b;
    bool same;
  };
  const TCase cases[] = {
      {"equal", "MUS_TEMPO", "MUS_TEMPO", true},
      {"letters in other case", "Old_Vin_Codigo", "OLD_VIN_CODIGO", true},
      {"both empty", "", "", true},
      {"one empty", "", "A", false},
      {"a prefix is not the same", "BANCO", "BANCOS", false},
      {"other letter", "CAMINHO", "CAMINHA", false},
      // Pairs 32 apart that are not letters a to z.
      {"'@' and '`'", "@", "`", false},
      {"'[' and '{'", "[", "{", false},
      {"'^' and '~'", "^", "~", false},
      {"8-bit letters must be equal", "\xE7\xE3o", "\xC7\xC3O", false},
      {"8-bit letters equal", "\xE7\xE3o", "\xE7\xE3O", true},
      {"bytes after a NUL count", "A\0B"s, "A\0C"s, false},
      {"NULs in both", "a\0b"s, "A\0B"s, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameAsciiText(c.a, c.b), c.same) << c.what;
    EXPECT_EQ(SameAsciiText(c.b, c.a), c.same) << c.what << " (swapped)";
  }
}

TEST(AsciiText, AsciiUpperChangesOnlyAToZ) {
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    const char expected = code >= 'a' && code <= 'z' ? static_cast<char>(code - 32) : c;
    EXPECT_EQ(AsciiUpper(c), expected) << code;
  }
}

}  // namespace
