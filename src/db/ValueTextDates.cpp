// Dates and times read from the texts operators and files give: the form the program
// writes first, digit by digit (an import reads one per date cell), then ISO 8601, then
// the regional short date with an optional time of day in either clock.
#include "db/ValueText.h"

#include "IsoDateTime.h"

#include <platform/RegionalSettings.h>

#include <QRegularExpression>
#include <algorithm>
#include <array>

namespace db {
namespace {

using platform::RegionalSettings;

int twoDigitYear(int yy) {
  const int now = QDate::currentDate().year();
  int year = now / 100 * 100 + yy;
  if (year > now + 50)
    year -= 100;
  else if (year <= now - 50)
    year += 100;
  return year;
}

// The three numbers of a date as written, in writing order, with their lengths in
// digits (a year of one or two digits is completed by twoDigitYear).
struct DateFields {
  std::array<int, 3> values{};
  std::array<int, 3> lengths{};
};

// A date in the field order of the regional short date; invalid when it is none.
QDateTime civilDateTime(const RegionalSettings& rs, const DateFields& fields, const QTime& time) {
  // The field order of the last format seen, worked out again only when it changes.
  thread_local QString orderOf;
  thread_local std::array<std::pair<qsizetype, char>, 3> order{};
  const QString& f = rs.shortDateFormat;
  if (orderOf.isNull() || orderOf != f) {
    order = {{{f.indexOf(u'y'), 'y'}, {f.indexOf(u'M'), 'M'}, {f.indexOf(u'd'), 'd'}}};
    for (auto& o : order)
      if (o.first < 0) o.first = o.second == 'y' ? 0 : (o.second == 'M' ? 1 : 2);
    std::sort(order.begin(), order.end());
    orderOf = f.isNull() ? QStringLiteral("") : f;
  }
  int y = 0, mo = 0, d = 0, yearLength = 0;
  for (size_t i = 0; i < 3; ++i) {
    switch (order[i].second) {
      case 'y':
        y = fields.values[i];
        yearLength = fields.lengths[i];
        break;
      case 'M':
        mo = fields.values[i];
        break;
      default:
        d = fields.values[i];
        break;
    }
  }
  if (yearLength <= 2) y = twoDigitYear(y);
  const QDate date(y, mo, d);
  if (!date.isValid()) return {};
  return ValueText::naive(date, time);
}

// Reads up to `maxDigits` decimal digits at `i`; false when there is none.
bool readNumber(const QString& s, qsizetype& i, int maxDigits, int& value, int& length) {
  value = 0;
  length = 0;
  while (i < s.size() && length < maxDigits && s.at(i) >= u'0' && s.at(i) <= u'9') {
    value = value * 10 + (s.at(i).unicode() - u'0');
    ++length;
    ++i;
  }
  return length > 0 && (i == s.size() || s.at(i) < u'0' || s.at(i) > u'9');
}

// The form plain() writes, read without the expressions (an export reads one per date
// cell): three numbers separated by '/' or the regional separator, then optionally
// blanks and H:MM, H:MM:SS or H:MM:SS.ZZZ. False, with nothing decided, for any other
// text; the expressions then read it. `time` comes back invalid for a time of day that
// does not exist.
bool readPlainForm(const QString& s, QChar separator, DateFields& fields, QTime& time) {
  auto isSeparator = [&](QChar c) { return c == u'/' || (c == separator && c != u'-'); };
  qsizetype i = 0;
  for (size_t k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= s.size() || !isSeparator(s.at(i))) return false;
      ++i;
    }
    if (!readNumber(s, i, 4, fields.values[k], fields.lengths[k])) return false;
  }
  time = QTime(0, 0);
  if (i == s.size()) return true;
  if (!s.at(i).isSpace()) return false;
  while (i < s.size() && s.at(i).isSpace()) ++i;
  int t[4] = {0, 0, 0, 0}, length = 0;
  if (!readNumber(s, i, 2, t[0], length) || i == s.size()) return false;  // minutes needed
  for (int k = 1; k < 3 && i < s.size(); ++k) {
    if (s.at(i) != u':') return false;
    ++i;
    if (!readNumber(s, i, 2, t[k], length)) return false;
    if (k == 1 && i < s.size() && s.at(i) != u':') return false;
  }
  if (i < s.size()) {
    if (s.at(i) != u'.') return false;
    ++i;
    int fraction = 0;
    if (!readNumber(s, i, 9, fraction, length) || i != s.size()) return false;
    while (length > 3) fraction /= 10, --length;
    while (length < 3) fraction *= 10, ++length;
    t[3] = fraction;
  }
  time = QTime(t[0], t[1], t[2], t[3]);
  return true;
}

}  // namespace

