#include "exportengine/ExportFormats.h"

#include "DateTimeFormat.h"
#include "NumberFormat.h"
#include "exportengine/ExportCommon.h"

#include <gtest/gtest.h>

#include <db/ValueText.h>
#include <platform/Error.h>
#include <platform/RegionalSettings.h>

using namespace exportengine;

namespace {

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QString();
}

QString same(const QString& s) {
  return s;
}

// Regional settings for one test, put back afterwards.
class Regional {
 public:
  explicit Regional(const platform::RegionalSettings& s) {
    platform::RegionalSettings::setCurrentForTesting(s);
  }
  ~Regional() { platform::RegionalSettings::setCurrentForTesting({}); }
};

TEST(ExportDefaultFormats, FollowTheRegionalSettings) {
  platform::RegionalSettings rs;
  rs.shortDateFormat = "yyyy/MM/dd";
  rs.longTimeFormat = "h:mm:ss AP";
  rs.currencyString = "NT$";
  rs.currencyFormat = 3;
  TExportDefaultFormats d = TExportDefaultFormats::FromRegionalSettings(rs);
  EXPECT_EQ(d.DateFormat, "yyyy/mm/dd");
  EXPECT_EQ(d.TimeFormat, "h:nn ampm");
  EXPECT_EQ(d.DateTimeFormat, "yyyy/mm/dd h:nn ampm");
  EXPECT_EQ(d.CurrencyFormat, "#,###,##0.00 NT$");

  const char* expected[] = {"NT$#,###,##0.00", "#,###,##0.00NT$", "NT$ #,###,##0.00"};
  for (int position = 0; position < 3; ++position) {
    rs.currencyFormat = position;
    EXPECT_EQ(TExportDefaultFormats::FromRegionalSettings(rs).CurrencyFormat, expected[position]);
  }
  rs.currencyFormat = 4;
  EXPECT_EQ(TExportDefaultFormats::FromRegionalSettings(rs).CurrencyFormat, "");

  rs.shortDateFormat = "d.M.yy";
  rs.longTimeFormat = "HH:mm:ss";
  d = TExportDefaultFormats::FromRegionalSettings(rs);
  EXPECT_EQ(d.DateFormat, "d.m.yy");
  EXPECT_EQ(d.TimeFormat, "hh:nn");
}

TEST(ExportFormats, SettersResetAndAssign) {
  TExportDefaultFormats defaults{"yyyy/mm/dd", "hh:nn", "yyyy/mm/dd hh:nn", "$#,###,##0.00"};
  TExportFormats f(defaults);
  EXPECT_EQ(f.IntegerFormat(), "#,###,##0");
  EXPECT_EQ(f.FloatFormat(), "#,###,##0.00");
  EXPECT_EQ(f.CurrencyFormat(), "$#,###,##0.00");
  EXPECT_EQ(f.BooleanTrue(), "true");
  EXPECT_EQ(f.NullString(), "");

  f.SetIntegerFormat("0");
  f.SetDateFormat("dd/mm");
  f.SetBooleanFalse("否");
  f.SetNullString("\t NULL  ");
  EXPECT_EQ(f.NullString(), "NULL");
  EXPECT_EQ(f.StoredValues(), (std::vector<std::pair<QString, QString>>{{"IntegerFormat", "0"},
                                                                        {"DateFormat", "dd/mm"},
                                                                        {"BooleanFalse", "否"},
                                                                        {"NullString", "NULL"}}));

  f.SetIntegerFormat("");
  EXPECT_EQ(f.IntegerFormat(), "#,###,##0");
  f.SetTimeFormat("");
  EXPECT_EQ(f.TimeFormat(), "hh:nn");

  TExportFormats copy(defaults);
  copy.Assign(f);
  EXPECT_EQ(copy.DateFormat(), "dd/mm");
  EXPECT_EQ(copy.NullString(), "NULL");

  f.ResetFormats();
  EXPECT_EQ(f.DateFormat(), "yyyy/mm/dd");
  EXPECT_EQ(f.BooleanFalse(), "false");
  EXPECT_EQ(f.NullString(), "NULL");
}

