#pragma once

// Paths as a Windows station writes them into its catalogue
// ("C:\Musicas\Samba\aquarela.mp3", "\\servidor\vinhetas\bip.wav") turned
// into the paths under which this machine sees the same files, by prefix
// rules: "C:\Musicas\" stands for "/srv/musicas/". Pure text: nothing here
// touches the file system, so the same path always gives the same result.
//
// A rule's Windows side (DE) is compared without regard to letter case (ASCII
// and the Windows-1252 letters) and with "\" and "/" as the same separator;
// it matches only whole folder names ("C:\Musicas" matches "C:\Musicas\x" and
// "C:\Musicas", not "C:\MusicasNovas\x"). Of the rules that match, the one
// with the longest Windows side wins (among equals, the one added first).
// After the prefix is replaced, every "\" of the rest becomes "/", and the
// A path that a rule matches has its "." and ".." segments resolved by name
// first, as Windows resolves them before it looks anything up ("." goes, ".."
// takes the segment before it away); the path so resolved is then translated.
// When the resolved path is no longer inside the Windows folder of the rule
// that the path as written matched, it is outside the mapped folder, and such
// a path is never looked up. A path that no rule matches is left exactly as it is.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// BaseAudio.ini's optional section of rules, DE1 / PARA1, DE2 / PARA2, ...
inline constexpr const char* PathSection = "CAMINHOS";
inline constexpr std::string_view FromKeyPrefix = "DE";
inline constexpr std::string_view ToKeyPrefix = "PARA";

struct TTranslatedPath {
  std::string Path;
  // How many leading bytes of Path are the rule's local folder (PARA); the
  // rest came from the catalogue. 0 when no rule matched.
  std::size_t LocalLength = 0;
  bool Translated = false;
  // Its ".." segments climb out of the folder its rule maps: Path is then the
  // path as written, translated without resolving them, for the log only.
  bool Outside = false;
};

class TPathMapping {
public:
  // Adds a rule after checking it: neither side empty, the local side an
  // absolute path. Returns "" or what is wrong, naming the sides by the names
  // given ("DE2 vazio", "PARA2 não é um caminho absoluto: srv").
  std::string Add(std::string_view from, std::string_view to, std::string_view fromName, std::string_view toName);

  bool Empty() const { return rules_.empty(); }
  std::size_t Size() const { return rules_.size(); }

  TTranslatedPath Translate(std::string_view path) const;

private:
  struct TRule {
    std::u32string key;  // the Windows side: folded characters, "/" for either separator
    bool endsWithSeparator;
    std::string to;
  };
  // The rule with the longest Windows side that matches path, and the bytes
  // of path it covers; nullptr when none matches.
  const TRule* BestRule(std::string_view path, std::size_t& length) const;
  static TTranslatedPath TranslateRest(const TRule& rule, std::string_view rest);
  // Bytes of path the rule's Windows side covers, or npos when it does not match.
  static std::size_t MatchLength(const TRule& rule, std::string_view path, bool pathIsUtf8);

  std::vector<TRule> rules_;
};

// The keys and values of one INI section, in file order.
using TRuleEntries = std::vector<std::pair<std::string, std::string>>;

// Adds the rules of the section [CAMINHOS] in the order of their numbers.
// Keys are DEn and PARAn (any letter case; n = 1, 2, ... without leading
// zeros). Returns "" or the first thing wrong, naming the key:
// "[CAMINHOS] DE2 sem PARA2", "[CAMINHOS] PARA1 vazio",
// "[CAMINHOS] chave desconhecida: CAMINHO", "[CAMINHOS] DE1 repetida", ...
std::string AddSectionRules(TPathMapping& mapping, const TRuleEntries& entries);

// Adds the rule of one "DE=PARA" of the command line (split at the first
// "="). Returns "" or "--mapear ARGUMENT: " and what is wrong.
std::string AddArgumentRule(TPathMapping& mapping, std::string_view argument);
