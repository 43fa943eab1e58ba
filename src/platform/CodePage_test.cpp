#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <thread>

using namespace platform;

namespace {

QByteArray hex(const char* h) {
  return QByteArray::fromHex(h);
}
QString u(const char16_t* s) {
  return QString::fromUtf16(s);
}

}  // namespace

// Mappings where code page 950 differs from plain Big5 or from other converters.
TEST(CodePage, MapsCodePage950Extensions) {
  struct Case {
    const char* bytes;
    const char16_t* text;
  };
  const Case cases[] = {
      {"a4a4a4e5", u"中文"},
      {"a3e1", u"\u20AC"},            // Euro sign
      {"a145", u"\u2027"},            // hyphenation point
      {"a1e3", u"\uFF5E"},            // full-width tilde
      {"f9d6f9dc", u"\u7881\u5AFA"},  // ETEN hanzi 碁 嫺
      {"f9f9f9fe", u"\u2550\u2593"},  // ETEN box drawing
      {"8140", u"\uEEB8"},            // user-defined rows map to the private use area
      {"fa40", u"\uE000"},
      {"c8fe", u"\uF848"},
      {"80", u"\u0080"},  // single bytes of their own
      {"ff", u"\uF8F8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fromBig5(hex(c.bytes)), u(c.text)) << c.bytes;
    EXPECT_EQ(toBig5(u(c.text)).toHex(), QByteArray(c.bytes)) << c.bytes;
  }
  // 0xA2A4 reads as U+2550, which is written back as its ETEN code.
  EXPECT_EQ(fromBig5(hex("a2a4")), u(u"\u2550"));
  EXPECT_EQ(toBig5(u(u"\u2550\u255E\u256A\u2561")).toHex(), QByteArray("f9f9f9e9f9eaf9eb"));
}

TEST(CodePage, RoundTripsMixedText) {
  const QString text = u(u"小分類編號 ClsNo=01；許功蓋[也] \u20AC");
  EXPECT_EQ(fromBig5(toBig5(text)), text);
  EXPECT_EQ(big5Length(text), toBig5(text).size());
  EXPECT_EQ(big5Length(QStringLiteral("abc")), 3);
  EXPECT_EQ(big5Length(u(u"中a")), 3);
}

TEST(CodePage, UnmappableCharactersBecomeOneQuestionMarkEach) {
  // é, a surrogate pair (emoji), Hangul, a lone surrogate.
  const QString text = u(u"\u00E9x\U0001F600y\uAC00z") + QChar(0xD800);
  EXPECT_EQ(toBig5(text), QByteArray("?x?y?z?"));
  EXPECT_EQ(big5Length(text), 7);
  EXPECT_EQ(toBig5(u(u"中\u00E9")).toHex(), QByteArray("a4a43f"));
}

TEST(CodePage, InvalidBytesDecodeToReplacementCharacter) {
  EXPECT_EQ(fromBig5(hex("41a4")), u(u"A\uFFFD"));    // lead byte cut off at the end
  EXPECT_EQ(fromBig5(hex("8120")), u(u"\uFFFD "));    // lead byte, then no trail byte
  EXPECT_EQ(fromBig5(hex("a3fe41")), u(u"\uFFFDA"));  // unassigned pair
  EXPECT_EQ(fromBig5(QByteArray()), QString());
}

TEST(CodePage, CutsTextAtCharacterBoundaries) {
  const QString text = u(u"中文ab");  // 2 + 2 + 1 + 1 bytes
  EXPECT_EQ(cutToBig5Bytes(text, 0), QString());
  EXPECT_EQ(cutToBig5Bytes(text, -5), QString());
  EXPECT_EQ(cutToBig5Bytes(text, 1), QString());
  EXPECT_EQ(cutToBig5Bytes(text, 3), u(u"中"));
  EXPECT_EQ(cutToBig5Bytes(text, 4), u(u"中文"));
  EXPECT_EQ(cutToBig5Bytes(text, 5), u(u"中文a"));
  EXPECT_EQ(cutToBig5Bytes(text, 100), text);
  EXPECT_EQ(cutToBig5Bytes(QStringLiteral("abcdef"), 4), QStringLiteral("abcd"));
  // Unmappable characters take one byte and come back as themselves, not as '?';
  // a surrogate pair is never split.
  EXPECT_EQ(cutToBig5Bytes(u(u"\u00E9中"), 2), u(u"\u00E9"));
  EXPECT_EQ(cutToBig5Bytes(u(u"\U0001F600中"), 1), u(u"\U0001F600"));
  EXPECT_EQ(cutToBig5Bytes(u(u"\U0001F600中"), 3), u(u"\U0001F600中"));
}

TEST(CodePage, CutsBytesWithoutSplittingDoubleByteCharacters) {
  EXPECT_EQ(cutBig5Bytes(hex("a4a4a4e5"), 3), hex("a4a4"));
  // Trail bytes in the ASCII range (0x40-0x7E) must not be taken for characters.
  EXPECT_EQ(cutBig5Bytes(hex("a44041"), 1), QByteArray());
  EXPECT_EQ(cutBig5Bytes(hex("41a440"), 2), hex("41"));
  EXPECT_EQ(cutBig5Bytes(hex("a440a45d5d"), 3), hex("a440"));
  EXPECT_EQ(cutBig5Bytes(hex("a440a45d5d"), 4), hex("a440a45d"));
  // 0x80 and 0xFF are single bytes, not lead bytes.
  EXPECT_EQ(cutBig5Bytes(hex("80a4a4"), 2), hex("80"));
  EXPECT_EQ(cutBig5Bytes(hex("ff80a4"), 2), hex("ff80"));
  // A lead byte without a valid trail byte stands alone.
  EXPECT_EQ(cutBig5Bytes(hex("8120"), 1), hex("81"));
  EXPECT_EQ(cutBig5Bytes(hex("a4a4"), 0), QByteArray());
  EXPECT_EQ(cutBig5Bytes(hex("a4a4"), 9), hex("a4a4"));
}

TEST(CodePage, ConvertsOnOtherThreads) {
  QString fromThread;
  std::thread worker([&] { fromThread = fromBig5(toBig5(u(u"會員資料"))); });
  worker.join();
  EXPECT_EQ(fromThread, u(u"會員資料"));
}
