#include "db/FieldType.h"

namespace db {

BasicKind basicKind(FieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
    case ftGuid:
      return BasicKind::Text;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
      return BasicKind::Whole;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      return BasicKind::Floating;
    case ftBoolean:
      return BasicKind::Boolean;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return BasicKind::DateTime;
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
      return BasicKind::Binary;
    case ftUnknown:
      break;
  }
  return BasicKind::Other;
}

QString fieldTypeName(FieldType type) {
  switch (type) {
    case ftUnknown:
      return QStringLiteral("Unknown");
    case ftString:
      return QStringLiteral("String");
    case ftSmallint:
      return QStringLiteral("SmallInt");
    case ftInteger:
      return QStringLiteral("Integer");
    case ftWord:
      return QStringLiteral("Word");
    case ftBoolean:
      return QStringLiteral("Boolean");
    case ftFloat:
      return QStringLiteral("Float");
    case ftCurrency:
      return QStringLiteral("Currency");
    case ftBCD:
      return QStringLiteral("BCD");
    case ftDate:
      return QStringLiteral("Date");
    case ftTime:
      return QStringLiteral("Time");
    case ftDateTime:
      return QStringLiteral("DateTime");
    case ftBytes:
      return QStringLiteral("Bytes");
    case ftVarBytes:
      return QStringLiteral("VarBytes");
    case ftAutoInc:
      return QStringLiteral("AutoInc");
    case ftBlob:
      return QStringLiteral("Blob");
    case ftMemo:
      return QStringLiteral("Memo");
    case ftGraphic:
      return QStringLiteral("Graphic");
    case ftFmtMemo:
      return QStringLiteral("FmtMemo");
    case ftFixedChar:
      return QStringLiteral("FixedChar");
    case ftWideString:
      return QStringLiteral("WideString");
    case ftLargeint:
      return QStringLiteral("Largeint");
    case ftGuid:
      return QStringLiteral("Guid");
  }
  return QStringLiteral("Unknown");
}

bool isBlobType(FieldType type) {
  switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
      return true;
    default:
      return false;
  }
}

}  // namespace db
