// The text rules of the import: trimming, and item numbers completed to eight
// characters with an EAN-8 check digit.
#pragma once

#include <QChar>
#include <QString>

namespace dataimport {

// The text without leading and trailing characters of codes 0 to 32 (blanks and
// control characters). Other blanks, such as the ideographic space, are data.
QString trimmedText(const QString& text);

// The check digit of the first seven characters, which must be decimal digits:
// S = 3 * (d1 + d3 + d5 + d7) + (d2 + d4 + d6), digit = (10 - S mod 10) mod 10.
// Characters after the seventh are ignored. Throws platform::Error
// ("'x' is not a valid integer value") for a non-digit or a text that is too short.
QChar EanCheckDigit(const QString& text);

// The item number an import searches for: the text trimmed, then, when it is 6 bytes
// long, "0" and the check digit appended, when 7 bytes long, the check digit. Other
// lengths are left as they are. Lengths count Big5 bytes.
QString completeItemNo(const QString& text);

}  // namespace dataimport
