// Regional settings, read once at start from the user's locale. They feed the text
// forms of dates and numbers that move between the POS and the Access files.
#pragma once

#include <QChar>
#include <QLocale>
#include <QString>

namespace platform {

struct RegionalSettings {
  // Qt date/time patterns (QDate::toString syntax). A two-digit year in the locale's
  // short date is widened to four digits: a two-digit year does not survive a round
  // trip through text.
  QString shortDateFormat = "yyyy/MM/dd";
  QString longTimeFormat = "HH:mm:ss";
  QChar dateSeparator = '/';
  QChar timeSeparator = ':';
  QChar decimalSeparator = '.';
  QChar thousandSeparator = ',';
  QString currencyString = "$";
  // 0 = "$1", 1 = "1$", 2 = "$ 1", 3 = "1 $" (the Windows CurrencyFormat values).
  int currencyFormat = 0;
  // The locale the patterns come from. Format and read dates and times with it
  // (locale.toString(date, shortDateFormat), locale.toDateTime(...)): a time pattern
  // may hold the AM/PM field, whose text is the locale's.
  QLocale locale = QLocale::c();

  static RegionalSettings fromLocale(const QLocale& locale);

  // The settings in force: read from the system locale on first use (C/POSIX gives
  // the defaults above), then kept for the whole run.
  static const RegionalSettings& current();
  // Test seam.
  static void setCurrentForTesting(const RegionalSettings& settings);
};

}  // namespace platform
