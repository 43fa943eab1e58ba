// Test support for the import: a scratch POS database with the four tables, the POS
// data module started on it, and Access source files made with the project's Access
// driver, their tables and columns named by the Chinese labels as the export makes
// them.
#pragma once

#include "TestDatabase.h"

#include <config/ColumnMap.h>
#include <db/Connection.h>
#include <posdb/DmMdf.h>

#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace dataimport::test {

using db::testing::TestDatabase;

class ScratchPos {
 public:
  explicit ScratchPos(TestDatabase::Engine engine);
  ~ScratchPos();

  // False for PostgreSQL and TDS when no test server is set up; why, for the skip message.
  bool available() const { return database_.available(); }
  QString unavailableReason() const { return database_.unavailableReason(); }
  // An SQL literal of a boolean value (bit columns on SQL Server take 1 and 0).
  QString booleanLiteral(bool value) const { return database_.booleanLiteral(value); }
  TestDatabase::Engine engine() const { return database_.engine(); }
  const QString& connectionString() const { return database_.connectionString(); }

  // Runs a statement on a connection of the test's own.
  void exec(const QString& sql);
  // Opens the four queries of `dm`, sorted, as "啟動資料庫" does.
  void start() { dm.startWith(database_.connectionString()); }

  // What the database holds, read afresh: the column of the row whose key column
  // equals `key` (invalid when there is no such row), and the table's row count.
  QVariant value(const QString& table, const QString& keyColumn, const QString& key,
                 const QString& column);
  int rowCount(const QString& table);
  // Every row of the table read afresh: key text → lower-case column name → the
  // value's text ("<NULL>" for NULL).
  using Rows = std::map<QString, std::map<QString, QString>>;
  Rows rows(const QString& table, const QString& keyColumn);

  posdb::TDmMSSQL dm;

 private:
  TestDatabase database_;
  std::unique_ptr<db::Connection> admin_;
};

struct SourceColumn {
  QString name;
  QString type = QStringLiteral("char(60)");
};
using SourceRow = std::vector<std::optional<QString>>;  // nullopt: NULL

// Creates the Access file when missing and adds table `table` with the rows.
void writeAccessTable(const QString& path, const QString& table,
                      const std::vector<SourceColumn>& columns, const std::vector<SourceRow>& rows);

// The table's Access file and column map as the export would make them from the rows
// the POS query holds now (none when not `posRows`), followed by `extra` rows of
// field → text.
void exportRows(const QString& path, const QString& table, const db::Dataset& query,
                const QString& keyField,
                const std::vector<std::vector<std::pair<QString, QString>>>& extra = {},
                bool posRows = true);

// The column map the export writes for a POS query: the key, then every field by its
// display label.
config::ColumnMap exportMap(const db::Dataset& query, const QString& keyField);

}  // namespace dataimport::test
