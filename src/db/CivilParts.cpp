#include "CivilParts.h"

namespace db {

void civilDay(qint64 days, CivilParts& p) {
  // Days since 0000-03-01 in 400-year eras (whose days are always the same number),
  // then the year of the era, the day of that year counted from March (so that the
  // leap day falls at a year's end) and the month.
  const qint64 shifted = days + 719468;
  const qint64 era = shifted / 146097;
  const qint64 dayOfEra = shifted - era * 146097;
  const qint64 yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const qint64 m = (5 * dayOfYear + 2) / 153;
  p.day = int(dayOfYear - (153 * m + 2) / 5 + 1);
  p.month = int(m < 10 ? m + 3 : m - 9);
  p.year = int(yearOfEra + era * 400 + (p.month <= 2 ? 1 : 0));
}

bool civilParts(const QDateTime& dt, CivilParts& p) {
  if (dt.timeSpec() != Qt::UTC || !dt.isValid()) return false;
  constexpr qint64 kMsPerDay = 86400000;
  constexpr qint64 kFirstDay = -719162;  // 0001-01-01 counted from 1970-01-01
  const qint64 ms = dt.toMSecsSinceEpoch();
  qint64 days = ms / kMsPerDay;
  qint64 rest = ms % kMsPerDay;
  if (rest < 0) rest += kMsPerDay, --days;
  if (days < kFirstDay) return false;
  civilDay(days, p);
  p.hour = int(rest / 3600000);
  p.minute = int(rest / 60000 % 60);
  p.second = int(rest / 1000 % 60);
  p.msec = int(rest % 1000);
  return true;
}

}  // namespace db
