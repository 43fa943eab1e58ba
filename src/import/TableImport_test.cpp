// The table imports against real POS engines (SQLite, and PostgreSQL and a server speaking
// SQL Server's protocol over ODBC when the test servers are set up) from Access files made
// with the project's Access driver.
#include "import/TableImport.h"

#include "ImportTestSupport.h"

#include <config/Configs.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>
#include <posdb/ExportRecord.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::SourceColumn;
using test::SourceRow;
using test::TestDatabase;

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QStringLiteral("no error");
}

class RecordingProgress : public platform::Progress {
 public:
  void start(int total) override { events.push_back(QStringLiteral("start %1").arg(total)); }
  void step(int done, int total) override {
    events.push_back(QStringLiteral("%1 / %2").arg(done).arg(total));
  }
  void finish() override { events.push_back(QStringLiteral("finish")); }
  QStringList events;
};

class TableImportTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    pos_ = std::make_unique<ScratchPos>(GetParam());
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
    pos_->exec("INSERT INTO Classify (ClsNo, ClsName) VALUES ('B1', 'old')");
    pos_->exec("INSERT INTO Supplier (FactNo, FactName) VALUES ('S01', 'old')");
    pos_->exec("INSERT INTO Customer (CustNo, Name) VALUES ('C1', 'old')");
    pos_->exec(
        "INSERT INTO Item (ItemNo, PtName, Price, UniPrice, AvgCost, MemPrice, VipPrice, "
        "ShelfNo, StkQty) VALUES ('12345670', 'old', 10, 11, 12, 13, 14, 'A1', 100)");
    pos_->start();
  }
  void TearDown() override {
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  QString mdb(const char* table) const { return dir_.filePath(QString(table) + ".mdb"); }

  // Opens the Access table as the import driver does.
  db::Dataset& source(const char* table) {
    access_.close();
    access_.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + mdb(table));
    source_ = std::make_unique<db::Dataset>("qryAccess");
    source_->setConnection(&access_);
    source_->setSql(QStringLiteral("SELECT * FROM ") + table);
    source_->open();
    return *source_;
  }

  // An Access table with every column of the POS query, named by label, and the
  // export's column map file beside it.
  void exportShaped(const char* table, db::Dataset& query, const QString& key,
                    const std::vector<std::vector<std::pair<QString, QString>>>& rows) {
    const config::ColumnMap map = test::exportMap(query, key);
    map.writeTable(table);
    std::vector<SourceColumn> columns;
    for (const config::ColumnPair& p : map.pairs()) columns.push_back({p.display});
    std::vector<SourceRow> sourceRows;
    for (const auto& values : rows) {
      SourceRow row(columns.size());
      for (const auto& [field, text] : values)
        for (size_t i = 0; i < map.pairs().size(); ++i)
          if (map.pairs()[i].field == field) row[i] = text;
      sourceRows.push_back(row);
    }
    test::writeAccessTable(mdb(table), table, columns, sourceRows);
  }

  QString run(PosTable table, db::Dataset& target, RecordingProgress* progress = nullptr) {
    RecordingProgress local;
    TableImport import(table, source(importTable(table).name), target);
    return errorOf([&] { import.run(progress ? *progress : local); });
  }

  QString pos(const char* table, const char* key, const QString& value, const char* column) {
    return pos_->value(table, key, value, column).toString();
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
  db::Connection access_;
  std::unique_ptr<db::Dataset> source_;
};

