// The one place where a value becomes plain text. Every text form reads back to the
// same value:
//   NULL          ""                      Boolean   "1" / "0"
//   integers      "-12"                   Single, Double  shortest text that reads back
//   Currency      "3.5000" (4 decimals)   Decimal   exactly `scale` decimals ("-1.50")
//   Date/Time     "YYYY-MM-DD HH:MM:SS", rounded to the second; days outside the years
//                 100..9999 (or not a number) as the stored day count
//   Text, Memo    the text (UTF-8)        OLE, Binary  uppercase hex
//   Replication ID  "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
#pragma once

#include <cstdint>
#include <string>

#include "jet/Value.h"

namespace jet {

// A stored date broken into calendar fields.
struct CivilTime {
  std::int64_t year = 0;
  int month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

class ValueText {
 public:
  static std::string toText(const Value& value);
  static void append(std::string& out, const Value& value);

  static std::string formatDouble(double d);
  static std::string formatSingle(float f);
  static std::string formatCurrency(Currency c);
  static std::string formatDecimal(const Decimal& d);
  static std::string formatGuid(const Guid& g);
  static std::string formatDateTime(DateTime d);  // "YYYY-MM-DD HH:MM:SS"
  static void appendHex(std::string& out, const Bytes& bytes);

  // Calendar fields of a stored date, rounded to the second or (with `milliseconds`)
  // to the millisecond; false for days outside the years 100..9999 or not a number.
  static bool toCivil(DateTime d, bool milliseconds, CivilTime& out);
};

}  // namespace jet
