#include "db/ValueText.h"

#include "db/DefaultValue.h"

#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

using db::ValueText;

namespace {

class ValueTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
  }
  void TearDown() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
  }
};

TEST_F(ValueTextTest, FloatsKeepFifteenDigitsAndReadBack) {
  EXPECT_EQ(ValueText::plain(12.5, db::ftFloat), "12.5");
  EXPECT_EQ(ValueText::plain(0.1, db::ftFloat), "0.1");
  EXPECT_EQ(ValueText::plain(-3.0, db::ftFloat), "-3");
  EXPECT_EQ(ValueText::plain(1e20, db::ftFloat), "1E20");
  EXPECT_EQ(ValueText::plain(1.5e-5, db::ftFloat), "1.5E-5");
  EXPECT_EQ(ValueText::plain(123456789012345.0, db::ftFloat), "123456789012345");
  EXPECT_EQ(ValueText::plain(-999999999999999.0, db::ftFloat), "-999999999999999");
  EXPECT_EQ(ValueText::plain(-0.0, db::ftFloat), "0");
  EXPECT_EQ(ValueText::plain(1e15, db::ftFloat), "1E15");
  EXPECT_EQ(ValueText::plain(0.1 + 0.2, db::ftFloat), "0.30000000000000004");
  EXPECT_EQ(ValueText::plain(-0.00012, db::ftFloat), "-0.00012");
  EXPECT_EQ(ValueText::plain(1234567890123456.7, db::ftFloat), "1234567890123456.8");
  EXPECT_EQ(ValueText::plain(-1.5e20, db::ftFloat), "-1.5E20");
  for (double v :
       {0.1 + 0.2, 1.0 / 3, 2.675, -1e-300, 1.7976931348623157e308, 99.99, 1e15, 0.0001}) {
    const QString text = ValueText::plain(v, db::ftFloat);
    EXPECT_EQ(ValueText::parse(text, db::ftFloat).toDouble(), v) << text.toStdString();
  }
  // Display shows at most fifteen digits even where the plain text needs more.
  EXPECT_EQ(ValueText::display(0.1 + 0.2, db::ftFloat, QString()), "0.3");
}

// parseInto() gives what parse() gives, whatever the variant held before.
TEST_F(ValueTextTest, ParsingIntoAVariantGivesWhatParsingGives) {
  struct Case {
    const char* text;
    db::FieldType type;
  };
  const Case cases[] = {{"12", db::ftInteger},
                        {" 12 ", db::ftInteger},
                        {"-0", db::ftInteger},
                        {"0.30000000000000004", db::ftFloat},
                        {"1E20", db::ftFloat},
                        {" 2.5", db::ftFloat},
                        {"007", db::ftInteger},
                        {"x", db::ftString},
                        {"2024/02/29 08:00:00.123", db::ftDateTime},
                        {"True", db::ftBoolean}};
  QVariant v = QStringLiteral("before");
  for (const Case& c : cases) {
    const QVariant expected = ValueText::parse(c.text, c.type);
    ValueText::parseInto(c.text, c.type, v);
    EXPECT_EQ(v.typeId(), expected.typeId()) << c.text;
    EXPECT_EQ(v, expected) << c.text;
  }
  EXPECT_THROW(ValueText::parseInto("12a", db::ftInteger, v), platform::Error);
  platform::RegionalSettings rs;
  rs.decimalSeparator = ',';
  platform::RegionalSettings::setCurrentForTesting(rs);
  ValueText::parseInto("1,5", db::ftFloat, v);
  EXPECT_EQ(v, QVariant(1.5));
  EXPECT_THROW(ValueText::parseInto("1.5,0", db::ftFloat, v), platform::Error);
}

TEST_F(ValueTextTest, RegionalDecimalSeparator) {
  platform::RegionalSettings rs;
  rs.decimalSeparator = ',';
  rs.thousandSeparator = '.';
  platform::RegionalSettings::setCurrentForTesting(rs);
  EXPECT_EQ(ValueText::plain(12.5, db::ftFloat), "12,5");
  EXPECT_EQ(ValueText::plain(0.001, db::ftFloat), "0,001");
  EXPECT_EQ(ValueText::plain(-1.5e-5, db::ftFloat), "-1,5E-5");
  EXPECT_EQ(ValueText::parse("12,5", db::ftFloat).toDouble(), 12.5);
  EXPECT_EQ(ValueText::display(1234567.891, db::ftFloat, "#,#0.00"), "1.234.567,89");
}