TEST_P(TableImportTest, MergesByKeyAndTrimsOnlyClassifyAndCustomer) {
  const QString padded = QStringLiteral("  新名 ");
  exportShaped("Classify", pos_->dm.qryClassify, "ClsNo",
               {{{"ClsNo", "B1"}, {"ClsName", padded}}, {{"ClsNo", "A2"}, {"ClsName", padded}}});
  exportShaped("Customer", pos_->dm.qryCustomer, "CustNo", {{{"CustNo", "C1"}, {"Name", padded}}});
  exportShaped("Supplier", pos_->dm.qrySupplier, "FactNo",
               {{{"FactNo", "S01"}, {"FactName", padded}}});

  RecordingProgress progress;
  EXPECT_EQ(run(PosTable::Classify, pos_->dm.qryClassify, &progress), "no error");
  EXPECT_EQ(progress.events, QStringList({"start 2", "1 / 2", "2 / 2", "finish"}));
  EXPECT_EQ(pos_->rowCount("Classify"), 2);
  EXPECT_EQ(pos("Classify", "ClsNo", "B1", "ClsName"), QStringLiteral("新名"));
  EXPECT_EQ(pos("Classify", "ClsNo", "A2", "ClsName"), QStringLiteral("新名"));
  // The grid's query follows: the appended row is there, no second B1.
  EXPECT_EQ(pos_->dm.qryClassify.recordCount(), 2);

  EXPECT_EQ(run(PosTable::Customer, pos_->dm.qryCustomer), "no error");
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), QStringLiteral("新名"));
  EXPECT_EQ(run(PosTable::Supplier, pos_->dm.qrySupplier), "no error");
  EXPECT_EQ(pos("Supplier", "FactNo", "S01", "FactName"), padded);
}

TEST_P(TableImportTest, KeyIsSearchedAsReadAndItsOwnPairIsNotCopied) {
  // The numbered key pair points at another Access column; copying it would change
  // the key to "XX".
  config::ColumnMap map;
  map.setKey("ClsNo", "K");
  map.addPair("ClsNo", "Other");
  map.addPair("ClsName", "N");
  map.writeTable("Classify");
  test::writeAccessTable(mdb("Classify"), "Classify", {{"K"}, {"Other"}, {"N"}},
                         {{"B1", "XX", "n1"}, {" B1", "XX", "n2"}});
  EXPECT_EQ(run(PosTable::Classify, pos_->dm.qryClassify), "no error");
  EXPECT_EQ(pos("Classify", "ClsNo", "B1", "ClsName"), "n1");
  // Not trimmed: " B1" is another key, and a new row keeps it as read.
  EXPECT_EQ(pos("Classify", "ClsNo", " B1", "ClsName"), "n2");
  EXPECT_EQ(pos_->rowCount("Classify"), 2);
}

TEST_P(TableImportTest, MissingMapFailsTheFirstRowButNotAnEmptySource) {
  test::writeAccessTable(mdb("Classify"), "Classify", {{"K"}}, {});
  RecordingProgress progress;
  EXPECT_EQ(run(PosTable::Classify, pos_->dm.qryClassify, &progress), "no error");
  EXPECT_EQ(progress.events, QStringList({"start 0", "finish"}));

  test::writeAccessTable(mdb("Customer"), "Customer", {{"K"}}, {{"C9"}});
  EXPECT_EQ(run(PosTable::Customer, pos_->dm.qryCustomer), "qryAccess: Field '' not found");
  EXPECT_EQ(pos_->rowCount("Customer"), 1);
}

TEST_P(TableImportTest, FailedRowIsDiscardedAndEndsTheWalk) {
  std::vector<std::vector<std::pair<QString, QString>>> rows;
  for (int i = 1; i <= 10; ++i)
    rows.push_back({{"CustNo", QStringLiteral("N%1").arg(i)},
                    {"Name", QStringLiteral("name%1").arg(i)},
                    {"Height", i == 5 ? "tall" : "170"}});
  exportShaped("Customer", pos_->dm.qryCustomer, "CustNo", rows);
  RecordingProgress progress;
  EXPECT_EQ(run(PosTable::Customer, pos_->dm.qryCustomer, &progress),
            "「tall」不是數字：這個欄位只能填數字（例如 12.5）");
  EXPECT_EQ(progress.events.size(), 5);  // start and rows 1 to 4; no finish
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(pos("Customer", "CustNo", QStringLiteral("N%1").arg(i), "Name"),
              QStringLiteral("name%1").arg(i));
  EXPECT_FALSE(pos_->value("Customer", "CustNo", "N5", "Name").isValid());
  EXPECT_FALSE(pos_->value("Customer", "CustNo", "N6", "Name").isValid());
  EXPECT_EQ(pos_->dm.qryCustomer.state(), db::Dataset::State::Browse);
  EXPECT_EQ(pos_->dm.qryCustomer.recordCount(), 5);
}

