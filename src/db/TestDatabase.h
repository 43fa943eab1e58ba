// Test helper: a scratch database of one engine, SQLite (a file in a temporary folder)
// or PostgreSQL (a schema of its own in the server that scripts/start-test-postgres.sh
// starts, reached through ODBC), with a connection text for the layer.
#pragma once

#include "db/Connection.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace db::testing {

class TestDatabase {
 public:
  enum class Engine { Sqlite, Postgres };

  // Postgres: empty connectionString() when DATACONV_TEST_PG_DSN is not set.
  explicit TestDatabase(Engine engine);
  ~TestDatabase();

  bool available() const { return !connectionString_.isEmpty(); }
  const QString& connectionString() const { return connectionString_; }
  Engine engine() const { return engine_; }
  // Column types that differ between the engines.
  QString dateTimeType() const { return engine_ == Engine::Sqlite ? "datetime" : "timestamp"; }

  // Runs statements separated by ';' on a connection of its own.
  void run(const QString& script);
  std::unique_ptr<Connection> connect() const;

 private:
  Engine engine_;
  QTemporaryDir dir_;
  QString schema_;
  QString connectionString_;
};

inline const char* engineName(TestDatabase::Engine e) {
  return e == TestDatabase::Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

}  // namespace db::testing
