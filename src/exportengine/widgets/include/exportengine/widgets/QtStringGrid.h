// A grid of texts (a QTableWidget) as an export source; its first `fixedRows` rows are
// headings, and its current row is the widget's current cell row.
#pragma once

#include <exportengine/ExportControls.h>

#include <QPointer>

class QTableWidget;

namespace exportengine::widgets {

class QtStringGrid : public StringGridControl {
 public:
  // A child of `grid`.
  explicit QtStringGrid(QTableWidget* grid, int fixedRows = 0);

  int rowCount() const override;
  int fixedRows() const override { return fixedRows_; }
  int colCount() const override;
  int row() const override;
  void setRow(int row) override;
  QString cell(int column, int row) const override;
  int colWidth(int column) const override;
  int charWidth() const override;

 private:
  QPointer<QTableWidget> grid_;
  int fixedRows_;
};

}  // namespace exportengine::widgets
