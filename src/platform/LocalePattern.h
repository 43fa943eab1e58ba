// Turns the date and time patterns of a locale into patterns whose text reads back to
// the same value: four-digit years, seconds always present, no time zone.
#pragma once

#include <QChar>
#include <QString>

namespace platform::LocalePattern {

// Runs of 'y' other than four become "yyyy". An empty result gives "".
QString widenYear(const QString& datePattern);

// Drops time zone fields with the blanks and brackets that framed them, writes a day
// period of the locale data ('B', 'b') as Qt's AM/PM field, and adds seconds after the
// minutes when missing. Returns "" when the pattern has no hour or no minute.
QString fullTime(const QString& timePattern, QChar timeSeparator);

// The first character of the pattern's literal text (outside quotes) that is neither
// a letter, a blank nor an invisible direction mark; `def` when there is none.
QChar firstSeparator(const QString& pattern, QChar def);

}  // namespace platform::LocalePattern
