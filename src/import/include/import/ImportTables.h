// The four POS tables as the import walks them: the order, the switch in Config.ini,
// the main window's tab, the Access file and statement, the progress window's caption
// and the report's completion line.
#pragma once

#include <config/ConfigKeys.h>

#include <QString>
#include <array>

namespace dataimport {

enum class PosTable { Classify, Item, Supplier, Customer };

struct ImportTable {
  PosTable table;
  const char* name;  // the POS table, the Access table and the column map file's name
  config::FlagSetting enabled;
  int tab;           // page index of the main window's PageControl
  const char* file;  // Access file in the program folder
  const char* sql;
  const char* caption;  // of the progress window
  const char* done;     // completion line of the report
};

// In the order the import walks them.
extern const std::array<ImportTable, 4> kImportTables;

const ImportTable& importTable(PosTable table);

// The report the import shows: this, then CR LF and a completion line per table.
inline QString importReportHead() {
  return QStringLiteral("匯入狀態：");
}

}  // namespace dataimport
