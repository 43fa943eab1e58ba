// The journals of the program folder as the operator sees them listed: per run, when
// it started, who ran it, whether it was an import or an undo, the tables, how many
// rows it changed, added and deleted, and how it ended, an undo of it included.
#pragma once

#include <journal/JournalFile.h>

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace dataimport {

struct HistoryEntry {
  enum class Outcome {
    Completed,
    Failed,        // it ended on an error it reported
    Cancelled,     // the operator stopped it between two rows
    Interrupted,   // its program stopped without ending it
    Running,       // a program is writing it now
    Undone,        // an undo of it completed (and was not taken back in turn)
    PartlyUndone,  // undos of it took rows back, none of them to the end
    Unreadable,    // not a journal this program reads; `error` says why
  };

  QString path;
  QString name;  // the file's name, as undos and the batch command name it
  QDateTime started;
  QString user;
  bool isUndo = false;
  QString undoes;  // an undo: the journal it took back
  QStringList tables;
  journal::JournalCounts counts;  // not known while Running
  Outcome outcome = Outcome::Completed;
  // How the run itself ended, before any undo of it.
  Outcome ended = Outcome::Completed;
  QString undoneBy;  // Undone, PartlyUndone: the newest such undo's journal
  QString error;
};

class ImportHistory {
 public:
  // Every journal of the journal folder, newest first. Reading one takes in the log of
  // a run that was cut short, as any reader does.
  static std::vector<HistoryEntry> list();

  // 完成, 失敗, 已取消, 中斷, 執行中, 已還原, 部分還原, 無法讀取.
  static QString outcomeText(HistoryEntry::Outcome outcome);
  // 匯入 or 還原.
  static QString kindText(const HistoryEntry& entry);
  // "變更 3 列，新增 1 列，刪除 0 列"; empty while the run is going.
  static QString countsText(const HistoryEntry& entry);
};

}  // namespace dataimport
