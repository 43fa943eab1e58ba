// Data types of fields and parameters, and the basic kinds the open check compares.
#pragma once

#include <QString>

namespace db {

// The data types a field or a command parameter can carry. Unscoped so that callers
// can write db::ftString as well as db::FieldType::ftString.
enum FieldType : unsigned char {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftGuid,
};

// What the open check compares: a declared field and the column that feeds it must
// agree on this, not on the exact type.
enum class BasicKind { Other, Text, Whole, Floating, Boolean, DateTime, Binary };

BasicKind basicKind(FieldType type);

// The type's name as the layer's messages spell it ("String", "Integer", ...).
QString fieldTypeName(FieldType type);

// Memo, binary and graphic types: the fields an export leaves out by default.
bool isBlobType(FieldType type);

}  // namespace db
