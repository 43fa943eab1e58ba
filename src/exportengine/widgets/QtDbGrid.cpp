#include "exportengine/widgets/QtDbGrid.h"

#include <db/DataSource.h>
#include <db/Dataset.h>

#include <QAbstractItemModel>
#include <QTableView>

namespace exportengine::widgets {

QtDbGrid::QtDbGrid(QTableView* view, db::DataSource* source, QStringList columnFields)
    : DbGridControl(view), view_(view), source_(source), columnFields_(std::move(columnFields)) {}

void QtDbGrid::setDataSource(db::DataSource* source) {
  source_ = source;
}

db::DataSource* QtDbGrid::dataSource() const {
  return source_;
}

int QtDbGrid::columnCount() const {
  return int(columnFields_.size());
}

db::Field* QtDbGrid::columnField(int column) const {
  if (column < 0 || column >= columnFields_.size() || columnFields_.at(column).isEmpty())
    return nullptr;
  db::Dataset* dataset = source_ ? source_->dataset() : nullptr;
  return dataset ? dataset->findField(columnFields_.at(column)) : nullptr;
}

QString QtDbGrid::columnTitle(int column) const {
  const QAbstractItemModel* model = view_ ? view_->model() : nullptr;
  if (model && column < model->columnCount())
    return model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
  const db::Field* field = columnField(column);
  return field ? field->displayLabel() : QString();
}

int QtDbGrid::columnWidth(int column) const {
  return view_ ? view_->columnWidth(column) : 0;
}

int QtDbGrid::charWidth() const {
  return view_ ? view_->fontMetrics().horizontalAdvance(QStringLiteral("X")) : 0;
}

}  // namespace exportengine::widgets
