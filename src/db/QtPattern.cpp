#include "QtPattern.h"

#include <QLocale>
#include <charconv>
#include <memory>

namespace db {

void QtPattern::appendTo(QString& out, const QDate& date, const QTime& time) const {
  if (!simple_) {
    const QLocale c = QLocale::c();
    out += date.isValid() ? c.toString(date, pattern_) : c.toString(time, pattern_);
    return;
  }
  // The calendar parts worked out once (an invalid date has 0 for each, as QDate says).
  int year = 0, month = 0, day = 0;
  if (date.isValid()) date.getDate(&year, &month, &day);
  appendParts(out, {year, month, day, time.hour(), time.minute(), time.second(), time.msec()});
}

bool QtPattern::appendParts(QString& out, const CivilParts& p) const {
  if (!simple_) return false;
  for (const Element& e : elements_) {
    switch (e.kind) {
      case 'L':
        out += e.literal;
        break;
      case 'y':
        number(out, e.width == 2 ? p.year % 100 : p.year, e.width);
        break;
      case 'M':
        number(out, p.month, e.width);
        break;
      case 'd':
        number(out, p.day, e.width);
        break;
      case 'H':
        number(out, p.hour, e.width);
        break;
      case 'm':
        number(out, p.minute, e.width);
        break;
      case 's':
        number(out, p.second, e.width);
        break;
      case 'z':
        number(out, p.msec, 3);
        break;
    }
  }
  return true;
}

void QtPattern::number(QString& out, int value, int width) {
  if (value < 0) {
    out += u'-';
    value = -value;
  }
  char buffer[16];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  for (int pad = width - int(r.ptr - buffer); pad > 0; --pad) out += u'0';
  out += QLatin1String(buffer, r.ptr - buffer);
}

void QtPattern::compile() {
  const QString& p = pattern_;
  for (qsizetype i = 0; i < p.size();) {
    const QChar c = p[i];
    qsizetype run = 1;
    while (i + run < p.size() && p[i + run] == c) ++run;
    const char16_t u = c.unicode();
    bool ok = false;
    switch (u) {
      case 'y':
        ok = run == 2 || run == 4;
        break;
      case 'M':
      case 'd':
      case 'H':
      case 'm':
      case 's':
        ok = run <= 2;
        break;
      case 'z':
        ok = run == 3;
        break;
      default:
        // Quotes, 12-hour clocks, day periods, names and time zones are QLocale's.
        if (c.isLetter() || c == u'\'') {
          simple_ = false;
          return;
        }
        elements_.push_back({'L', 0, p.mid(i, run)});
        i += run;
        continue;
    }
    if (!ok) {
      simple_ = false;
      return;
    }
    elements_.push_back({char(u), int(run), QString()});
    i += run;
  }
}

const QtPattern& compiled(const QString& pattern) {
  thread_local std::vector<std::unique_ptr<QtPattern>> cache;
  for (const auto& p : cache)
    if (p->pattern() == pattern) return *p;
  if (cache.size() >= 8) cache.erase(cache.begin());
  cache.push_back(std::make_unique<QtPattern>(pattern));
  return *cache.back();
}

}  // namespace db
