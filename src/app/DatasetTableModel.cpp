#include "app/DatasetTableModel.h"

#include <db/Dataset.h>
#include <db/Field.h>

namespace app {
namespace {

bool isNumeric(db::FieldType type) {
  switch (type) {
    case db::ftSmallint:
    case db::ftInteger:
    case db::ftWord:
    case db::ftFloat:
    case db::ftCurrency:
    case db::ftBCD:
    case db::ftAutoInc:
    case db::ftLargeint:
      return true;
    default:
      return false;
  }
}

}  // namespace

DatasetTableModel::DatasetTableModel(db::Dataset& dataset, const QStringList& fieldNames,
                                     QObject* parent)
    : QAbstractTableModel(parent), dataset_(dataset) {
  for (const QString& name : fieldNames)
    if (const db::Field* f = dataset.findField(name)) fields_.push_back(f);
  rows_ = datasetRows();

  connect(&dataset, &db::Dataset::aboutToReset, this, &DatasetTableModel::beginReset);
  connect(&dataset, &db::Dataset::reset, this, &DatasetTableModel::endReset);
  connect(&dataset, &db::Dataset::aboutToAppendRow, this, [this](int position) {
    // An append the views cannot take as one new last row is shown as a reset.
    appendAsReset_ = resetting_ || position != rows_;
    if (appendAsReset_)
      beginReset();
    else
      beginInsertRows({}, position, position);
  });
  connect(&dataset, &db::Dataset::rowAppended, this, [this](int) {
    if (appendAsReset_) {
      appendAsReset_ = false;
      endReset();
      return;
    }
    rows_ = datasetRows();
    endInsertRows();
  });
  connect(&dataset, &db::Dataset::rowChanged, this, [this](int position) {
    if (position >= 0 && position < rows_ && !fields_.empty())
      emit dataChanged(index(position, 0), index(position, int(fields_.size()) - 1));
  });
  connect(&dataset, &db::Dataset::currentChanged, this, &DatasetTableModel::currentRowChanged);
}

void DatasetTableModel::beginReset() {
  if (resetting_) return;
  resetting_ = true;
  beginResetModel();
}

void DatasetTableModel::endReset() {
  // A reset without its announcement still has to reach the views whole.
  if (!resetting_) beginResetModel();
  resetting_ = false;
  rows_ = datasetRows();
  endResetModel();
}

int DatasetTableModel::datasetRows() const {
  return dataset_.isOpen() ? dataset_.recordCount() : 0;
}

int DatasetTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int DatasetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(fields_.size());
}

QVariant DatasetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_ || index.column() >= int(fields_.size())) return {};
  const db::Field& f = *fields_[size_t(index.column())];
  switch (role) {
    case Qt::DisplayRole:
      // The dataset may have moved on while its controls were disabled.
      if (!dataset_.isOpen() || index.row() >= dataset_.recordCount()) return {};
      return f.displayTextAt(index.row());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignVCenter |
                                 (isNumeric(f.dataType()) ? Qt::AlignRight : Qt::AlignLeft));
    default:
      return {};
  }
}

QVariant DatasetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < int(fields_.size()))
    return fields_[size_t(section)]->displayLabel();
  return {};
}

Qt::ItemFlags DatasetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace app
