#include "jet/Database.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Format.h"
#include "Header.h"
#include "TestFiles.h"
#include "jet/Error.h"
#include "jet/ValueText.h"

namespace jet {
namespace {

using jet::testing::fixture;

std::vector<std::vector<Value>> readAll(const Database& db, const std::string& table) {
  TableReader reader = db.read(table);
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (reader.next(row)) rows.push_back(row);
  return rows;
}

TEST(Database, ListsUserTablesOnlyAndFindsThemWithoutRegardToCase) {
  const Database db = Database::open(fixture("testUnicodeCompV2003.mdb"));
  // The hidden f_..._Data table and the MSys tables are not user tables.
  EXPECT_EQ(db.tableNames(), std::vector<std::string>{"Table"});
  EXPECT_TRUE(db.hasTable("TABLE"));
  EXPECT_FALSE(db.hasTable("MSysObjects"));
  EXPECT_EQ(db.table("table").name, "Table");
  try {
    db.table("Nope");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              fixture("testUnicodeCompV2003.mdb") + ": no table named \"Nope\"");
  }
  EXPECT_TRUE(Database::open(fixture("empty.mdb")).tableNames().empty());
  EXPECT_TRUE(Database::open(fixture("adox_jet4.mdb")).tableNames().empty());
}

TEST(Database, ColumnsComeWithTypeSizeOrderAndFlags) {
  const Database db = Database::open(fixture("testV2003.mdb"));
  const TableInfo t = db.table("Table1");
  ASSERT_EQ(t.columns.size(), 9u);
  EXPECT_EQ(t.columns[0].name, "A");
  EXPECT_EQ(t.columns[0].type, ColumnType::Text);
  EXPECT_EQ(t.columns[0].size, 100);
  EXPECT_EQ(t.columns[0].maxChars(), 50);
  EXPECT_TRUE(t.columns[0].compressedUnicode);
  EXPECT_EQ(t.columns[7].type, ColumnType::Currency);
  EXPECT_EQ(t.columns[8].type, ColumnType::Boolean);
  EXPECT_EQ(t.columns[8].order, 8);
  EXPECT_EQ(t.rowCount, 2u);
  EXPECT_EQ(db.table("Table3").columns[0].autoNumber, true);
  EXPECT_EQ(db.table("Table4").columns[1].type, ColumnType::Guid);
  // A primary key on A, and a second index.
  ASSERT_FALSE(t.indexes.empty());
  bool primary = false;
  for (const IndexInfo& ix : t.indexes)
    primary |= ix.primaryKey && ix.columns == std::vector<std::string>{"A"};
  EXPECT_TRUE(primary);
  // The 89-column table definition spans two pages.
  EXPECT_EQ(db.table("Table2").columns.size(), 89u);
  EXPECT_EQ(db.table("Table2").columns[88].name, "column89");
}

TEST(Database, RequiredComesFromAccessColumnProperties) {
  const TableInfo users = Database::open(fixture("fixedTextTestV2000.mdb")).table("users");
  for (const ColumnInfo& c : users.columns) EXPECT_TRUE(c.required) << c.name;
  const TableInfo t = Database::open(fixture("testV2003.mdb")).table("Table1");
  EXPECT_FALSE(t.columns[0].required);
  EXPECT_TRUE(t.columns[8].required);  // Boolean
}

TEST(Database, DeletedColumnsAreFoundThroughTheirNumbers) {
  const Database db = Database::open(fixture("delColTestV2000.mdb"));
  const TableInfo t = db.table("Table1");
  ASSERT_EQ(t.columns.size(), 4u);
  EXPECT_EQ(t.columns[1].number, 2);
  EXPECT_EQ(t.columns[3].number, 5);
  EXPECT_EQ(readAll(db, "Table1").size(), 2u);
}

TEST(Database, TypedValuesOfAnAccessRow) {
  const Database db = Database::open(fixture("testV2003.mdb"));
  const auto rows = readAll(db, "Table1");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], Value::text("abcdefg"));
  EXPECT_EQ(rows[0][6], Value::dateTime({27293.0}));
  EXPECT_EQ(rows[0][7], Value::currency({35000}));
  EXPECT_EQ(rows[1][8], Value::boolean(false));

  const Database num = Database::open(fixture("fixedNumericTestV2000.mdb"));
  const auto n = readAll(num, "test");
  ASSERT_EQ(n.size(), 1u);
  EXPECT_EQ(n[0][0], Value::text("some data"));
  EXPECT_EQ(n[0][5].asDecimal(), (Decimal{true, 18, 0, {0, 0, 0, 1}}));
}

