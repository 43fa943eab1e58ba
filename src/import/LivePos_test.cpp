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

  QStringList import(const QStringList& tables) {
    CollectingFrontEnd frontEnd;
    TDmAccess access;
    ImportDriver driver(access, pos_->dm, frontEnd);
    driver.setTables(tables);
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
    EXPECT_TRUE(text.contains(QStringLiteral("Item,12345670,StkQty,330,+5\r\n")))
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
  CollectingFrontEnd frontEnd;
  TDmAccess access;
  ImportDriver driver(access, pos_->dm, frontEnd);
  driver.setTables({"Customer"});
  driver.setEditsOnly(true);
  driver.run();
  EXPECT_EQ(frontEnd.errors, QStringList());
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "TelNo"), "02-9999");
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), QStringLiteral("王大明"));
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "VipCount"), "1500");
  EXPECT_EQ(pos("Customer", "CustNo", "C3", "Name"), QStringLiteral("林小同"));
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
            QStringLiteral("Customer（CustNo = C2）的欄位 Name 在 Access 與 POS 都改過：匯出時為"
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
