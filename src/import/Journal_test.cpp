// The import journal and its undo against real POS engines (SQLite, and PostgreSQL over
// ODBC when the test server is set up): an import run through the real driver, taken
// back, and taken back again; later changes left alone; a run that failed or was killed.
#include "import/ImportDriver.h"

#include <journal/JournalFile.h>
#include "ImportTestSupport.h"
#include "import/DmMdb.h"
#include "import/ImportJournal.h"
#include "import/JournalUndo.h"
#include "import/TableImport.h"

#include <config/Configs.h>
#include <db/Dataset.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>
#include <random>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::TestDatabase;
namespace k = config::keys;

// Every row of the four tables by table and key: each declared field's kept text.
using Snapshot = std::map<QString, std::map<QString, QStringList>>;

// Runs each table at once; a failure ends that table, as the windows show it.
class DirectFrontEnd : public ImportFrontEnd {
 public:
  void selectTab(int) override {}
  bool importTable(const ImportTable&, TableImport& import) override {
    try {
      import.run(progress ? *progress : none);
      return true;
    } catch (const platform::Error& e) {
      errors << e.message();
      return false;
    }
  }
  platform::Progress* progress = nullptr;
  platform::NoProgress none;
  QStringList errors;
};

class JournalTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    for (const auto& t : {k::ExportClassify, k::ExportItem, k::ExportSupplier, k::ExportCustomer})
      config::Config().write(t, true);
    // Overwrite every Item column, so that all of them travel.
    for (const auto& s : {k::UpdateShelfNo, k::UpdateAvgCost, k::UpdateUniPrice, k::UpdatePrice,
                          k::UpdateMemPrice, k::UpdateVipPrice, k::UpdateStkQty})
      config::Config().write(s, true);
    pos_ = std::make_unique<ScratchPos>(GetParam());
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
  }
  void TearDown() override {
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  void seed(int customers = 6) {
    pos_->exec("INSERT INTO Classify (ClsNo, ClsName, Flag) VALUES ('001', '感冒藥', " +
               pos_->booleanLiteral(true) + "), ('002', '維他命', " + pos_->booleanLiteral(false) +
               ")");
    pos_->exec(
        "INSERT INTO Supplier (FactNo, FactName, DisRate, TradeDate) VALUES "
        "('S01', '甲廠商', 0.075, '1899-12-30 00:00:00'), ('S02', NULL, NULL, NULL)");
    pos_->exec(
        "INSERT INTO Item (ItemNo, PtName, Price, UniPrice, AvgCost, MemPrice, VipPrice, ShelfNo, "
        "StkQty, ImUpDate, MTDate, Notes) VALUES "
        "('12345670', '維他命Ｃ', 0.30000000000000004, 11, 12.5, 13, 14, 'A1', 100, "
        "'2024-02-29 13:05:09', '1850-02-28 00:00:00', NULL), "
        "('23456784', '口罩', 99, NULL, NULL, NULL, NULL, NULL, -5, NULL, NULL, '備註')");
    QStringList rows;
    for (int i = 1; i <= customers; ++i)
      rows << QStringLiteral("('M%1', '客戶%2', %3, %4)")
                  .arg(i, 7, 10, QLatin1Char('0'))
                  .arg(i)
                  .arg(i % 3 ? QStringLiteral("'1990-01-0%1 00:00:00'").arg(i % 9 + 1)
                             : QStringLiteral("NULL"))
                  .arg(i % 2 ? QStringLiteral("170.25") : QStringLiteral("NULL"));
    pos_->exec("INSERT INTO Customer (CustNo, Name, Birthday, Height) VALUES " + rows.join(u','));
  }

  // The four tables' Access files and column map files, as the export makes them from
  // what the POS holds now.
  void exportAll() {
    pos_->start();
    exportTable("Classify", pos_->dm.qryClassify, "ClsNo");
    exportTable("Item", pos_->dm.qryItem, "ItemNo");
    exportTable("Supplier", pos_->dm.qrySupplier, "FactNo");
    exportTable("Customer", pos_->dm.qryCustomer, "CustNo");
  }
  void exportTable(const QString& table, db::Dataset& query, const QString& key) {
    const config::ColumnMap map = test::exportMap(query, key);
    map.writeTable(table);
    std::vector<test::SourceColumn> columns;
    for (const auto& p : map.pairs()) columns.push_back({p.display});
    std::vector<test::SourceRow> rows;
    for (query.first(); !query.eof(); query.next()) {
      test::SourceRow row;
      for (const auto& p : map.pairs()) {
        const db::Field& f = query.fieldByName(p.field);
        row.push_back(f.value().isValid() ? std::optional<QString>(f.asString()) : std::nullopt);
      }
      rows.push_back(row);
    }
    QFile::remove(dir_.filePath(table + ".mdb"));
    test::writeAccessTable(dir_.filePath(table + ".mdb"), table, columns, rows);
  }

  Snapshot snapshot() {
    pos_->start();
    Snapshot s;
    for (const char* table : {"Classify", "Item", "Supplier", "Customer"}) {
      db::Dataset& q = *pos_->dm.queryOf(table);
      const db::Field& key = q.fieldByName(posdb::TDmMSSQL::keyOf(table));
      for (q.first(); !q.eof(); q.next()) {
        QStringList values;
        for (int i = 0; i < q.fieldCount(); ++i) {
          const db::Field& f = q.field(i);
          if (!f.isLookup())
            values
                << journal::valueText(f.value(), f.dataType()).value_or(QStringLiteral("<null>"));
        }
        s[table][key.asString()] = values;
      }
    }
    return s;
  }

  QString import(DirectFrontEnd& ui) {
    pos_->start();
    TDmAccess access;
    ImportDriver driver(access, pos_->dm, ui);
    driver.run();
    return driver.journalPath();
  }

  UndoResult undo(const QString& journal, bool dryRun = false) {
    pos_->start();
    platform::NoProgress none;
    return JournalUndo(pos_->dm, journal).run(dryRun, none);
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
};

TEST_P(JournalTest, UndoRestoresEveryColumnAndAnUndoCanBeUndone) {
  seed();
  exportAll();
  // The operator's mistakes after the export: rows changed (to NULL and from it), dates
  // moved, rows deleted; the stale files then imported over them.
  pos_->exec("UPDATE Classify SET ClsName = '改過', Flag = " + pos_->booleanLiteral(false) +
             " WHERE ClsNo = '001'");
  pos_->exec("DELETE FROM Classify WHERE ClsNo = '002'");
  pos_->exec(
      "UPDATE Supplier SET FactName = '乙', DisRate = 0.5, TradeDate = NULL "
      "WHERE FactNo = 'S01'");
  pos_->exec(
      "UPDATE Supplier SET FactName = '新', TradeDate = '2020-01-01 12:00:00.250' "
      "WHERE FactNo = 'S02'");
  pos_->exec(
      "UPDATE Item SET Price = 120, StkQty = 7, MTDate = NULL, Notes = '新備註' "
      "WHERE ItemNo = '12345670'");
  pos_->exec("DELETE FROM Item WHERE ItemNo = '23456784'");
  pos_->exec("UPDATE Customer SET Name = NULL, Height = 1e-7 WHERE CustNo = 'M0000001'");
  pos_->exec("DELETE FROM Customer WHERE CustNo = 'M0000002'");
  const Snapshot before = snapshot();

  DirectFrontEnd ui;
  const QString journal = import(ui);
  ASSERT_TRUE(ui.errors.isEmpty()) << ui.errors.join('\n').toStdString();
  const Snapshot imported = snapshot();
  ASSERT_NE(imported, before);

  const auto file = journal::JournalFile::open(journal);
  const journal::JournalCounts n = file->counts();
  EXPECT_EQ(n.appends, 3);  // Classify 002, Item 23456784, Customer M0000002
  EXPECT_EQ(n.updates, 5);
  EXPECT_EQ(file->sources().size(), 4u);
  EXPECT_EQ(file->run().kind, "import");
  EXPECT_EQ(file->run().outcome, "completed");

  const UndoResult dry = undo(journal, true);
  EXPECT_EQ(dry.restored, 5);
  EXPECT_EQ(dry.deleted, 3);
  EXPECT_TRUE(dry.journal.isEmpty());
  EXPECT_EQ(snapshot(), imported);  // a dry run changes nothing

  const UndoResult r = undo(journal);
  EXPECT_EQ(r.restored, 5);
  EXPECT_EQ(r.deleted, 3);
  EXPECT_EQ(r.conflicts, 0);
  EXPECT_EQ(snapshot(), before);

  // The undo kept a journal of its own: taking it back brings the import's result back,
  // deleted rows added again with every column.
  ASSERT_FALSE(r.journal.isEmpty());
  EXPECT_EQ(journal::JournalFile::open(r.journal)->run().undoes, QFileInfo(journal).fileName());
  const UndoResult again = undo(r.journal);
  EXPECT_EQ(again.readded, 3);
  EXPECT_EQ(again.restored, 5);
  EXPECT_EQ(snapshot(), imported);
}

TEST_P(JournalTest, ARowChangedAgainAfterTheImportIsLeftAloneAsAConflict) {
  seed();
  exportAll();
  pos_->exec(
      "UPDATE Customer SET Name = '改' WHERE CustNo IN ('M0000001', 'M0000003', 'M0000005')");
  pos_->exec("DELETE FROM Customer WHERE CustNo = 'M0000004'");
  const Snapshot before = snapshot();
  DirectFrontEnd ui;
  const QString journal = import(ui);
  // After the import a till changes a column the import wrote (M0000003), a column it
  // left as it was (M0000005), and the row it appended (M0000004).
  pos_->exec("UPDATE Customer SET Name = '櫃台' WHERE CustNo = 'M0000003'");
  pos_->exec("UPDATE Customer SET Height = 180 WHERE CustNo IN ('M0000004', 'M0000005')");
  const Snapshot later = snapshot();

  const UndoResult r = undo(journal);
  EXPECT_EQ(r.restored, 2);
  EXPECT_EQ(r.conflicts, 2);
  QStringList conflicts;
  for (const UndoStep& s : r.steps)
    if (s.outcome == UndoStep::Outcome::Conflict) conflicts << s.entry.key + ": " + s.detail;
  ASSERT_EQ(conflicts.size(), 2);
  EXPECT_TRUE(conflicts[0].startsWith("M0000004: Height")) << conflicts[0].toStdString();
  EXPECT_TRUE(conflicts[1].startsWith("M0000003: Name 現為「櫃台」，匯入寫入「客戶3」"))
      << conflicts[1].toStdString();
  Snapshot expected = before;
  expected["Customer"]["M0000003"] = later.at("Customer").at("M0000003");
  expected["Customer"]["M0000004"] = later.at("Customer").at("M0000004");
  // The column the import did not change keeps the till's value.
  expected["Customer"]["M0000005"] = later.at("Customer").at("M0000005");
  expected["Customer"]["M0000005"][1] = "改";
  EXPECT_EQ(snapshot(), expected);
}

TEST_P(JournalTest, AFailedRunIsUndoneAsFarAsItWentAndItsFailedRowHasNoEntry) {
  seed(10);
  exportAll();
  pos_->exec("UPDATE Customer SET Name = '改'");
  // The sixth Access row cannot be imported: the run ends there.
  std::vector<test::SourceColumn> columns;
  const config::ColumnMap map = config::ColumnMap::readTable("Customer");
  for (const auto& p : map.pairs()) columns.push_back({p.display});
  std::vector<test::SourceRow> rows;
  for (int i = 1; i <= 10; ++i) {
    test::SourceRow row(columns.size());
    for (size_t c = 0; c < map.pairs().size(); ++c) {
      if (map.pairs()[c].field == "CustNo")
        row[c] = QStringLiteral("M%1").arg(i, 7, 10, QLatin1Char('0'));
      if (map.pairs()[c].field == "Name") row[c] = QStringLiteral("n%1").arg(i);
      if (map.pairs()[c].field == "Height") row[c] = i == 6 ? "tall" : "160";
    }
    rows.push_back(row);
  }
  QFile::remove(dir_.filePath("Customer.mdb"));
  test::writeAccessTable(dir_.filePath("Customer.mdb"), "Customer", columns, rows);
  config::Config().write(k::ExportClassify, false);
  config::Config().write(k::ExportItem, false);
  config::Config().write(k::ExportSupplier, false);
  const Snapshot before = snapshot();

  DirectFrontEnd ui;
  const QString journal = import(ui);
  ASSERT_EQ(ui.errors, QStringList("「tall」不是數字：這個欄位只能填數字（例如 12.5）"));
  const auto file = journal::JournalFile::open(journal);
  EXPECT_EQ(file->counts().updates, 5);
  EXPECT_EQ(file->run().outcome, "failed");
  EXPECT_EQ(undo(journal).restored, 5);
  EXPECT_EQ(snapshot(), before);
}

// A program killed at a random row of its import leaves a journal that takes back
// exactly what reached the POS: every posted row has its entry; a last entry whose
// row was not posted is found to need nothing.
TEST_P(JournalTest, AKilledImportLeavesAJournalThatUndoesExactlyWhatReachedThePos) {
  seed(1500);
  exportAll();
  pos_->exec("UPDATE Customer SET Name = '改', Height = 2");
  pos_->exec("DELETE FROM Customer WHERE CustNo > 'M0001000'");
  config::Config().write(k::ExportClassify, false);
  config::Config().write(k::ExportItem, false);
  config::Config().write(k::ExportSupplier, false);
  const Snapshot before = snapshot();
  pos_->dm.stop();

  std::random_device seedSource;
  std::mt19937 random(seedSource());
  const int reportAt = std::uniform_int_distribution<int>(1, 1400)(random);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    // Reports once `reportAt` rows are done, then goes on until it is killed.
    struct Reporter : platform::Progress {
      int at = 0, fd = -1;
      void start(int) override {}
      void step(int done, int) override {
        if (done == at) (void)!::write(fd, "r", 1);
      }
      void finish() override {}
    } reporter;
    reporter.at = reportAt;
    reporter.fd = fds[1];
    posdb::TDmMSSQL dm;
    dm.startWith(pos_->connectionString());
    DirectFrontEnd ui;
    ui.progress = &reporter;
    TDmAccess access;
    ImportDriver(access, dm, ui).run();
    (void)!::write(fds[1], "d", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(fds[1]);
  char c = 0;
  ASSERT_EQ(::read(fds[0], &c, 1), 1);
  ::usleep(useconds_t(std::uniform_int_distribution<int>(0, 3000)(random)));
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status));

  const QStringList journals = ImportJournal::list();
  ASSERT_EQ(journals.size(), 1);
  const UndoResult r = undo(journals.first());
  // Rows sent in batches (SQL Server) are all journaled before their batch goes out:
  // those of the batch not yet sent, or not committed, need nothing.
  const int unsent = GetParam() == TestDatabase::Engine::Tds ? TableImport::kBatchRows : 1;
  EXPECT_GE(r.restored + r.deleted + r.notApplied, reportAt);
  EXPECT_EQ(r.conflicts, 0);
  EXPECT_LE(r.notApplied, unsent);
  EXPECT_EQ(snapshot(), before) << "killed after " << r.restored + r.deleted << " rows";
}

