#include "jet/TableInfo.h"

#include "Catalog.h"

namespace jet {

const char* typeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean:
      return "Boolean";
    case ColumnType::Byte:
      return "Byte";
    case ColumnType::Integer:
      return "Integer";
    case ColumnType::Long:
      return "Long Integer";
    case ColumnType::Currency:
      return "Currency";
    case ColumnType::Single:
      return "Single";
    case ColumnType::Double:
      return "Double";
    case ColumnType::DateTime:
      return "DateTime";
    case ColumnType::Binary:
      return "Binary";
    case ColumnType::Text:
      return "Text";
    case ColumnType::Ole:
      return "OLE";
    case ColumnType::Memo:
      return "Memo/Hyperlink";
    case ColumnType::Guid:
      return "Replication ID";
    case ColumnType::Decimal:
      return "Numeric";
    case ColumnType::Complex:
      return "Complex";
  }
  return "Unknown";
}

const ColumnInfo* TableInfo::column(const std::string& name) const {
  for (const ColumnInfo& c : columns) {
    if (Catalog::sameName(c.name, name)) return &c;
  }
  return nullptr;
}

}  // namespace jet
