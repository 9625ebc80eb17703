#include "text/CodePage.h"

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

TEST(CodePage, Windows1252ToUnicodeAndUtf8) {
  struct TCase {
    const char* what;
    std::string text;
    std::string utf8;
  };
  const TCase cases[] = {
      {"ASCII stays", "Samba/aquarela.mp3", "Samba/aquarela.mp3"},
      {"Latin-1 letters", "Cora\xE7\xE3o", "Cora\xC3\xA7\xC3\xA3o"},
      {"euro sign", "\x80", "\xE2\x82\xAC"},
      {"S with caron", "\x8A", "\xC5\xA0"},
      {"a byte without character keeps its code", "\x81", "\xC2\x81"},
      {"y with diaeresis", "\xFF", "\xC3\xBF"},
      {"a zero byte", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text8BitToUtf8(c.text), c.utf8) << c.what;
    EXPECT_TRUE(IsUtf8(Text8BitToUtf8(c.text))) << c.what;
  }
  EXPECT_EQ(Char8BitToUnicode(0x93), U'\u201C');
  EXPECT_EQ(Char8BitToUnicode(0x9D), U'\u009D');
}

TEST(CodePage, Utf8Sequences) {
  struct TCase {
    const char* what;
    std::string text;
    bool valid;
  };
  const TCase cases[] = {
      {"empty", "", true},
      {"ASCII", "abc", true},
      {"two bytes", "\xC3\xA7", true},
      {"three bytes", "\xE2\x82\xAC", true},
      {"four bytes", "\xF0\x9F\x8E\xB5", true},
      {"the last character", "\xF4\x8F\xBF\xBF", true},
      {"Windows-1252 letters", "Cora\xE7\xE3o", false},
      {"a stray continuation byte", "\xA7", false},
      {"cut short", "\xE2\x82", false},
      {"overlong", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"a surrogate", "\xED\xA0\x80", false},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", false},
      {"a lead byte of five", "\xF8\x88\x80\x80\x80", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUtf8(c.text), c.valid) << c.what;

  const std::u32string characters = {U'a', U'\u00E7', U'\u20AC', U'\U0001F3B5', U'\U0010FFFF'};
  std::string utf8;
  for (const char32_t character : characters) AppendUtf8(utf8, character);
  std::u32string back;
  std::size_t pos = 0;
  char32_t character = 0;
  while (NextUtf8Character(utf8, pos, character)) back += character;
  EXPECT_EQ(pos, utf8.size());
  EXPECT_EQ(back, characters);
}

TEST(CodePage, FoldsTheWindows1252Letters) {
  struct TCase {
    const char* what;
    char32_t character;
    char32_t folded;
  };
  const TCase cases[] = {
      {"A", U'A', U'a'},
      {"Z", U'Z', U'z'},
      {"a stays", U'a', U'a'},
      {"@ is no letter", U'@', U'@'},
      {"[ is no letter", U'[', U'['},
      {"A grave", U'\u00C0', U'\u00E0'},
      {"C cedilla", U'\u00C7', U'\u00E7'},
      {"Thorn", U'\u00DE', U'\u00FE'},
      {"multiplication sign", U'\u00D7', U'\u00D7'},
      {"sharp s", U'\u00DF', U'\u00DF'},
      {"S caron", U'\u0160', U'\u0161'},
      {"OE", U'\u0152', U'\u0153'},
      {"Z caron", U'\u017D', U'\u017E'},
      {"Y diaeresis", U'\u0178', U'\u00FF'},
      {"Greek capital alpha is beyond the code page", U'\u0391', U'\u0391'},
  };
  for (const auto& c : cases) EXPECT_EQ(FoldCase1252(c.character), c.folded) << c.what;
}

}  // namespace
