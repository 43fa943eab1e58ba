#include "import/ResavedFloat.h"

#include <db/ValueText.h>

#include <charconv>
#include <cmath>

namespace dataimport {
namespace {

// NaN where the rounding leaves the doubles (next to the largest one): alike to nothing.
double in15Digits(double x) {
  char digits[32];
  const auto printed =
      std::to_chars(digits, digits + sizeof digits, x, std::chars_format::general, 15);
  double rounded = 0;
  if (std::from_chars(digits, printed.ptr, rounded).ec != std::errc()) return std::nan("");
  return rounded;
}

}  // namespace

bool resavedAlike(db::FieldType type, const QVariant& fromFile, const QVariant& kept) {
  if (db::basicKind(type) != db::BasicKind::Floating) return false;
  if (db::typeIdOf(fromFile) != QMetaType::Double || db::typeIdOf(kept) != QMetaType::Double)
    return false;
  const double a = fromFile.toDouble(), b = kept.toDouble();
  if (!std::isfinite(a) || !std::isfinite(b)) return false;
  return in15Digits(a) == in15Digits(b);
}

}  // namespace dataimport
