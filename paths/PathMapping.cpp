#include "paths/PathMapping.h"

#include "text/CodePage.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace {

bool IsSeparator(char32_t character) { return character == '\\' || character == '/'; }

// The next character of a path: a UTF-8 sequence when the whole path is UTF-8,
// else one Windows-1252 byte.
char32_t NextCharacter(std::string_view text, bool isUtf8, std::size_t& pos) {
  char32_t character = 0;
  if (isUtf8 && NextUtf8Character(text, pos, character)) return character;
  return Char8BitToUnicode(static_cast<unsigned char>(text[pos++]));
}

// The form in which a Windows side is compared.
std::u32string ComparisonKey(std::string_view text) {
  const bool isUtf8 = IsUtf8(text);
  std::u32string key;
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t character = NextCharacter(text, isUtf8, pos);
    key += IsSeparator(character) ? U'/' : FoldCase1252(character);
  }
  return key;
}

// Key names of [CAMINHOS] compare without regard to ASCII letter case.
bool StartsWithName(std::string_view key, std::string_view prefix) {
  if (key.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = key[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

// The n of "DEn" / "PARAn": 1 or more, decimal, no sign, no leading zero.
std::optional<unsigned> RuleNumber(std::string_view digits) {
  if (digits.empty() || digits.front() == '0') return std::nullopt;
  unsigned number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return number;
}

// Whether a segment of the path is "." or "..": only then is there anything
// to resolve. Reads the path in place: most paths have none.
bool HasDotSegment(std::string_view path) {
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    start = end + 1;
  }
  return false;
}

// The path with its "." and ".." segments resolved by name, as Windows does
// before it looks anything up: "." goes, ".." takes the segment before it
// away, empty segments go with them, and nothing climbs above the root (the
// drive "C:", the share "\\servidor\pasta", or the first separator). A path
// without such segments comes back exactly as it is.
std::string ResolvedDots(std::string_view path) {
  if (!HasDotSegment(path)) return std::string(path);
  std::vector<std::string_view> segments;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    segments.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  std::size_t root = 0;
  if (segments.size() >= 2 && segments[0].empty() && segments[1].empty()) {
    root = std::min<std::size_t>(4, segments.size());  // "", "", server, share
  } else if (!segments[0].empty() && segments[0].back() == ':') {
    root = 1;  // the drive
  } else if (segments[0].empty()) {
    root = 1;  // the root folder of the current drive
  }
  std::vector<std::string_view> kept(segments.begin(), segments.begin() + static_cast<std::ptrdiff_t>(root));
  for (std::size_t i = root; i < segments.size(); ++i) {
    const std::string_view segment = segments[i];
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (kept.size() > root) kept.pop_back();
      continue;
    }
    kept.push_back(segment);
  }
  std::string resolved;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) resolved += '\\';
    resolved += kept[i];
  }
  // The root folder and a folder named with its final separator keep it.
  if (kept.size() <= 1 || segments.back().empty() || segments.back() == "." || segments.back() == "..")
    if (resolved.empty() || resolved.back() != '\\') resolved += '\\';
  return resolved;
}

}  // namespace

std::string TPathMapping::Add(std::string_view from, std::string_view to, std::string_view fromName,
                              std::string_view toName) {
  if (from.empty()) return std::string(fromName) + " vazio";
  if (to.empty()) return std::string(toName) + " vazio";
  if (to.front() != '/') return std::string(toName) + " não é um caminho absoluto: " + std::string(to);
  TRule rule{ComparisonKey(from), false, std::string(to)};
  rule.endsWithSeparator = rule.key.back() == U'/';
  rules_.push_back(std::move(rule));
  return {};
}

std::size_t TPathMapping::MatchLength(const TRule& rule, std::string_view path, bool pathIsUtf8) {
  std::size_t pos = 0;
  for (const char32_t wanted : rule.key) {
    if (pos >= path.size()) return std::string_view::npos;
    const char32_t character = NextCharacter(path, pathIsUtf8, pos);
    if ((IsSeparator(character) ? U'/' : FoldCase1252(character)) != wanted) return std::string_view::npos;
  }
  // Only whole folder names: "C:\Musicas" is no prefix of "C:\MusicasNovas".
  if (!rule.endsWithSeparator && pos < path.size() && !IsSeparator(static_cast<unsigned char>(path[pos])))
    return std::string_view::npos;
  return pos;
}

