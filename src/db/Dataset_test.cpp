// Datasets against real engines: SQLite files, and PostgreSQL and a server speaking SQL
// Server's protocol (TDS) through ODBC.
#include "db/Dataset.h"
#include "Driver.h"
#include "TestDatabase.h"
#include "db/Command.h"
#include "db/DefaultValue.h"
#include "db/ValueText.h"

#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <map>

using db::Dataset;
using db::FieldDef;
using namespace db;
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

class DatasetTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    db_ = std::make_unique<TestDatabase>(GetParam());
    if (!db_->available()) GTEST_SKIP() << db_->unavailableReason().toStdString();
    db_->run(
        "CREATE TABLE Goods (Code varchar(8) NOT NULL PRIMARY KEY, Name varchar(10), Qty smallint, "
        "Stock integer, Price double precision, Active " +
        db_->booleanType() + ", Made " + db_->dateTimeType() +
        ", Void char(1), Extra varchar(5));"
        "INSERT INTO Goods (Code, Name, Qty, Stock, Price, Active, Made, Void, Extra) VALUES "
        "('B002', '阿斯匹靈', 3, 100, 12.5, " +
        db_->booleanLiteral(true) +
        ", '2024-03-07 13:05:09', 'N', 'x');"
        "INSERT INTO Goods (Code, Name, Qty, Stock, Price, Active, Made, Void, Extra) VALUES "
        "('A001', '口罩', NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
        "INSERT INTO Goods (Code, Name, Qty, Stock, Price, Active, Made, Void, Extra) VALUES "
        "('C003', '口罩', -5, 7, 0.1, " +
        db_->booleanLiteral(false) + ", '1930-01-02 00:00:00', 'Y', NULL)");
    conn_ = db_->connect();
    declare(goods_);
  }

  void declare(Dataset& ds) {
    ds.setConnection(conn_.get());
    ds.setSql("select * from Goods");
    ds.setKeyFields({"Code"});
    ds.addField({.name = "Code", .type = db::ftString, .size = 8, .label = "編號"});
    ds.addField({.name = "Name", .type = db::ftString, .size = 10, .label = "品名"});
    ds.addField({.name = "Qty", .type = db::ftSmallint, .label = "數量"});
    ds.addField({.name = "Stock", .type = db::ftInteger, .label = "庫存", .displayFormat = "#,#0"});
    ds.addField(
        {.name = "Price", .type = db::ftFloat, .label = "售價", .displayFormat = "#,#0.00"});
    ds.addField({.name = "Active", .type = db::ftBoolean, .label = "啟用"});
    ds.addField(
        {.name = "Made", .type = db::ftDateTime, .label = "日期", .displayFormat = "yyyy/mm/dd"});
    ds.addField({.name = "Void", .type = db::ftString, .size = 1, .fixedChar = true});
  }

  // The row's values read afresh from the database.
  QString reread(const QString& code, const QString& field) {
    Dataset ds("check");
    auto c = db_->connect();
    ds.setConnection(c.get());
    ds.setSql("select * from Goods");
    ds.open();
    if (!ds.locate("Code", code)) return "<missing>";
    return ds.fieldByName(field).asString();
  }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<db::Connection> conn_;
  Dataset goods_{"qryGoods"};
};

