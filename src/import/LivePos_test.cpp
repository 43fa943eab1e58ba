// An import beside a POS in use: the tills and the back office change rows between the
// start (when the import's rows are read) and the post. Stock is added on the server,
// a post writes only the cells it changes, and a cell someone else changed since it
// was read is not overwritten.
#include "import/ImportDriver.h"

#include "ImportTestSupport.h"
#include "import/ChangesCsv.h"
#include "import/DmMdb.h"
#include "import/ImportJournal.h"
#include "import/ImportPreview.h"
#include "import/JournalUndo.h"
#include "import/TableImport.h"

#include <config/Configs.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <journal/JournalFile.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>
#include <posdb/ExportRecord.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::TestDatabase;
namespace k = config::keys;

class CollectingFrontEnd : public ImportFrontEnd {
 public:
  void selectTab(int) override {}
  bool importTable(const ImportTable&, TableImport& import) override {
    try {
      platform::NoProgress none;
      import.run(none);
      return true;
    } catch (const platform::Error& e) {
      errors << e.message();
      return false;
    }
  }
  QStringList errors;
};

class QuietPreview : public PreviewFrontEnd {
 public:
  TableImport::Preview previewTable(const ImportTable&, TableImport& import,
                                    const ChangeSink& onChange) override {
    platform::NoProgress none;
    return import.preview(none, onChange);
  }
  void tableUnreadable(const ImportTable&, const QString&) override {}
};

using Changes = std::vector<std::pair<QString, QString>>;

class LivePosTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    pos_ = std::make_unique<ScratchPos>(GetParam());
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
    pos_->exec(
        "INSERT INTO Item (ItemNo, PtName, Price, StkQty, ImUpDate) VALUES "
        "('12345670', '維他命', 0.30000000000000004, 330, '2024-02-29 13:05:09.997'), "
        "('23456784', '口罩', 99, NULL, NULL)");
    pos_->exec(
        "INSERT INTO Customer (CustNo, Name, TelNo, VipCount, Notes) VALUES "
        "('C1', '王小明', '02-1111', 1000, NULL), ('C2', '陳美麗', '02-2222', 0, NULL), "
        "('C3', '林大同', '02-3333', 5, NULL)");
    pos_->start();
  }
  void TearDown() override {
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  // The table's Access file as the export wrote it from the rows read at the start, with
  // the operator's edits: key → field → text.
  void exportEdited(const QString& table, const std::map<QString, Changes>& edits) {
    const QString key = posdb::TDmMSSQL::keyOf(table);
    db::Dataset& q = *pos_->dm.queryOf(table);
    std::vector<std::vector<std::pair<QString, QString>>> rows;
    for (q.first(); !q.eof(); q.next()) {
      Changes row;
      const QString k = q.fieldByName(key).asString();
      for (int i = 0; i < q.fieldCount(); ++i) {
        const db::Field& f = q.field(i);
        if (f.isLookup() || f.isNull()) continue;
        row.emplace_back(f.fieldName(), f.asString());
      }
      if (const auto it = edits.find(k); it != edits.end())
        for (const auto& [field, text] : it->second) {
          std::erase_if(row, [&](const auto& p) { return p.first == field; });
          row.emplace_back(field, text);
        }
      rows.push_back(row);
    }
    test::exportRows(dir_.filePath(table + ".mdb"), table, q, key, rows, false);
  }

  QStringList import(const QStringList& tables, bool editsOnly = false) {
    CollectingFrontEnd frontEnd;
    TDmAccess access;
    ImportDriver driver(access, pos_->dm, frontEnd);
    driver.setTables(tables);
    if (editsOnly) driver.setEditsOnly(true);
    driver.run();
    journal_ = driver.journalPath();
    return frontEnd.errors;
  }

  QString pos(const char* table, const char* key, const char* value, const char* column) {
    return pos_->value(table, key, value, column).toString();
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
  QString journal_;
};

TEST_P(LivePosTest, StockIsAddedToWhatThePosHoldsAtThePostAndUndoTakesBackTheAmount) {
  config::Config().write(k::UpdateStkQty, true);
  config::Config().write(k::UpdateStkQtyAction, 1);
  exportEdited("Item", {{"12345670", {{"StkQty", "5"}}}, {"23456784", {{"StkQty", "7"}}}});
  // The dry run's list of changes shows the amount to be added.
  {
    TDmAccess access;
    QuietPreview frontEnd;
    ImportPreview preview(access, pos_->dm, frontEnd);
    preview.setTables({"Item"});
    ChangesCsv csv(dir_.filePath("changes.csv"));
    preview.run([&csv](const journal::RowChange& change) { csv.add(change); });
    csv.commit();
    QFile file(dir_.filePath("changes.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Item,12345670,StkQty,,330,+5\r\n")))
        << text.toStdString();
  }
  // The till sells 3 after the start.
  pos_->exec("UPDATE Item SET StkQty = StkQty - 3 WHERE ItemNo = '12345670'");
  EXPECT_EQ(import({"Item"}), QStringList());
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "332");
  // The journal's folder is its owner's alone.
  EXPECT_EQ(QFile::permissions(QFileInfo(journal_).absolutePath()) & 0x0777,
            QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
  // No stock held: the amount received is the stock.
  EXPECT_EQ(pos("Item", "ItemNo", "23456784", "StkQty"), "7");
  // Sold again after the import; the undo takes back the 5 received, not the sale.
  pos_->exec("UPDATE Item SET StkQty = StkQty - 2 WHERE ItemNo = '12345670'");
  pos_->start();
  platform::NoProgress none;
  const UndoResult undone = JournalUndo(pos_->dm, journal_).run(false, none);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "325");
  EXPECT_EQ(pos("Item", "ItemNo", "23456784", "StkQty"), "0");
  // Undone once, the same journal leaves the stock alone.
  pos_->start();
  JournalUndo(pos_->dm, journal_).run(false, none);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "325");
  (void)undone;
}

