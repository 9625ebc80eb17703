#pragma once

// The exit statuses of audioinfo, named once for the program and its tests.

inline constexpr int SaidaOk = 0;   // every file named was described
inline constexpr int SaidaUso = 2;  // no file named, an unknown option, or a wrong rule
