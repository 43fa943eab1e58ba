#include "export/ExportDriver.h"

#include "export/ADO_AccessExporter.h"

#include <config/ColumnMap.h>
#include <config/Configs.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>

#include <iterator>

namespace dataexport {

namespace {

db::Dataset& queryOf(posdb::TDmMSSQL& pos, const QString& table) {
  db::Dataset* query = pos.queryOf(table);
  if (!query) throw platform::Error(QStringLiteral("No POS query for the table '%1'").arg(table));
  return *query;
}

}  // namespace

ExportDriver::ExportDriver(posdb::TDmMSSQL& pos, TADO_AccessExporter& exporter, ExportView view)
    : pos_(pos), exporter_(exporter), view_(std::move(view)) {}

void ExportDriver::WriteColumnMap(const QString& table) {
  const db::Dataset& query = queryOf(pos_, table);
  const QString key = posdb::TDmMSSQL::keyOf(table);
  config::ColumnMap map;
  map.setKey(key, query.fieldByName(key).displayLabel());
  for (int i = 0; i < query.fieldCount(); ++i)
    map.addPair(query.field(i).fieldName(), query.field(i).displayLabel());
  map.writeTable(table);
}

QString ExportDriver::Run() {
  QString report = QString::fromUtf8(kExportReportTitle);
  for (size_t i = 0; i < std::size(kExportTables); ++i) {
    const ExportTable& entry = kExportTables[i];
    const QString table = QString::fromLatin1(entry.name);
    if (!config::Config().read(config::keys::TableSwitches[i])) continue;
    if (view_.showTab) view_.showTab(entry.tab);
    {
      platform::BusyCursor hourglass;
      WriteColumnMap(table);
      if (view_.repaint) view_.repaint();
      const QString folder = platform::programFolder();
      exporter_.SetDatabaseName(folder + table + QStringLiteral(".mdb"));
      exporter_.SetDataSet(&queryOf(pos_, table));
      exporter_.SetTableName(table);
      exporter_.SetKeyField(posdb::TDmMSSQL::keyOf(table));
      exporter_.Execute();
    }
    report += QStringLiteral("\r\n") + QString::fromUtf8(entry.completion);
  }
  return report;
}

}  // namespace dataexport
