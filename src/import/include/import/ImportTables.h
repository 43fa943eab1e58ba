// The four POS tables as the import walks them: the tables of config::kPosTables (name,
// switch in Config.ini, main window's tab) in their order, each with the import's
// statement over the Access file, the progress window's caption and the report's
// completion line.
#pragma once

#include <config/PosTables.h>

#include <QString>
#include <array>

namespace dataimport {

using config::PosTable;

struct ImportTable : config::PosTableInfo {
  const char* sql;      // over the Access file
  const char* caption;  // of the progress window
  const char* done;     // completion line of the report
};

// In the order the import walks them.
extern const std::array<ImportTable, config::kPosTables.size()> kImportTables;

const ImportTable& importTable(PosTable table);

// The report the import shows: this, then CR LF and a completion line per table.
inline QString importReportHead() {
  return QStringLiteral("匯入狀態：");
}

}  // namespace dataimport
