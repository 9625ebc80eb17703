#include "run/ProgressoBarra.h"

#include <limits>
#include <stdexcept>
#include <string>

void TProgressoBarra::SetMaximum(std::int32_t value) {
  if (value < minimum_) {
    throw std::out_of_range("Value must be between " + std::to_string(static_cast<std::int64_t>(minimum_) + 1) +
                            " and " + std::to_string(std::numeric_limits<std::int32_t>::max()));
  }
  maximum_ = value;
  if (progress_ > maximum_) progress_ = maximum_;
}

bool TProgressoBarra::SetProgress(std::int32_t value) {
  if (value < minimum_) value = minimum_;
  if (value > maximum_) value = maximum_;
  if (value == progress_) return false;
  const std::int32_t shownBefore = Percentage();
  progress_ = value;
  return Percentage() != shownBefore;
}

std::int32_t TProgressoBarra::Percentage() const {
  if (maximum_ == minimum_) return 0;
  // 64-bit so that large counts cannot overflow the multiplication.
  const std::int64_t done = static_cast<std::int64_t>(progress_) - minimum_;
  const std::int64_t range = static_cast<std::int64_t>(maximum_) - minimum_;
  return static_cast<std::int32_t>(done * 100 / range);
}
