// Statements that wait for a table another session holds: they end at the command
// timeout with the timeout text, or at once when cancelled from another thread; on
// SQLite files, and PostgreSQL and a server speaking SQL Server's protocol (TDS) through
// ODBC. No test here waits on the clock: the waits are ended by the timeout under test
// or by an event the test sees.
//
// The TDS server does not act on the cancel FreeTDS sends while a statement waits: a
// statement that timed out ends after about twice the timeout and leaves its link dead,
// and a cancelled one ends only when the table is free. SQL Server ends both at once and
// keeps the link. On that server the tests open the link again after a timeout and free
// the table right after the cancel, and check what both servers share.
#include "Driver.h"
#include "TestDatabase.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Dataset.h"

#include <platform/Error.h>

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <atomic>
#include <thread>

using db::Connection;
using db::testing::TestDatabase;

namespace {

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return "no error";
}

class TimeoutTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TestDatabase>(GetParam());
    if (!db_->available()) GTEST_SKIP() << db_->unavailableReason().toStdString();
    db_->run(
        "CREATE TABLE Stock (Code varchar(8) NOT NULL PRIMARY KEY, Qty integer);"
        "INSERT INTO Stock (Code, Qty) VALUES ('A1', 1)");
    holder_ = db_->connect();
  }

  void TearDown() override {
    if (odbc_.isValid()) {
      odbc_.close();
      odbc_ = QSqlDatabase();
      QSqlDatabase::removeDatabase("timeout-holder");
    }
  }

  bool sqlite() const { return GetParam() == TestDatabase::Engine::Sqlite; }
  bool tds() const { return GetParam() == TestDatabase::Engine::Tds; }

  // Another session holds the table until release(): an exclusive SQLite transaction,
  // or a transaction over ODBC (the link out of autocommit) holding the table lock.
  // T-SQL has no LOCK TABLE, and the TDS server ignores table hints such as TABLOCKX
  // and lets readers past a row another session changed; a column added and not yet
  // committed keeps readers and writers out on it as on SQL Server.
  void hold() {
    if (sqlite()) {
      holder_->execute("BEGIN EXCLUSIVE");
      return;
    }
    odbc_ = QSqlDatabase::addDatabase("QODBC", "timeout-holder");
    odbc_.setDatabaseName(db_->connectionString());
    ASSERT_TRUE(odbc_.open()) << odbc_.lastError().text().toStdString();
    ASSERT_TRUE(odbc_.transaction());
    QSqlQuery lock(odbc_);
    lock.setForwardOnly(true);  // FreeTDS opens a server cursor otherwise, for a query only
    ASSERT_TRUE(lock.exec(tds() ? "ALTER TABLE Stock ADD Held integer"
                                : "LOCK TABLE Stock IN ACCESS EXCLUSIVE MODE"))
        << lock.lastError().text().toStdString();
  }
  void release() {
    if (sqlite())
      holder_->execute("COMMIT");
    else
      odbc_.rollback();
  }

  // The TDS server leaves the link of a statement that timed out dead (see the top).
  void reopenAfterTimeout(Connection& c) {
    if (!tds()) return;
    c.close();
    c.open();
  }

  std::unique_ptr<Connection> waiter(int timeout) {
    auto c = std::make_unique<Connection>();
    c->setConnectionString(db_->connectionString());
    c->setCommandTimeout(timeout);
    c->open();
    return c;
  }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> holder_;
  QSqlDatabase odbc_;
};

TEST_P(TimeoutTest, AStatementOnAHeldTableFailsAtTheTimeoutWithItsText) {
  auto c = waiter(1);
  auto update =
      c->prepare("update Stock set Qty = ? where Code = ?", {db::ftInteger, db::ftString});
  hold();
  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(errorOf([&] { c->select("select * from Stock"); }), Connection::timeoutMessage(1));
  EXPECT_GE(timer.elapsed(), 900);
  if (tds()) {
    reopenAfterTimeout(*c);
    update = c->prepare("update Stock set Qty = ? where Code = ?", {db::ftInteger, db::ftString});
  }
  // The same for a prepared statement run once per row (import and export posts).
  EXPECT_EQ(errorOf([&] {
              update->execute({QVariant(2), QVariant(QStringLiteral("A1"))});
            }),
            Connection::timeoutMessage(1));
  release();
  if (tds()) {
    reopenAfterTimeout(*c);
    update = c->prepare("update Stock set Qty = ? where Code = ?", {db::ftInteger, db::ftString});
  }
  // Once the table is free the same connection works again.
  EXPECT_EQ(update->execute({QVariant(3), QVariant(QStringLiteral("A1"))}), 1);
  EXPECT_EQ(c->select("select Qty from Stock").cells.at(0).toInt(), 3);
}

TEST_P(TimeoutTest, ADatasetOpenEndsAtTheTimeout) {
  auto c = waiter(1);
  db::Dataset qry("qryStock");
  qry.setConnection(c.get());
  qry.setSql("select * from Stock");
  hold();
  EXPECT_EQ(errorOf([&] { qry.open(); }), Connection::timeoutMessage(1));
  EXPECT_FALSE(qry.isOpen());
  release();
}

// Cancel from another thread ends a statement that would wait without limit; the
// statements after it fail too until the connection is opened again.
TEST_P(TimeoutTest, CancelEndsAWaitWithoutLimit) {
  auto c = waiter(0);
  const QString waiterSpid = tds() ? c->select("select @@SPID").cells.at(0).toString() : QString();
  hold();
  std::atomic<bool> done{false};
  QString error;
  std::thread worker([&] {
    error = errorOf([&] { c->select("select * from Stock"); });
    done = true;
  });
  if (!sqlite()) {
    // Cancel once the server shows the statement waiting for the lock (bounded, in
    // case it never does: the cancel then comes first, with the same outcome). The TDS
    // server tells no lock waits apart (its sysprocesses shows a blocker for idle
    // sessions too): there the waiter's session running a statement is the sign,
    // 'running' on SQL Server, 'active' on that server.
    auto admin = db_->connect();
    const QString waiting =
        tds() ? "select count(*) from sys.dm_exec_sessions where session_id = " + waiterSpid +
                    " and status in ('running', 'active')"
              : "select count(*) from pg_locks where not granted and relation = 'stock'::regclass";
    QElapsedTimer bound;
    bound.start();
    while (admin->select(waiting).cells.at(0).toInt() == 0 && bound.elapsed() < 60000)
      QThread::yieldCurrentThread();
  }
  c->cancel();
  if (tds()) release();  // the TDS server ends the cancelled statement only then
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(error, Connection::cancelledMessage());
  EXPECT_EQ(errorOf([&] { c->select("select * from Stock"); }), Connection::cancelledMessage());
  if (!tds()) release();
  c->close();
  c->open();
  EXPECT_EQ(c->select("select Qty from Stock").cells.at(0).toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, TimeoutTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) {
                           return std::string(db::testing::engineName(info.param));
                         });

}  // namespace
