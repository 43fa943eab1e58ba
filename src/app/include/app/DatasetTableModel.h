// The table model a grid shows a dataset through: one column per listed field, one
// row per dataset row in the dataset's order, following the dataset's change
// notifications. Cells read rows by position and never move the dataset's cursor.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

namespace db {
class Dataset;
class Field;
}  // namespace db

namespace app {

class DatasetTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // `fieldNames` in column order; names the dataset does not declare are left out.
  DatasetTableModel(db::Dataset& dataset, const QStringList& fieldNames, QObject* parent = nullptr);

  db::Dataset& dataset() const { return dataset_; }
  const db::Field& field(int column) const { return *fields_.at(size_t(column)); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The dataset's current row moved (-1: none).
  void currentRowChanged(int row);

 private:
  void beginReset();
  void endReset();
  int datasetRows() const;

  db::Dataset& dataset_;
  std::vector<const db::Field*> fields_;
  // The row count the views were last told about: a dataset whose controls are
  // disabled changes without telling, and the views must not see that until the reset.
  int rows_ = 0;
  bool resetting_ = false;
  bool appendAsReset_ = false;
};

}  // namespace app
