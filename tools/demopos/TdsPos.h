// Test support: the demo POS on the test TDS server (scripts/start-test-tds.sh), in a
// database of its own made from the SQL Server DDL the operators get, its rows copied
// in through the program's own data layer.
#pragma once

#include "TestDatabase.h"

#include <QString>
#include <memory>

namespace db {
class Connection;
}

namespace demopos {

// The rows of the four tables of the SQLite demo POS `sqlitePath` inserted into the
// same tables made on `target`, through the program's own data layer; column names in
// brackets where the server wants them so (SQL Server), else as they are (folded by
// PostgreSQL).
void copyPosRows(const QString& sqlitePath, db::Connection& target, bool bracketNames);

class TdsPos {
 public:
  // Copies the four tables of the SQLite demo POS `sqlitePath`; unavailable() when no
  // TDS test server is set up (DATACONV_TEST_TDS_DSN).
  explicit TdsPos(const QString& sqlitePath);

  bool available() const { return database_.available(); }
  // The ODBC connection text of the database.
  const QString& connectionString() const { return database_.connectionString(); }
  // Section MSSQL of a Config.ini that reaches it as a shop's server: host and port,
  // database, login and password, lines ending in CR LF.
  QString configSection() const;
  // Runs one statement; the first column of the first row, if any, as text.
  QString sql(const QString& statement) const;

 private:
  db::testing::TestDatabase database_{db::testing::TestDatabase::Engine::Tds};
};

}  // namespace demopos
