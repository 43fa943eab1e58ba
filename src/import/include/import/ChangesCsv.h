// The rows an import preview would change, as a CSV file the operator opens in Excel:
// UTF-8 with a byte order mark, CR LF lines, fields quoted as RFC 4180 asks, header
// "table,key,column,heading,pos_value,access_value" (heading: the column's name in the
// exchange file, from the column map file). One line per column a changed row
// changes, and per column a new row is given (pos_value empty); NULL is empty too.
//
// The file appears only when commit() succeeds, whole, in place of any earlier one; a
// run that ends before leaves the path as it was.
#pragma once

#include <journal/RowChange.h>

#include <QSaveFile>
#include <QString>
#include <functional>

namespace dataimport {

class ChangesCsv {
 public:
  // The exchange file's heading of a POS column; empty when unknown.
  using HeadingOf = std::function<QString(const QString& table, const QString& column)>;

  // Checks at once that `path` can be written; throws the operator's text when not.
  explicit ChangesCsv(const QString& path, HeadingOf headingOf = {});
  ~ChangesCsv();

  void add(const journal::RowChange& change);
  // Puts the file in place; throws when it cannot be written.
  void commit();

  // One field as RFC 4180 writes it: quoted when it holds a comma, a quote, a line
  // break or leading or trailing blanks, inner quotes doubled; a text that starts with
  // =, +, -, @, a tab, a carriage return or ' (and is not a plain number) gets a ' in
  // front, so that a spreadsheet shows it as text.
  static QString field(const QString& text);

 private:
  static QString cannotWrite(const QString& path, const QString& reason);
  [[noreturn]] void fail() const;

  QSaveFile file_;
  HeadingOf headingOf_;
};

}  // namespace dataimport
