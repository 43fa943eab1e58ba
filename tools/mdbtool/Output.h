// The printers behind mdbtool's commands. Each writes to `out` and throws jet::Error
// when the file is damaged.
#pragma once

#include <ostream>
#include <string>

#include "jet/Database.h"

namespace mdbtool {

struct CsvOptions {
  bool header = true;
  char delimiter = ',';
};

// RFC 4180 CSV of one table, in mdb-export's conventions: header row of column names;
// text, memo, dates, binary and GUIDs in double quotes (quotes doubled); numbers and
// booleans (1/0) bare; NULL an empty field; LF after each row.
void exportCsv(const jet::Database& db, const std::string& table, const CsvOptions& options,
               std::ostream& out);

// JSON dump of the user tables (or one table), sorted by name: the format of the
// second reference reader's dump, one row per line.
void dumpJson(const jet::Database& db, const std::string* onlyTable, std::ostream& out);

// CREATE TABLE statements (Access SQL) and the indexes of one table or all.
void printSchema(const jet::Database& db, const std::string* onlyTable, std::ostream& out);

}  // namespace mdbtool
