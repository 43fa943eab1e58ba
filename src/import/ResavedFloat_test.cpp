#include "import/ResavedFloat.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

namespace dataimport {
namespace {

TEST(ResavedFloat, OnlyFloatsEqualAtFifteenDigitsAreAlike) {
  const auto alike = [](db::FieldType type, const QVariant& file, const QVariant& kept) {
    return resavedAlike(type, file, kept);
  };
  EXPECT_TRUE(alike(db::ftFloat, 715.7238, 715.7238000000001));
  EXPECT_TRUE(alike(db::ftCurrency, 1123.698, 1123.6979999999999));
  EXPECT_TRUE(alike(db::ftFloat, 0.0, -0.0));
  EXPECT_FALSE(alike(db::ftFloat, 715.7239, 715.7238000000001));
  EXPECT_FALSE(alike(db::ftFloat, 1.00000000000001, 1.00000000000002));
  // No rounding for whole numbers, texts or a missing value.
  EXPECT_FALSE(alike(db::ftLargeint, qint64(1234567890123460), qint64(1234567890123456)));
  EXPECT_FALSE(alike(db::ftFloat, QVariant(), 0.0));
  EXPECT_FALSE(alike(db::ftString, QStringLiteral("715.7238"), 715.7238000000001));
  // Rounded past the largest double, two different values are not one.
  const double largest = std::numeric_limits<double>::max();
  EXPECT_FALSE(alike(db::ftFloat, largest, std::nextafter(largest, 0.0)));
  EXPECT_FALSE(alike(db::ftFloat, std::nan(""), std::nan("")));
}

}  // namespace
}  // namespace dataimport
