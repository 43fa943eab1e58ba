#include "import/Gauges.h"

#include "import/GaugeGeometry.h"

#include <platform/Error.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <set>

namespace dataimport {
namespace {

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return "no error";
}

TEST(GaugeGeometry, PercentageIsTruncatedAndZeroForAnEmptyRange) {
  EXPECT_EQ(gauge::percentage(1, 0, 3), 33);
  EXPECT_EQ(gauge::percentage(2, 0, 3), 66);
  EXPECT_EQ(gauge::percentage(3, 0, 3), 100);
  EXPECT_EQ(gauge::percentage(5, 5, 5), 0);
  EXPECT_EQ(gauge::percentage(0, -2147483647 - 1, 2147483647), 50);  // no overflow
  EXPECT_EQ(gauge::clampProgress(150, 0, 100), 100);
  EXPECT_EQ(gauge::clampProgress(-5, 0, 100), 0);
}

TEST(GaugeGeometry, BoundErrorsNameTheAllowedRange) {
  EXPECT_EQ(gauge::minValueError(100), "Value must be between -2147483647 and 99");
  EXPECT_EQ(gauge::maxValueError(0), "Value must be between 1 and 2147483647");
  EXPECT_EQ(gauge::minValueError(-2147483647 - 1),
            "Value must be between -2147483647 and -2147483649");
}

TEST(GaugeGeometry, BarsAndTextOfTheImportWindowGauge) {
  const gauge::Rect inner = gauge::innerRect(258, 43, true);
  EXPECT_EQ(inner, (gauge::Rect{1, 1, 257, 42}));
  EXPECT_EQ(gauge::innerRect(258, 43, false), (gauge::Rect{0, 0, 258, 43}));
  // Full: exactly the inner rectangle.
  EXPECT_EQ(gauge::horizontalFill(inner, 100), (gauge::Rect{1, 1, 257, 42}));
  EXPECT_EQ(gauge::horizontalFill(inner, 50), (gauge::Rect{1, 1, 128, 42}));
  EXPECT_TRUE(gauge::horizontalFill(inner, 0).isEmpty());
  // Vertical: from the bottom, never the whole height.
  EXPECT_EQ(gauge::verticalFill(inner, 100), (gauge::Rect{1, 1, 257, 42}));
  EXPECT_EQ(gauge::verticalFill(inner, 50), (gauge::Rect{1, 21, 257, 42}));
  EXPECT_TRUE(gauge::verticalFill(inner, 0).isEmpty());
  const gauge::Point at = gauge::textOrigin(inner, 30, 17);
  EXPECT_EQ(at.x, 113);
  EXPECT_EQ(at.y, 12);
  EXPECT_EQ(gauge::percentText(45), "45%");
}

TEST(Gauge, DefaultsClampingAndRepaints) {
  TGauge g;
  EXPECT_EQ(g.size(), QSize(100, 100));
  EXPECT_EQ(g.Kind(), gkHorizontalBar);
  EXPECT_TRUE(g.ShowText());
  EXPECT_EQ(g.BorderStyle(), bsSingle);
  EXPECT_EQ(g.ForeColor(), QColor(Qt::black));
  EXPECT_EQ(g.BackColor(), QColor(Qt::white));
  EXPECT_EQ(g.MinValue(), 0);
  EXPECT_EQ(g.MaxValue(), 100);

  g.setProgress(150);
  EXPECT_EQ(g.Progress(), 100);
  EXPECT_EQ(g.Percentage(), 100);
  g.setProgress(-5);
  EXPECT_EQ(g.Progress(), 0);

  g.setMaxValue(300);
  g.setProgress(99);  // 33 %
  int before = g.repaintCount();
  g.setProgress(101);  // still 33 %
  EXPECT_EQ(g.repaintCount(), before);
  g.setProgress(102);  // 34 %
  EXPECT_EQ(g.repaintCount(), before + 1);
  before = g.repaintCount();
  g.setForeColor(Qt::black);  // unchanged
  EXPECT_EQ(g.repaintCount(), before);
}

TEST(Gauge, BoundsCannotCrossUnlessLoading) {
  TGauge g;
  g.setProgress(50);
  EXPECT_EQ(errorOf([&] { g.setMinValue(200); }), "Value must be between -2147483647 and 99");
  EXPECT_EQ(errorOf([&] { g.setMaxValue(-1); }), "Value must be between 1 and 2147483647");
  EXPECT_EQ(g.MinValue(), 0);
  g.setMinValue(60);  // progress follows
  EXPECT_EQ(g.Progress(), 60);
  g.setMaxValue(70);
  g.setProgress(70);
  g.setMaxValue(65);
  EXPECT_EQ(g.Progress(), 65);
  g.setMinValue(65);
  EXPECT_EQ(g.Percentage(), 0);

  TGauge loading;
  loading.setLoading(true);
  loading.setMinValue(200);
  loading.setMaxValue(300);
  loading.setLoading(false);
  EXPECT_EQ(loading.MinValue(), 200);
}

TEST(Gauge, TextIsBlackOverWhiteAndYellowOverTheBlueBar) {
  TGauge g;
  g.resize(258, 43);
  g.setForeColor(Qt::blue);
  QFont font("Arial");
  font.setPixelSize(15);
  g.setFont(font);
  g.setProgress(50);
  const QImage image = g.render();
  ASSERT_EQ(image.size(), QSize(258, 43));

  const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255), blue = qRgb(0, 0, 255),
             yellow = qRgb(255, 255, 0);
  EXPECT_EQ(image.pixel(0, 0), black);
  EXPECT_EQ(image.pixel(257, 42), black);
  EXPECT_EQ(image.pixel(5, 5), blue);
  EXPECT_EQ(image.pixel(127, 5), blue);
  EXPECT_EQ(image.pixel(128, 5), white);
  EXPECT_EQ(image.pixel(250, 40), white);
  bool yellowText = false, blackText = false;
  std::set<QRgb> colours;
  for (int y = 1; y < 42; ++y)
    for (int x = 1; x < 257; ++x) {
      const QRgb c = image.pixel(x, y);
      colours.insert(c);
      if (x < 128 && c == yellow) yellowText = true;
      if (x >= 128 && c == black) blackText = true;
    }
  EXPECT_TRUE(yellowText);
  EXPECT_TRUE(blackText);
  EXPECT_EQ(colours, (std::set<QRgb>{black, white, blue, yellow}));

  // Without text the bar alone.
  g.setShowText(false);
  const QImage bare = g.render();
  for (int x = 1; x < 257; ++x) EXPECT_EQ(bare.pixel(x, 21), x < 128 ? blue : white) << x;
}

TEST(Gauge, EveryKindPaintsWithinItsFrame) {
  for (TGaugeKind kind : {gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle}) {
    TGauge g;
    g.setKind(kind);
    for (int p : {0, 1, 50, 99, 100}) {
      g.setProgress(p);
      const QImage image = g.render();
      for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(image.pixel(i, 0), qRgb(0, 0, 0));
        EXPECT_EQ(image.pixel(0, i), qRgb(0, 0, 0));
        EXPECT_EQ(image.pixel(99, i), qRgb(0, 0, 0));
      }
    }
    g.setBorderStyle(bsNone);
    g.setShowText(false);
    g.setProgress(0);
    // Without a border, the bar's background reaches the edge.
    if (kind == gkText || kind == gkHorizontalBar || kind == gkVerticalBar) {
      EXPECT_EQ(g.render().pixel(50, 0), qRgb(255, 255, 255)) << kind;
    }
  }
}

}  // namespace
}  // namespace dataimport
