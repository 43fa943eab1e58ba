#include "config/RunOutcome.h"

#include <QDir>
#include <QFileInfo>

namespace config {

bool RunOutcome::cancelled() const {
  for (const TableOutcome& t : tables)
    if (t.state == TableOutcome::State::Cancelled) return true;
  return false;
}

QString stateText(TableOutcome::State state) {
  switch (state) {
    case TableOutcome::State::Done:
      return QStringLiteral("完成");
    case TableOutcome::State::Partial:
      return QStringLiteral("部分完成");
    case TableOutcome::State::Failed:
      return QStringLiteral("失敗");
    case TableOutcome::State::Cancelled:
      return QStringLiteral("已取消");
    case TableOutcome::State::NotRun:
      break;
  }
  return QStringLiteral("未執行");
}

namespace {

QString counts(const TableOutcome& t, RunOutcome::Kind kind) {
  if (kind == RunOutcome::Kind::Export) return QStringLiteral("匯出 %1 列").arg(t.added);
  if (kind == RunOutcome::Kind::Undo) return QStringLiteral("還原 %1 列").arg(t.written());
  return QStringLiteral("新增 %1 列、變更 %2 列").arg(t.added).arg(t.changed);
}

QString withStop(QString text) {
  while (text.endsWith(u'。') || text.endsWith(u'.')) text.chop(1);
  return text + u'。';
}

}  // namespace

QString outcomeText(const TableOutcome& t, RunOutcome::Kind kind) {
  using State = TableOutcome::State;
  QString text = QString::fromUtf8(tableWord(t.table)) + u'：' + stateText(t.state);
  const QString file = t.file.isEmpty() ? QString() : QFileInfo(t.file).fileName();
  switch (t.state) {
    case State::Done:
      text += u'，' + counts(t, kind);
      if (!file.isEmpty()) text += QStringLiteral("（%1）").arg(file);
      text += u'。';
      break;
    case State::Partial:
    case State::Cancelled:
      if (t.stoppedAt > 0) text += QStringLiteral("，停在 %1 第 %2 列").arg(file).arg(t.stoppedAt);
      text += QStringLiteral("；之前已%1。").arg(counts(t, kind));
      if (!t.reason.isEmpty() && t.state == State::Partial)
        text += QStringLiteral("\r\n  原因：") + withStop(t.reason);
      break;
    case State::Failed:
    case State::NotRun:
      if (!t.reason.isEmpty())
        text += u'：' + withStop(t.reason);
      else
        text += u'。';
      break;
  }
  for (const QString& note : t.notes) text += QStringLiteral("\r\n  ") + note;
  return text;
}

QString outcomeReport(const RunOutcome& outcome) {
  QString report;
  switch (outcome.kind) {
    case RunOutcome::Kind::Import:
      report = QStringLiteral("匯入結果：");
      break;
    case RunOutcome::Kind::Export:
      report = QStringLiteral("匯出結果：");
      break;
    case RunOutcome::Kind::Undo:
      report = QStringLiteral("還原結果：");
      break;
  }
  for (const TableOutcome& t : outcome.tables)
    report += QStringLiteral("\r\n") + outcomeText(t, outcome.kind);
  int written = 0;
  for (const TableOutcome& t : outcome.tables) written += t.written();
  if (!outcome.journal.isEmpty() && written > 0)
    report += QStringLiteral("\r\n\r\n這次的修改記錄在 %1，可以在「匯入紀錄」中還原。")
                  .arg(QDir::toNativeSeparators(outcome.journal));
  return report;
}

}  // namespace config
