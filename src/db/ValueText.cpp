#include "db/ValueText.h"

#include "CivilParts.h"
#include "QtPattern.h"

#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

namespace db {

namespace {

using platform::RegionalSettings;

// A non-negative decimal number: digits without trailing zeros and the position of
// the decimal point counted from the first digit ("125", 1 means 1.25).
struct Decimal {
  QString digits;
  int point = 0;
};

// The same in a fixed buffer, for the plain text of every float cell.
struct DecimalDigits {
  char digits[40];
  int count = 0;
  int point = 0;
};

// `precision` significant digits, or the shortest form that reads back when 0.
DecimalDigits toDecimalDigits(double magnitude, int precision) {
  DecimalDigits d;
  if (magnitude == 0) {
    d.digits[0] = '0';
    d.count = 1;
    d.point = 1;
    return d;
  }
  char buffer[64];
  const auto result = precision > 0 ? std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                                    std::chars_format::scientific, precision - 1)
                                    : std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                                    std::chars_format::scientific);
  const char* end = result.ptr;
  const char* e = std::find(static_cast<const char*>(buffer), end, 'e');
  int n = 0;
  for (const char* p = buffer; p < e && n < int(sizeof d.digits); ++p)
    if (*p != '.') d.digits[n++] = *p;
  while (n > 1 && d.digits[n - 1] == '0') --n;
  int exponent = 0;
  std::from_chars(e + 1 + (e + 1 < end && e[1] == '+' ? 1 : 0), end, exponent);
  d.count = n;
  d.point = exponent + 1;
  return d;
}

Decimal toDecimal(double magnitude, int precision) {
  const DecimalDigits digits = toDecimalDigits(magnitude, precision);
  return Decimal{QString::fromLatin1(digits.digits, digits.count), digits.point};
}

// The decimal digits of `v` in `text`, as QString::number writes them; the storage of
// `text` is reused when it is not shared.
void integerInto(qint64 v, QString& text) {
  char digits[24];
  const auto r = std::to_chars(digits, digits + sizeof digits, v);
  const qsizetype n = r.ptr - digits;
  text.resize(n);
  std::copy(digits, r.ptr, reinterpret_cast<char16_t*>(text.data()));
}

// General format: fixed notation unless the exponent is below -4 or at least the
// number of digits allowed (15, or more when the digits need more).
// Written into `text`, whose storage is reused when it is not shared.
void generalFloatInto(double v, int precision, QString& text) {
  if (std::isnan(v)) {
    text = QStringLiteral("NAN");
    return;
  }
  if (std::isinf(v)) {
    text = v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    return;
  }
  // Whole numbers below 10^15 are their digits whatever the precision (prices, counts).
  if (std::fabs(v) < 1e15 && v == std::trunc(v)) {
    integerInto(qint64(v), text);
    return;
  }
  const QChar dec = RegionalSettings::current().decimalSeparator;
  const DecimalDigits d = toDecimalDigits(std::fabs(v), precision);
  const int n = d.count;
  const int exponent = d.point - 1;
  // Built in place: at most a sign, 17 digits and 15 zeros, or four zeros and "0.", or
  // an exponent.
  char16_t out[128];
  int k = 0;
  const auto digits = [&](int from, int to) {
    for (int i = from; i < to; ++i) out[k++] = char16_t(d.digits[i]);
  };
  const auto zeros = [&](int count) {
    for (int i = 0; i < count; ++i) out[k++] = u'0';
  };
  if (v < 0 && !(n == 1 && d.digits[0] == '0')) out[k++] = u'-';
  if (exponent < -4 || exponent >= std::max(15, n)) {
    digits(0, 1);
    if (n > 1) {
      out[k++] = dec.unicode();
      digits(1, n);
    }
    out[k++] = u'E';
    char e[8];
    const auto r = std::to_chars(e, e + sizeof e, exponent);
    for (const char* p = e; p < r.ptr; ++p) out[k++] = char16_t(*p);
  } else if (d.point <= 0) {
    out[k++] = u'0';
    out[k++] = dec.unicode();
    zeros(-d.point);
    digits(0, n);
  } else if (d.point >= n) {
    digits(0, n);
    zeros(d.point - n);
  } else {
    digits(0, d.point);
    out[k++] = dec.unicode();
    digits(d.point, n);
  }
  text.resize(k);
  std::copy(out, out + k, reinterpret_cast<char16_t*>(text.data()));
}