TEST_F(ValueTextTest, DisplayFormats) {
  EXPECT_EQ(ValueText::display(1234567.891, db::ftFloat, "#,#0.00"), "1,234,567.89");
  EXPECT_EQ(ValueText::display(0.5, db::ftFloat, "#,#0.00"), "0.50");
  EXPECT_EQ(ValueText::display(2.675, db::ftFloat, "#,#0.00"), "2.68");  // half away from zero
  EXPECT_EQ(ValueText::display(-1234.5, db::ftFloat, "#,#0.00"), "-1,234.50");
  EXPECT_EQ(ValueText::display(-0.001, db::ftFloat, "#,#0.00"), "0.00");
  EXPECT_EQ(ValueText::display(999.999, db::ftFloat, "#,#0.00"), "1,000.00");
  EXPECT_EQ(ValueText::display(qint64(1234567), db::ftInteger, "#,#0"), "1,234,567");
  EXPECT_EQ(ValueText::display(qint64(-999), db::ftInteger, "#,#0"), "-999");
  EXPECT_EQ(ValueText::display(qint64(0), db::ftInteger, "#,#0"), "0");
  const QDateTime dt = ValueText::naive(QDate(2024, 3, 7), QTime(13, 5, 9));
  EXPECT_EQ(ValueText::display(dt, db::ftDateTime, "yyyy/mm/dd"), "2024/03/07");
  EXPECT_EQ(ValueText::formatDateTime(dt, "yyyy/mm/dd hh:nn:ss"), "2024/03/07 13:05:09");
  EXPECT_EQ(ValueText::formatDateTime(dt, "d/m/yy h:mm am/pm"), "7/3/24 1:05 PM");
  platform::RegionalSettings rs;
  rs.dateSeparator = '-';
  platform::RegionalSettings::setCurrentForTesting(rs);
  EXPECT_EQ(ValueText::display(dt, db::ftDateTime, "yyyy/mm/dd"), "2024-03-07");
}

