#include "LocalePattern.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(LocalePattern, WidensEveryYearToFourDigits) {
  EXPECT_EQ(LocalePattern::widenYear("M/d/yy"), QStringLiteral("M/d/yyyy"));
  EXPECT_EQ(LocalePattern::widenYear("yy. M. d."), QStringLiteral("yyyy. M. d."));
  EXPECT_EQ(LocalePattern::widenYear("y/M/d"), QStringLiteral("yyyy/M/d"));
  EXPECT_EQ(LocalePattern::widenYear("dd.MM.yyyy"), QStringLiteral("dd.MM.yyyy"));
  // Quoted text is literal.
  EXPECT_EQ(LocalePattern::widenYear("d 'yy' M yy"), QStringLiteral("d 'yy' M yyyy"));
}

TEST(LocalePattern, TimeKeepsSecondsAndDropsTimeZones) {
  struct Case {
    const char* locale;
    const char* expected;
  };
  const Case cases[] = {
      {"h:mm:ss AP t", "h:mm:ss AP"},  // en_US
      {"Bh:mm:ss [t]", "APh:mm:ss"},   // zh_TW: day period of the locale data
      {"t HH:mm:ss", "HH:mm:ss"},      // zh_CN
      {"H:mm:ss (t)", "H:mm:ss"},      // es_ES
      {"HH:mm:ss t", "HH:mm:ss"},      // de_DE
      {"HH:mm", "HH:mm:ss"},           // no seconds
      {"AP h:mm", "AP h:mm:ss"},
      {"H'h'mm", "H'h'mm:ss"},
      {"AP h시 m분 s초 t", "AP h시 m분 s초"},  // ko_KR
  };
  for (const Case& c : cases)
    EXPECT_EQ(LocalePattern::fullTime(QString::fromUtf8(c.locale), ':'),
              QString::fromUtf8(c.expected))
        << c.locale;
  EXPECT_EQ(LocalePattern::fullTime("H.mm", '.'), QStringLiteral("H.mm.ss"));
  EXPECT_EQ(LocalePattern::fullTime("mm:ss", ':'), QString());
  EXPECT_EQ(LocalePattern::fullTime("", ':'), QString());
}

TEST(LocalePattern, FindsTheSeparator) {
  EXPECT_EQ(LocalePattern::firstSeparator("M/d/yyyy", '-'), QLatin1Char('/'));
  EXPECT_EQ(LocalePattern::firstSeparator("yy. M. d.", '-'), QLatin1Char('.'));
  // ar_EG puts right-to-left marks before the separators.
  EXPECT_EQ(LocalePattern::firstSeparator(QString::fromUtf8("d\u200F/M\u200F/yyyy"), '-'),
            QLatin1Char('/'));
  EXPECT_EQ(LocalePattern::firstSeparator(QString::fromUtf8("H時mm分ss秒"), ':'), QLatin1Char(':'));
  EXPECT_EQ(LocalePattern::firstSeparator("yyyy'/'MMdd", '-'), QLatin1Char('-'));
}
