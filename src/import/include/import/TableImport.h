// Merging the rows of one Access table into the POS table of the same name, by key,
// through the table's column map file. The rows are walked once, first to last; each
// is located in the POS query by its key, edited there or appended, given the mapped
// columns and posted at once. The first row that fails ends the walk: its pending
// change is cancelled and its error propagates; rows posted before it stay. On SQL
// Server the rows are sent in batches (see setBatchRows()) with the same outcome: a
// row that fails inside a batch ends the walk there, the rows before it written, none
// after it.
//
// Per table:            Classify   Supplier   Item                  Customer
//   key searched for    as read    as read    trimmed and completed as read
//   other columns       trimmed    as read    as read               trimmed
// Item also keeps six price, cost and shelf columns of existing items unless the
// configuration lets the import overwrite them, and handles the stock quantity as the
// settings dialog's stock choice says.
#pragma once

#include "import/MissingRows.h"

#include <config/ColumnMap.h>
#include <platform/Error.h>
#include <platform/Progress.h>
#include <posdb/ExportRecord.h>

#include "import/ImportObserver.h"
#include "import/ImportTables.h"

#include <functional>
#include <optional>
#include <vector>

namespace config {
class TConfig;
}
namespace db {
class Dataset;
class Field;
}  // namespace db

namespace dataimport {

// The switches of section "Import Item" the Item import follows.
struct ItemRules {
  bool shelfNo = false;
  bool avgCost = false;
  bool uniPrice = false;
  bool price = false;
  bool memPrice = false;
  bool vipPrice = false;
  // The stock quantity of an existing item: kept when off; when on, overwritten
  // (action 0 or below) or increased by the Access value (action above 0). A new item
  // always takes the Access value.
  bool updateStkQty = false;
  int stkQtyAction = 0;

  static ItemRules fromConfig(const config::TConfig& config);
};

class TableImport {
 public:
  // `source`: open on every row of the Access table. `target`: the open POS query.
  TableImport(PosTable table, db::Dataset& source, db::Dataset& target);
  ~TableImport();

  PosTable table() const { return table_; }
  // The file row the walk is at (after a failure or a cancel: the row it stopped at),
  // as the operator's program numbers it.
  int rowNumber() const { return failedRow_ > 0 ? failedRow_ : sourceRowNumber(); }

  // By default the map is read from the table's file in the program folder, and the
  // Item rules from Config.ini, each once when the run starts.
  void setColumnMap(config::ColumnMap map) { map_ = std::move(map); }
  void setItemRules(const ItemRules& rules) { rules_ = rules; }

  // Brings back only the cells the operator changed in Access since the export (see
  // posdb::ExportRecord); unset: as Config.ini's EditsOnly says, read when the run
  // starts.
  void setEditsOnly(bool on) { editsOnly_ = on; }
  // The program the source file is edited in, as the messages name it ("Access").
  void setSourceProgram(const QString& program) { sourceProgram_ = program; }
  // The source file's path, as the messages name it (default: "<Table>.mdb").
  void setSourceFile(const QString& path) { sourceFile_ = path; }

  // Rows sent to the POS together, where its database takes them so (SQL Server): a
  // batch is one round trip. 1: every row on its own. A thousand rows serve loopback
  // and a slow link alike, and bound what a batch that fails sends again row by row.
  static constexpr int kBatchRows = 1000;
  void setBatchRows(int rows) { batchRows_ = rows; }

  // Told of every row before and after it is posted (the import journal). Rows held
  // for a batch are reported in order once it is sent: the rows written, then the one
  // that failed, then those after it as not written.
  void setObserver(ImportObserver* observer) { observer_ = observer; }

  // Reports start(row count), step(rows done, row count) after every row, and finish()
  // after the last; a failed row ends the run without finish(). A row held for a batch
  // is counted when it is held. Whatever ends the run (a failed row, a cancel thrown by
  // step()), the rows held are sent first; a held row that fails then is the error the
  // run ends with.
  void run(platform::Progress& progress);

  // What run() would do, writing nothing: each row is read, located, given its columns
  // by the same rules and compared, then cancelled instead of posted. A failing row
  // does not end the walk: it is counted with its row number and message.
  struct Failure {
    int row = 0;  // as the operator's program numbers it (a sheet: its row number)
    QString message;
  };
  // A column whose changed cells a switch of [Import Item] kept as the POS holds them.
  struct KeptColumn {
    QString column;   // the heading the operator sees in the file
    QString setting;  // the switch's caption in "參數設定" ("更新售價")
    int cells = 0;
    // "售價 1 筆未更新：參數設定未勾選「更新售價」"
    QString text() const;
  };
  // The run's (or the preview's) kept cells so far, in the columns' order.
  std::vector<KeptColumn> keptBySettings() const;
  struct Preview {
    int rows = 0;
    int added = 0;
    int changed = 0;
    int unchanged = 0;
    // Edits only: cells the Access file holds as exported that only the POS changed
    // since, left as the POS holds them.
    int leftAlone = 0;
    int blank = 0;  // rows with no value in any mapped column, skipped
    std::vector<Failure> failures;
    // Cells of existing rows whose file value differs from the POS but whose column
    // the [Import Item] switches keep, per column.
    std::vector<KeptColumn> keptBySettings;
    // POS rows whose key the file no longer holds (the import leaves them alone).
    MissingRows missing;
  };
  // `onChange`, when given, receives each row that would be appended or changed.
  Preview preview(platform::Progress& progress,
                  const std::function<void(const journal::RowChange&)>& onChange = {});