TEST_F(ValueTextTest, DatesLeaveOutMidnightAndReadBack) {
  const QDateTime midnight = ValueText::naive(QDate(1930, 1, 2));
  const QDateTime afternoon = ValueText::naive(QDate(2024, 12, 31), QTime(23, 59, 58));
  const QDateTime millis = ValueText::naive(QDate(2024, 2, 29), QTime(8, 0, 0, 123));
  EXPECT_EQ(ValueText::plain(midnight, db::ftDateTime), "1930/01/02");
  EXPECT_EQ(ValueText::plain(afternoon, db::ftDateTime), "2024/12/31 23:59:58");
  EXPECT_EQ(ValueText::plain(millis, db::ftDateTime), "2024/02/29 08:00:00.123");
  const QDateTime before1900 = ValueText::naive(QDate(1899, 12, 29), QTime(13, 0));
  EXPECT_EQ(ValueText::plain(before1900, db::ftDateTime), "1899/12/29 13:00:00");
  EXPECT_EQ(ValueText::plain(before1900, db::ftDate), "1899/12/29");
  for (const QDateTime& dt : {midnight, afternoon, millis, before1900})
    EXPECT_EQ(ValueText::parse(ValueText::plain(dt, db::ftDateTime), db::ftDateTime).toDateTime(),
              dt);
  // ISO forms and loose regional forms.
  EXPECT_EQ(ValueText::parse("2024-12-31T23:59:58", db::ftDateTime).toDateTime(), afternoon);
  EXPECT_EQ(ValueText::parse("2024-12-31 23:59:58", db::ftDateTime).toDateTime(), afternoon);
  // The workbook driver's form, with fractions of any length, and its neighbours.
  EXPECT_EQ(ValueText::parse("2024-02-29T08:00:00.123", db::ftDateTime).toDateTime(), millis);
  EXPECT_EQ(ValueText::parseDateTime("2024-02-29T08:00:00,1239"), millis);
  EXPECT_EQ(ValueText::parseDateTime("2024-02-29T08:00:00.5"),
            ValueText::naive(QDate(2024, 2, 29), QTime(8, 0, 0, 500)));
  EXPECT_EQ(ValueText::parseDateTime("2024-02-29T08:00:00.123456789"), millis);
  EXPECT_EQ(ValueText::parseDateTime("2024-02-29"), ValueText::naive(QDate(2024, 2, 29)));
  EXPECT_EQ(ValueText::parseDateTime("2024-2-29T8:00:00Z"),
            ValueText::naive(QDate(2024, 2, 29), QTime(8, 0)));
  for (const char* bad :
       {"2023-02-29T08:00:00", "2024-02-29T24:00:00", "2024-02-29T08:00:60", "2024-02-29T08:00:00.",
        "2024-02-29T08:00:00.1234567890", "0000-01-01T00:00:00", "2024-02-29x08:00:00"})
    EXPECT_FALSE(ValueText::parseDateTime(bad).isValid()) << bad;
  EXPECT_EQ(ValueText::parse("1930/1/2", db::ftDateTime).toDateTime(), midnight);
  EXPECT_EQ(ValueText::parse("2024/12/31 PM 11:59:58", db::ftDateTime).toDateTime(), afternoon);
  EXPECT_EQ(ValueText::parse("2024/12/31 下午 11:59:58", db::ftDateTime).toDateTime(), afternoon);
  // Short forms read alike, whichever reader takes them.
  const QDateTime early = ValueText::naive(QDate(2024, 1, 2), QTime(3, 4, 5, 500));
  EXPECT_EQ(ValueText::parse("2024/1/2 3:4:5.5", db::ftDateTime).toDateTime(), early);
  EXPECT_EQ(ValueText::parse("2024/1/2  3:04:05,5", db::ftDateTime).toDateTime(), early);
  EXPECT_EQ(ValueText::parse("2024/1/2 3:04", db::ftDateTime).toDateTime(),
            ValueText::naive(QDate(2024, 1, 2), QTime(3, 4)));
  for (const char* bad : {"2024/12/31 13", "2024/12/31 24:00", "2024/12/31 1:2:3:4",
                          "2024/12/31 10:00:00.", "2024/13/01", "20245/1/2", "2024/1/2x"})
    EXPECT_FALSE(ValueText::parseDateTime(bad).isValid()) << bad;
  // A day-month-year locale reads its own order.
  platform::RegionalSettings rs;
  rs.shortDateFormat = "dd.MM.yyyy";
  platform::RegionalSettings::setCurrentForTesting(rs);
  EXPECT_EQ(ValueText::plain(midnight, db::ftDateTime), "02.01.1930");
  EXPECT_EQ(ValueText::parse("02.01.1930", db::ftDateTime).toDateTime(), midnight);
  // Patterns with quotes, a 12-hour clock or single-digit fields.
  rs.shortDateFormat = "yyyy'年'M'月'd'日'";
  rs.longTimeFormat = "h:mm:ss AP";
  platform::RegionalSettings::setCurrentForTesting(rs);
  EXPECT_EQ(ValueText::plain(afternoon, db::ftDateTime), "2024年12月31日 11:59:58 PM");
  rs.shortDateFormat = "d/M/yyyy";
  rs.longTimeFormat = "H:mm:ss";
  platform::RegionalSettings::setCurrentForTesting(rs);
  EXPECT_EQ(ValueText::plain(ValueText::naive(QDate(987, 6, 5), QTime(7, 8, 9)), db::ftDateTime),
            "5/6/0987 7:08:09");
  EXPECT_EQ(ValueText::plain(millis, db::ftTime), "08:00:00.123");
}