TEST_P(DatasetTest, OpensDeclaredFieldsAndIgnoresOtherColumns) {
  goods_.open();
  EXPECT_TRUE(goods_.isOpen());
  EXPECT_EQ(goods_.recordCount(), 3);
  EXPECT_EQ(goods_.fieldCount(), 8);
  EXPECT_EQ(goods_.findField("Extra"), nullptr);
  EXPECT_EQ(&goods_.fieldByName("pRiCe"), &goods_.field(4));
  EXPECT_EQ(goods_.field(7).displayLabel(), "Void");
  goods_.setSort("Code");
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "A001");
  EXPECT_TRUE(goods_.fieldByName("Price").isNull());
  EXPECT_EQ(goods_.fieldByName("Price").displayText(), "");
  goods_.next();
  EXPECT_EQ(goods_.fieldByName("Name").asString(), "阿斯匹靈");
  EXPECT_EQ(goods_.fieldByName("Qty").asString(), "3");
  EXPECT_EQ(goods_.fieldByName("Stock").displayText(), "100");
  EXPECT_EQ(goods_.fieldByName("Price").displayText(), "12.50");
  EXPECT_EQ(goods_.fieldByName("Active").asString(), "True");
  EXPECT_EQ(goods_.fieldByName("Made").asString(), "2024/03/07 13:05:09");
  EXPECT_EQ(goods_.fieldByName("Made").displayText(), "2024/03/07");
  goods_.next();
  EXPECT_EQ(goods_.fieldByName("Made").asString(), "1930/01/02");
  EXPECT_EQ(goods_.fieldByName("Active").asString(), "False");
  EXPECT_FALSE(goods_.eof());
  goods_.next();
  EXPECT_TRUE(goods_.eof());
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "C003");
}

TEST_P(DatasetTest, OpenFailuresNameTheFieldByItsLabel) {
  Dataset missing("qryGoods");
  declare(missing);
  missing.addField({.name = "Shelf", .type = db::ftString, .size = 3, .label = "貨架"});
  EXPECT_EQ(errorOf([&] { missing.open(); }), "qryGoods: Field '貨架' not found");
  EXPECT_FALSE(missing.isOpen());

  Dataset unlabeled("qryGoods");
  declare(unlabeled);
  unlabeled.addField({.name = "Gone", .type = db::ftInteger});
  EXPECT_EQ(errorOf([&] { unlabeled.open(); }), "qryGoods: Field 'Gone' not found");

  Dataset mismatch("qryGoods");
  mismatch.setConnection(conn_.get());
  mismatch.setSql("select * from Goods");
  mismatch.addField({.name = "Qty", .type = db::ftBoolean, .label = "數量"});
  EXPECT_EQ(errorOf([&] { mismatch.open(); }),
            "qryGoods: Type mismatch for field '數量', expecting: Boolean actual: SmallInt");

  Dataset textForDate("qryGoods");
  textForDate.setConnection(conn_.get());
  textForDate.setSql("select * from Goods");
  textForDate.addField({.name = "Name", .type = db::ftDateTime});
  EXPECT_EQ(errorOf([&] { textForDate.open(); }),
            "qryGoods: Type mismatch for field 'Name', expecting: DateTime actual: String");

  // Same basic kind is enough: a smallint column feeds an integer field.
  Dataset wider("qryGoods");
  wider.setConnection(conn_.get());
  wider.setSql("select * from Goods");
  wider.addField({.name = "Qty", .type = db::ftInteger});
  EXPECT_NO_THROW(wider.open());
}

TEST_P(DatasetTest, WithoutDeclarationsEveryColumnBecomesAField) {
  Dataset all("qryAll");
  all.setConnection(conn_.get());
  all.setSql("SELECT * FROM Goods");
  all.open();
  ASSERT_EQ(all.fieldCount(), 9);
  EXPECT_EQ(all.fieldByName("extra").dataType(), db::ftString);
  EXPECT_EQ(all.fieldByName("qty").dataType(), db::ftSmallint);
  EXPECT_EQ(all.fieldByName("active").dataType(), db::ftBoolean);
  EXPECT_EQ(all.fieldByName("made").dataType(), db::ftDateTime);
  EXPECT_EQ(all.fieldByName("price").dataType(), db::ftFloat);
  EXPECT_EQ(all.fieldByName("name").size(), 10);
  all.close();
  EXPECT_EQ(all.fieldCount(), 0);
}

