// Values written into SQL Server's statement text, each standing for exactly the value
// its parameter would carry: a batch of many rows costs the server far less to read as
// text than as thousands of declared parameters. A value that has no literal of that
// kind (see fits()) goes as a parameter.
#pragma once

#include <db/FieldType.h>

#include <QString>
#include <QVariant>
#include <optional>

namespace db::sqlliteral {

// A double as the quotient of two integers that a double holds exactly: the shortest
// decimal digits that read back as it over a power of ten (the server's correctly
// rounded division gives back the very double, where a decimal literal would leave it
// to the server's text parser), or else its 53 bits over a power of two (an exact
// division). None for NaN, infinities, -0, whole numbers past 2^53 and the tiniest.
struct Quotient {
  qint64 dividend = 0;
  qint64 divisor = 1;
};
std::optional<Quotient> quotientOf(double value);

// Whether `value`, canonical for `type`, has a literal: NULL; a text of a text column
// without NUL or a lone surrogate; a whole number; a boolean; a date-time of a
// date-time column in years 1 to 9999; a floating value with a quotient. `cost`, when
// given, grows by about the characters the literal takes.
bool fits(const QVariant& value, FieldType type, qsizetype* cost = nullptr);

// Whether a floating value is NULL or whole: its literal is then a whole number, which
// the server turns into the very double (all such values are below 2^53).
bool wholeFloat(const QVariant& value);

// How a floating value is written: as its quotient's two numbers separated by ", "
// (two columns, see floatOf), or inline: a whole number as its digits, any other as
// one expression that makes the double.
enum class FloatForm { Pair, Inline };

// Appends the literal of a value that fits().
void append(QString& sql, const QVariant& value, FieldType type, FloatForm form);

// The expression that makes the double of two columns holding a quotient.
QString floatOf(const QString& dividend, const QString& divisor);

}  // namespace db::sqlliteral
