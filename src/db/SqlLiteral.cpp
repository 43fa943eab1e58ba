#include "SqlLiteral.h"

#include "IsoDateTime.h"

#include <db/ValueText.h>

#include <charconv>
#include <climits>
#include <cmath>

namespace db::sqlliteral {
namespace {

constexpr qint64 kExactWhole = qint64(1) << 53;

bool plainAscii(const QString& text) {
  for (const QChar c : text)
    if (c.unicode() < 0x20 || c.unicode() > 0x7e) return false;
  return true;
}

// A NUL would end the statement's text there; a lone surrogate has no literal.
bool writable(const QString& text) {
  return text.isValidUtf16() && !text.contains(QChar(u'\0'));
}

void appendWhole(QString& sql, qint64 n, bool wide) {
  // A literal past int is numeric to SQL Server; the cast keeps it whole.
  if (wide || n > INT_MAX || n <= INT_MIN)
    sql += QStringLiteral("CAST(%1 AS bigint)").arg(n);
  else
    sql += QString::number(n);
}

// The binary form: every double is a whole number of 53 bits over a power of two, and
// dividing by a power of two is exact.
std::optional<Quotient> binaryQuotientOf(double value) {
  int exponent = 0;
  const double fraction = std::frexp(value, &exponent);
  qint64 dividend = qint64(std::ldexp(fraction, 53));
  int shift = 53 - exponent;
  while (shift > 0 && dividend % 2 == 0) {
    dividend /= 2;
    --shift;
  }
  if (shift < 0 || shift > 62) return std::nullopt;
  return Quotient{dividend, qint64(1) << shift};
}

}  // namespace

std::optional<Quotient> quotientOf(double value) {
  if (!std::isfinite(value) || (value == 0 && std::signbit(value))) return std::nullopt;
  if (value == 0) return Quotient{};
  // The shortest digits that read back as this double, with their exponent: a price
  // typed as 99.99 is 9999 / 100.
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  if (ec != std::errc()) return std::nullopt;
  const char* p = buf;
  const bool negative = *p == '-';
  if (negative) ++p;
  qint64 digits = 0;
  int count = 0;
  for (; p != end && *p != 'e'; ++p) {
    if (*p == '.') continue;
    digits = digits * 10 + (*p - '0');
    ++count;
  }
  if (p == end || count > 17) return binaryQuotientOf(value);
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  exponent -= count - 1;  // the digits as a whole number times 10^exponent
  if (digits >= kExactWhole) return binaryQuotientOf(value);
  Quotient q;
  if (exponent >= 0) {
    for (int i = 0; i < exponent; ++i) {
      if (digits >= kExactWhole / 10) return std::nullopt;
      digits *= 10;
    }
  } else {
    if (exponent < -18) return binaryQuotientOf(value);
    for (int i = 0; i < -exponent; ++i) q.divisor *= 10;
  }
  q.dividend = negative ? -digits : digits;
  return q;
}

bool fits(const QVariant& value, FieldType type, qsizetype* cost) {
  if (isNullValue(value)) {
    if (cost) *cost += 8;
    return true;
  }
  const BasicKind kind = basicKind(type);
  switch (typeIdOf(value)) {
    case QMetaType::QString: {
      if (kind != BasicKind::Text && kind != BasicKind::Other) return false;
      const QString text = value.toString();
      if (!writable(text)) return false;
      if (cost) *cost += text.size() + 4;
      return true;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
      if (cost) *cost += 12;
      return kind != BasicKind::Floating && kind != BasicKind::DateTime;
    case QMetaType::Double:
    case QMetaType::Float:
      if (cost) *cost += 24;
      return kind == BasicKind::Floating && quotientOf(value.toDouble()).has_value();
    case QMetaType::QDateTime: {
      if (type != ftDateTime) return false;
      const QDateTime at = value.toDateTime();
      if (cost) *cost += 26;
      return at.isValid() && at.date().year() >= 1 && at.date().year() <= 9999;
    }
    default:
      return false;
  }
}

bool wholeFloat(const QVariant& value) {
  if (isNullValue(value)) return true;
  // What quotientOf() gives a divisor of 1, without writing the digits out.
  const double d = value.toDouble();
  return std::trunc(d) == d && std::abs(d) < double(kExactWhole) && !(d == 0 && std::signbit(d));
}

void append(QString& sql, const QVariant& value, FieldType type, FloatForm form) {
  if (isNullValue(value)) {
    sql += basicKind(type) == BasicKind::Floating && form == FloatForm::Pair
               ? QStringLiteral("NULL, NULL")
               : QStringLiteral("NULL");
    return;
  }
  switch (typeIdOf(value)) {
    case QMetaType::QString: {
      // Plain ASCII is the same text in every code page and to every collation, so
      // it goes narrow and the server compares a narrow key by its index; anything
      // else goes in Unicode, as a parameter would.
      const QString text = value.toString();
      if (!plainAscii(text)) sql += u'N';
      sql += u'\'';
      for (const QChar c : text) {
        if (c == u'\'') sql += u'\'';
        sql += c;
      }
      sql += u'\'';
      return;
    }
    case QMetaType::Bool:
      sql += value.toBool() ? u'1' : u'0';
      return;
    case QMetaType::Double:
    case QMetaType::Float: {
      const Quotient q = *quotientOf(value.toDouble());
      if (form == FloatForm::Pair) {
        appendWhole(sql, q.dividend, false);
        sql += QStringLiteral(", ");
        appendWhole(sql, q.divisor, false);
      } else if (q.divisor == 1) {
        appendWhole(sql, q.dividend, false);
      } else {
        sql += QStringLiteral("CAST(");
        appendWhole(sql, q.dividend, false);
        sql += QStringLiteral(" AS float) / ");
        appendWhole(sql, q.divisor, false);
      }
      return;
    }
    case QMetaType::QDateTime:
      // ISO 8601 with the "T" reads alike whatever the session's date format.
      sql += u'\'' + isoDateTime(value.toDateTime(), u'T') + u'\'';
      return;
    default:
      appendWhole(sql, value.toLongLong(), type == ftLargeint);
      return;
  }
}

QString floatOf(const QString& dividend, const QString& divisor) {
  return QStringLiteral("(CAST(%1 AS float) / %2)").arg(dividend, divisor);
}

}  // namespace db::sqlliteral
