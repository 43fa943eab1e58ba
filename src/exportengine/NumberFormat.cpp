#include "NumberFormat.h"

#include <platform/RegionalSettings.h>

#include <charconv>
#include <cmath>
#include <cstring>

namespace exportengine {

namespace {

// A magnitude as decimal digits without leading or trailing zeros, and the position of
// the decimal point counted from the first digit ("125" with point 1 is 1.25). Zero
// has no digits.
struct Digits {
  char digits[32] = {};
  int count = 0;
  int point = 0;
};

Digits digitsOf(double magnitude) {
  Digits d;
  if (magnitude == 0) return d;
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
  const char* end = result.ptr;
  const char* e = static_cast<const char*>(std::memchr(buffer, 'e', size_t(end - buffer)));
  for (const char* p = buffer; p < e; ++p)
    if (*p != '.') d.digits[d.count++] = *p;
  int exponent = 0;
  std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
  d.point = exponent + 1;
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  return d;
}

Digits digitsOf(quint64 magnitude) {
  Digits d;
  if (magnitude == 0) return d;
  const auto result = std::to_chars(d.digits, d.digits + sizeof d.digits, magnitude);
  d.count = int(result.ptr - d.digits);
  d.point = d.count;
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  return d;
}

// Rounds half away from zero to `decimals` places after the point.
void roundTo(Digits& d, int decimals) {
  const int keep = d.point + decimals;
  if (keep >= d.count) return;
  if (keep < 0) {
    d.count = 0;
    return;
  }
  const bool up = d.digits[keep] >= '5';
  d.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') --i;
    if (i < 0) {
      // All nines: 999.6 becomes 1000.
      d.digits[0] = '1';
      d.count = 1;
      ++d.point;
      return;
    }
    ++d.digits[i];
    d.count = i + 1;
  }
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
}

// One section of a pattern, taken apart.
struct Section {
  QString prefix;
  QString suffix;
  int minWhole = 0;     // whole digits always shown
  int minFraction = 0;  // fraction digits always shown
  int maxFraction = 0;  // fraction digits shown at most
  bool grouping = false;
  bool placeholders = false;
};

Section parseSection(QStringView text) {
  Section s;
  bool fraction = false;
  int wholePlaceholders = 0;
  int firstZero = -1;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    QString& literal = s.placeholders ? s.suffix : s.prefix;
    if (c == u'"' || c == u'\'') {
      qsizetype end = text.indexOf(c, i + 1);
      if (end < 0) end = text.size();
      literal += text.mid(i + 1, end - i - 1);
      i = end;
    } else if (c == u'0' || c == u'#') {
      s.placeholders = true;
      if (fraction) {
        ++s.maxFraction;
        if (c == u'0') s.minFraction = s.maxFraction;
      } else {
        if (c == u'0' && firstZero < 0) firstZero = wholePlaceholders;
        ++wholePlaceholders;
      }
    } else if (c == u'.' && !fraction) {
      fraction = true;
      s.placeholders = true;
    } else if (c == u',' && !fraction) {
      s.grouping = true;
    } else {
      literal += c;
    }
  }
  if (firstZero >= 0) s.minWhole = wholePlaceholders - firstZero;
  return s;
}

QString render(Digits d, bool negative, const Section& s, const platform::RegionalSettings& rs) {
  roundTo(d, s.maxFraction);
  QString whole;
  if (d.point > 0) {
    whole.reserve(d.point + d.point / 3 + s.minWhole);
    for (int i = 0; i < d.point; ++i) whole += QChar(i < d.count ? d.digits[i] : '0');
  }
  if (whole.size() < s.minWhole) whole.prepend(QString(s.minWhole - whole.size(), u'0'));
  if (s.grouping)
    for (qsizetype i = whole.size() - 3; i > 0; i -= 3) whole.insert(i, rs.thousandSeparator);
  QString fraction;
  for (int i = d.point; i < d.count; ++i) fraction += QChar(i < 0 ? '0' : d.digits[i]);
  if (fraction.size() < s.minFraction) fraction += QString(s.minFraction - fraction.size(), u'0');

  QString out;
  out.reserve(s.prefix.size() + whole.size() + fraction.size() + s.suffix.size() + 2);
  if (negative && d.count > 0) out += u'-';
  out += s.prefix;
  out += whole;
  if (!fraction.isEmpty()) {
    out += rs.decimalSeparator;
    out += fraction;
  }
  out += s.suffix;
  return out;
}

// Splits at ';' outside quotes; at most three sections count.
int splitSections(QStringView pattern, QStringView sections[3]) {
  int n = 0;
  qsizetype start = 0;
  QChar quote;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u';') {
      sections[n++] = pattern.mid(start, i - start);
      start = i + 1;
      if (n == 2) break;
    }
  }
  sections[n++] = pattern.mid(start);
  if (n == 3) {
    // A third ';' ends the zero section.
    const qsizetype cut = sections[2].indexOf(u';');
    if (cut >= 0) sections[2] = sections[2].left(cut);
  }
  return n;
}

QString general(double value, const platform::RegionalSettings& rs) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  QString out;
  out.reserve(int(result.ptr - buffer));
  for (const char* p = buffer; p < result.ptr; ++p)
    out += *p == '.' ? rs.decimalSeparator : QChar(*p == 'e' ? 'E' : *p);
  return out;
}

QString format(const Digits& d, bool negative, QStringView pattern,
               const platform::RegionalSettings& rs) {
  QStringView sections[3];
  const int n = splitSections(pattern, sections);
  QStringView chosen = sections[0];
  bool showMinus = negative;
  if (negative && n >= 2 && !sections[1].isEmpty()) {
    chosen = sections[1];
    showMinus = false;
  } else if (d.count == 0 && n >= 3 && !sections[2].isEmpty()) {
    chosen = sections[2];
  }
  const Section section = parseSection(chosen);
  // A section without digits is all text ("zero", "n/a").
  if (!section.placeholders) return section.prefix;
  return render(d, showMinus, section, rs);
}

}  // namespace

QString FormatFloat(double value, QStringView pattern, const platform::RegionalSettings& settings) {
  if (std::isnan(value) || std::isinf(value)) return general(value, settings);
  if (pattern.isEmpty()) return general(value, settings);
  return format(digitsOf(std::fabs(value)), value < 0, pattern, settings);
}

QString FormatWhole(qint64 value, QStringView pattern, const platform::RegionalSettings& settings) {
  const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
  if (pattern.isEmpty()) return QString::number(value);
  return format(digitsOf(magnitude), value < 0, pattern, settings);
}

}  // namespace exportengine
