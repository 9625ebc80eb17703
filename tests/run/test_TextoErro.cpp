#include "run/TextoErro.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// An error's text gets a full stop when its last byte sorts after "." (0x2E).
TEST(TextoErro, ComPontoFinal) {
  struct TCase {
    const char* what;
    std::string texto;
    std::string esperado;
  };
  const TCase cases[] = {
      {"a letter", "Update Failed", "Update Failed."},
      {"a digit", "concurrent transaction number is 21", "concurrent transaction number is 21."},
      {"a closing quote sorts below", "operation for file \"/x.fdb\"", "operation for file \"/x.fdb\""},
      {"a full stop already", "Database name is missing.", "Database name is missing."},
      {"a comma sorts below", "falta,", "falta,"},
      {"a hyphen sorts below", "falta-", "falta-"},
      {"an exclamation mark sorts below", "Falhou!", "Falhou!"},
      {"a closing parenthesis sorts below", "(erro)", "(erro)"},
      {"a blank sorts below", "erro ", "erro "},
      {"a line break sorts below", "erro\n", "erro\n"},
      {"a slash sorts after", "/dados/", "/dados/."},
      {"a question mark sorts after", "Quem?", "Quem?."},
      {"a colon sorts after", "Q_Musicas:", "Q_Musicas:."},
      {"a byte above 127 sorts after (the last byte of UTF-8 \"ã\")", "maçã", "maçã."},
      {"a Latin-1 \"ã\" sorts after", "ma\xE7\xE3", "ma\xE7\xE3."},
      {"one character", "x", "x."},
      {"the empty text stays empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ComPontoFinal(c.texto), c.esperado);
  }
}

}  // namespace
