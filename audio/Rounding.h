#pragma once

// The one rounding rule of the readers and the facade: a floating-point result
// becomes the nearest integer, a value exactly halfway taking the even
// neighbour. Each caller keeps its own cut of the result (16 bits for a bit
// rate, 32 bits for seconds).

#include <cstdint>
#include <optional>

// The nearest integer to value, ties to even. Worked out with floor and exact
// differences, so the current floating-point rounding mode has no say.
// Empty for not-a-number, the infinities and results outside
// -2^63 .. 2^63 - 1, so that no caller converts such a value to an integer
// (which would be undefined).
std::optional<std::int64_t> RoundTiesToEven(double value);
