// Hash index of one column of a dataset's row storage: value -> rows holding it.
// Rows with the same value are chained, newest first; the caller picks among them.
// Texts are indexed by the form under which the database compares them (case, width
// and trailing blanks as its collation treats them), so that a lookup finds the row
// the server would.
#pragma once

#include "db/ServerRules.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <vector>

namespace db {

class RowIndex {
 public:
  RowIndex() = default;
  RowIndex(const ServerRules& rules, bool fixedChar) : rules_(rules), fixedChar_(fixedChar) {}

  void add(int row, const QVariant& value);
  void remove(int row, const QVariant& value);
  // First row of the chain for `value`, -1 when none; then next(row) until -1.
  int head(const QVariant& value) const;
  int next(int row) const { return next_[size_t(row)]; }

 private:
  QString keyOf(const QVariant& value) const;
  ServerRules rules_;
  bool fixedChar_ = false;
  QHash<QString, int> heads_;
  int nullHead_ = -1;
  std::vector<int> next_;
};

}  // namespace db