TEST(NumberFormat, PatternsGroupRoundAndChooseSections) {
  platform::RegionalSettings rs;
  EXPECT_EQ(FormatWhole(1234567, u"#,###,##0", rs), "1,234,567");
  EXPECT_EQ(FormatWhole(0, u"#,###,##0", rs), "0");
  EXPECT_EQ(FormatWhole(-1234, u"#,##0", rs), "-1,234");
  EXPECT_EQ(FormatWhole(std::numeric_limits<qint64>::min(), u"#,##0", rs),
            "-9,223,372,036,854,775,808");
  EXPECT_EQ(FormatWhole(42, u"00000", rs), "00042");
  EXPECT_EQ(FormatWhole(42, u"", rs), "42");

  EXPECT_EQ(FormatFloat(1234.5, u"#,###,##0.00", rs), "1,234.50");
  EXPECT_EQ(FormatFloat(2.675, u"0.00", rs), "2.68");
  EXPECT_EQ(FormatFloat(-2.5, u"0", rs), "-3");
  EXPECT_EQ(FormatFloat(999.996, u"#,##0.00", rs), "1,000.00");
  EXPECT_EQ(FormatFloat(-0.001, u"0.00", rs), "0.00");
  EXPECT_EQ(FormatFloat(0.5, u"#.##", rs), ".5");
  EXPECT_EQ(FormatFloat(1.25, u"0.0###", rs), "1.25");
  EXPECT_EQ(FormatFloat(0.0004, u"0.000", rs), "0.000");
  EXPECT_EQ(FormatFloat(1e20, u"#,##0", rs), "100,000,000,000,000,000,000");
  EXPECT_EQ(FormatFloat(12.5, u"\"NT$\"#,##0.0 'x;y'", rs), "NT$12.5 x;y");
  EXPECT_EQ(FormatFloat(-5, u"0.0;(0.0);'zero'", rs), "(5.0)");
  EXPECT_EQ(FormatFloat(0, u"0.0;(0.0);'zero'", rs), "zero");
  EXPECT_EQ(FormatFloat(-5, u"0.0;;'zero'", rs), "-5.0");
  EXPECT_EQ(FormatFloat(1.5, u"", rs), "1.5");
  EXPECT_EQ(FormatFloat(1.5, u"abc", rs), "abc");

  rs.thousandSeparator = '.';
  rs.decimalSeparator = ',';
  EXPECT_EQ(FormatFloat(1234567.891, u"#,##0.00", rs), "1.234.567,89");
}

TEST(DateTimeFormat, PatternElements) {
  platform::RegionalSettings rs;
  const QDateTime pm = db::ValueText::naive(QDate(2024, 2, 9), QTime(13, 5, 7, 12));
  const QString d = "yyyy/mm/dd";
  const QString t = "hh:nn";
  auto fmt = [&](const QDateTime& v, const QString& p) { return FormatDateTime(v, p, rs, d, t); };
  EXPECT_EQ(fmt(pm, "yyyy/mm/dd hh:nn:ss"), "2024/02/09 13:05:07");
  EXPECT_EQ(fmt(pm, "yy/m/d h:n:s.zzz"), "24/2/9 13:5:7.012");
  EXPECT_EQ(fmt(pm, "hh:mm"), "13:05");
  EXPECT_EQ(fmt(pm, "h:mm am/pm"), "1:05 pm");
  EXPECT_EQ(fmt(pm, "hh:nn AM/PM"), "01:05 PM");
  EXPECT_EQ(fmt(pm, "h a/p"), "1 p");
  EXPECT_EQ(fmt(pm, "h ampm"), "1 PM");
  EXPECT_EQ(fmt(pm, "mmm mmmm ddd dddd"), "Feb February Fri Friday");
  EXPECT_EQ(fmt(pm, "'d' \"mm\" dd"), "d mm 09");
  EXPECT_EQ(fmt(pm, "ddddd t"), "2024/02/09 13:05");
  EXPECT_EQ(fmt(pm, ""), "2024/02/09 13:05:07");

  const QDateTime midnight = db::ValueText::naive(QDate(2024, 2, 29));
  EXPECT_EQ(fmt(midnight, "c"), "2024/02/29");
  EXPECT_EQ(fmt(midnight, "h:nn am/pm"), "12:00 am");
  EXPECT_EQ(fmt(midnight, "yyyy/mm/dd hh:nn"), "2024/02/29 00:00");
  EXPECT_EQ(fmt(db::ValueText::naive(QDate(1850, 3, 4)), "yyyy/m/d"), "1850/3/4");
  EXPECT_EQ(fmt(db::ValueText::naive(QDate(999, 1, 2)), "yyyy-mm-dd"), "0999-01-02");

  rs.dateSeparator = '-';
  rs.timeSeparator = '.';
  EXPECT_EQ(fmt(pm, "yyyy/mm/dd hh:nn"), "2024-02-09 13.05");
}

TEST(ReadDateTime, ReadsWhatTheDataLayerReads) {
  const char* samples[] = {
      "2024/05/01", "2024/5/1 7:08",       "2024/05/01 23:59:58", "2024/02/29 08:00:00.123",
      "2024/02/30", "1850.12.31 00:00",    "0999/01/02",          "24/05/01",
      "2024-05-01", "2024-05-01T10:30:00", "2024/05/01  10:30",   "2024/05/01 PM 1:30",
      "10:30",      "2024/05/01 25:00",    "2024/05/01 10:30x",   "12/31/2024",
      "31/12/2024", " 2024/05/01"};
  for (const char* regional : {"yyyy/MM/dd", "dd/MM/yyyy", "MM/dd/yyyy"}) {
    platform::RegionalSettings rs;
    rs.shortDateFormat = regional;
    Regional scope(rs);
    for (const char* sample : samples) {
      const QDateTime expected = db::ValueText::parseDateTime(sample);
      const auto reading = ReadDateTime(sample);
      EXPECT_EQ(reading.has_value(), expected.isValid()) << sample << " " << regional;
      if (reading) {
        EXPECT_EQ(reading->value, expected) << sample << " " << regional;
      }
    }
  }
}

