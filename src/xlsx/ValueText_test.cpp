// Values read straight from the parser's UTF-8 must read as their UTF-16 text does:
// the scanner takes the short way for ASCII values only, and any other blank, digit or
// letter must not tell the two apart.
#include "ValueText.h"

#include <gtest/gtest.h>

namespace xlsx {
namespace {

const char* const kValues[] = {
    "",
    " ",
    "\t\r\n",
    "1",
    " 1.5 ",
    "+2",
    "\t-3e2\n",
    "-0",
    "1e400",
    "nan",
    "inf",
    "0x10",
    "1,5",
    "12345678901234567890",
    "9223372036854775807",
    "9223372036854775808",
    "+-1",
    "1 2",
    "00042",
    "1.5\u00a0",
    "\u00a01",
    "\u3000",
    "\u00a0",
    "\uff11\uff12",
    "\u0661",
    "1111111111111111111111111111111111111111111111111111111111111111111111",
    "B3",
    "b3",
    "AA10",
    "XFD1",
    "XFE1",
    "3",
    "B",
    "B\uff13",
    "\uff22"
    "3",
    "B3 ",
    "A-1",
};

QString utf16(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

TEST(XlsxValueText, Utf8ValuesReadAsTheirUtf16Texts) {
  for (const char* value : kValues) {
    const std::string_view utf8(value);
    const QString text = utf16(utf8);
    EXPECT_EQ(parseNumber(utf8), parseNumber(text)) << value;
    EXPECT_EQ(parseWhole(utf8), parseWhole(text)) << value;
    EXPECT_EQ(columnOfReference(utf8), columnOfReference(text)) << value;
    EXPECT_EQ(isBlank(utf8), text.trimmed().isEmpty()) << value;
  }
  // What the list holds besides the plain cases.
  EXPECT_EQ(parseNumber(std::string_view("1.5\u00a0")), 1.5);
  EXPECT_EQ(columnOfReference(std::string_view("B\uff13")), 1);
  EXPECT_TRUE(isBlank(std::string_view("\u3000")));
}

}  // namespace
}  // namespace xlsx
