// The texts the workbook driver gives a sheet's cells, the import converting them by
// the POS column's type as it converts an Access table's texts: numbers in their
// shortest exact form ("123", not "123.0"), date cells as ISO 8601 date-times, booleans
// as "True" and "False", error cells as their code ("#N/A"). A sheet of a hundred
// thousand rows has about a million of them, so the common ones are written digit by
// digit rather than through the locale-aware number and date formatting.
#pragma once

#include <QString>
#include <optional>

namespace xlsx {
struct Cell;
}

namespace db {

// A number as the driver writes it: a whole number up to 2^53 in plain digits, a
// decimal from 1e-6 up to 1e15 in plain shortest form (0.00001, not 1e-05), anything
// else in the shortest form with an exponent where that is shorter.
QString sheetNumberText(double value);

// The ISO 8601 date-time ("yyyy-MM-ddTHH:mm:ss", ".zzz" only where there are
// milliseconds) a day count stands for in the workbook's date system, as
// xlsx::Workbook::dateOf reads it; none where it stands for no date.
std::optional<QString> sheetDateText(double serial, bool date1904);

// The cell's text; `null` says it has no value (an empty cell).
QString sheetCellText(const xlsx::Cell& cell, bool date1904, bool& null);

}  // namespace db
