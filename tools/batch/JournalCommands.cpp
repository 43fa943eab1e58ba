#include "JournalCommands.h"

#include "BatchCommand.h"
#include "ConsoleProgress.h"
#include "ConsoleText.h"

#include <import/ImportJournal.h>
#include <import/JournalUndo.h>
#include <journal/JournalFile.h>
#include <platform/ErrorText.h>

#include <QDir>
#include <QFileInfo>

namespace batch {
namespace {

QString shown(const QVariant& value, db::FieldType type) {
  return journal::valueText(value, type).value_or(QStringLiteral("NULL"));
}

QString describe(const dataimport::UndoStep& step) {
  using O = dataimport::UndoStep::Outcome;
  const auto& e = step.entry;
  const QString row = e.table + u' ' + e.key;
  switch (step.outcome) {
    case O::Restore: {
      QStringList cells;
      for (const auto& c : e.cells)
        cells << QStringLiteral("%1「%2」→「%3」")
                     .arg(c.column, shown(c.after, c.type), shown(c.before, c.type));
      return QStringLiteral("還原 %1：%2").arg(row, cells.join(QStringLiteral("，")));
    }
    case O::Delete:
      return QStringLiteral("刪除 %1").arg(row);
    case O::Readd:
      return QStringLiteral("重新加入 %1").arg(row);
    case O::NotApplied:
      return QStringLiteral("不需處理 %1（匯入沒有寫入這一列）").arg(row);
    case O::Conflict:
      return QStringLiteral("衝突 %1：%2").arg(row, step.detail);
    case O::Undone:
      return QStringLiteral("不需處理 %1（%2）").arg(row, step.detail);
    case O::Uncertain:
      return QStringLiteral("不確定 %1：%2").arg(row, step.detail);
  }
  return row;
}

QString outcomeText(const journal::JournalRun& run) {
  if (run.outcome == QLatin1String("completed")) return QStringLiteral("完成");
  if (run.outcome == QLatin1String("failed")) return QStringLiteral("失敗");
  if (run.outcome == QLatin1String("interrupted")) return QStringLiteral("中斷");
  if (run.outcome == QLatin1String("cancelled")) return QStringLiteral("已取消");
  return QStringLiteral("執行中");
}

}  // namespace

QString resolveJournal(const QString& name) {
  if (QFileInfo::exists(name) || name.contains(u'/') || name.contains(u'\\')) return name;
  const QString inFolder = QDir(dataimport::ImportJournal::folder()).filePath(name);
  if (QFileInfo::exists(inFolder)) return inFolder;
  if (!name.endsWith(QLatin1String(".sqlite")) &&
      QFileInfo::exists(inFolder + QStringLiteral(".sqlite")))
    return inFolder + QStringLiteral(".sqlite");
  return name;
}

int listJournals(std::FILE* out, std::FILE* err) {
  const QStringList all = dataimport::ImportJournal::list();
  if (all.isEmpty()) {
    write(out, QStringLiteral("%1 沒有匯入記錄。\n")
                   .arg(QDir::toNativeSeparators(dataimport::ImportJournal::folder())));
    return kSuccess;
  }
  int status = kSuccess;
  for (const QString& path : all) {
    try {
      const auto file = journal::JournalFile::open(path);
      const journal::JournalRun run = file->run();
      if (file->running()) {
        // Its counts are not known until it ends.
        write(out, QStringLiteral("%1  %2  %3  執行中\n")
                       .arg(QFileInfo(path).fileName(),
                            run.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), run.user));
        write(err, QStringLiteral("%1 的執行還沒有結束，它的內容還不完整。\n")
                       .arg(QFileInfo(path).fileName()));
        status = kTableFailed;
        continue;
      }
      const journal::JournalCounts n = file->counts();
      QStringList tables;
      for (const auto& s : file->sources()) tables << s.table;
      QString what = run.kind == QLatin1String("undo")
                         ? QStringLiteral("還原 %1").arg(run.undoes)
                         : QStringLiteral("匯入 %1").arg(tables.join(u','));
      write(out, QStringLiteral("%1  %2  %3  %4  %5  變更 %6 列，新增 %7 列，刪除 %8 列\n")
                     .arg(QFileInfo(path).fileName(),
                          run.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), run.user,
                          outcomeText(run), what)
                     .arg(n.updates)
                     .arg(n.appends)
                     .arg(n.deletes));
    } catch (...) {
      writeError(err, std::current_exception());
      status = kTableFailed;
    }
  }
  return status;
}

int undoJournal(posdb::TDmMSSQL& pos, const QString& journal, bool dryRun, bool takeUncertain,
                std::FILE* out, ConsoleProgress& progress) {
  dataimport::JournalUndo undo(pos, journal);
  undo.setTakeUncertain(takeUncertain);
  if (undo.interrupted())
    write(out, QStringLiteral("注意：%1 的執行在途中被中斷（程式沒有正常結束）。只還原已寫入 POS "
                              "的列；最後記錄的一列若沒有寫入，就不需處理。\n")
                   .arg(QFileInfo(journal).fileName()));
  progress.begin(QFileInfo(journal).fileName());
  dataimport::UndoResult r;
  try {
    r = undo.run(dryRun, progress);
  } catch (...) {
    progress.fail();
    throw;
  }
  QString text = dryRun ? QStringLiteral("還原預覽 %1：\n") : QStringLiteral("還原 %1：\n");
  text = text.arg(QFileInfo(journal).fileName());
  for (const auto& step : r.steps)
    if (dryRun || step.outcome == dataimport::UndoStep::Outcome::Conflict ||
        step.outcome == dataimport::UndoStep::Outcome::Uncertain)
      text += describe(step) + u'\n';
  text += QStringLiteral("%1還原 %2 列，刪除 %3 列，重新加入 %4 列，不需處理 %5 列，衝突 %6 列。\n")
              .arg(dryRun ? QStringLiteral("將") : QString())
              .arg(r.restored)
              .arg(r.deleted)
              .arg(r.readded)
              .arg(r.notApplied + r.undoneBefore)
              .arg(r.conflicts);
  if (r.undoneBefore)
    text += QStringLiteral("其中 %1 列已由先前的還原取回，沒有再取回一次。\n").arg(r.undoneBefore);
  if (r.uncertain)
    text += QStringLiteral(
                "不確定 %1 列：匯入寫入這些列時中斷，不確定所加的數量是否已寫入 POS，沒有取回。"
                "確認已加上後，請加上 --include-uncertain 再還原一次。\n")
                .arg(r.uncertain);
  if (!r.journal.isEmpty())
    text += QStringLiteral("還原記錄：%1\n").arg(QDir::toNativeSeparators(r.journal));
  write(out, text);
  return r.conflicts || r.uncertain ? kTableFailed : kSuccess;
}

}  // namespace batch
