#include "app/ImageButton.h"

#include "tests/app/AppTestSupport.h"
#include "app/UPrincipal.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using dztest::Grab;
using dztest::IsBlack;
using dztest::TCaixasGravadas;
using TFrame = TImageButton::TFrame;

// A 32 x 32 image of one opaque colour, easy to find in a grabbed picture.
QPixmap SolidImage(QColor colour) {
  QPixmap image(32, 32);
  image.fill(colour);
  return image;
}

const QColor ImageColour(0, 200, 0);

// A button of the window's size, shown in a window of its own with a margin
// around it, so that the mouse can leave it.
class ImageButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    window_.resize(300, 200);
    window_.setFont(FonteDaJanela());
    button_ = new TImageButton(&window_);
    button_->setGeometry(50, 50, 100, 50);
    button_->SetCaption("Atualizar");
    button_->SetImage(SolidImage(ImageColour));
    QObject::connect(button_, &TImageButton::Clicked, [this] { ++clicks_; });
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    ASSERT_EQ(button_->Frame(), TFrame::None);
  }
  // The mouse leaves the button, so that the next test's window does not appear under it.
  void TearDown() override { QTest::mouseMove(&window_, outside_); }

  const QPoint inside_{50, 25};
  const QPoint outside_{150, 150};  // in the window, outside the button
  QWidget window_;
  TImageButton* button_ = nullptr;
  int clicks_ = 0;
};

TEST_F(ImageButtonTest, FrameAndClickFollowTheMouse) {
  struct TStep {
    const char* what;
    std::function<void()> action;
    TFrame frame;
    int clicks;
  };
  QWidget& w = window_;
  TImageButton* b = button_;
  const QPoint in = inside_, out = outside_;
  const TStep steps[] = {
      {"at rest: no frame", [] {}, TFrame::None, 0},
      {"mouse over: raised", [&] { QTest::mouseMove(b, in); }, TFrame::Raised, 0},
      {"mouse gone: no frame", [&] { QTest::mouseMove(&w, out); }, TFrame::None, 0},
      {"pressed over it: sunken", [&] { QTest::mousePress(b, Qt::LeftButton, {}, in); }, TFrame::Sunken, 0},
      {"held, mouse left: raised", [&] { QTest::mouseMove(b, b->mapFrom(&w, out)); }, TFrame::Raised, 0},
      {"held, mouse back: sunken", [&] { QTest::mouseMove(b, in); }, TFrame::Sunken, 0},
      {"released over it: one click, raised", [&] { QTest::mouseRelease(b, Qt::LeftButton, {}, in); },
       TFrame::Raised, 1},
      {"pressed, moved away, released outside: no click",
       [&] {
         QTest::mousePress(b, Qt::LeftButton, {}, in);
         QTest::mouseMove(b, b->mapFrom(&w, out));
         QTest::mouseRelease(b, Qt::LeftButton, {}, b->mapFrom(&w, out));
       },
       TFrame::None, 1},
      {"right button: no click",
       [&] {
         QTest::mouseMove(b, in);
         QTest::mouseClick(b, Qt::RightButton, {}, in);
       },
       TFrame::Raised, 1},
      {"a full left click", [&] { QTest::mouseClick(b, Qt::LeftButton, {}, in); }, TFrame::Raised, 2},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    s.action();
    QApplication::processEvents();
    EXPECT_EQ(button_->Frame(), s.frame);
    EXPECT_EQ(clicks_, s.clicks);
  }
}

