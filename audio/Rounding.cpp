#include "audio/Rounding.h"

#include <cmath>

std::optional<std::int64_t> RoundTiesToEven(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double rounded = std::floor(value);
  // The difference is exact, 0 <= fraction < 1, except for values between
  // -0.5 and 0: there it may round, but only to somewhere from 0.5 to 1, and
  // all of those make the result 0, as it should be for such values.
  const double fraction = value - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  constexpr double Limit = 9223372036854775808.0;  // 2^63
  if (rounded < -Limit || rounded >= Limit) return std::nullopt;
  return static_cast<std::int64_t>(rounded);
}
