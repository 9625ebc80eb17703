#pragma once

// A catalogue text made safe for a log line and a terminal.

#include <string>
#include <string_view>

// The text with every control byte (below 0x20, and 0x7F) written as a
// visible escape: "\t", "\n", "\r", else "\x" and two lower-case hex digits
// ("\x1b"); a backslash is doubled, so the text can be read back exactly.
// Other bytes, those of 8-bit and UTF-8 letters included, pass unchanged. A
// file name can then neither forge a line of the log nor reach the terminal
// as a command.
std::string TextoVisivel(std::string_view texto);
