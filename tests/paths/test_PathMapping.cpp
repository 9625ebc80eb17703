#include "paths/PathMapping.h"

#include <gtest/gtest.h>

namespace {

// The rules of the tests below, as a station would write them.
TPathMapping Station() {
  TPathMapping mapping;
  const std::pair<const char*, const char*> rules[] = {
      {"C:\\Musicas\\", "/srv/musicas/"},
      {"C:\\Musicas\\Samba\\Antigos\\", "/mnt/antigos"},
      {"\\\\servidor\\vinhetas\\", "/mnt/vinhetas/"},
      {"D:", "/mnt/d"},
      {"E:\\Acervo", "/srv/acervo/"},
      {"c:\\MUSICAS\\", "/never/"},  // the same folder as rule 1: the first added wins
      {"F:\\M\xFAsicas\\", "/srv/f/"},  // "Músicas" in Windows-1252
      {"G:\\M\xC3\xBAsicas\\", "/srv/g/"},  // "Músicas" in UTF-8
  };
  for (const auto& [from, to] : rules) EXPECT_EQ(mapping.Add(from, to, "DE", "PARA"), "") << from;
  return mapping;
}

TEST(PathMapping, Translates) {
  struct TCase {
    const char* what;
    std::string path;
    std::string expected;
    std::size_t localLength;  // 0: no rule matched
  };
  const TCase cases[] = {
      {"drive letter, separators turned", "C:\\Musicas\\Samba\\aquarela.mp3", "/srv/musicas/Samba/aquarela.mp3", 13},
      {"the prefix in another letter case", "c:\\mUSICAS\\Rock\\x.mp3", "/srv/musicas/Rock/x.mp3", 13},
      {"\"/\" stands for \"\\\" in the prefix", "C:/Musicas/x.mp3", "/srv/musicas/x.mp3", 13},
      {"the rest keeps its letter case", "C:\\Musicas\\SAMBA\\X.Mp3", "/srv/musicas/SAMBA/X.Mp3", 13},
      {"the longest prefix wins", "C:\\Musicas\\Samba\\antigos\\valsa.mp3", "/mnt/antigos/valsa.mp3", 13},
      {"UNC path", "\\\\SERVIDOR\\Vinhetas\\bip.wav", "/mnt/vinhetas/bip.wav", 14},
      {"a prefix without separator, then one in the path", "D:\\faixa.wav", "/mnt/d/faixa.wav", 7},
      {"a prefix without separator meets the whole path", "D:", "/mnt/d", 6},
      {"separators meet once", "E:\\Acervo\\x.wav", "/srv/acervo/x.wav", 12},
      {"no part of a folder name", "E:\\AcervoNovo\\x.wav", "E:\\AcervoNovo\\x.wav", 0},
      {"the path's prefix ends short of the rule", "C:\\Musicas", "C:\\Musicas", 0},
      {"no rule matches: left exactly as it is", "X:\\outro\\y.mp3", "X:\\outro\\y.mp3", 0},
      {"a Linux path is left as it is", "/srv/musicas/x.mp3", "/srv/musicas/x.mp3", 0},
      {"Windows-1252 rest stays bytes", "C:\\Musicas\\Cora\xE7\xE3o.mp3", "/srv/musicas/Cora\xE7\xE3o.mp3", 13},
      {"Windows-1252 prefix, Windows-1252 path", "F:\\M\xDASICAS\\a.mp3", "/srv/f/a.mp3", 7},
      {"Windows-1252 prefix, UTF-8 path", "F:\\M\xC3\xBAsicas\\a.mp3", "/srv/f/a.mp3", 7},
      {"UTF-8 prefix, Windows-1252 path", "G:\\m\xDAsicas\\a.mp3", "/srv/g/a.mp3", 7},
      {"a doubled separator where folder and rest meet is one", "C:\\Musicas\\\\x.mp3", "/srv/musicas/x.mp3", 13},
      {"empty path", "", "", 0},
  };
  const TPathMapping mapping = Station();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TTranslatedPath translated = mapping.Translate(c.path);
    EXPECT_EQ(translated.Path, c.expected);
    EXPECT_EQ(translated.LocalLength, c.localLength);
    EXPECT_EQ(translated.Translated, c.localLength > 0);
  }
}

