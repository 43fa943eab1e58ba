#include "import/ImportHistory.h"

#include "import/ImportJournal.h"

#include <platform/Error.h>

#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <functional>

namespace dataimport {
namespace {

using Outcome = HistoryEntry::Outcome;

Outcome endedAs(const QString& outcome) {
  if (outcome == u"completed") return Outcome::Completed;
  if (outcome == u"failed") return Outcome::Failed;
  if (outcome == u"cancelled") return Outcome::Cancelled;
  return Outcome::Interrupted;
}

HistoryEntry read(const QString& path) {
  HistoryEntry e;
  e.path = path;
  e.name = QFileInfo(path).fileName();
  try {
    const auto file = journal::JournalFile::open(path);
    const journal::JournalRun run = file->run();
    e.started = run.started;
    e.user = run.user;
    e.isUndo = run.kind == u"undo";
    e.undoes = run.undoes;
    for (const journal::JournalSource& s : file->sources())
      if (!e.tables.contains(s.table)) e.tables << s.table;
    if (file->running()) {
      e.ended = e.outcome = Outcome::Running;
    } else {
      e.counts = file->counts();
      e.ended = e.outcome = endedAs(run.outcome);
    }
  } catch (const platform::Error& error) {
    e.ended = e.outcome = Outcome::Unreadable;
    e.error = error.message();
    // Journals are named by the time their run started.
    e.started = QDateTime::fromString(e.name.left(19), QStringLiteral("yyyyMMdd-HHmmss-zzz"));
  }
  return e;
}

}  // namespace

std::vector<HistoryEntry> ImportHistory::list() {
  std::vector<HistoryEntry> all;
  for (const QString& path : ImportJournal::list()) all.push_back(read(path));
  QHash<QString, size_t> byName;
  for (size_t i = 0; i < all.size(); ++i) byName.insert(all[i].name, i);
  // An undo names the journal it took back; undos of undos make a chain, followed
  // from the newest so that a taken-back undo no longer counts.
  std::vector<std::vector<size_t>> undosOf(all.size());
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].isUndo && byName.contains(all[i].undoes))
      undosOf[byName.value(all[i].undoes)].push_back(i);
  std::vector<bool> settled(all.size(), false);
  std::function<void(size_t)> settle = [&](size_t i) {
    if (settled[i]) return;
    settled[i] = true;
    HistoryEntry& e = all[i];
    if (e.outcome == Outcome::Running || e.outcome == Outcome::Unreadable) return;
    for (const size_t u : undosOf[i]) {  // oldest first
      settle(u);
      const HistoryEntry& undo = all[u];
      if (undo.outcome == Outcome::Completed) {
        e.outcome = Outcome::Undone;
        e.undoneBy = undo.name;
      } else if (undo.outcome != Outcome::Undone && undo.outcome != Outcome::Running &&
                 undo.outcome != Outcome::Unreadable &&
                 undo.counts.updates + undo.counts.appends + undo.counts.deletes > 0 &&
                 e.outcome != Outcome::Undone) {
        e.outcome = Outcome::PartlyUndone;
        e.undoneBy = undo.name;
      }
    }
  };
  for (size_t i = 0; i < all.size(); ++i) settle(i);
  // The tables an undo changed are those of the journal it took back.
  for (HistoryEntry& e : all)
    if (e.isUndo && e.tables.isEmpty() && byName.contains(e.undoes))
      e.tables = all[byName.value(e.undoes)].tables;
  std::reverse(all.begin(), all.end());
  std::stable_sort(all.begin(), all.end(), [](const HistoryEntry& a, const HistoryEntry& b) {
    return a.started > b.started;
  });
  return all;
}

QString ImportHistory::outcomeText(HistoryEntry::Outcome outcome) {
  switch (outcome) {
    case Outcome::Completed:
      return QStringLiteral("完成");
    case Outcome::Failed:
      return QStringLiteral("失敗");
    case Outcome::Cancelled:
      return QStringLiteral("已取消");
    case Outcome::Interrupted:
      return QStringLiteral("中斷");
    case Outcome::Running:
      return QStringLiteral("執行中");
    case Outcome::Undone:
      return QStringLiteral("已還原");
    case Outcome::PartlyUndone:
      return QStringLiteral("部分還原");
    case Outcome::Unreadable:
      return QStringLiteral("無法讀取");
  }
  return QString();
}

QString ImportHistory::kindText(const HistoryEntry& entry) {
  return entry.isUndo ? QStringLiteral("還原") : QStringLiteral("匯入");
}

QString ImportHistory::countsText(const HistoryEntry& entry) {
  if (entry.outcome == Outcome::Running || entry.outcome == Outcome::Unreadable) return QString();
  return QStringLiteral("變更 %1 列，新增 %2 列，刪除 %3 列")
      .arg(entry.counts.updates)
      .arg(entry.counts.appends)
      .arg(entry.counts.deletes);
}

}  // namespace dataimport