TEST_P(JournalTest, AJournalOfAnotherPosIsRefusedAndTheNewestFiftyAreKept) {
  seed();
  pos_->start();
  QStringList made;
  for (int i = 0; i < ImportJournal::kKept + 2; ++i) {
    ImportJournal j("import", "Provider=SQLite;Data Source=/elsewhere/pos.sqlite");
    j.finish(true);
    made << j.path();
  }
  const QStringList kept = ImportJournal::list();
  EXPECT_EQ(kept, made.mid(2));
  const QString error = [&] {
    try {
      JournalUndo(pos_->dm, kept.last());
    } catch (const platform::Error& e) {
      return e.message();
    }
    return QString();
  }();
  EXPECT_TRUE(error.contains("/elsewhere/pos.sqlite")) << error.toStdString();
  EXPECT_TRUE(error.endsWith("沒有還原任何資料")) << error.toStdString();
}

// The journal an undo takes back is never pruned by the undo's own journal, however
// old it is.
TEST_P(JournalTest, AnUndoNeverPrunesTheJournalItTakesBack) {
  seed();
  exportAll();
  pos_->exec("UPDATE Customer SET Name = '改'");
  for (const auto& t : {k::ExportClassify, k::ExportItem, k::ExportSupplier})
    config::Config().write(t, false);
  DirectFrontEnd ui;
  const QString journal = import(ui);
  ASSERT_TRUE(ui.errors.isEmpty());
  for (int i = 0; i < ImportJournal::kKept - 1; ++i) {
    ImportJournal j("import", ImportDriver::posDescription(pos_->connectionString()));
    j.finish(true);
  }
  ASSERT_EQ(ImportJournal::list().first(), journal);
  const UndoResult r = undo(journal);
  EXPECT_EQ(r.restored, 6);
  EXPECT_TRUE(QFileInfo::exists(journal));
  EXPECT_TRUE(QFileInfo::exists(r.journal));
}

