// Dates taken apart by arithmetic on their count of days rather than through the
// calendar classes: the date of every exported cell and of every date cell a workbook
// holds is taken apart here.
#pragma once

#include <QDateTime>

namespace db {

// A date and time taken apart.
struct CivilParts {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

// The Gregorian date `days` after 1970-01-01 (0001-01-01 or later) into the date parts
// of `p`.
void civilDay(qint64 days, CivilParts& p);

// The parts of a valid date and time in Qt::UTC from its milliseconds. False for other
// time specs and for years before 1, which are left to QDate.
bool civilParts(const QDateTime& dt, CivilParts& p);

}  // namespace db
