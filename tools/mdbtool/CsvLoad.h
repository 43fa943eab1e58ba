// mdbtool's writing commands: create an empty database, load a CSV file into a table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "jet/DatabaseWriter.h"

namespace mdbtool {

// Parses "NAME TYPE, NAME TYPE, ..." with TYPE one of integer, double, currency,
// datetime, char(n), memo, LOGICAL, longtext (any case); a name may be bracketed.
// Throws std::runtime_error naming the bad entry.
std::vector<jet::NewColumn> parseColumns(const std::string& spec);

// Appends the rows of `csvPath` (UTF-8, header row of column names, RFC 4180) to
// `table` of `file`, creating the file and the table (from `columns`) when missing.
// Stops at the first bad value with "CSV line N: ..." in the error; the rows before it
// stay. Returns the number of rows loaded.
std::size_t loadCsv(const std::string& file, const std::string& table, const std::string& csvPath,
                    const std::vector<jet::NewColumn>* columns);

}  // namespace mdbtool
