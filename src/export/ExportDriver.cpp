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

#include <jet/Database.h>
#include <jet/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace dataexport {

namespace {

// What an Access file holds of a table about to be exported into it.
struct AccessFileState {
  qint64 rows = 0;     // in the table
  QStringList others;  // what else a person made in the file
};

AccessFileState accessFileState(const QString& file, const QString& table) {
  AccessFileState state;
  if (!QFileInfo::exists(file)) return state;
  try {
    const jet::Database db = jet::Database::open(QFile::encodeName(file).toStdString());
    if (db.hasTable(table.toStdString())) state.rows = db.table(table.toStdString()).rowCount;
    for (const std::string& name : db.userObjectNames()) {
      const QString n = QString::fromStdString(name);
      if (n.compare(table, Qt::CaseInsensitive) != 0) state.others << n;
    }
  } catch (const jet::Error&) {
    // A file that does not read fails the export itself, with its own text.
  }
  return state;
}

// The table as the report names it ("匯出商品資料完成。" names 商品資料).
QString tableWord(const ExportTable& entry) {
  return QString::fromUtf8(entry.completion).mid(2).chopped(3);
}

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

void ExportDriver::writeAccess(const QString& file, const QString& table) {
  exporter_.SetDatabaseName(file);
  exporter_.SetDataSet(&queryOf(pos_, table));
  exporter_.SetTableName(table);
  exporter_.SetKeyField(posdb::TDmMSSQL::keyOf(table));
  if (view_.progress)
    execute(*view_.progress, queryOf(pos_, table).recordCount());
  else
    exporter_.Execute();
}

void ExportDriver::replaceAccess(const QString& file, const QString& table) {
  const QFileInfo info(file);
  const QString fresh =
      info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".new");
  QFile::remove(fresh);  // left by an export that was killed
  try {
    writeAccess(fresh, table);
  } catch (...) {
    QFile::remove(fresh);
    throw;
  }
  // The file keeps the mode its owner gave it.
  QFile::setPermissions(fresh, QFile::permissions(file));
  if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(file).constData()) != 0) {
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    QFile::remove(fresh);
    throw platform::Error(QStringLiteral("無法以新的資料取代 %1：%2；原來的檔案沒有改變")
                              .arg(QDir::toNativeSeparators(file), why));
  }
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
    int appendedAfter = 0;  // rows the Access table held before this export's
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
        const AccessFileState state = accessFileState(file, table);
        ExistingRows choice = ExistingRows::Append;
        if (state.rows > 0) {
          if (existingRows_)
            choice = *existingRows_;
          else if (view_.askExistingRows)
            choice = view_.askExistingRows(file, state.rows);
        }
        if (choice == ExistingRows::Cancel)
          return report + QStringLiteral("\r\n%1沒有匯出：已取消，之後的資料表也沒有匯出。")
                              .arg(tableWord(entry));
        if (choice == ExistingRows::Replace) {
          if (!state.others.isEmpty())
            throw platform::Error(
                QStringLiteral("%1 裡除了資料表 %2 還有 %3：取代會把它們一起刪除。請改選「附加」，"
                               "或先把它們搬到別的檔案再匯出")
                    .arg(QDir::toNativeSeparators(file), table,
                         state.others.join(QStringLiteral("、"))));
          replaceAccess(file, table);
          existingDone_ << QStringLiteral("%1：取代原有的 %2 列")
                               .arg(QFileInfo(file).fileName())
                               .arg(state.rows);
        } else {
          writeAccess(file, table);
          appendedAfter = int(state.rows);
          if (state.rows > 0)
            existingDone_ << QStringLiteral("%1：附加在原有的 %2 列之後")
                                 .arg(QFileInfo(file).fileName())
                                 .arg(state.rows);
        }
      }
    }
    // What was written, for an import that brings back only the operator's edits.
    // Appended rows follow the earlier exports' rows: each export's record says what it
    // wrote from where, so that a row is compared with the export that wrote it.
    posdb::ExportRecord::write(table, queryOf(pos_, table), posdb::TDmMSSQL::keyOf(table),
                               appendedAfter);
    report += QStringLiteral("\r\n") + QString::fromUtf8(entry.completion);
  }
  return report;
}

}  // namespace dataexport
