// A workbook's shared texts: the table of texts that cells of type "s" refer to by
// their place in it, read once when the workbook opens and kept while it is open.
#pragma once

#include <QString>
#include <vector>

namespace xlsx {

class Package;

// What the shared texts may hold before the file is taken for damaged. The table is
// kept in memory for as long as the workbook is open, whatever its sheets refer to,
// while a few kilobytes of zip unpack to tens of millions of items: it must be bounded
// as it is read, not after. The part's own size bounds nothing (a 5-byte "<si/>" is an
// item, and deflate packs a thousand bytes into one), so the bounds are fixed: they
// allow a sheet of a million rows with four distinct texts of 32 characters in each
// (Excel keeps each distinct text once) and hold the table to about half a gigabyte,
// an item costing some 60 bytes besides its characters' two each.
struct SharedStringsBudget {
  qsizetype items = qsizetype(1) << 22;  // 4,194,304
  qint64 characters = qint64(1) << 27;   // 134,217,728: 256 MB
};

class SharedStrings {
 public:
  SharedStrings() = default;
  // Reads `part` of `package` (no texts when there is no such part). Throws the
  // damaged-file error as soon as the table grows past `budget`.
  SharedStrings(const Package& package, const QString& part,
                SharedStringsBudget budget = SharedStringsBudget());

  qsizetype size() const { return qsizetype(texts_.size()); }
  const QString& at(qsizetype index) const { return texts_[size_t(index)]; }
  qint64 characters() const { return characters_; }

 private:
  std::vector<QString> texts_;
  qint64 characters_ = 0;
};

}  // namespace xlsx
