// Rows sent to SQL Server in batches (the TDS test server): a row that conflicts, that
// the server refuses, or that a cancel or a lost link meets inside a batch ends its table
// as it would have on its own, and the journal holds exactly the rows that may have been
// written, each before its batch was sent.
#include "import/TableImport.h"

#include "ImportTestSupport.h"
#include "import/ImportDriver.h"
#include "import/ImportJournal.h"
#include "import/JournalUndo.h"

#include <config/Configs.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <journal/JournalFile.h>
#include <platform/Cancelled.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::SourceRow;
using test::TestDatabase;

QString custNo(int i) {
  return QStringLiteral("C%1").arg(i, 3, 10, QLatin1Char('0'));
}

// Tells the journal of each row and keeps the order: "R" a row journaled, "P" posted,
// "F" failed (may have written), "f" not written.
class Recorder : public ImportObserver {
 public:
  explicit Recorder(ImportObserver& journal) : journal_(journal) {}
  void rowReady(const journal::RowChange& change) override {
    if (onReady) onReady();
    journal_.rowReady(change);
    events += u'R';
  }
  void rowPosted() override {
    journal_.rowPosted();
    events += u'P';
  }
  void rowFailed(bool mayHaveWritten) override {
    journal_.rowFailed(mayHaveWritten);
    events += mayHaveWritten ? u'F' : u'f';
  }
  QString events;
  std::function<void()> onReady;

 private:
  ImportObserver& journal_;
};

class CancelAt : public platform::Progress {
 public:
  explicit CancelAt(int row) : row_(row) {}
  void start(int) override {}
  void step(int done, int) override {
    if (done == row_) throw platform::Cancelled();
  }
  void finish() override {}

 private:
  int row_;
};

class BatchedImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    pos_ = std::make_unique<ScratchPos>(TestDatabase::Engine::Tds);
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
  }
  void TearDown() override {
    source_.reset();
    access_.close();
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  // Customers C001.. with names "old 1".. and VipCount 1..
  void fill(int rows) {
    for (int from = 1; from <= rows; from += 500) {
      QStringList values;
      for (int i = from; i <= std::min(rows, from + 499); ++i)
        values << QStringLiteral("('%1', 'old %2', %2)").arg(custNo(i)).arg(i);
      pos_->exec("INSERT INTO Customer (CustNo, Name, VipCount) VALUES " + values.join(u','));
    }
    pos_->start();
  }

  // The Access file the operator brings back: key, name and VipCount per row.
  void source(const std::vector<SourceRow>& rows) {
    config::ColumnMap map;
    map.setKey("CustNo", "K");
    map.addPair("Name", "N");
    map.addPair("VipCount", "V");
    map.writeTable("Customer");
    const QString mdb = dir_.filePath("Customer.mdb");
    QFile::remove(mdb);
    test::writeAccessTable(mdb, "Customer", {{"K"}, {"N"}, {"V"}}, rows);
    source_.reset();
    access_.close();
    access_.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + mdb);
    source_ = std::make_unique<db::Dataset>("qryAccess");
    source_->setConnection(&access_);
    source_->setSql(QStringLiteral("SELECT * FROM Customer"));
    source_->open();
  }

  // Every customer from `first` to `last` renamed "new i", VipCount as read.
  static std::vector<SourceRow> renamed(int first, int last) {
    std::vector<SourceRow> rows;
    for (int i = first; i <= last; ++i)
      rows.push_back({custNo(i), QStringLiteral("new %1").arg(i), QString::number(i)});
    return rows;
  }

  // Runs the import with its journal; the error's text, or "no error".
  QString run(int batchRows, platform::Progress* progress = nullptr) {
    ImportJournal journal(QStringLiteral("import"),
                          ImportDriver::posDescription(pos_->dm.cnKAROS.connectionString()));
    recorder_ = std::make_unique<Recorder>(journal);
    recorder_->onReady = onReady_;
    TableImport import(PosTable::Customer, *source_, pos_->dm.qryCustomer);
    import.setBatchRows(batchRows);
    import.setObserver(recorder_.get());
    platform::NoProgress none;
    QString error = QStringLiteral("no error");
    try {
      import.run(progress ? *progress : none);
    } catch (const platform::Cancelled&) {
      error = QStringLiteral("cancelled");
    } catch (const platform::Error& e) {
      error = e.message();
    }
    journal.finish(error == "no error");
    journalPath_ = journal.path();
    stoppedAt_ = import.rowNumber();
    return error;
  }

  // The journal's entries as "key" or "key?" (not known whether written).
  QStringList journaled() const {
    QStringList out;
    for (const journal::RowChange& c : journal::JournalFile::open(journalPath_)->entries())
      out << c.key + (c.uncertain ? QStringLiteral("?") : QString());
    return out;
  }

  QString name(int i) { return pos_->value("Customer", "CustNo", custNo(i), "Name").toString(); }

  static QStringList keys(int first, int last, const QString& mark = QString()) {
    QStringList out;
    for (int i = first; i <= last; ++i) out << custNo(i) + mark;
    return out;
  }

  // A thousand customers renamed, with their VipCount raised, in batches of at most
  // `batchRows`: the runs of journaled ("R") and posted ("P") rows, as "401R 400P ...".
  // Every 50th row journaled, a second session counts the rows the POS holds: exactly
  // those reported posted, since a row is journaled before its batch goes out.
  QString thousandRenamed(int batchRows) {
    fill(1000);
    std::vector<SourceRow> rows;
    for (int i = 1; i <= 1000; ++i)
      rows.push_back({custNo(i), QStringLiteral("new %1").arg(i), QString::number(i + 1)});
    source(rows);
    db::Connection watcher;
    watcher.setConnectionString(pos_->connectionString());
    watcher.open();
    int checked = 0;
    onReady_ = [&] {
      if (recorder_->events.count(u'R') % 50 != 0) return;
      const int written =
          watcher.select("SELECT COUNT(*) FROM Customer WHERE Name LIKE 'new %'").cells[0].toInt();
      EXPECT_EQ(written, recorder_->events.count(u'P'));
      ++checked;
    };
    EXPECT_EQ(run(batchRows), "no error");
    EXPECT_EQ(checked, 20);
    EXPECT_EQ(name(1000), "new 1000");
    EXPECT_EQ(pos_->value("Customer", "CustNo", custNo(1000), "VipCount").toInt(), 1001);
    EXPECT_EQ(journaled().size(), 1000);
    QStringList runs;
    for (qsizetype i = 0; i < recorder_->events.size();) {
      qsizetype j = i;
      while (j < recorder_->events.size() && recorder_->events[j] == recorder_->events[i]) ++j;
      runs << QStringLiteral("%1%2").arg(j - i).arg(recorder_->events[i]);
      i = j;
    }
    return runs.join(u' ');
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
  db::Connection access_;
  std::unique_ptr<db::Dataset> source_;
  std::unique_ptr<Recorder> recorder_;
  std::function<void()> onReady_;
  QString journalPath_;
  int stoppedAt_ = 0;  // the file row the last run stopped at, as its report names it
};