TEST_P(DatasetTest, SortIsStableAndLocateFindsTheFirstInOrder) {
  goods_.open();
  goods_.setSort("Name");
  // 口罩 twice: fetch order (A001 before C003) decides between them.
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "A001");
  goods_.next();
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "C003");
  ASSERT_TRUE(goods_.locate("Name", "口罩"));
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "A001");
  EXPECT_EQ(goods_.recNo(), 0);
  goods_.setSort("Code");
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "A001");
  ASSERT_TRUE(goods_.locate("Code", "C003"));
  EXPECT_EQ(goods_.recNo(), 2);
  // As the server compares: SQL Server's collation here ignores case, the others do not.
  EXPECT_EQ(goods_.locate("Code", "c003"), GetParam() == TestDatabase::Engine::Tds);
  ASSERT_TRUE(goods_.locate("Code", "C003"));
  EXPECT_FALSE(goods_.locate("Code", "C00"));  // no partial match
  EXPECT_EQ(goods_.recNo(), 2);                // a miss keeps the cursor
  ASSERT_TRUE(goods_.locate("Qty", "-5"));     // text converted through the type
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "C003");
  ASSERT_TRUE(goods_.locate("Price", 12.5));
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "B002");
}

TEST_P(DatasetTest, PostWritesOnlyTheChangedColumns) {
  goods_.open();
  ASSERT_TRUE(goods_.locate("Code", "B002"));
  // Someone else changes the price meanwhile; our edit of the name must not undo it.
  db_->run("UPDATE Goods SET Price = 99 WHERE Code = 'B002'");
  goods_.edit();
  goods_.fieldByName("Name").setAsString("阿斯匹靈錠");
  EXPECT_EQ(goods_.state(), Dataset::State::Edit);
  goods_.post();
  EXPECT_EQ(goods_.state(), Dataset::State::Browse);
  EXPECT_EQ(reread("B002", "Name"), "阿斯匹靈錠");
  EXPECT_EQ(reread("B002", "Price"), "99");
  // The edited value is what the dataset shows and locates.
  ASSERT_TRUE(goods_.locate("Name", "阿斯匹靈錠"));
  EXPECT_FALSE(goods_.locate("Name", "阿斯匹靈"));
}

// A row given every column, then edited, as an import does it: what is stored, shown and
// located is the posted row, also through indexes made before it came.
TEST_P(DatasetTest, RowsPostedWholeStayShownAndLocated) {
  goods_.open();
  ASSERT_TRUE(goods_.locate("Code", "A001"));
  ASSERT_TRUE(goods_.locate("Name", "口罩"));
  const std::vector<std::pair<QString, QString>> row = {{"Code", "E005"},
                                                        {"Name", "繃帶"},
                                                        {"Qty", "2"},
                                                        {"Stock", "40"},
                                                        {"Price", "7.5"},
                                                        {"Active", "False"},
                                                        {"Made", "2025/06/30 12:00:00"},
                                                        {"Void", "N"}};
  goods_.append();
  for (const auto& [name, text] : row) goods_.fieldByName(name).setAsString(text);
  goods_.post();
  for (const auto& [name, text] : row) {
    EXPECT_EQ(goods_.fieldByName(name).asString(), text) << name.toStdString();
    EXPECT_EQ(reread("E005", name), text) << name.toStdString();
  }
  goods_.first();
  ASSERT_TRUE(goods_.locate("Name", "繃帶"));
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "E005");
  goods_.edit();
  goods_.fieldByName("Name").setAsString("紗布");
  goods_.fieldByName("Stock").setAsString("41");
  goods_.post();
  EXPECT_FALSE(goods_.locate("Name", "繃帶"));
  ASSERT_TRUE(goods_.locate("Name", "紗布"));
  EXPECT_EQ(goods_.fieldByName("Stock").asString(), "41");
  EXPECT_EQ(reread("E005", "Name"), "紗布");
  EXPECT_EQ(reread("E005", "Stock"), "41");
}