// Another session holds a POS row (a till's open transaction): the post of that row
// fails at the command timeout, by the failed-row rules, rows before it kept. On
// SQLite the whole file is held, so the first row is the one that fails. The TDS server
// ignores locking hints (UPDLOCK): there the other session holds the row by changing it
// in a transaction not committed, which keeps a writer out on SQL Server too. That server
// does not act on the cancel of a statement past its timeout either: the abandoned
// update of the held row still runs once the row is free (SQL Server ends it), so what
// the held row holds afterwards is checked on the other engines only.
TEST_P(TableImportTest, ARowHeldByAnotherSessionFailsAtTheCommandTimeout) {
  const bool sqlite = GetParam() == TestDatabase::Engine::Sqlite;
  const bool tds = GetParam() == TestDatabase::Engine::Tds;
  exportShaped("Customer", pos_->dm.qryCustomer, "CustNo",
               {{{"CustNo", "N1"}, {"Name", "a"}},
                {{"CustNo", "N2"}, {"Name", "b"}},
                {{"CustNo", "C1"}, {"Name", "new"}},
                {{"CustNo", "N4"}, {"Name", "d"}}});
  pos_->dm.cnKAROS.setCommandTimeout(1);
  QSqlDatabase holder = QSqlDatabase::addDatabase(sqlite ? "QSQLITE" : "QODBC", "row-holder");
  {
    const QString text = pos_->connectionString();
    holder.setDatabaseName(sqlite ? text.mid(text.indexOf("Data Source=") + 12) : text);
    ASSERT_TRUE(holder.open());
    QSqlQuery hold(holder);
    hold.setForwardOnly(true);  // FreeTDS opens a server cursor otherwise, for a query only
    if (sqlite) {
      ASSERT_TRUE(hold.exec("BEGIN IMMEDIATE"));
    } else {
      ASSERT_TRUE(holder.transaction());
      ASSERT_TRUE(hold.exec(tds ? "UPDATE Customer SET Name = Name WHERE CustNo = 'C1'"
                                : "SELECT * FROM Customer WHERE CustNo = 'C1' FOR UPDATE"))
          << hold.lastError().text().toStdString();
    }
    RecordingProgress progress;
    EXPECT_EQ(run(PosTable::Customer, pos_->dm.qryCustomer, &progress),
              db::Connection::timeoutMessage(1));
    // Start, then the rows posted; on SQL Server the rows are sent in batches, and C1 was
    // counted as it was held for the batch that then failed.
    EXPECT_EQ(progress.events.size(), sqlite ? 1 : tds ? 4 : 3);
    if (sqlite)
      hold.exec("COMMIT");
    else
      holder.rollback();
    hold.finish();
    holder.close();
  }
  holder = QSqlDatabase();
  QSqlDatabase::removeDatabase("row-holder");
  if (!tds) {
    EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), "old");
  }
  EXPECT_EQ(pos_->value("Customer", "CustNo", "N1", "Name").isValid(), !sqlite);
  EXPECT_EQ(pos_->value("Customer", "CustNo", "N2", "Name").isValid(), !sqlite);
  EXPECT_FALSE(pos_->value("Customer", "CustNo", "N4", "Name").isValid());
  EXPECT_EQ(pos_->dm.qryCustomer.state(), db::Dataset::State::Browse);
}

TEST_P(TableImportTest, DateThatDoesNotParseFailsTheRow) {
  exportShaped("Supplier", pos_->dm.qrySupplier, "FactNo",
               {{{"FactNo", "S02"}, {"TradeDate", "2024/02/29"}},
                {{"FactNo", "S03"}, {"TradeDate", "2024/02/30"}}});
  EXPECT_NE(run(PosTable::Supplier, pos_->dm.qrySupplier), "no error");
  EXPECT_TRUE(pos_->value("Supplier", "FactNo", "S02", "FactName").isValid());
  EXPECT_FALSE(pos_->value("Supplier", "FactNo", "S03", "FactName").isValid());
}

