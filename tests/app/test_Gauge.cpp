#include "app/Gauge.h"

#include "tests/app/AppTestSupport.h"
#include "app/UPrincipal.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using dztest::Grab;
using dztest::IsBlack;
using dztest::IsWhite;
using dztest::TContadorEventos;

constexpr int BarWidth = 465;   // the window's bars
constexpr int BarHeight = 17;
constexpr int InnerWidth = BarWidth - 2;

TEST(Gauge, FreshBarShowsZeroOfHundred) {
  TGauge gauge;
  EXPECT_EQ(gauge.Minimum(), 0);
  EXPECT_EQ(gauge.Maximum(), 100);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.PercentageText(), "0%");
}

// The counts are the run's bar arithmetic (tests/run/test_ProgressoBarra):
// the gauge shows them, and refuses what they refuse without redrawing.
TEST(Gauge, ShowsItsCounts) {
  TGauge gauge;
  gauge.SetMaximum(3);
  gauge.SetProgress(2);
  EXPECT_EQ(gauge.Percentage(), 66);
  EXPECT_EQ(gauge.PercentageText(), "66%");
  EXPECT_EQ(gauge.Progress(), 2);
  EXPECT_THROW(gauge.SetMaximum(-1), std::out_of_range);
  EXPECT_EQ(gauge.Maximum(), 3);
  EXPECT_EQ(gauge.PercentageText(), "66%");
}

TEST(Gauge, FilledWidthIsTruncated) {
  struct TCase {
    const char* what;
    std::int32_t maximum, progress;
    int filled;
  };
  const TCase cases[] = {
      {"0 %", 3, 0, 0},
      {"33 %: 463 * 33 / 100 = 152.79", 3, 1, 152},
      {"66 %: 305.58", 3, 2, 305},
      {"50 %: 231.5", 2, 1, 231},
      {"100 %: the whole inside", 3, 3, InnerWidth},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TGauge gauge;
    gauge.resize(BarWidth, BarHeight);
    gauge.SetMaximum(c.maximum);
    gauge.SetProgress(c.progress);
    EXPECT_EQ(gauge.FilledWidth(), c.filled);
  }
}

// The bar redraws at once, before any return to the event loop, and only when
// the shown percentage changes.
TEST(Gauge, RepaintsAtOnceOnlyWhenThePercentageChanges) {
  TGauge gauge;
  gauge.resize(BarWidth, BarHeight);
  gauge.show();
  QApplication::processEvents();
  TContadorEventos paints(&gauge, QEvent::Paint);

  struct TStep {
    const char* what;
    std::function<void()> action;
    int paints;  // paint events that must have arrived, with no event processing in between
  };
  const TStep steps[] = {
      {"setting the maximum redraws", [&] { gauge.SetMaximum(1000); }, 1},
      {"0 to 1 of 1000 stays at 0 %: no redraw", [&] { gauge.SetProgress(1); }, 0},
      {"1 to 9 of 1000 stays at 0 %: no redraw", [&] { gauge.SetProgress(9); }, 0},
      {"10 of 1000 is 1 %: redraw", [&] { gauge.SetProgress(10); }, 1},
      {"the same progress again: nothing", [&] { gauge.SetProgress(10); }, 0},
      {"above the maximum: 100 %, redraw", [&] { gauge.SetProgress(5000); }, 1},
      {"again above the maximum: clamped to the same value, nothing", [&] { gauge.SetProgress(6000); }, 0},
      {"back to 0: redraw", [&] { gauge.SetProgress(0); }, 1},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    const int before = paints.contagem;
    s.action();
    EXPECT_EQ(paints.contagem - before, s.paints);
  }
}

// Looks of a window-sized bar: a black border, the filled part black from the
// left, the empty part white, the percentage centred in the opposite colour.
TEST(Gauge, Drawing) {
  struct TCase {
    const char* what;
    std::int32_t maximum, progress;
    int filled;               // black columns inside the border
    bool textOverFilled;      // white text pixels expected in the black part near the centre
    bool textOverEmpty;       // black text pixels expected in the white part near the centre
  };
  const TCase cases[] = {
      {"0 %: all white, black text", 3, 0, 0, false, true},
      {"50 %: the text straddles both parts", 2, 1, 231, true, true},
      {"66 %: text wholly over the black part", 3, 2, 305, true, false},
      {"100 %: all black, white text", 3, 3, InnerWidth, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TGauge gauge;
    gauge.setFont(FonteDaJanela());
    gauge.resize(BarWidth, BarHeight);
    gauge.SetMaximum(c.maximum);
    gauge.SetProgress(c.progress);
    const QImage image = Grab(&gauge);
    ASSERT_EQ(image.size(), QSize(BarWidth, BarHeight));

    for (int x = 0; x < BarWidth; ++x) {
      ASSERT_TRUE(IsBlack(image.pixelColor(x, 0))) << "top border at " << x;
      ASSERT_TRUE(IsBlack(image.pixelColor(x, BarHeight - 1))) << "bottom border at " << x;
    }
    for (int y = 0; y < BarHeight; ++y) {
      ASSERT_TRUE(IsBlack(image.pixelColor(0, y))) << "left border at " << y;
      ASSERT_TRUE(IsBlack(image.pixelColor(BarWidth - 1, y))) << "right border at " << y;
    }
    // Away from the text (the first and last 150 columns), each inside column is
    // wholly black up to the filled width and wholly white after it.
    for (int x = 1; x <= InnerWidth; ++x) {
      if (x > 150 && x < BarWidth - 150) continue;
      const bool inFilled = x <= c.filled;
      for (int y = 1; y < BarHeight - 1; ++y) {
        const QColor pixel = image.pixelColor(x, y);
        ASSERT_TRUE(inFilled ? IsBlack(pixel) : IsWhite(pixel)) << "column " << x << " row " << y;
      }
    }
    // Near the centre the text stands inverted against each part.
    int whiteInFilled = 0, blackInEmpty = 0;
    for (int x = BarWidth / 2 - 25; x < BarWidth / 2 + 25; ++x) {
      for (int y = 1; y < BarHeight - 1; ++y) {
        const QColor pixel = image.pixelColor(x, y);
        if (x <= c.filled && IsWhite(pixel)) ++whiteInFilled;
        if (x > c.filled && IsBlack(pixel)) ++blackInEmpty;
      }
    }
    EXPECT_EQ(whiteInFilled > 0, c.textOverFilled) << whiteInFilled;
    EXPECT_EQ(blackInEmpty > 0, c.textOverEmpty) << blackInEmpty;
  }
}

}  // namespace