// An undo that stopped half-way (here after its first row), run again, takes each
// amount back exactly once, whatever the earlier undo's outcome.
TEST_P(LivePosTest, AnUndoRunAgainAfterStoppingHalfWayTakesEachAmountBackOnce) {
  config::Config().write(k::UpdateStkQty, true);
  config::Config().write(k::UpdateStkQtyAction, 1);
  exportEdited("Item", {{"12345670", {{"StkQty", "5"}}}, {"23456784", {{"StkQty", "7"}}}});
  EXPECT_EQ(import({"Item"}), QStringList());
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "335");
  struct StopAfterOne : platform::Progress {
    void start(int) override {}
    void step(int done, int) override {
      if (done == 1) throw platform::Error("連線中斷");
    }
    void finish() override {}
  } stop;
  pos_->start();
  EXPECT_THROW(JournalUndo(pos_->dm, journal_).run(false, stop), platform::Error);
  // Newest first: the 7 went back, the 5 not yet.
  EXPECT_EQ(pos("Item", "ItemNo", "23456784", "StkQty"), "0");
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "335");
  platform::NoProgress none;
  for (int run = 0; run < 2; ++run) {
    pos_->start();
    const UndoResult r = JournalUndo(pos_->dm, journal_).run(false, none);
    EXPECT_EQ(r.undoneBefore, run == 0 ? 1 : 2);
    EXPECT_EQ(r.restored, run == 0 ? 1 : 0);
    EXPECT_EQ(pos("Item", "ItemNo", "23456784", "StkQty"), "0");
    EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "330");
  }
}

// An amount added by a post not known to have reached the POS (the link was lost) is
// listed with what taking it back would write, and taken back only when asked.
TEST_P(LivePosTest, AnAmountNotKnownToHaveBeenAddedIsTakenBackOnlyWhenAsked) {
  pos_->exec("UPDATE Item SET StkQty = 335 WHERE ItemNo = '12345670'");
  QString path;
  {
    ImportJournal journal("import", ImportDriver::posDescription(pos_->connectionString()));
    path = journal.path();
    journal::RowChange change{"Item", "ItemNo", "12345670", journal::RowChange::Action::Update, {}};
    change.cells.push_back({"StkQty", db::ftInteger, qint64(330), qint64(335), true});
    journal.rowReady(change);
    journal.rowFailed(true);
    journal.finish(false);
  }
  platform::NoProgress none;
  pos_->start();
  UndoResult r = JournalUndo(pos_->dm, path).run(true, none);
  ASSERT_EQ(r.uncertain, 1);
  EXPECT_EQ(r.steps[0].outcome, UndoStep::Outcome::Uncertain);
  EXPECT_TRUE(r.steps[0].detail.startsWith(
      QStringLiteral("StkQty 現為 335，減去匯入加上的 5 後為 330；不確定")))
      << r.steps[0].detail.toStdString();
  pos_->start();
  r = JournalUndo(pos_->dm, path).run(false, none);
  EXPECT_EQ(r.uncertain, 1);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "335");
  pos_->start();
  JournalUndo told(pos_->dm, path);
  told.setTakeUncertain(true);
  r = told.run(false, none);
  EXPECT_EQ(r.restored, 1);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "330");
  // Taken back once: a later undo, even told to, leaves it.
  pos_->start();
  JournalUndo again(pos_->dm, path);
  again.setTakeUncertain(true);
  r = again.run(false, none);
  EXPECT_EQ(r.undoneBefore, 1);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "330");
}

