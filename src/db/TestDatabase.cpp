#include "TestDatabase.h"

#include <QFile>
#include <QUuid>
#include <cstdlib>

namespace db::testing {

TestDatabase::TestDatabase(Engine engine) : engine_(engine) {
  if (engine == Engine::Sqlite) {
    const QString path = dir_.filePath("test.sqlite");
    QFile f(path);
    f.open(QIODevice::WriteOnly);  // an empty file is an empty SQLite database
    f.close();
    connectionString_ = "Provider=SQLite;Data Source=" + path;
    return;
  }
  const char* dsn = std::getenv("DATACONV_TEST_PG_DSN");
  if (!dsn || !*dsn) return;
  schema_ = "t_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
  Connection admin;
  admin.setConnectionString(QString::fromUtf8(dsn));
  admin.open();
  admin.execute("CREATE SCHEMA " + schema_);
  connectionString_ = QString::fromUtf8(dsn) + ";ConnSettings={SET search_path TO " + schema_ + "}";
}

TestDatabase::~TestDatabase() {
  if (schema_.isEmpty()) return;
  try {
    Connection admin;
    admin.setConnectionString(QString::fromUtf8(std::getenv("DATACONV_TEST_PG_DSN")));
    admin.open();
    admin.execute("DROP SCHEMA " + schema_ + " CASCADE");
  } catch (...) {
  }
}

std::unique_ptr<Connection> TestDatabase::connect() const {
  auto c = std::make_unique<Connection>();
  c->setConnectionString(connectionString_);
  c->open();
  return c;
}

void TestDatabase::run(const QString& script) {
  auto c = connect();
  for (const QString& statement : script.split(';')) {
    if (!statement.trimmed().isEmpty()) c->execute(statement);
  }
}

}  // namespace db::testing