// "." and ".." are resolved by name, as Windows resolves them, before the
// rules apply; what climbs out of the folder its rule maps is outside.
TEST(PathMapping, DotSegments) {
  struct TCase {
    const char* what;
    std::string path;
    std::string expected;
    std::size_t localLength;
    bool outside;
  };
  const TCase cases[] = {
      {"out and back in", "C:\\Musicas\\..\\Musicas\\a.mp3", "/srv/musicas/a.mp3", 13, false},
      {"out and back in, another letter case", "C:\\Musicas\\..\\MUSICAS\\a.mp3", "/srv/musicas/a.mp3", 13, false},
      {"down and up inside", "C:\\Musicas\\Rock\\..\\Samba\\a.mp3", "/srv/musicas/Samba/a.mp3", 13, false},
      {"two levels out", "C:\\Musicas\\..\\..\\etc\\passwd", "/srv/musicas/../../etc/passwd", 13, true},
      {"\"..\" right after the mapped folder", "C:\\Musicas\\..\\a.mp3", "/srv/musicas/../a.mp3", 13, true},
      {"\"..\" as the whole rest", "C:\\Musicas\\..", "/srv/musicas/..", 13, true},
      {"\"..\" right after a folder mapped without separator", "E:\\Acervo\\..\\x.wav", "/srv/acervo/../x.wav", 12,
       true},
      {"a share is its own root", "\\\\servidor\\vinhetas\\..\\..\\x\\bip.wav", "/mnt/vinhetas/x/bip.wav", 14, false},
      {"a drive is its own root", "D:\\..\\x.wav", "/mnt/d/x.wav", 7, false},
      {"\".\" segments dropped", "C:\\Musicas\\.\\Samba\\.\\a.mp3", "/srv/musicas/Samba/a.mp3", 13, false},
      {"mixed separators", "C:/Musicas\\Rock/..\\Samba/./a.mp3", "/srv/musicas/Samba/a.mp3", 13, false},
      {"mixed separators, out", "C:\\Musicas/../..\\etc/passwd", "/srv/musicas/../../etc/passwd", 13, true},
      {"resolved into a longer rule", "C:\\Musicas\\Rock\\..\\Samba\\Antigos\\v.mp3", "/mnt/antigos/v.mp3", 13,
       false},
      {"out of the longer rule, still in the shorter: out", "C:\\Musicas\\Samba\\Antigos\\..\\x.mp3",
       "/mnt/antigos/../x.mp3", 13, true},
      {"a name with dots is a name", "C:\\Musicas\\...\\..a.mp3", "/srv/musicas/.../..a.mp3", 13, false},
      {"a folder with its final separator", "C:\\Musicas\\Rock\\.\\", "/srv/musicas/Rock/", 13, false},
      {"no rule: left exactly as it is", "X:\\a\\..\\..\\b.mp3", "X:\\a\\..\\..\\b.mp3", 0, false},
  };
  const TPathMapping mapping = Station();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TTranslatedPath translated = mapping.Translate(c.path);
    EXPECT_EQ(translated.Path, c.expected);
    EXPECT_EQ(translated.LocalLength, c.localLength);
    EXPECT_EQ(translated.Outside, c.outside);
  }
}

TEST(PathMapping, WithoutRulesNothingIsTranslated) {
  const TPathMapping none;
  EXPECT_TRUE(none.Empty());
  const TTranslatedPath translated = none.Translate("C:\\Musicas\\x.mp3");
  EXPECT_EQ(translated.Path, "C:\\Musicas\\x.mp3");
  EXPECT_FALSE(translated.Translated);
}

