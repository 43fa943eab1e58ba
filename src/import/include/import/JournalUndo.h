// Takes back what a journal's run did to the POS, newest entry first: an appended row
// is deleted, changed columns get their earlier values back, a deleted row (an undo's
// journal) is added again. A row that no longer holds what the run wrote was changed
// again since, and is left alone as a conflict (an appended row in any column, those
// it got by default included); a row that still holds what it held
// before the run was never posted (the run was cut short there) and needs nothing.
//
// An undo keeps a journal of its own, so that it can be taken back in turn.
#pragma once

#include <journal/RowChange.h>

#include <platform/Progress.h>

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace posdb {
class TDmMSSQL;
}

namespace dataimport {

struct UndoStep {
  // Undone: an earlier undo of the same journal took the entry back already.
  // Uncertain: amounts added by a post not known to have reached the POS; taken back
  // only when asked (see JournalUndo::setTakeUncertain).
  enum class Outcome { Restore, Delete, Readd, NotApplied, Conflict, Undone, Uncertain };
  journal::RowChange entry;
  Outcome outcome = Outcome::NotApplied;
  QString detail;  // a conflict: what the row holds instead
};

struct UndoResult {
  std::vector<UndoStep> steps;  // in the order taken: the journal's, reversed
  int restored = 0;
  int deleted = 0;
  int readded = 0;
  int notApplied = 0;
  int conflicts = 0;
  int undoneBefore = 0;
  int uncertain = 0;
  QString journal;  // the undo's own journal; empty for a dry run
  // The operator stopped it between two rows: the steps and counts are those taken
  // so far, and its journal holds them.
  bool cancelled = false;
};

class JournalUndo {
 public:
  // `pos` started; the journal is read at once and must have been made on the same
  // POS (its connection, password aside).
  JournalUndo(posdb::TDmMSSQL& pos, const QString& journalPath);

  // The run was cut short (its program was killed): the journal holds the rows that
  // may have reached the POS, its last one perhaps not posted.
  bool interrupted() const { return interrupted_; }
  // How the run ended, as its journal says (see journal::JournalRun::outcome).
  const QString& runOutcome() const { return runOutcome_; }
  // The POS tables its entries change, each once, in the order first met.
  QStringList tables() const;

  // Takes back the amounts of posts not known to have reached the POS too (the
  // operator checked that they did).
  void setTakeUncertain(bool take) { takeUncertain_ = take; }

  // Writes nothing when `dryRun`: the steps say what would be done, the same as an undo
  // run next would take. platform::Cancelled from `progress` stops it between two rows.
  UndoResult run(bool dryRun, platform::Progress& progress);

 private:
  struct TakenBack {
    int count = 0;      // entries of earlier undos taking back such a change
    int uncertain = 0;  // of them, not known to have reached the POS
    QString journal;
  };
  posdb::TDmMSSQL& pos_;
  QString path_;
  std::vector<journal::RowChange> entries_;
  std::map<QString, TakenBack> takenBack_;  // by takenBackSignature
  bool interrupted_ = false;
  QString runOutcome_;
  bool takeUncertain_ = false;
};

}  // namespace dataimport
