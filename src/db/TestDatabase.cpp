#include "TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>
#include <cstdlib>

namespace db::testing {
namespace {

QString environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? QString::fromUtf8(value) : QString();
}

const char* dsnVariable(TestDatabase::Engine engine) {
  return engine == TestDatabase::Engine::Tds ? "DATACONV_TEST_TDS_DSN" : "DATACONV_TEST_PG_DSN";
}

// A name no other test uses at the same time.
QString uniqueName() {
  return "t_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
}

}  // namespace

TestDatabase::TestDatabase(Engine engine) : engine_(engine) {
  if (engine == Engine::Sqlite) {
    const QString path = dir_.filePath("test.sqlite");
    QFile f(path);
    f.open(QIODevice::WriteOnly);  // an empty file is an empty SQLite database
    f.close();
    connectionString_ = "Provider=SQLite;Data Source=" + path;
    return;
  }
  const QString dsn = environment(dsnVariable(engine));
  if (dsn.isEmpty()) return;
  Connection admin;
  admin.setConnectionString(dsn);
  admin.open();
  if (engine == Engine::Postgres) {
    schema_ = uniqueName();
    admin.execute("CREATE SCHEMA " + schema_);
    connectionString_ = dsn + ";ConnSettings={SET search_path TO " + schema_ + "}";
    return;
  }
  database_ = uniqueName();
  // The test server's catalog refuses a database made while another test makes or drops
  // one ("tuple concurrently updated"): such a refusal is tried again, a few times.
  for (int attempt = 1;; ++attempt) {
    try {
      admin.execute("CREATE DATABASE " + database_);
      break;
    } catch (const std::exception& e) {
      if (attempt >= 5 || !QString::fromUtf8(e.what()).contains(QLatin1String("concurrently")))
        throw;
      QThread::msleep(100 * attempt);
    }
  }
  QString text = dsn;
  static const QRegularExpression databaseEntry(QStringLiteral("(^|;)\\s*Database\\s*=[^;]*"),
                                                QRegularExpression::CaseInsensitiveOption);
  text.replace(databaseEntry, QStringLiteral("\\1Database=") + database_);
  if (!text.contains(QStringLiteral("Database=") + database_))
    text += QStringLiteral(";Database=") + database_;
  connectionString_ = text;
}

TestDatabase::~TestDatabase() {
  if (schema_.isEmpty() && database_.isEmpty()) return;
  try {
    Connection admin;
    admin.setConnectionString(environment(dsnVariable(engine_)));
    admin.open();
    if (!schema_.isEmpty()) {
      admin.execute("DROP SCHEMA " + schema_ + " CASCADE");
      return;
    }
    // The drop fails while a session is in the database: one the test closed a moment
    // ago (the server lets go of it a little after the close), or one whose statement
    // timed out or was cancelled and lingers. Sessions still there are ended and the
    // drop tried again, for a while.
    QElapsedTimer trying;
    trying.start();
    for (;;) {
      try {
        admin.execute("DROP DATABASE " + database_);
        return;
      } catch (...) {
        if (trying.elapsed() > 10000) throw;
      }
      const ResultSet sessions =
          admin.select("SELECT session_id FROM sys.dm_exec_sessions WHERE database_id = DB_ID('" +
                       database_ + "') AND session_id <> @@SPID");
      for (size_t i = 0; i < sessions.cells.size(); ++i) {
        try {
          admin.execute("KILL " + QString::number(sessions.cells[i].toInt()));
        } catch (...) {
        }
      }
      QThread::msleep(50);
    }
  } catch (...) {
  }
}

QString TestDatabase::unavailableReason() const {
  return available() ? QString() : QStringLiteral("%1 is not set").arg(dsnVariable(engine_));
}

QString TestDatabase::booleanLiteral(bool value) const {
  if (engine_ == Engine::Tds) return value ? "1" : "0";
  return value ? "TRUE" : "FALSE";
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
