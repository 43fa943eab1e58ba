#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace exportengine {

namespace {

QStringView trimBlanks(QStringView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin].unicode() <= ' ') ++begin;
  while (end > begin && text[end - 1].unicode() <= ' ') --end;
  return text.mid(begin, end - begin);
}

std::optional<qint64> readWhole(QStringView text, qint64 low, qint64 high) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  bool negative = false;
  if (i < n && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int base = 10;
  if (i < n && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return std::nullopt;
  // Magnitudes are gathered unsigned; the limit allows the most negative value.
  const quint64 limit = negative ? quint64(-(low + 1)) + 1 : quint64(high);
  quint64 value = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i].unicode();
    int digit = -1;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    if (value > (limit - quint64(digit)) / quint64(base)) return std::nullopt;
    value = value * quint64(base) + quint64(digit);
  }
  if (negative) return value == 0 ? 0 : -qint64(value - 1) - 1;
  return qint64(value);
}

bool equalsLatin1NoCase(QStringView text, const char* word) {
  return text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

}  // namespace

std::optional<qint32> ReadInt32(QStringView text) {
  const auto v =
      readWhole(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
  if (!v) return std::nullopt;
  return qint32(*v);
}

std::optional<qint64> ReadInt64(QStringView text) {
  return readWhole(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
}

std::optional<double> ReadFloat(QStringView text, QChar decimalSeparator) {
  const QStringView t = trimBlanks(text);
  if (t.isEmpty() || t.size() > 400) return std::nullopt;
  if (equalsLatin1NoCase(t, "NAN")) return std::nan("");
  if (equalsLatin1NoCase(t, "INF") || equalsLatin1NoCase(t, "+INF")) return HUGE_VAL;
  if (equalsLatin1NoCase(t, "-INF")) return -HUGE_VAL;
  // Copied into the form from_chars reads: ASCII, '.' as the point, no leading '+'.
  char buffer[402];
  qsizetype i = 0;
  int length = 0;
  if (t[0] == u'+' || t[0] == u'-') {
    if (t[0] == u'-') buffer[length++] = '-';
    ++i;
  }
  bool digits = false;
  bool point = false;
  bool exponent = false;
  for (; i < t.size(); ++i) {
    const QChar c = t[i];
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
      buffer[length++] = char(u);
      digits = true;
    } else if (c == decimalSeparator && !point && !exponent) {
      buffer[length++] = '.';
      point = true;
    } else if ((u == 'e' || u == 'E') && digits && !exponent) {
      buffer[length++] = 'e';
      exponent = true;
      if (i + 1 < t.size() && (t[i + 1] == u'+' || t[i + 1] == u'-')) {
        buffer[length++] = char(t[i + 1].unicode());
        ++i;
      }
      if (i + 1 >= t.size()) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(buffer, buffer + length, value);
  if (error == std::errc::result_out_of_range) {
    // Too large gives an infinity, too small zero, as a conversion to double does.
    value = std::strtod(std::string(buffer, size_t(length)).c_str(), nullptr);
  } else if (error != std::errc() || end != buffer + length) {
    return std::nullopt;
  }
  return value;
}

}  // namespace exportengine
