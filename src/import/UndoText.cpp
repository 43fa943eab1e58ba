#include "import/UndoText.h"

#include <config/PosTables.h>

#include <journal/RowChange.h>

#include <QStringList>

namespace dataimport::undotext {
namespace {

QString shown(const QVariant& value, db::FieldType type) {
  return journal::valueText(value, type).value_or(QStringLiteral("NULL"));
}

}  // namespace

QString step(const UndoStep& step) {
  using O = UndoStep::Outcome;
  const journal::RowChange& e = step.entry;
  const QString row = config::tableWordOf(e.table) + u' ' + e.key;
  switch (step.outcome) {
    case O::Restore: {
      QStringList cells;
      for (const auto& c : e.cells)
        cells << QStringLiteral("%1 %2 → %3")
                     .arg(c.column, shown(c.after, c.type), shown(c.before, c.type));
      return QStringLiteral("還原 %1：%2").arg(row, cells.join(QStringLiteral("，")));
    }
    case O::Delete:
      return QStringLiteral("刪除 %1（匯入新增的列）").arg(row);
    case O::Readd:
      return QStringLiteral("重新加入 %1").arg(row);
    case O::NotApplied:
      return QStringLiteral("不需處理 %1（匯入沒有寫入這一列）").arg(row);
    case O::Conflict:
      return QStringLiteral("衝突 %1（匯入後已被改過，保留不動）：%2").arg(row, step.detail);
    case O::Undone:
      return QStringLiteral("不需處理 %1（%2）").arg(row, step.detail);
    case O::Uncertain:
      return QStringLiteral("不確定 %1：%2").arg(row, step.detail);
  }
  return row;
}

QString counts(const UndoResult& r, bool dryRun) {
  QString text =
      QStringLiteral("%1還原 %2 列，刪除 %3 列，重新加入 %4 列，不需處理 %5 列，衝突 %6 列。")
          .arg(dryRun        ? QStringLiteral("將")
               : r.cancelled ? QStringLiteral("已")
                             : QString())
          .arg(r.restored)
          .arg(r.deleted)
          .arg(r.readded)
          .arg(r.notApplied + r.undoneBefore)
          .arg(r.conflicts);
  if (r.cancelled) text = QStringLiteral("已取消。") + text;
  if (r.undoneBefore)
    text += QStringLiteral("其中 %1 列已由先前的還原取回，沒有再取回一次。").arg(r.undoneBefore);
  if (r.uncertain)
    text +=
        QStringLiteral("不確定 %1 列：寫入這些列時中斷，不確定所加的數量是否已寫入 POS，沒有取回。")
            .arg(r.uncertain);
  return text;
}

QString runNote(const QString& journalName, const QString& outcome) {
  if (outcome == u"interrupted")
    return QStringLiteral(
               "注意：%1 的執行在途中被中斷（程式沒有正常結束）。只還原已寫入 POS 的列；"
               "最後記錄的一列若沒有寫入，就不需處理。")
        .arg(journalName);
  if (outcome == u"failed")
    return QStringLiteral("注意：%1 的執行因錯誤而結束。只還原出錯之前已寫入 POS 的列。")
        .arg(journalName);
  if (outcome == u"cancelled")
    return QStringLiteral("注意：%1 的執行被取消。只還原取消之前已寫入 POS 的列。")
        .arg(journalName);
  return QString();
}

}  // namespace dataimport::undotext