// The import gives a new class its number only; the POS gives the rest. Someone then
// names one of the new classes: the undo deletes the other and leaves that one.
TEST_P(JournalTest, AnAppendedRowChangedSinceInAnyColumnIsLeftAloneByUndo) {
  seed();
  pos_->start();
  config::ColumnMap map;
  map.setKey("ClsNo", "ClsNo");
  map.addPair("ClsNo", "ClsNo");
  map.writeTable("Classify");
  test::writeAccessTable(dir_.filePath("Classify.mdb"), "Classify", {{"ClsNo"}},
                         {{QStringLiteral("555")}, {QStringLiteral("556")}});
  for (const auto& t : {k::ExportItem, k::ExportSupplier, k::ExportCustomer})
    config::Config().write(t, false);
  const Snapshot before = snapshot();
  DirectFrontEnd ui;
  const QString journal = import(ui);
  ASSERT_TRUE(ui.errors.isEmpty()) << ui.errors.join('\n').toStdString();
  ASSERT_EQ(journal::JournalFile::open(journal)->counts().appends, 2);
  pos_->exec("UPDATE Classify SET ClsName = '櫃台取名' WHERE ClsNo = '555'");
  const Snapshot named = snapshot();

  const UndoResult r = undo(journal);
  EXPECT_EQ(r.deleted, 1);
  ASSERT_EQ(r.conflicts, 1);
  for (const UndoStep& step : r.steps)
    if (step.outcome == UndoStep::Outcome::Conflict) {
      EXPECT_EQ(step.entry.key, "555");
      EXPECT_EQ(step.detail, "ClsName 現為「櫃台取名」，匯入新增這一列時為「NULL」");
    }
  Snapshot expected = before;
  expected["Classify"]["555"] = named.at("Classify").at("555");
  EXPECT_EQ(snapshot(), expected);
}

