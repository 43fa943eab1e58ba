#include "import/JournalUndo.h"

#include "import/ImportDriver.h"
#include "import/ImportJournal.h"
#include "import/ImportObserver.h"
#include "import/TableImport.h"

#include "HeldPosts.h"

#include <db/Command.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <journal/JournalFile.h>
#include <platform/Cancelled.h>
#include <platform/Error.h>
#include <posdb/DmMdf.h>

#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

namespace dataimport {
namespace {

QString shown(const QVariant& v, db::FieldType type) {
  return journal::valueText(v, type).value_or(QStringLiteral("NULL"));
}

// Whether the POS still holds `expected` in the field, as exactly as the column keeps
// values and a post compares them: a fixed-width column's padding is no difference, a
// date may have moved to the column type's own step (1/300 s for datetime, the minute
// for smalldatetime), a single-precision column keeps a float's first 24 bits. Any
// other difference, in case, width or trailing blanks of a text too, is a change by
// someone.
bool holds(const db::Dataset& ds, const db::Field& field, const QVariant& now,
           const QVariant& expected) {
  if (ds.storesAlike(field, now, expected)) return true;
  if (db::isNullValue(now) || db::isNullValue(expected)) return false;
  const db::ColumnInfo* column = ds.columnOf(field);
  const QString type = column ? column->typeName : QString();
  switch (db::basicKind(field.dataType())) {
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

// What a dry run takes a row to hold once the steps before have been taken: the undo's
// own writes, which a dry run only counts, are seen by the entries after them (a row
// the run wrote twice, a row appended and then changed), so that the preview says what
// the undo then does.
struct Simulated {
  bool present = true;
  bool whole = false;                  // added again: every value is here, none in the POS
  std::map<QString, QVariant> values;  // by column, lower case
};

QVariant valueNow(const db::Field& f, const Simulated* sim) {
  if (sim) {
    const auto it = sim->values.find(f.fieldName().toLower());
    if (it != sim->values.end()) return it->second;
    if (sim->whole) return QVariant();
  }
  return f.value();
}

QVariant withAmountTakenBack(const QVariant& now, const journal::RowChange::Cell& c) {
  return db::basicKind(c.type) == db::BasicKind::Whole
             ? QVariant(qint64(now.toLongLong() - (c.after.toLongLong() - c.before.toLongLong())))
             : QVariant(now.toDouble() - (c.after.toDouble() - c.before.toDouble()));
}

// An amount the import added (stock) is taken back whatever the POS holds now, since
// others may have added or taken since; the other cells tell whether the row holds
// what the run wrote.
Holds compare(db::Dataset& ds, const journal::RowChange& entry, const Simulated* sim,
              QString& detail) {
  bool after = true, before = true;
  QStringList differing;
  for (const journal::RowChange::Cell& c : entry.cells) {
    if (c.added) {
      before = false;
      continue;
    }
    const db::Field& f = ds.fieldByName(c.column);
    const QVariant now = valueNow(f, sim);
    const bool a = holds(ds, f, now, c.after);
    after = after && a;
    before = before && holds(ds, f, now, c.before);
    if (!a)
      differing << (c.defaulted ? QStringLiteral("%1 現為「%2」，匯入新增這一列時為「%3」")
                                : QStringLiteral("%1 現為「%2」，匯入寫入「%3」"))
                       .arg(c.column, shown(now, f.dataType()), shown(c.after, c.type));
  }
  if (after) return Holds::After;
  detail = differing.join(QStringLiteral("；"));
  return before ? Holds::Before : Holds::Neither;
}

bool onlyAmounts(const journal::RowChange& entry) {
  return !entry.cells.empty() &&
         std::all_of(entry.cells.begin(), entry.cells.end(), [](const auto& c) { return c.added; });
}

// What an undo's entry records for taking back `entry`: the same row, and for an
// update the same cells with their values the other way round. An earlier undo that
// holds such an entry took it back (or may have, when its entry is marked uncertain).
QString takenBackSignature(const journal::RowChange& entry, bool asUndoEntry) {
  using Action = journal::RowChange::Action;
  Action action = entry.action;
  if (!asUndoEntry)
    action = entry.action == Action::Append   ? Action::Delete
             : entry.action == Action::Delete ? Action::Append
                                              : Action::Update;
  QString s =
      entry.table.toLower() + QChar(0x1f) + entry.key + QChar(0x1f) + QString::number(int(action));
  if (action != Action::Update) return s;
  for (const journal::RowChange::Cell& c : entry.cells) {
    const QVariant& from = asUndoEntry ? c.before : c.after;
    const QVariant& to = asUndoEntry ? c.after : c.before;
    s += QChar(0x1e) + c.column.toLower() + QChar(0x1f) +
         journal::valueText(from, c.type).value_or(QStringLiteral("\\N")) + QChar(0x1f) +
         journal::valueText(to, c.type).value_or(QStringLiteral("\\N")) +
         (c.added ? QStringLiteral("+") : QString());
  }
  return s;
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
// had before, its own entry made first; the row is posted or held by `posts`.
void putBack(db::Dataset& ds, const journal::RowChange& entry, const journal::RowChange& undoEntry,
             ImportJournal& journal, HeldPosts& posts) {
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
  } catch (...) {
    ds.cancel();
    journal.rowFailed(false);
    throw;
  }
  posts.post(ds);
}

// The amounts an entry added, what the POS holds and what taking them back would write.
QString amountsDetail(db::Dataset& ds, const journal::RowChange& e, const Simulated* sim) {
  QStringList parts;
  for (const journal::RowChange::Cell& c : e.cells) {
    const db::Field& f = ds.fieldByName(c.column);
    const bool whole = db::basicKind(c.type) == db::BasicKind::Whole;
    const QVariant amount = whole ? QVariant(qint64(c.after.toLongLong() - c.before.toLongLong()))
                                  : QVariant(c.after.toDouble() - c.before.toDouble());
    const QVariant now = valueNow(f, sim);
    const QVariant back = whole ? QVariant(qint64(now.toLongLong() - amount.toLongLong()))
                                : QVariant(now.toDouble() - amount.toDouble());
    parts << QStringLiteral("%1 現為 %2，減去匯入加上的 %3 後為 %4")
                 .arg(c.column, shown(now, c.type), shown(amount, c.type), shown(back, c.type));
  }
  return parts.join(QStringLiteral("；")) +
         QStringLiteral(
             "；不確定這一列是否已寫入 POS（寫入時逾時、連線中斷或程式被中斷），"
             "確認已加上後才取回");
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
  runOutcome_ = run.outcome;
  const QString here = ImportDriver::posDescription(pos.cnKAROS.connectionString());
  if (run.pos != here)
    throw platform::Error(
        QStringLiteral("匯入記錄 %1 是在另一個 POS 資料庫（%2）上記錄的，目前的設定是 %3；"
                       "沒有還原任何資料")
            .arg(QFileInfo(journalPath).fileName(), run.pos, here));
  entries_ = file->entries();
  // The last entry of a run cut short may not have been posted.
  if (interrupted_ && !entries_.empty()) entries_.back().uncertain = true;
  // What earlier undos of this journal took back, whatever their outcome: each entry is
  // taken back once, however often the undo is run.
  const QString name = QFileInfo(journalPath).fileName();
  for (const QString& other : ImportJournal::list()) {
    if (QFileInfo(other).fileName() == name) continue;
    std::unique_ptr<journal::JournalFile> undo;
    try {
      undo = journal::JournalFile::open(other);
    } catch (const platform::Error&) {
      continue;
    }
    const journal::JournalRun r = undo->run();
    if (r.kind != u"undo" || r.undoes != name) continue;
    if (undo->running())
      throw platform::Error(
          QStringLiteral(
              "匯入記錄 %1 正由另一個還原（%2）還原中；請等它結束後再還原。沒有還原任何資料")
              .arg(name, QFileInfo(other).fileName()));
    for (const journal::RowChange& e : undo->entries()) {
      TakenBack& t = takenBack_[takenBackSignature(e, true)];
      ++t.count;
      if (e.uncertain) ++t.uncertain;
      t.journal = QFileInfo(other).fileName();
    }
  }
  for (const journal::RowChange& e : entries_) {
    db::Dataset* ds = pos.queryOf(e.table);
    if (!ds || e.keyColumn.compare(posdb::TDmMSSQL::keyOf(e.table), Qt::CaseInsensitive) != 0)
      throw platform::Error(journal::journalReadError(
          journalPath, QStringLiteral("不認得的資料表或索引欄 %1.%2").arg(e.table, e.keyColumn)));
  }
}

QStringList JournalUndo::tables() const {
  QStringList out;
  for (const journal::RowChange& e : entries_)
    if (!out.contains(e.table, Qt::CaseInsensitive)) out << e.table;
  return out;
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
  std::map<QString, TakenBack> takenBack = takenBack_;
  std::map<QString, Simulated> simulated;  // a dry run's, by rowKey
  std::optional<HeldPosts> posts;
  if (journal) posts.emplace(*journal, TableImport::kBatchRows);
  try {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      const journal::RowChange& e = *it;
      db::Dataset& ds = *pos_.queryOf(e.table);
      UndoStep step{e, UndoStep::Outcome::NotApplied, QString()};
      const auto simulatedRow = simulated.find(rowKey(e));
      const Simulated* sim = simulatedRow == simulated.end() ? nullptr : &simulatedRow->second;
      bool present;
      if (sim) {
        present = sim->present;
        if (present && !sim->whole) ds.locate(e.keyColumn, e.key);
      } else {
        present = !deleted.contains(rowKey(e)) && ds.locate(e.keyColumn, e.key);
      }
      journal::RowChange done_{e.table, e.keyColumn, e.key, journal::RowChange::Action::Update, {}};
      // An amount is known to have been added only when the post is known to have
      // run; an earlier undo's entry for it, known or not, is never taken back twice.
      bool uncertain = e.uncertain && onlyAmounts(e);
      // Most journals were never undone before: no signature to make for them.
      const auto earlier =
          takenBack.empty() ? takenBack.end() : takenBack.find(takenBackSignature(e, false));
      if (earlier != takenBack.end() && earlier->second.count > 0) {
        --earlier->second.count;
        if (earlier->second.uncertain > 0 && onlyAmounts(e)) {
          --earlier->second.uncertain;
          uncertain = true;
        } else {
          step.outcome = UndoStep::Outcome::Undone;
          step.detail = QStringLiteral("已由 %1 還原").arg(earlier->second.journal);
        }
      }
      if (step.outcome == UndoStep::Outcome::Undone) {
        // taken back already
      } else if (uncertain && present && !takeUncertain_) {
        step.outcome = UndoStep::Outcome::Uncertain;
        step.detail = amountsDetail(ds, e, sim);
      } else if (e.action == journal::RowChange::Action::Delete) {
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
        switch (compare(ds, e, sim, step.detail)) {
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
      if (dryRun) {
        switch (step.outcome) {
          case UndoStep::Outcome::Restore: {
            Simulated next = sim ? *sim : Simulated{};
            for (const journal::RowChange::Cell& c : e.cells)
              next.values[c.column.toLower()] =
                  c.added ? withAmountTakenBack(valueNow(ds.fieldByName(c.column), sim), c)
                          : c.before;
            simulated[rowKey(e)] = std::move(next);
            break;
          }
          case UndoStep::Outcome::Delete:
            simulated[rowKey(e)] = Simulated{false, false, {}};
            break;
          case UndoStep::Outcome::Readd: {
            Simulated next{true, true, {}};
            for (const journal::RowChange::Cell& c : e.cells)
              next.values[c.column.toLower()] = c.before;
            simulated[rowKey(e)] = std::move(next);
            break;
          }
          default:
            break;
        }
      } else {
        switch (step.outcome) {
          case UndoStep::Outcome::Restore:
            for (const journal::RowChange::Cell& c : e.cells)
              done_.cells.push_back({c.column, c.type, c.after, c.before, c.added});
            putBack(ds, e, done_, *journal, *posts);
            break;
          case UndoStep::Outcome::Delete: {
            done_.action = journal::RowChange::Action::Delete;
            done_.cells = wholeRow(ds);
            // After the rows held: they were taken back before this one.
            posts->flush();
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
              // No count reported (NOCOUNT on) leaves it unknown whether the row went.
              journal->rowFailed(rows != 0);
              throw platform::Error(
                  rows < 0
                      ? QStringLiteral("%1: 刪除 %2 = %3 的那一列時，資料庫沒有回報刪除了幾列，"
                                       "無法確認是否已刪除")
                            .arg(e.table, e.keyColumn, e.key)
                      : QStringLiteral("%1: 無法刪除 %2 = %3 的那一列")
                            .arg(e.table, e.keyColumn, e.key));
            }
            journal->rowPosted();
            deleted.insert(rowKey(e));
            break;
          }
          case UndoStep::Outcome::Readd:
            done_.action = journal::RowChange::Action::Append;
            for (const journal::RowChange::Cell& c : e.cells)
              done_.cells.push_back({c.column, c.type, QVariant(), c.before});
            putBack(ds, e, done_, *journal, *posts);
            deleted.remove(rowKey(e));
            break;
          case UndoStep::Outcome::NotApplied:
          case UndoStep::Outcome::Conflict:
          case UndoStep::Outcome::Undone:
          case UndoStep::Outcome::Uncertain:
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
        case UndoStep::Outcome::Undone:
          ++result.undoneBefore;
          break;
        case UndoStep::Outcome::Uncertain:
          ++result.uncertain;
          break;
      }
      result.steps.push_back(std::move(step));
      // The operator may stop here, between two rows: the rows taken back so far are
      // in the undo's journal, which ends as cancelled.
      try {
        progress.step(++done, total);
      } catch (const platform::Cancelled&) {
        result.cancelled = true;
        break;
      }
    }
    // The rows held were journaled: they go out also after a cancel.
    if (posts) posts->flush();
  } catch (...) {
    if (journal) {
      try {
        // Rows held when something else failed were journaled: sent as well.
        if (posts) posts->flush();
      } catch (...) {
      }
      try {
        journal->finish(false);
      } catch (...) {
      }
    }
    throw;
  }
  if (journal)
    journal->finishAs(result.cancelled ? QStringLiteral("cancelled") : QStringLiteral("completed"));
  if (!result.cancelled) progress.finish();
  return result;
}

}  // namespace dataimport