TEST_P(DatasetTest, AnUpdateThatTouchesNoRowIsAnError) {
  goods_.open();
  ASSERT_TRUE(goods_.locate("Code", "B002"));
  db_->run("DELETE FROM Goods WHERE Code = 'B002'");
  goods_.edit();
  goods_.fieldByName("Stock").setAsString("5");
  EXPECT_EQ(errorOf([&] { goods_.post(); }),
            "qryGoods: Row cannot be located for updating. Some values may have been changed "
            "since it was last read.");
  EXPECT_EQ(goods_.state(), Dataset::State::Edit);
  goods_.cancel();
  EXPECT_EQ(goods_.fieldByName("Stock").asString(), "100");

  // The key changed by someone else: the row is found by its key as read, so nothing matches.
  ASSERT_TRUE(goods_.locate("Code", "C003"));
  db_->run("UPDATE Goods SET Code = 'C004' WHERE Code = 'C003'");
  goods_.edit();
  goods_.fieldByName("Name").setAsString("x");
  EXPECT_THROW(goods_.post(), platform::Error);
  goods_.cancel();
  EXPECT_EQ(reread("C004", "Name"), "口罩");
}

TEST_P(DatasetTest, AppendInsertsAndCancelDiscards) {
  goods_.open();
  goods_.setSort("Code");
  goods_.append();
  goods_.fieldByName("Code").setAsString("D004");
  goods_.fieldByName("Price").setAsString("3.25");
  goods_.cancel();
  EXPECT_EQ(goods_.recordCount(), 3);
  EXPECT_FALSE(goods_.locate("Code", "D004"));

  QSignalSpy appended(&goods_, &Dataset::rowAppended);
  goods_.append();
  goods_.fieldByName("Code").setAsString("D004");
  goods_.fieldByName("Name").setAsString("新品");
  goods_.fieldByName("Made").setAsString("");
  goods_.post();
  EXPECT_EQ(appended.count(), 1);
  EXPECT_EQ(goods_.recordCount(), 4);
  EXPECT_EQ(goods_.fieldByName("Code").asString(), "D004");
  EXPECT_EQ(reread("D004", "Name"), "新品");
  EXPECT_EQ(reread("D004", "Price"), "");
  goods_.first();
  ASSERT_TRUE(goods_.locate("Code", "D004"));
  EXPECT_EQ(goods_.recNo(), 3);
  // A second row with the same key is refused by the database and stays pending.
  goods_.append();
  goods_.fieldByName("Code").setAsString("D004");
  EXPECT_THROW(goods_.post(), platform::Error);
  EXPECT_EQ(goods_.state(), Dataset::State::Insert);
  goods_.cancel();
  EXPECT_EQ(goods_.recordCount(), 4);
}

// What a row added without a column gets there, read from the database's catalog as
// each engine spells it: constants known, functions and identities not.
TEST_P(DatasetTest, ColumnDefaultsAreReadFromTheCatalog) {
  const bool tds = GetParam() == TestDatabase::Engine::Tds;
  const bool pg = GetParam() == TestDatabase::Engine::Postgres;
  db_->run(QStringLiteral(
               "CREATE TABLE Shelf (Code varchar(8) NOT NULL PRIMARY KEY, Qty integer DEFAULT 0, "
               "Rate double precision DEFAULT -1.5, Label varchar(10) DEFAULT '它''s', "
               "Shown %1 DEFAULT %2, Since %3 DEFAULT '2001-02-03 04:05:06', Made %3 DEFAULT "
               "CURRENT_TIMESTAMP, Plain varchar(4)%4)")
               .arg(db_->booleanType(), pg ? "true" : "1", db_->dateTimeType(),
                    tds  ? ", Id int IDENTITY(1,1)"
                    : pg ? ", Id serial"
                         : ""));
  std::map<QString, std::optional<QVariant>> got;
  for (const ColumnDefault& d : conn_->columnDefaults("Shelf")) {
    const FieldType type = d.column.compare("Qty", Qt::CaseInsensitive) == 0     ? ftInteger
                           : d.column.compare("Rate", Qt::CaseInsensitive) == 0  ? ftFloat
                           : d.column.compare("Shown", Qt::CaseInsensitive) == 0 ? ftBoolean
                           : d.column.startsWith("Made", Qt::CaseInsensitive) ||
                                   d.column.startsWith("Since", Qt::CaseInsensitive)
                               ? ftDateTime
                           : d.column.compare("Id", Qt::CaseInsensitive) == 0 ? ftInteger
                                                                              : ftString;
    got[d.column.toLower()] = constantDefault(d, type);
  }
  ASSERT_EQ(got.size(), tds || pg ? 9u : 8u);
  EXPECT_EQ(got["qty"], QVariant(qint64(0)));
  EXPECT_EQ(got["rate"], QVariant(-1.5));
  EXPECT_EQ(got["label"], QVariant(QStringLiteral("它's")));
  EXPECT_EQ(got["shown"], QVariant(true));
  EXPECT_EQ(got["since"], QVariant(ValueText::naive(QDate(2001, 2, 3), QTime(4, 5, 6))));
  EXPECT_FALSE(got["made"].has_value());
  ASSERT_TRUE(got["plain"].has_value());
  EXPECT_FALSE(got["plain"]->isValid());  // no default: NULL
  if (tds || pg) {
    EXPECT_FALSE(got["id"].has_value());  // an identity, nextval(...)
  }
  // PostgreSQL's driver also marks it in the result's columns.
  if (pg) {
    Dataset shelf("qryShelf");
    shelf.setConnection(conn_.get());
    shelf.setSql("select * from Shelf");
    shelf.open();
    EXPECT_TRUE(shelf.columnOf(shelf.fieldByName("Id"))->generated);
    EXPECT_FALSE(shelf.columnOf(shelf.fieldByName("Qty"))->generated);
  }
}

