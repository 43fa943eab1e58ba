#include "db/ValueText.h"

#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>

namespace db {

namespace {

using platform::RegionalSettings;

// A non-negative decimal number: digits without trailing zeros and the position of
// the decimal point counted from the first digit ("125", 1 means 1.25).
struct Decimal {
  QString digits;
  int point = 0;
};

// `precision` significant digits, or the shortest form that reads back when 0.
Decimal toDecimal(double magnitude, int precision) {
  Decimal d;
  if (magnitude == 0) {
    d.digits = QStringLiteral("0");
    d.point = 1;
    return d;
  }
  const QString e = QString::number(magnitude, 'e',
                                    precision > 0 ? precision - 1 : QLocale::FloatingPointShortest);
  const qsizetype ePos = e.indexOf(u'e');
  QString mantissa = e.left(ePos);
  mantissa.remove(u'.');
  const int exponent = e.mid(ePos + 1).toInt();
  while (mantissa.size() > 1 && mantissa.endsWith(u'0')) mantissa.chop(1);
  d.digits = mantissa;
  d.point = exponent + 1;
  return d;
}

// General format: fixed notation unless the exponent is below -4 or at least the
// number of digits allowed (15, or more when the digits need more).
QString generalFloat(double v, int precision) {
  if (std::isnan(v)) return QStringLiteral("NAN");
  if (std::isinf(v)) return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  const QChar dec = RegionalSettings::current().decimalSeparator;
  const Decimal d = toDecimal(std::fabs(v), precision);
  const int n = int(d.digits.size());
  const int exponent = d.point - 1;
  QString out;
  if (v < 0 && d.digits != u"0") out += u'-';
  if (exponent < -4 || exponent >= std::max(15, n)) {
    out += d.digits.left(1);
    if (n > 1) out += dec + d.digits.mid(1);
    out += u'E' + QString::number(exponent);
  } else if (d.point <= 0) {
    out += u'0' + QString(dec) + QString(-d.point, u'0') + d.digits;
  } else if (d.point >= n) {
    out += d.digits + QString(d.point - n, u'0');
  } else {
    out += d.digits.left(d.point) + dec + d.digits.mid(d.point);
  }
  return out;
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

int twoDigitYear(int yy) {
  const int now = QDate::currentDate().year();
  int year = now / 100 * 100 + yy;
  if (year > now + 50)
    year -= 100;
  else if (year <= now - 50)
    year += 100;
  return year;
}

}  // namespace

QDateTime ValueText::naive(const QDate& date, const QTime& time) {
  return QDateTime(date, time, Qt::UTC);
}

QString ValueText::plain(const QVariant& value, FieldType type) {
  if (!value.isValid() || value.isNull()) return QString();
  switch (basicKind(type)) {
    case BasicKind::Whole:
      if (value.canConvert<qlonglong>() && value.typeId() != QMetaType::QString)
        return QString::number(value.toLongLong());
      break;
    case BasicKind::Floating:
      if (value.typeId() == QMetaType::Double) return generalFloat(value.toDouble(), 0);
      break;
    case BasicKind::Boolean:
      if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
      break;
    case BasicKind::DateTime:
      if (value.typeId() == QMetaType::QDateTime) {
        const RegionalSettings& rs = RegionalSettings::current();
        const QDateTime dt = value.toDateTime();
        const QLocale c = QLocale::c();
        const QString date = c.toString(dt.date(), rs.shortDateFormat);
        QString time = c.toString(dt.time(), rs.longTimeFormat);
        if (dt.time().msec() != 0) {
          // The long time has no milliseconds; add them so the text reads back exactly.
          time = c.toString(dt.time(), QStringLiteral("HH:mm:ss.zzz"));
        }
        if (type == ftDate) return date;
        if (type == ftTime) return time;
        if (dt.time() == QTime(0, 0)) return date;
        return date + u' ' + time;
      }
      break;
    case BasicKind::Binary:
      if (value.typeId() == QMetaType::QByteArray) return QString::fromLatin1(value.toByteArray());
      break;
    default:
      break;
  }
  return value.toString();
}

QString ValueText::display(const QVariant& value, FieldType type, const QString& displayFormat) {
  if (!value.isValid() || value.isNull()) return QString();
  const BasicKind kind = basicKind(type);
  if (kind == BasicKind::Floating && value.typeId() == QMetaType::Double)
    return displayFormat.isEmpty() ? generalFloat(value.toDouble(), 15)
                                   : formatFloat(value.toDouble(), displayFormat);
  if (kind == BasicKind::Whole && !displayFormat.isEmpty() && value.typeId() != QMetaType::QString)
    return formatFloat(double(value.toLongLong()), displayFormat);
  if (kind == BasicKind::DateTime && !displayFormat.isEmpty() &&
      value.typeId() == QMetaType::QDateTime)
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

QDateTime ValueText::parseDateTime(const QString& text) {
  const QString s = text.trimmed();
  if (s.isEmpty()) return {};
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
  // Compiled once per set of separators: an import parses a date in every row.
  thread_local QString dateSeps;
  thread_local QRegularExpression dateRe;
  if (dateSeps != seps || dateRe.pattern().isEmpty()) {
    dateRe.setPattern(
        QStringLiteral(R"(^(\d{1,4})[%1](\d{1,4})[%1](\d{1,4})(?:(?:\s+|T)(.*))?$)").arg(seps));
    dateSeps = seps;
  }
  const auto dm = dateRe.match(s);
  if (!dm.hasMatch()) {
    bool ok = false;
    const QTime time = timeOf(s, &ok);
    return ok ? naive(QDate(1899, 12, 30), time) : QDateTime();
  }
  // Field order of the regional short date.
  const QString f = rs.shortDateFormat;
  std::array<std::pair<qsizetype, char>, 3> order{
      {{f.indexOf(u'y'), 'y'}, {f.indexOf(u'M'), 'M'}, {f.indexOf(u'd'), 'd'}}};
  for (auto& o : order)
    if (o.first < 0) o.first = o.second == 'y' ? 0 : (o.second == 'M' ? 1 : 2);
  std::sort(order.begin(), order.end());
  int y = 0, mo = 0, d = 0;
  qsizetype yearLength = 0;
  for (int i = 0; i < 3; ++i) {
    const QString part = dm.captured(i + 1);
    const int v = part.toInt();
    switch (order[i].second) {
      case 'y':
        y = v;
        yearLength = part.size();
        break;
      case 'M':
        mo = v;
        break;
      default:
        d = v;
        break;
    }
  }
  if (yearLength <= 2) y = twoDigitYear(y);
  const QDate date(y, mo, d);
  bool ok = false;
  const QTime time = timeOf(dm.captured(4).trimmed(), &ok);
  if (!date.isValid() || !ok) return {};
  return naive(date, time);
}

QVariant ValueText::parse(const QString& text, FieldType type) {
  const BasicKind kind = basicKind(type);
  if (kind == BasicKind::Text) return text;
  if (kind == BasicKind::Binary) return text.toLatin1();
  const QString t = text.trimmed();
  if (t.isEmpty()) return QVariant();
  switch (kind) {
    case BasicKind::Whole: {
      QLocale loc = QLocale::c();
      loc.setNumberOptions(QLocale::RejectGroupSeparator);
      bool ok = false;
      const qlonglong v = loc.toLongLong(t, &ok);
      if (!ok) throw platform::Error(QStringLiteral("'%1' is not a valid integer value").arg(text));
      return QVariant(qint64(v));
    }
    case BasicKind::Floating: {
      QString c = t;
      const QChar dec = RegionalSettings::current().decimalSeparator;
      if (dec != u'.') {
        if (c.contains(u'.') && c.contains(dec))
          throw platform::Error(
              QStringLiteral("'%1' is not a valid floating point value").arg(text));
        c.replace(dec, u'.');
      }
      QLocale loc = QLocale::c();
      loc.setNumberOptions(QLocale::RejectGroupSeparator);
      bool ok = false;
      double v = loc.toDouble(c, &ok);
      if (!ok) {
        const QString u = c.toUpper();
        if (u == u"NAN")
          v = std::nan(""), ok = true;
        else if (u == u"INF" || u == u"+INF")
          v = HUGE_VAL, ok = true;
        else if (u == u"-INF")
          v = -HUGE_VAL, ok = true;
      }
      if (!ok)
        throw platform::Error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
      return QVariant(v);
    }
    case BasicKind::Boolean: {
      const QString u = t.toUpper();
      if (u == u"TRUE" || u == u"T" || u == u"YES" || u == u"Y" || u == u"1" || u == u"-1")
        return QVariant(true);
      if (u == u"FALSE" || u == u"F" || u == u"NO" || u == u"N" || u == u"0")
        return QVariant(false);
      throw platform::Error(QStringLiteral("'%1' is not a valid boolean value").arg(text));
    }
    case BasicKind::DateTime: {
      const QDateTime dt = parseDateTime(t);
      if (!dt.isValid()) {
        const QString what = type == ftDate   ? QStringLiteral("date")
                             : type == ftTime ? QStringLiteral("time")
                                              : QStringLiteral("date and time");
        throw platform::Error(QStringLiteral("'%1' is not a valid %2").arg(text, what));
      }
      return dt;
    }
    default:
      return text;
  }
}

QVariant ValueText::normalize(const QVariant& value, FieldType type) {
  if (!value.isValid() || value.isNull()) return QVariant();
  const int id = value.typeId();
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
