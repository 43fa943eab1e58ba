// What the settings dialog edits: the connection values, the Item import's update
// switches, the tables that take part in import and export and the exchange files'
// format, read from and written to Config.ini. The dialog only moves these values in
// and out of its controls.
#pragma once

#include <config/Configs.h>
#include <config/ExchangeFormat.h>

#include <QString>

namespace app {

struct SettingValues {
  // Section MSSQL.
  QString host;
  QString database;
  QString user;
  QString password;
  // Section Import Item.
  bool shelfNo = false;
  bool stkQty = false;
  // The item of the stock radio group: -1 none, 0 overwrite, 1 accumulate.
  int stkQtyAction = -1;
  bool avgCost = false;
  bool uniPrice = false;
  bool price = false;
  bool memPrice = false;
  bool vipPrice = false;
  // Section Export Import.
  bool classify = false;
  bool item = false;
  bool supplier = false;
  bool customer = false;
  bool editsOnly = false;
  bool preview = true;
  // The exchange files' format, FileType: "mdb" or "xlsx" in the file (any case). Any other text
  // there reads as Access, so a save writes "mdb" over it.
  using FileType = config::ExchangeFormat;
  FileType fileType = FileType::Mdb;

  // The stock action is only read while the stock update is on; otherwise no item
  // is selected.
  static SettingValues read(const config::TConfig& ini);

  enum class Missing { None, Host, Database, User, Password };

  // Checks and writes in the dialog's order: each connection value is written as soon
  // as it is found non-empty, so the values before an empty one stay written and
  // nothing after it is. The stock action is written only while the stock update is
  // on (no item selected counts as accumulate). Returns the empty value, if any.
  // Throws platform::Error when the file cannot be written.
  Missing write(config::TConfig& ini) const;

  bool operator==(const SettingValues&) const = default;

  // "位址必須要輸入 !" and the like.
  static QString missingMessage(Missing missing);
};

}  // namespace app
