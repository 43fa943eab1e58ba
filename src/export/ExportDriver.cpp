#include "export/ExportDriver.h"

#include "export/ADO_AccessExporter.h"
#include "export/SheetExport.h"

#include <config/ColumnMap.h>
#include <config/Configs.h>
#include <config/ExchangeFormat.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/Progress.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>
#include <posdb/ExportRecord.h>

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

void ExportDriver::execute(platform::Progress& progress, int rows) {
  // The exporter is the front end's: its own row handler is put back afterwards.
  const exportengine::TExportedRecordEvent previous = exporter_.OnExportedRecord;
  struct Restore {
    TADO_AccessExporter& exporter;
    const exportengine::TExportedRecordEvent& handler;
    ~Restore() { exporter.OnExportedRecord = handler; }
  } restore{exporter_, previous};
  exporter_.OnExportedRecord = [&](exportengine::TExporter& sender, int recNo) {
    if (previous) previous(sender, recNo);
    progress.step(recNo + 1, rows);
  };
  progress.start(rows);
  exporter_.Execute();
  progress.finish();
}

QString ExportDriver::Run() {
  QString report = QString::fromUtf8(kExportReportTitle);
  const config::ExchangeFormat format = format_.value_or(config::exchangeFormat());
  for (const ExportTable& entry : kExportTables) {
    const QString table = QString::fromLatin1(entry.name);
    const bool enabled = tables_ ? tables_->contains(table, Qt::CaseInsensitive)
                                 : config::Config().read(entry.enabled);
    if (!enabled) continue;
    if (view_.showTab) view_.showTab(entry.tab);
    {
      platform::BusyCursor hourglass;
      // Rows read at the start may be hours old: a sale since then must not go out as
      // the old stock, to be written back by a later import.
      pos_.refresh(table);
      WriteColumnMap(table);
      if (view_.repaint) view_.repaint();
      const QString folder = platform::programFolder();
      const QString file = folder + config::exchangeFile(entry, format);
      if (format == config::ExchangeFormat::Xlsx) {
        exportSheet(file, table, queryOf(pos_, table), posdb::TDmMSSQL::keyOf(table),
                    view_.progress);
      } else {
        exporter_.SetDatabaseName(file);
        exporter_.SetDataSet(&queryOf(pos_, table));
        exporter_.SetTableName(table);
        exporter_.SetKeyField(posdb::TDmMSSQL::keyOf(table));
        if (view_.progress)
          execute(*view_.progress, queryOf(pos_, table).recordCount());
        else
          exporter_.Execute();
      }
    }
    // What was written, for an import that brings back only the operator's edits.
    posdb::ExportRecord::write(table, queryOf(pos_, table), posdb::TDmMSSQL::keyOf(table));
    report += QStringLiteral("\r\n") + QString::fromUtf8(entry.completion);
  }
  return report;
}

}  // namespace dataexport
