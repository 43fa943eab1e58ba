#include "ValueText.h"

#include <QTime>
#include <charconv>
#include <cmath>

namespace xlsx {
namespace {
// The characters QChar::isSpace takes for blanks among the ASCII ones.
bool isAsciiBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// `text` without surrounding blanks as ASCII into `buf`; false when it holds anything
// else or is too long to be a number.
bool asciiInto(QStringView text, char (&buf)[64], size_t& length) {
  text = text.trimmed();
  if (text.size() >= qsizetype(sizeof buf)) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c >= 0x80) return false;
    buf[i] = char(c);
  }
  length = size_t(text.size());
  return true;
}

// A value as the parser hands it out, without surrounding blanks, when it is all ASCII
// (as numbers, indexes and references are); none when it holds anything else, whose
// blanks only the UTF-16 text can tell.
std::optional<std::string_view> asciiTrimmed(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
  while (!text.empty() && isAsciiBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isAsciiBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<double> numberOfAscii(std::string_view text) {
  if (text.empty() || text.size() >= 64) return std::nullopt;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') ++begin;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<qint64> wholeOfAscii(std::string_view text) {
  if (text.empty() || text.size() >= 64) return std::nullopt;
  qint64 value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

int hexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

std::optional<double> serialOf(QDate date, int msOfDay, bool date1904) {
  qint64 days;
  if (date1904) {
    days = QDate(1904, 1, 1).daysTo(date);
  } else if (date < QDate(1900, 3, 1)) {
    days = QDate(1899, 12, 31).daysTo(date);
  } else {
    days = QDate(1899, 12, 30).daysTo(date);
  }
  if (days < 0 || date > kLastDate) return std::nullopt;
  return double(days) + double(msOfDay) / double(kMsPerDay);
}

}  // namespace

std::optional<double> parseNumber(QStringView text) {
  char buf[64];
  size_t length = 0;
  if (!asciiInto(text, buf, length)) return std::nullopt;
  return numberOfAscii(std::string_view(buf, length));
}

std::optional<double> parseNumber(std::string_view utf8) {
  const std::optional<std::string_view> text = asciiTrimmed(utf8);
  return text ? numberOfAscii(*text) : parseNumber(QString::fromUtf8(utf8));
}

std::optional<qint64> parseWhole(QStringView text) {
  char buf[64];
  size_t length = 0;
  if (!asciiInto(text, buf, length)) return std::nullopt;
  return wholeOfAscii(std::string_view(buf, length));
}

std::optional<qint64> parseWhole(std::string_view utf8) {
  const std::optional<std::string_view> text = asciiTrimmed(utf8);
  return text ? wholeOfAscii(*text) : parseWhole(QString::fromUtf8(utf8));
}

bool isBlank(std::string_view utf8) {
  const std::optional<std::string_view> text = asciiTrimmed(utf8);
  return text ? text->empty() : QString::fromUtf8(utf8).trimmed().isEmpty();
}

bool parseBoolean(QStringView text) {
  text = text.trimmed();
  return text == u"1" || text.compare(u"true", Qt::CaseInsensitive) == 0;
}

QString decodeEscapes(QString text) {
  qsizetype at = text.indexOf(u"_x");
  if (at < 0) return text;
  QString out;
  out.reserve(text.size());
  qsizetype copied = 0;
  while (at >= 0 && at + 7 <= text.size()) {
    int code = 0;
    bool hex = text[at + 6] == u'_';
    for (int i = 2; hex && i < 6; ++i) {
      const int d = hexDigit(text[at + i]);
      hex = d >= 0;
      code = code * 16 + d;
    }
    if (!hex) {
      at = text.indexOf(u"_x", at + 1);
      continue;
    }
    out += QStringView(text).mid(copied, at - copied);
    out += QChar(char16_t(code));
    copied = at + 7;
    at = text.indexOf(u"_x", copied);
  }
  out += QStringView(text).mid(copied);
  return out;
}

namespace {

// A reference's letters as a column, with nothing but digits after them; -1 otherwise.
template <typename Text, typename UnitOf, typename IsDigit>
int referenceColumn(const Text& ref, UnitOf unitOf, IsDigit isDigit) {
  const qsizetype n = qsizetype(ref.size());
  int column = 0;
  qsizetype i = 0;
  for (; i < n; ++i) {
    const char16_t c = unitOf(ref[i]);
    int letter;
    if (c >= 'A' && c <= 'Z')
      letter = c - 'A' + 1;
    else if (c >= 'a' && c <= 'z')
      letter = c - 'a' + 1;
    else
      break;
    column = column * 26 + letter;
    if (column > kMaxColumns) return -1;
  }
  if (i == 0) return -1;
  for (qsizetype j = i; j < n; ++j)
    if (!isDigit(ref[j])) return -1;
  return column - 1;
}

}  // namespace

int columnOfReference(QStringView ref) {
  return referenceColumn(
      ref, [](QChar c) { return c.unicode(); }, [](QChar c) { return c.isDigit(); });
}

int columnOfReference(std::string_view utf8) {
  // Only a reference with other than ASCII in it needs the digits QChar knows.
  for (const char c : utf8)
    if (static_cast<unsigned char>(c) >= 0x80) return columnOfReference(QString::fromUtf8(utf8));
  return referenceColumn(
      utf8, [](char c) { return char16_t(static_cast<unsigned char>(c)); },
      [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<double> serialOfIsoText(QStringView text, bool date1904) {
  text = text.trimmed();
  if (text.endsWith(u'Z') || text.endsWith(u'z')) text.chop(1);
  QStringView datePart;
  QStringView timePart;
  if (text.size() >= 10 && text[4] == u'-') {
    datePart = text.left(10);
    if (text.size() > 10) {
      if (text[10] != u'T' && text[10] != u't' && text[10] != u' ') return std::nullopt;
      timePart = text.mid(11);
    }
  } else {
    timePart = text;
  }
  // A time zone offset is dropped: the value is the wall clock written.
  if (timePart.size() > 8) {
    const qsizetype sign =
        timePart.lastIndexOf(u'+') >= 0 ? timePart.lastIndexOf(u'+') : timePart.lastIndexOf(u'-');
    if (sign > 0) timePart = timePart.left(sign);
  }
  int msOfDay = 0;
  if (!timePart.isEmpty()) {
    const QTime time = QTime::fromString(timePart.toString(), Qt::ISODateWithMs);
    if (!time.isValid()) return std::nullopt;
    msOfDay = time.msecsSinceStartOfDay();
  }
  if (datePart.isEmpty()) return double(msOfDay) / double(kMsPerDay);
  const QDate date = QDate::fromString(datePart.toString(), Qt::ISODate);
  if (!date.isValid()) return std::nullopt;
  return serialOf(date, msOfDay, date1904);
}

}  // namespace xlsx
