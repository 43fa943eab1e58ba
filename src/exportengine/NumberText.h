// Reading numbers from cell texts, without allocating.
#pragma once

#include <QChar>
#include <QString>
#include <optional>

namespace exportengine {

// A whole number in decimal with an optional sign, or in hexadecimal after "$" or
// "0x"; none when the text is anything else or does not fit 32 (or 64) bits.
std::optional<qint32> ReadInt32(QStringView text);
std::optional<qint64> ReadInt64(QStringView text);

// A floating-point number: optional sign, digits with `decimalSeparator` as the
// decimal point, optional exponent; "NAN", "INF", "-INF" in any case. Blanks around
// the number are allowed.
std::optional<double> ReadFloat(QStringView text, QChar decimalSeparator);

}  // namespace exportengine
