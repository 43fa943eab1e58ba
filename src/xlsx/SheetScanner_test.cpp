// What a sheet's rows cost: rows stay as small as their values.
#include "SheetScanner.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TestWorkbooks.h"

namespace xlsx {
namespace {

class XlsxSheetScanner : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

// One value in the last column on every row: each row handed out holds that one cell,
// not the 16,384 columns up to it.
TEST_F(XlsxSheetScanner, ARowHoldsOnlyTheCellsWithAValue) {
  const int rows = 20000;
  QByteArray sheet;
  for (int r = 1; r <= rows; ++r)
    sheet += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"XFD" + QByteArray::number(r) +
             "\"><v>" + QByteArray::number(r) + "</v></c></row>";
  writeZip(path("far.xlsx"), book(sheet));
  int handedOut = 0;
  size_t cellsAllocated = 0;
  Workbook(path("far.xlsx")).forEachRow({}, [&](const Row& row) {
    ++handedOut;
    cellsAllocated = std::max(cellsAllocated, row.cells.capacity());
    ASSERT_EQ(row.cells.size(), 1u);
    EXPECT_EQ(row.cells[0].column, 16383);
    EXPECT_EQ(row.cells[0].number, row.number);
  });
  EXPECT_EQ(handedOut, rows);
  EXPECT_LE(cellsAllocated, 2u);

  // Written out of order or twice, cells come by column, the last written standing.
  writeZip(path("order.xlsx"), book("<row><c r=\"XFD1\"><v>3</v></c><c r=\"B1\"><v>1</v></c>"
                                    "<c r=\"XFD1\"><v>4</v></c><c r=\"C1\"><v>2</v></c></row>"));
  const std::vector<Row> read = Workbook(path("order.xlsx")).rows({});
  ASSERT_EQ(read.size(), 1u);
  ASSERT_EQ(read[0].cells.size(), 3u);
  EXPECT_EQ(read[0].cells[0].column, 1);
  EXPECT_EQ(read[0].cells[1].column, 2);
  EXPECT_EQ(read[0].cells[2].column, 16383);
  EXPECT_EQ(read[0].cells[2].number, 4);
}

}  // namespace
}  // namespace xlsx
