#include "import/ImportDriver.h"

#include "import/DmMdb.h"
#include "import/ImportJournal.h"
#include "import/TableImport.h"

#include <config/Configs.h>
#include <db/ConnectionString.h>
#include <platform/EditorLock.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

#include <memory>

#include <QDir>

namespace dataimport {

ImportDriver::ImportDriver(TDmAccess& access, posdb::TDmMSSQL& pos, ImportFrontEnd& frontEnd)
    : access_(access), pos_(pos), frontEnd_(frontEnd) {}

bool tableSelected(const ImportTable& table, const std::optional<QStringList>& tables) {
  if (tables) return tables->contains(QString::fromUtf8(table.name), Qt::CaseInsensitive);
  return config::Config().read(table.enabled);
}

QString openImportSource(TDmAccess& access, const ImportTable& table,
                         config::ExchangeFormat format) {
  const QString file = platform::programFolder() + config::exchangeFile(table, format);
  access.openTable(file, QString::fromUtf8(table.sql));
  return file;
}

QString heldFileMessage(const QString& file, const QString& program) {
  const QString lock = platform::editorLockOf(file);
  if (lock.isEmpty()) return QString();
  return QStringLiteral(
             "%1 正由 %2 開啟中（旁邊有 %3）：還沒存檔的修改不會匯入。請先在 %2 存檔並關閉它，"
             "再按「匯入檔案」；若沒有程式開著它，請刪除 %3。")
      .arg(QDir::toNativeSeparators(file), program, QDir::toNativeSeparators(lock));
}

namespace {

// A journal that cannot record its end stays readable as a run cut short; that is no
// reason to report the import itself as failed, or to hide its own error.
void finishJournal(ImportJournal* journal, bool completed) {
  if (!journal) return;
  try {
    journal->finish(completed);
  } catch (...) {
  }
}

}  // namespace

QString ImportDriver::posDescription(const QString& connectionString) {
  QStringList kept;
  const db::ConnectionString parsed = db::ConnectionString::parse(connectionString);
  for (const auto& [key, value] : parsed.entries()) {
    if (key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0 ||
        key.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0)
      continue;
    kept << key + u'=' + db::ConnectionString::quoteOleDb(value);
  }
  return kept.join(u';');
}

QString ImportDriver::run() {
  QString report = importReportHead();
  journalPath_.clear();
  std::unique_ptr<ImportJournal> journal;
  bool completed = true;
  try {
    const config::ExchangeFormat format = format_.value_or(config::exchangeFormat());
    for (const ImportTable& t : kImportTables) {
      if (!tableSelected(t, tables_)) continue;
      frontEnd_.selectTab(t.tab);
      if (!journal) {
        journal = std::make_unique<ImportJournal>(QStringLiteral("import"),
                                                  posDescription(pos_.cnKAROS.connectionString()));
        journalPath_ = journal->path();
      }
      const QString held =
          heldFileMessage(platform::programFolder() + config::exchangeFile(t, format),
                          config::exchangeProgram(format));
      if (!held.isEmpty() && !frontEnd_.importHeldFile(t, held)) {
        completed = false;
        // "匯入商品資料" names the table as its progress window does.
        report += QStringLiteral("\r\n%1沒有匯入：檔案正由其他程式開啟。")
                      .arg(QString::fromUtf8(t.caption).mid(2));
        continue;
      }
      const QString file = openImportSource(access_, t, format);
      journal->beginTable(QString::fromUtf8(t.name), file);
      db::Dataset* target = pos_.queryOf(QString::fromUtf8(t.name));
      TableImport import(t.table, access_.qryAccess, *target);
      import.setSourceProgram(config::exchangeProgram(format));
      import.setSourceFile(file);
      if (editsOnly_) import.setEditsOnly(*editsOnly_);
      import.setObserver(journal.get());
      if (frontEnd_.importTable(t, import)) {
        report += QStringLiteral("\r\n") + QString::fromUtf8(t.done);
        // Cells the settings kept are not imported: the operator is told, per column.
        for (const TableImport::KeptColumn& k : import.keptBySettings())
          report += QStringLiteral("\r\n") + k.text();
      } else {
        completed = false;
        // A link that timed out or lost its server is gone: every later table would
        // fail alike, each with an error box of its own.
        if (!pos_.cnKAROS.isConnected()) break;
      }
    }
  } catch (...) {
    finishJournal(journal.get(), false);
    throw;
  }
  finishJournal(journal.get(), completed);
  return report;
}

}  // namespace dataimport
