// A data grid (a QTableView showing a dataset) as an export source: the grid's columns
// show the named fields of the data source's dataset, titled by the view's model.
#pragma once

#include <exportengine/ExportControls.h>

#include <QPointer>
#include <QStringList>

class QTableView;

namespace db {
class DataSource;
}

namespace exportengine::widgets {

class QtDbGrid : public DbGridControl {
 public:
  // `columnFields`: the field name of each grid column in order ("" for a column
  // without a field). A child of `view`.
  QtDbGrid(QTableView* view, db::DataSource* source, QStringList columnFields);

  void setDataSource(db::DataSource* source);

  db::DataSource* dataSource() const override;
  int columnCount() const override;
  db::Field* columnField(int column) const override;
  QString columnTitle(int column) const override;
  int columnWidth(int column) const override;
  int charWidth() const override;

 private:
  QPointer<QTableView> view_;
  QPointer<db::DataSource> source_;
  QStringList columnFields_;
};

}  // namespace exportengine::widgets