// Another user changed a cell only in case, width or trailing blanks since the start:
// SQL Server's "=" would hold, the post's check must not.
TEST_P(LivePosTest, ChangesOfCaseWidthOrTrailingBlanksSinceTheStartAreConflicts) {
  const std::vector<std::tuple<QString, QString, QString>> cases = {
      {"Name", "john smith", "John Smith"},
      {"TelNo", QStringLiteral("０２-１１１１"), "02-1111"},
      {"Name", "abc", "abc "},
  };
  for (const auto& [column, read, changed] : cases) {
    SCOPED_TRACE(column.toStdString() + " " + changed.toStdString());
    pos_->exec(
        QStringLiteral("UPDATE Customer SET %1 = '%2' WHERE CustNo = 'C1'").arg(column, read));
    pos_->start();
    QFile::remove(dir_.filePath("Customer.mdb"));
    exportEdited("Customer", {{"C1", {{column, "X"}}}});
    pos_->exec(
        QStringLiteral("UPDATE Customer SET %1 = '%2' WHERE CustNo = 'C1'").arg(column, changed));
    const QStringList errors = import({"Customer"});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(
        errors[0].contains(QStringLiteral("讀取時為「%1」，現在為「%2」").arg(read, changed)))
        << errors[0].toStdString();
    EXPECT_EQ(pos_->value("Customer", "CustNo", "C1", column).toString(), changed);
  }
}

// The server takes "s０1 " (lower case, a full-width digit, a trailing blank) for S01 when its
// collation ignores case and width: that row is updated, its key kept as the POS holds
// it, and the dry run counts a change, not a new row.
TEST_P(LivePosTest, KeysAreMatchedAsTheServerMatchesThem) {
  pos_->exec("INSERT INTO Supplier (FactNo, FactName) VALUES ('S01', '甲廠')");
  pos_->start();
  const QString key =
      GetParam() == TestDatabase::Engine::Tds ? QStringLiteral("s０1 ") : QStringLiteral("S01");
  exportEdited("Supplier", {{"S01", {{"FactNo", key}, {"FactName", QStringLiteral("乙廠")}}}});
  TDmAccess access;
  QuietPreview frontEnd;
  ImportPreview preview(access, pos_->dm, frontEnd);
  preview.setTables({"Supplier"});
  const auto counts = preview.run({});
  ASSERT_EQ(counts.size(), 1u);
  ASSERT_TRUE(counts[0].counts) << counts[0].error.toStdString();
  EXPECT_EQ(counts[0].counts->added, 0);
  EXPECT_EQ(counts[0].counts->changed, 1);
  EXPECT_EQ(import({"Supplier"}), QStringList());
  EXPECT_EQ(pos_->rowCount("Supplier"), 1);
  EXPECT_EQ(pos("Supplier", "FactNo", "S01", "FactName"), QStringLiteral("乙廠"));
}

// A fixed-width column pads what it holds: a blank Void is the same as the empty text
// the import's trim makes of it, and no change to write or to journal.
TEST_P(LivePosTest, ABlankFixedWidthCellIsNoChange) {
  if (GetParam() == TestDatabase::Engine::Sqlite) GTEST_SKIP() << "SQLite pads no text";
  pos_->exec("INSERT INTO Classify (ClsNo, ClsName, Void) VALUES ('001', '感冒藥', ' ')");
  pos_->start();
  exportEdited("Classify", {});
  EXPECT_EQ(import({"Classify"}), QStringList());
  if (!journal_.isEmpty()) {
    EXPECT_EQ(journal::JournalFile::open(journal_)->entries().size(), 0u);
  }
  EXPECT_EQ(pos_->value("Classify", "ClsNo", "001", "Void").toString().trimmed(), "");
}

