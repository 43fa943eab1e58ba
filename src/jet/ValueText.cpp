#include "jet/ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {

namespace {

// Access accepts dates from 100-01-01 to 9999-12-31.
constexpr double kMinDay = -657434;
constexpr double kMaxDay = 2958465;
constexpr std::int64_t kDaysFrom0000ToEpoch = 719468;  // 0000-03-01 .. 1970-01-01

// Days since 1970-01-01 to year/month/day (proleptic Gregorian).
void civilFromDays(std::int64_t z, CivilTime& out) {
  z += kDaysFrom0000ToEpoch;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = yoe + era * 400 + (out.month <= 2 ? 1 : 0);
}

template <typename T>
std::string shortest(T v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string ValueText::formatDouble(double d) {
  return shortest(d);
}
std::string ValueText::formatSingle(float f) {
  return shortest(f);
}

std::string ValueText::formatCurrency(Currency c) {
  const bool negative = c.tenThousandths < 0;
  const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(c.tenThousandths)
                                     : static_cast<std::uint64_t>(c.tenThousandths);
  char buf[32];
  char* p = buf;
  if (negative) *p++ = '-';
  p = std::to_chars(p, buf + sizeof buf, mag / 10000).ptr;
  *p++ = '.';
  std::uint64_t frac = mag % 10000;
  for (int i = 3; i >= 0; --i) {
    p[i] = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  return std::string(buf, p + 4);
}

std::string ValueText::formatDecimal(const Decimal& d) {
  unsigned __int128 mag = 0;
  for (std::uint32_t w : d.magnitude) mag = mag << 32 | w;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
    mag /= 10;
  } while (mag != 0);
  const std::size_t scale = d.scale;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - scale, 1, '.');
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return (d.negative && !zero ? "-" : "") + digits;
}

std::string ValueText::formatGuid(const Guid& g) {
  const auto& b = g.bytes;
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return buf;
}

bool ValueText::toCivil(DateTime d, bool milliseconds, CivilTime& out) {
  const double v = d.days;
  if (!std::isfinite(v) || v < kMinDay - 1 || v > kMaxDay + 1) return false;
  // Before 1899-12-30 the day is negative but the time still counts from midnight.
  double dayPart = std::trunc(v);
  const double fraction = std::fabs(v - dayPart);
  const std::int64_t unitsPerDay = milliseconds ? 86400000 : 86400;
  std::int64_t units = std::llround(fraction * static_cast<double>(unitsPerDay));
  std::int64_t day = static_cast<std::int64_t>(dayPart);
  if (units >= unitsPerDay) {
    units -= unitsPerDay;
    ++day;
  }
  civilFromDays(day - 25569, out);
  if (out.year < 100 || out.year > 9999) return false;
  if (milliseconds) {
    out.millisecond = static_cast<int>(units % 1000);
    units /= 1000;
  } else {
    out.millisecond = 0;
  }
  out.hour = static_cast<int>(units / 3600);
  out.minute = static_cast<int>(units / 60 % 60);
  out.second = static_cast<int>(units % 60);
  return true;
}

std::string ValueText::formatDateTime(DateTime d) {
  CivilTime t;
  if (!toCivil(d, false, t)) return formatDouble(d.days);
  // Written by hand: this runs once per date of an export, printf is the slow part.
  char buf[19];
  auto two = [&](int at, int v) {
    buf[at] = static_cast<char>('0' + v / 10);
    buf[at + 1] = static_cast<char>('0' + v % 10);
  };
  two(0, static_cast<int>(t.year / 100));
  two(2, static_cast<int>(t.year % 100));
  buf[4] = '-';
  two(5, t.month);
  buf[7] = '-';
  two(8, t.day);
  buf[10] = ' ';
  two(11, t.hour);
  buf[13] = ':';
  two(14, t.minute);
  buf[16] = ':';
  two(17, t.second);
  return std::string(buf, sizeof buf);
}

void ValueText::appendHex(std::string& out, const Bytes& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  const std::size_t base = out.size();
  out.resize(base + 2 * bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[base + 2 * i] = digits[bytes[i] >> 4];
    out[base + 2 * i + 1] = digits[bytes[i] & 0xF];
  }
}

void ValueText::append(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return;
    case Value::Kind::Bool:
      out += v.asBool() ? '1' : '0';
      return;
    case Value::Kind::Int: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.asInt());
      out.append(buf, r.ptr);
      return;
    }
    case Value::Kind::Float:
      out += formatSingle(v.asSingle());
      return;
    case Value::Kind::Double:
      out += formatDouble(v.asDouble());
      return;
    case Value::Kind::Currency:
      out += formatCurrency(v.asCurrency());
      return;
    case Value::Kind::DateTime:
      out += formatDateTime(v.asDateTime());
      return;
    case Value::Kind::Text:
      out += v.asText();
      return;
    case Value::Kind::Bytes:
      appendHex(out, v.asBytes());
      return;
    case Value::Kind::Guid:
      out += formatGuid(v.asGuid());
      return;
    case Value::Kind::Decimal:
      out += formatDecimal(v.asDecimal());
      return;
  }
}

std::string ValueText::toText(const Value& v) {
  std::string s;
  append(s, v);
  return s;
}

}  // namespace jet
