#include "import/ItemNumber.h"

#include <platform/Error.h>

#include <gtest/gtest.h>

namespace dataimport {
namespace {

TEST(ItemNumber, CompletesSixAndSevenDigitsWithTheCheckDigit) {
  EXPECT_EQ(completeItemNo("1234567"), "12345670");
  EXPECT_EQ(completeItemNo("123456"), "12345601");
  EXPECT_EQ(completeItemNo(" \t1234567 "), "12345670");
  EXPECT_EQ(completeItemNo("4710018"), QString("4710018") + EanCheckDigit("4710018"));
  // Other lengths stay as they are (after trimming).
  EXPECT_EQ(completeItemNo("12345"), "12345");
  EXPECT_EQ(completeItemNo("123456789"), "123456789");
  EXPECT_EQ(completeItemNo(""), "");
}

TEST(ItemNumber, CheckDigitOfKnownCodes) {
  // 9638507 -> 96385074, 5512345 -> 55123457 (EAN-8 examples), 0000001 -> 00000017.
  EXPECT_EQ(EanCheckDigit("9638507"), QChar('4'));
  EXPECT_EQ(EanCheckDigit("5512345"), QChar('7'));
  EXPECT_EQ(EanCheckDigit("0000001"), QChar('7'));
  EXPECT_EQ(EanCheckDigit("0000000"), QChar('0'));
  EXPECT_EQ(EanCheckDigit("96385079999"), QChar('4'));  // past the seventh: ignored
}

TEST(ItemNumber, NonDigitInTheFirstSevenFails) {
  EXPECT_THROW(completeItemNo("12A4567"), platform::Error);
  EXPECT_THROW(completeItemNo("12 4567"), platform::Error);
  // Six bytes of Big5 are three Chinese characters: no digits to check.
  EXPECT_THROW(completeItemNo(QStringLiteral("藥品名")), platform::Error);
  EXPECT_THROW(EanCheckDigit("123"), platform::Error);
}

TEST(ItemNumber, TrimsOnlyCodesUpTo32) {
  EXPECT_EQ(trimmedText(QString("\x01 ab \x1f")), "ab");
  EXPECT_EQ(trimmedText(QStringLiteral("\u3000ab\u3000")), QStringLiteral("\u3000ab\u3000"));
  EXPECT_EQ(trimmedText("   "), "");
}

}  // namespace
}  // namespace dataimport
