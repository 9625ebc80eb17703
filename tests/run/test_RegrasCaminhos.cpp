#include "run/RegrasCaminhos.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using dztest::TTempDir;

// The section [CAMINHOS] of path rules: keys and values in file order, as
// written (";" and backslashes stay), then turned into rules or a clear error
// that names the file and the key.
TEST(Arranque, ReadsThePathRules) {
  struct TCase {
    const char* what;
    std::string content;
    std::string error;    // "$INI" stands for the file's path
    std::string windows;  // a catalogue path ...
    std::string local;    // ... and what the rules make of it
  };
  const TCase cases[] = {
      {"no section: nothing translated", "[BANCO]\r\nCAMINHO=x.fdb\r\n", "", "C:\\Musicas\\a.mp3",
       "C:\\Musicas\\a.mp3"},
      {"two rules, Windows line ends, names in any case",
       "[BANCO]\r\nCAMINHO=x.fdb\r\n[caminhos]\r\nDE1=C:\\Musicas\\\r\nPara1=/srv/musicas/\r\n"
       "DE2=\\\\servidor\\vinhetas\\\r\nPARA2=/mnt/vinhetas/\r\n",
       "", "\\\\SERVIDOR\\Vinhetas\\bip.wav", "/mnt/vinhetas/bip.wav"},
      {"blanks around values go, \";\" stays", "[CAMINHOS]\nDE1 =  C:\\a;b\\  \nPARA1= /srv/a;b/\n", "",
       "C:\\a;b\\x.wav", "/srv/a;b/x.wav"},
      {"the section given twice counts whole", "[CAMINHOS]\nDE1=M:\n[BANCO]\n[CAMINHOS]\nPARA1=/m\n", "",
       "M:\\x.wav", "/m/x.wav"},
      {"a DE without its PARA", "[CAMINHOS]\nDE1=C:\\\nPARA1=/c/\nDE2=D:\\\n", "$INI: [CAMINHOS] DE2 sem PARA2",
       "", ""},
      {"a relative PARA", "[CAMINHOS]\nDE1=C:\\\nPARA1=c/\n", "$INI: [CAMINHOS] PARA1 não é um caminho absoluto: c/",
       "", ""},
      {"an empty DE", "[CAMINHOS]\nDE1=\nPARA1=/c/\n", "$INI: [CAMINHOS] DE1 vazio", "", ""},
  };
  TTempDir dir;
  const std::string file = dir.File("BaseAudio.ini");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dztest::WriteFile(file, c.content);
    TPathMapping mapping;
    std::string error = c.error;
    if (const auto mark = error.find("$INI"); mark != std::string::npos) error.replace(mark, 4, file);
    EXPECT_EQ(ReadConfiguredPathMapping(file, mapping), error);
    if (!c.windows.empty()) {
      EXPECT_EQ(mapping.Translate(c.windows).Path, c.local);
    }
  }
  TPathMapping none;
  EXPECT_EQ(ReadConfiguredPathMapping(dir.File("missing.ini"), none), "");
  EXPECT_TRUE(none.Empty());
}

}  // namespace
