// The settings of Config.ini: section, key and the default every reader uses. The
// settings dialog, the connection start, the import and the export all read through
// these, so that they agree on names and defaults.
#pragma once

namespace config {

struct TextSetting {
  const char* section;
  const char* key;
  const char* def;
};

struct IntegerSetting {
  const char* section;
  const char* key;
  int def;
};

struct FlagSetting {
  const char* section;
  const char* key;
  bool def;
};

namespace keys {

inline constexpr char SectionMssql[] = "MSSQL";
inline constexpr char SectionImportItem[] = "Import Item";
inline constexpr char SectionExportImport[] = "Export Import";

// Connection to the POS database.
inline constexpr TextSetting Host{SectionMssql, "Host", "127.0.0.1"};
inline constexpr TextSetting Database{SectionMssql, "Database", "KAROS"};
inline constexpr TextSetting User{SectionMssql, "User", "sa"};
inline constexpr TextSetting Password{SectionMssql, "Password", "kora"};  // plain text
// Optional engine choice: "SQLOLEDB.1" (SQL Server) or "SQLite" (Database names a file,
// relative to the program folder).
inline constexpr TextSetting Provider{SectionMssql, "Provider", "SQLOLEDB.1"};
// Seconds any POS statement may wait (a row another user holds, a server that stopped
// answering) before it fails; 0 waits without limit. No dialog control: the file holds it.
inline constexpr IntegerSetting CommandTimeout{SectionMssql, "CommandTimeout", 30};

// Which Item columns an import may overwrite in rows that already exist.
inline constexpr FlagSetting UpdateShelfNo{SectionImportItem, "Update_ShelfNo", false};
inline constexpr FlagSetting UpdateStkQty{SectionImportItem, "Update_StkQty", false};
// 0 overwrite, 1 accumulate; read as accumulate when greater than 0. Written only when
// UpdateStkQty is on.
inline constexpr IntegerSetting UpdateStkQtyAction{SectionImportItem, "Update_StkQty_Action", 0};
inline constexpr FlagSetting UpdateAvgCost{SectionImportItem, "Update_AvgCost", false};
inline constexpr FlagSetting UpdateUniPrice{SectionImportItem, "Update_UniPrice", false};
inline constexpr FlagSetting UpdatePrice{SectionImportItem, "Update_Price", false};
inline constexpr FlagSetting UpdateMemPrice{SectionImportItem, "Update_MemPrice", false};
inline constexpr FlagSetting UpdateVipPrice{SectionImportItem, "Update_VipPrice", false};

// The switches of the tables that take part in import and export (key: the table's
// name) belong to the list of the tables, PosTables.h.

// An import brings back only the cells the operator changed in Access since the export
// (compared with what the export wrote); off: every mapped cell, as the import always did.
inline constexpr FlagSetting EditsOnly{SectionExportImport, "EditsOnly", false};
// The exchange files' format: "mdb" (Access, as always) or "xlsx" (an Excel workbook per
// table); any other value reads as "mdb".
inline constexpr TextSetting FileType{SectionExportImport, "FileType", "mdb"};
// "匯入檔案" shows what the import would change and asks before it writes; off: it
// writes at once, for an operator who knows the files.
inline constexpr FlagSetting Preview{SectionExportImport, "Preview", true};

}  // namespace keys
}  // namespace config