// Numbers, dates and times of every shape read as before, whether the plain forms an
// import writes or the rest.
TEST_F(ValueTextTest, NumbersAndDatesOfAnyShapeReadTheSame) {
  EXPECT_EQ(ValueText::parse("007", db::ftInteger), QVariant(qint64(7)));
  EXPECT_EQ(ValueText::parse("+5", db::ftInteger), QVariant(qint64(5)));
  EXPECT_EQ(ValueText::parse("-0", db::ftInteger), QVariant(qint64(0)));
  EXPECT_EQ(ValueText::parse("9223372036854775807", db::ftLargeint),
            QVariant(qint64(9223372036854775807LL)));
  EXPECT_THROW(ValueText::parse("9223372036854775808", db::ftLargeint), platform::Error);
  EXPECT_EQ(ValueText::parse("1.", db::ftFloat).toDouble(), 1.0);
  EXPECT_EQ(ValueText::parse(".5", db::ftFloat).toDouble(), 0.5);
  EXPECT_EQ(ValueText::parse("+2.5", db::ftFloat).toDouble(), 2.5);
  EXPECT_EQ(ValueText::parse("-1e5", db::ftFloat).toDouble(), -1e5);
  EXPECT_EQ(ValueText::parse("0.1000000000000000055511151231257827", db::ftFloat).toDouble(), 0.1);
  EXPECT_TRUE(std::signbit(ValueText::parse("-0.0", db::ftFloat).toDouble()));

  auto at = [](const char* text) { return ValueText::parse(text, db::ftDateTime).toDateTime(); };
  const QDate day(2024, 12, 31);
  EXPECT_EQ(at("2024.12.31T23:59:58"), ValueText::naive(day, QTime(23, 59, 58)));
  EXPECT_EQ(at("2024/12/31\t23:59:58.5"), ValueText::naive(day, QTime(23, 59, 58, 500)));
  EXPECT_EQ(at("2024-12-31  23:59:58,1234"), ValueText::naive(day, QTime(23, 59, 58, 123)));
  EXPECT_EQ(at("24/12/31 7:05"), ValueText::naive(day, QTime(7, 5)));
  EXPECT_EQ(at("7:05"), ValueText::naive(QDate(1899, 12, 30), QTime(7, 5)));
  for (const char* bad : {"2024/12/31 23:59:58.1234567890", "2024\\12\\31", "2024/12/31t23:59",
                          "2024/12/31 23:59:58\nx", "2024/12/31 24:00", "12024/1/2"})
    EXPECT_THROW(ValueText::parse(bad, db::ftDateTime), platform::Error) << bad;
}

TEST_F(ValueTextTest, OtherTypesRoundTrip) {
  EXPECT_EQ(ValueText::plain(true, db::ftBoolean), "True");
  EXPECT_EQ(ValueText::plain(false, db::ftBoolean), "False");
  EXPECT_EQ(ValueText::parse("True", db::ftBoolean), QVariant(true));
  EXPECT_EQ(ValueText::parse("false", db::ftBoolean), QVariant(false));
  EXPECT_EQ(ValueText::parse("-1", db::ftBoolean), QVariant(true));
  EXPECT_EQ(ValueText::plain(qint64(-2147483648LL), db::ftInteger), "-2147483648");
  EXPECT_EQ(ValueText::parse("-2147483648", db::ftInteger), QVariant(qint64(-2147483648LL)));
  EXPECT_EQ(ValueText::parse(" 42 ", db::ftSmallint), QVariant(qint64(42)));
  EXPECT_EQ(ValueText::parse("  abc ", db::ftString), QVariant(QString("  abc ")));
  EXPECT_EQ(ValueText::plain(QVariant(), db::ftInteger), "");
}

TEST_F(ValueTextTest, BinaryValuesKeepEveryCharacterOfTheirText) {
  const QString chinese = QString::fromUtf8("維他命C 發泡錠／€");
  const QVariant bytes = ValueText::parse(chinese, db::ftBlob);
  EXPECT_EQ(bytes.toByteArray(), chinese.toUtf8());
  EXPECT_EQ(ValueText::plain(bytes, db::ftBlob), chinese);
  // Bytes that are not UTF-8 still give one character each instead of replacements.
  const QByteArray raw(
      "\xff\x00\x80"
      "A",
      4);
  EXPECT_EQ(ValueText::plain(raw, db::ftVarBytes), QString::fromLatin1(raw));
}