QString generalFloat(double v, int precision) {
  QString text;
  generalFloatInto(v, precision, text);
  return text;
}

// Rounds the decimal half away from zero to `decimals` places after the point.
void roundDecimal(Decimal& d, int decimals) {
  const int keep = d.point + decimals;
  if (keep >= d.digits.size()) return;
  if (keep < 0) {
    d.digits = QStringLiteral("0");
    d.point = 1;
    return;
  }
  const bool up = d.digits.at(keep) >= u'5';
  QString digits = d.digits.left(keep);
  if (up) {
    int i = keep - 1;
    while (i >= 0 && digits.at(i) == u'9') {
      digits[i] = u'0';
      --i;
    }
    if (i >= 0) {
      digits[i] = QChar(digits.at(i).unicode() + 1);
    } else {
      digits.prepend(u'1');
      ++d.point;
    }
  }
  while (digits.size() > 1 && digits.endsWith(u'0')) digits.chop(1);
  if (digits.isEmpty()) {
    digits = QStringLiteral("0");
    d.point = 1;
  }
  d.digits = digits;
}

QStringList splitSections(const QString& format) {
  QStringList sections;
  QString current;
  QChar quote;
  for (QChar c : format) {
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u';') {
      sections << current;
      current.clear();
      continue;
    }
    current += c;
  }
  sections << current;
  return sections;
}

QString formatSection(double magnitude, bool negative, const QString& section) {
  const RegionalSettings& rs = RegionalSettings::current();
  QString prefix, suffix;
  int intZeros = 0, fracZeros = 0, fracHashes = 0;
  bool grouping = false, inFraction = false, seenPlaceholder = false;
  QChar quote;
  for (QChar c : section) {
    QString& literal = seenPlaceholder ? suffix : prefix;
    if (!quote.isNull()) {
      if (c == quote)
        quote = QChar();
      else
        literal += c;
      continue;
    }
    if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'0' || c == u'#') {
      seenPlaceholder = true;
      suffix.clear();
      if (inFraction)
        (c == u'0' ? fracZeros : fracHashes)++;
      else if (c == u'0')
        ++intZeros;
    } else if (c == u'.' && !inFraction) {
      inFraction = true;
      seenPlaceholder = true;
    } else if (c == u',' && !inFraction) {
      grouping = true;
    } else {
      literal += c;
    }
  }
  Decimal d = toDecimal(magnitude, 15);
  roundDecimal(d, fracZeros + fracHashes);
  QString intPart = d.point > 0 ? d.digits.left(d.point) : QString();
  if (d.point > d.digits.size()) intPart += QString(d.point - int(d.digits.size()), u'0');
  QString frac = d.point >= 0 ? d.digits.mid(d.point) : QString(-d.point, u'0') + d.digits;
  if (intPart == u"0") intPart.clear();
  while (intPart.size() < intZeros) intPart.prepend(u'0');
  while (frac.size() < fracZeros) frac += u'0';
  if (grouping) {
    for (qsizetype i = intPart.size() - 3; i > 0; i -= 3) intPart.insert(i, rs.thousandSeparator);
  }
  const bool zero = d.digits == u"0";
  QString out = prefix;
  if (negative && !zero) out += u'-';
  out += intPart;
  if (!frac.isEmpty()) out += rs.decimalSeparator + frac;
  if (intPart.isEmpty() && frac.isEmpty()) out += u'0';
  return out + suffix;
}

// Bytes as text: UTF-8 when they are UTF-8 (so that parse() gives the same bytes back
// and no character is lost), else one character per byte.
QString bytesText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(bytes);
  return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// The C locale refusing group separators, made once per thread rather than per value.
const QLocale& strictNumbers() {
  thread_local const QLocale locale = [] {
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    return c;
  }();
  return locale;
}

