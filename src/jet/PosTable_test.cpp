// A table of the POS Item shape (45 columns, Chinese labels) with many rows: written,
// then read back by the engine, mdbtools and the Node.js reader.
#include <gtest/gtest.h>

#include "PosItemShape.h"
#include "ReferenceReaders.h"
#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/DatabaseWriter.h"

namespace jet {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kRows = 5000;  // the sanitizer build runs the same code on fewer rows
#else
constexpr std::uint64_t kRows = 100000;
#endif

TEST(PosTable, ItemShapedTableRoundTripsThroughEveryReader) {
  testing::ScratchDir dir("pos-table");
  const std::string path = dir.file("Item.mdb");
  DatabaseWriter::create(path);
  {
    DatabaseWriter db = DatabaseWriter::open(path);
    db.createTable("Item", testing::posItemColumns());
    TableAppender rows = db.appender("Item");
    for (std::uint64_t i = 0; i < kRows; ++i) rows.append(testing::posItemRow(i));
    rows.flush();
  }
  const Database db = Database::open(path);
  EXPECT_EQ(db.table("Item").rowCount, kRows);
  ASSERT_EQ(db.table("Item").columns.size(), 45u);
  EXPECT_EQ(db.table("Item").columns[3].name, "品名");
  TableReader reader = db.read("Item");
  std::vector<Value> row;
  std::uint64_t i = 0;
  while (reader.next(row)) {
    ASSERT_EQ(row, testing::posItemRow(i)) << "row " << i;
    ++i;
  }
  EXPECT_EQ(i, kRows);
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
  EXPECT_EQ(testing::readersDisagree(path), "");
}

}  // namespace
}  // namespace jet
