#pragma once

#include <cstdint>

// The numbers behind a progress bar, without any drawing: minimum (always 0
// here), maximum and progress, and the whole-number percentage the bar shows.
// The window's bars and the terminal's bars both count with it.
class TProgressoBarra {
public:
  std::int32_t Minimum() const { return minimum_; }
  std::int32_t Maximum() const { return maximum_; }
  std::int32_t Progress() const { return progress_; }

  // Refuses a value below the minimum with "Value must be between %d and %d"
  // (minimum + 1 and 2147483647); lowers a larger progress to the new maximum.
  void SetMaximum(std::int32_t value);
  // Clamps to [minimum, maximum]. True when the shown percentage changed.
  bool SetProgress(std::int32_t value);

  // trunc((progress - minimum) * 100 / (maximum - minimum)); 0 when maximum equals minimum.
  std::int32_t Percentage() const;

private:
  std::int32_t minimum_ = 0;
  std::int32_t maximum_ = 100;
  std::int32_t progress_ = 0;
};