TEST_F(BatchedImportTest, ARowChangedByAnotherUserInsideABatchStopsTheTableThere) {
  fill(10);
  source(renamed(1, 10));
  // Changed by the back office after the start: its batch (rows 5 to 8) is rolled back
  // and posted again row by row up to it.
  pos_->exec("UPDATE Customer SET Name = 'other' WHERE CustNo = 'C006'");
  const QString error = run(4);
  EXPECT_TRUE(error.contains("C006") && error.contains(QStringLiteral("已被其他使用者修改")))
      << error.toStdString();
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(name(i), QStringLiteral("new %1").arg(i));
  EXPECT_EQ(name(6), "other");
  for (int i = 7; i <= 10; ++i) EXPECT_EQ(name(i), QStringLiteral("old %1").arg(i));
  EXPECT_EQ(recorder_->events.toStdString(), "RRRRPPPPRRRRPfff");
  EXPECT_EQ(journaled(), keys(1, 5));
  // The walk had gone on to row 8; the report names the row that failed.
  EXPECT_EQ(stoppedAt_, 6);
  // The query holds what the POS holds: the rows after the conflict as read.
  db::Dataset& q = pos_->dm.qryCustomer;
  EXPECT_EQ(q.lookup("CustNo", "C005", "Name").toString(), "new 5");
  EXPECT_EQ(q.lookup("CustNo", "C007", "Name").toString(), "old 7");
  EXPECT_EQ(q.state(), db::Dataset::State::Browse);
}

TEST_F(BatchedImportTest, AnAppendedRowTheServerRefusesStopsTheTableWithItsOwnText) {
  fill(1);
  pos_->exec("ALTER TABLE Customer ADD CONSTRAINT CK_Vip CHECK (VipCount < 1000)");
  std::vector<SourceRow> rows;
  for (int i = 101; i <= 110; ++i)
    rows.push_back({custNo(i), QStringLiteral("n%1").arg(i), i == 106 ? "5000" : "7"});
  source(rows);
  const QString error = run(4);
  EXPECT_TRUE(error.startsWith(QStringLiteral(
      "Customer（CustNo = C106）無法寫入 POS 資料庫（Name =「n106」、VipCount =「5000」）：")))
      << error.toStdString();
  EXPECT_EQ(pos_->rowCount("Customer"), 6);
  EXPECT_EQ(name(105), "n105");
  EXPECT_FALSE(pos_->value("Customer", "CustNo", custNo(106), "Name").isValid());
  EXPECT_EQ(recorder_->events.toStdString(), "RRRRPPPPRRRRPfff");
  EXPECT_EQ(journaled(), keys(101, 105));
  EXPECT_EQ(pos_->dm.qryCustomer.recordCount(), 6);
  // Nothing of the rolled back batch is left open on the session.
  EXPECT_EQ(pos_->dm.cnKAROS.select("SELECT @@TRANCOUNT").cells.front().toInt(), 0);
}

