#include "import/GaugeGeometry.h"

#include <algorithm>
#include <climits>

namespace dataimport::gauge {

int percentage(int progress, int minValue, int maxValue) {
  if (maxValue == minValue) return 0;
  const double part = double(progress) - double(minValue);
  const double range = double(maxValue) - double(minValue);
  return int(100.0 * part / range);
}

int clampProgress(int value, int minValue, int maxValue) {
  return std::max(minValue, std::min(value, maxValue));
}

QString minValueError(int maxValue) {
  return QStringLiteral("Value must be between %1 and %2").arg(-INT_MAX).arg(qint64(maxValue) - 1);
}

QString maxValueError(int minValue) {
  return QStringLiteral("Value must be between %1 and %2").arg(qint64(minValue) + 1).arg(INT_MAX);
}

Rect innerRect(int width, int height, bool border) {
  const int b = border ? 1 : 0;
  return {b, b, width - b, height - b};
}

int innerWidth(const Rect& inner) {
  return inner.right - inner.left + 1;
}

int innerHeight(const Rect& inner) {
  return inner.bottom - inner.top + 1;
}

Rect horizontalFill(const Rect& inner, int percent) {
  const int w = innerWidth(inner);
  const int fill = std::min(int(w * (percent * 0.01)), w);
  if (fill < 1) return {inner.left, inner.top, inner.left, inner.top};
  return {inner.left, inner.top, fill, innerHeight(inner)};
}

Rect verticalFill(const Rect& inner, int percent) {
  const int h = innerHeight(inner);
  const int fill = std::min(int(h * (percent * 0.01)), h - 1);
  return {inner.left, h - fill, innerWidth(inner), h};
}

Point textOrigin(const Rect& inner, int textWidth, int textHeight) {
  return {(innerWidth(inner) - textWidth) / 2, (innerHeight(inner) - textHeight) / 2};
}

QString percentText(int percent) {
  return QStringLiteral("%1%").arg(percent);
}

}  // namespace dataimport::gauge
