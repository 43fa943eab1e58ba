// A date and time as "yyyy-MM-dd HH:mm:ss[.zzz]" (or with another character between the
// date and the time), written digit by digit: drivers write one per row and cell, and
// the general date formatting costs more than the rest of the work on the value.
#pragma once

#include <QDateTime>
#include <QString>

namespace db {

// For years 1 to 9999; the milliseconds only where there are some.
QString isoDateTime(const QDateTime& at, char16_t between);
// The same of a date's fields and the milliseconds into its day.
QString isoDateTime(qint64 year, int month, int day, int msOfDay, char16_t between);

// The form above read back ("2024-02-29T13:05:09.997", a blank for the T, or the date
// alone), without the expression that reads the ISO forms at large: an import from a
// workbook reads one per date cell. Only two-digit fields and ASCII digits; false,
// with nothing decided, for any other text. `date` or `time` come back invalid for a
// day or a time of day that does not exist.
bool readIsoDateTime(const QString& s, QDate& date, QTime& time);

}  // namespace db
