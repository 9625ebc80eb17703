#pragma once

#include <cstdint>

// Texts of the readers are 8-bit text in the catalogue's code page,
// Windows-1252. This is the one place that knows that code page.

// The Windows-1252 byte for one UTF-16 unit, or '?' when the code page has no
// such character (this includes lone surrogates: units are converted one by one).
char Utf16UnitTo8Bit(std::uint16_t unit);
