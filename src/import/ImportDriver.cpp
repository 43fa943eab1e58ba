#include "import/ImportDriver.h"

#include "import/DmMdb.h"
#include "import/ImportJournal.h"
#include "import/TableImport.h"

#include <config/Configs.h>
#include <db/ConnectionString.h>
#include <platform/EditorLock.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

#include <platform/Cancelled.h>
#include <platform/ErrorText.h>

#include <deque>
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
void finishJournal(ImportJournal* journal, bool completed, bool cancelled = false) {
  if (!journal) return;
  try {
    if (cancelled)
      journal->finishAs(QStringLiteral("cancelled"));
    else
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

namespace {

// Counts the rows that reached the POS, by the action of their entries, on the way to
// the journal. Rows are told in order: each rowReady is answered by one rowPosted or
// rowFailed, in the same order, even when several rows are ready at once.
class CountingObserver : public ImportObserver {
 public:
  explicit CountingObserver(ImportObserver& next) : next_(next) {}
  void rowReady(const journal::RowChange& change) override {
    next_.rowReady(change);
    pending_.push_back(change.action == journal::RowChange::Action::Append);
  }
  void rowPosted() override {
    next_.rowPosted();
    if (pending_.empty()) return;
    (pending_.front() ? added : changed) += 1;
    pending_.pop_front();
  }
  void rowFailed(bool mayHaveWritten) override {
    next_.rowFailed(mayHaveWritten);
    if (!pending_.empty()) pending_.pop_front();
  }
  int added = 0;
  int changed = 0;

 private:
  ImportObserver& next_;
  std::deque<bool> pending_;  // appended, per row told and not yet answered
};

QString tableWord(const ImportTable& t) {
  return QString::fromUtf8(config::tableWord(t.table));
}

}  // namespace

QString ImportDriver::run() {
  QString report = importReportHead();
  journalPath_.clear();
  outcome_ = RunOutcome{};
  outcome_.kind = RunOutcome::Kind::Import;
  std::vector<const ImportTable*> selected;
  for (const ImportTable& t : kImportTables)
    if (tableSelected(t, tables_)) selected.push_back(&t);
  for (const ImportTable* t : selected) {
    TableOutcome o;
    o.table = t->table;
    outcome_.tables.push_back(o);
  }
  // The tables from `from` on are not run, for `why`.
  auto notRunFrom = [this](size_t from, const QString& why) {
    for (size_t i = from; i < outcome_.tables.size(); ++i) {
      outcome_.tables[i].state = TableOutcome::State::NotRun;
      outcome_.tables[i].reason = why;
    }
  };
  std::unique_ptr<ImportJournal> journal;
  bool completed = true;
  size_t index = 0;
  try {
    const config::ExchangeFormat format = format_.value_or(config::exchangeFormat());
    for (; index < selected.size(); ++index) {
      const ImportTable& t = *selected[index];
      TableOutcome& o = outcome_.tables[index];
      frontEnd_.selectTab(t.tab);
      if (!journal) {
        journal = std::make_unique<ImportJournal>(QStringLiteral("import"),
                                                  posDescription(pos_.cnKAROS.connectionString()));
        journalPath_ = journal->path();
        outcome_.journal = journalPath_;
      }
      o.file = platform::programFolder() + config::exchangeFile(t, format);
      const QString held = heldFileMessage(o.file, config::exchangeProgram(format));
      if (!held.isEmpty() && !frontEnd_.importHeldFile(t, held)) {
        completed = false;
        o.state = TableOutcome::State::NotRun;
        o.reason = QStringLiteral("檔案正由其他程式開啟");
        // "匯入商品資料" names the table as its progress window does.
        report += QStringLiteral("\r\n%1沒有匯入：檔案正由其他程式開啟。")
                      .arg(QString::fromUtf8(t.caption).mid(2));
        continue;
      }
      try {
        o.file = openImportSource(access_, t, format);
      } catch (...) {
        o.state = TableOutcome::State::Failed;
        o.reason = platform::splitDetails(platform::errorText(std::current_exception())).text;
        notRunFrom(index + 1, QStringLiteral("%1的檔案無法開啟，匯入在那裡停止").arg(tableWord(t)));
        throw;
      }
      journal->beginTable(QString::fromUtf8(t.name), o.file);
      db::Dataset* target = pos_.queryOf(QString::fromUtf8(t.name));
      TableImport import(t.table, access_.qryAccess, *target);
      import.setSourceProgram(config::exchangeProgram(format));
      import.setSourceFile(o.file);
      if (editsOnly_) import.setEditsOnly(*editsOnly_);
      if (itemRules_) import.setItemRules(*itemRules_);
      CountingObserver counter(*journal);
      import.setObserver(&counter);
      const bool done = frontEnd_.importTable(t, import);
      o.added = counter.added;
      o.changed = counter.changed;
      for (const TableImport::KeptColumn& k : import.keptBySettings()) o.notes << k.text();
      if (done) {
        o.state = TableOutcome::State::Done;
        report += QStringLiteral("\r\n") + QString::fromUtf8(t.done);
        // Cells the settings kept are not imported: the operator is told, per column.
        for (const TableImport::KeptColumn& k : import.keptBySettings())
          report += QStringLiteral("\r\n") + k.text();
        continue;
      }
      completed = false;
      const std::exception_ptr failure = frontEnd_.lastFailure();
      bool cancelled = false;
      try {
        if (failure) std::rethrow_exception(failure);
      } catch (const platform::Cancelled&) {
        cancelled = true;
      } catch (...) {
        o.reason = platform::splitDetails(platform::errorText(std::current_exception())).text;
      }
      if (cancelled) {
        o.state = TableOutcome::State::Cancelled;
        notRunFrom(index + 1, QStringLiteral("匯入已取消"));
        break;
      }
      o.stoppedAt = import.rowNumber();
      o.state = o.written() > 0 ? TableOutcome::State::Partial : TableOutcome::State::Failed;
      if (o.state == TableOutcome::State::Failed && o.reason.isEmpty())
        o.reason = QStringLiteral("匯入沒有完成");
      // A link that timed out or lost its server is gone: every later table would
      // fail alike, each with an error box of its own.
      if (!pos_.cnKAROS.isConnected()) {
        notRunFrom(index + 1, QStringLiteral("與 POS 的連線中斷了"));
        break;
      }
    }
  } catch (...) {
    finishJournal(journal.get(), false);
    throw;
  }
  finishJournal(journal.get(), completed, outcome_.cancelled());
  return report;
}

}  // namespace dataimport
