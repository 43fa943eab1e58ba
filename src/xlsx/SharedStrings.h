// A workbook's shared texts: the table of texts that cells of type "s" refer to by
// their place in it, read once when the workbook opens and kept while it is open.
#pragma once

#include <QString>
#include <vector>

namespace xlsx {

class Package;

class SharedStrings {
 public:
  SharedStrings() = default;
  // Reads `part` of `package` (no texts when there is no such part).
  SharedStrings(const Package& package, const QString& part);

  qsizetype size() const { return qsizetype(texts_.size()); }
  const QString& at(qsizetype index) const { return texts_[size_t(index)]; }

 private:
  std::vector<QString> texts_;
};

}  // namespace xlsx
