#include "catalogue/Config.h"

#include "catalogue/AsciiText.h"

#include <ini.h>

#include <charconv>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// The longest line the reader takes whole: a key, "=" and a value well beyond
// ConfigValueMaxLength. A longer line is split by the reader; its first part
// still carries the first ConfigValueMaxLength characters of the value.
constexpr int MaxLineLength = 8192;

// What a value handler tells the INI parser.
constexpr int IniHandlerOk = 1;
constexpr int IniHandlerError = 0;

// Debian's libinih takes its parse options as global variables (the upstream
// build fixes them at compile time, with lines of at most 200 bytes). This
// sets the ones the configuration needs for one parse and puts them back.
class TIniOptions {
public:
  TIniOptions()
      : maxLine_(ini_max_line), multiline_(ini_allow_multiline), inlineComments_(ini_allow_inline_comments) {
    ini_max_line = MaxLineLength;        // a stack buffer of this size (a variable-length array)
    ini_allow_multiline = false;         // an indented line is a line of its own
    ini_allow_inline_comments = false;   // ";" inside a value belongs to the value
  }
  ~TIniOptions() {
    ini_max_line = maxLine_;
    ini_allow_multiline = multiline_;
    ini_allow_inline_comments = inlineComments_;
  }
  TIniOptions(const TIniOptions&) = delete;
  TIniOptions& operator=(const TIniOptions&) = delete;

private:
  int maxLine_;
  bool multiline_;
  bool inlineComments_;
};

struct TLookup {
  const std::string& section;
  const std::string& key;
  std::string value;
  bool found = false;
};

int OnValue(void* user, const char* section, const char* name, const char* value) {
  auto& lookup = *static_cast<TLookup*>(user);
  if (!lookup.found && value != nullptr && SameAsciiText(section, lookup.section) && SameAsciiText(name, lookup.key)) {
    try {
      lookup.value = value;
      lookup.found = true;
    } catch (...) {  // nothing may be thrown through the C parser
      return IniHandlerError;
    }
  }
  return IniHandlerOk;  // go on: a malformed line further down must not hide the value
}

struct TSectionReader {
  const std::string& section;
  TIniEntries entries;
};

int OnSectionValue(void* user, const char* section, const char* name, const char* value) {
  auto& reader = *static_cast<TSectionReader*>(user);
  if (value == nullptr || !SameAsciiText(section, reader.section)) return IniHandlerOk;
  try {
    std::string text = value;
    if (text.size() > ConfigValueMaxLength) text.resize(ConfigValueMaxLength);
    reader.entries.emplace_back(name, std::move(text));
  } catch (...) {  // nothing may be thrown through the C parser
    return IniHandlerError;
  }
  return IniHandlerOk;
}

}  // namespace

std::string ReadIniValue(const std::string& fileName, const std::string& section, const std::string& key) {
  TLookup lookup{section, key, {}};
  {
    TIniOptions options;
    ini_parse(fileName.c_str(), OnValue, &lookup);  // a missing file leaves the value empty
  }
  if (lookup.value.size() > ConfigValueMaxLength) lookup.value.resize(ConfigValueMaxLength);
  return lookup.value;
}

// The name goes to the system as a C string, so a NUL byte in it would name
// another file.
bool ConfigFileExists(const std::string& fileName) {
  if (fileName.empty() || fileName.find('\0') != std::string::npos) return false;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(fileName, error);
  return !error && !std::filesystem::is_directory(status);
}

std::string ReadConfiguredDatabaseName(const std::string& fileName) {
  return ReadIniValue(fileName, ConfigSection, ConfigKey);
}

std::optional<int> ParseCallLimit(std::string_view text) {
  int seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || text.front() == '-' || text.front() == '+' || error != std::errc() ||
      end != text.data() + text.size() || seconds < CallLimitMinSeconds || seconds > CallLimitMaxSeconds) {
    return std::nullopt;
  }
  return seconds;
}

TIniEntries ReadIniSection(const std::string& fileName, const std::string& section) {
  TSectionReader reader{section, {}};
  TIniOptions options;
  ini_parse(fileName.c_str(), OnSectionValue, &reader);
  return reader.entries;
}
