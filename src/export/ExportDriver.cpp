#include "export/ExportDriver.h"

#include "export/ADO_AccessExporter.h"
#include "export/SheetExport.h"

#include <config/ColumnMap.h>
#include <config/Configs.h>
#include <config/ExchangeFormat.h>
#include <platform/Cancelled.h>
#include <platform/Error.h>
#include <platform/ErrorText.h>
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

void ExportDriver::writeAccess(const QString& file, const QString& table,
                               platform::Progress& progress) {
  exporter_.SetDatabaseName(file);
  exporter_.SetDataSet(&queryOf(pos_, table));
  exporter_.SetTableName(table);
  exporter_.SetKeyField(posdb::TDmMSSQL::keyOf(table));
  execute(progress, queryOf(pos_, table).recordCount());
}

void ExportDriver::replaceAccess(const QString& file, const QString& table,
                                 platform::Progress& progress) {
  const QFileInfo info(file);
  const QString fresh =
      info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".new");
  QFile::remove(fresh);  // left by an export that was killed
  try {
    writeAccess(fresh, table, progress);
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

namespace {

// Counts the rows that reached the file on their way to the view's progress.
class CountingProgress : public platform::Progress {
 public:
  explicit CountingProgress(platform::Progress* next) : next_(next) {}
  void start(int total) override {
    if (next_) next_->start(total);
  }
  void step(int done, int total) override {
    rows = done;
    if (next_) next_->step(done, total);
  }
  void finish() override {
    if (next_) next_->finish();
  }
  int rows = 0;

 private:
  platform::Progress* next_;
};

}  // namespace

QString ExportDriver::Run() {
  QString report = QString::fromUtf8(kExportReportTitle);
  existingDone_.clear();
  outcome_ = config::RunOutcome{};
  outcome_.kind = config::RunOutcome::Kind::Export;
  const config::ExchangeFormat format = format_.value_or(config::exchangeFormat());
  std::vector<const ExportTable*> selected;
  for (const ExportTable& entry : kExportTables) {
    const QString table = QString::fromLatin1(entry.name);
    const bool enabled = tables_ ? tables_->contains(table, Qt::CaseInsensitive)
                                 : config::Config().read(entry.enabled);
    if (!enabled) continue;
    selected.push_back(&entry);
    config::TableOutcome o;
    o.table = entry.table;
    o.file = platform::programFolder() + config::exchangeFile(entry, format);
    outcome_.tables.push_back(o);
  }
  auto notRunFrom = [this](size_t from, const QString& why) {
    for (size_t i = from; i < outcome_.tables.size(); ++i) {
      outcome_.tables[i].state = config::TableOutcome::State::NotRun;
      outcome_.tables[i].reason = why;
    }
  };
  for (size_t i = 0; i < selected.size(); ++i) {
    config::TableOutcome& o = outcome_.tables[i];
    bool go = false;
    try {
      go = exportTable(*selected[i], format, o, report);
    } catch (...) {
      o.state =
          o.added > 0 ? config::TableOutcome::State::Partial : config::TableOutcome::State::Failed;
      o.reason = platform::splitDetails(platform::errorText(std::current_exception())).text;
      notRunFrom(i + 1, QStringLiteral("匯出在%1停止")
                            .arg(QString::fromUtf8(config::tableWord(selected[i]->table))));
      throw;
    }
    if (!go) {
      notRunFrom(i + 1, QStringLiteral("匯出已取消"));
      break;
    }
  }
  return report;
}

bool ExportDriver::exportTable(const ExportTable& entry, config::ExchangeFormat format,
                               config::TableOutcome& o, QString& report) {
  const QString table = QString::fromLatin1(entry.name);
  if (view_.showTab) view_.showTab(entry.tab);
  int appendedAfter = 0;  // rows the Access table held before this export's
  // The rows that reach the file, counted on their way to the view's progress.
  CountingProgress counter(view_.progress);
  bool appending = false;
  try {
    platform::BusyCursor hourglass;
    // Rows read at the start may be hours old: a sale since then must not go out as
    // the old stock, to be written back by a later import.
    pos_.refresh(table);
    WriteColumnMap(table);
    if (view_.repaint) view_.repaint();
    const QString& file = o.file;
    if (format == config::ExchangeFormat::Xlsx) {
      exportSheet(file, table, queryOf(pos_, table), posdb::TDmMSSQL::keyOf(table), &counter);
    } else {
      const AccessFileState state = accessFileState(file, table);
      ExistingRows choice = ExistingRows::Append;
      if (state.rows > 0) {
        if (existingRows_)
          choice = *existingRows_;
        else if (view_.askExistingRows)
          choice = view_.askExistingRows(file, state.rows);
      }
      if (choice == ExistingRows::Cancel) {
        o.state = config::TableOutcome::State::Cancelled;
        o.reason = QStringLiteral("沒有匯出，檔案中原有的資料沒有改變");
        report += QStringLiteral("\r\n%1沒有匯出：已取消，之後的資料表也沒有匯出。")
                      .arg(tableWord(entry));
        return false;
      }
      if (choice == ExistingRows::Replace) {
        if (!state.others.isEmpty())
          throw platform::Error(
              QStringLiteral("%1 裡除了資料表 %2 還有 %3：取代會把它們一起刪除。請改選「附加」，"
                             "或先把它們搬到別的檔案再匯出")
                  .arg(QDir::toNativeSeparators(file), table,
                       state.others.join(QStringLiteral("、"))));
        replaceAccess(file, table, counter);
        o.notes << QStringLiteral("取代了檔案中原有的 %1 列").arg(state.rows);
        existingDone_ << QStringLiteral("%1：取代原有的 %2 列")
                             .arg(QFileInfo(file).fileName())
                             .arg(state.rows);
      } else {
        appending = true;
        appendedAfter = int(state.rows);
        writeAccess(file, table, counter);
        if (state.rows > 0) {
          o.notes << QStringLiteral("附加在檔案中原有的 %1 列之後").arg(state.rows);
          existingDone_ << QStringLiteral("%1：附加在原有的 %2 列之後")
                               .arg(QFileInfo(file).fileName())
                               .arg(state.rows);
        }
      }
    }
  } catch (const platform::Cancelled&) {
    // A replaced file or a workbook stays as it was; rows appended to an Access table
    // stay, and get their record like any export's, so that an import compares them
    // with what was written.
    o.state = config::TableOutcome::State::Cancelled;
    if (appending && counter.rows > 0) {
      o.added = counter.rows;
      o.reason = QStringLiteral("已附加的 %1 列留在檔案中").arg(counter.rows);
      posdb::ExportRecord::write(table, queryOf(pos_, table), posdb::TDmMSSQL::keyOf(table),
                                 appendedAfter);
    } else {
      o.reason = QStringLiteral("檔案沒有改變");
    }
    return false;
  } catch (...) {
    if (appending) o.added = counter.rows;
    throw;
  }
  // What was written, for an import that brings back only the operator's edits.
  // Appended rows follow the earlier exports' rows: each export's record says what it
  // wrote from where, so that a row is compared with the export that wrote it.
  posdb::ExportRecord::write(table, queryOf(pos_, table), posdb::TDmMSSQL::keyOf(table),
                             appendedAfter);
  o.state = config::TableOutcome::State::Done;
  o.added = queryOf(pos_, table).recordCount();
  report += QStringLiteral("\r\n") + QString::fromUtf8(entry.completion);
  return true;
}

}  // namespace dataexport
