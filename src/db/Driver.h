// The seam between the data access layer and a database engine. A driver owns one
// link to one database; statements it prepares must not outlive it.
#pragma once

#include "db/ResultSet.h"
#include "db/ServerRules.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QThread;

namespace db {

class Statement {
 public:
  virtual ~Statement() = default;
  // Binds the canonical values (NULL: an invalid QVariant), runs the statement and
  // returns the number of rows it touched.
  virtual qint64 execute(const std::vector<QVariant>& values) = 0;
  // Writes what the executions left to the engine and makes it durable where the
  // engine defers that.
  virtual void flush() {}
};

class Driver {
 public:
  virtual ~Driver() = default;
  virtual void open() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual QStringList tableNames() = 0;
  virtual ResultSet select(const QString& sql) = 0;
  virtual qint64 execute(const QString& sql) = 0;
  // Runs a batch of statements with '?' markers (one per entry of `types`) and returns
  // the first result that has columns (an empty one when none has). Only engines that
  // take several statements and parameters in one call can; others throw.
  virtual ResultSet select(const QString& sql, const std::vector<QVariant>& values,
                           const std::vector<FieldType>& types);
  // `sql` uses '?' markers, one per entry of `types`.
  virtual std::unique_ptr<Statement> prepare(const QString& sql,
                                             const std::vector<FieldType>& types) = 0;
  virtual QStringList primaryKey(const QString& table) = 0;
  // Every column of the table with its default; empty when the engine cannot tell.
  virtual std::vector<ColumnDefault> columnDefaults(const QString&) { return {}; }
  virtual QString quoteName(const QString& name) const;
  // How the engine compares texts; known once the link is open.
  virtual ServerRules rules() const { return {}; }
  // Creates the empty database the driver was made for; only file engines can.
  virtual void create();
  virtual void moveToThread(QThread*) {}
  // Seconds a statement may wait for the database before it fails with the timeout
  // text (0: no limit). Applies to statements run or prepared from now on.
  virtual void setCommandTimeout(int) {}
  // Makes the statement running on another thread fail at once, and every later one
  // on this link. Safe to call from any thread while the driver lives.
  virtual void cancel() {}
};

// The driver that serves an OLE DB style connection text (see Connection.h).
std::unique_ptr<Driver> makeDriver(const QString& connectionString);

// Drivers by engine.
std::unique_ptr<Driver> makeSqliteDriver(const QString& path);
// `target` names the server and database in the text of a failed login (empty: the
// driver's text alone).
std::unique_ptr<Driver> makeOdbcDriver(const QString& odbcText, int loginTimeoutSeconds,
                                       const QString& target = QString());
std::unique_ptr<Driver> makeJetDriver(const QString& path);
// An Excel workbook, read only.
std::unique_ptr<Driver> makeXlsxDriver(const QString& path);

}  // namespace db
