#include "platform/RegionalSettings.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace platform;

namespace {

// The text forms must read back to the same value, through the locale they came from.
void expectRoundTrip(const RegionalSettings& s) {
  const QDateTime value(QDate(1999, 12, 31), QTime(13, 5, 7));
  const QString format = s.shortDateFormat + QLatin1Char(' ') + s.longTimeFormat;
  const QString text = s.locale.toString(value, format);
  EXPECT_EQ(s.locale.toDateTime(text, format), value) << text.toStdString();
}

}  // namespace

TEST(RegionalSettings, CLocaleGivesTheDefaults) {
  const RegionalSettings s = RegionalSettings::fromLocale(QLocale::c());
  const RegionalSettings defaults;
  EXPECT_EQ(s.shortDateFormat, QStringLiteral("yyyy/MM/dd"));
  EXPECT_EQ(s.longTimeFormat, QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(s.shortDateFormat, defaults.shortDateFormat);
  EXPECT_EQ(s.currencyString, defaults.currencyString);
  EXPECT_EQ(s.currencyFormat, 0);
  EXPECT_EQ(s.decimalSeparator, QLatin1Char('.'));
  expectRoundTrip(s);
}

TEST(RegionalSettings, ReadsLocales) {
  struct Case {
    const char* name;
    const char* date;
    const char* time;
    char dateSep, timeSep, decimal, group;
    const char* currency;
    int position;
  };
  const Case cases[] = {
      {"en_US", "M/d/yyyy", "h:mm:ss AP", '/', ':', '.', ',', "$", 0},
      {"zh_TW", "yyyy/M/d", "APh:mm:ss", '/', ':', '.', ',', "$", 0},
      {"de_DE", "dd.MM.yyyy", "HH:mm:ss", '.', ':', ',', '.', "\u20AC", 3},
      {"nl_NL", "dd-MM-yyyy", "HH:mm:ss", '-', ':', ',', '.', "\u20AC", 2},
      {"fi_FI", "d.M.yyyy", "H.mm.ss", '.', '.', ',', ' ', "\u20AC", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegionalSettings s = RegionalSettings::fromLocale(QLocale(c.name));
    EXPECT_EQ(s.shortDateFormat, QString::fromUtf8(c.date));
    EXPECT_EQ(s.longTimeFormat, QString::fromUtf8(c.time));
    EXPECT_EQ(s.dateSeparator, QLatin1Char(c.dateSep));
    EXPECT_EQ(s.timeSeparator, QLatin1Char(c.timeSep));
    EXPECT_EQ(s.decimalSeparator, QLatin1Char(c.decimal));
    // Some locales group with a no-break space of one kind or another.
    if (c.group == ' ')
      EXPECT_TRUE(s.thousandSeparator.isSpace());
    else
      EXPECT_EQ(s.thousandSeparator, QLatin1Char(c.group));
    EXPECT_EQ(s.currencyString, QString::fromUtf8(c.currency));
    EXPECT_EQ(s.currencyFormat, c.position);
    expectRoundTrip(s);
  }
}

TEST(RegionalSettings, CurrentIsReadOnceAndCanBeReplacedForTests) {
  const RegionalSettings& first = RegionalSettings::current();
  EXPECT_EQ(&first, &RegionalSettings::current());
  RegionalSettings custom;
  custom.currencyString = QStringLiteral("NT$");
  custom.currencyFormat = 3;
  RegionalSettings::setCurrentForTesting(custom);
  EXPECT_EQ(RegionalSettings::current().currencyString, QStringLiteral("NT$"));
  RegionalSettings::setCurrentForTesting(RegionalSettings::fromLocale(QLocale::system()));
}