// The frame and the shift as drawn.
TEST_F(ImageButtonTest, Drawing) {
  const QColor light = button_->palette().color(QPalette::Light);
  const QColor dark = button_->palette().color(QPalette::Dark);
  const QColor background = button_->palette().color(QPalette::Window);
  ASSERT_NE(light.rgb(), dark.rgb());
  ASSERT_NE(light.rgb(), background.rgb());
  ASSERT_NE(dark.rgb(), background.rgb());

  const int captionHeight = [&] {
    QFont bold = button_->font();
    bold.setBold(true);
    return QFontMetrics(bold).height();
  }();
  // Image, 4-pixel gap and caption, centred in the 100 x 50 button.
  const int restLeft = (100 - 32) / 2;
  const int restTop = (50 - (32 + 4 + captionHeight)) / 2;

  struct TCase {
    const char* what;
    std::function<void()> action;
    QColor topLeft, bottomRight;
    int shift;
  };
  TImageButton* b = button_;
  const QPoint in = inside_;
  const TCase cases[] = {
      {"at rest: no frame, not shifted", [] {}, background, background, 0},
      {"hover: raised frame", [&] { QTest::mouseMove(b, in); }, light, dark, 0},
      {"pressed: sunken frame, shifted 2 right and down",
       [&] { QTest::mousePress(b, Qt::LeftButton, {}, in); }, dark, light, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.action();
    QApplication::processEvents();
    const QImage image = Grab(button_);
    EXPECT_EQ(image.pixel(0, 0), c.topLeft.rgb());
    EXPECT_EQ(image.pixel(10, 0), c.topLeft.rgb());
    EXPECT_EQ(image.pixel(0, 25), c.topLeft.rgb());
    EXPECT_EQ(image.pixel(50, 49), c.bottomRight.rgb());
    EXPECT_EQ(image.pixel(99, 25), c.bottomRight.rgb());
    EXPECT_EQ(image.pixel(99, 49), c.bottomRight.rgb());
    // Inside the frame: the background.
    EXPECT_EQ(image.pixel(1, 1), background.rgb());
    EXPECT_EQ(image.pixel(98, 48), background.rgb());
    // The image's corners, and the pixels just outside it.
    const int left = restLeft + c.shift, top = restTop + c.shift;
    ASSERT_GE(top, 0);
    EXPECT_EQ(image.pixel(left, top), ImageColour.rgb());
    EXPECT_EQ(image.pixel(left + 31, top + 31), ImageColour.rgb());
    EXPECT_NE(image.pixel(left - 1, top), ImageColour.rgb());
    if (top > 0) {
      EXPECT_NE(image.pixel(left, top - 1), ImageColour.rgb());
    }
    EXPECT_NE(image.pixel(left + 32, top + 31), ImageColour.rgb());
    // The caption in black, below the gap, and nothing of it in the gap.
    int blackInCaption = 0, blackInGap = 0;
    for (int x = 1; x < 99; ++x) {
      for (int y = top + 32; y < top + 36; ++y) blackInGap += IsBlack(image.pixelColor(x, y));
      for (int y = top + 36; y < std::min(49, top + 36 + captionHeight); ++y)
        blackInCaption += IsBlack(image.pixelColor(x, y));
    }
    EXPECT_GT(blackInCaption, 20);
    EXPECT_EQ(blackInGap, 0);
  }
  QTest::mouseRelease(button_, Qt::LeftButton, {}, inside_);
}

TEST_F(ImageButtonTest, HandCursorAndBoldCaption) {
  EXPECT_EQ(button_->cursor().shape(), Qt::PointingHandCursor);
  // A bold caption is wider than the same text in the regular font.
  int blackColumnsBold = 0;
  {
    const QImage image = Grab(button_);
    for (int x = 1; x < 99; ++x) {
      for (int y = 1; y < 49; ++y) {
        if (IsBlack(image.pixelColor(x, y))) {
          ++blackColumnsBold;
          break;
        }
      }
    }
  }
  QImage regular(100, 50, QImage::Format_RGB32);
  regular.fill(Qt::white);
  {
    QPainter painter(&regular);
    painter.setFont(button_->font());
    painter.setPen(Qt::black);
    painter.drawText(regular.rect(), Qt::AlignCenter, "Atualizar");
  }
  int blackColumnsRegular = 0;
  for (int x = 0; x < 100; ++x) {
    for (int y = 0; y < 50; ++y) {
      if (IsBlack(regular.pixelColor(x, y))) {
        ++blackColumnsRegular;
        break;
      }
    }
  }
  EXPECT_GT(blackColumnsBold, blackColumnsRegular);
}

// An error that leaves the click's handler goes to the error box, and the
// button is usable again afterwards.
TEST_F(ImageButtonTest, ErrorInTheHandlerGoesToTheErrorBox) {
  TCaixasGravadas caixas;
  bool fail = true;
  QObject::connect(button_, &TImageButton::Clicked, [&] {
    if (fail) throw std::runtime_error("Database name is missing");
  });
  QTest::mouseClick(button_, Qt::LeftButton, {}, inside_);
  ASSERT_EQ(caixas.caixas.size(), 1u);
  EXPECT_EQ(caixas.caixas[0].tipo, dztest::TCaixa::TTipo::Erro);
  EXPECT_EQ(caixas.caixas[0].texto, "Database name is missing.");
  EXPECT_EQ(clicks_, 1);

  fail = false;
  QTest::mouseClick(button_, Qt::LeftButton, {}, inside_);
  EXPECT_EQ(caixas.caixas.size(), 1u);
  EXPECT_EQ(clicks_, 2);
}

}  // namespace