TEST_F(ValueTextTest, EmptyTextIsNullAndBadTextNamesTheValue) {
  for (db::FieldType t : {db::ftInteger, db::ftFloat, db::ftDateTime, db::ftBoolean})
    EXPECT_FALSE(ValueText::parse("", t).isValid());
  EXPECT_EQ(ValueText::parse("", db::ftString), QVariant(QString("")));
  auto message = [](const QString& text, db::FieldType type) {
    try {
      ValueText::parse(text, type);
    } catch (const platform::Error& e) {
      return e.message();
    }
    return QString("no error");
  };
  EXPECT_EQ(message("12a", db::ftInteger), "「12a」不是整數：這個欄位只能填整數（例如 12）");
  EXPECT_EQ(message("12.5", db::ftInteger), "「12.5」不是整數：這個欄位只能填整數（例如 12）");
  EXPECT_EQ(message("abc", db::ftFloat), "「abc」不是數字：這個欄位只能填數字（例如 12.5）");
  EXPECT_EQ(message("1,000", db::ftFloat), "「1,000」不是數字：這個欄位只能填數字（例如 12.5）");
  EXPECT_EQ(message("x", db::ftDateTime),
            "「x」不是日期時間：這個欄位只能填日期與時間（例如 2026/01/31 13:45）");
  EXPECT_EQ(message("2024/02/30", db::ftDateTime),
            "「2024/02/30」不是日期時間：這個欄位只能填日期與時間（例如 2026/01/31 13:45）");
  EXPECT_EQ(message("maybe", db::ftBoolean),
            "「maybe」不是是非值：這個欄位只能填 1（是）或 0（否）");
}

// The same value, bit for bit for floats, with the same time spec for dates.
bool identical(const QVariant& a, const QVariant& b) {
  if (a.typeId() != b.typeId() || a.isNull() != b.isNull()) return false;
  if (a.typeId() == QMetaType::Double)
    return std::bit_cast<quint64>(a.toDouble()) == std::bit_cast<quint64>(b.toDouble());
  if (a.typeId() == QMetaType::QDateTime)
    return a.toDateTime() == b.toDateTime() &&
           a.toDateTime().timeSpec() == b.toDateTime().timeSpec();
  return a == b;
}

// What a statement may bind without the text: wherever readsBackUnchanged says so,
// parsing the plain text gives the value itself. plainInto writes what plain() gives.
void expectReadsBackWhereClaimed(const QVariant& value, db::FieldType type, int& claimed) {
  QString buffer = QStringLiteral("a longer text left from the row before");
  ValueText::plainInto(value, type, buffer);
  EXPECT_EQ(buffer, ValueText::plain(value, type)) << value.toString().toStdString();
  for (db::FieldType param : {db::ftInteger, db::ftLargeint, db::ftFloat, db::ftCurrency,
                              db::ftBoolean, db::ftDateTime, db::ftString}) {
    if (!ValueText::readsBackUnchanged(value, type, param)) continue;
    ++claimed;
    EXPECT_TRUE(identical(ValueText::parse(ValueText::plain(value, type), param), value))
        << ValueText::plain(value, type).toStdString() << " as " << int(param);
  }
}