TEST(PathMapping, SectionRules) {
  struct TCase {
    const char* what;
    TRuleEntries entries;
    std::string error;
    std::size_t rules;
  };
  const TCase cases[] = {
      {"no section", {}, "", 0},
      {"two pairs", {{"DE1", "C:\\M\\"}, {"PARA1", "/m/"}, {"DE2", "\\\\s\\v\\"}, {"PARA2", "/v/"}}, "", 2},
      {"any order, any letter case", {{"para2", "/v/"}, {"De2", "V:"}, {"PARA1", "/m/"}, {"de1", "M:"}}, "", 2},
      {"numbers need not follow on", {{"DE7", "M:"}, {"PARA7", "/m/"}}, "", 1},
      {"DE without PARA", {{"DE1", "M:"}, {"PARA1", "/m/"}, {"DE2", "V:"}}, "[CAMINHOS] DE2 sem PARA2", 1},
      {"PARA without DE", {{"PARA3", "/m/"}}, "[CAMINHOS] PARA3 sem DE3", 0},
      {"an empty DE", {{"DE1", ""}, {"PARA1", "/m/"}}, "[CAMINHOS] DE1 vazio", 0},
      {"an empty PARA", {{"DE1", "M:"}, {"PARA1", ""}}, "[CAMINHOS] PARA1 vazio", 0},
      {"a relative PARA", {{"DE1", "M:"}, {"PARA1", "srv/m"}}, "[CAMINHOS] PARA1 não é um caminho absoluto: srv/m", 0},
      {"a Windows PARA", {{"DE1", "M:"}, {"PARA1", "C:\\m"}}, "[CAMINHOS] PARA1 não é um caminho absoluto: C:\\m", 0},
      {"a key given twice", {{"DE1", "M:"}, {"de1", "N:"}, {"PARA1", "/m/"}}, "[CAMINHOS] DE1 repetida", 0},
      {"an unknown key", {{"CAMINHO1", "/m/"}}, "[CAMINHOS] chave desconhecida: CAMINHO1", 0},
      {"a key without number", {{"DE", "M:"}}, "[CAMINHOS] chave desconhecida: DE", 0},
      {"number 0", {{"DE0", "M:"}, {"PARA0", "/m/"}}, "[CAMINHOS] chave desconhecida: DE0", 0},
      {"a leading zero", {{"DE01", "M:"}}, "[CAMINHOS] chave desconhecida: DE01", 0},
      {"a sign", {{"DE+1", "M:"}}, "[CAMINHOS] chave desconhecida: DE+1", 0},
      {"a number too large", {{"DE99999999999", "M:"}}, "[CAMINHOS] chave desconhecida: DE99999999999", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPathMapping mapping;
    EXPECT_EQ(AddSectionRules(mapping, c.entries), c.error);
    EXPECT_EQ(mapping.Size(), c.rules);
  }
}

TEST(PathMapping, ArgumentRules) {
  struct TCase {
    const char* what;
    std::string argument;
    std::string error;
    std::string translatedFrom;  // with the rule added, this path ...
    std::string translatedTo;    // ... becomes this one
  };
  const TCase cases[] = {
      {"split at the first \"=\"", "C:\\a\\=/srv/x=y/", "", "C:\\a\\f.mp3", "/srv/x=y/f.mp3"},
      {"UNC", "\\\\srv\\m\\=/m/", "", "\\\\SRV\\M\\f.mp3", "/m/f.mp3"},
      {"no \"=\"", "C:\\a", "--mapear C:\\a: falta o sinal = entre DE e PARA", "", ""},
      {"empty DE", "=/srv/", "--mapear =/srv/: DE vazio", "", ""},
      {"empty PARA", "C:\\=", "--mapear C:\\=: PARA vazio", "", ""},
      {"relative PARA", "C:\\=srv", "--mapear C:\\=srv: PARA não é um caminho absoluto: srv", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPathMapping mapping;
    EXPECT_EQ(AddArgumentRule(mapping, c.argument), c.error);
    EXPECT_EQ(mapping.Size(), c.error.empty() ? 1u : 0u);
    if (!c.translatedFrom.empty()) {
      EXPECT_EQ(mapping.Translate(c.translatedFrom).Path, c.translatedTo);
    }
  }
}

}  // namespace
