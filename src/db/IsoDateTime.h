// A date and time as "yyyy-MM-dd HH:mm:ss[.zzz]" (or with another character between the
// date and the time), written digit by digit: drivers write one per row and cell, and
// the general date formatting costs more than the rest of the work on the value.
#pragma once

#include <QDateTime>
#include <QString>

namespace db {

// For years 1 to 9999; the milliseconds only where there are some.
QString isoDateTime(const QDateTime& at, char16_t between);

}  // namespace db
