#include "platform/RegionalSettings.h"

#include <mutex>
#include <optional>

#include "LocalePattern.h"

namespace platform {
namespace {

QChar firstChar(const QString& s, QChar def) {
  return s.isEmpty() ? def : s[0];
}

// Where the locale puts the symbol around a positive amount, as the Windows position
// values: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
int currencyPosition(const QLocale& locale, const QString& symbol, int def) {
  const QString sample = locale.toCurrencyString(1.0);
  const qsizetype at = symbol.isEmpty() ? -1 : sample.indexOf(symbol);
  qsizetype firstDigit = -1;
  qsizetype lastDigit = -1;
  for (qsizetype i = 0; i < sample.size(); ++i) {
    if (!sample[i].isDigit()) continue;
    if (firstDigit < 0) firstDigit = i;
    lastDigit = i;
  }
  if (at < 0 || firstDigit < 0) return def;
  const bool before = at < firstDigit;
  const QString gap = before ? sample.mid(at + symbol.size(), firstDigit - at - symbol.size())
                             : sample.mid(lastDigit + 1, at - lastDigit - 1);
  bool spaced = false;
  for (QChar c : gap) spaced = spaced || c.isSpace();
  return (before ? 0 : 1) + (spaced ? 2 : 0);
}

std::mutex currentMutex;
std::optional<RegionalSettings> currentSettings;

}  // namespace

RegionalSettings RegionalSettings::fromLocale(const QLocale& locale) {
  RegionalSettings s;
  if (locale.language() == QLocale::C) return s;
  s.locale = locale;

  const QString date = LocalePattern::widenYear(locale.dateFormat(QLocale::ShortFormat));
  if (!date.isEmpty()) s.shortDateFormat = date;
  s.dateSeparator = LocalePattern::firstSeparator(s.shortDateFormat, s.dateSeparator);

  const QString time = locale.timeFormat(QLocale::LongFormat);
  s.timeSeparator = LocalePattern::firstSeparator(time, s.timeSeparator);
  const QString fullTime = LocalePattern::fullTime(time, s.timeSeparator);
  if (!fullTime.isEmpty()) s.longTimeFormat = fullTime;

  s.decimalSeparator = firstChar(locale.decimalPoint(), s.decimalSeparator);
  s.thousandSeparator = firstChar(locale.groupSeparator(), s.thousandSeparator);
  const QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
  if (!symbol.isEmpty()) s.currencyString = symbol;
  s.currencyFormat = currencyPosition(locale, symbol, s.currencyFormat);
  return s;
}

const RegionalSettings& RegionalSettings::current() {
  std::lock_guard lock(currentMutex);
  if (!currentSettings) currentSettings = fromLocale(QLocale::system());
  return *currentSettings;
}

void RegionalSettings::setCurrentForTesting(const RegionalSettings& settings) {
  std::lock_guard lock(currentMutex);
  currentSettings = settings;
}

}  // namespace platform
