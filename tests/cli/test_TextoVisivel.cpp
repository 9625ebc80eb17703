#include "cli/TextoVisivel.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Reads an escaped text back: the escapes are reversible.
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
    } else texto += c;
  }
  return texto;
}

TEST(TextoVisivel, ControlBytesEscapedOthersUnchanged) {
  struct TCase {
    const char* what;
    std::string texto;
    std::string visivel;
  };
  const TCase cases[] = {
      {"a plain path", "/srv/musicas/faixa.mp3", "/srv/musicas/faixa.mp3"},
      {"empty", "", ""},
      {"tab, line feed, carriage return by name", "a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"escape and bell in hex, lower case", "\x1b[31m\x07", "\\x1b[31m\\x07"},
      {"NUL inside the text", std::string("a\0b", 3), "a\\x00b"},
      {"the last control byte below the blank", "\x1f", "\\x1f"},
      {"DEL", "\x7f", "\\x7f"},
      {"the blank and the tilde stay", " ~", " ~"},
      {"a backslash doubled", "C:\\Velmar\\faixa.mp3", "C:\\\\Velmar\\\\faixa.mp3"},
      {"an escape written out is not taken for one", "\\n", "\\\\n"},
      {"UTF-8 letters stay", "Canção", "Canção"},
      {"8-bit letters stay", "Can\xe7\xe3o", "Can\xe7\xe3o"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string visivel = TextoVisivel(c.texto);
    EXPECT_EQ(visivel, c.visivel);
    EXPECT_EQ(Desfaz(visivel), c.texto);
  }
}

// No byte that a terminal takes as a command, or a log as the end of a line, survives.
TEST(TextoVisivel, EveryByteValue) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const std::string texto(1, static_cast<char>(b));
    const std::string visivel = TextoVisivel(texto);
    for (const char c : visivel) {
      const auto u = static_cast<unsigned char>(c);
      EXPECT_TRUE(u >= 0x20 && u != 0x7f);
    }
    EXPECT_EQ(Desfaz(visivel), texto);
  }
}

}  // namespace
