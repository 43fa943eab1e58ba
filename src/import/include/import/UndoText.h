// The operator's texts of an undo: one line a row, the counts, and the note on a run
// that did not end as it should, shared by the window and the batch command.
#pragma once

#include "import/JournalUndo.h"

#include <QString>

namespace dataimport::undotext {

// "還原 Classify 001：ClsName 丁 → 丙", "刪除 …", "衝突 …：ClsName 現為「…」…".
QString step(const UndoStep& step);
// "將還原 2 列，刪除 1 列，…" (a preview), "還原 2 列，…", and for an undo stopped by the
// operator "已取消。已還原 …" with the counts so far.
QString counts(const UndoResult& result, bool dryRun);
// What the run's end means for its undo; empty when it completed (or is unknown).
QString runNote(const QString& journalName, const QString& outcome);

}  // namespace dataimport::undotext
