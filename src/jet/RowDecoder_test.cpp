#include "RowDecoder.h"

#include <gtest/gtest.h>

#include "jet/ValueText.h"

namespace jet {
namespace {

// testV2003.mdb Table1: A text(50) compressible, B text(100), C byte, D integer,
// E long, F double, G date, H currency, I boolean.
TableDef table1() {
  TableDef def;
  def.maxColumns = 9;
  def.varColumns = 2;
  auto fixed = [](std::uint8_t type, std::uint16_t n, std::uint16_t off, std::uint16_t len) {
    ColumnDef c;
    c.name = std::string(1, static_cast<char>('A' + n));
    c.type = type;
    c.number = n;
    c.fixedOffset = off;
    c.length = len;
    c.flags = fmt::kColFlagFixed | fmt::kColFlagUpdatable;
    return c;
  };
  ColumnDef a;
  a.name = "A";
  a.type = fmt::kTypeText;
  a.number = 0;
  a.varSlot = 0;
  a.length = 100;
  ColumnDef b = a;
  b.name = "B";
  b.number = 1;
  b.varSlot = 1;
  b.length = 200;
  def.columns = {a,
                 b,
                 fixed(fmt::kTypeByte, 2, 0, 1),
                 fixed(fmt::kTypeInteger, 3, 1, 2),
                 fixed(fmt::kTypeLong, 4, 3, 4),
                 fixed(fmt::kTypeDouble, 5, 7, 8),
                 fixed(fmt::kTypeDateTime, 6, 15, 8),
                 fixed(fmt::kTypeCurrency, 7, 23, 8),
                 fixed(fmt::kTypeBoolean, 8, 0, 1)};
  return def;
}

const std::vector<std::uint8_t> kRow0 = {
    0x09, 0x00, 0x02, 0xde, 0x00, 0x55, 0x43, 0xde, 0x13, 0x7b, 0x14, 0xae, 0x47, 0xe1,
    0xc8, 0x7b, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xa7, 0xda, 0x40, 0xb8, 0x88, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xfe, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67,
    0x68, 0x00, 0x69, 0x00, 0x6a, 0x00, 0x6b, 0x00, 0x6c, 0x00, 0x6d, 0x00, 0x6e, 0x00,
    0x6f, 0x00, 0x70, 0x00, 0x3c, 0x00, 0x2a, 0x00, 0x21, 0x00, 0x02, 0x00, 0xff, 0x01};

class RowDecoderTest : public ::testing::Test {
 protected:
  RowDecoderTest()
      : file_(DATACONV_SHARED_DIR "/fixtures/jet4/empty.mdb", Mode::ReadOnly),
        def_(table1()),
        decoder_(def_, file_) {}

  std::vector<Value> decode(const std::vector<std::uint8_t>& bytes) {
    std::vector<Value> row;
    decoder_.decode(ByteView(bytes.data(), bytes.size(), &name_, 7), row);
    return row;
  }

  std::string name_ = "x.mdb";
  PageFile file_;
  TableDef def_;
  RowDecoder decoder_;
};

TEST_F(RowDecoderTest, DecodesEveryColumnOfAnAccessRow) {
  const std::vector<Value> row = decode(kRow0);
  ASSERT_EQ(row.size(), 9u);
  EXPECT_EQ(row[0], Value::text("abcdefg"));
  EXPECT_EQ(row[1], Value::text("hijklmnop"));
  EXPECT_EQ(row[2], Value::integer(2));
  EXPECT_EQ(row[3], Value::integer(222));
  EXPECT_EQ(row[4], Value::integer(333333333));
  EXPECT_EQ(row[5], Value::real(444.555));
  EXPECT_EQ(row[6], Value::dateTime({27293.0}));
  EXPECT_EQ(row[7], Value::currency({35000}));
  EXPECT_EQ(row[8], Value::boolean(true));
}

TEST_F(RowDecoderTest, NullMaskClearsValuesAndCarriesBooleans) {
  std::vector<std::uint8_t> bytes = kRow0;
  bytes[bytes.size() - 2] = 0xfa;  // A (bit 0) and C (bit 2) null
  bytes[bytes.size() - 1] = 0x00;  // I false
  const std::vector<Value> row = decode(bytes);
  EXPECT_TRUE(row[0].isNull());
  EXPECT_EQ(row[1], Value::text("hijklmnop"));
  EXPECT_TRUE(row[2].isNull());
  EXPECT_EQ(row[8], Value::boolean(false));
}

TEST_F(RowDecoderTest, ColumnsAddedAfterTheRowWasWrittenReadAsNull) {
  // A row stored when the table had 2 columns (A, B): num_cols 2, empty fixed area.
  const std::vector<std::uint8_t> bytes = {0x02, 0x00, 0x61, 0x00, 0x62, 0x00, 0x06, 0x00,
                                           0x04, 0x00, 0x02, 0x00, 0x02, 0x00, 0x03};
  const std::vector<Value> row = decode(bytes);
  EXPECT_EQ(row[0], Value::text("a"));
  EXPECT_EQ(row[1], Value::text("b"));
  for (int i = 2; i < 8; ++i) EXPECT_TRUE(row[i].isNull()) << i;
  EXPECT_EQ(row[8], Value::boolean(false));
}

TEST_F(RowDecoderTest, BadSlotOffsetsAreReportedAsDamageOfThePage) {
  std::vector<std::uint8_t> bytes = kRow0;
  bytes[bytes.size() - 6] = 0x50;  // slot 0 beyond eod
  try {
    decode(bytes);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "x.mdb: page 7 is damaged (bad variable column offset)");
    EXPECT_EQ(e.page(), 7u);
  }
  EXPECT_THROW(decode({0x09}), Error);
  EXPECT_THROW(decode({0xff, 0xff, 0x01}), Error);  // mask larger than the row
}

TEST_F(RowDecoderTest, DecimalAndInlineMemoFromStoredBytes) {
  // fixedNumericTestV2000.mdb row: col6 = -1 and the inline memo "some data".
  const std::vector<std::uint8_t> numeric = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
  ColumnDef dec;
  dec.type = fmt::kTypeNumeric;
  dec.precision = 18;
  const Value v = decoder_.decodeValue(dec, ByteView(numeric.data(), numeric.size(), &name_, 28));
  EXPECT_EQ(ValueText::toText(v), "-1");

  const std::vector<std::uint8_t> memo = {0x0b, 0x00, 0x00, 0x80, 0,    0,    0,   0,
                                          0,    0,    0,    0,    0xff, 0xfe, 's', 'o',
                                          'm',  'e',  ' ',  'd',  'a',  't',  'a'};
  ColumnDef m;
  m.type = fmt::kTypeMemo;
  EXPECT_EQ(decoder_.decodeValue(m, ByteView(memo.data(), memo.size(), &name_, 28)),
            Value::text("some data"));
  // A length beyond the inline data is damage, not a read past the row.
  std::vector<std::uint8_t> bad = memo;
  bad[0] = 0x40;
  EXPECT_THROW(decoder_.decodeValue(m, ByteView(bad.data(), bad.size(), &name_, 28)), Error);
}

}  // namespace
}  // namespace jet