TEST_P(TableImportTest, ItemKeysAreCompletedAndAFactNamePairLeavesNoTrace) {
  exportShaped("Item", pos_->dm.qryItem, "ItemNo",
               {{{"ItemNo", " 1234567 "}, {"PtName", " 新 "}, {"FactName", "ignored"}},
                {{"ItemNo", "123456"}, {"PtName", "six"}},
                {{"ItemNo", "12345"}, {"PtName", "five"}},
                {{"ItemNo", "12A4567"}, {"PtName", "bad"}}});
  EXPECT_EQ(run(PosTable::Item, pos_->dm.qryItem), "「A」不是整數：這個欄位只能填整數（例如 12）");
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "PtName"), QStringLiteral(" 新 "));
  EXPECT_EQ(pos("Item", "ItemNo", "12345601", "PtName"), "six");
  EXPECT_EQ(pos("Item", "ItemNo", "12345", "PtName"), "five");
  EXPECT_EQ(pos_->rowCount("Item"), 3);
}

struct GuardCase {
  bool flagsOn;
  bool stockOn;
  int stockAction;
  const char* existingPrice;  // what the existing item holds afterwards
  const char* existingStock;
};

TEST_P(TableImportTest, GuardedColumnsAndStockFollowTheSettingsOnlyForExistingItems) {
  const GuardCase cases[] = {
      {false, false, 0, "10", "100"},  // kept
      {true, true, 0, "20", "5"},      // overwritten
      {true, true, 1, "20", "105"},    // accumulated
      {true, true, -1, "20", "5"},     // overwrite when 0 or below
  };
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(c.stockAction);
    pos_->dm.stop();
    pos_->exec("DELETE FROM Item");
    pos_->exec(
        "INSERT INTO Item (ItemNo, PtName, Price, UniPrice, AvgCost, MemPrice, VipPrice, "
        "ShelfNo, StkQty) VALUES ('12345670', 'old', 10, 11, 12, 13, 14, 'A1', 100)");
    pos_->start();
    QFile::remove(mdb("Item"));
    const std::vector<std::pair<QString, QString>> values = {
        {"PtName", "new"},  {"Price", "20"},    {"UniPrice", "21"}, {"AvgCost", "22"},
        {"MemPrice", "23"}, {"VipPrice", "24"}, {"ShelfNo", "B2"},  {"StkQty", "5"}};
    auto existing = values, fresh = values;
    existing.push_back({"ItemNo", "12345670"});
    fresh.push_back({"ItemNo", "76543210"});
    exportShaped("Item", pos_->dm.qryItem, "ItemNo", {existing, fresh});

    TableImport import(PosTable::Item, source("Item"), pos_->dm.qryItem);
    ItemRules rules;
    rules.shelfNo = rules.avgCost = rules.uniPrice = rules.price = rules.memPrice = rules.vipPrice =
        c.flagsOn;
    rules.updateStkQty = c.stockOn;
    rules.stkQtyAction = c.stockAction;
    import.setItemRules(rules);
    platform::NoProgress none;
    ASSERT_EQ(errorOf([&] { import.run(none); }), "no error");

    EXPECT_EQ(pos("Item", "ItemNo", "12345670", "PtName"), "new");
    EXPECT_EQ(pos("Item", "ItemNo", "12345670", "Price"), c.existingPrice);
    EXPECT_EQ(pos("Item", "ItemNo", "12345670", "VipPrice"), c.flagsOn ? "24" : "14");
    EXPECT_EQ(pos("Item", "ItemNo", "12345670", "ShelfNo"), c.flagsOn ? "B2" : "A1");
    EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), c.existingStock);
    // A new item takes every Access value.
    EXPECT_EQ(pos("Item", "ItemNo", "76543210", "Price"), "20");
    EXPECT_EQ(pos("Item", "ItemNo", "76543210", "ShelfNo"), "B2");
    EXPECT_EQ(pos("Item", "ItemNo", "76543210", "StkQty"), "5");
  }
}

