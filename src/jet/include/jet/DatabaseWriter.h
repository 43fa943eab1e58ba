// Writing Access 2000-2003 (Jet 4) databases: create an empty database, create tables,
// append rows.
//
//   jet::DatabaseWriter::create("Item.mdb");
//   jet::DatabaseWriter db = jet::DatabaseWriter::open("Item.mdb");
//   db.createTable("Item", {{"品名", jet::ColumnType::Text, 40}, {"售價",
//   jet::ColumnType::Double}}); jet::TableAppender rows = db.appender("Item");
//   rows.append({jet::Value::text("阿斯匹靈"), jet::Value::real(12.5)});
//
// The file is consistent after every page write: a failure or a killed process leaves a
// database every reader opens, holding the rows appended before, up to those an
// appender still held in memory (see TableAppender::write). What the engine
// cannot do correctly it refuses with a jet::Error before writing anything: appending
// to tables with indexes or AutoNumber columns, table names the catalog's index cannot
// sort, a catalog index that would need a second page, values that do not fit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/TableInfo.h"
#include "jet/Value.h"

namespace jet {

struct NewColumn {
  std::string name;
  ColumnType type = ColumnType::Text;
  int maxChars = 255;  // Text only: 1..255 characters
};

class TableAppender;

class DatabaseWriter {
 public:
  // Creates an empty database at `path`, which must not exist yet.
  static void create(const std::string& path);
  // Opens an existing database for writing (one writer at a time).
  static DatabaseWriter open(const std::string& path);

  DatabaseWriter(DatabaseWriter&&) noexcept;
  DatabaseWriter& operator=(DatabaseWriter&&) noexcept;
  ~DatabaseWriter();

  const std::string& path() const;
  std::vector<std::string> tableNames() const;
  bool hasTable(const std::string& name) const;  // without regard to case
  TableInfo table(const std::string& name) const;

  // Creates a table without indexes: Text(n), Memo, Long, Double, Currency, DateTime,
  // Boolean and OLE columns (Byte, Integer and Single as well). Names may hold any
  // Unicode for columns; table names must be sortable by the catalog's index.
  void createTable(const std::string& name, const std::vector<NewColumn>& columns);

  // Appends rows to the table `name`; refuses tables it cannot keep consistent.
  TableAppender appender(const std::string& name);

  // Writes the rows the open appenders hold and makes everything durable (fsync).
  void flush();

  struct State;

 private:
  explicit DatabaseWriter(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

class TableAppender {
 public:
  TableAppender(TableAppender&&) noexcept;
  TableAppender& operator=(TableAppender&&) noexcept;
  ~TableAppender();

  const TableInfo& table() const { return info_; }
  // One value per column, in column order. NULL is allowed everywhere (a NULL Boolean
  // is stored as false). Throws jet::Error, writing nothing, for a value that does not
  // fit its column.
  void append(const std::vector<Value>& row);
  std::uint64_t appended() const;
  // Writes the appended rows the appender still holds to the file (no fsync): from then
  // on a killed process keeps them. Rows go out a data page at a time: when a row
  // needs a new page, at write() or flush(), and at the appender's end. Pages are
  // written behind the appender, in order, on a thread of their own; write(), flush(),
  // the end and a failed append() wait for them (another reader of the file sees it
  // settled only then).
  void write();
  // Writes the rows held, as write(), and makes the appended rows durable (fsync), as
  // the appender's end also does; flush() reports what the end cannot. Creating a
  // database or a table is flushed when it returns.
  void flush();

 private:
  friend class DatabaseWriter;
  struct Impl;
  TableAppender(std::shared_ptr<DatabaseWriter::State> db, std::unique_ptr<Impl> impl,
                TableInfo info);
  std::shared_ptr<DatabaseWriter::State> db_;
  std::unique_ptr<Impl> impl_;
  TableInfo info_;
};

}  // namespace jet