// The back office sets a price after the start: the import does not write over it, so
// its undo has nothing to put back there. A price changed after the import, by however
// little, is not the import's any more: the undo leaves it.
TEST_P(LivePosTest, UndoLeavesWhatTheBackOfficeSetAfterTheStartOrAfterTheImport) {
  config::Config().write(k::UpdatePrice, true);
  exportEdited("Item", {{"12345670", {{"Price", "30"}}}, {"23456784", {{"Price", "30"}}}});
  pos_->exec("UPDATE Item SET Price = 20 WHERE ItemNo = '23456784'");
  ASSERT_EQ(import({"Item"}).size(), 1);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "Price"), "30");
  EXPECT_EQ(pos("Item", "ItemNo", "23456784", "Price"), "20");
  // The next double above 30.
  pos_->exec("UPDATE Item SET Price = 30.000000000000004 WHERE ItemNo = '12345670'");
  pos_->start();
  platform::NoProgress none;
  const UndoResult r = JournalUndo(pos_->dm, journal_).run(false, none);
  EXPECT_EQ(r.conflicts, 1);
  EXPECT_EQ(r.restored, 0);
  EXPECT_EQ(pos_->value("Item", "ItemNo", "12345670", "Price").toDouble(), 30.000000000000004);
  EXPECT_EQ(pos("Item", "ItemNo", "23456784", "Price"), "20");
}

TEST_P(LivePosTest, APostWritesOnlyTheCellsItChangesSoASaleAfterTheStartIsKept) {
  exportEdited("Customer", {{"C1", {{"TelNo", "02-9999"}}}});
  pos_->exec("UPDATE Customer SET VipCount = VipCount + 500 WHERE CustNo = 'C1'");
  EXPECT_EQ(import({"Customer"}), QStringList());
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "TelNo"), "02-9999");
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "VipCount"), "1500");
}

TEST_P(LivePosTest, ACellChangedByAnotherUserIsNotOverwrittenAndTheTableStopsThere) {
  exportEdited("Customer",
               {{"C1", {{"Name", "甲"}}}, {"C2", {{"Name", "乙"}}}, {"C3", {{"Name", "丙"}}}});
  pos_->exec("UPDATE Customer SET Name = '後台改名' WHERE CustNo = 'C2'");
  const QStringList errors = import({"Customer"});
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0],
            QStringLiteral("Customer（CustNo = C2）的欄位 Name 在讀取後已被其他使用者修改：讀取時為"
                           "「陳美麗」，現在為「後台改名」；這一列沒有寫入"));
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), QStringLiteral("甲"));
  EXPECT_EQ(pos("Customer", "CustNo", "C2", "Name"), QStringLiteral("後台改名"));
  EXPECT_EQ(pos("Customer", "CustNo", "C3", "Name"), QStringLiteral("林大同"));
}

TEST_P(LivePosTest, AfterATableStoppedAtAConflictTheNextTableIsImported) {
  pos_->exec("INSERT INTO Supplier (FactNo, FactName) VALUES ('S01', '甲廠'), ('S02', '乙廠')");
  pos_->start();
  exportEdited("Supplier", {{"S01", {{"FactName", "甲廠商"}}}, {"S02", {{"FactName", "乙廠商"}}}});
  exportEdited("Customer", {{"C3", {{"TelNo", "02-0000"}}}});
  pos_->exec("UPDATE Supplier SET FactName = '甲' WHERE FactNo = 'S01'");
  const QStringList errors = import({"Supplier", "Customer"});
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Supplier（FactNo = S01）的欄位 FactName")))
      << errors[0].toStdString();
  EXPECT_EQ(pos("Supplier", "FactNo", "S02", "FactName"), QStringLiteral("乙廠"));
  EXPECT_EQ(pos("Customer", "CustNo", "C3", "TelNo"), "02-0000");
}

TEST_P(LivePosTest, ANullReadAndAValueFoundIsAConflict) {
  exportEdited("Customer", {{"C1", {{"Notes", "匯入的備註"}}}});
  pos_->exec("UPDATE Customer SET Notes = '櫃台備註' WHERE CustNo = 'C1'");
  const QStringList errors = import({"Customer"});
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].contains(QStringLiteral("讀取時為「（空白）」，現在為「櫃台備註」")))
      << errors[0].toStdString();
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Notes"), QStringLiteral("櫃台備註"));
}

TEST_P(LivePosTest, FloatsAndDateTimesReadOverTheRouteMatchWithoutAFalseConflict) {
  config::Config().write(k::UpdatePrice, true);
  exportEdited("Item", {{"12345670", {{"Price", "12.5"}, {"ImUpDate", "2025/01/02 03:04:05"}}}});
  EXPECT_EQ(import({"Item"}), QStringList());
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "Price"), "12.5");
}

