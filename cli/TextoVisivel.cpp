#include "cli/TextoVisivel.h"

namespace {

constexpr unsigned char PrimeiroImprimivel = 0x20;
constexpr unsigned char Apagar = 0x7F;  // DEL, a control byte too

}  // namespace

std::string TextoVisivel(std::string_view texto) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string visivel;
  visivel.reserve(texto.size());
  for (const char c : texto) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': visivel += "\\\\"; continue;
      case '\t': visivel += "\\t"; continue;
      case '\n': visivel += "\\n"; continue;
      case '\r': visivel += "\\r"; continue;
      default: break;
    }
    if (byte < PrimeiroImprimivel || byte == Apagar) {
      visivel += "\\x";
      visivel += Hex[byte >> 4];
      visivel += Hex[byte & 0x0F];
    } else {
      visivel += c;
    }
  }
  return visivel;
}
