#include "cli/TextoVisivel.h"

#include "catalogue/CharacterSets.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr int Iso8859_1 = 21;  // a one-byte set that is neither NONE nor WIN1252

// Reads an escaped text back: "\xHH" gives the byte, "\uHHHH" the character
// in UTF-8, the other escapes their control characters.
std::string Desfaz(const std::string& visivel) {
  std::string texto;
  for (std::size_t i = 0; i < visivel.size(); ++i) {
    if (visivel[i] != '\\' || i + 1 >= visivel.size()) {
      texto += visivel[i];
      continue;
    }
    const char c = visivel[++i];
    if (c == 'n') texto += '\n';
    else if (c == 't') texto += '\t';
    else if (c == 'r') texto += '\r';
    else if (c == 'x' && i + 2 < visivel.size()) {
      texto += static_cast<char>(std::stoi(visivel.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else if (c == 'u' && i + 4 < visivel.size()) {
      // C1 controls (two bytes) and bidirectional controls (three).
      const int code = std::stoi(visivel.substr(i + 1, 4), nullptr, 16);
      if (code < 0x800) {
        texto += static_cast<char>(0xC0 | (code >> 6));
      } else {
        texto += static_cast<char>(0xE0 | (code >> 12));
        texto += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      }
      texto += static_cast<char>(0x80 | (code & 0x3F));
      i += 4;
    } else texto += c;
  }
  return texto;
}

std::string Escape(const char* formato, unsigned valor) {
  char texto[16];
  std::snprintf(texto, sizeof texto, formato, valor);
  return texto;
}

// A C1 control (U+0080 to U+009F) in UTF-8.
std::string C1(unsigned code) { return {static_cast<char>(0xC2), static_cast<char>(code)}; }

struct TCase {
  const char* what;
  int set;
  std::string texto;
  std::string visivel;
};

TEST(TextoVisivel, Cases) {
  const TCase cases[] = {
      {"a plain path", CharacterSetUtf8, "/srv/musicas/faixa.mp3", "/srv/musicas/faixa.mp3"},
      {"empty", CharacterSetUtf8, "", ""},
      {"tab, line feed, carriage return by name", CharacterSetUtf8, "a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"escape and bell in hex, lower case", CharacterSetUtf8, "\x1b[31m\x07", "\\x1b[31m\\x07"},
      {"NUL inside the text", CharacterSetUtf8, std::string("a\0b", 3), "a\\x00b"},
      {"DEL", CharacterSetUtf8, "\x7f", "\\x7f"},
      {"the blank and the tilde stay", CharacterSetUtf8, " ~", " ~"},
      {"a backslash doubled", CharacterSetUtf8, "C:\\Velmar\\faixa.mp3", "C:\\\\Velmar\\\\faixa.mp3"},
      {"an escape written out is not taken for one", CharacterSetUtf8, "\\n", "\\\\n"},
      {"UTF-8 letters stay", CharacterSetUtf8, "Can\xC3\xA7\xC3\xA3o", "Can\xC3\xA7\xC3\xA3o"},
      {"3- and 4-byte characters stay", CharacterSetUtf8, "\xE2\x82\xAC \xF0\x9F\x8E\xB5", "\xE2\x82\xAC \xF0\x9F\x8E\xB5"},
      {"the last character stays", CharacterSetUtf8, "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"NEL, a C1 control", CharacterSetUtf8, "a" + C1(0x85) + "b", "a\\u0085b"},
      {"CSI, a terminal's escape introducer", CharacterSetUtf8, C1(0x9B) + "2J", "\\u009b2J"},
      {"the no-break space after the C1 controls stays", CharacterSetUtf8, "\xC2\xA0", "\xC2\xA0"},
      {"RIGHT-TO-LEFT OVERRIDE would reverse the rest of the line", CharacterSetUtf8,
       "faixa\xE2\x80\xAEpm3.wav", "faixa\\u202epm3.wav"},
      {"the first and last embedding controls", CharacterSetUtf8, "\xE2\x80\xAA\xE2\x80\xAE", "\\u202a\\u202e"},
      {"the isolates LRI to PDI", CharacterSetUtf8, "\xE2\x81\xA6" "a\xE2\x81\xA9", "\\u2066a\\u2069"},
      {"the neighbours of the bidirectional controls stay", CharacterSetUtf8,
       "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA", "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
      {"UNICODE_FSS read as UTF-8", CharacterSetUnicodeFss, "Can\xC3\xA7\xC3\xA3o" + C1(0x9B), "Can\xC3\xA7\xC3\xA3o\\u009b"},
      {"a lone continuation byte", CharacterSetUtf8, "a\x80z", "a\\x80z"},
      {"an overlong slash", CharacterSetUtf8, "\xC0\xAF", "\\xc0\\xaf"},
      {"an overlong 3-byte sequence", CharacterSetUtf8, "\xE0\x80\xAF", "\\xe0\\x80\\xaf"},
      {"a surrogate", CharacterSetUtf8, "\xED\xA0\x80", "\\xed\\xa0\\x80"},
      {"truncated at the end", CharacterSetUtf8, "Cora\xC3", "Cora\\xc3"},
      {"truncated 3-byte sequence at the end", CharacterSetUtf8, "\xE2\x82", "\\xe2\\x82"},
      {"truncated before an ASCII letter", CharacterSetUtf8, "\xC3o", "\\xc3o"},
      {"beyond U+10FFFF", CharacterSetUtf8, "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"a Windows-1252 name in a UTF8 column", CharacterSetUtf8, "Cora\xE7\xE3o.mp3", "Cora\\xe7\\xe3o.mp3"},

      {"NONE is read as Windows-1252", CharacterSetNone, "Cora\xE7\xE3o.mp3", "Cora\xC3\xA7\xC3\xA3o.mp3"},
      {"WIN1252", CharacterSetWin1252, "Cora\xE7\xE3o.mp3", "Cora\xC3\xA7\xC3\xA3o.mp3"},
      {"the euro sign and the last of 0x80..0x9F", CharacterSetWin1252, "\x80\x9F", "\xE2\x82\xAC\xC5\xB8"},
      {"no-break space and y with diaeresis", CharacterSetNone, "\xA0\xFF", "\xC2\xA0\xC3\xBF"},
      {"the five undefined bytes", CharacterSetWin1252, "\x81\x8D\x8F\x90\x9D", "\\x81\\x8d\\x8f\\x90\\x9d"},
      {"the same in NONE", CharacterSetNone, "a\x81z", "a\\x81z"},
      {"controls and backslash in Windows-1252", CharacterSetNone, "C:\\\x1b\n", "C:\\\\\\x1b\\n"},
      {"UTF-8 bytes in a Windows-1252 column are Windows-1252 letters", CharacterSetWin1252, "\xC3\xA7", "\xC3\x83\xC2\xA7"},

      {"another one-byte set: ASCII stays", Iso8859_1, "/m/a b.mp3", "/m/a b.mp3"},
      {"another one-byte set: other bytes in hex", Iso8859_1, "Cora\xE7\xE3o", "Cora\\xe7\\xe3o"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string visivel = TextoVisivel(c.texto, c.set);
    EXPECT_EQ(visivel, c.visivel);
    EXPECT_TRUE(dztest::WellFormedUtf8(visivel));
    if (c.set == CharacterSetUtf8) {
      EXPECT_EQ(Desfaz(visivel), c.texto);
    }
  }
}

// Every control character, C0, DEL and C1, in each way it can come: a C0 or
// DEL as its byte in any set, a C1 as UTF-8, and each Windows-1252 byte from
// 0x80 to 0x9F either a character that is no control or, undefined, in hex.
TEST(TextoVisivel, EveryControlCharacter) {
  for (unsigned code = 0; code <= 0x9F; ++code) {
    if (code >= 0x20 && code < 0x7F) continue;
    SCOPED_TRACE(code);
    if (code < 0x80) {
      const std::string named = code == '\t' ? "\\t" : code == '\n' ? "\\n" : code == '\r' ? "\\r" : Escape("\\x%02x", code);
      for (const int set : {CharacterSetUtf8, CharacterSetNone, CharacterSetWin1252, Iso8859_1}) {
        EXPECT_EQ(TextoVisivel(std::string(1, static_cast<char>(code)), set), named);
      }
      continue;
    }
    EXPECT_EQ(TextoVisivel(C1(code), CharacterSetUtf8), Escape("\\u%04x", code));
    const std::string doByte = TextoVisivel(std::string(1, static_cast<char>(code)), CharacterSetWin1252);
    const bool indefinido = code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D;
    if (indefinido) {
      EXPECT_EQ(doByte, Escape("\\x%02x", code));
    } else {
      EXPECT_TRUE(dztest::WellFormedUtf8(doByte));
      EXPECT_GE(doByte.size(), 2u);  // a character beyond U+00FF (U+0152 .. U+2122)
      EXPECT_NE(doByte, C1(code));
      EXPECT_EQ(doByte.find('\\'), std::string::npos);
    }
  }
}

// Whatever one byte a column holds, in whatever set, the result is UTF-8 that
// holds no control character, so no line of the log is broken or forged.
TEST(TextoVisivel, EveryByteValueInEverySet) {
  for (const int set : {CharacterSetUtf8, CharacterSetNone, CharacterSetWin1252, Iso8859_1}) {
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(std::to_string(set) + ": " + std::to_string(b));
      const std::string texto(1, static_cast<char>(b));
      const std::string visivel = TextoVisivel(texto, set);
      EXPECT_TRUE(dztest::WellFormedUtf8(visivel));
      for (std::size_t i = 0; i < visivel.size(); ++i) {
        const auto u = static_cast<unsigned char>(visivel[i]);
        EXPECT_TRUE(u >= 0x20 && u != 0x7f);
        EXPECT_FALSE(u == 0xC2 && i + 1 < visivel.size() && static_cast<unsigned char>(visivel[i + 1]) <= 0x9F);
      }
      if (set == CharacterSetUtf8) {
        EXPECT_EQ(Desfaz(visivel), texto);
      }
    }
  }
}

TEST(TextoVisivel, Utf8TextOfThisMachine) {
  EXPECT_EQ(TextoUtf8Visivel("/srv/m/Cora\xC3\xA7\xC3\xA3o.mp3"), "/srv/m/Cora\xC3\xA7\xC3\xA3o.mp3");
  EXPECT_EQ(TextoUtf8Visivel("/srv/m/Cora\xE7\xE3o.mp3\n"), "/srv/m/Cora\\xe7\\xe3o.mp3\\n");
}

// An error keeps its lines and its single backslashes; what is no UTF-8 and
// every other control is escaped.
TEST(TextoVisivel, ErrorText) {
  const TCase cases[] = {
      {"a client's error of several lines", 0, "I/O error\nError while trying to open file\nNo such file.",
       "I/O error\nError while trying to open file\nNo such file."},
      {"a Windows path stays as written", 0, "--mapear C:\\Musicas: falta", "--mapear C:\\Musicas: falta"},
      {"Portuguese text stays", 0, "n\xC3\xA3o \xC3\xA9 um caminho", "n\xC3\xA3o \xC3\xA9 um caminho"},
      {"a Windows-1252 path in hex", 0, "file \"C:\\M\xFAsica.fdb\"", "file \"C:\\M\\xfasica.fdb\""},
      {"controls escaped", 0, "a\x1b[2J\r" + C1(0x9B) + "\t", "a\\x1b[2J\\r\\u009b\\t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErroVisivel(c.texto), c.visivel);
  }
}

}  // namespace
