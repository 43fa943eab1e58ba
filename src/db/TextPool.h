// Texts that repeat down a column (flags, units, kinds, supplier numbers) stored once
// and shared by every cell that holds them, as a fetch goes: the rows held in memory
// take less room, and a walk over them finds the shared texts already in the
// processor's cache. A column whose texts mostly differ (names, addresses) is left
// alone after its first rows, so that it costs nothing more.
#pragma once

#include <QSet>
#include <QString>
#include <QVariant>
#include <vector>

namespace db {

class TextPool {
 public:
  explicit TextPool(size_t columns) : columns_(columns) {}

  // A text cell of `column` takes the pooled equal text when there is one.
  void share(size_t column, QVariant& cell);

 private:
  static constexpr qsizetype kLongest = 40;      // characters; longer texts rarely repeat
  static constexpr qsizetype kMostTexts = 4096;  // distinct texts kept per column
  static constexpr int kTrial = 2048;            // texts seen before judging a column

  struct Column {
    QSet<QString> texts;
    int seen = 0;
    int found = 0;
    bool off = false;
  };
  std::vector<Column> columns_;
};

}  // namespace db
