#include "catalogue/Config.h"

#include <ini.h>

#include <strings.h>
#include <utility>

namespace {

// The longest line the reader takes whole: a key, "=" and a value well beyond
// ConfigValueMaxLength. A longer line is split by the reader; its first part
// still carries the first ConfigValueMaxLength characters of the value.
constexpr int MaxLineLength = 8192;

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
  if (!lookup.found && value != nullptr && strcasecmp(section, lookup.section.c_str()) == 0 &&
      strcasecmp(name, lookup.key.c_str()) == 0) {
    try {
      lookup.value = value;
      lookup.found = true;
    } catch (...) {  // nothing may be thrown through the C parser
      return 0;
    }
  }
  return 1;  // go on: a malformed line further down must not hide the value
}

struct TSectionReader {
  const std::string& section;
  TIniEntries entries;
};

int OnSectionValue(void* user, const char* section, const char* name, const char* value) {
  auto& reader = *static_cast<TSectionReader*>(user);
  if (value == nullptr || strcasecmp(section, reader.section.c_str()) != 0) return 1;
  try {
    std::string text = value;
    if (text.size() > ConfigValueMaxLength) text.resize(ConfigValueMaxLength);
    reader.entries.emplace_back(name, std::move(text));
  } catch (...) {  // nothing may be thrown through the C parser
    return 0;
  }
  return 1;
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

std::string ReadConfiguredDatabaseName(const std::string& fileName) {
  return ReadIniValue(fileName, ConfigSection, ConfigKey);
}

TIniEntries ReadIniSection(const std::string& fileName, const std::string& section) {
  TSectionReader reader{section, {}};
  TIniOptions options;
  ini_parse(fileName.c_str(), OnSectionValue, &reader);
  return reader.entries;
}

std::string ReadConfiguredPathMapping(const std::string& fileName, TPathMapping& mapping) {
  const std::string error = AddSectionRules(mapping, ReadIniSection(fileName, PathSection));
  return error.empty() ? error : fileName + ": " + error;
}