TEST_F(ValueTextTest, ValuesClaimedToReadBackUnchangedDoSoAtTheEdges) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const QDateTime local(QDate(2024, 5, 1), QTime(13, 45), Qt::LocalTime);
  const std::vector<std::pair<QVariant, db::FieldType>> values = {
      {qint64(0), db::ftInteger},
      {qint64(-1), db::ftSmallint},
      {qint64(2147483647), db::ftInteger},
      {std::numeric_limits<qint64>::min(), db::ftLargeint},
      {std::numeric_limits<qint64>::max(), db::ftLargeint},
      {0.0, db::ftFloat},
      {-12.5, db::ftFloat},
      {0.1, db::ftFloat},
      {1e15, db::ftFloat},
      {-999999999999999.0, db::ftFloat},
      {123456789.123456789, db::ftFloat},
      {1e-300, db::ftFloat},
      {5e-324, db::ftFloat},
      {-DBL_MIN, db::ftFloat},
      {DBL_MAX, db::ftCurrency},
      {true, db::ftBoolean},
      {false, db::ftBoolean},
      {ValueText::naive(QDate(1930, 1, 2)), db::ftDateTime},
      {ValueText::naive(QDate(1899, 12, 29), QTime(6, 0)), db::ftDateTime},
      {ValueText::naive(QDate(1850, 2, 28), QTime(13, 5, 9)), db::ftDateTime},
      {ValueText::naive(QDate(2024, 2, 29), QTime(23, 59, 59, 999)), db::ftDateTime},
      {ValueText::naive(QDate(1, 1, 1)), db::ftDateTime},
      {ValueText::naive(QDate(99, 12, 31), QTime(0, 0, 0, 1)), db::ftDateTime},
      {ValueText::naive(QDate(9999, 12, 31), QTime(23, 59, 59, 999)), db::ftDateTime},
  };
  int claimed = 0;
  for (const auto& [value, type] : values) expectReadsBackWhereClaimed(value, type, claimed);
  // Whole numbers as two param types, floats as two, booleans and dates as one.
  EXPECT_EQ(claimed, 5 * 2 + 10 * 2 + 2 + 7);

  // Left to the text: what plain() writes differently from the value, or not at all.
  const std::vector<std::pair<QVariant, db::FieldType>> textOnly = {
      {-0.0, db::ftFloat},
      {nan, db::ftFloat},
      {-inf, db::ftFloat},
      {QVariant(QMetaType::fromType<double>()), db::ftFloat},  // a typed NULL
      {QVariant(QMetaType::fromType<qlonglong>()), db::ftInteger},
      {qint64(5), db::ftFloat},
      {7.0, db::ftInteger},
      {ValueText::naive(QDate(2024, 5, 1), QTime(13, 45)), db::ftDate},
      {ValueText::naive(QDate(2024, 5, 1), QTime(13, 45)), db::ftTime},
      {ValueText::naive(QDate(-1, 5, 1)), db::ftDateTime},
      {ValueText::naive(QDate(10000, 1, 1)), db::ftDateTime},
      {QDateTime(), db::ftDateTime},
      {local, db::ftDateTime},
      {QString("12"), db::ftInteger},
  };
  for (const auto& [value, type] : textOnly) {
    for (db::FieldType param : {db::ftInteger, db::ftFloat, db::ftDateTime, db::ftString})
      EXPECT_FALSE(ValueText::readsBackUnchanged(value, type, param))
          << ValueText::plain(value, type).toStdString();
    QString buffer = QStringLiteral("x");
    ValueText::plainInto(value, type, buffer);
    EXPECT_EQ(buffer, ValueText::plain(value, type));
    EXPECT_EQ(buffer.isNull(), ValueText::plain(value, type).isNull());
  }

  // Any finite double.
  std::mt19937_64 random(12345);
  claimed = 0;
  for (int i = 0; i < 20000; ++i) {
    const double v = std::bit_cast<double>(random());
    if (!std::isfinite(v) || v == 0) continue;
    expectReadsBackWhereClaimed(v, db::ftFloat, claimed);
  }
  EXPECT_GT(claimed, 2 * 19000);
}