TEST(DetectColType, Samples) {
  EXPECT_EQ(DetectColType("", "true", "false"), ectString);
  EXPECT_EQ(DetectColType("TRUE", "true", "false"), ectBoolean);
  EXPECT_EQ(DetectColType("否", "是", "否"), ectBoolean);
  EXPECT_EQ(DetectColType("12", "true", "false"), ectInteger);
  EXPECT_EQ(DetectColType("-2147483648", "true", "false"), ectInteger);
  EXPECT_EQ(DetectColType("2147483648", "true", "false"), ectFloat);
  EXPECT_EQ(DetectColType("12.5", "true", "false"), ectFloat);
  EXPECT_EQ(DetectColType("2024/05/01", "true", "false"), ectDate);
  EXPECT_EQ(DetectColType("1850/05/01", "true", "false"), ectDate);
  EXPECT_EQ(DetectColType("10:30", "true", "false"), ectTime);
  EXPECT_EQ(DetectColType("2024/05/01 10:30:00", "true", "false"), ectDateTime);
  EXPECT_EQ(DetectColType("2024/05/01 00:00:00", "true", "false"), ectDate);
  EXPECT_EQ(DetectColType("abc", "true", "false"), ectString);
  EXPECT_EQ(DetectColType("12a", "true", "false"), ectString);
  // A bare time stays a time at midnight, and a date on the first day of the time
  // scale keeps its time.
  EXPECT_EQ(DetectColType("00:00", "true", "false"), ectTime);
  EXPECT_EQ(DetectColType("1899/12/30 10:30", "true", "false"), ectDateTime);
}

TEST(FormatExportValue, ConvertsByTypeAndFailsWithTheOperatorsText) {
  EXPECT_EQ(FormatExportValue("1234567", "#,###,##0", ectInteger, same), "1,234,567");
  EXPECT_EQ(FormatExportValue("abc", "#,###,##0", ectInteger, same), "0");
  EXPECT_EQ(FormatExportValue("9999999999", "#,##0", ectInteger, same), "0");
  EXPECT_EQ(FormatExportValue("9999999999", "#,##0", ectBigint, same), "9,999,999,999");
  EXPECT_EQ(FormatExportValue("1234.5", "#,##0.00", ectCurrency, same), "1,234.50");
  EXPECT_EQ(FormatExportValue("-1234.5", "#,###,##0.00 NT$", ectCurrency, same), "-1,234.50 NT$");
  EXPECT_EQ(FormatExportValue("1.5E3", "0", ectFloat, same), "1500");
  EXPECT_EQ(FormatExportValue("1850/03/04", "yyyy/mm/dd", ectDate, same), "1850/03/04");
  EXPECT_EQ(FormatExportValue("2024/05/01 22:15:00", "h:nn am/pm", ectDateTime, same), "10:15 pm");
  EXPECT_EQ(FormatExportValue("yes", "", ectBoolean, [](const QString&) { return QString("x"); }),
            "yes");
  EXPECT_EQ(FormatExportValue("a", "", ectString, [](const QString& s) { return s + "!"; }), "a!");

  EXPECT_EQ(errorOf([] { FormatExportValue("12,5", "0.0", ectFloat, same); }),
            "'12,5' is not a valid floating point value");
  EXPECT_EQ(errorOf([] { FormatExportValue("", "0.0", ectCurrency, same); }),
            "'' is not a valid floating point value");
  EXPECT_EQ(errorOf([] { FormatExportValue("2024/13/01", "yyyy", ectDate, same); }),
            "'2024/13/01' is not a valid date and time");

  platform::RegionalSettings comma;
  comma.decimalSeparator = ',';
  comma.thousandSeparator = '.';
  Regional regional(comma);
  EXPECT_EQ(FormatExportValue("12,5", "#,##0.00", ectFloat, same), "12,50");
  EXPECT_EQ(FormatExportValue("1234567", "#,###,##0", ectInteger, same), "1.234.567");
  EXPECT_EQ(DetectColType("12,5", "true", "false"), ectFloat);
}

TEST(TrimText, RemovesBlanksAndControlCharactersOnly) {
  EXPECT_EQ(TrimText(" \t\x01"
                     "a b\r\n"),
            "a b");
  EXPECT_EQ(TrimText(QString::fromUtf16(u"\u3000全形\u3000")),
            QString::fromUtf16(u"\u3000全形\u3000"));
  EXPECT_EQ(TrimText("   "), "");
}

}  // namespace
