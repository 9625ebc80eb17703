#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Writes one JSON object on one line. Texts are the readers' 8-bit text: each
// byte is written as the character with the same code (0-255), so the exact
// bytes can be recovered from the output; the output itself is plain ASCII.
class TJsonWriter {
public:
  TJsonWriter& BeginObject(std::string_view name = {});
  TJsonWriter& EndObject();
  TJsonWriter& Text(std::string_view name, std::string_view bytes);
  // A text of the program's own, in UTF-8: each character as itself (ASCII)
  // or as its \u code.
  TJsonWriter& Utf8Text(std::string_view name, std::string_view text);
  TJsonWriter& Bool(std::string_view name, bool value);
  TJsonWriter& Integer(std::string_view name, std::int64_t value);
  // 17 significant digits, enough to give back the same double; null when not finite.
  TJsonWriter& Double(std::string_view name, double value);
  TJsonWriter& Null(std::string_view name);

  const std::string& Result() const { return out_; }

private:
  void Name(std::string_view name);
  void Quoted(std::string_view bytes);
  void QuotedUtf8(std::string_view text);
  void Character(char32_t code);

  std::string out_;
  bool needComma_ = false;
};
