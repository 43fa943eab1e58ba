// The export of one POS table to an Excel workbook: a sheet named like the table, a
// header of the same column names the Access table gets (the fields' labels), one row
// per POS row in key order, each cell typed by its field.
#pragma once

#include <QString>
#include <vector>

namespace db {
class Dataset;
}
namespace platform {
class Progress;
}
namespace xlsx {
struct Column;
}

namespace dataexport {

// The sheet's columns for `query`'s fields, in order: each field's label, typed by it.
std::vector<xlsx::Column> sheetColumns(const db::Dataset& query);

// Writes `query`'s rows to `path`, replacing an existing workbook as a whole.
void exportSheet(const QString& path, const QString& table, const db::Dataset& query,
                 const QString& keyField, platform::Progress* progress);

}  // namespace dataexport