// Cells the switches keep are not imported, and never silently: the preview counts
// them and both name the column and the switch.
TEST_P(TableImportTest, CellsKeptByTheSwitchesAreCountedPerColumn) {
  exportShaped("Item", pos_->dm.qryItem, "ItemNo",
               {{{"ItemNo", "12345670"},
                 {"Price", "20"},
                 {"UniPrice", "11"},
                 {"AvgCost", "12"},
                 {"MemPrice", "13"},
                 {"VipPrice", "14"},
                 {"ShelfNo", "A1"},
                 {"StkQty", "7"}},
                {{"ItemNo", "76543210"}, {"Price", "30"}}});
  TableImport import(PosTable::Item, source("Item"), pos_->dm.qryItem);
  import.setItemRules(ItemRules{});
  platform::NoProgress none;
  const TableImport::Preview p = import.preview(none);
  QStringList kept;
  for (const TableImport::KeptColumn& k : p.keptBySettings) kept << k.text();
  kept.sort();
  EXPECT_EQ(kept, QStringList({QStringLiteral("售價 1 筆未更新：參數設定未勾選「更新售價」"),
                               QStringLiteral("庫存量 1 筆未更新：參數設定未勾選「更新庫存量」")}));
  ASSERT_EQ(errorOf([&] { import.run(none); }), "no error");
  EXPECT_EQ(import.keptBySettings().size(), 2u);
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "Price"), "10");
}

// A key the file holds twice with different contents: either copy would overwrite the
// other, so both fail, naming the rows; copies alike are harmless. The server's key
// comparison decides what is the same key.
TEST_P(TableImportTest, AKeyHeldTwiceWithDifferentContentsFailsBothRows) {
  const QString other = GetParam() == TestDatabase::Engine::Tds ? "c1" : "C1";
  exportShaped("Customer", pos_->dm.qryCustomer, "CustNo",
               {{{"CustNo", "C1"}, {"Name", "甲"}},
                {{"CustNo", "C2"}, {"Name", "乙"}},
                {{"CustNo", other}, {"Name", "丙"}},
                {{"CustNo", "C2"}, {"Name", "乙"}}});
  {
    TableImport import(PosTable::Customer, source("Customer"), pos_->dm.qryCustomer);
    platform::NoProgress none;
    const TableImport::Preview p = import.preview(none);
    ASSERT_EQ(p.failures.size(), 2u);
    EXPECT_EQ(p.failures[0].row, 1);
    EXPECT_EQ(p.failures[1].row, 3);
    EXPECT_TRUE(
        p.failures[1].message.startsWith(QStringLiteral("Customer.mdb 第 1 列與第 3 列的 ")))
        << p.failures[1].message.toStdString();
    EXPECT_TRUE(p.failures[1].message.contains(QStringLiteral("內容不同；請刪除其中一列")));
    EXPECT_EQ(p.added, 1);  // C2, once
  }
  const QString error = run(PosTable::Customer, pos_->dm.qryCustomer);
  EXPECT_TRUE(error.contains(QStringLiteral("第 1 列與第 3 列"))) << error.toStdString();
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), "old");
}

// A row with nothing in any mapped column (a note typed beside the table leaves one) is
// no row; a row with values but no key fails alike in the dry run and the import.
TEST_P(TableImportTest, BlankRowsAreSkippedAndAnEmptyKeyFailsItsRow) {
  exportShaped("Customer", pos_->dm.qryCustomer, "CustNo",
               {{{"CustNo", "C1"}, {"Name", "甲"}}, {}, {{"CustNo", " "}, {"Name", "乙"}}});
  {
    TableImport import(PosTable::Customer, source("Customer"), pos_->dm.qryCustomer);
    platform::NoProgress none;
    const TableImport::Preview p = import.preview(none);
    EXPECT_EQ(p.blank, 1);
    EXPECT_EQ(p.changed, 1);
    ASSERT_EQ(p.failures.size(), 1u);
    EXPECT_EQ(p.failures[0].row, 3);
    EXPECT_TRUE(p.failures[0].message.startsWith(QStringLiteral("Customer.mdb 第 3 列的 ")))
        << p.failures[0].message.toStdString();
  }
  const QString error = run(PosTable::Customer, pos_->dm.qryCustomer);
  EXPECT_TRUE(error.contains(QStringLiteral("是空的"))) << error.toStdString();
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), QStringLiteral("甲"));
  EXPECT_EQ(pos_->rowCount("Customer"), 1);
}

