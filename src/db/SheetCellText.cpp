#include "SheetCellText.h"

#include "IsoDateTime.h"

#include <xlsx/XlsxReader.h>

#include <charconv>
#include <cmath>

namespace db {
namespace {

constexpr qint64 kMsPerDay = 86400000;
// Days from 1970-01-01 to the first day each date system counts from, and to the last
// date a cell may hold (9999-12-31).
constexpr qint64 kDay1904 = -24107;      // 1904-01-01
constexpr qint64 kDay1900 = -25568;      // 1899-12-31, serial 0
constexpr qint64 kDay1900Late = -25569;  // 1899-12-30: from serial 61 on, a day fewer
constexpr qint64 kLastDay = 2932896;

struct Civil {
  qint64 year;
  int month;
  int day;
};

// The Gregorian date `days` after 1970-01-01, counted in whole 400-year cycles (whose
// days are always the same number) with March first in each year, so that the leap day
// falls at a year's end.
Civil civilOf(qint64 days) {
  const qint64 z = days + 719468;  // from 0000-03-01
  const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
  const qint64 dayOfEra = z - era * 146097;
  const qint64 yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const qint64 monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int day = int(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const int month = int(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

QString latin1(const char* text, size_t length) {
  return QString::fromLatin1(text, qsizetype(length));
}

}  // namespace

QString sheetNumberText(double value) {
  char text[64];
  const double magnitude = std::abs(value);
  // A whole number in plain digits: the shortest form would write 200000 as "2e+05",
  // which no integer column takes and no operator typed.
  if (magnitude <= 9007199254740992.0 && std::trunc(value) == value) {
    const auto r = std::to_chars(text, text + sizeof text, qint64(value));
    return latin1(text, size_t(r.ptr - text));
  }
  // Plain decimals as an operator types them (0.00001, not 1e-05), the exponent only
  // where the digits would run long. Below 1e15 a double that is not whole has steps
  // finer than one, so the shortest digits that read back always reach the decimal
  // point, and the plain form shows them as they are.
  if (magnitude >= 1e-6 && magnitude < 1e15) {
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (r.ec == std::errc()) return latin1(text, size_t(r.ptr - text));
  }
  return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<QString> sheetDateText(double serial, bool date1904) {
  if (!std::isfinite(serial) || serial < 0 || serial > 1e7) return std::nullopt;
  const qint64 ms = qint64(std::llround(serial * double(kMsPerDay)));
  const qint64 days = ms / kMsPerDay;
  const int msOfDay = int(ms % kMsPerDay);
  qint64 day;
  if (date1904)
    day = kDay1904 + days;
  else if (days < 60)
    day = kDay1900 + days;
  else if (days == 60)
    return std::nullopt;  // 1900-02-29, which the 1900 system counts and no calendar has
  else
    day = kDay1900Late + days;
  if (day > kLastDay) return std::nullopt;
  const Civil date = civilOf(day);
  return isoDateTime(date.year, date.month, date.day, msOfDay, u'T');
}

QString sheetCellText(const xlsx::Cell& cell, bool date1904, bool& null) {
  null = false;
  switch (cell.kind) {
    case xlsx::Cell::Kind::Empty:
      null = true;
      return QString();
    case xlsx::Cell::Kind::Text:
    case xlsx::Cell::Kind::Error:
      return cell.text;
    case xlsx::Cell::Kind::Boolean:
      return cell.boolean ? QStringLiteral("True") : QStringLiteral("False");
    case xlsx::Cell::Kind::Number:
      if (cell.dateFormatted)
        if (std::optional<QString> date = sheetDateText(cell.number, date1904))
          return std::move(*date);
      return sheetNumberText(cell.number);
  }
  return QString();
}

}  // namespace db
