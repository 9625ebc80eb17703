#pragma once

#include <string>

// An error's text as it is shown to the user, in the window's error box and on
// the companion's standard error: a full stop is appended when the last
// character sorts after "." (so "missing" gets one, "done." and "(x)" do not).
// Bytes compare unsigned, so a text ending in a character beyond ASCII gets one too.
std::string ComPontoFinal(const std::string& texto);
