#include "DateTimeFormat.h"

#include <db/ValueText.h>
#include <platform/RegionalSettings.h>

#include <QLocale>
#include <QTime>

namespace exportengine {

namespace {

void appendNumber(QString& out, int value, int width) {
  const QString digits = QString::number(value);
  if (digits.size() < width) out += QString(width - digits.size(), u'0');
  out += digits;
}

bool startsWithNoCase(QStringView text, qsizetype at, const char* word) {
  const QLatin1String w(word);
  return text.mid(at, w.size()).compare(w, Qt::CaseInsensitive) == 0;
}

// Whether the pattern (outside quotes) holds an am/pm element.
bool twelveHour(QStringView pattern) {
  QChar quote;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if ((c == u'a' || c == u'A') &&
               (startsWithNoCase(pattern, i, "am/pm") || startsWithNoCase(pattern, i, "a/p") ||
                startsWithNoCase(pattern, i, "ampm"))) {
      return true;
    }
  }
  return false;
}

// Whether the text starts with a date: three numbers of one to four digits apart by
// separators that are neither the time's colon nor blanks.
bool startsWithDate(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i].isSpace()) ++i;
  for (int part = 0; part < 3; ++part) {
    const qsizetype start = i;
    while (i < n && text[i].isDigit() && i - start < 4) ++i;
    if (i == start) return false;
    if (part == 2) break;
    if (i >= n || text[i].isDigit() || text[i] == u':' || text[i].isSpace()) return false;
    ++i;
  }
  return true;
}

QString shortDateText(const QDateTime& value, const platform::RegionalSettings& rs,
                      const QString& defaultDate) {
  return FormatDateTime(value, defaultDate, rs, defaultDate, QString());
}

}  // namespace