TEST_P(TableImportTest, ItemRulesAreReadFromConfigIni) {
  config::Config().write(config::keys::UpdatePrice, true);
  config::Config().write(config::keys::UpdateStkQty, true);
  config::Config().write(config::keys::UpdateStkQtyAction, 1);
  const ItemRules r = ItemRules::fromConfig(config::Config());
  EXPECT_TRUE(r.price);
  EXPECT_FALSE(r.memPrice);
  EXPECT_TRUE(r.updateStkQty);
  EXPECT_EQ(r.stkQtyAction, 1);
  // Accumulating an empty Access value adds nothing.
  exportShaped("Item", pos_->dm.qryItem, "ItemNo", {{{"ItemNo", "12345670"}, {"StkQty", ""}}});
  EXPECT_EQ(run(PosTable::Item, pos_->dm.qryItem), "no error");
  EXPECT_EQ(pos("Item", "ItemNo", "12345670", "StkQty"), "100");
}

TEST_P(TableImportTest, TypedValuesOfAFileMadeByAccessArriveAsTheirText) {
  // A table Access wrote, with text, number, date, currency and yes/no columns.
  const QString file = dir_.filePath("Customer.mdb");
  ASSERT_TRUE(QFile::copy(DATACONV_SHARED_DIR "/fixtures/jet4/testV2003.mdb", file));
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
  config::ColumnMap map;
  map.setKey("CustNo", "A");
  for (const auto& [field, column] : std::vector<std::pair<QString, QString>>{{"CustNo", "A"},
                                                                              {"Name", "B"},
                                                                              {"VipCount", "E"},
                                                                              {"Height", "F"},
                                                                              {"Birthday", "G"},
                                                                              {"DisCount", "H"},
                                                                              {"Sex", "I"}})
    map.addPair(field, column);
  access_.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
  db::Dataset table("qryAccess");
  table.setConnection(&access_);
  table.setSql("SELECT * FROM Table1");
  table.open();
  TableImport import(PosTable::Customer, table, pos_->dm.qryCustomer);
  import.setColumnMap(map);
  platform::NoProgress none;
  ASSERT_EQ(errorOf([&] { import.run(none); }), "no error");
  const auto cell = [&](const char* column) {
    pos_->dm.qryCustomer.locate("CustNo", "abcdefg");
    return pos_->dm.qryCustomer.fieldByName(column).asString();
  };
  EXPECT_EQ(cell("Name"), "hijklmnop");
  EXPECT_EQ(cell("VipCount"), "333333333");
  EXPECT_EQ(cell("Height"), "444.555");
  EXPECT_EQ(cell("Birthday"), "1974/09/21");
  EXPECT_EQ(cell("DisCount"), "3.5");
  EXPECT_EQ(cell("Sex"), "True");
  EXPECT_EQ(pos("Customer", "CustNo", "abcdefg", "Name"), "hijklmnop");
  EXPECT_EQ(pos_->rowCount("Customer"), 1 + table.recordCount());
}

