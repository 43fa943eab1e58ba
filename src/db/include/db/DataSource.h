// What a grid is bound to: a named link to one dataset.
#pragma once

#include <QObject>
#include <QPointer>

#include "db/Dataset.h"

namespace db {

class DataSource : public QObject {
  Q_OBJECT

 public:
  explicit DataSource(const QString& name, Dataset* dataset = nullptr, QObject* parent = nullptr)
      : QObject(parent), dataset_(dataset) {
    setObjectName(name);
  }
  Dataset* dataset() const { return dataset_; }
  void setDataset(Dataset* dataset) {
    dataset_ = dataset;
    emit datasetChanged();
  }

 signals:
  void datasetChanged();

 private:
  QPointer<Dataset> dataset_;
};

}  // namespace db
