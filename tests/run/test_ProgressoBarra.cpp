// The numbers behind a progress bar, as the window's bars and the
// terminal's bars count them.

#include "run/ProgressoBarra.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace {

TEST(ProgressoBarra, FreshBarIsZeroOfHundred) {
  const TProgressoBarra barra;
  EXPECT_EQ(barra.Minimum(), 0);
  EXPECT_EQ(barra.Maximum(), 100);
  EXPECT_EQ(barra.Progress(), 0);
  EXPECT_EQ(barra.Percentage(), 0);
}

TEST(ProgressoBarra, PercentageAndStoredProgress) {
  struct TCase {
    const char* what;
    std::int32_t maximum;
    std::int32_t progress;
    std::int32_t shown;   // percentage
    std::int32_t stored;  // progress kept
  };
  const TCase cases[] = {
      {"one of three truncates to 33", 3, 1, 33, 1},
      {"two of three truncates to 66, not 67", 3, 2, 66, 2},
      {"three of three", 3, 3, 100, 3},
      {"maximum 0 shows 0 whatever the progress", 0, 5, 0, 0},
      {"above the maximum shows 100 and stores the maximum", 4, 9, 100, 4},
      {"below the minimum is raised to it", 10, -3, 0, 0},
      {"999 of 1000 shows 99", 1000, 999, 99, 999},
      {"large counts do not overflow", std::numeric_limits<std::int32_t>::max(),
       std::numeric_limits<std::int32_t>::max() - 1, 99, std::numeric_limits<std::int32_t>::max() - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TProgressoBarra barra;
    barra.SetMaximum(c.maximum);
    barra.SetProgress(c.progress);
    EXPECT_EQ(barra.Percentage(), c.shown);
    EXPECT_EQ(barra.Progress(), c.stored);
  }
}

TEST(ProgressoBarra, LowerMaximumLowersProgress) {
  TProgressoBarra barra;
  barra.SetProgress(50);
  barra.SetMaximum(10);
  EXPECT_EQ(barra.Progress(), 10);
  EXPECT_EQ(barra.Percentage(), 100);
  barra.SetMaximum(20);
  EXPECT_EQ(barra.Progress(), 10);
  EXPECT_EQ(barra.Percentage(), 50);
}

TEST(ProgressoBarra, MaximumBelowMinimumIsRefused) {
  TProgressoBarra barra;
  barra.SetMaximum(7);
  barra.SetProgress(3);
  try {
    barra.SetMaximum(-1);
    FAIL() << "no error";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Value must be between 1 and 2147483647");
  }
  EXPECT_EQ(barra.Maximum(), 7);
  EXPECT_EQ(barra.Progress(), 3);
}

// SetProgress tells whether the shown percentage changed: the window's bar
// redraws only then.
TEST(ProgressoBarra, TellsWhenThePercentageChanges) {
  TProgressoBarra barra;
  barra.SetMaximum(200);
  EXPECT_FALSE(barra.SetProgress(1));  // 0 %, still
  EXPECT_TRUE(barra.SetProgress(2));   // 1 %
  EXPECT_FALSE(barra.SetProgress(2));  // the same progress
  EXPECT_FALSE(barra.SetProgress(3));  // 1 %, still
  EXPECT_TRUE(barra.SetProgress(500)); // clamped to 200: 100 %
}

}  // namespace
