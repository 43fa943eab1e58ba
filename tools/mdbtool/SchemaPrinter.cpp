#include "Output.h"

namespace mdbtool {

namespace {

std::string bracket(const std::string& name) {
  return "[" + name + "]";
}

std::string columnType(const jet::ColumnInfo& c) {
  switch (c.type) {
    case jet::ColumnType::Text:
      return "Text (" + std::to_string(c.maxChars()) + ")";
    case jet::ColumnType::Binary:
      return "Binary (" + std::to_string(c.size) + ")";
    case jet::ColumnType::Memo:
      return c.hyperlink ? "Hyperlink" : "Memo";
    case jet::ColumnType::Decimal:
      return "Numeric (" + std::to_string(c.precision) + ", " + std::to_string(c.scale) + ")";
    case jet::ColumnType::Long:
      return c.autoNumber ? "AutoNumber" : "Long Integer";
    default:
      return jet::typeName(c.type);
  }
}

void printTable(const jet::TableInfo& t, std::ostream& out) {
  out << "CREATE TABLE " << bracket(t.name) << "\n (\n";
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const jet::ColumnInfo& c = t.columns[i];
    out << "\t" << bracket(c.name) << "\t\t\t" << columnType(c);
    if (c.required) out << " NOT NULL";
    out << (i + 1 < t.columns.size() ? ", \n" : "\n");
  }
  out << ");\n";
  for (const jet::IndexInfo& ix : t.indexes) {
    if (ix.foreignKey) continue;  // kept by Access for a relationship
    out << "CREATE " << (ix.unique && !ix.primaryKey ? "UNIQUE " : "") << "INDEX "
        << bracket(ix.name) << " ON " << bracket(t.name) << " (";
    for (std::size_t k = 0; k < ix.columns.size(); ++k) {
      if (k) out << ", ";
      out << bracket(ix.columns[k]) << (ix.ascending[k] ? "" : " DESC");
    }
    out << ")";
    if (ix.primaryKey) {
      out << " WITH PRIMARY";
    } else if (ix.ignoreNulls) {
      out << " WITH IGNORE NULL";
    }
    out << ";\n";
  }
  out << "\n";
}

}  // namespace

void printSchema(const jet::Database& db, const std::string* onlyTable, std::ostream& out) {
  if (onlyTable) {
    printTable(db.table(*onlyTable), out);
    return;
  }
  for (const std::string& name : db.tableNames()) printTable(db.table(name), out);
}

}  // namespace mdbtool
