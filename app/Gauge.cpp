#include "app/Gauge.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int BorderWidth = 1;  // pixels on each side

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  // Every pixel is drawn by paintEvent.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::SetMaximum(std::int32_t value) {
  counts_.SetMaximum(value);
  repaint();
}

void TGauge::SetProgress(std::int32_t value) {
  if (counts_.SetProgress(value)) repaint();
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
