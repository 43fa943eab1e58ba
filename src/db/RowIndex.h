// Hash index of one column of a dataset's row storage: value -> rows holding it.
// Rows with the same value are chained, newest first; the caller picks among them.
#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <vector>

namespace db {

class RowIndex {
 public:
  RowIndex() = default;

  void add(int row, const QVariant& value);
  void remove(int row, const QVariant& value);
  // First row of the chain for `value`, -1 when none; then next(row) until -1.
  int head(const QVariant& value) const;
  int next(int row) const { return next_[size_t(row)]; }

 private:
  static QString keyOf(const QVariant& value);
  QHash<QString, int> heads_;
  int nullHead_ = -1;
  std::vector<int> next_;
};

}  // namespace db
