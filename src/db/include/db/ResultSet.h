// The whole result of a query, as a driver fetched it: what a dataset opens on.
#pragma once

#include "db/CellStore.h"
#include "db/FieldType.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace db {

struct ColumnInfo {
  QString name;  // as the database spells it
  FieldType type = ftUnknown;
  int size = 0;  // characters of a text column when the database tells, else 0
  bool fixedChar = false;
  // The server's name of the column's type, lower-case ("datetime", "varchar"), where
  // the driver tells it.
  QString typeName{};
  // The dates the column's type can hold; invalid where the type sets no narrower
  // bounds than the years 1 to 9999.
  QDateTime dateMin{};
  QDateTime dateMax{};
  // A text column that holds bytes of this Windows code page (its size counts them);
  // 0 when it holds Unicode or the driver cannot tell.
  int codePage = 0;
  // The database fills the column itself (an identity, a row version), where the
  // driver tells.
  bool generated = false;
  // Where the column sits in its source, in the source's own terms, for messages: a
  // workbook's column letters ("E"); empty where the source has no such name.
  QString sourceColumn{};
  // A number in the column may be a date a spreadsheet counts in days (typed into a
  // cell without a date format): 1900 or 1904 for the workbook's date system (see
  // spreadsheetDate), 0 where the source has no such dates.
  int serialDates = 0;
};

// The date and time a spreadsheet's day count stands for in its date system (1900 or
// 1904), to the millisecond; invalid where it stands for none.
QDateTime spreadsheetDate(double serial, int dateSystem);

// What a column of a table gets in a row added without a value for it, as the
// database declares it.
struct ColumnDefault {
  QString column;
  // The declared default's text, as the database shows it ("((0))", "'x'::bpchar");
  // none when the column declares none (the row gets NULL).
  std::optional<QString> text;
  // The database fills the column itself (an identity, a row version).
  bool generated = false;
};

struct ResultSet {
  std::vector<ColumnInfo> columns;
  // Row-major, one canonical value (see ValueText) per column and row.
  CellStore cells;
  // The source's own number of each row, for messages: a workbook's sheet row; empty
  // where the source numbers no rows.
  std::vector<int> sourceRows;

  qsizetype rowCount() const {
    return columns.empty() ? 0 : qsizetype(cells.size() / columns.size());
  }
};

}  // namespace db
