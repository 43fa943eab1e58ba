// Which cell formats of a workbook show a date or a time: the cell formats (a cell's
// s attribute) of its styles part, each through its number format.
#pragma once

#include <QString>
#include <vector>

namespace xlsx {

class Package;

class Styles {
 public:
  Styles() = default;
  // Reads `part` of `package`; no cell format shows a date when there is no such part.
  Styles(const Package& package, const QString& part);

  // The cell format `xf` shows a date or a time; false for one the file lacks.
  bool showsDate(qint64 xf) const {
    return xf >= 0 && xf < qint64(showsDate_.size()) && showsDate_[size_t(xf)];
  }

  // Number formats showing a date or a time: a code's fields, or without a code of its
  // own in the file, the format every spreadsheet program knows by its id below 164.
  static bool formatCodeShowsDate(const QString& code);
  static bool builtInFormatShowsDate(int id);

 private:
  std::vector<bool> showsDate_;  // by cell format
};

}  // namespace xlsx
