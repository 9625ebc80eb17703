#pragma once

#include "run/ProgressoBarra.h"

#include <QWidget>

#include <cstdint>

// Horizontal progress bar: a one-pixel black border, white inside, filled black
// from the left, with the whole-number percentage centred over it and drawn
// inverted (black over the white part, white over the black part).
//
// The update run keeps the event loop waiting until it ends, so the bar redraws
// itself at once (synchronously) instead of scheduling a paint.
class TGauge : public QWidget {
  Q_OBJECT
public:
  explicit TGauge(QWidget* parent = nullptr);

  std::int32_t Minimum() const { return counts_.Minimum(); }
  std::int32_t Maximum() const { return counts_.Maximum(); }
  std::int32_t Progress() const { return counts_.Progress(); }

  // Refuses a value below the minimum with "Value must be between %d and %d"
  // (minimum + 1 and 2147483647); lowers a larger progress to the new maximum; redraws.
  void SetMaximum(std::int32_t value);
  // Clamps to [minimum, maximum]; redraws only when the shown percentage changes.
  void SetProgress(std::int32_t value);

  // trunc((progress - minimum) * 100 / (maximum - minimum)); 0 when maximum equals minimum.
  std::int32_t Percentage() const { return counts_.Percentage(); }
  // The shown text, "%d%%".
  QString PercentageText() const;
  // Width of the black part: trunc(inner width * percentage / 100).
  int FilledWidth() const;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  TProgressoBarra counts_;
};
