// What "匯入檔案" would do, kept for the preview window: each table's counts and failing
// rows (as the dry run gives them), the cells that would change, and the state of the
// exchange files read, so that an import started from the preview can tell whether a
// file changed since.
//
// The cells are kept compactly, one entry per cell, up to kMaxCells; the complete list
// goes to the changes file (the dry run's CSV) written while the preview runs, which
// "儲存變更清單…" copies where the operator wants it.
#pragma once

#include "import/ImportPreview.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QTemporaryDir>
#include <array>
#include <memory>
#include <vector>

namespace dataimport {

class ChangesCsv;

class PreviewPlan {
 public:
  static constexpr int kMaxCells = 200000;

  struct Cell {
    config::PosTable table = config::PosTable::Classify;
    int column = 0;  // index into columns(table)
    bool appended = false;
    QString key;
    QString before;  // the POS's value; empty for a new row
    QString after;   // the file's value
  };
  struct Column {
    QString field;    // the POS's name
    QString heading;  // the heading the operator sees in the file
  };
  struct FileState {
    QString path;
    qint64 size = -1;
    QDateTime modified;
    bool operator==(const FileState&) const = default;
  };

  PreviewPlan();
  ~PreviewPlan();
  PreviewPlan(const PreviewPlan&) = delete;
  PreviewPlan& operator=(const PreviewPlan&) = delete;

  // Runs `preview` (set up by the caller: tables, format, edits only), keeping what it
  // finds. A failure propagates (platform::Cancelled when the operator stopped it).
  void collect(ImportPreview& preview);

  const std::vector<TablePreview>& tables() const { return tables_; }
  const std::vector<Column>& columns(config::PosTable table) const {
    return columns_.at(size_t(table));
  }
  const std::vector<Cell>& cells() const { return cells_; }
  // Cells past kMaxCells that are in the changes file only.
  qint64 cellsLeftOut() const { return leftOut_; }
  // Whether any table would change the POS.
  bool hasChanges() const;

  // The files read that are no longer as they were (changed, removed or made), by path.
  QStringList changedFiles() const;

  // Writes the changes file to `path` (the batch dry run's CSV).
  void saveChanges(const QString& path) const;

 private:
  void add(const journal::RowChange& change);
  int columnOf(config::PosTable table, const QString& field);

  std::vector<TablePreview> tables_;
  std::array<std::vector<Column>, 4> columns_;
  std::array<QHash<QString, int>, 4> columnIndex_;   // by the POS name, upper case
  std::array<QHash<QString, QString>, 4> headings_;  // by the POS name, upper case
  std::vector<Cell> cells_;
  std::vector<FileState> files_;
  qint64 leftOut_ = 0;
  std::unique_ptr<QTemporaryDir> csvDir_;
  std::unique_ptr<ChangesCsv> csv_;
};

}  // namespace dataimport
