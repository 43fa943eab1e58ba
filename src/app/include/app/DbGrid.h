// A read-only data grid: title row, row indicator, whole-row selection, column and
// row lines, resizable columns, Tab moving between columns, and no input method.
// Title cells and indicator in RGB(128, 128, 255) with white titles.
#pragma once

#include <QFont>
#include <QTableView>

namespace app {

class DatasetTableModel;

class DbGrid : public QTableView {
  Q_OBJECT
 public:
  // `titleFont` for the title row; the data cells use Arial at 13 pixels.
  DbGrid(const QFont& titleFont, QWidget* parent = nullptr);

  // Width of a column shown at the field's own display width (in characters): as
  // many "0" digits of the data font, and at least wide enough for its title.
  int defaultColumnWidth(int displayWidth, const QString& title) const;

  // Shows `model`, the current row following the dataset's cursor and the cursor
  // following the row the operator picks.
  // Once the column widths are set (after the events of the moment) and whenever the
  // rows are read again, columns too narrow for their values (phone numbers, ID numbers,
  // dates) are widened to fit them, up to kFitLimit pixels; none is made narrower.
  void setDatasetModel(DatasetTableModel* model);
  void fitColumnsToValues();
  static constexpr int kFitLimit = 160;
  // Rows measured: the values at the top are what the operator sees first.
  static constexpr int kFitRows = 300;

 protected:
  // The indicator follows the current row.
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void followDataset(int row);

  DatasetTableModel* datasetModel_ = nullptr;
  bool following_ = false;
};

}  // namespace app
