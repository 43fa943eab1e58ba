// Values as the parts write them: numbers, whole numbers, booleans, texts with their
// _xHHHH_ escapes, cell references, and dates stored as ISO 8601 texts.
#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>
#include <string_view>

namespace xlsx {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr qint64 kMsPerDay = 86400000;
inline const QDate kLastDate{9999, 12, 31};

// A number exactly as written (the nearest double to the decimal text, so a double
// written with 17 significant digits reads back to itself); blanks around it allowed.
std::optional<double> parseNumber(QStringView text);
std::optional<qint64> parseWhole(QStringView text);
// The same for a value in UTF-8 as the parts' parser hands it out, read as its UTF-16
// text would be without converting an ASCII one.
std::optional<double> parseNumber(std::string_view utf8);
std::optional<qint64> parseWhole(std::string_view utf8);
// Nothing but blanks (as QChar::isSpace tells them), or empty.
bool isBlank(std::string_view utf8);
// "1" and "true" (in any case) are true, anything else false.
bool parseBoolean(QStringView text);

// Texts keep characters XML cannot carry (control characters, a lone carriage return)
// as _xHHHH_; an underscore that would start such a form is itself written _x005F_.
QString decodeEscapes(QString text);

// A cell reference's column ("B3" is 1) or -1; the row part is the row's own business.
int columnOfReference(QStringView ref);
int columnOfReference(std::string_view utf8);

// The serial of a cell stored as an ISO 8601 date, date and time, or time of day, in
// the workbook's date system; none when the text is no such value or out of range.
std::optional<double> serialOfIsoText(QStringView text, bool date1904);

}  // namespace xlsx
