// The batch command's journal commands: "undo JOURNAL [--dry-run]" and "journals".
#pragma once

#include <QString>
#include <cstdio>

namespace posdb {
class TDmMSSQL;
}

namespace batch {

class ConsoleProgress;

// The journal a command line names: a path, or a file name in the journal folder.
QString resolveJournal(const QString& name);

// Lists the journals of the program folder, oldest first; returns the exit status.
int listJournals(std::FILE* out, std::FILE* err);

// Takes back the journal's run (or says what that would do); returns the exit status:
// 0 when every row was taken back, 1 when some were left alone as conflicts.
int undoJournal(posdb::TDmMSSQL& pos, const QString& journal, bool dryRun, bool takeUncertain,
                std::FILE* out, ConsoleProgress& progress);

}  // namespace batch
