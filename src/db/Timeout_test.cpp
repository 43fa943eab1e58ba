// Statements that wait for a table another session holds: they end at the command
// timeout with the timeout text, or at once when cancelled from another thread; on
// SQLite files and PostgreSQL through ODBC. No test here waits on the clock: the
// waits are ended by the timeout under test or by an event the test sees.
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
    if (!db_->available()) GTEST_SKIP() << "DATACONV_TEST_PG_DSN is not set";
    db_->run(
        "CREATE TABLE Stock (Code varchar(8) NOT NULL PRIMARY KEY, Qty integer);"
        "INSERT INTO Stock (Code, Qty) VALUES ('A1', 1)");
    holder_ = db_->connect();
  }

  void TearDown() override {
    if (pg_.isValid()) {
      pg_.close();
      pg_ = QSqlDatabase();
      QSqlDatabase::removeDatabase("timeout-holder");
    }
  }

  bool sqlite() const { return GetParam() == TestDatabase::Engine::Sqlite; }

  // Another session holds the table until release(): an exclusive SQLite transaction,
  // or a PostgreSQL transaction (the ODBC link out of autocommit) holding the table lock.
  void hold() {
    if (sqlite()) {
      holder_->execute("BEGIN EXCLUSIVE");
      return;
    }
    pg_ = QSqlDatabase::addDatabase("QODBC", "timeout-holder");
    pg_.setDatabaseName(db_->connectionString());
    ASSERT_TRUE(pg_.open()) << pg_.lastError().text().toStdString();
    ASSERT_TRUE(pg_.transaction());
    QSqlQuery lock(pg_);
    ASSERT_TRUE(lock.exec("LOCK TABLE Stock IN ACCESS EXCLUSIVE MODE"))
        << lock.lastError().text().toStdString();
  }
  void release() {
    if (sqlite())
      holder_->execute("COMMIT");
    else
      pg_.rollback();
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
  QSqlDatabase pg_;
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
  // The same for a prepared statement run once per row (import and export posts).
  EXPECT_EQ(errorOf([&] {
              update->execute({QVariant(2), QVariant(QStringLiteral("A1"))});
            }),
            Connection::timeoutMessage(1));
  release();
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
  hold();
  std::atomic<bool> done{false};
  QString error;
  std::thread worker([&] {
    error = errorOf([&] { c->select("select * from Stock"); });
    done = true;
  });
  if (!sqlite()) {
    // Cancel once the server shows the statement waiting for the lock (bounded, in
    // case it never does: the cancel then comes first, with the same outcome).
    auto admin = db_->connect();
    QElapsedTimer bound;
    bound.start();
    while (admin->select("select count(*) from pg_locks where not granted and "
                         "relation = 'stock'::regclass")
                   .cells.at(0)
                   .toInt() == 0 &&
           bound.elapsed() < 60000)
      QThread::yieldCurrentThread();
  }
  c->cancel();
  worker.join();
  EXPECT_TRUE(done);
  EXPECT_EQ(error, Connection::cancelledMessage());
  EXPECT_EQ(errorOf([&] { c->select("select * from Stock"); }), Connection::cancelledMessage());
  release();
  c->close();
  c->open();
  EXPECT_EQ(c->select("select Qty from Stock").cells.at(0).toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, TimeoutTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres),
                         [](const auto& info) {
                           return std::string(db::testing::engineName(info.param));
                         });

}  // namespace
