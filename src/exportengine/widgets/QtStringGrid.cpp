#include "exportengine/widgets/QtStringGrid.h"

#include <QTableWidget>
#include <algorithm>

namespace exportengine::widgets {

QtStringGrid::QtStringGrid(QTableWidget* grid, int fixedRows)
    : StringGridControl(grid), grid_(grid), fixedRows_(std::max(fixedRows, 0)) {}

int QtStringGrid::rowCount() const {
  return grid_ ? grid_->rowCount() : 0;
}

int QtStringGrid::colCount() const {
  return grid_ ? grid_->columnCount() : 0;
}

int QtStringGrid::row() const {
  const int current = grid_ ? grid_->currentRow() : -1;
  return current >= 0 ? current : fixedRows_;
}

void QtStringGrid::setRow(int row) {
  if (!grid_ || row < 0 || row >= grid_->rowCount()) return;
  grid_->setCurrentCell(row, std::max(grid_->currentColumn(), 0));
}

QString QtStringGrid::cell(int column, int row) const {
  const QTableWidgetItem* item = grid_ ? grid_->item(row, column) : nullptr;
  return item ? item->text() : QString();
}

int QtStringGrid::colWidth(int column) const {
  return grid_ ? grid_->columnWidth(column) : 0;
}

int QtStringGrid::charWidth() const {
  return grid_ ? grid_->fontMetrics().horizontalAdvance(QStringLiteral("X")) : 0;
}

}  // namespace exportengine::widgets