// Plain decimal numbers, the bulk of what imports read, converted without QLocale:
// an optional '-', digits without a leading zero (or the single digit 0) and, for a
// floating value, an optional '.' followed by digits. Both conversions round exactly
// as QLocale's do; anything else, or out of range, returns false and is left to it.
bool plainDecimal(QStringView t, bool fraction, char* out, qsizetype& length) {
  const qsizetype n = t.size();
  if (n == 0 || n > 40) return false;
  qsizetype i = t[0] == u'-' ? 1 : 0;
  const qsizetype firstDigit = i;
  while (i < n && t[i] >= u'0' && t[i] <= u'9') ++i;
  const qsizetype intDigits = i - firstDigit;
  if (intDigits == 0 || (intDigits > 1 && t[firstDigit] == u'0')) return false;
  if (i < n && fraction && t[i] == u'.') {
    const qsizetype point = ++i;
    while (i < n && t[i] >= u'0' && t[i] <= u'9') ++i;
    if (i == point) return false;
  }
  if (i != n) return false;
  for (qsizetype k = 0; k < n; ++k) out[k] = char(t[k].unicode());
  length = n;
  return true;
}

bool fastInteger(QStringView t, qlonglong& value) {
  char text[40];
  qsizetype n = 0;
  if (!plainDecimal(t, false, text, n)) return false;
  const auto r = std::from_chars(text, text + n, value);
  return r.ec == std::errc() && r.ptr == text + n;
}

bool fastDouble(QStringView t, double& value) {
  char text[40];
  qsizetype n = 0;
  if (!plainDecimal(t, true, text, n)) return false;
  const auto r = std::from_chars(text, text + n, value);
  return r.ec == std::errc() && r.ptr == text + n;
}

// The plain text of a date and time (dates only for ftDate, times only for ftTime) in
// `text`, whose storage is reused when it is not shared.
void plainDateTimeInto(const QDateTime& dt, FieldType type, QString& text) {
  const RegionalSettings& rs = RegionalSettings::current();
  static const QString withMilliseconds = QStringLiteral("HH:mm:ss.zzz");
  text.resize(0);
  CivilParts p;
  if (civilParts(dt, p)) {
    // The long time has no milliseconds; add them so the text reads back exactly.
    const QString& timeFormat = p.msec != 0 ? withMilliseconds : rs.longTimeFormat;
    const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0 && p.msec == 0;
    if (type == ftDate) {
      if (compiled(rs.shortDateFormat).appendParts(text, p)) return;
    } else if (type == ftTime) {
      const CivilParts clock{0, 0, 0, p.hour, p.minute, p.second, p.msec};
      if (compiled(timeFormat).appendParts(text, clock)) return;
    } else {
      text.reserve(32);  // room for the time too
      if (compiled(rs.shortDateFormat).appendParts(text, p) &&
          (midnight || (text += u' ', compiled(timeFormat).appendParts(text, p))))
        return;
    }
    text.resize(0);
  }
  const QDate day = dt.date();
  const QTime clock = dt.time();
  if (type == ftDate) {
    compiled(rs.shortDateFormat).appendTo(text, day, clock);
    return;
  }
  const QString& timeFormat = clock.msec() != 0 ? withMilliseconds : rs.longTimeFormat;
  if (type == ftTime) {
    compiled(timeFormat).appendTo(text, QDate(), clock);
    return;
  }
  text.reserve(32);  // room for the time too
  compiled(rs.shortDateFormat).appendTo(text, day, clock);
  if (clock == QTime(0, 0)) return;
  text += u' ';
  compiled(timeFormat).appendTo(text, QDate(), clock);
}

