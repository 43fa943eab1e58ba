#include "jet/ValueText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace jet {
namespace {

std::string date(double days) {
  return ValueText::formatDateTime({days});
}

TEST(ValueText, DatesCountDaysFrom18991230WithTheTimeRunningForwardFromMidnight) {
  EXPECT_EQ(date(27293.0), "1974-09-21 00:00:00");  // testV2003.mdb Table1
  EXPECT_EQ(date(0.25), "1899-12-30 06:00:00");     // time only
  EXPECT_EQ(date(-1.25), "1899-12-29 06:00:00");    // before the epoch: day - fraction
  EXPECT_EQ(date(-1.0), "1899-12-29 00:00:00");
  EXPECT_EQ(date(2958465.999988426), "9999-12-31 23:59:59");
  // 23:59:59.6 rounds into the next day rather than printing 24:00:00.
  EXPECT_EQ(date(40000 + 86399.6 / 86400), "2009-07-07 00:00:00");
}

TEST(ValueText, DatesOutsideAccessRangeKeepTheirStoredNumber) {
  EXPECT_EQ(date(1e12), "1e+12");
  EXPECT_EQ(date(std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(ValueText, MillisecondBreakdownForTheJsonDump) {
  CivilTime t;
  ASSERT_TRUE(ValueText::toCivil({40122.98713 /* 2009-11-05 23:41:28.032 */}, true, t));
  EXPECT_EQ(t.year, 2009);
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 41);
  EXPECT_EQ(t.second, 28);
  EXPECT_EQ(t.millisecond, 32);
}

TEST(ValueText, CurrencyKeepsFourDecimalsExactly) {
  EXPECT_EQ(ValueText::formatCurrency({35000}), "3.5000");
  EXPECT_EQ(ValueText::formatCurrency({0}), "0.0000");
  EXPECT_EQ(ValueText::formatCurrency({-1}), "-0.0001");
  EXPECT_EQ(ValueText::formatCurrency({std::numeric_limits<std::int64_t>::min()}),
            "-922337203685477.5808");
}

TEST(ValueText, DecimalFromStoredBytes) {
  // fixedNumericTestV2000.mdb: sign byte, then four LE words, most significant first.
  Decimal minusOne{true, 18, 0, {0, 0, 0, 1}};
  EXPECT_EQ(ValueText::formatDecimal(minusOne), "-1");
  EXPECT_EQ(ValueText::formatDecimal({false, 18, 0, {0, 0, 0, 4}}), "4");
  EXPECT_EQ(ValueText::formatDecimal({false, 10, 4, {0, 0, 0, 15}}), "0.0015");
  EXPECT_EQ(ValueText::formatDecimal({true, 10, 2, {0, 0, 0, 0}}), "0.00");
  EXPECT_EQ(ValueText::formatDecimal({false, 28, 0, {0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}}),
            "79228162514264337593543950335");
}

TEST(ValueText, FloatingPointIsTheShortestTextThatReadsBack) {
  EXPECT_EQ(ValueText::formatDouble(444.555), "444.555");
  EXPECT_EQ(ValueText::formatDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(ValueText::formatDouble(-0.0), "-0");
  EXPECT_EQ(ValueText::formatSingle(0.1f), "0.1");
  EXPECT_EQ(ValueText::toText(Value::single(0.1f)), "0.1");
}

TEST(ValueText, OtherKinds) {
  EXPECT_EQ(ValueText::toText(Value()), "");
  EXPECT_EQ(ValueText::toText(Value::boolean(true)), "1");
  EXPECT_EQ(ValueText::toText(Value::integer(-32768)), "-32768");
  EXPECT_EQ(ValueText::toText(Value::bytes({0x00, 0xAB, 0x0F})), "00AB0F");
  Guid g;
  const std::uint8_t stored[16] = {0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                                   0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78};
  std::memcpy(g.bytes.data(), stored, 16);
  EXPECT_EQ(ValueText::toText(Value::guid(g)), "{12345678-1234-5678-9ABC-DEF012345678}");
}

}  // namespace
}  // namespace jet
