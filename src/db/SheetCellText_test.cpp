// The cell texts written digit by digit must be the very texts the locale-aware
// formatting writes (QString::number, and the date the reader's dateOf gives written by
// isoDateTime): stored journals and the import's conversions were made with those.
#include "SheetCellText.h"

#include "IsoDateTime.h"

#include <xlsx/XlsxReader.h>

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <random>

namespace db {
namespace {

// The text as the formatting of the locale writes it.
QString qtNumberText(double x) {
  if (std::abs(x) <= 9007199254740992.0 && std::trunc(x) == x) return QString::number(qint64(x));
  if (const double a = std::abs(x); a >= 1e-6 && a < 1e15)
    return QString::number(x, 'f', QLocale::FloatingPointShortest);
  return QString::number(x, 'g', QLocale::FloatingPointShortest);
}

std::optional<QString> qtDateText(double serial, bool date1904) {
  const QDateTime at = xlsx::Workbook::dateOf(serial, date1904);
  if (!at.isValid()) return std::nullopt;
  return isoDateTime(at, u'T');
}

TEST(SheetNumberText, WritesWholeNumbersDecimalsAndExponentsAsBefore) {
  EXPECT_EQ(sheetNumberText(0), "0");
  EXPECT_EQ(sheetNumberText(-0.0), "0");
  EXPECT_EQ(sheetNumberText(200000), "200000");
  EXPECT_EQ(sheetNumberText(-5), "-5");
  EXPECT_EQ(sheetNumberText(9007199254740992.0), "9007199254740992");
  EXPECT_EQ(sheetNumberText(-9007199254740992.0), "-9007199254740992");
  EXPECT_EQ(sheetNumberText(9007199254740994.0), "9007199254740994");
  EXPECT_EQ(sheetNumberText(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(sheetNumberText(-12.5), "-12.5");
  EXPECT_EQ(sheetNumberText(0.00001), "0.00001");
  EXPECT_EQ(sheetNumberText(1e-6), "0.000001");
  EXPECT_EQ(sheetNumberText(-1e-6), "-0.000001");
  EXPECT_EQ(sheetNumberText(9.99e-7), "9.99e-07");
  EXPECT_EQ(sheetNumberText(1e15), "1000000000000000");
  EXPECT_EQ(sheetNumberText(1e15 + 0.5), "1000000000000000.5");
  EXPECT_EQ(sheetNumberText(1.5e20), "1.5e+20");
  EXPECT_EQ(sheetNumberText(999999999999999.9), "999999999999999.9");
  EXPECT_EQ(sheetNumberText(1e300), "1e+300");
  EXPECT_EQ(sheetNumberText(5e-324), "5e-324");
}

// Random doubles of every shape: whole, short decimals as prices are, full-precision
// fractions and bit patterns spread over the whole range.
TEST(SheetNumberText, AgreesWithTheLocaleFormattingOverManyNumbers) {
  std::mt19937_64 random(20240229);
  std::uniform_int_distribution<int> exponent(-12, 18);
  for (int i = 0; i < 200000; ++i) {
    double x = 0;
    switch (i % 4) {
      case 0:
        x = double(qint64(random() % 2000000) - 1000000) / 100;
        break;
      case 1:
        x = std::ldexp(double(random() >> 11), -53) * std::pow(10.0, exponent(random));
        break;
      case 2: {
        const quint64 bits = random();
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x)) x = 1.5;
        break;
      }
      default:
        x = std::trunc(std::ldexp(double(random() >> 11), -53) * std::pow(10.0, exponent(random)));
        break;
    }
    if (random() & 1) x = -x;
    ASSERT_EQ(sheetNumberText(x), qtNumberText(x)) << x;
  }
}

TEST(SheetDateText, CountsDaysInBothDateSystemsAsTheReaderDoes) {
  EXPECT_EQ(sheetDateText(0, false), "1899-12-31T00:00:00");
  EXPECT_EQ(sheetDateText(1, false), "1900-01-01T00:00:00");
  EXPECT_EQ(sheetDateText(59, false), "1900-02-28T00:00:00");
  EXPECT_EQ(sheetDateText(60, false), std::nullopt);  // 1900-02-29
  EXPECT_EQ(sheetDateText(61, false), "1900-03-01T00:00:00");
  EXPECT_EQ(sheetDateText(0.4375, false), "1899-12-31T10:30:00");
  EXPECT_EQ(sheetDateText(45351.5732653125, false), "2024-02-29T13:45:30.123");
  EXPECT_EQ(sheetDateText(45351.999999999, false), "2024-03-01T00:00:00");
  EXPECT_EQ(sheetDateText(2958465.999988426, false), "9999-12-31T23:59:59");
  EXPECT_EQ(sheetDateText(2958466, false), std::nullopt);
  EXPECT_EQ(sheetDateText(-1, false), std::nullopt);
  EXPECT_EQ(sheetDateText(std::nan(""), false), std::nullopt);
  EXPECT_EQ(sheetDateText(1e300, true), std::nullopt);
  EXPECT_EQ(sheetDateText(0, true), "1904-01-01T00:00:00");
  EXPECT_EQ(sheetDateText(43889.5732653125, true), "2024-02-29T13:45:30.123");
  EXPECT_EQ(sheetDateText(2957003.5, true), "9999-12-31T12:00:00");
  EXPECT_EQ(sheetDateText(2957004, true), std::nullopt);
}

TEST(SheetDateText, AgreesWithTheReadersDatesOverManySerials) {
  std::mt19937_64 random(1904);
  std::uniform_real_distribution<double> serial(-10, 3e6);
  for (int i = 0; i < 100000; ++i) {
    // Whole days, times to the millisecond and any fraction at all.
    double x = serial(random);
    if (i % 3 == 0) x = std::floor(x);
    if (i % 3 == 1) x = std::floor(x) + double(random() % 86400000) / 86400000;
    const bool date1904 = (i & 4) != 0;
    ASSERT_EQ(sheetDateText(x, date1904), qtDateText(x, date1904)) << x << " " << date1904;
  }
}

TEST(SheetCellText, GivesEachKindOfCellItsText) {
  bool null = false;
  xlsx::Cell cell;
  EXPECT_TRUE(sheetCellText(cell, false, null).isNull());
  EXPECT_TRUE(null);
  cell.kind = xlsx::Cell::Kind::Boolean;
  cell.boolean = true;
  EXPECT_EQ(sheetCellText(cell, false, null), "True");
  EXPECT_FALSE(null);
  cell.kind = xlsx::Cell::Kind::Error;
  cell.text = "#N/A";
  EXPECT_EQ(sheetCellText(cell, false, null), "#N/A");
  cell.kind = xlsx::Cell::Kind::Number;
  cell.number = 61;
  EXPECT_EQ(sheetCellText(cell, false, null), "61");
  cell.dateFormatted = true;
  EXPECT_EQ(sheetCellText(cell, false, null), "1900-03-01T00:00:00");
  cell.number = 60;  // no date: the number stands
  EXPECT_EQ(sheetCellText(cell, false, null), "60");
  EXPECT_FALSE(null);
}

}  // namespace
}  // namespace db
