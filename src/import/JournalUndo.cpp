#include "import/JournalUndo.h"

#include "import/ImportDriver.h"
#include "import/ImportJournal.h"
#include "import/ImportObserver.h"

#include <db/Command.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <journal/JournalFile.h>
#include <platform/Error.h>
#include <posdb/DmMdf.h>

#include <QFileInfo>
#include <QSet>
#include <cmath>
#include <map>
#include <memory>

namespace dataimport {
namespace {

QString shown(const QVariant& v, db::FieldType type) {
  return journal::valueText(v, type).value_or(QStringLiteral("NULL"));
}

// Whether the POS still holds `expected` in the field, as exactly as the column keeps
// values and a post compares them: a text's trailing blanks are padding (a fixed-width
// column adds them, SQL Server compares without them), a date may have moved to the
// column type's own step (1/300 s for datetime, the minute for smalldatetime), a
// single-precision column keeps a float's first 24 bits. Any other difference is a
// change by someone.
bool holds(const db::Dataset& ds, const db::Field& field, const QVariant& expected) {
  const QVariant now = field.value();
  if (journal::sameValue(now, expected)) return true;
  if (db::isNullValue(now) || db::isNullValue(expected)) return false;
  const db::ColumnInfo* column = ds.columnOf(field);
  const QString type = column ? column->typeName : QString();
  switch (db::basicKind(field.dataType())) {
    case db::BasicKind::Text: {
      auto rtrim = [](QString s) {
        qsizetype n = s.size();
        while (n > 0 && s.at(n - 1) == u' ') --n;
        s.truncate(n);
        return s;
      };
      return rtrim(now.toString()) == rtrim(expected.toString());
    }
    case db::BasicKind::Floating:
      return (type == u"real" || type == u"float4") &&
             float(now.toDouble()) == float(expected.toDouble());
    case db::BasicKind::DateTime: {
      const qint64 apart = std::llabs(now.toDateTime().msecsTo(expected.toDateTime()));
      if (type == u"datetime") return apart <= 3;
      if (type == u"smalldatetime") return apart <= 30'000;
      return false;
    }
    default:
      return false;
  }
}

enum class Holds { After, Before, Neither };

// An amount the import added (stock) is taken back whatever the POS holds now, since
// others may have added or taken since; only a journal already undone keeps it.
Holds compare(db::Dataset& ds, const journal::RowChange& entry, bool undoneBefore,
              QString& detail) {
  bool after = true, before = true;
  QStringList differing;
  for (const journal::RowChange::Cell& c : entry.cells) {
    if (c.added) {
      if (undoneBefore)
        after = false;
      else
        before = false;
      continue;
    }
    const db::Field& f = ds.fieldByName(c.column);
    const bool a = holds(ds, f, c.after);
    after = after && a;
    before = before && holds(ds, f, c.before);
    if (!a)
      differing << (c.defaulted ? QStringLiteral("%1 現為「%2」，匯入新增這一列時為「%3」")
                                : QStringLiteral("%1 現為「%2」，匯入寫入「%3」"))
                       .arg(c.column, shown(f.value(), f.dataType()), shown(c.after, c.type));
  }
  if (after) return Holds::After;
  detail = differing.join(QStringLiteral("；"));
  return before ? Holds::Before : Holds::Neither;
}

// Every column of the current row, as a deleted row's entry keeps it.
std::vector<journal::RowChange::Cell> wholeRow(db::Dataset& ds) {
  std::vector<journal::RowChange::Cell> cells;
  for (int i = 0; i < ds.fieldCount(); ++i) {
    const db::Field& f = ds.field(i);
    if (f.isLookup()) continue;
    cells.push_back({f.fieldName(), f.dataType(), f.value(), QVariant()});
  }
  return cells;
}

// Gives the row (the current one, or a new one for an append) the values the entry
// had before, its own entry made first.
void putBack(db::Dataset& ds, const journal::RowChange& entry, const journal::RowChange& undoEntry,
             ImportJournal& journal) {
  journal.rowReady(undoEntry);
  if (undoEntry.action == journal::RowChange::Action::Append)
    ds.append();
  else
    ds.edit();
  try {
    for (const journal::RowChange::Cell& c : entry.cells) {
      db::Field& f = ds.fieldByName(c.column);
      if (c.added && entry.action == journal::RowChange::Action::Update)
        ds.addOnPost(f, db::basicKind(c.type) == db::BasicKind::Whole
                            ? QVariant(qint64(c.before.toLongLong() - c.after.toLongLong()))
                            : QVariant(c.before.toDouble() - c.after.toDouble()));
      else
        f.setValue(c.before);
    }
    ds.post();
  } catch (...) {
    ds.cancel();
    journal.rowFailed(postMayHaveWritten(std::current_exception()));
    throw;
  }
  journal.rowPosted();
}

QString rowKey(const journal::RowChange& e) {
  return e.table.toLower() + QChar(0x1f) + e.key;
}

}  // namespace

JournalUndo::JournalUndo(posdb::TDmMSSQL& pos, const QString& journalPath)
    : pos_(pos), path_(journalPath) {
  const auto file = journal::JournalFile::open(journalPath);
  const journal::JournalRun run = file->run();
  // Its entries are not all written yet, and its rows may still be being posted.
  if (file->running())
    throw platform::Error(
        QStringLiteral(
            "匯入記錄 %1 的%2還在執行中，還沒有結束；請等它結束後再還原。沒有還原任何資料")
            .arg(QFileInfo(journalPath).fileName(),
                 run.kind == u"undo" ? QStringLiteral("還原") : QStringLiteral("匯入")));
  interrupted_ = run.outcome == u"interrupted";
  const QString here = ImportDriver::posDescription(pos.cnKAROS.connectionString());
  if (run.pos != here)
    throw platform::Error(
        QStringLiteral("匯入記錄 %1 是在另一個 POS 資料庫（%2）上記錄的，目前的設定是 %3；"
                       "沒有還原任何資料")
            .arg(QFileInfo(journalPath).fileName(), run.pos, here));
  entries_ = file->entries();
  // A completed undo of this journal took its added amounts back already.
  const QString name = QFileInfo(journalPath).fileName();
  for (const QString& other : ImportJournal::list()) {
    if (QFileInfo(other).fileName() == name) continue;
    try {
      const journal::JournalRun r = journal::JournalFile::open(other)->run();
      if (r.kind == u"undo" && r.undoes == name && r.outcome == u"completed") undoneBefore_ = true;
    } catch (const platform::Error&) {
    }
  }
  for (const journal::RowChange& e : entries_) {
    db::Dataset* ds = pos.queryOf(e.table);
    if (!ds || e.keyColumn.compare(posdb::TDmMSSQL::keyOf(e.table), Qt::CaseInsensitive) != 0)
      throw platform::Error(journal::journalReadError(
          journalPath, QStringLiteral("不認得的資料表或索引欄 %1.%2").arg(e.table, e.keyColumn)));
  }
}

UndoResult JournalUndo::run(bool dryRun, platform::Progress& progress) {
  UndoResult result;
  std::unique_ptr<ImportJournal> journal;
  if (!dryRun) {
    journal = std::make_unique<ImportJournal>(
        QStringLiteral("undo"), ImportDriver::posDescription(pos_.cnKAROS.connectionString()),
        QFileInfo(path_).fileName());
    result.journal = journal->path();
  }
  // Rows this undo deleted: the POS query still holds them, the POS does not.
  QSet<QString> deleted;
  std::map<QString, std::unique_ptr<db::Command>> deletes;
  const int total = int(entries_.size());
  progress.start(total);
  int done = 0;
  try {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      const journal::RowChange& e = *it;
      db::Dataset& ds = *pos_.queryOf(e.table);
      UndoStep step{e, UndoStep::Outcome::NotApplied, QString()};
      const bool present = !deleted.contains(rowKey(e)) && ds.locate(e.keyColumn, e.key);
      journal::RowChange done_{e.table, e.keyColumn, e.key, journal::RowChange::Action::Update, {}};
      if (e.action == journal::RowChange::Action::Delete) {
        if (present) {
          step.outcome = UndoStep::Outcome::Conflict;
          step.detail = QStringLiteral("這一列已經再次存在");
        } else {
          step.outcome = UndoStep::Outcome::Readd;
        }
      } else if (!present) {
        if (e.action == journal::RowChange::Action::Update) {
          step.outcome = UndoStep::Outcome::Conflict;
          step.detail = QStringLiteral("這一列已經不存在");
        }
      } else {
        switch (compare(ds, e, undoneBefore_, step.detail)) {
          case Holds::After:
            step.outcome = e.action == journal::RowChange::Action::Append
                               ? UndoStep::Outcome::Delete
                               : UndoStep::Outcome::Restore;
            break;
          case Holds::Before:
            step.detail.clear();
            break;
          case Holds::Neither:
            step.outcome = UndoStep::Outcome::Conflict;
            break;
        }
      }
      if (!dryRun) {
        switch (step.outcome) {
          case UndoStep::Outcome::Restore:
            for (const journal::RowChange::Cell& c : e.cells)
              done_.cells.push_back({c.column, c.type, c.after, c.before, c.added});
            putBack(ds, e, done_, *journal);
            break;
          case UndoStep::Outcome::Delete: {
            done_.action = journal::RowChange::Action::Delete;
            done_.cells = wholeRow(ds);
            journal->rowReady(done_);
            // One prepared statement per table.
            std::unique_ptr<db::Command>& command = deletes[e.table.toLower()];
            if (!command) {
              command = std::make_unique<db::Command>();
              command->setConnection(&pos_.cnKAROS);
              // Both names are the POS's own (checked when the journal was read), spelt
              // as the POS queries spell them.
              command->setCommandText(QStringLiteral("DELETE FROM %1 WHERE %2 = :KEY")
                                          .arg(e.table, posdb::TDmMSSQL::keyOf(e.table)));
              command->setParamType(0, ds.fieldByName(e.keyColumn).dataType());
            }
            db::Command& del = *command;
            del.setParamText(0, e.key);
            qint64 rows = 0;
            try {
              rows = del.execute();
            } catch (...) {
              journal->rowFailed(postMayHaveWritten(std::current_exception()));
              throw;
            }
            if (rows != 1) {
              journal->rowFailed(rows > 1);
              throw platform::Error(
                  QStringLiteral("%1: 無法刪除 %2 = %3 的那一列").arg(e.table, e.keyColumn, e.key));
            }
            journal->rowPosted();
            deleted.insert(rowKey(e));
            break;
          }
          case UndoStep::Outcome::Readd:
            done_.action = journal::RowChange::Action::Append;
            for (const journal::RowChange::Cell& c : e.cells)
              done_.cells.push_back({c.column, c.type, QVariant(), c.before});
            putBack(ds, e, done_, *journal);
            deleted.remove(rowKey(e));
            break;
          case UndoStep::Outcome::NotApplied:
          case UndoStep::Outcome::Conflict:
            break;
        }
      }
      switch (step.outcome) {
        case UndoStep::Outcome::Restore:
          ++result.restored;
          break;
        case UndoStep::Outcome::Delete:
          ++result.deleted;
          break;
        case UndoStep::Outcome::Readd:
          ++result.readded;
          break;
        case UndoStep::Outcome::NotApplied:
          ++result.notApplied;
          break;
        case UndoStep::Outcome::Conflict:
          ++result.conflicts;
          break;
      }
      result.steps.push_back(std::move(step));
      progress.step(++done, total);
    }
  } catch (...) {
    if (journal) {
      try {
        journal->finish(false);
      } catch (...) {
      }
    }
    throw;
  }
  progress.finish();
  if (journal) journal->finish(true);
  return result;
}

}  // namespace dataimport
