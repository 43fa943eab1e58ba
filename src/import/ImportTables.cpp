#include "import/ImportTables.h"

namespace dataimport {

const std::array<ImportTable, 4> kImportTables = {{
    {PosTable::Classify, "Classify", config::keys::ExportClassify, 0, "Classify.mdb",
     "SELECT * FROM Classify", "匯入小分類資料", "匯入分類資料完成。"},
    {PosTable::Item, "Item", config::keys::ExportItem, 1, "Item.mdb", "SELECT * FROM Item",
     "匯入商品資料", "匯入商品資料完成。"},
    {PosTable::Supplier, "Supplier", config::keys::ExportSupplier, 2, "Supplier.mdb",
     "SELECT * FROM Supplier", "匯入廠商資料", "匯入廠商資料完成。"},
    {PosTable::Customer, "Customer", config::keys::ExportCustomer, 3, "Customer.mdb",
     "SELECT * FROM Customer", "匯入會員資料", "匯入客戶資料完成。"},
}};

const ImportTable& importTable(PosTable table) {
  for (const ImportTable& t : kImportTables)
    if (t.table == table) return t;
  return kImportTables[0];
}

}  // namespace dataimport