TEST_F(BatchedImportTest, ACancelSendsTheRowsHeldBeforeItEnds) {
  fill(10);
  source(renamed(1, 10));
  CancelAt cancel(6);
  EXPECT_EQ(run(4, &cancel), "cancelled");
  // Rows 5 and 6 were held when the cancel came: journaled, so written.
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(name(i), QStringLiteral("new %1").arg(i));
  EXPECT_EQ(name(7), "old 7");
  EXPECT_EQ(recorder_->events.toStdString(), "RRRRPPPPRRPP");
  EXPECT_EQ(journaled(), keys(1, 6));
}

// Values sent as parameters, five a row (two cells set, the key, two cells checked):
// 400 rows fit SQL Server's limit of parameters a request. The row that does not fit a
// batch is journaled before the batch goes out.
TEST_F(BatchedImportTest, BatchesStayUnderTheParameterLimitAndFollowTheirJournal) {
  pos_->dm.qryCustomer.setLiteralBatches(false);
  EXPECT_EQ(thousandRenamed(5000).toStdString(), "401R 400P 400R 400P 199R 200P");
}

// Values written into the batch's text: a batch is bounded by the rows it may hold, and
// a full one goes out as its last row is held.
TEST_F(BatchedImportTest, BatchesOfLiteralsHoldTheirRowsAndFollowTheirJournal) {
  EXPECT_EQ(thousandRenamed(300).toStdString(), "300R 300P 300R 300P 300R 300P 100R 100P");
}

// An undo puts rows back in batches too: a row the server refuses inside a batch leaves
// the rows taken back before it restored and journaled, and those after it untouched.
TEST_F(BatchedImportTest, AnUndoRefusedInsideABatchStopsAtThatRow) {
  fill(10);
  source(renamed(1, 10));
  ASSERT_EQ(run(500), "no error");
  const QString imported = journalPath_;
  pos_->exec("ALTER TABLE Customer ADD CONSTRAINT CK_Name CHECK (Name <> 'old 6')");
  platform::NoProgress none;
  QString error;
  try {
    JournalUndo(pos_->dm, imported).run(false, none);
  } catch (const platform::Error& e) {
    error = e.message();
  }
  EXPECT_TRUE(error.contains("CK_Name", Qt::CaseInsensitive)) << error.toStdString();
  // Taken back newest first: 10 to 7, then 6 refused.
  for (int i = 7; i <= 10; ++i) EXPECT_EQ(name(i), QStringLiteral("old %1").arg(i));
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(name(i), QStringLiteral("new %1").arg(i));
  const QStringList journals = ImportJournal::list();
  ASSERT_FALSE(journals.isEmpty());
  journalPath_ = journals.back();
  ASSERT_NE(journalPath_, imported);
  QStringList expected;
  for (int i = 10; i >= 7; --i) expected << custNo(i);
  EXPECT_EQ(journaled(), expected);
  EXPECT_EQ(journal::JournalFile::open(journalPath_)->run().outcome, "failed");
}

// With NOCOUNT on, a batch is rolled back and its rows posted again one at a time: the
// first fails as a single post does, its entry kept as not known, the others not sent.
TEST_F(BatchedImportTest, NocountOnTheImportsSessionIsStillDetected) {
  fill(4);
  pos_->dm.cnKAROS.execute("SET NOCOUNT ON");
  source(renamed(1, 4));
  const QString error = run(4);
  EXPECT_TRUE(error.contains("NOCOUNT")) << error.toStdString();
  EXPECT_EQ(recorder_->events.toStdString(), "RRRRFfff");
  EXPECT_EQ(journaled(), QStringList({custNo(1) + "?"}));
  EXPECT_EQ(name(1), "new 1");
  EXPECT_EQ(name(2), "old 2");
}

// A row held by another session keeps the batch waiting past the command timeout; the
// link is given up with the batch's outcome unknown: every row of it may be written.
TEST_F(BatchedImportTest, ALinkLostDuringABatchLeavesItsRowsUncertain) {
  fill(4);
  source(renamed(1, 4));
  pos_->dm.cnKAROS.setCommandTimeout(1);
  QSqlDatabase holder = QSqlDatabase::addDatabase("QODBC", "batch-row-holder");
  {
    holder.setDatabaseName(pos_->connectionString());
    ASSERT_TRUE(holder.open());
    QSqlQuery hold(holder);
    hold.setForwardOnly(true);
    ASSERT_TRUE(holder.transaction());
    ASSERT_TRUE(hold.exec("UPDATE Customer SET Name = Name WHERE CustNo = 'C003'"))
        << hold.lastError().text().toStdString();
    EXPECT_EQ(run(4), db::Connection::timeoutMessage(1));
    holder.rollback();
    hold.finish();
    holder.close();
  }
  holder = QSqlDatabase();
  QSqlDatabase::removeDatabase("batch-row-holder");
  EXPECT_EQ(recorder_->events.toStdString(), "RRRRFFFF");
  EXPECT_EQ(journaled(), keys(1, 4, "?"));
}

}  // namespace
}  // namespace dataimport
