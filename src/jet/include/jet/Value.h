// A value read from (or written to) an Access table: a small tagged union. Each column
// type maps to one kind; the exact stored form is kept (currency in ten-thousandths,
// dates as the Access day count, decimals as sign + 96/128-bit magnitude + scale), so
// nothing is rounded on the way through. ValueText.h turns a value into plain text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace jet {

using Bytes = std::vector<std::uint8_t>;

struct Currency {
  std::int64_t tenThousandths = 0;  // 3.5 is 35000
  friend bool operator==(const Currency&, const Currency&) = default;
};

// Days since 1899-12-30 00:00 with the time of day as the fraction. Before that day the
// integer part is negative while the fraction still counts forward from midnight:
// 1899-12-29 06:00 is -1.25.
struct DateTime {
  double days = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Replication ID: the 16 bytes as stored (first three groups little-endian).
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

// Numeric (Decimal): value = (negative ? -1 : 1) * magnitude / 10^scale, where
// magnitude is a 128-bit unsigned integer given as four 32-bit words, most
// significant first.
struct Decimal {
  bool negative = false;
  std::uint8_t precision = 18;
  std::uint8_t scale = 0;
  std::array<std::uint32_t, 4> magnitude{};
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

class Value {
 public:
  enum class Kind {
    Null,
    Bool,
    Int,
    Float,
    Double,
    Currency,
    DateTime,
    Text,
    Bytes,
    Guid,
    Decimal
  };

  Value() = default;  // NULL
  static Value null() { return Value(); }
  static Value boolean(bool b) { return Value(Storage(std::in_place_index<1>, b)); }
  static Value integer(std::int64_t i) { return Value(Storage(std::in_place_index<2>, i)); }
  // Single: kept as float so its text form is the float's, not the widened double's.
  static Value single(float f) { return Value(Storage(std::in_place_index<3>, f)); }
  static Value real(double d) { return Value(Storage(std::in_place_index<4>, d)); }
  static Value currency(Currency c) { return Value(Storage(std::in_place_index<5>, c)); }
  static Value dateTime(DateTime d) { return Value(Storage(std::in_place_index<6>, d)); }
  static Value text(std::string utf8) {
    return Value(Storage(std::in_place_index<7>, std::move(utf8)));
  }
  static Value bytes(Bytes b) { return Value(Storage(std::in_place_index<8>, std::move(b))); }
  static Value guid(Guid g) { return Value(Storage(std::in_place_index<9>, g)); }
  static Value decimal(Decimal d) { return Value(Storage(std::in_place_index<10>, d)); }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return v_.index() == 0; }

  // Accessors; calling one for another kind throws std::bad_variant_access.
  bool asBool() const { return std::get<1>(v_); }
  std::int64_t asInt() const { return std::get<2>(v_); }
  float asSingle() const { return std::get<3>(v_); }
  double asDouble() const { return std::get<4>(v_); }
  Currency asCurrency() const { return std::get<5>(v_); }
  DateTime asDateTime() const { return std::get<6>(v_); }
  const std::string& asText() const { return std::get<7>(v_); }
  const Bytes& asBytes() const { return std::get<8>(v_); }
  const Guid& asGuid() const { return std::get<9>(v_); }
  const Decimal& asDecimal() const { return std::get<10>(v_); }

  // Makes the value text and returns its UTF-8 for the caller to fill; a value that is
  // already text keeps its storage (rows refilled value by value allocate nothing).
  std::string& textBuffer() {
    if (v_.index() != 7) v_.emplace<7>();
    return std::get<7>(v_);
  }

  friend bool operator==(const Value&, const Value&) = default;

 private:
  using Storage = std::variant<std::monostate, bool, std::int64_t, float, double, Currency,
                               DateTime, std::string, Bytes, Guid, Decimal>;
  explicit Value(Storage v) : v_(std::move(v)) {}
  Storage v_;
};

}  // namespace jet
