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

void TJsonWriter::Quoted(std::string_view bytes) {
  out_ += '"';
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    switch (code) {
      case '"': out_ += "\\\""; break;
      case '\\': out_ += "\\\\"; break;
      case '\n': out_ += "\\n"; break;
      case '\r': out_ += "\\r"; break;
      case '\t': out_ += "\\t"; break;
      default:
        if (code < 0x20 || code >= 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
          out_ += escaped;
        } else {
          out_ += c;
        }
    }
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