TEST_F(ValueTextTest, OnlyPlainRegionalFormsLetValuesBypassTheirText) {
  const QDateTime dt = ValueText::naive(QDate(1899, 12, 30), QTime(7, 8, 9, 10));
  const auto claims = [&](const QVariant& v) {
    return ValueText::readsBackUnchanged(
        v, v.typeId() == QMetaType::Double ? db::ftFloat : db::ftDateTime,
        v.typeId() == QMetaType::Double ? db::ftFloat : db::ftDateTime);
  };
  EXPECT_TRUE(claims(dt));
  platform::RegionalSettings rs;
  rs.decimalSeparator = ',';
  platform::RegionalSettings::setCurrentForTesting(rs);
  EXPECT_FALSE(claims(0.5));
  EXPECT_TRUE(claims(dt));
  int claimed = 0;
  const std::vector<std::pair<const char*, const char*>> plainForms = {
      {"d/M/yyyy", "H:mm:ss"}, {"MM/dd/yyyy", "HH:mm:ss"}, {"yyyy/M/d", "H:m:s"}};
  for (const auto& [date, time] : plainForms) {
    rs = platform::RegionalSettings{};
    rs.shortDateFormat = date;
    rs.longTimeFormat = time;
    platform::RegionalSettings::setCurrentForTesting(rs);
    for (const QDateTime& v : {dt, ValueText::naive(QDate(987, 6, 5), QTime(7, 8, 9)),
                               ValueText::naive(QDate(2024, 12, 31))}) {
      EXPECT_TRUE(claims(v)) << date;
      expectReadsBackWhereClaimed(v, db::ftDateTime, claimed);
    }
  }
  EXPECT_EQ(claimed, 9);
  const std::vector<std::pair<const char*, const char*>> otherForms = {
      {"dd.MM.yyyy", "HH:mm:ss"},  {"yy/MM/dd", "HH:mm:ss"},   {"yyyy/MM/dd", "h:mm:ss AP"},
      {"yyyy/MM/dd", "HH:mm"},     {"yyyy-MM-dd", "HH:mm:ss"}, {"yyyy'年'M'月'd'日'", "HH:mm:ss"},
      {"yyyy/MM/dd/", "HH:mm:ss"}, {"yyyy/MM/MM", "HH:mm:ss"}, {"yyyy/MM/dd", "HH.mm.ss"}};
  for (const auto& [date, time] : otherForms) {
    rs = platform::RegionalSettings{};
    rs.shortDateFormat = QString::fromUtf8(date);
    rs.longTimeFormat = time;
    platform::RegionalSettings::setCurrentForTesting(rs);
    EXPECT_FALSE(claims(dt)) << date << " " << time;
  }
}
// Dates are taken apart from their milliseconds: the parts must be the calendar's own.
TEST_F(ValueTextTest, DatesTakenApartAgreeWithTheCalendar) {
  std::vector<QDate> days = {QDate(1, 1, 1),     QDate(1, 2, 28),     QDate(4, 2, 29),
                             QDate(100, 3, 1),   QDate(1582, 10, 15), QDate(1600, 2, 29),
                             QDate(1700, 3, 1),  QDate(1899, 12, 30), QDate(1900, 2, 28),
                             QDate(1900, 3, 1),  QDate(1969, 12, 31), QDate(1970, 1, 1),
                             QDate(2000, 2, 29), QDate(2100, 3, 1),   QDate(9999, 12, 31)};
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i)
    days.push_back(QDate(1, 1, 1).addDays(std::uniform_int_distribution<int>(0, 3652058)(random)));
  for (const QDate& day : days) {
    const QTime time(int(day.day()) % 24, day.month() * 4, day.dayOfWeek() * 8, day.day() % 3);
    const QString expected =
        QString::asprintf("%04d/%02d/%02d %02d:%02d:%02d", day.year(), day.month(), day.day(),
                          time.hour(), time.minute(), time.second()) +
        (time.msec() ? QString::asprintf(".%03d", time.msec()) : QString());
    EXPECT_EQ(ValueText::plain(ValueText::naive(day, time), db::ftDateTime), expected);
  }
}

// Defaults as SQL Server's catalog shows them (the PostgreSQL and SQLite forms are read
// from real servers in the dataset tests).
TEST(DefaultValue, SqlServerFormsOfConstantsAreReadAndExpressionsAreNot) {
  auto of = [](const char* text, db::FieldType type) {
    return db::constantDefault({"c", QString::fromUtf8(text), false}, type);
  };
  EXPECT_EQ(of("((0))", db::ftInteger), QVariant(qint64(0)));
  EXPECT_EQ(of("((-2.5))", db::ftFloat), QVariant(-2.5));
  EXPECT_EQ(of("((1))", db::ftBoolean), QVariant(true));
  EXPECT_EQ(of("(N'台北''s')", db::ftString), QVariant(QStringLiteral("台北's")));
  EXPECT_EQ(of("('')", db::ftString), QVariant(QString("")));
  EXPECT_EQ(of("('1900-01-01')", db::ftDateTime), QVariant(ValueText::naive(QDate(1900, 1, 1))));
  EXPECT_EQ(of("(NULL)", db::ftString), QVariant());
  EXPECT_EQ(of("((1)+(2))", db::ftInteger), std::nullopt);
  EXPECT_EQ(of("(getdate())", db::ftDateTime), std::nullopt);
  EXPECT_EQ(of("(newid())", db::ftString), std::nullopt);
  EXPECT_EQ(of("('abc')", db::ftInteger), std::nullopt);
  EXPECT_EQ(db::constantDefault({"c", "((0))", true}, db::ftInteger), std::nullopt);
}

}  // namespace
