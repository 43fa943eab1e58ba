#include "import/ImportTables.h"

#include <stdexcept>

namespace dataimport {

namespace {

constexpr ImportTable importEntry(const config::PosTableInfo& table) {
  switch (table.table) {
    case PosTable::Classify:
      return {table, "SELECT * FROM Classify", "匯入小分類資料", "匯入分類資料完成。"};
    case PosTable::Item:
      return {table, "SELECT * FROM Item", "匯入商品資料", "匯入商品資料完成。"};
    case PosTable::Supplier:
      return {table, "SELECT * FROM Supplier", "匯入廠商資料", "匯入廠商資料完成。"};
    case PosTable::Customer:
      return {table, "SELECT * FROM Customer", "匯入會員資料", "匯入客戶資料完成。"};
  }
  throw std::invalid_argument("not a POS table");
}

}  // namespace

// Constant-initialised: ready before any other static initialiser might look at it.
constinit const std::array<ImportTable, config::kPosTables.size()> kImportTables =
    config::mapPosTables(importEntry);

const ImportTable& importTable(PosTable table) {
  for (const ImportTable& t : kImportTables)
    if (t.table == table) return t;
  return kImportTables[0];
}

}  // namespace dataimport
