#include "audio/Rounding.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace {

TEST(Rounding, NearestIntegerTiesToEvenInEveryRoundingMode) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double twoTo63 = 9223372036854775808.0;
  struct TCase {
    const char* what;
    double value;
    std::optional<std::int64_t> rounded;
  };
  const TCase cases[] = {
      {"0", 0.0, 0},
      {"-0", -0.0, 0},
      {"0.5 to the even 0", 0.5, 0},
      {"1.5 to the even 2", 1.5, 2},
      {"2.5 to the even 2", 2.5, 2},
      {"124.5 to the even 124", 124.5, 124},
      {"125.5 to the even 126", 125.5, 126},
      {"largest double below 0.5", 0.49999999999999994, 0},
      {"just above 2.5", 2.5000000000000004, 3},
      {"just below 2.5", 2.4999999999999996, 2},
      {"127.7 up", 127.7, 128},
      {"-0.5 to the even 0", -0.5, 0},
      {"-1.5 to the even -2", -1.5, -2},
      {"-2.5 to the even -2", -2.5, -2},
      {"-2.6 down", -2.6, -3},
      {"-0.3: between -0.5 and 0", -0.3, 0},
      {"smallest double above -0.5", -0.49999999999999994, 0},
      {"-0.7", -0.7, -1},
      {"2^52 + 1 is already whole", 4503599627370497.0, 4503599627370497},
      {"2^51 + 0.5 to the even 2^51", 2251799813685248.5, 2251799813685248},
      {"2^51 + 1.5 to the even 2^51 + 2", 2251799813685249.5, 2251799813685250},
      {"largest double below 2^63", 9223372036854774784.0, 9223372036854774784},
      {"-2^63 is in range", -twoTo63, std::numeric_limits<std::int64_t>::min()},
      {"2^63 is out of range", twoTo63, std::nullopt},
      {"1e300", 1e300, std::nullopt},
      {"-1e300", -1e300, std::nullopt},
      {"+infinity", infinity, std::nullopt},
      {"-infinity", -infinity, std::nullopt},
      {"NaN", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& mode : dztest::RoundingModes) {
    SCOPED_TRACE(mode.name);
    for (const auto& c : cases) {
      std::optional<std::int64_t> rounded;
      {
        const dztest::TRoundingModeGuard guard(mode.mode);
        ASSERT_TRUE(guard.Set());
        rounded = RoundTiesToEven(c.value);
      }
      EXPECT_EQ(rounded, c.rounded) << c.what;
    }
  }
}

}  // namespace