TEST_P(DatasetTest, EveryTypeReadsBackThroughTheDatabase) {
  goods_.open();
  // A varchar of SQL Server holds only characters of its code page (others become '?'),
  // and the TDS server refuses some of them outright: there the name keeps to
  // characters both code pages have.
  const QString name =
      GetParam() == TestDatabase::Engine::Tds ? QString("測試藥品") : QString("測試𠀀😀");
  const std::vector<std::pair<QString, QString>> values = {{"Name", name},
                                                           {"Qty", "-32768"},
                                                           {"Stock", "2147483647"},
                                                           {"Price", "0.30000000000000004"},
                                                           {"Active", "True"},
                                                           {"Made", "2024/02/29 08:00:00.123"},
                                                           {"Void", "Y"}};
  goods_.append();
  goods_.fieldByName("Code").setAsString("T1");
  for (const auto& [name, text] : values) goods_.fieldByName(name).setAsString(text);
  goods_.post();
  goods_.append();
  goods_.fieldByName("Code").setAsString("T2");
  goods_.fieldByName("Price").setAsString("1E20");
  goods_.fieldByName("Made").setAsString("1930/01/02");
  goods_.post();
  for (const auto& [name, text] : values) EXPECT_EQ(reread("T1", name), text) << name.toStdString();
  EXPECT_EQ(reread("T2", "Price"), "1E20");
  EXPECT_EQ(reread("T2", "Made"), "1930/01/02");
  EXPECT_EQ(reread("T2", "Active"), "");
}

TEST_P(DatasetTest, TextIsCutToItsSizeInBig5Bytes) {
  goods_.open();
  ASSERT_TRUE(goods_.locate("Code", "A001"));
  goods_.edit();
  db::Field& name = goods_.fieldByName("Name");
  name.setAsString("一二三四五六");  // 12 bytes into 10
  EXPECT_EQ(name.asString(), "一二三四五");
  name.setAsString("a一二三四五");  // 11 bytes: the last character does not fit whole
  EXPECT_EQ(name.asString(), "a一二三四");
  name.setAsString("  ab  ");
  EXPECT_EQ(name.asString(), "  ab  ");
  goods_.fieldByName("Void").setAsString("中");
  EXPECT_EQ(goods_.fieldByName("Void").asString(), "");
  goods_.fieldByName("Void").setAsString("YN");
  EXPECT_EQ(goods_.fieldByName("Void").asString(), "Y");
  name.setAsString("a一二三四五");
  goods_.post();
  EXPECT_EQ(reread("A001", "Name"), "a一二三四");
}

