#include "app/SettingValues.h"

namespace app {

namespace keys = config::keys;

SettingValues SettingValues::read(const config::TConfig& ini) {
  SettingValues v;
  v.host = ini.read(keys::Host);
  v.database = ini.read(keys::Database);
  v.user = ini.read(keys::User);
  v.password = ini.read(keys::Password);
  v.shelfNo = ini.read(keys::UpdateShelfNo);
  v.stkQty = ini.read(keys::UpdateStkQty);
  if (v.stkQty) v.stkQtyAction = ini.read(keys::UpdateStkQtyAction) > 0 ? 1 : 0;
  v.avgCost = ini.read(keys::UpdateAvgCost);
  v.uniPrice = ini.read(keys::UpdateUniPrice);
  v.price = ini.read(keys::UpdatePrice);
  v.memPrice = ini.read(keys::UpdateMemPrice);
  v.vipPrice = ini.read(keys::UpdateVipPrice);
  v.classify = ini.read(keys::ExportClassify);
  v.item = ini.read(keys::ExportItem);
  v.supplier = ini.read(keys::ExportSupplier);
  v.customer = ini.read(keys::ExportCustomer);
  v.editsOnly = ini.read(keys::EditsOnly);
  v.preview = ini.read(keys::Preview);
  // Read as the export and the import read it.
  v.fileType = config::exchangeFormatOf(ini.read(keys::FileType)).value_or(FileType::Mdb);
  return v;
}

SettingValues::Missing SettingValues::write(config::TConfig& ini) const {
  // Blanks count as a value: only a text of length zero is empty.
  if (host.isEmpty()) return Missing::Host;
  ini.write(keys::Host, host);
  if (database.isEmpty()) return Missing::Database;
  ini.write(keys::Database, database);
  if (user.isEmpty()) return Missing::User;
  ini.write(keys::User, user);
  if (password.isEmpty()) return Missing::Password;
  ini.write(keys::Password, password);

  ini.write(keys::UpdateShelfNo, shelfNo);
  ini.write(keys::UpdateStkQty, stkQty);
  if (stkQty) ini.write(keys::UpdateStkQtyAction, stkQtyAction == 0 ? 0 : 1);
  ini.write(keys::UpdateAvgCost, avgCost);
  ini.write(keys::UpdateUniPrice, uniPrice);
  ini.write(keys::UpdatePrice, price);
  ini.write(keys::UpdateMemPrice, memPrice);
  ini.write(keys::UpdateVipPrice, vipPrice);

  ini.write(keys::ExportClassify, classify);
  ini.write(keys::ExportItem, item);
  ini.write(keys::ExportSupplier, supplier);
  ini.write(keys::ExportCustomer, customer);
  ini.write(keys::EditsOnly, editsOnly);
  ini.write(keys::Preview, preview);
  ini.write(keys::FileType, config::exchangeFormatName(fileType));
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