 private:
  enum class Rule { Copy, Key, Guarded, Stock };
  struct Column {
    config::ColumnPair names;
    Rule rule = Rule::Copy;
    bool allowed = true;            // a guarded column's switch
    const char* setting = nullptr;  // the switch's caption
    int kept = 0;                   // changed cells the switch kept
    db::Field* source = nullptr;
    db::Field* target = nullptr;
  };

  void prepare();
  // Locates or appends the current Access row and gives it its columns; the change it
  // makes goes to change_ (found: whether the key was in the POS already).
  void stageRow(bool& found);
  void describeChange(bool found);
  // An appended row's values are lent to change_ while it is reported, not copied:
  // given back before the row is posted or cancelled.
  void returnLent();
  void importRow();
  db::Field& sourceField(Column& column);
  db::Field& targetField(Column& column);
  void addStock(db::Field& target, const QString& text);
  // Fails the row before anything is sent when a value cannot be held by its POS
  // column: a date outside the column type's range, a text with a character outside
  // the column's code page or longer than its width in that code page's bytes.
  void checkRow();
  // Fails the row when its key is longer than the POS key column.
  void checkKeyFits(const QString& key) const;
  // Fails the row when the text does not fit its POS column, instead of the cut a
  // field makes.
  void checkTextFits(Column& column, db::Field& target, const QString& text);
  // Counts the cell when the file's value differs from the POS's, leaving the POS's.
  void noteKept(Column& column);
  // Finds the keys the file holds more than once with different contents (the server
  // takes them for one row): each such row fails, naming the others. Copies alike are
  // harmless. Leaves the source at its first row.
  void findConflictingCopies();
  // Fails the current row, one of the copies, naming the file rows of all of them.
  [[noreturn]] void failConflictingCopy(const std::vector<int>& others);
  // Fails the table, once, when the file lacks a heading its column map file lists.
  void checkHeadings();
  // The row's number as the operator's program shows it.
  int sourceRowNumber() const;
  QString sourceFileName() const;
  // No value in any mapped column: a stray note beside the table, an emptied row.
  // Skipped, not imported.
  bool blankRow();
  // Rethrows a cell's conversion error, naming the sheet's row and column where the
  // source is a workbook.
  [[noreturn]] void failAtCell(Column& column, const platform::Error& error);
  bool setFromSerial(Column& column, db::Field& target, const QString& text);
  // "Customer（CustNo = M0001）的欄位 Birthday": where a value of the row failed.
  QString cellText(const db::Field& field) const;
  // Posts the row; what the database refuses is the row's error, naming it.
  void postRow(bool found);
  // "Item（ItemNo = X）無法寫入 POS 資料庫（Price =「12」）：", before the database's text.
  QString refusalPrefix(bool found);
  // postRow(), told to the observer.
  void postReported(bool found);
  // Holds the staged row for the next batch (or posts it when it cannot be held).
  void holdRow(bool found);
  // Sends the rows held and tells the observer of each; throws the failing row's error.
  void flushHeld();
  // Edits only: keeps the POS value of each cell the Access file holds as exported, and
  // fails the row on a cell changed both in Access and in the POS. Returns the cells left
  // alone that only the POS changed.
  int keepUnedited(const posdb::ExportRecord& record);

  PosTable table_;
  db::Dataset& source_;
  db::Dataset& target_;
  std::optional<config::ColumnMap> map_;
  std::optional<ItemRules> rules_;

  // Resolved at the first row that needs them, so that a name the tables do not have
  // fails that row, and only when the row gets that far.
  std::vector<Column> columns_;
  QString keyField_;
  QString keyDisplay_;
  db::Field* keySource_ = nullptr;
  bool trimOthers_ = false;

  ImportObserver* observer_ = nullptr;
  int batchRows_ = kBatchRows;
  bool batching_ = false;
  std::vector<int> heldRows_;         // per row held: its file row
  int failedRow_ = 0;                 // a held row that failed when its batch was sent
  std::vector<QString> held_;         // per row held: the start of its refusal's text
  std::vector<db::Field*> assigned_;  // the target fields the current row sets
  std::vector<int> assignedStamp_;    // per target field: the row that last set it
  int rowStamp_ = 0;
  db::Field* keyTarget_ = nullptr;
  journal::RowChange change_;
  std::vector<std::pair<db::Field*, size_t>> lent_;  // field, cell of change_
  // Per target field: what a new row gets where the import sets no value; none where
  // that is not a constant. Read from the POS at the first append.
  std::optional<std::vector<std::optional<QVariant>>> defaults_;
  void addDefaultedCells(const std::function<journal::RowChange::Cell&(const db::Field&)>& cell);
  std::optional<bool> editsOnly_;
  QString sourceProgram_ = QStringLiteral("Access");
  QString sourceFile_;
  // By source position: the rows that hold the same key with other contents.
  QHash<int, std::vector<int>> copies_;
  // Edits only: what each export wrote, by the first row of the file it wrote.
  std::vector<std::pair<int, posdb::ExportRecord>> records_;
  int leftAlone_ = 0;  // the current row's, see keepUnedited()
};

}  // namespace dataimport
