// Test helper: a scratch database of one engine, with a connection text for the layer:
//  - SQLite: a file in a temporary folder;
//  - PostgreSQL: a schema of its own in the server that scripts/start-test-postgres.sh
//    starts, reached through ODBC;
//  - TDS: a database of its own in the server speaking SQL Server's protocol that
//    scripts/start-test-tds.sh starts, reached through ODBC and FreeTDS as SQL Server is.
#pragma once

#include "db/Connection.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace db::testing {

class TestDatabase {
 public:
  enum class Engine { Sqlite, Postgres, Tds };

  // Postgres, Tds: empty connectionString() when DATACONV_TEST_PG_DSN or
  // DATACONV_TEST_TDS_DSN is not set.
  explicit TestDatabase(Engine engine);
  ~TestDatabase();

  bool available() const { return !connectionString_.isEmpty(); }
  // Why available() is false, for the skip message.
  QString unavailableReason() const;
  const QString& connectionString() const { return connectionString_; }
  Engine engine() const { return engine_; }
  // Column types and literals that differ between the engines.
  QString dateTimeType() const { return engine_ == Engine::Postgres ? "timestamp" : "datetime"; }
  QString booleanType() const { return engine_ == Engine::Postgres ? "boolean" : "bit"; }
  QString booleanLiteral(bool value) const;

  // Runs statements separated by ';' on a connection of its own.
  void run(const QString& script);
  std::unique_ptr<Connection> connect() const;

 private:
  Engine engine_;
  QTemporaryDir dir_;
  QString schema_;    // Postgres
  QString database_;  // Tds
  QString connectionString_;
};

inline const char* engineName(TestDatabase::Engine e) {
  switch (e) {
    case TestDatabase::Engine::Sqlite:
      return "SQLite";
    case TestDatabase::Engine::Postgres:
      return "PostgreSQL";
    case TestDatabase::Engine::Tds:
      return "TDS";
  }
  return "?";
}

}  // namespace db::testing