TEST(Database, LongValuesInlineSingleRowAndChained) {
  const Database db = Database::open(fixture("test2V2000.mdb"));
  const TableInfo t = db.table("MSP_PROJECTS");
  const auto rows = readAll(db, "MSP_PROJECTS");
  ASSERT_EQ(rows.size(), 1u);
  auto col = [&](const std::string& name) { return rows[0][t.column(name)->order]; };
  EXPECT_EQ(col("PROJ_INFO_CAL_NAME"), Value::text("Standard"));  // inline memo
  EXPECT_EQ(col("PROJ_PROP_AUTHOR").asText().size(), 348u);       // one LVAL row
  // 22,970 bytes over a chain of pages, checked against the bytes kept separately.
  EXPECT_EQ(col("RESERVED_BINARY_DATA").asBytes(),
            jet::testing::readFile(fixture("test2BinData.dat")));
}

TEST(Database, DeletedAndMovedRowsAreReturnedOnce) {
  const Database del = Database::open(fixture("delTestV2000.mdb"));
  EXPECT_EQ(readAll(del, "Table").size(), 2u);

  const Database db = Database::open(fixture("overflowTestV2000.mdb"));
  const auto rows = readAll(db, "Table1");
  ASSERT_EQ(rows.size(), 7u);
  std::vector<std::string> firsts;
  for (const auto& r : rows) {
    for (const Value& v : r) {
      if (!v.isNull()) {
        firsts.push_back(v.asText());
        break;
      }
    }
  }
  // Moved rows come where they physically lie, as the reference readers give them.
  EXPECT_EQ(firsts, (std::vector<std::string>{"row1col1", "row2col1", "row4col1", "row6col2",
                                              "row7col1", "row3col3", "row5col2"}));
}

// ---- refusals ------------------------------------------------------------------

class Refusal : public ::testing::Test {
 protected:
  Refusal() : dir_("refusal") {}

  // Opens a copy of empty.mdb after `change` edited its decoded page 0.
  std::string openWithHeader(void (*change)(PageBytes&)) {
    auto bytes = jet::testing::readFile(fixture("empty.mdb"));
    PageBytes page;
    std::memcpy(page.data(), bytes.data(), page.size());
    Header::applyMask(page);
    change(page);
    Header::applyMask(page);
    std::memcpy(bytes.data(), page.data(), page.size());
    return openBytes(bytes);
  }
  std::string openBytes(const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir_.file("x.mdb");
    jet::testing::writeFile(path, bytes);
    try {
      Database db = Database::open(path);
      for (const auto& name : db.tableNames()) {
        TableReader r = db.read(name);
        std::vector<Value> row;
        while (r.next(row)) {
        }
      }
    } catch (const Error& e) {
      EXPECT_EQ(e.file(), path);
      return e.reason();
    }
    return "opened";
  }
  jet::testing::ScratchDir dir_;
};

TEST_F(Refusal, FilesThatAreNotJet4Databases) {
  EXPECT_EQ(openBytes({}), "not an Access database");
  EXPECT_EQ(openBytes(std::vector<std::uint8_t>(8192, 'x')), "not an Access database");
  EXPECT_EQ(openWithHeader([](PageBytes& p) { p[fmt::kHeaderVersionOffset] = 0; }),
            "is an Access 97 (Jet 3) database; only Access 2000-2003 files can be read");
  EXPECT_EQ(openWithHeader([](PageBytes& p) {
              std::memcpy(p.data() + 4, "Standard ACE DB", 15);
              p[fmt::kHeaderVersionOffset] = 2;
            }),
            "is an Access 2007 or later (ACE) database; only Access 2000-2003 files can be read");
  // An Access 97 file shorter than one page of 4096 bytes.
  std::vector<std::uint8_t> jet3(2048, 0);
  std::memcpy(jet3.data(), "\x00\x01\x00\x00Standard Jet DB", 20);
  EXPECT_EQ(openBytes(jet3),
            "is an Access 97 (Jet 3) database; only Access 2000-2003 files can be read");
}

TEST_F(Refusal, PasswordAndEncryption) {
  EXPECT_EQ(openWithHeader([](PageBytes& p) { p[fmt::kHeaderPasswordOffset] ^= 'a'; }),
            "is protected by a database password; remove the password in Access first");
  EXPECT_EQ(openWithHeader([](PageBytes& p) { p[fmt::kHeaderEncryptionKeyOffset] = 0x17; }),
            "is encrypted; remove the encryption in Access first");
  EXPECT_EQ(openWithHeader([](PageBytes&) {}), "opened");
}

TEST_F(Refusal, DamagedPagesAreNamed) {
  auto bytes = jet::testing::readFile(fixture("testV2003.mdb"));
  // Truncated inside the catalog: the usage map points beyond the end.
  std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + 4096 * 3);
  EXPECT_EQ(openBytes(cut).rfind("page ", 0), 0u);
  // The catalog's definition page overwritten with a data page header.
  auto broken = bytes;
  broken[2 * 4096] = fmt::kPageData;
  EXPECT_EQ(openBytes(broken), "page 2 is damaged (not a table definition page)");
}

}  // namespace
}  // namespace jet
