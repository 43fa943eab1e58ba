// The export of the POS tables: for each table that section "Export Import" of
// Config.ini enables, in the order Classify, Item, Supplier, Customer, the table's
// column map file is rewritten from the fields of its POS query, and the Access exporter
// writes the query's rows into the table of the same name in <table>.mdb, both in the
// program folder. A failure ends the whole export at that table: what was written
// before stays, and the error reaches the caller.
//
// No widgets here: the main window (and any other front end) passes what it wants done
// when a table begins.
#pragma once

#include <config/ExchangeFormat.h>
#include <config/PosTables.h>
#include <config/RunOutcome.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stdexcept>

namespace platform {
class Progress;
}

namespace posdb {
class TDmMSSQL;
}

namespace dataexport {

class TADO_AccessExporter;

// What to do with the rows an Access table already holds when it is exported again.
enum class ExistingRows {
  Replace,  // the table holds the POS's rows alone afterwards
  Append,   // the POS's rows follow the old ones (each key twice)
  Cancel,   // the export stops before this table
};

// What a front end does when a table begins; either may be empty.
struct ExportView {
  std::function<void(int tab)> showTab;  // bring the table's page (0..3) to the front
  std::function<void()> repaint;         // show the new page and the hourglass now
  // Told of each table's rows as they reach the Access file: start with the row count,
  // a step per row, finish when the table is written.
  platform::Progress* progress = nullptr;
  // Asked when the table's Access file holds `rows` rows already; unset: as
  // ExportDriver::SetExistingRows says, by default appended.
  std::function<ExistingRows(const QString& file, qint64 rows)> askExistingRows;
};

// One table of the export: the table (name, page, switch) and what the
// export adds to it.
struct ExportTable : config::PosTableInfo {
  const char* completion;  // the report's line for the table
};

constexpr ExportTable exportEntry(const config::PosTableInfo& table) {
  switch (table.table) {
    case config::PosTable::Classify:
      return {table, "匯出分類資料完成。"};
    case config::PosTable::Item:
      return {table, "匯出商品資料完成。"};
    case config::PosTable::Supplier:
      return {table, "匯出廠商資料完成。"};
    case config::PosTable::Customer:
      return {table, "匯出客戶資料完成。"};
  }
  throw std::invalid_argument("not a POS table");
}

// In export order, the order of config::kPosTables.
inline constexpr auto kExportTables = config::mapPosTables(exportEntry);

inline constexpr char kExportReportTitle[] = "匯出狀態：";

class ExportDriver {
 public:
  // The queries of `pos` must be open; `exporter` is the one the front end holds.
  ExportDriver(posdb::TDmMSSQL& pos, TADO_AccessExporter& exporter, ExportView view = {});

  // Exports the enabled tables and returns the report: "匯出狀態：" and, per table
  // exported, a line break (CR LF) and its completion line. The hourglass shows while
  // a table is handled and is taken away whatever happens.
  QString Run();

  // Exports the named tables (their configuration keys, any order, any case) instead
  // of those Config.ini switches on; the order stays the table list's.
  void SetTables(const QStringList& tables) { tables_ = tables; }
  // Writes this format's files instead of the one Config.ini sets.
  void SetFormat(config::ExchangeFormat format) { format_ = format; }
  // What to do with rows an Access table holds already, without asking the front end.
  void SetExistingRows(ExistingRows choice) { existingRows_ = choice; }
  // After Run(): per table, what was done with the rows its Access file held ("取代原有的
  // 3001 列"); empty for a table that had none.
  const QStringList& ExistingRowsDone() const { return existingDone_; }
  // After Run(), also when it threw: what became of every table asked for. A cancel
  // (platform::Cancelled from the view's progress) ends the export there without an
  // error: a replaced file stays as it was, rows appended so far stay, later tables
  // are not exported.
  const config::RunOutcome& Outcome() const { return outcome_; }

  // Rewrites the table's column map file from its POS query: field count, key field,
  // then every field's name and display label, as one rewrite of the file.
  void WriteColumnMap(const QString& table);

 private:
  void execute(platform::Progress& progress, int rows);
  // Exports one table; returns false when the operator stopped the export there.
  bool exportTable(const ExportTable& entry, config::ExchangeFormat format,
                   config::TableOutcome& outcome, QString& report);
  // Writes the table's rows to the Access file at `file`.
  void writeAccess(const QString& file, const QString& table, platform::Progress& progress);
  // Writes a new file beside `file` and puts it in its place in one step, so that a
  // failure or a kill leaves the old file whole.
  void replaceAccess(const QString& file, const QString& table, platform::Progress& progress);

  posdb::TDmMSSQL& pos_;
  TADO_AccessExporter& exporter_;
  ExportView view_;
  std::optional<config::ExchangeFormat> format_;
  std::optional<QStringList> tables_;
  std::optional<ExistingRows> existingRows_;
  QStringList existingDone_;
  config::RunOutcome outcome_;
};

}  // namespace dataexport
