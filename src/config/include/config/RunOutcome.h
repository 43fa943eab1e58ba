// What became of each table an import or an export was asked to do, as the report
// window lists it: done with its counts, done in part (where it stopped, why, and what
// was written before), failed, cancelled, or not run at all (and why).
#pragma once

#include "config/PosTables.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace config {

struct TableOutcome {
  enum class State { Done, Partial, Failed, Cancelled, NotRun };
  PosTable table = PosTable::Classify;
  State state = State::NotRun;
  QString file;       // the exchange file read or written
  int added = 0;      // rows appended to the POS (an export: rows written to the file)
  int changed = 0;    // rows of the POS changed
  int stoppedAt = 0;  // the file row it stopped at, as the operator's program shows it
  QString reason;     // why it failed, stopped or did not run
  QStringList notes;  // cells the settings kept, per column; what became of old rows

  int written() const { return added + changed; }
};

struct RunOutcome {
  enum class Kind { Import, Export, Undo };
  Kind kind = Kind::Import;
  std::vector<TableOutcome> tables;
  QString journal;  // the import's journal; empty when nothing was journaled
  bool cancelled() const;
};

// "完成", "部分完成", "失敗", "已取消", "未執行".
QString stateText(TableOutcome::State state);
// One table's paragraph: "商品資料：完成，新增 3 列、變更 5 列（Item.mdb）", followed by
// its notes, each on a line of its own indented by two spaces.
QString outcomeText(const TableOutcome& outcome, RunOutcome::Kind kind);
// The whole report: a title line ("匯入結果：" / "匯出結果："), then each table's paragraph,
// then the journal's name for an import.
QString outcomeReport(const RunOutcome& outcome);

}  // namespace config
