#include "SheetCellText.h"

#include "CivilParts.h"
#include "IsoDateTime.h"

#include <xlsx/XlsxReader.h>

#include <charconv>
#include <cmath>

namespace db {
namespace {

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
  const std::optional<xlsx::Workbook::SerialDay> at = xlsx::Workbook::serialDay(serial, date1904);
  if (!at) return std::nullopt;
  CivilParts date;
  civilDay(at->day, date);
  return isoDateTime(date.year, date.month, date.day, at->msOfDay, u'T');
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
