#include "import/ImportDriver.h"

#include "import/DmMdb.h"
#include "import/TableImport.h"

#include <config/Configs.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

namespace dataimport {

ImportDriver::ImportDriver(TDmAccess& access, posdb::TDmMSSQL& pos, ImportFrontEnd& frontEnd)
    : access_(access), pos_(pos), frontEnd_(frontEnd) {}

bool ImportDriver::enabled(const ImportTable& table) const {
  if (tables_) return tables_->contains(QString::fromUtf8(table.name), Qt::CaseInsensitive);
  return config::Config().read(table.enabled);
}

QString ImportDriver::run() {
  QString report = importReportHead();
  for (const ImportTable& t : kImportTables) {
    if (!enabled(t)) continue;
    frontEnd_.selectTab(t.tab);
    access_.openTable(platform::programFolder() + QString::fromUtf8(t.file),
                      QString::fromUtf8(t.sql));
    db::Dataset* target = pos_.queryOf(QString::fromUtf8(t.name));
    TableImport import(t.table, access_.qryAccess, *target);
    if (frontEnd_.importTable(t, import))
      report += QStringLiteral("\r\n") + QString::fromUtf8(t.done);
  }
  return report;
}

}  // namespace dataimport
