#include "Gauge.h"

#include <QPainter>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

constexpr int BorderWidth = 1;  // pixels on each side

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  // Every pixel is drawn by paintEvent.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::SetMaximum(std::int32_t value) {
  if (value < minimum_) {
    throw std::out_of_range(QStringLiteral("Value must be between %1 and %2")
                                .arg(static_cast<std::int64_t>(minimum_) + 1)
                                .arg(std::numeric_limits<std::int32_t>::max())
                                .toStdString());
  }
  maximum_ = value;
  if (progress_ > maximum_) progress_ = maximum_;
  repaint();
}

void TGauge::SetProgress(std::int32_t value) {
  if (value < minimum_) value = minimum_;
  if (value > maximum_) value = maximum_;
  if (value == progress_) return;
  const std::int32_t shownBefore = Percentage();
  progress_ = value;
  if (Percentage() != shownBefore) repaint();
}

std::int32_t TGauge::Percentage() const {
  if (maximum_ == minimum_) return 0;
  // 64-bit so that large counts cannot overflow the multiplication.
  const std::int64_t done = static_cast<std::int64_t>(progress_) - minimum_;
  const std::int64_t range = static_cast<std::int64_t>(maximum_) - minimum_;
  return static_cast<std::int32_t>(done * 100 / range);
}

QString TGauge::PercentageText() const { return QStringLiteral("%1%").arg(Percentage()); }

int TGauge::FilledWidth() const {
  const int innerWidth = std::max(0, width() - 2 * BorderWidth);
  return static_cast<int>(static_cast<std::int64_t>(innerWidth) * Percentage() / 100);
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect whole = rect();
  const QRect inner = whole.adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
  const QRect filled(inner.left(), inner.top(), FilledWidth(), inner.height());
  const QRect empty(filled.right() + 1, inner.top(), inner.width() - filled.width(), inner.height());

  painter.fillRect(whole, Qt::black);  // the border, and the filled part
  painter.fillRect(empty, Qt::white);

  // The same text twice, each copy clipped to one part, in that part's opposite colour.
  const QString text = PercentageText();
  painter.setFont(font());
  painter.setClipRect(empty);
  painter.setPen(Qt::black);
  painter.drawText(whole, Qt::AlignCenter, text);
  painter.setClipRect(filled);
  painter.setPen(Qt::white);
  painter.drawText(whole, Qt::AlignCenter, text);
}
