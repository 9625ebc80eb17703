#pragma once

#include <cstdint>
#include <string>
#include <variant>

// A value that goes to or comes from the database: null, a 32-bit integer, or
// 8-bit text as stored (the catalogue's character set is NONE: bytes).
using TSqlValue = std::variant<std::monostate, std::int32_t, std::string>;