// Whether the regional short date is three numbers (a four-digit year, the month and
// the day, each once) joined by single separators that readPlainForm takes, and the long
// time is hours, minutes and seconds of at most two digits joined by ':'. Dates written
// with such patterns read back as the same date and time.
bool plainDatesReadBack(const RegionalSettings& rs) {
  thread_local QString checkedDate, checkedTime;
  thread_local QChar checkedSeparator;
  thread_local bool verdict = false;
  if (!checkedDate.isNull() && checkedDate == rs.shortDateFormat &&
      checkedTime == rs.longTimeFormat && checkedSeparator == rs.dateSeparator)
    return verdict;
  const auto readable = [&] {
    const QString& d = rs.shortDateFormat;
    const auto isSeparator = [&](QChar c) {
      return c == u'/' || (c == rs.dateSeparator && c != u'-');
    };
    int seen = 0;
    qsizetype i = 0;
    for (int field = 0; field < 3; ++field) {
      if (field > 0 && (i >= d.size() || !isSeparator(d.at(i++)))) return false;
      if (i >= d.size()) return false;
      const QChar c = d.at(i);
      qsizetype run = 0;
      while (i < d.size() && d.at(i) == c) ++run, ++i;
      const int bit = c == u'y' && run == 4   ? 1
                      : c == u'M' && run <= 2 ? 2
                      : c == u'd' && run <= 2 ? 4
                                              : 0;
      if (bit == 0 || (seen & bit)) return false;
      seen |= bit;
    }
    if (i != d.size()) return false;
    const QString& t = rs.longTimeFormat;
    i = 0;
    const auto part = [&](QChar c) {
      qsizetype run = 0;
      while (i < t.size() && t.at(i) == c) ++run, ++i;
      return run >= 1 && run <= 2;
    };
    const auto colon = [&] { return i < t.size() && t.at(i++) == u':'; };
    return part(u'H') && colon() && part(u'm') && colon() && part(u's') && i == t.size();
  };
  verdict = readable();
  checkedDate = rs.shortDateFormat.isNull() ? QStringLiteral("") : rs.shortDateFormat;
  checkedTime = rs.longTimeFormat;
  checkedSeparator = rs.dateSeparator;
  return verdict;
}

}  // namespace

QDateTime ValueText::naive(const QDate& date, const QTime& time) {
  return QDateTime(date, time, Qt::UTC);
}

