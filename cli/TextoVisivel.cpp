#include "cli/TextoVisivel.h"

#include "text/CodePage.h"
#include "catalogue/CharacterSets.h"

namespace {

constexpr char32_t PrimeiroImprimivel = 0x20;
constexpr char32_t Apagar = 0x7F;  // DEL, a control character too
constexpr char32_t PrimeiroC1 = 0x80;
constexpr char32_t UltimoC1 = 0x9F;
// The bidirectional embeddings and overrides (LRE, RLE, PDF, LRO, RLO) and
// isolates (LRI, RLI, FSI, PDI): a terminal would show the rest of the line
// reversed.
constexpr char32_t PrimeiraEmbutidaBidi = 0x202A;
constexpr char32_t UltimaEmbutidaBidi = 0x202E;
constexpr char32_t PrimeiroIsoladoBidi = 0x2066;
constexpr char32_t UltimoIsoladoBidi = 0x2069;

bool ControleBidi(char32_t c) {
  return (c >= PrimeiraEmbutidaBidi && c <= UltimaEmbutidaBidi) || (c >= PrimeiroIsoladoBidi && c <= UltimoIsoladoBidi);
}

enum class TLeitura { Utf8, Windows1252, Ascii };

// What the texts are escaped for.
enum class TUso {
  Linha,  // one line of the log, read back exactly
  Erro,   // an error of one or more lines, read by a person
};

TLeitura LeituraDe(int conjuntoCaracteres) {
  switch (conjuntoCaracteres) {
    case CharacterSetUtf8:
    case CharacterSetUnicodeFss: return TLeitura::Utf8;
    case CharacterSetNone:
    case CharacterSetWin1252: return TLeitura::Windows1252;
    default: return TLeitura::Ascii;
  }
}

// The five bytes Windows-1252 has no character for; the code page's
// conversion gives each the C1 control of its own code.
bool IndefinidoEm1252(unsigned char byte) {
  return byte >= PrimeiroC1 && byte <= UltimoC1 && Char8BitToUnicode(byte) == byte;
}

void AcrescentaHex(std::string& visivel, const char* prefixo, unsigned valor, int digitos) {
  static constexpr char Hex[] = "0123456789abcdef";
  visivel += prefixo;
  for (int digito = digitos - 1; digito >= 0; --digito) visivel += Hex[(valor >> (4 * digito)) & 0x0F];
}

void AcrescentaCaractere(std::string& visivel, char32_t c, TUso uso) {
  switch (c) {
    case '\\': visivel += uso == TUso::Linha ? "\\\\" : "\\"; return;
    case '\t': visivel += "\\t"; return;
    case '\n': visivel += uso == TUso::Linha ? "\\n" : "\n"; return;
    case '\r': visivel += "\\r"; return;
    default: break;
  }
  if (c < PrimeiroImprimivel || c == Apagar) {
    AcrescentaHex(visivel, "\\x", static_cast<unsigned>(c), 2);
  } else if ((c >= PrimeiroC1 && c <= UltimoC1) || ControleBidi(c)) {
    AcrescentaHex(visivel, "\\u", static_cast<unsigned>(c), 4);
  } else {
    AppendUtf8(visivel, c);
  }
}

std::string Visivel(std::string_view texto, TLeitura leitura, TUso uso) {
  std::string visivel;
  visivel.reserve(texto.size());
  std::size_t pos = 0;
  while (pos < texto.size()) {
    const auto byte = static_cast<unsigned char>(texto[pos]);
    char32_t c = byte;
    if (byte < PrimeiroC1) {
      ++pos;
    } else if (leitura == TLeitura::Utf8 && NextUtf8Character(texto, pos, c)) {
      // pos is past the sequence
    } else if (leitura == TLeitura::Windows1252 && !IndefinidoEm1252(byte)) {
      c = Char8BitToUnicode(byte);
      ++pos;
    } else {
      AcrescentaHex(visivel, "\\x", byte, 2);
      ++pos;
      continue;
    }
    AcrescentaCaractere(visivel, c, uso);
  }
  return visivel;
}

}  // namespace

std::string TextoVisivel(std::string_view texto, int conjuntoCaracteres) {
  return Visivel(texto, LeituraDe(conjuntoCaracteres), TUso::Linha);
}

std::string TextoUtf8Visivel(std::string_view texto) { return Visivel(texto, TLeitura::Utf8, TUso::Linha); }

std::string ErroVisivel(std::string_view texto) { return Visivel(texto, TLeitura::Utf8, TUso::Erro); }
