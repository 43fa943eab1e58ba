// The value a column's declared default gives a new row, where that is a constant.
#pragma once

#include "db/FieldType.h"
#include "db/ResultSet.h"

#include <QVariant>
#include <optional>

namespace db {

// The canonical value (NULL: an invalid QVariant) a row added without the column
// gets; none when the default is not a constant (a function such as getdate() or
// now(), a sequence, a column the database fills itself) or is not understood. Reads
// the forms SQL Server ("((0))", "(N'x')"), PostgreSQL ("'x'::character varying",
// "0.5") and SQLite ("'x'", "NULL") show a default in.
std::optional<QVariant> constantDefault(const ColumnDefault& column, FieldType type);

}  // namespace db
