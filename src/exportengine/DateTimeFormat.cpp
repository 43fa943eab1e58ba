#include "DateTimeFormat.h"

#include <db/ValueText.h>
#include <platform/RegionalSettings.h>

#include <QLocale>

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

std::optional<DateTimeReading> ReadDateTime(const QString& text) {
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