QString ValueText::plain(const QVariant& value, FieldType type) {
  if (isInvalidOrNull(value)) return QString();
  // Stored text is its own plain text whatever the field's type (every case below
  // leaves it to toString()); most cells an export reads are text.
  if (typeIdOf(value) == QMetaType::QString) return *static_cast<const QString*>(value.constData());
  switch (basicKind(type)) {
    case BasicKind::Whole:
      if (value.canConvert<qlonglong>() && typeIdOf(value) != QMetaType::QString)
        return QString::number(value.toLongLong());
      break;
    case BasicKind::Floating:
      if (typeIdOf(value) == QMetaType::Double) return generalFloat(value.toDouble(), 0);
      break;
    case BasicKind::Boolean:
      if (typeIdOf(value) == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
      break;
    case BasicKind::DateTime:
      if (typeIdOf(value) == QMetaType::QDateTime) {
        QString text;
        plainDateTimeInto(*static_cast<const QDateTime*>(value.constData()), type, text);
        return text;
      }
      break;
    case BasicKind::Binary:
      if (typeIdOf(value) == QMetaType::QByteArray) return bytesText(value.toByteArray());
      break;
    default:
      break;
  }
  return value.toString();
}

void ValueText::plainInto(const QVariant& value, FieldType type, QString& text) {
  const BasicKind kind = basicKind(type);
  switch (isInvalidOrNull(value) ? int(QMetaType::UnknownType) : typeIdOf(value)) {
    case QMetaType::LongLong:
      if (kind != BasicKind::Whole) break;
      integerInto(*static_cast<const qlonglong*>(value.constData()), text);
      return;
    case QMetaType::Double:
      if (kind != BasicKind::Floating) break;
      generalFloatInto(*static_cast<const double*>(value.constData()), 0, text);
      return;
    case QMetaType::QDateTime:
      if (kind != BasicKind::DateTime) break;
      plainDateTimeInto(*static_cast<const QDateTime*>(value.constData()), type, text);
      return;
    default:
      break;
  }
  text = plain(value, type);
}

void ValueText::assign(QVariant& target, const QVariant& value) {
  if (value.isNull()) {
    target = value;
    return;
  }
  switch (typeIdOf(value)) {
    case QMetaType::LongLong:
      target.setValue(*static_cast<const qlonglong*>(value.constData()));
      break;
    case QMetaType::Double:
      target.setValue(*static_cast<const double*>(value.constData()));
      break;
    case QMetaType::Bool:
      target.setValue(*static_cast<const bool*>(value.constData()));
      break;
    case QMetaType::QDateTime:
      target.setValue(*static_cast<const QDateTime*>(value.constData()));
      break;
    default:
      target = value;
      break;
  }
}

bool ValueText::readsBackUnchanged(const QVariant& value, FieldType type, FieldType paramType) {
  const BasicKind kind = basicKind(type);
  if (kind != basicKind(paramType) || value.isNull()) return false;
  switch (typeIdOf(value)) {
    case QMetaType::LongLong:
      return kind == BasicKind::Whole;
    case QMetaType::Bool:
      return kind == BasicKind::Boolean;
    case QMetaType::Double: {
      // Minus zero is written "0", NaN and the infinities as words; another decimal
      // separator is left to the text.
      const double v = *static_cast<const double*>(value.constData());
      return kind == BasicKind::Floating && std::isfinite(v) && !(v == 0 && std::signbit(v)) &&
             RegionalSettings::current().decimalSeparator == u'.';
    }
    case QMetaType::QDateTime: {
      // ftDate and ftTime leave a part out; a year outside 1..9999 is not four digits.
      if (type != ftDateTime || kind != BasicKind::DateTime) return false;
      const QDateTime& dt = *static_cast<const QDateTime*>(value.constData());
      if (!dt.isValid() || dt.timeSpec() != Qt::UTC) return false;
      // From 0001-01-01 to the end of 9999, counted from 1970-01-01.
      const qint64 ms = dt.toMSecsSinceEpoch();
      return ms >= -719162 * qint64(86400000) && ms < 2932897 * qint64(86400000) &&
             plainDatesReadBack(RegionalSettings::current());
    }
    default:
      return false;
  }
}

QString ValueText::display(const QVariant& value, FieldType type, const QString& displayFormat) {
  if (isInvalidOrNull(value)) return QString();
  const BasicKind kind = basicKind(type);
  if (kind == BasicKind::Floating && typeIdOf(value) == QMetaType::Double)
    return displayFormat.isEmpty() ? generalFloat(value.toDouble(), 15)
                                   : formatFloat(value.toDouble(), displayFormat);
  if (kind == BasicKind::Whole && !displayFormat.isEmpty() && typeIdOf(value) != QMetaType::QString)
    return formatFloat(double(value.toLongLong()), displayFormat);
  if (kind == BasicKind::DateTime && !displayFormat.isEmpty() &&
      typeIdOf(value) == QMetaType::QDateTime)
    return formatDateTime(value.toDateTime(), displayFormat);
  return plain(value, type);
}

QString ValueText::formatFloat(double value, const QString& format) {
  if (std::isnan(value) || std::isinf(value)) return generalFloat(value, 15);
  const QStringList sections = splitSections(format);
  if (value < 0 && sections.size() > 1 && !sections.at(1).isEmpty())
    return formatSection(-value, false, sections.at(1));
  if (value == 0 && sections.size() > 2 && !sections.at(2).isEmpty())
    return formatSection(0, false, sections.at(2));
  return formatSection(std::fabs(value), value < 0, sections.at(0));
}

QString ValueText::formatDateTime(const QDateTime& value, const QString& format) {
  const RegionalSettings& rs = RegionalSettings::current();
  const QDate date = value.date();
  const QTime time = value.time();
  const QString lower = format.toLower();
  const bool twelveHour =
      lower.contains(QLatin1String("am/pm")) || lower.contains(QLatin1String("a/p"));
  const QLocale c = QLocale::c();
  QString out;
  bool lastWasHour = false;
  auto two = [](int v) { return QString::number(v).rightJustified(2, u'0'); };
  for (qsizetype i = 0; i < format.size();) {
    const QChar ch = format.at(i);
    const QChar lc = ch.toLower();
    qsizetype run = 1;
    while (i + run < format.size() && format.at(i + run).toLower() == lc) ++run;
    if (ch == u'"' || ch == u'\'') {
      const qsizetype end = format.indexOf(ch, i + 1);
      out += format.mid(i + 1, (end < 0 ? format.size() : end) - i - 1);
      i = end < 0 ? format.size() : end + 1;
      continue;
    }
    if (lc == u'a' && lower.mid(i, 5) == u"am/pm") {
      out += time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
      i += 5;
      continue;
    }
    if (lc == u'a' && lower.mid(i, 3) == u"a/p") {
      out += time.hour() < 12 ? QStringLiteral("A") : QStringLiteral("P");
      i += 3;
      continue;
    }
    bool hourToken = false;
    switch (lc.unicode()) {
      case 'y':
        out += run <= 2 ? two(date.year() % 100)
                        : QString::number(date.year()).rightJustified(4, u'0');
        break;
      case 'm':
        if (lastWasHour) {
          out += run == 1 ? QString::number(time.minute()) : two(time.minute());
        } else if (run == 1) {
          out += QString::number(date.month());
        } else if (run == 2) {
          out += two(date.month());
        } else {
          out += run == 3 ? c.monthName(date.month(), QLocale::ShortFormat)
                          : c.monthName(date.month());
        }
        break;
      case 'd':
        if (run == 1)
          out += QString::number(date.day());
        else if (run == 2)
          out += two(date.day());
        else if (run == 3)
          out += c.dayName(date.dayOfWeek(), QLocale::ShortFormat);
        else
          out += c.toString(date, rs.shortDateFormat);
        break;
      case 'h': {
        int h = time.hour();
        if (twelveHour) h = h % 12 == 0 ? 12 : h % 12;
        out += run == 1 ? QString::number(h) : two(h);
        hourToken = true;
        break;
      }
      case 'n':
        out += run == 1 ? QString::number(time.minute()) : two(time.minute());
        break;
      case 's':
        out += run == 1 ? QString::number(time.second()) : two(time.second());
        break;
      case 'z':
        out += run >= 3 ? QString::number(time.msec()).rightJustified(3, u'0')
                        : QString::number(time.msec());
        break;
      case 't':
        out += c.toString(time, rs.longTimeFormat);
        break;
      case 'c':
        out += plain(QVariant(value), ftDateTime);
        break;
      case '/':
        out += QString(run, rs.dateSeparator);
        break;
      case ':':
        out += QString(run, rs.timeSeparator);
        break;
      default:
        out += format.mid(i, run);
        break;
    }
    // 'm' right after an hour (separators aside) means minutes.
    if (hourToken)
      lastWasHour = true;
    else if (lc.isLetter())
      lastWasHour = false;
    i += run;
  }
  return out;
}

QVariant ValueText::parse(const QString& text, FieldType type) {
  const BasicKind kind = basicKind(type);
  if (kind == BasicKind::Text) return text;
  if (kind == BasicKind::Binary) return text.toUtf8();
  const QString t = text.trimmed();
  if (t.isEmpty()) return QVariant();
  switch (kind) {
    case BasicKind::Whole: {
      qlonglong v = 0;
      if (fastInteger(t, v)) return QVariant(qint64(v));
      const QLocale& loc = strictNumbers();
      bool ok = false;
      v = loc.toLongLong(t, &ok);
      if (!ok) throw platform::Error(notAValue(text, type));
      return QVariant(qint64(v));
    }
    case BasicKind::Floating: {
      QString c = t;
      const QChar dec = RegionalSettings::current().decimalSeparator;
      if (dec != u'.') {
        if (c.contains(u'.') && c.contains(dec)) throw platform::Error(notAValue(text, type));
        c.replace(dec, u'.');
      }
      double v = 0;
      if (fastDouble(c, v)) return QVariant(v);
      const QLocale& loc = strictNumbers();
      bool ok = false;
      v = loc.toDouble(c, &ok);
      if (!ok) {
        const QString u = c.toUpper();
        if (u == u"NAN")
          v = std::nan(""), ok = true;
        else if (u == u"INF" || u == u"+INF")
          v = HUGE_VAL, ok = true;
        else if (u == u"-INF")
          v = -HUGE_VAL, ok = true;
      }
      if (!ok) throw platform::Error(notAValue(text, type));
      return QVariant(v);
    }
    case BasicKind::Boolean: {
      const QString u = t.toUpper();
      if (u == u"TRUE" || u == u"T" || u == u"YES" || u == u"Y" || u == u"1" || u == u"-1")
        return QVariant(true);
      if (u == u"FALSE" || u == u"F" || u == u"NO" || u == u"N" || u == u"0")
        return QVariant(false);
      throw platform::Error(notAValue(text, type));
    }
    case BasicKind::DateTime: {
      const QDateTime dt = parseDateTime(t);
      if (!dt.isValid()) throw platform::Error(notAValue(text, type));
      return dt;
    }
    default:
      return text;
  }
}

void ValueText::parseInto(const QString& text, FieldType type, QVariant& out) {
  // Text, and plain decimal numbers without blanks around them (which parse() would
  // trim away), are put in place; they convert exactly as parse() converts them.
  switch (basicKind(type)) {
    case BasicKind::Text:
      out.setValue(text);
      return;
    case BasicKind::Whole: {
      qlonglong v = 0;
      if (fastInteger(text, v)) {
        out.setValue(qint64(v));
        return;
      }
      break;
    }
    case BasicKind::Floating: {
      double v = 0;
      if (RegionalSettings::current().decimalSeparator == u'.' && fastDouble(text, v)) {
        out.setValue(v);
        return;
      }
      break;
    }
    default:
      break;
  }
  out = parse(text, type);
}

QVariant ValueText::normalize(const QVariant& value, FieldType type) {
  if (isInvalidOrNull(value)) return QVariant();
  const int id = typeIdOf(value);
  const bool numeric = id == QMetaType::Int || id == QMetaType::UInt || id == QMetaType::LongLong ||
                       id == QMetaType::ULongLong || id == QMetaType::Short ||
                       id == QMetaType::UShort || id == QMetaType::Char || id == QMetaType::UChar ||
                       id == QMetaType::SChar || id == QMetaType::Bool;
  switch (basicKind(type)) {
    case BasicKind::Text:
      if (id == QMetaType::QString) return value;
      if (id == QMetaType::QByteArray) return QString::fromUtf8(value.toByteArray());
      return value.toString();
    case BasicKind::Whole:
      if (numeric) return QVariant(qint64(value.toLongLong()));
      if (id == QMetaType::Double) {
        const double d = value.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 9.2e18) return QVariant(qint64(d));
        return value;
      }
      if (id == QMetaType::QString) {
        bool ok = false;
        const qlonglong v = value.toString().trimmed().toLongLong(&ok);
        return ok ? QVariant(qint64(v)) : value;
      }
      return value;
    case BasicKind::Floating:
      if (numeric || id == QMetaType::Double || id == QMetaType::Float)
        return QVariant(value.toDouble());
      if (id == QMetaType::QString) {
        bool ok = false;
        const double v = QLocale::c().toDouble(value.toString().trimmed(), &ok);
        return ok ? QVariant(v) : value;
      }
      return value;
    case BasicKind::Boolean:
      if (numeric) return QVariant(value.toLongLong() != 0);
      if (id == QMetaType::QString) {
        try {
          return parse(value.toString(), ftBoolean);
        } catch (const platform::Error&) {
          return value;
        }
      }
      return value;
    case BasicKind::DateTime:
      if (id == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid()) return QVariant();
        return naive(dt.date(), dt.time());
      }
      if (id == QMetaType::QDate) return naive(value.toDate());
      if (id == QMetaType::QTime) return naive(QDate(1899, 12, 30), value.toTime());
      if (id == QMetaType::QString) {
        const QDateTime dt = parseDateTime(value.toString());
        return dt.isValid() ? QVariant(dt) : value;
      }
      return value;
    case BasicKind::Binary:
      if (id == QMetaType::QByteArray) return value;
      return value.toByteArray();
    default:
      return value;
  }
}

}  // namespace db