// A post the POS refused (its own trigger here) wrote nothing: its entry goes, and the
// undo takes back the rows before it.
TEST_P(JournalTest, APostThePosRefusedHasNoEntry) {
  if (GetParam() != TestDatabase::Engine::Sqlite) GTEST_SKIP() << "the trigger is SQLite's";
  seed();
  exportAll();
  pos_->exec("UPDATE Customer SET Name = '改'");
  pos_->exec(
      "CREATE TRIGGER refuse AFTER UPDATE ON Customer WHEN NEW.CustNo = 'M0000004' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  for (const auto& t : {k::ExportClassify, k::ExportItem, k::ExportSupplier})
    config::Config().write(t, false);
  const Snapshot before = snapshot();
  DirectFrontEnd ui;
  const QString journal = import(ui);
  ASSERT_EQ(ui.errors.size(), 1);
  EXPECT_TRUE(ui.errors[0].contains("refused")) << ui.errors[0].toStdString();
  const auto file = journal::JournalFile::open(journal);
  const std::vector<journal::RowChange> entries = file->entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.back().key, "M0000003");
  EXPECT_EQ(file->counts().updates, 3);
  pos_->exec("DROP TRIGGER refuse");
  const UndoResult r = undo(journal);
  EXPECT_EQ(r.restored, 3);
  EXPECT_EQ(snapshot(), before);
}

