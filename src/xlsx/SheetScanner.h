// Reading one worksheet part row after row: the scanner walks the sheet's cells and
// hands out each row holding a value, its cells typed and placed by column. It is the
// one place that knows the sheet's XML; the package, the shared texts and the cell
// formats it draws on are read before and stay the same for every sheet.
#pragma once

#include <QString>
#include <functional>

#include "xlsx/XlsxReader.h"

namespace xlsx {

class Package;
class SharedStrings;
class Styles;

class SheetScanner {
 public:
  SheetScanner(const Package& package, const SharedStrings& strings, const Styles& styles,
               bool date1904)
      : package_(package), strings_(strings), styles_(styles), date1904_(date1904) {}

  // The rows of the sheet named `sheetName` kept in `part`, in the order the file holds
  // them; rows without a value are left out. The Row handed to `onRow` serves again for
  // the next row: a caller keeping it copies it. Throws platform::Error when the part
  // cannot be read; rows handed out before stand.
  void scan(const QString& sheetName, const QString& part,
            const std::function<void(const Row&)>& onRow) const;

 private:
  const Package& package_;
  const SharedStrings& strings_;
  const Styles& styles_;
  bool date1904_;
};

}  // namespace xlsx
