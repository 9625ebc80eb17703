#include "app/ImageButton.h"

#include "app/Aplicacao.h"

#include <QMouseEvent>
#include <QPainter>

TImageButton::TImageButton(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

void TImageButton::SetImage(const QPixmap& image) {
  image_ = image;
  update();
}

void TImageButton::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

TImageButton::TFrame TImageButton::Frame() const {
  if (held_ && mouseOver_) return TFrame::Sunken;
  if (held_ || mouseOver_) return TFrame::Raised;
  return TFrame::None;
}

QFont TImageButton::CaptionFont() const {
  QFont bold = font();
  bold.setBold(true);
  return bold;
}

// The stack of image, gap and caption, centred in the button.
QRect TImageButton::ImageRect() const {
  const QSize size = image_.deviceIndependentSize().toSize();
  const int captionHeight = QFontMetrics(CaptionFont()).height();
  const int stackHeight = size.height() + ImageCaptionGap + captionHeight;
  const int shift = Frame() == TFrame::Sunken ? PressedShift : 0;
  return QRect((width() - size.width()) / 2 + shift, (height() - stackHeight) / 2 + shift, size.width(),
               size.height());
}

QRect TImageButton::CaptionRect() const {
  const QRect image = ImageRect();
  const int captionHeight = QFontMetrics(CaptionFont()).height();
  const int shift = Frame() == TFrame::Sunken ? PressedShift : 0;
  return QRect(shift, image.bottom() + 1 + ImageCaptionGap, width(), captionHeight);
}

void TImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const TFrame frame = Frame();
  if (frame != TFrame::None) {
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor topLeft = frame == TFrame::Raised ? light : dark;
    const QColor bottomRight = frame == TFrame::Raised ? dark : light;
    const QRect r = rect();
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
  }
  if (!image_.isNull()) painter.drawPixmap(ImageRect(), image_);
  painter.setFont(CaptionFont());
  painter.setPen(Qt::black);
  painter.drawText(CaptionRect(), Qt::AlignHCenter | Qt::AlignTop, caption_);
}

void TImageButton::SetMouseOver(bool over) {
  if (over == mouseOver_) return;
  mouseOver_ = over;
  update();
}

void TImageButton::enterEvent(QEnterEvent*) {
  if (!held_) SetMouseOver(true);
}

void TImageButton::leaveEvent(QEvent*) {
  if (!held_) SetMouseOver(false);
}

void TImageButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  held_ = true;
  mouseOver_ = rect().contains(event->position().toPoint());
  update();
}

void TImageButton::mouseMoveEvent(QMouseEvent* event) {
  // While held the button has the mouse to itself and follows it in and out.
  if (held_) SetMouseOver(rect().contains(event->position().toPoint()));
}

void TImageButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !held_) return;
  held_ = false;
  const bool over = rect().contains(event->position().toPoint());
  mouseOver_ = over;
  update();
  if (!over) return;
  // The click's handler runs here, inside the application's error handling, so
  // that an error it raises is shown without unwinding through the toolkit.
  try {
    emit Clicked();
  } catch (...) {
    TAplicacao::MostraExcecao(std::current_exception());
  }
}
