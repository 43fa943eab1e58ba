#include "TableWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "CatalogCheck.h"
#include "PageFile.h"
#include "PageWriter.h"
#include "ReferenceReaders.h"
#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/DatabaseWriter.h"
#include "jet/Error.h"
#include "jet/ValueText.h"

namespace jet {
namespace {

using testing::fixture;
using Row = std::vector<Value>;

using testing::readAll;

std::string copyFixture(const testing::ScratchDir& dir, const std::string& name) {
  const std::string to = dir.file(name);
  std::filesystem::copy_file(fixture(name), to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return to;
}

std::vector<NewColumn> everyType() {
  return {{"品名", ColumnType::Text, 40},       {"備註", ColumnType::Memo},
          {"庫存量", ColumnType::Long},         {"售價", ColumnType::Double},
          {"成本", ColumnType::Currency},       {"建檔日期", ColumnType::DateTime},
          {"Flag", ColumnType::Boolean},        {"圖片", ColumnType::Ole},
          {"ASCII name", ColumnType::Text, 255}};
}

Row sampleRow(int i, std::size_t memoChars) {
  const std::string names[] = {"阿斯匹靈 100mg", "abc", "ab",   "ääkkösiä",
                               "  blanks  ",     "",    "Ωmega"};
  return {
      Value::text(names[i % 7]),
      i % 5 == 4 ? Value() : Value::text(std::string(memoChars, char('a' + i % 26))),
      Value::integer(i % 3 == 0 ? -2147483647 - 1 + i : i * 1000),
      Value::real(i * 0.1 + 1e-7),
      Value::currency({std::int64_t(i) * 123456789 - 5}),
      Value::dateTime({i % 4 == 0 ? 0.25 : 36526.0 + i + (i % 86400) / 86400.0}),
      Value::boolean(i % 2 == 0),
      i % 3 == 1 ? Value() : Value::bytes(Bytes(std::size_t(i) * 37 % 9000, std::uint8_t(i))),
      i % 6 == 5 ? Value() : Value::text(std::string(std::size_t(i % 256), 'x').substr(0, 255))};
}

TEST(TableWriter, EveryTypeRoundTripsThroughEveryReader) {
  testing::ScratchDir dir("writer-types");
  const std::string path = dir.file("types.mdb");
  DatabaseWriter::create(path);
  std::vector<Row> written;
  {
    DatabaseWriter db = DatabaseWriter::open(path);
    db.createTable("Item", everyType());
    TableAppender rows = db.appender("ITEM");  // names compare without regard to case
    const std::size_t memo[] = {0, 3, 60, 64, 65, 500, 2100, 4076 / 2 + 10, 9000, 60000};
    for (int i = 0; i < 300; ++i) {
      written.push_back(sampleRow(i, memo[i % 10]));
      rows.append(written.back());
    }
    Row nulls(9);
    written.push_back(nulls);
    rows.append(nulls);
    written.back()[6] = Value::boolean(false);  // a NULL Boolean is stored as false
    EXPECT_EQ(rows.appended(), 301u);
  }
  EXPECT_EQ(readAll(path, "Item"), written);
  EXPECT_EQ(Database::open(path).table("Item").rowCount, written.size());
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
  EXPECT_EQ(testing::readersDisagree(path), "");
  testing::expectCatalogConsistent(path);
  const auto exported = testing::mdbExport(path, "Item");
  ASSERT_EQ(exported.size(), written.size());
  EXPECT_EQ(exported[0][0], "阿斯匹靈 100mg");
  EXPECT_EQ(exported[4][0], "  blanks  ");
  EXPECT_EQ(exported[3][0], "ääkkösiä");
  EXPECT_EQ(exported[1][4], "12345.6784");
}

TEST(TableWriter, LongMemosAndManyRowsGrowPagesMapsAndFile) {
  testing::ScratchDir dir("writer-big");
  const std::string path = dir.file("big.mdb");
  DatabaseWriter::create(path);
  DatabaseWriter db = DatabaseWriter::open(path);
  db.createTable(
      "Notes",
      {{"No", ColumnType::Long}, {"Text", ColumnType::Memo}, {"Name", ColumnType::Text, 50}});
  const std::string huge(450000, 'q');  // 900 KB as UTF-16: a chain of 221 pages
  const std::string chinese = [] {
    std::string s;
    for (int i = 0; i < 20000; ++i) s += "藥";
    return s;
  }();
  {
    TableAppender rows = db.appender("Notes");
    rows.append({Value::integer(0), Value::text(huge), Value::text("first")});
    rows.append({Value::integer(1), Value::text(chinese), Value::text("中文")});
    for (int i = 2; i < 40000; ++i)
      rows.append({Value::integer(i), Value::text(std::to_string(i)),
                   Value::text("row " + std::to_string(i))});
    rows.flush();
  }
  const auto rows = readAll(path, "Notes");
  ASSERT_EQ(rows.size(), 40000u);
  EXPECT_EQ(rows[0][1].asText(), huge);
  EXPECT_EQ(rows[1][1].asText(), chinese);
  EXPECT_EQ(rows[39999][2].asText(), "row 39999");
  EXPECT_GT(std::filesystem::file_size(path), 512u * 4096);  // past the first page-map window
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
  const auto exported = testing::mdbExport(path, "Notes");
  ASSERT_EQ(exported.size(), 40000u);
  EXPECT_EQ(exported[1][1], chinese);
  EXPECT_EQ(exported[0][1].substr(0, 1000), huge.substr(0, 1000));  // mdb-export cuts at 200000
  EXPECT_EQ(exported[39999][0], "39999");
}

TEST(TableWriter, RefusesValuesThatDoNotFitAndWritesNothingOfThem) {
  testing::ScratchDir dir("writer-refuse");
  const std::string path = dir.file("r.mdb");
  DatabaseWriter::create(path);
  DatabaseWriter db = DatabaseWriter::open(path);
  db.createTable("T", {{"Name", ColumnType::Text, 3},
                       {"N", ColumnType::Long},
                       {"D", ColumnType::DateTime},
                       {"X", ColumnType::Double},
                       {"M", ColumnType::Memo}});
  TableAppender rows = db.appender("T");
  rows.append({Value::text("藥品名"), Value::integer(1), Value(), Value(), Value()});
  rows.write();
  const auto before = testing::readFile(path);
  const auto refused = [&](const Row& row, const std::string& message) {
    try {
      rows.append(row);
      ADD_FAILURE() << "accepted: " << message;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), path + ": table \"T\", column " + message);
    }
    EXPECT_EQ(testing::readFile(path), before);
  };
  refused({Value::text("abcd"), Value(), Value(), Value(), Value()},
          "\"Name\": the text has 4 characters, more than the column's 3");
  refused({Value(), Value::integer(2147483648LL), Value(), Value(), Value()},
          "\"N\": 2147483648 is out of range (-2147483648 to 2147483647)");
  refused({Value(), Value::text("12"), Value(), Value(), Value()},
          "\"N\": text does not fit this column");
  refused({Value(), Value(), Value::dateTime({3e6}), Value(), Value()},
          "\"D\": the date is outside the years 100 to 9999");
  refused({Value(), Value(), Value(), Value::real(std::nan("")), Value()},
          "\"X\": the number is not finite");
  refused({Value(), Value(), Value(), Value(), Value::text(std::string("\xff\xfe", 2))},
          "\"M\": the text is not valid UTF-8");
  EXPECT_THROW(rows.append({Value()}), Error);
  // A later good row goes in after the refused ones.
  rows.append({Value::text("ok"), Value::integer(2), Value(), Value(), Value()});
  rows.write();
  EXPECT_EQ(readAll(path, "T").size(), 2u);
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");