TEST_P(LivePosTest, AKeyLongerThanThePosKeyColumnFailsTheRowInsteadOfBeingCut) {
  test::exportRows(dir_.filePath("Classify.mdb"), "Classify", pos_->dm.qryClassify, "ClsNo",
                   {{{"ClsNo", "A01"}, {"ClsName", "新"}}, {{"ClsNo", "A012"}, {"ClsName", "錯"}}},
                   false);
  const QStringList errors = import({"Classify"});
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0],
            QStringLiteral("Classify 的索引欄 ClsNo「A012」超過欄寬 3 個位元組；這一列沒有匯入"));
  EXPECT_EQ(pos_->rowCount("Classify"), 1);
  EXPECT_EQ(pos("Classify", "ClsNo", "A01", "ClsName"), QStringLiteral("新"));
}

// The next morning: the program starts afresh, so what it reads holds the day's sales
// and the back office's changes. Edits only, the import brings back just the cells the
// operator changed in Access since the export.
TEST_P(LivePosTest, EditsOnlyBringsBackTheOperatorsEditsAndKeepsWhatOnlyThePosChanged) {
  posdb::ExportRecord::write("Customer", pos_->dm.qryCustomer, "CustNo");
  exportEdited("Customer", {{"C1", {{"TelNo", "02-9999"}}}, {"C3", {{"Name", "林小同"}}}});
  pos_->exec("UPDATE Customer SET VipCount = VipCount + 500, Name = '王大明' WHERE CustNo = 'C1'");
  pos_->start();
  {
    TDmAccess access;
    QuietPreview frontEnd;
    ImportPreview preview(access, pos_->dm, frontEnd);
    preview.setTables({"Customer"});
    preview.setEditsOnly(true);
    const std::vector<TablePreview> tables = preview.run();
    ASSERT_EQ(tables.size(), 1u);
    ASSERT_TRUE(tables[0].counts);
    EXPECT_EQ(tables[0].counts->changed, 2);
    EXPECT_EQ(tables[0].counts->leftAlone, 2);  // C1's name and total
  }
  EXPECT_EQ(import({"Customer"}, true), QStringList());
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "TelNo"), "02-9999");
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), QStringLiteral("王大明"));
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "VipCount"), "1500");
  EXPECT_EQ(pos("Customer", "CustNo", "C3", "Name"), QStringLiteral("林小同"));
}

// Two exports appended into one Access table; the operator edited the first copy of a
// row and deleted the second copies. Each row is compared with the export that wrote
// it: the first copies' unedited cells are the first export's values, not edits, so a
// phone number the POS changed between the exports is not reverted.
TEST_P(LivePosTest, EditsOnlyComparesEachRowWithTheExportThatWroteIt) {
  posdb::ExportRecord::write("Customer", pos_->dm.qryCustomer, "CustNo");
  exportEdited("Customer", {{"C2", {{"Name", "陳美美"}}}});
  pos_->exec("UPDATE Customer SET TelNo = '02-5555' WHERE CustNo = 'C1'");
  pos_->start();
  // The second export appended its rows after the first three (deleted since).
  posdb::ExportRecord::write("Customer", pos_->dm.qryCustomer, "CustNo", 3);
  EXPECT_EQ(import({"Customer"}, true), QStringList());
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "TelNo"), "02-5555");
  EXPECT_EQ(pos("Customer", "CustNo", "C2", "Name"), QStringLiteral("陳美美"));
  // A new export over the whole file leaves one record again.
  posdb::ExportRecord::write("Customer", pos_->dm.qryCustomer, "CustNo");
  EXPECT_EQ(posdb::ExportRecord::readAll("Customer").size(), 1u);
}

TEST_P(LivePosTest, EditsOnlyRefusesACellChangedBothInAccessAndInThePos) {
  posdb::ExportRecord::write("Customer", pos_->dm.qryCustomer, "CustNo");
  exportEdited("Customer", {{"C2", {{"Name", "陳美玲"}}}});
  pos_->exec("UPDATE Customer SET Name = '陳美美' WHERE CustNo = 'C2'");
  pos_->start();
  config::Config().write(k::EditsOnly, true);
  const QStringList errors = import({"Customer"});
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0],
            QStringLiteral("Customer（CustNo = C2）的欄位 Name（檔案中的「姓名」欄） 在 Access 與 "
                           "POS 都改過：匯出時為"
                           "「陳美麗」，Access 為「陳美玲」，POS 現為「陳美美」；這一列沒有寫入"));
  EXPECT_EQ(pos("Customer", "CustNo", "C2", "Name"), QStringLiteral("陳美美"));
}

INSTANTIATE_TEST_SUITE_P(Engines, LivePosTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) {
                           return std::string(db::testing::engineName(info.param));
                         });

}  // namespace
}  // namespace dataimport
