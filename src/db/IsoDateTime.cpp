#include "IsoDateTime.h"

namespace db {

QString isoDateTime(qint64 year, int month, int day, int msOfDay, char16_t between) {
  char16_t text[23];
  const auto put = [&text](int from, qint64 value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) text[from + i] = char16_t(u'0' + value % 10);
  };
  const int ms = msOfDay % 1000;
  const int seconds = msOfDay / 1000;
  put(0, year, 4);
  text[4] = u'-';
  put(5, month, 2);
  text[7] = u'-';
  put(8, day, 2);
  text[10] = between;
  put(11, seconds / 3600, 2);
  text[13] = u':';
  put(14, seconds / 60 % 60, 2);
  text[16] = u':';
  put(17, seconds % 60, 2);
  if (ms == 0) return QString(reinterpret_cast<const QChar*>(text), 19);
  text[19] = u'.';
  put(20, ms, 3);
  return QString(reinterpret_cast<const QChar*>(text), 23);
}

QString isoDateTime(const QDateTime& at, char16_t between) {
  const QDate d = at.date();
  return isoDateTime(d.year(), d.month(), d.day(), at.time().msecsSinceStartOfDay(), between);
}

bool readIsoDateTime(const QString& s, QDate& date, QTime& time) {
  const qsizetype n = s.size();
  if (n != 10 && n < 19) return false;
  const auto digits = [&s](qsizetype from, int count, int& value) {
    value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
      const char16_t c = s.at(i).unicode();
      if (c < u'0' || c > u'9') return false;
      value = value * 10 + (c - u'0');
    }
    return true;
  };
  int year = 0, month = 0, day = 0;
  if (!digits(0, 4, year) || s.at(4) != u'-' || !digits(5, 2, month) || s.at(7) != u'-' ||
      !digits(8, 2, day))
    return false;
  int hour = 0, minute = 0, second = 0, msec = 0;
  if (n > 10) {
    if ((s.at(10) != u'T' && s.at(10) != u' ') || !digits(11, 2, hour) || s.at(13) != u':' ||
        !digits(14, 2, minute) || s.at(16) != u':' || !digits(17, 2, second))
      return false;
    if (n > 19) {
      // A fraction of 1 to 9 digits, its first three the milliseconds.
      if (n < 21 || n > 29 || (s.at(19) != u'.' && s.at(19) != u',')) return false;
      int fraction = 0;
      if (!digits(20, int(n - 20), fraction)) return false;
      for (qsizetype length = n - 20; length > 3; --length) fraction /= 10;
      for (qsizetype length = n - 20; length < 3; ++length) fraction *= 10;
      msec = fraction;
    }
  }
  date = QDate(year, month, day);
  time = QTime(hour, minute, second, msec);
  return true;
}

}  // namespace db