const TPathMapping::TRule* TPathMapping::BestRule(std::string_view path, std::size_t& length) const {
  const bool pathIsUtf8 = IsUtf8(path);
  const TRule* best = nullptr;
  for (const TRule& rule : rules_) {
    if (best != nullptr && rule.key.size() <= best->key.size()) continue;
    const std::size_t matched = MatchLength(rule, path, pathIsUtf8);
    if (matched == std::string_view::npos) continue;
    best = &rule;
    length = matched;
  }
  return best;
}

TTranslatedPath TPathMapping::Translate(std::string_view path) const {
  std::size_t length = 0;
  const TRule* rule = BestRule(path, length);
  if (rule == nullptr) return {std::string(path), 0, false};
  // Most paths have no "." or ".." segment: nothing to resolve, nothing copied.
  if (!HasDotSegment(path)) return TranslateRest(*rule, path.substr(length));
  const std::string resolved = ResolvedDots(path);
  if (resolved == path) return TranslateRest(*rule, path.substr(length));
  // The rule the path names must still hold it once resolved: a ".." may
  // not lead out of the folder that rule maps.
  if (MatchLength(*rule, resolved, IsUtf8(resolved)) == std::string_view::npos) {
    TTranslatedPath outside = TranslateRest(*rule, path.substr(length));
    outside.Outside = true;
    return outside;
  }
  const TRule* inside = BestRule(resolved, length);
  return TranslateRest(*inside, std::string_view(resolved).substr(length));
}

TTranslatedPath TPathMapping::TranslateRest(const TRule& rule, std::string_view restText) {
  std::string rest(restText);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  // One separator where the local folder meets the rest, whether or not
  // either side brings its own.
  if (rest.empty() && !rule.endsWithSeparator) return {rule.to, rule.to.size(), true};
  std::string head = rule.to;
  while (!head.empty() && head.back() == '/') head.pop_back();
  head += '/';
  const std::size_t localLength = head.size();
  if (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  return {head + rest, localLength, true};
}

std::string AddSectionRules(TPathMapping& mapping, const TRuleEntries& entries) {
  const std::string where = std::string("[") + PathSection + "] ";
  struct TPair {
    std::optional<std::string> from, to;
  };
  std::map<unsigned, TPair> pairs;
  for (const auto& [key, value] : entries) {
    const bool isFrom = StartsWithName(key, FromKeyPrefix);
    const bool isTo = !isFrom && StartsWithName(key, ToKeyPrefix);
    const std::size_t prefixLength = isFrom ? FromKeyPrefix.size() : ToKeyPrefix.size();
    const std::optional<unsigned> number =
        isFrom || isTo ? RuleNumber(std::string_view(key).substr(prefixLength)) : std::nullopt;
    if (!number) return where + "chave desconhecida: " + key;
    std::optional<std::string>& side = isFrom ? pairs[*number].from : pairs[*number].to;
    const std::string name = std::string(isFrom ? FromKeyPrefix : ToKeyPrefix) + std::to_string(*number);
    if (side) return where + name + " repetida";
    side = value;
  }
  for (const auto& [number, pair] : pairs) {
    const std::string fromName = std::string(FromKeyPrefix) + std::to_string(number);
    const std::string toName = std::string(ToKeyPrefix) + std::to_string(number);
    if (!pair.to) return where + fromName + " sem " + toName;
    if (!pair.from) return where + toName + " sem " + fromName;
    if (std::string error = mapping.Add(*pair.from, *pair.to, fromName, toName); !error.empty()) return where + error;
  }
  return {};
}

std::string AddArgumentRule(TPathMapping& mapping, std::string_view argument) {
  const std::string where = "--mapear " + std::string(argument) + ": ";
  const std::size_t equals = argument.find('=');
  if (equals == std::string_view::npos) return where + "falta o sinal = entre DE e PARA";
  const std::string error = mapping.Add(argument.substr(0, equals), argument.substr(equals + 1), FromKeyPrefix,
                                        ToKeyPrefix);
  return error.empty() ? error : where + error;
}
