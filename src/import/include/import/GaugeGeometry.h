// The value rules and the geometry of the gauge, apart from any painting, so that they
// can be checked without a display. Rectangles are given as left, top, right, bottom
// with right and bottom outside the rectangle.
#pragma once

#include <QString>

namespace dataimport::gauge {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool isEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// Whole percent of `progress` within min..max, truncated; 0 when the range is empty.
int percentage(int progress, int minValue, int maxValue);
// `value` moved into min..max.
int clampProgress(int value, int minValue, int maxValue);

// The errors of setting a bound across the other one.
QString minValueError(int maxValue);  // "Value must be between -2147483647 and max - 1"
QString maxValueError(int minValue);  // "Value must be between min + 1 and 2147483647"

// The client rectangle, less one pixel on every side with a single border.
Rect innerRect(int width, int height, bool border);
// W and H of the drawing rules: right - left + 1 and bottom - top + 1 of `inner`.
int innerWidth(const Rect& inner);
int innerHeight(const Rect& inner);

// The part of a horizontal bar filled with the fore colour; empty below 1 pixel.
Rect horizontalFill(const Rect& inner, int percent);
// The part of a vertical bar filled with the fore colour, growing from the bottom.
Rect verticalFill(const Rect& inner, int percent);

// Top left corner of the percentage text of the given size.
struct Point {
  int x = 0;
  int y = 0;
};
Point textOrigin(const Rect& inner, int textWidth, int textHeight);

// "45%".
QString percentText(int percent);

}  // namespace dataimport::gauge