QDateTime ValueText::parseDateTime(const QString& text) {
  const QString s = text.trimmed();
  if (s.isEmpty()) return {};
  {
    DateFields fields;
    QTime time;
    const RegionalSettings& rs = RegionalSettings::current();
    if (readPlainForm(s, rs.dateSeparator, fields, time))
      return time.isValid() ? civilDateTime(rs, fields, time) : QDateTime();
  }
  {
    QDate date;
    QTime time;
    if (readIsoDateTime(s, date, time))
      return date.isValid() && time.isValid() ? naive(date, time) : QDateTime();
  }
  static const QRegularExpression iso(QStringLiteral(
      R"(^(\d{4})-(\d{1,2})-(\d{1,2})(?:[T ](\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:[.,](\d{1,9}))?)?)?\s*Z?$)"));
  static const QRegularExpression timeRe(
      QStringLiteral(
          R"(^(?:(AM|PM|上午|下午)\s*)?(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:[.,](\d{1,9}))?)?\s*(AM|PM|上午|下午)?$)"),
      QRegularExpression::CaseInsensitiveOption);
  auto msecOf = [](const QString& frac) {
    return frac.isEmpty() ? 0 : frac.left(3).leftJustified(3, u'0').toInt();
  };
  auto timeOf = [&](const QString& t, bool* ok) -> QTime {
    *ok = true;
    if (t.isEmpty()) return QTime(0, 0);
    const auto m = timeRe.match(t);
    if (!m.hasMatch()) {
      *ok = false;
      return {};
    }
    int h = m.captured(2).toInt();
    const QString ampm = (m.captured(1) + m.captured(6)).toUpper();
    if (!ampm.isEmpty()) {
      if (h < 1 || h > 12 || (!m.captured(1).isEmpty() && !m.captured(6).isEmpty())) {
        *ok = false;
        return {};
      }
      const bool pm = ampm == u"PM" || ampm == u"下午";
      h = h % 12 + (pm ? 12 : 0);
    }
    const QTime result(h, m.captured(3).toInt(), m.captured(4).toInt(), msecOf(m.captured(5)));
    *ok = result.isValid();
    return result;
  };

  if (const auto m = iso.match(s); m.hasMatch()) {
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                     msecOf(m.captured(7)));
    if (!date.isValid() || !time.isValid()) return {};
    return naive(date, time);
  }

  const RegionalSettings& rs = RegionalSettings::current();
  QString seps = QStringLiteral("/\\-.");
  if (!QStringLiteral("/-.").contains(rs.dateSeparator))
    seps += QRegularExpression::escape(QString(rs.dateSeparator));
  // Compiled once per set of separators: the expression costs far more to compile
  // than to match, and imports read a date per row.
  thread_local QString compiledSeps;
  thread_local QRegularExpression dateRe;
  if (compiledSeps != seps || !dateRe.isValid() || dateRe.pattern().isEmpty()) {
    dateRe = QRegularExpression(
        QStringLiteral(R"(^(\d{1,4})[%1](\d{1,4})[%1](\d{1,4})(?:(?:\s+|T)(.*))?$)").arg(seps));
    compiledSeps = seps;
  }
  const auto dm = dateRe.match(s);
  if (!dm.hasMatch()) {
    bool ok = false;
    const QTime time = timeOf(s, &ok);
    return ok ? naive(QDate(1899, 12, 30), time) : QDateTime();
  }
  const std::array<QString, 3> parts{dm.captured(1), dm.captured(2), dm.captured(3)};
  DateFields fields;
  for (size_t i = 0; i < 3; ++i) {
    fields.values[i] = parts[i].toInt();
    fields.lengths[i] = int(parts[i].size());
  }
  bool ok = false;
  const QTime time = timeOf(dm.captured(4).trimmed(), &ok);
  if (!ok) return {};
  return civilDateTime(rs, fields, time);
}

}  // namespace db