// A session with NOCOUNT on reports no counts: no post is taken as written or as a
// conflict. The row whose statement ran keeps its entry, marked as not known, and the
// undo (on a session of its own, counts reported) finds it written and takes it back.
TEST_P(JournalTest, APostWhoseCountIsNotReportedFailsAndKeepsItsEntry) {
  if (GetParam() != TestDatabase::Engine::Tds) GTEST_SKIP() << "NOCOUNT is SQL Server's";
  seed();
  exportAll();
  pos_->exec("UPDATE Customer SET Name = '改'");
  for (const auto& t : {k::ExportClassify, k::ExportItem, k::ExportSupplier})
    config::Config().write(t, false);
  const Snapshot before = snapshot();
  pos_->start();
  pos_->dm.cnKAROS.execute("SET NOCOUNT ON");
  DirectFrontEnd ui;
  TDmAccess access;
  ImportDriver driver(access, pos_->dm, ui);
  driver.run();
  ASSERT_EQ(ui.errors.size(), 1);
  EXPECT_TRUE(ui.errors[0].contains("NOCOUNT")) << ui.errors[0].toStdString();
  const auto file = journal::JournalFile::open(driver.journalPath());
  const std::vector<journal::RowChange> entries = file->entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].key, "M0000001");
  EXPECT_TRUE(entries[0].uncertain);
  const UndoResult r = undo(driver.journalPath());
  EXPECT_EQ(r.restored, 1);
  EXPECT_EQ(snapshot(), before);
}

