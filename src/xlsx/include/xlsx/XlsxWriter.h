// Writing one worksheet of an Excel workbook (.xlsx), row after row, for an operator to
// edit: a bold, frozen header row, text columns formatted as text, and every value
// written so that it reads back exactly.
#pragma once

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace xlsx {

enum class ColumnKind { Text, Whole, Float, Boolean, DateTime };

struct Column {
  QString header;
  ColumnKind kind = ColumnKind::Text;
  bool dateOnly = false;  // DateTime shown as a date, without the time of day
};

// `name` made acceptable to Excel as a worksheet name: at most 31 characters, none of
// []:*?/\ (each becomes "_"), no apostrophe at either end, not empty ("Sheet1").
QString validSheetName(const QString& name);

// The workbook is built in a hidden temporary file beside `path`; only commit() puts it
// in place, replacing an existing file as a whole, so that a failure at any point leaves
// `path` as it was. Errors are platform::Error, worded for the operator and naming `path`.
class SheetWriter {
 public:
  // Refuses at once what cannot be written: a folder that does not exist or does not
  // allow new files, a `path` that is a folder or a read-only file, a file a spreadsheet
  // program holds open.
  SheetWriter(const QString& path, const QString& sheet, std::vector<Column> columns);
  // Without commit() the workbook is dropped and `path` left untouched.
  ~SheetWriter();
  SheetWriter(const SheetWriter&) = delete;
  SheetWriter& operator=(const SheetWriter&) = delete;

  // One row, a value per column: qint64 (Whole), double (Float), bool (Boolean),
  // QDateTime (DateTime, taken as it reads, milliseconds kept), QString (Text). An
  // invalid QVariant is NULL and leaves the cell out; an empty QString is an empty text,
  // which reads back as such (a cell whose formula ="" gives the empty text).
  //
  // What a cell of its kind cannot hold exactly is written as a text cell the reader
  // turns back by the column's type:
  //  - a double whose 15 significant digits do not give it back (LibreOffice Calc saves
  //    no more), as its shortest exact form ("0.30000000000000004"), as are infinities
  //    and NaN;
  //  - an integer of more than 15 digits, in decimal;
  //  - a date before 1900-03-01 or after 9999-12-31, as "yyyy-MM-dd HH:mm:ss[.zzz]".
  void addRow(const std::vector<QVariant>& values);

  // Finishes the workbook, flushes it to the disk and renames it over `path`.
  void commit();

  // Data rows added so far.
  int rows() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace xlsx