  // A row beyond Access' record size.
  std::vector<NewColumn> eight;
  for (char c = 'A'; c < 'I'; ++c) eight.push_back({std::string(1, c), ColumnType::Text, 255});
  db.createTable("Wide", eight);
  TableAppender wide = db.appender("Wide");
  const std::string han = [] {
    std::string s;
    for (int i = 0; i < 255; ++i) s += "字";
    return s;
  }();
  EXPECT_THROW(wide.append(Row(8, Value::text(han))), Error);  // 8 x 510 bytes
  wide.append(Row(8, Value::text(std::string(255, 'x'))));     // compressed, fits

  // Dates before 1899-12-30 keep their time of day running forward.
  rows.append({Value(), Value(), Value::dateTime({-1.25}), Value(), Value()});
  rows.write();
  EXPECT_EQ(readAll(path, "T").back()[2], Value::dateTime({-1.25}));
}

// A write that fails in the middle of an append (here: stopped by the test seam, as a
// full disk would) breaks the appender, but the rows it held from before still reach
// the file at its end.
TEST(TableWriter, RowsHeldBeforeAFailedWriteStillReachTheFile) {
  testing::ScratchDir dir("writer-failed");
  const std::string path = dir.file("f.mdb");
  DatabaseWriter::create(path);
  DatabaseWriter db = DatabaseWriter::open(path);
  db.createTable("T", {{"No", ColumnType::Long}, {"Memo", ColumnType::Memo}});
  std::vector<Row> rows;
  for (int i = 0; i < 4; ++i) rows.push_back({Value::integer(i), Value::text("short")});
  {
    TableAppender t = db.appender("T");
    for (const Row& r : rows) t.append(r);
    PageWriter::setWriteLimit(0);
    EXPECT_THROW(t.append({Value::integer(9), Value::text(std::string(5000, 'm'))}), Error);
    PageWriter::setWriteLimit(std::nullopt);
    EXPECT_THROW(t.append(rows[0]), Error);  // the appender stays broken
  }
  EXPECT_EQ(readAll(path, "T"), rows);
  EXPECT_EQ(Database::open(path).table("T").rowCount, rows.size());
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
}

TEST(TableWriter, RefusesTablesAndNamesItCannotKeepConsistent) {
  testing::ScratchDir dir("writer-refuse-tables");
  for (const char* name :
       {"testV2003.mdb", "fixedNumericTestV2000.mdb", "testUnicodeCompV2003.mdb"}) {
    const std::string path = copyFixture(dir, name);
    const auto before = testing::readFile(path);
    DatabaseWriter db = DatabaseWriter::open(path);
    const std::string table = db.tableNames()[0];
    try {
      db.appender(table);
      ADD_FAILURE() << name;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("no rows were added"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testing::readFile(path), before);
  }
  const std::string path = dir.file("names.mdb");
  DatabaseWriter::create(path);
  DatabaseWriter db = DatabaseWriter::open(path);
  db.createTable("Item", {{"A", ColumnType::Long}});
  const auto before = testing::readFile(path);
  const auto refused = [&](const std::string& table, std::vector<NewColumn> columns,
                           const std::string& why) {
    try {
      db.createTable(table, columns);
      ADD_FAILURE() << table;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_EQ(testing::readFile(path), before);
  };
  refused("ITEM", {{"A", ColumnType::Long}}, "already exists");
  refused("商品", {{"A", ColumnType::Long}}, "cannot enter in the catalog's index");
  refused("a.b", {{"A", ColumnType::Long}}, "does not allow");
  refused("T", {{"A", ColumnType::Long}, {"a", ColumnType::Long}}, "two columns named");
  refused("T", {{"A", ColumnType::Text, 256}}, "1 to 255 characters");
  refused("T", {{"A", ColumnType::Guid}}, "cannot create columns");
  refused("T", {}, "at least one column");
  EXPECT_TRUE(db.hasTable("item"));
  // One writer at a time.
  EXPECT_THROW(DatabaseWriter::open(path), Error);
}

TEST(TableWriter, CreatesTablesInAccessMadeFiles) {
  testing::ScratchDir dir("writer-access");
  for (const char* name : {"empty.mdb", "empty2003.mdb", "testV2003.mdb", "adox_jet4.mdb"}) {
    SCOPED_TRACE(name);
    const std::string path = copyFixture(dir, name);
    const auto counts = [&] {
      PageFile file(path, Mode::ReadOnly);
      const TableDef objects = TableDef::read(file, 2), aces = TableDef::read(file, 3);
      return std::vector<std::uint32_t>{objects.rowCount, objects.realIndexes[0].distinctKeys,
                                        objects.realIndexes[1].distinctKeys, aces.rowCount,
                                        aces.realIndexes[0].distinctKeys};
    };
    const auto aceRows = [&] { return testing::mdbExport(path, "MSysACEs").size(); };
    const auto before = counts();
    const auto acesBefore = aceRows();
    {
      DatabaseWriter db = DatabaseWriter::open(path);
      const std::size_t tables = db.tableNames().size();
      db.createTable("Customer",
                     {{"顧客編號", ColumnType::Text, 8}, {"累積金額", ColumnType::Long}});
      db.createTable("Classify",
                     {{"小分類編號", ColumnType::Text, 3}, {"Flag", ColumnType::Boolean}});
      TableAppender rows = db.appender("customer");
      for (int i = 0; i < 500; ++i)
        rows.append({Value::text("C" + std::to_string(i)), Value::integer(i)});
      EXPECT_EQ(db.tableNames().size(), tables + 2);
    }
    testing::expectCatalogConsistent(path, false);
    const auto after = counts();
    EXPECT_EQ(after[0], before[0] + 2);
    EXPECT_EQ(after[1], before[1] + 2);
    EXPECT_EQ(after[2], before[2] + 2);
    EXPECT_EQ(after[3], before[3] + (aceRows() - acesBefore));
    EXPECT_EQ(after[4], before[4] + 2);
    EXPECT_EQ(readAll(path, "Customer").size(), 500u);
    EXPECT_EQ(testing::mdbtoolsProblems(path), "");
    EXPECT_EQ(testing::readersDisagree(path), "");
  }
}

TEST(TableWriter, AppendsToAccessTablesWithoutIndexes) {
  testing::ScratchDir dir("writer-access-append");
  for (const auto& [name, table] :
       {std::pair{"delTestV2000.mdb", "Table"}, std::pair{"overflowTestV2000.mdb", "Table1"}}) {
    SCOPED_TRACE(name);
    const std::string path = copyFixture(dir, name);
    std::vector<Row> expected = readAll(path, table);
    const std::size_t original = expected.size();
    {
      DatabaseWriter db = DatabaseWriter::open(path);
      TableAppender rows = db.appender(table);
      // Enough rows to outgrow the table's inline page map and the file's first window.
      for (int i = 0; i % 100 != 0 || std::filesystem::file_size(path) < 600u * 4096; ++i) {
        Row row(rows.table().columns.size());
        for (std::size_t k = 0; k < row.size(); ++k) {
          const ColumnInfo& c = rows.table().columns[k];
          const std::size_t chars = std::size_t(std::min(c.maxChars(), 40));
          if (c.type == ColumnType::Text)
            row[k] = Value::text(std::string(chars, char('a' + i % 26)));
          if (c.type == ColumnType::Long || c.type == ColumnType::Integer)
            row[k] = Value::integer(i % 30000);
        }
        rows.append(row);
        expected.push_back(row);
      }
    }
    const auto actual = readAll(path, table);
    ASSERT_EQ(actual.size(), expected.size());
    // The rows Access wrote come first (in the readers' page order), then the new ones.
    for (std::size_t i = 0; i < original; ++i)
      EXPECT_NE(std::find(expected.begin(), expected.begin() + std::ptrdiff_t(original), actual[i]),
                expected.begin() + std::ptrdiff_t(original));
    EXPECT_TRUE(std::equal(actual.begin() + std::ptrdiff_t(original), actual.end(),
                           expected.begin() + std::ptrdiff_t(original)));
    EXPECT_GT(std::filesystem::file_size(path), 550u * 4096);
    EXPECT_EQ(testing::mdbtoolsProblems(path), "");
    EXPECT_EQ(testing::readersDisagree(path), "");
  }
}

TEST(TableWriter, ManyTablesFillCatalogPagesThenTheIndexIsRefusedCleanly) {
  testing::ScratchDir dir("writer-many-tables");
  const std::string path = dir.file("many.mdb");
  DatabaseWriter::create(path);
  DatabaseWriter db = DatabaseWriter::open(path);
  std::size_t created = 0;
  std::string refusal;
  for (int i = 0; i < 200 && refusal.empty(); ++i) {
    std::string name = "Table " + std::to_string(i) + " ";
    name += std::string(64 - name.size(), 'x');  // long names fill the name index quickly
    const auto before = testing::readFile(path);
    try {
      db.createTable(name, {{"Value", ColumnType::Long}});
      ++created;
    } catch (const Error& e) {
      refusal = e.what();
      EXPECT_EQ(testing::readFile(path), before);  // nothing written
    }
  }
  EXPECT_NE(refusal.find("the catalog's index is full"), std::string::npos) << refusal;
  EXPECT_GT(created, 30u);  // more than the first catalog page holds
  EXPECT_EQ(db.tableNames().size(), created);
  testing::expectCatalogConsistent(path);
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
  EXPECT_EQ(Database::open(path).tableNames().size(), created);
  EXPECT_EQ(testing::readersDisagree(path), "");
}

}  // namespace
}  // namespace jet