// What a SQL Server column cannot hold fails the row before anything is sent, in the
// program's words, in the dry run as in the import: a date before datetime's first
// day, a character outside the database's code page (SQL Server would store '?', this
// server refuses it), a text whose code-page bytes exceed the column although its Big5
// bytes fit. Texts that fill the column exactly are stored whole.
TEST_P(TableImportTest, ADateBeforeSqlServersDatetimeFailsTheRowInTheDryRunToo) {
  if (GetParam() != TestDatabase::Engine::Tds) GTEST_SKIP() << "SQL Server's limits";
  const QString before = pos("Customer", "CustNo", "C1", "Birthday");
  exportShaped("Customer", pos_->dm.qryCustomer, "CustNo",
               {{{"CustNo", "C1"}, {"Name", "新名"}, {"Birthday", "1700/01/01"}}});
  RecordingProgress progress;
  {
    TableImport dryRun(PosTable::Customer, source("Customer"), pos_->dm.qryCustomer);
    const TableImport::Preview preview = dryRun.preview(progress);
    ASSERT_EQ(preview.failures.size(), 1u);
    EXPECT_TRUE(preview.failures[0].message.startsWith(QStringLiteral(
        "Customer（CustNo = C1）的欄位 Birthday（檔案中的「出生日期」欄） 的日期 1700/01/01 超出")))
        << preview.failures[0].message.toStdString();
  }
  EXPECT_TRUE(run(PosTable::Customer, pos_->dm.qryCustomer)
                  .contains(QStringLiteral("（1753/01/01 到 9999/12/31 23:59:59.997）")));
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Name"), QStringLiteral("old"));
  EXPECT_EQ(pos("Customer", "CustNo", "C1", "Birthday"), before);
}

TEST_P(TableImportTest, ACharacterOutsideTheServersCodePageFailsTheRow) {
  if (GetParam() != TestDatabase::Engine::Tds) GTEST_SKIP() << "SQL Server's limits";
  const QString emoji = QStringLiteral("土地銀行\U0001F600");
  exportShaped("Supplier", pos_->dm.qrySupplier, "FactNo", {{{"FactNo", "S01"}, {"Bank", emoji}}});
  EXPECT_EQ(run(PosTable::Supplier, pos_->dm.qrySupplier),
            QStringLiteral("Supplier（FactNo = S01）的欄位 Bank（檔案中的「付款行名」欄） 含有 POS "
                           "資料庫無法儲存的字元「"
                           "\U0001F600」：") +
                emoji);
  EXPECT_EQ(pos("Supplier", "FactNo", "S01", "Bank"), QString());
}

TEST_P(TableImportTest, ATextLongerInTheServersCodePageThanInBig5FailsTheRow) {
  if (GetParam() != TestDatabase::Engine::Tds) GTEST_SKIP() << "SQL Server's limits";
  // 国 is not in Big5 (counted as one '?' byte there) but takes two bytes of code page 936.
  const QString simplified = QStringLiteral("国国国国国国国国国国");
  exportShaped("Supplier", pos_->dm.qrySupplier, "FactNo",
               {{{"FactNo", "S01"}, {"Responser", simplified}}});
  const QString error = run(PosTable::Supplier, pos_->dm.qrySupplier);
  EXPECT_TRUE(error.startsWith(QStringLiteral("Supplier（FactNo = S01）的欄位「")) &&
              error.contains(QStringLiteral("（POS 欄位 Responser）太長：「%1」佔 20 個位元組，"
                                            "這個欄位最多只能放 10 個英文字母或數字")
                                 .arg(simplified)))
      << error.toStdString();
  EXPECT_EQ(pos("Supplier", "FactNo", "S01", "Responser"), QString());
}

TEST_P(TableImportTest, ChineseTextsThatFillTheirColumnsAreStoredWholeAndLongerOnesFail) {
  exportShaped(
      "Supplier", pos_->dm.qrySupplier, "FactNo",
      {{{"FactNo", "S01"}, {"Bank", "土地銀行甲"}, {"FactName", QString(20, QChar(0x8CC7))}},
       {{"FactNo", "S02"}, {"Bank", "全寬ＡＢＣ"}, {"Branch", "一二三四五六"}}});
  // Never cut: the operator's text is refused whole, with what the column takes.
  const QString error = run(PosTable::Supplier, pos_->dm.qrySupplier);
  EXPECT_TRUE(error.startsWith(QStringLiteral("Supplier（FactNo = S02）的欄位「")) &&
              error.contains(QStringLiteral(
                  "（POS 欄位 Branch）太長：「一二三四五六」佔 12 個位元組，這個欄位最多只能放 "
                  "10 個英文字母或數字（中文字每字算 2 個，最多 5 個中文字）")))
      << error.toStdString();
  EXPECT_EQ(pos("Supplier", "FactNo", "S01", "Bank"), QStringLiteral("土地銀行甲"));
  EXPECT_EQ(pos("Supplier", "FactNo", "S01", "FactName"), QString(20, QChar(0x8CC7)));
  EXPECT_EQ(pos("Supplier", "FactNo", "S02", "Bank"), QString());
  // The query the grid shows holds them whole too.
  ASSERT_TRUE(pos_->dm.qrySupplier.locate("FactNo", QStringLiteral("S01")));
  EXPECT_EQ(pos_->dm.qrySupplier.fieldByName("Bank").asString(), QStringLiteral("土地銀行甲"));
}