TEST_P(DatasetTest, BadValuesAreRefusedWithTheirText) {
  goods_.open();
  EXPECT_EQ(errorOf([&] { goods_.fieldByName("Stock").setAsString("1"); }),
            "qryGoods: Dataset not in edit or insert mode");
  ASSERT_TRUE(goods_.locate("Code", "A001"));
  goods_.edit();
  EXPECT_EQ(errorOf([&] { goods_.fieldByName("Stock").setAsString("12a"); }),
            "「12a」不是整數：這個欄位只能填整數（例如 12）");
  EXPECT_EQ(errorOf([&] { goods_.fieldByName("Price").setAsString("abc"); }),
            "「abc」不是數字：這個欄位只能填數字（例如 12.5）");
  EXPECT_EQ(errorOf([&] { goods_.fieldByName("Made").setAsString("x"); }),
            "「x」不是日期時間：這個欄位只能填日期與時間（例如 2026/01/31 13:45）");
  EXPECT_EQ(errorOf([&] { goods_.fieldByName("Qty").setAsString("40000"); }),
            "40000 超出欄位「數量」能存放的範圍：這個欄位只能填 -32768 到 32767 之間的整數");
  EXPECT_FALSE(goods_.modified());
  goods_.cancel();
}

TEST_P(DatasetTest, PreparedStatementsStayBoundedWhateverColumnsChange) {
  goods_.open();
  ASSERT_TRUE(goods_.locate("Code", "B002"));
  // Every subset of four columns is another UPDATE text: 15 of them, twice over.
  const char* columns[] = {"Name", "Qty", "Stock", "Price"};
  for (int round = 0; round < 2; ++round)
    for (int set = 1; set < 16; ++set) {
      goods_.edit();
      for (int c = 0; c < 4; ++c)
        if (set & (1 << c))
          goods_.fieldByName(columns[c]).setAsString(QString::number(round * 100 + set + c));
      goods_.post();
      EXPECT_LE(goods_.preparedStatementCount(), Dataset::kMaxStatements);
    }
  EXPECT_EQ(goods_.preparedStatementCount(), Dataset::kMaxStatements);
  // The last values written are there, whichever statement was dropped meanwhile.
  Dataset again("again");
  declare(again);
  again.open();
  ASSERT_TRUE(again.locate("Code", "B002"));
  EXPECT_EQ(again.fieldByName("Name").asString(), "115");
  EXPECT_EQ(again.fieldByName("Price").asString(), "118");
}

TEST_P(DatasetTest, BoundViewsFollowThroughNotifications) {
  goods_.open();
  QSignalSpy reset(&goods_, &Dataset::reset);
  QSignalSpy changed(&goods_, &Dataset::rowChanged);
  goods_.setSort("Code");
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(goods_.fieldByName("Code").displayTextAt(2), "C003");
  EXPECT_EQ(goods_.fieldByName("Price").displayTextAt(1), "12.50");
  goods_.edit();
  goods_.fieldByName("Stock").setAsString("1234");
  goods_.fieldByName("Name").setAsString("n");
  goods_.fieldByName("Qty").setAsString("2");
  EXPECT_EQ(changed.count(), 0);  // the grid shows rows as stored
  goods_.post();
  EXPECT_EQ(changed.count(), 1);  // once per posted row, not per field
  EXPECT_EQ(goods_.fieldByName("Stock").displayTextAt(0), "1,234");

  goods_.disableControls();
  changed.clear();
  reset.clear();
  goods_.first();
  while (!goods_.eof()) {
    goods_.edit();
    goods_.fieldByName("Qty").setAsString("1");
    goods_.post();
    goods_.next();
  }
  goods_.append();
  goods_.fieldByName("Code").setAsString("Z9");
  goods_.post();
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(reset.count(), 0);
  goods_.enableControls();
  EXPECT_EQ(reset.count(), 1);
}

