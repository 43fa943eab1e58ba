// Date and time patterns of the engine, and the reading of date and time texts.
//
// Pattern elements (letters in any case): yy, yyyy; m, mm (month, or minutes right
// after an hour element), mmm, mmmm (month names); d, dd, ddd, dddd (day names),
// ddddd (short date), dddddd (long date); h, hh; n, nn; s, ss; z, zzz; t (short time),
// tt (long time); c (short date and long time, the time left out at midnight); am/pm,
// a/p (in the case written) and ampm (the regional texts), which also make h and hh
// count 12 hours; '/' the regional date separator, ':' the regional time separator;
// text in double or single quotes is copied, as is every other character.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace platform {
struct RegionalSettings;
}

namespace exportengine {

// `defaultDate` and `defaultTime` serve ddddd, t and c (the short forms in use).
QString FormatDateTime(const QDateTime& value, QStringView pattern,
                       const platform::RegionalSettings& settings, const QString& defaultDate,
                       const QString& defaultTime);

struct DateTimeReading {
  QDateTime value;
  // False for a bare time of day.
  bool hasDate = false;
};

// Reads a date, a time or both in the regional short date order (see
// db::ValueText::parseDateTime); none when the text is neither.
std::optional<DateTimeReading> ReadDateTime(const QString& text);

// A date or time pattern of Qt's language (QDate::toString) in the engine's language.
QString PatternFromQt(QStringView qtPattern);
// The Qt time pattern without its seconds (and what separates them from the minutes).
QString WithoutSeconds(QStringView qtPattern);

}  // namespace exportengine