// While its run writes, a journal is neither taken back nor taken in: its entries are
// not all there.
TEST_P(JournalTest, UndoRefusesAJournalWhoseRunIsStillGoing) {
  seed();
  pos_->start();
  ImportJournal running("import", ImportDriver::posDescription(pos_->connectionString()));
  journal::RowChange change{"Classify", "ClsNo", "001", journal::RowChange::Action::Update, {}};
  change.cells.push_back({"ClsName", db::ftString, QStringLiteral("感冒藥"), QStringLiteral("x")});
  running.rowReady(change);
  running.rowPosted();
  const QString error = [&] {
    try {
      JournalUndo(pos_->dm, running.path());
    } catch (const platform::Error& e) {
      return e.message();
    }
    return QString();
  }();
  EXPECT_EQ(error, "匯入記錄 " + QFileInfo(running.path()).fileName() +
                       " 的匯入還在執行中，還沒有結束；請等它結束後再還原。沒有還原任何資料")
      << error.toStdString();
  EXPECT_TRUE(journal::JournalFile::open(running.path())->running());
  EXPECT_TRUE(QFile::exists(running.path() + "-log"));
  running.finish(true);
  EXPECT_FALSE(journal::JournalFile::open(running.path())->running());
  EXPECT_EQ(undo(running.path()).notApplied, 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, JournalTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) { return std::string(engineName(info.param)); });

// Pruning removes every file of the journals it drops (their logs and SQLite's side
// files), and files left of journals already gone; a run still writing keeps its own.
TEST(JournalPruning, RemovesEveryFileOfADroppedJournalAndLeftoversButNotARunningOne) {
  QTemporaryDir dir;
  platform::setProgramFolderForTesting(dir.path());
  const QString pos = "Provider=SQLite;Data Source=/x/pos.sqlite";
  QString cutShort;
  {
    ImportJournal j("import", pos);  // killed: its log stays beside it
    cutShort = j.path();
  }
  ASSERT_TRUE(QFile::exists(cutShort + "-log"));
  auto held = std::make_unique<ImportJournal>("import", pos);
  const QDir folder(ImportJournal::folder());
  for (const char* leftover :
       {"20000101-000000-000.sqlite-log", "20000101-000000-000.sqlite-journal",
        "20000101-000000-001.sqlite-wal"}) {
    QFile f(folder.filePath(leftover));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  for (int i = 0; i < ImportJournal::kKept; ++i) ImportJournal("import", pos).finish(true);
  QStringList names = folder.entryList(QDir::Files, QDir::Name);
  EXPECT_FALSE(names.join(' ').contains(QFileInfo(cutShort).fileName()))
      << names.join(' ').toStdString();
  EXPECT_FALSE(names.join(' ').contains("20000101")) << names.join(' ').toStdString();
  // The oldest now, but still writing.
  EXPECT_TRUE(QFile::exists(held->path()));
  EXPECT_TRUE(QFile::exists(held->path() + "-log"));
  EXPECT_EQ(ImportJournal::list().size(), ImportJournal::kKept + 1);
  held->finish(true);
  held.reset();
  ImportJournal("import", pos).finish(true);
  EXPECT_EQ(ImportJournal::list().size(), ImportJournal::kKept);
  names = folder.entryList(QDir::Files);
  EXPECT_EQ(names.size(), ImportJournal::kKept) << names.join(' ').toStdString();
  platform::setProgramFolderForTesting(QString());
}

}  // namespace
}  // namespace dataimport