TEST_P(DatasetTest, ClosingTheConnectionClosesItsDatasets) {
  goods_.open();
  Dataset other("qryOther");
  other.setConnection(conn_.get());
  other.setSql("select Code from Goods");
  other.open();
  conn_->close();
  EXPECT_FALSE(goods_.isOpen());
  EXPECT_FALSE(other.isOpen());
  EXPECT_EQ(goods_.recordCount(), 0);
  goods_.open();  // reconnects
  EXPECT_EQ(goods_.recordCount(), 3);
}

TEST_P(DatasetTest, LookupFieldReadsTheOtherDataset) {
  db_->run(
      "CREATE TABLE Maker (No varchar(4) PRIMARY KEY, Title varchar(20));"
      "INSERT INTO Maker (No, Title) VALUES ('M1', '大廠')");
  db_->run("ALTER TABLE Goods ADD MakerNo varchar(4)");
  db_->run("UPDATE Goods SET MakerNo = 'M1' WHERE Code = 'A001'");
  db_->run("UPDATE Goods SET MakerNo = 'M9' WHERE Code = 'B002'");
  Dataset makers("qryMaker");
  makers.setConnection(conn_.get());
  makers.setSql("select * from Maker");
  Dataset goods("qryGoods");
  declare(goods);
  goods.addField({.name = "MakerNo", .type = db::ftString, .size = 4});
  goods.addField({.name = "Title",
                  .type = db::ftString,
                  .size = 20,
                  .lookup = true,
                  .lookupDataset = &makers,
                  .keyFields = "MakerNo",
                  .lookupKeyFields = "No",
                  .lookupResultField = "Title"});
  makers.open();
  goods.open();
  goods.setSort("Code");
  EXPECT_EQ(goods.fieldByName("Title").asString(), "大廠");
  goods.next();
  EXPECT_EQ(goods.fieldByName("Title").asString(), "");  // no such maker
  goods.next();
  EXPECT_TRUE(goods.fieldByName("Title").isNull());  // no maker at all
  // Setting a lookup field is accepted and leaves no trace.
  goods.edit();
  goods.fieldByName("Title").setAsString("x");
  EXPECT_FALSE(goods.modified());
  goods.cancel();
}

TEST_P(DatasetTest, CommandBindsNamedParametersAndNulls) {
  db::Command insert;
  insert.setConnectionString(db_->connectionString());
  insert.setCommandText(
      "insert into Goods(Code, Name, Qty, Price, Active, Made) values(:P0, :P1, :P2, :P3, :P4, "
      ":P5)");
  ASSERT_EQ(insert.parameterCount(), 6);
  EXPECT_EQ(insert.parameterName(3), "P3");
  const db::FieldType types[] = {db::ftString, db::ftString,  db::ftSmallint,
                                 db::ftFloat,  db::ftBoolean, db::ftDateTime};
  for (int i = 0; i < 6; ++i) insert.setParamType(i, types[i]);
  for (int row = 0; row < 3; ++row) {
    insert.setParamText(0, QString("N%1").arg(row));
    insert.setParamText(1, "名稱'; --");
    insert.setParamText(2, QString::number(row));
    if (row == 1)
      insert.setParamNull(3);
    else
      insert.setParamText(3, "1.5");
    insert.setParamText(4, "True");
    insert.setParamText(5, "2001-02-03");
    EXPECT_EQ(insert.execute(), 1);
  }
  EXPECT_EQ(reread("N2", "Name"), "名稱'; --");
  EXPECT_EQ(reread("N1", "Price"), "");
  EXPECT_EQ(reread("N0", "Made"), "2001/02/03");
  insert.setParamText(0, "N9");
  insert.setParamText(2, "x");
  EXPECT_EQ(errorOf([&] { insert.execute(); }), "「x」不是整數：這個欄位只能填整數（例如 12）");
}

INSTANTIATE_TEST_SUITE_P(Engines, DatasetTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) {
                           return std::string(db::testing::engineName(info.param));
                         });

