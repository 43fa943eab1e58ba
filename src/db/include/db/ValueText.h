// Text forms of field values. Values travel between the POS and the Access files as
// text, so the plain text of every value must read back to the same value.
//
// Canonical values (what a dataset holds and what the drivers hand over): NULL is an
// invalid QVariant; text types hold QString; whole numbers qint64; floating types
// double; booleans bool; dates and times a QDateTime in Qt::UTC that carries the
// naive wall-clock value (no time zone is ever applied); binary types QByteArray.
#pragma once

#include "db/FieldType.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace db {

// A value's type id without a call into QVariant (QVariant::typeId() is out of line,
// and values are asked for it several times each on every row an import writes).
inline int typeIdOf(const QVariant& value) {
  const QtPrivate::QMetaTypeInterface* type = value.data_ptr().typeInterface();
  if (!type) return QMetaType::UnknownType;
  if (const int id = type->typeId.loadRelaxed()) return id;
  return value.typeId();
}

// QVariant's own `!isValid() || isNull()`, told inline: a value of a type that is no
// pointer is null by its flag alone.
inline bool isInvalidOrNull(const QVariant& value) {
  switch (typeIdOf(value)) {
    case QMetaType::UnknownType:
      return true;
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
    case QMetaType::QDateTime:
      return value.data_ptr().is_null;
    default:
      return value.isNull();
  }
}

// Whether a value is NULL as the drivers bind it: an invalid QVariant, and also a null
// QString or QByteArray (Qt 6's QVariant::isNull() no longer says so for them), so that
// an empty Access cell given to a NULL column changes nothing.
inline bool isNullValue(const QVariant& value) {
  switch (typeIdOf(value)) {
    case QMetaType::QString:
      return static_cast<const QString*>(value.constData())->isNull();
    case QMetaType::QByteArray:
      return static_cast<const QByteArray*>(value.constData())->isNull();
    default:
      return isInvalidOrNull(value);
  }
}

class ValueText {
 public:
  // The plain text: whole numbers in decimal; floats with up to 15 significant
  // digits (more only where 15 would not read back to the same double); "True" or
  // "False"; dates as the regional short date and long time, the time left out at
  // midnight and milliseconds added when there are any; bytes as UTF-8 text when they
  // are UTF-8, else one character per byte. NULL gives "".
  static QString plain(const QVariant& value, FieldType type);
  // plain() into `text`, reusing its storage when it is not shared (a row buffer refilled
  // row after row).
  static void plainInto(const QVariant& value, FieldType type, QString& text);

  // Whether parse(plain(value, type), paramType) gives back `value` itself, so that a
  // statement may bind the value without the text in between. Told cheaply from the
  // value's type, the value and the regional settings; false where that cannot be told
  // (the text then decides): NULL, minus zero, NaN and infinities, a decimal separator
  // other than '.', dates of ftDate or ftTime fields, outside the years 1 to 9999 or
  // with regional patterns other than plain numbers, and every other type but whole
  // numbers, floats and booleans.
  static bool readsBackUnchanged(const QVariant& value, FieldType type, FieldType paramType);

  // What a grid shows: like plain(), except that floats show at most 15 significant
  // digits, and a non-empty display format ("#,#0.00", "#,#0", "yyyy/mm/dd", ...)
  // governs numbers and dates.
  static QString display(const QVariant& value, FieldType type, const QString& displayFormat);

  // Converts text into a canonical value of `type`. Empty (or blank) text gives NULL
  // for every type but text and binary. Binary types take the text's UTF-8 bytes. Throws
  // platform::Error naming the value when the text does not convert ("'12a' is not a valid integer
  // value").
  static QVariant parse(const QString& text, FieldType type);
  // The operator's text for `text` that a column of `type` cannot take: what it is not,
  // and what the column takes ("「十」不是整數：這個欄位只能填整數，例如 12").
  static QString notAValue(const QString& text, FieldType type);
  // parse() into `out`, reusing its storage where the value's type stays (a statement's
  // parameters, converted row after row).
  static void parseInto(const QString& text, FieldType type, QVariant& out);

  // target = value, reusing target's storage when both hold the same whole number,
  // float, boolean or date (row buffers refilled row after row).
  static void assign(QVariant& target, const QVariant& value);

  // Brings a value as a driver delivers it into the canonical form of `type`; a
  // value that does not convert is returned unchanged.
  static QVariant normalize(const QVariant& value, FieldType type);

  // Number formats of the "#,##0.00" family: '0' a digit always shown, '#' a digit
  // shown when significant, ',' in the integer part groups thousands, '.' the
  // decimal point; quoted text and other characters are copied. Sections after ';'
  // apply to negative values and zero. Rounds half away from zero.
  static QString formatFloat(double value, const QString& format);

  // Date formats: yyyy yy m mm mmm mmmm d dd h hh n nn s ss z zzz am/pm, '/' the
  // regional date separator, ':' the regional time separator, quoted text copied.
  static QString formatDateTime(const QDateTime& value, const QString& format);

  // Lenient reading of a date and time: the regional short date's field order with
  // any of the separators '/', '-', '.' or the regional one, optional time h:mm[:ss[.zzz]]
  // with optional AM/PM, and ISO 8601 ("2024-05-01T13:45:00"). Invalid on failure.
  static QDateTime parseDateTime(const QString& text);

  // Canonical naive date-time from a date and a time.
  static QDateTime naive(const QDate& date, const QTime& time = QTime(0, 0));
};

}  // namespace db