QString FormatDateTime(const QDateTime& value, QStringView pattern,
                       const platform::RegionalSettings& rs, const QString& defaultDate,
                       const QString& defaultTime) {
  const QDate date = value.date();
  const QTime time = value.time();
  if (pattern.isEmpty()) pattern = u"c";
  const bool hours12 = twelveHour(pattern);
  const QLocale& locale = rs.locale;
  QString out;
  out.reserve(pattern.size() + 8);
  bool afterHour = false;
  for (qsizetype i = 0; i < pattern.size();) {
    const QChar ch = pattern[i];
    if (ch == u'"' || ch == u'\'') {
      qsizetype end = pattern.indexOf(ch, i + 1);
      if (end < 0) end = pattern.size();
      out += pattern.mid(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    if (ch == u'a' || ch == u'A') {
      const bool pm = time.hour() >= 12;
      if (startsWithNoCase(pattern, i, "am/pm")) {
        const QStringView written = pattern.mid(i + (pm ? 3 : 0), 2);
        out += written;
        i += 5;
        continue;
      }
      if (startsWithNoCase(pattern, i, "a/p")) {
        out += pattern[i + (pm ? 2 : 0)];
        i += 3;
        continue;
      }
      if (startsWithNoCase(pattern, i, "ampm")) {
        out += pm ? locale.pmText() : locale.amText();
        i += 4;
        continue;
      }
    }
    const QChar lower = ch.toLower();
    qsizetype run = 1;
    while (i + run < pattern.size() && pattern[i + run].toLower() == lower) ++run;
    bool hour = false;
    bool element = true;
    switch (lower.unicode()) {
      case 'y':
        if (run <= 2)
          appendNumber(out, date.year() % 100, 2);
        else
          appendNumber(out, date.year(), 4);
        break;
      case 'm':
        if (afterHour && run <= 2) {
          appendNumber(out, time.minute(), int(run));
        } else if (run <= 2) {
          appendNumber(out, date.month(), int(run));
        } else {
          out +=
              locale.monthName(date.month(), run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        }
        break;
      case 'd':
        if (run <= 2)
          appendNumber(out, date.day(), int(run));
        else if (run == 3)
          out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
        else if (run == 4)
          out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
        else if (run == 5)
          out += shortDateText(value, rs, defaultDate);
        else
          out += locale.toString(date, QLocale::LongFormat);
        break;
      case 'h': {
        int h = time.hour();
        if (hours12) h = h % 12 == 0 ? 12 : h % 12;
        appendNumber(out, h, run >= 2 ? 2 : 1);
        hour = true;
        break;
      }
      case 'n':
        appendNumber(out, time.minute(), run >= 2 ? 2 : 1);
        break;
      case 's':
        appendNumber(out, time.second(), run >= 2 ? 2 : 1);
        break;
      case 'z':
        appendNumber(out, time.msec(), run >= 3 ? 3 : 1);
        break;
      case 't':
        if (run == 1)
          out += FormatDateTime(value, defaultTime, rs, defaultDate, defaultTime);
        else
          out +=
              FormatDateTime(value, PatternFromQt(rs.longTimeFormat), rs, defaultDate, defaultTime);
        break;
      case 'c':
        out += shortDateText(value, rs, defaultDate);
        if (time != QTime(0, 0)) {
          out += u' ';
          out +=
              FormatDateTime(value, PatternFromQt(rs.longTimeFormat), rs, defaultDate, defaultTime);
        }
        break;
      case '/':
        out += QString(run, rs.dateSeparator);
        element = false;
        break;
      case ':':
        out += QString(run, rs.timeSeparator);
        element = false;
        break;
      default:
        out += pattern.mid(i, run);
        element = false;
        break;
    }
    // Separators and literals between an hour and a following m keep it a minute.
    if (element) afterHour = hour;
    i += run;
  }
  return out;
}

namespace {

// An ASCII number of 1 to `most` digits at `i`; -1 when there is none.
int readNumber(QStringView t, qsizetype& i, int most, int* digits = nullptr) {
  const qsizetype start = i;
  int value = 0;
  while (i < t.size() && i - start < most && t[i] >= u'0' && t[i] <= u'9')
    value = value * 10 + (t[i++].unicode() - '0');
  if (digits) *digits = int(i - start);
  return i == start ? -1 : value;
}

// h:mm, h:mm:ss or h:mm:ss.fff up to the end of `t`; invalid when it is anything else.
QTime readClock(QStringView t, qsizetype i) {
  const int h = readNumber(t, i, 2);
  if (h < 0 || i >= t.size() || t[i++] != u':') return {};
  const int m = readNumber(t, i, 2);
  int s = 0;
  int ms = 0;
  if (m < 0) return {};
  if (i < t.size() && t[i] == u':') {
    s = readNumber(t, ++i, 2);
    if (s < 0) return {};
    if (i < t.size() && (t[i] == u'.' || t[i] == u',')) {
      int digits = 0;
      ms = readNumber(t, ++i, 9, &digits);
      if (ms < 0) return {};
      while (digits > 3) ms /= 10, --digits;
      while (digits < 3) ms *= 10, ++digits;
    }
  }
  if (i != t.size()) return {};
  return QTime(h, m, s, ms);
}

// The forms the program writes itself (the regional short date with a four-digit
// year, a 24-hour time) read without the general reader, which takes far longer.
// Anything else is left to the general reader: nullopt.
std::optional<QDateTime> readCommonForm(const QString& text) {
  const platform::RegionalSettings& rs = platform::RegionalSettings::current();
  const QStringView t(text);
  if (t.isEmpty() || t.front().isSpace() || t.back().isSpace()) return std::nullopt;
  // Dashes may start an ISO date, whose order is not the regional one.
  auto separator = [&](QChar c) {
    return c != u'-' && (c == u'/' || c == u'.' || c == rs.dateSeparator);
  };
  qsizetype i = 0;
  int parts[3];
  int yearDigits = 0;
  const qsizetype yearAt = rs.shortDateFormat.indexOf(u'y');
  const qsizetype monthAt = rs.shortDateFormat.indexOf(u'M');
  const qsizetype dayAt = rs.shortDateFormat.indexOf(u'd');
  if (yearAt < 0 || monthAt < 0 || dayAt < 0) return std::nullopt;
  const int yearSlot = int(yearAt > monthAt) + int(yearAt > dayAt);
  const int monthSlot = int(monthAt > yearAt) + int(monthAt > dayAt);
  const int daySlot = 3 - yearSlot - monthSlot;
  if (daySlot < 0 || daySlot > 2 || yearSlot == monthSlot) return std::nullopt;
  for (int p = 0; p < 3; ++p) {
    int digits = 0;
    parts[p] = readNumber(t, i, 4, &digits);
    if (parts[p] < 0) return std::nullopt;
    if (p == yearSlot) yearDigits = digits;
    if (p < 2) {
      if (i >= t.size() || !separator(t[i])) return std::nullopt;
      ++i;
    }
  }
  if (yearDigits != 4) return std::nullopt;
  const QDate date(parts[yearSlot], parts[monthSlot], parts[daySlot]);
  if (!date.isValid()) return std::nullopt;
  if (i == t.size()) return db::ValueText::naive(date);
  if (t[i] != u' ') return std::nullopt;
  const QTime clock = readClock(t, i + 1);
  if (!clock.isValid()) return std::nullopt;
  return db::ValueText::naive(date, clock);
}

}  // namespace

std::optional<DateTimeReading> ReadDateTime(const QString& text) {
  if (const auto common = readCommonForm(text)) return DateTimeReading{*common, true};
  const QDateTime value = db::ValueText::parseDateTime(text);
  if (!value.isValid()) return std::nullopt;
  return DateTimeReading{value, startsWithDate(text)};
}

QString PatternFromQt(QStringView qt) {
  QString out;
  for (qsizetype i = 0; i < qt.size();) {
    const QChar ch = qt[i];
    qsizetype run = 1;
    while (i + run < qt.size() && qt[i + run] == ch) ++run;
    if (ch == u'\'') {
      if (run >= 2 && run % 2 == 0) {
        // '' is a quote character.
        out += QString(run / 2, QChar(u'"')).replace(u'"', QStringLiteral("\"'\""));
        i += run;
        continue;
      }
      qsizetype end = qt.indexOf(u'\'', i + 1);
      if (end < 0) end = qt.size();
      out += u'"';
      out += qt.mid(i + 1, end - i - 1);
      out += u'"';
      i = end + 1;
      continue;
    }
    switch (ch.unicode()) {
      case 'y':
        out += QString(run <= 2 ? 2 : 4, u'y');
        break;
      case 'M':
        out += QString(run, u'm');
        break;
      case 'd':
        out += QString(std::min<qsizetype>(run, 4), u'd');
        break;
      case 'h':
      case 'H':
        out += QString(std::min<qsizetype>(run, 2), u'h');
        break;
      case 'm':
        out += QString(std::min<qsizetype>(run, 2), u'n');
        break;
      case 's':
        out += QString(std::min<qsizetype>(run, 2), u's');
        break;
      case 'z':
        out += QString(run >= 3 ? 3 : 1, u'z');
        break;
      case 'A':
      case 'a':
        // "AP", "ap", "A" and "a" all name the day period.
        if (i + run < qt.size() && (qt[i + run] == u'P' || qt[i + run] == u'p')) ++run;
        out += QStringLiteral("ampm");
        break;
      case 't':
        break;  // time zones have no place in a local value
      default:
        if (ch.isLetter()) {
          out += u'"';
          out += qt.mid(i, run);
          out += u'"';
        } else {
          out += qt.mid(i, run);
        }
        break;
    }
    i += run;
  }
  return out.trimmed();
}

QString WithoutSeconds(QStringView qt) {
  const qsizetype s = qt.indexOf(u's');
  if (s < 0) return qt.toString();
  qsizetype end = s;
  while (end < qt.size() && (qt[end] == u's' || qt[end] == u'.' || qt[end] == u'z')) ++end;
  qsizetype begin = s;
  while (begin > 0 && !qt[begin - 1].isLetter() && qt[begin - 1] != u'\'') --begin;
  return qt.left(begin).toString() + qt.mid(end).toString();
}

}  // namespace exportengine
