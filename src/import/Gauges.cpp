#include "import/Gauges.h"

#include "import/GaugeGeometry.h"

#include <platform/Error.h>

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

namespace dataimport {
namespace {

QRect toQRect(const gauge::Rect& r) {
  return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

QImage blackImage(const QSize& size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  return image;
}

void combineXor(QImage& into, const QImage& from) {
  QPainter p(&into);
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.drawImage(0, 0, from);
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  resize(100, 100);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::changed() {
  ++repaints_;
  update();
}

void TGauge::setKind(TGaugeKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  changed();
}

void TGauge::setShowText(bool show) {
  if (show == showText_) return;
  showText_ = show;
  changed();
}

void TGauge::setBorderStyle(TBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  changed();
}

void TGauge::setForeColor(const QColor& color) {
  if (color == foreColor_) return;
  foreColor_ = color;
  changed();
}

void TGauge::setBackColor(const QColor& color) {
  if (color == backColor_) return;
  backColor_ = color;
  changed();
}

void TGauge::setMinValue(int value) {
  if (value == minValue_) return;
  if (value > maxValue_ && !loading_) throw platform::Error(gauge::minValueError(maxValue_));
  minValue_ = value;
  if (progress_ < value) progress_ = value;
  changed();
}

void TGauge::setMaxValue(int value) {
  if (value == maxValue_) return;
  if (value < minValue_ && !loading_) throw platform::Error(gauge::maxValueError(minValue_));
  maxValue_ = value;
  if (progress_ > value) progress_ = value;
  changed();
}

void TGauge::setProgress(int value) {
  const int clamped = gauge::clampProgress(value, minValue_, maxValue_);
  if (clamped == progress_) return;
  const int before = Percentage();
  progress_ = clamped;
  if (Percentage() != before) changed();
}

int TGauge::Percentage() const {
  return gauge::percentage(progress_, minValue_, maxValue_);
}

void TGauge::paintKind(QImage& image) const {
  const gauge::Rect inner = gauge::innerRect(width(), height(), borderStyle_ == bsSingle);
  const QRect area = toQRect(inner);
  const int percent = Percentage();
  QPainter p(&image);
  switch (kind_) {
    case gkText:
      p.fillRect(area, backColor_);
      break;
    case gkHorizontalBar: {
      p.fillRect(area, backColor_);
      const gauge::Rect fill = gauge::horizontalFill(inner, percent);
      if (!fill.isEmpty()) p.fillRect(toQRect(fill), foreColor_);
      break;
    }
    case gkVerticalBar: {
      p.fillRect(area, backColor_);
      const gauge::Rect fill = gauge::verticalFill(inner, percent);
      if (!fill.isEmpty()) p.fillRect(toQRect(fill), foreColor_);
      break;
    }
    case gkPie: {
      p.fillRect(area, palette().color(backgroundRole()));
      p.setRenderHint(QPainter::Antialiasing, false);
      p.setPen(foreColor_);
      p.setBrush(backColor_);
      const QRect circle = area.adjusted(0, 0, -1, -1);
      p.drawEllipse(circle);
      if (percent > 0) {
        // A slice growing clockwise from the top, percent of the full turn.
        p.setBrush(foreColor_);
        p.drawPie(circle, 90 * 16, -int(std::lround(percent * 3.6 * 16)));
      }
      break;
    }
    case gkNeedle: {
      p.fillRect(area, palette().color(backgroundRole()));
      p.setPen(foreColor_);
      p.setBrush(backColor_);
      // A half-ellipse dial standing on the bottom edge; the needle turns from the
      // left end of the base (0 %) to the right end (100 %).
      const QRect dial(area.left(), area.top(), area.width() - 1, 2 * area.height() - 2);
      p.drawChord(dial, 0, 180 * 16);
      const int baseY = area.top() + area.height() - 1;
      p.drawLine(area.left(), baseY, area.right(), baseY);
      if (percent > 0) {
        const double angle = M_PI * percent / 100.0;
        const double cx = area.left() + (area.width() - 1) / 2.0;
        const int x = int(std::lround(cx - std::cos(angle) * (area.width() - 1) / 2.0));
        const int y = int(std::lround(baseY - std::sin(angle) * (area.height() - 1)));
        p.drawLine(int(std::lround(cx)), baseY, x, y);
      }
      break;
    }
  }
}

QImage TGauge::render() const {
  const gauge::Rect inner = gauge::innerRect(width(), height(), borderStyle_ == bsSingle);
  QImage picture = blackImage(size());
  QImage kind = blackImage(size());
  paintKind(kind);
  combineXor(picture, kind);
  if (showText_) {
    const QString text = gauge::percentText(Percentage());
    // Whole pixels only: a blended edge would come out of the exclusive or in colours
    // that belong to neither side.
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(textFont);
    const gauge::Point at =
        gauge::textOrigin(inner, metrics.horizontalAdvance(text), metrics.height());
    QImage textImage = blackImage(size());
    {
      QPainter p(&textImage);
      p.setClipRect(toQRect(inner));
      p.setFont(textFont);
      p.setPen(Qt::white);
      p.drawText(at.x, at.y + metrics.ascent(), text);
    }
    combineXor(picture, textImage);
  }
  return picture;
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, render());
}

}  // namespace dataimport
