// Reading worksheets of an Excel workbook (.xlsx): the cells of a sheet row after row,
// as values the importer can take apart (numbers, texts, booleans, error codes), with
// the mark a date needs (its cell's number format shows a date or a time) and the
// workbook's date system to turn a serial into a date.
//
// The file is a zip archive of XML parts. The archive is read through libzip and each
// part streamed through an XML parser (libxml2's SAX parser for the sheets and the shared
// texts, which grow with the data), so a sheet of any length is read in constant memory when taken
// row by row (forEachRow). Every failure is a platform::Error whose
// text names the file and says what is wrong with it in the operator's words.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace xlsx {

struct Cell {
  enum class Kind { Empty, Number, Text, Boolean, Error };
  Kind kind = Kind::Empty;
  int column = 0;  // 0 for A (see Workbook::columnName)
  // Number: the value; a date or time is its serial (see Workbook::dateOf).
  double number = 0;
  // Text: the text (shared, inline or a formula's text result, rich text runs joined,
  // phonetic guides left out). Error: the error code as shown, "#N/A", "#DIV/0!".
  QString text;
  // Boolean: the value.
  bool boolean = false;
  // Number: the cell's number format shows a date or a time, or the cell was stored
  // as a date (then `number` is the serial it stands for).
  bool dateFormatted = false;

  bool isEmpty() const { return kind == Kind::Empty; }
};

struct Row {
  int number = 0;  // the sheet's row number, 1 for the first
  // The cells holding a value, by column from left to right, each column once: a row
  // with one value far to the right holds that one cell. Never an Empty cell.
  std::vector<Cell> cells;
};

class Workbook {
 public:
  // Opens the workbook and reads its list of sheets, date system, number formats and
  // shared texts. Throws platform::Error when the file cannot be read as a workbook:
  // missing, damaged, protected by a password, an old .xls, or no workbook at all.
  explicit Workbook(const QString& path);
  ~Workbook();
  Workbook(Workbook&&) noexcept;
  Workbook& operator=(Workbook&&) noexcept;

  const QString& path() const;
  QStringList sheetNames() const;  // in the workbook's order, hidden sheets included
  bool date1904() const;           // the workbook counts dates from 1904-01-01

  // The rows of the sheet named `sheetName` (matched exactly, else ignoring case; the
  // first sheet when empty), in the order the file holds them. A row with no value in
  // any cell may be left out. Throws platform::Error when there is no such sheet or
  // the sheet cannot be read; rows handed out before a failure stand.
  void forEachRow(const QString& sheetName, const std::function<void(const Row&)>& onRow) const;
  // The same rows, all held at once.
  std::vector<Row> rows(const QString& sheetName) const;

  // The date and time a serial stands for in this workbook's date system, a naive
  // wall-clock value in Qt::UTC rounded to the millisecond. In the 1900 system serial 1
  // is 1900-01-01 and 60 is the 1900-02-29 that never was (kept for the sake of an old
  // leap-year mistake), so serials below 60 are one day later than a plain count from
  // 1899-12-30 gives and serial 60 has no date; a fraction alone (a time) falls on
  // 1899-12-31. Invalid for serial 60, a negative serial, or past 9999-12-31.
  QDateTime dateOf(double serial) const;
  static QDateTime dateOf(double serial, bool date1904);
  // The same as the day, counted from 1970-01-01, and the milliseconds into it; none
  // where dateOf is invalid.
  struct SerialDay {
    qint64 day;
    int msOfDay;
  };
  static std::optional<SerialDay> serialDay(double serial, bool date1904);

  // A column's letters as the operator sees them: 0 is "A", 26 "AA".
  static QString columnName(int index);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace xlsx
