#include "IsoDateTime.h"

namespace db {

QString isoDateTime(const QDateTime& at, char16_t between) {
  const QDate d = at.date();
  const QTime t = at.time();
  char16_t text[23];
  const auto put = [&text](int from, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) text[from + i] = char16_t(u'0' + value % 10);
  };
  put(0, d.year(), 4);
  text[4] = u'-';
  put(5, d.month(), 2);
  text[7] = u'-';
  put(8, d.day(), 2);
  text[10] = between;
  put(11, t.hour(), 2);
  text[13] = u':';
  put(14, t.minute(), 2);
  text[16] = u':';
  put(17, t.second(), 2);
  if (t.msec() == 0) return QString(reinterpret_cast<const QChar*>(text), 19);
  text[19] = u'.';
  put(20, t.msec(), 3);
  return QString(reinterpret_cast<const QChar*>(text), 23);
}

}  // namespace db
