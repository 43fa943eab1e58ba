#include "TextCodec.h"

#include <gtest/gtest.h>

#include <vector>

namespace jet {
namespace {

std::string decode(const std::vector<std::uint8_t>& b) {
  return TextCodec::decode(b.data(), b.size());
}

TEST(TextCodec, CompressedAndPlainValuesOfAnAccessRow) {
  // testV2003.mdb Table1 row 0: A compressed "abcdefg", B plain UTF-16 "hijklmnop".
  EXPECT_EQ(decode({0xff, 0xfe, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67}), "abcdefg");
  EXPECT_EQ(
      decode({0x68, 0, 0x69, 0, 0x6a, 0, 0x6b, 0, 0x6c, 0, 0x6d, 0, 0x6e, 0, 0x6f, 0, 0x70, 0}),
      "hijklmnop");
  // A single character stays UTF-16 ('a'), Latin-1 letters compress ("ääk").
  EXPECT_EQ(decode({0x61, 0x00}), "a");
  EXPECT_EQ(decode({0xff, 0xfe, 0xe4, 0xe4, 0x6b}), "\xc3\xa4\xc3\xa4k");
}

TEST(TextCodec, ZeroByteSwitchesBetweenOneByteAndUtf16Runs) {
  // "ab" compressed, switch, U+041C U+0438 (Cyrillic) as UTF-16, switch back, "c".
  EXPECT_EQ(decode({0xff, 0xfe, 'a', 'b', 0x00, 0x1c, 0x04, 0x38, 0x04, 0x00, 'c'}),
            "ab\xd0\x9c\xd0\xb8"
            "c");
}

TEST(TextCodec, SurrogatesPairUpAndLoneOnesBecomeReplacementCharacters) {
  EXPECT_EQ(decode({0x3d, 0xd8, 0x00, 0xde}), "\xf0\x9f\x98\x80");  // U+1F600
  EXPECT_EQ(decode({0x3d, 0xd8, 0x41, 0x00}),
            "\xef\xbf\xbd"
            "A");
  EXPECT_EQ(decode({0x00, 0xde}), "\xef\xbf\xbd");
}

TEST(TextCodec, TruncatedInputNeverReadsPastTheEnd) {
  EXPECT_EQ(decode({0x41, 0x00, 0x42}), "A");       // odd trailing byte
  EXPECT_EQ(decode({0xff, 0xfe, 0x00, 0x41}), "");  // half a UTF-16 unit
  EXPECT_EQ(decode({0xff, 0xfe}), "");
  EXPECT_EQ(decode({0xff}), "");
}

}  // namespace
}  // namespace jet