// A spreadsheet program saves a float with 15 significant digits: the POS's
// 715.7238000000001 comes back from a workbook only opened and saved as 715.7238, which is
// no edit, in the dry run as in the import. A value that differs at 15 digits is an edit
// and is written as typed.
class ResavedFloatTest : public TableImportTest {
 protected:
  void SetUp() override {
    TableImportTest::SetUp();
    if (IsSkipped()) return;
    setAvgCost("715.7238000000001");
    config::ColumnMap map;
    map.setKey("ItemNo", "K");
    map.addPair("AvgCost", "C");
    map.writeTable("Item");
  }

  void setAvgCost(const char* value) {
    pos_->dm.stop();
    pos_->exec(QStringLiteral("UPDATE Item SET AvgCost = %1").arg(value));
    pos_->start();
  }
  double avgCost() { return pos_->value("Item", "ItemNo", "12345670", "AvgCost").toDouble(); }

  TableImport::Preview importAvgCost(const char* text, QString& error) {
    access_.close();
    QFile::remove(mdb("Item"));
    test::writeAccessTable(mdb("Item"), "Item", {{"K"}, {"C"}}, {{"12345670", text}});
    ItemRules rules;
    rules.avgCost = true;
    platform::NoProgress none;
    TableImport dryRun(PosTable::Item, source("Item"), pos_->dm.qryItem);
    dryRun.setItemRules(rules);
    const TableImport::Preview preview = dryRun.preview(none);
    TableImport import(PosTable::Item, source("Item"), pos_->dm.qryItem);
    import.setItemRules(rules);
    error = errorOf([&] { import.run(none); });
    return preview;
  }
};

TEST_P(ResavedFloatTest, AFloatAsASpreadsheetSavesItIsLeftAsThePosHoldsIt) {
  ASSERT_EQ(avgCost(), 715.7238000000001);
  QString error;
  TableImport::Preview p = importAvgCost("715.7238", error);
  EXPECT_EQ(error, "no error");
  EXPECT_EQ(p.unchanged, 1);
  EXPECT_EQ(p.changed, 0);
  EXPECT_EQ(avgCost(), 715.7238000000001);  // not written over with 715.7238

  p = importAvgCost("715.7239", error);
  EXPECT_EQ(error, "no error");
  EXPECT_EQ(p.changed, 1);
  EXPECT_EQ(avgCost(), 715.7239);
}

// Edits only, a file value that is the exported one at 15 digits was not edited: a cost
// the back office changed since the export stays, where an edit in the file as well is
// refused.
TEST_P(ResavedFloatTest, EditsOnlyTakesTheExportedFloatResavedAsNotEdited) {
  posdb::ExportRecord::write("Item", pos_->dm.qryItem, "ItemNo");
  setAvgCost("800.5");
  config::Config().write(config::keys::EditsOnly, true);
  QString error;
  const TableImport::Preview p = importAvgCost("715.7238", error);
  EXPECT_EQ(error, "no error");
  EXPECT_EQ(p.unchanged, 1);
  EXPECT_EQ(p.leftAlone, 1);
  EXPECT_EQ(avgCost(), 800.5);

  importAvgCost("715.7239", error);
  EXPECT_TRUE(error.contains(QStringLiteral("都改過"))) << error.toStdString();
  EXPECT_EQ(avgCost(), 800.5);
}

INSTANTIATE_TEST_SUITE_P(Engines, ResavedFloatTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) { return std::string(engineName(info.param)); });

INSTANTIATE_TEST_SUITE_P(Engines, TableImportTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) { return std::string(engineName(info.param)); });

}  // namespace
}  // namespace dataimport
