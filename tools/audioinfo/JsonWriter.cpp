#include "tools/audioinfo/JsonWriter.h"

#include <cmath>
#include <cstdio>

void TJsonWriter::Name(std::string_view name) {
  if (needComma_) out_ += ',';
  if (!name.empty()) {
    Quoted(name);
    out_ += ':';
  }
  needComma_ = true;
}

void TJsonWriter::Character(char32_t code) {
  switch (code) {
    case '"': out_ += "\\\""; break;
    case '\\': out_ += "\\\\"; break;
    case '\n': out_ += "\\n"; break;
    case '\r': out_ += "\\r"; break;
    case '\t': out_ += "\\t"; break;
    default:
      if (code < 0x20 || code >= 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
        out_ += escaped;
      } else {
        out_ += static_cast<char>(code);
      }
  }
}

void TJsonWriter::Quoted(std::string_view bytes) {
  out_ += '"';
  for (const char c : bytes) Character(static_cast<unsigned char>(c));
  out_ += '"';
}

void TJsonWriter::QuotedUtf8(std::string_view text) {
  out_ += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The program's own texts: characters of two or three bytes at most.
    const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
    if (length == 0 || i + length > text.size()) {
      Character(0xFFFD);
      ++i;
      continue;
    }
    char32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1F) : (lead & 0x0F);
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    Character(code);
    i += length;
  }
  out_ += '"';
}

TJsonWriter& TJsonWriter::BeginObject(std::string_view name) {
  Name(name);
  out_ += '{';
  needComma_ = false;
  return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
  out_ += '}';
  needComma_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::Utf8Text(std::string_view name, std::string_view text) {
  Name(name);
  QuotedUtf8(text);
  return *this;
}

TJsonWriter& TJsonWriter::Text(std::string_view name, std::string_view bytes) {
  Name(name);
  Quoted(bytes);
  return *this;
}

TJsonWriter& TJsonWriter::Bool(std::string_view name, bool value) {
  Name(name);
  out_ += value ? "true" : "false";
  return *this;
}

TJsonWriter& TJsonWriter::Integer(std::string_view name, std::int64_t value) {
  Name(name);
  out_ += std::to_string(value);
  return *this;
}

TJsonWriter& TJsonWriter::Double(std::string_view name, double value) {
  if (!std::isfinite(value)) return Null(name);
  Name(name);
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  out_ += text;
  return *this;
}

TJsonWriter& TJsonWriter::Null(std::string_view name) {
  Name(name);
  out_ += "null";
  return *this;
}