TEST(CommandText, MarkersOutsideQuotesMakeOneParameterEach) {
  QStringList names;
  EXPECT_EQ(
      db::Command::translate("insert into [a:b](x, \"y:z\") values(:A, ':B', :A, x::int)", &names),
      "insert into [a:b](x, \"y:z\") values(?, ':B', ?, x::int)");
  EXPECT_EQ(names, QStringList({"A", "A"}));
}

}  // namespace

// What SQLite holds after a post: the value's own storage class, dates as text,
// an empty text apart from NULL, and SQLite's own words for a refused row.
TEST(SqliteStatements, StoreValuesAsTheyAreAndReportSqlitesText) {
  platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
  TestDatabase db(TestDatabase::Engine::Sqlite);
  db.run(
      "CREATE TABLE T (Code varchar(4) NOT NULL PRIMARY KEY, Name varchar(10), Qty integer, "
      "Price double precision, Active boolean, Made datetime)");
  auto conn = db.connect();
  Dataset t("qryT");
  t.setConnection(conn.get());
  t.setSql("select * from T");
  t.open();
  auto add = [&](const char* code, const char* name, const char* qty, const char* made) {
    t.append();
    t.fieldByName("Code").setAsString(code);
    t.fieldByName("Name").setAsString(name);
    t.fieldByName("Qty").setAsString(qty);
    t.fieldByName("Price").setAsString("2.5");
    t.fieldByName("Active").setAsString("True");
    t.fieldByName("Made").setAsString(made);
    t.post();
  };
  add("A", "", "7", "2024/02/29 08:00:00.123");
  add("B", "名", "", "1930/01/02");
  t.append();
  t.fieldByName("Code").setAsString("C");
  t.fieldByName("Name").setValue(QVariant(QString()));
  t.post();
  Dataset check("check");
  check.setConnection(conn.get());
  check.setSql(
      "select Code || ':' || quote(Name) || ':' || typeof(Qty) || ':' || typeof(Price) || ':' || "
      "quote(Active) || ':' || quote(Made) as Row from T order by Code");
  check.open();
  QStringList rows;
  for (check.first(); !check.eof(); check.next()) rows << check.fieldByName("Row").asString();
  EXPECT_EQ(rows, QStringList({"A:'':integer:real:1:'2024-02-29 08:00:00.123'",
                               "B:'名':null:real:1:'1930-01-02 00:00:00'",
                               "C:NULL:null:null:NULL:NULL"}));
  add("D", "aé測😀", "1", "2024/01/01");
  Dataset bytes("bytes");
  bytes.setConnection(conn.get());
  bytes.setSql("select hex(Name) as Hex from T where Code = 'D'");
  bytes.open();
  EXPECT_EQ(bytes.fieldByName("Hex").asString(), "61C3A9E6B8ACF09F9880");
  EXPECT_EQ(errorOf([&] { add("A", "x", "1", "2024/01/01"); }), "UNIQUE constraint failed: T.Code");
}

// A statement outlives its connection's close without keeping the file open, and fails
// with the connection's text; the connection opens again as before.
TEST(SqliteStatements, CloseFinalizesStatementsStillHeld) {
  TestDatabase db(TestDatabase::Engine::Sqlite);
  db.run("CREATE TABLE T (N integer)");
  auto conn = db.connect();
  conn->open();
  auto insert = conn->prepare("INSERT INTO T (N) VALUES (?)", {db::ftInteger});
  EXPECT_EQ(insert->execute({QVariant(qint64(1))}), 1);
  EXPECT_EQ(errorOf([&] { insert->execute({}); }), "Parameter count mismatch");
  conn->close();
  EXPECT_EQ(errorOf([&] { insert->execute({QVariant(qint64(2))}); }), "Connection is not open");
  insert.reset();
  conn->open();
  EXPECT_EQ(conn->execute("DELETE FROM T"), 1);
  EXPECT_EQ(errorOf([&] { conn->prepare("INSERT INTO Nowhere VALUES (1)", {}); }),
            "no such table: Nowhere");
}
