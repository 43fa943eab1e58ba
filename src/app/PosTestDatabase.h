// A small POS database for the window tests: the four tables with every declared
// column, and a few rows in no particular order.
#pragma once

#include <QString>
#include <functional>

namespace db {
class Connection;
}

namespace app::test {

enum class SqlDialect { SQLite, PostgreSQL, SqlServer };

// Lets a test break the schema: the column's SQL type to use, or an empty text to
// leave the column out.
using ColumnAdjust =
    std::function<QString(const QString& table, const QString& column, const QString& type)>;

// Names are left unquoted, so PostgreSQL folds them to lower case as it does for the
// program's own statements; SQL Server's column names are quoted, as some are reserved
// words there. Creates Classify, Supplier, Item and Customer (except those in
// `skipTables`, a comma-separated list) and fills them. Existing tables of those names are dropped.
void createPosTables(db::Connection& connection, SqlDialect dialect, const QString& skipTables = {},
                     const ColumnAdjust& adjust = {});

}  // namespace app::test
