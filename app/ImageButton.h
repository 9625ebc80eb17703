#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

// Flat button with an image above its caption. No frame at rest; a raised
// one-pixel frame while the mouse is over it (or while it is held and the mouse
// has left it); a sunken frame, with image and caption 2 pixels further right
// and down, while it is held with the mouse over it. It clicks when the left
// button is released over it.
class TImageButton : public QWidget {
  Q_OBJECT
public:
  enum class TFrame { None, Raised, Sunken };

  static constexpr int ImageCaptionGap = 4;  // pixels between image and caption
  static constexpr int PressedShift = 2;     // pixels right and down while sunken

  explicit TImageButton(QWidget* parent = nullptr);

  void SetImage(const QPixmap& image);
  void SetCaption(const QString& caption);
  const QPixmap& Image() const { return image_; }
  const QString& Caption() const { return caption_; }

  TFrame Frame() const;
  // Where the image and the caption's box stand now (the shift included).
  QRect ImageRect() const;
  QRect CaptionRect() const;

signals:
  void Clicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  QFont CaptionFont() const;
  void SetMouseOver(bool over);

  QPixmap image_;
  QString caption_;
  bool mouseOver_ = false;
  bool held_ = false;  // the left button went down on the button and is not yet released
};
