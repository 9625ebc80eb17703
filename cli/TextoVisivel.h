#pragma once

// Texts made safe and readable for a log line and a terminal: every log line
// is UTF-8, whatever bytes a catalogue or a disk holds.

#include <string>
#include <string_view>

// A catalogue text in its column's character set (catalogue/CharacterSets.h)
// as UTF-8: a NONE or WIN1252 text read as Windows-1252, the stations' code
// page; a UTF8 or UNICODE_FSS text as it is. Escaped so that it stays on its
// line, sends no command to a terminal and reads back exactly:
// - a backslash is doubled;
// - a control character below the blank and DEL: "\t", "\n", "\r", else
//   "\x" and two lower-case hex digits ("\x1b");
// - a C1 control (U+0080 to U+009F, a terminal's escape introducers among
//   them), or a bidirectional control (U+202A to U+202E, U+2066 to U+2069),
//   which would show the rest of the line reversed: "\u" and four
//   lower-case hex digits ("\u009b", "\u202e");
// - a byte that is no character: not well-formed UTF-8 in a UTF-8 text, one
//   of the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
//   0x9D), or any byte beyond ASCII in another character set: "\x" and two
//   lower-case hex digits.
std::string TextoVisivel(std::string_view texto, int conjuntoCaracteres);

// A UTF-8 text escaped the same way: a path on this machine's disk (its
// names are UTF-8), a text of this program.
std::string TextoUtf8Visivel(std::string_view texto);

// An error's text for the standard error: UTF-8 as TextoVisivel makes it,
// but its line breaks kept (a client's error takes a line per message) and
// its backslashes single (a Windows path in it stays as written).
std::string ErroVisivel(std::string_view texto);
