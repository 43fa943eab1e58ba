#include "app/SettingValues.h"

namespace app {
namespace {

const QString kMssql = QStringLiteral("MSSQL");
const QString kImportItem = QStringLiteral("Import Item");
const QString kExportImport = QStringLiteral("Export Import");

}  // namespace

SettingValues SettingValues::read(const platform::IniFile& ini) {
  SettingValues v;
  v.host = ini.readString(kMssql, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
  v.database = ini.readString(kMssql, QStringLiteral("Database"), QStringLiteral("KAROS"));
  v.user = ini.readString(kMssql, QStringLiteral("User"), QStringLiteral("sa"));
  v.password = ini.readString(kMssql, QStringLiteral("Password"), QStringLiteral("kora"));
  v.shelfNo = ini.readBool(kImportItem, QStringLiteral("Update_ShelfNo"), false);
  v.stkQty = ini.readBool(kImportItem, QStringLiteral("Update_StkQty"), false);
  if (v.stkQty)
    v.stkQtyAction =
        ini.readInteger(kImportItem, QStringLiteral("Update_StkQty_Action"), 0) > 0 ? 1 : 0;
  v.avgCost = ini.readBool(kImportItem, QStringLiteral("Update_AvgCost"), false);
  v.uniPrice = ini.readBool(kImportItem, QStringLiteral("Update_UniPrice"), false);
  v.price = ini.readBool(kImportItem, QStringLiteral("Update_Price"), false);
  v.memPrice = ini.readBool(kImportItem, QStringLiteral("Update_MemPrice"), false);
  v.vipPrice = ini.readBool(kImportItem, QStringLiteral("Update_VipPrice"), false);
  v.classify = ini.readBool(kExportImport, QStringLiteral("Classify"), false);
  v.item = ini.readBool(kExportImport, QStringLiteral("Item"), false);
  v.supplier = ini.readBool(kExportImport, QStringLiteral("Supplier"), false);
  v.customer = ini.readBool(kExportImport, QStringLiteral("Customer"), false);
  return v;
}

SettingValues::Missing SettingValues::write(platform::IniFile& ini) const {
  // Blanks count as a value: only a text of length zero is empty.
  if (host.isEmpty()) return Missing::Host;
  ini.writeString(kMssql, QStringLiteral("Host"), host);
  if (database.isEmpty()) return Missing::Database;
  ini.writeString(kMssql, QStringLiteral("Database"), database);
  if (user.isEmpty()) return Missing::User;
  ini.writeString(kMssql, QStringLiteral("User"), user);
  if (password.isEmpty()) return Missing::Password;
  ini.writeString(kMssql, QStringLiteral("Password"), password);

  ini.writeBool(kImportItem, QStringLiteral("Update_ShelfNo"), shelfNo);
  ini.writeBool(kImportItem, QStringLiteral("Update_StkQty"), stkQty);
  if (stkQty)
    ini.writeInteger(kImportItem, QStringLiteral("Update_StkQty_Action"),
                     stkQtyAction == 0 ? 0 : 1);
  ini.writeBool(kImportItem, QStringLiteral("Update_AvgCost"), avgCost);
  ini.writeBool(kImportItem, QStringLiteral("Update_UniPrice"), uniPrice);
  ini.writeBool(kImportItem, QStringLiteral("Update_Price"), price);
  ini.writeBool(kImportItem, QStringLiteral("Update_MemPrice"), memPrice);
  ini.writeBool(kImportItem, QStringLiteral("Update_VipPrice"), vipPrice);

  ini.writeBool(kExportImport, QStringLiteral("Classify"), classify);
  ini.writeBool(kExportImport, QStringLiteral("Item"), item);
  ini.writeBool(kExportImport, QStringLiteral("Supplier"), supplier);
  ini.writeBool(kExportImport, QStringLiteral("Customer"), customer);
  return Missing::None;
}

QString SettingValues::missingMessage(Missing missing) {
  switch (missing) {
    case Missing::Host:
      return QStringLiteral("位址必須要輸入 !");
    case Missing::Database:
      return QStringLiteral("資料庫必須要輸入 !");
    case Missing::User:
      return QStringLiteral("使用者必須要輸入 !");
    case Missing::Password:
      return QStringLiteral("密碼必須要輸入 !");
    case Missing::None:
      break;
  }
  return {};
}

}  // namespace app
