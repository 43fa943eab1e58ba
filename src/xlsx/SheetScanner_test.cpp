// What a sheet's rows cost and where its cells come from: rows stay as small as their
// values, cells odd exporters write read as what they mean, and a sheet is read from its
// own part or not at all.
#include "SheetScanner.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TestWorkbooks.h"
#include "platform/Error.h"

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

// Some exporters write an empty cell as a shared text without an index.
TEST_F(XlsxSheetScanner, ASharedTextWithoutAnIndexIsAnEmptyCell) {
  writeZip(path("empty.xlsx"), book("<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v/></c>"
                                    "<c t=\"s\"><v> </v></c><c t=\"s\"><v>0</v></c></row>"
                                    "<row><c t=\"s\"><v></v></c></row>",
                                    "<si><t>a</t></si>"));
  const std::vector<Row> rows = Workbook(path("empty.xlsx")).rows({});
  ASSERT_EQ(rows.size(), 1u);  // the second row holds nothing
  ASSERT_EQ(rows[0].cells.size(), 2u);
  EXPECT_EQ(rows[0].cells[0].text, "a");
  EXPECT_EQ(rows[0].cells[1].column, 3);
  // An index that is no number still is a fault of the file.
  writeZip(path("bad.xlsx"), book("<row><c t=\"s\"><v>x</v></c></row>", "<si><t>a</t></si>"));
  EXPECT_EQ(errorOf(path("bad.xlsx")),
            "無法讀取 Excel 檔案 " + path("bad.xlsx") +
                "：檔案已損壞（工作表「Sheet1」的儲存格 A1 指向不存在的共用文字「x」）");
}

// The parser hands texts out in pieces: split where its reads of the part end (every
// 256 KB), at each reference and at each CDATA section. Every piece counts, in shared
// texts, inline texts and values alike, and a part may come in UTF-16 as well.
TEST_F(XlsxSheetScanner, TextsReadWholeHoweverTheyComeInPieces) {
  // Four-byte and three-byte characters, so that reads end inside them too.
  const QByteArray long1 = QString(QStringLiteral("藥😀")).repeated(40000).toUtf8();
  const QByteArray piecemeal = "a&amp;b&lt;&#x4E2D;&#20013;<![CDATA[<c>&]]>_x0041_";
  const QString piecemealRead = QStringLiteral("a&b<中中<c>&A");
  QByteArray sheet;
  const int rows = 3000;
  for (int r = 1; r <= rows; ++r)
    sheet += "<row><c t=\"s\"><v>" + QByteArray::number(r % 2) +
             "</v></c><c t=\"inlineStr\"><is><r><t>" + (r % 1000 == 0 ? long1 : piecemeal) +
             "</t></r></is></c><c><v>1234567.8125</v></c></row>";
  writeZip(path("pieces.xlsx"),
           book(sheet, "<si><t>" + long1 + "</t></si><si><t>" + piecemeal + "</t></si>"));
  const QString longRead = QString::fromUtf8(long1);
  int read = 0;
  Workbook(path("pieces.xlsx")).forEachRow({}, [&](const Row& row) {
    ++read;
    ASSERT_EQ(row.cells.size(), 3u);
    EXPECT_EQ(row.cells[0].text, row.number % 2 ? piecemealRead : longRead) << row.number;
    EXPECT_EQ(row.cells[1].text, row.number % 1000 ? piecemealRead : longRead) << row.number;
    EXPECT_EQ(row.cells[2].number, 1234567.8125) << row.number;
  });
  EXPECT_EQ(read, rows);

  Parts parts = book("<row><c t=\"inlineStr\"><is><t>品名</t></is></c><c><v>2</v></c></row>");
  const QString utf16 =
      QString::fromUtf8("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + parts.back().second);
  parts.back().second = QByteArray("\xFF\xFE", 2) +
                        QByteArray(reinterpret_cast<const char*>(utf16.utf16()), utf16.size() * 2);
  writeZip(path("utf16.xlsx"), parts);
  const std::vector<Row> utf16Rows = Workbook(path("utf16.xlsx")).rows({});
  ASSERT_EQ(utf16Rows.size(), 1u);
  ASSERT_EQ(utf16Rows[0].cells.size(), 2u);
  EXPECT_EQ(utf16Rows[0].cells[0].text, QStringLiteral("品名"));
  EXPECT_EQ(utf16Rows[0].cells[1].number, 2);
}

// A cell's attributes are known by their names without prefix; a namespace declared
// on the cell, whatever its prefix, is none of them.
TEST_F(XlsxSheetScanner, NamespaceDeclarationsAreNoAttributes) {
  writeZip(
      path("ns.xlsx"),
      book("<row xmlns:r=\"urn:a\" r=\"2\"><c xmlns:r=\"urn:a\" xmlns:t=\"urn:b\" t=\"s\">"
           "<v>0</v></c><c xmlns:s=\"urn:c\" xmlns:x=\"urn:d\" x:r=\"D2\" x:t=\"b\"><v>1</v></c>"
           "</row>",
           "<si><t>a</t></si>"));
  const std::vector<Row> rows = Workbook(path("ns.xlsx")).rows({});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].number, 2);
  ASSERT_EQ(rows[0].cells.size(), 2u);
  EXPECT_EQ(rows[0].cells[0].column, 0);
  EXPECT_EQ(rows[0].cells[0].text, "a");
  EXPECT_EQ(rows[0].cells[1].column, 3);
  EXPECT_EQ(rows[0].cells[1].kind, Cell::Kind::Boolean);
}

// A caller stops a long read by throwing from its row (the operator cancelled, or the
// row failed it): the exception comes through as thrown, no later row is handed out,
// and the workbook reads again from the start.
TEST_F(XlsxSheetScanner, ACallersExceptionStopsTheReadAndComesThrough) {
  struct Cancelled {
    int row;
  };
  QByteArray sheet;
  // Large enough to be unpacked ahead of the parse, on a thread of its own.
  for (int r = 1; r <= 50000; ++r)
    sheet += "<row><c><v>" + QByteArray::number(r) + "</v></c></row>";
  writeZip(path("stop.xlsx"), book(sheet));
  const Workbook workbook(path("stop.xlsx"));
  int last = 0;
  try {
    workbook.forEachRow({}, [&](const Row& row) {
      last = row.number;
      if (row.number == 1234) throw Cancelled{row.number};
    });
    ADD_FAILURE() << "no exception";
  } catch (const Cancelled& c) {
    EXPECT_EQ(c.row, 1234);
  }
  EXPECT_EQ(last, 1234);
  EXPECT_EQ(workbook.rows({}).size(), 50000u);
}

// A part cut short and one that is no XML are told apart, each at its line.
TEST_F(XlsxSheetScanner, MalformedSheetsAreDamagedAtTheirLine) {
  const auto errorFor = [&](const QByteArray& sheetData) {
    writeZip(path("bad.xlsx"), book(sheetData));
    return errorOf(path("bad.xlsx"));
  };
  const QString damaged = "無法讀取 Excel 檔案 " + path("bad.xlsx") + "：檔案已損壞（";
  Parts cut = book("<row><c><v>1</v></c></row>");
  cut.back().second.chop(20);
  writeZip(path("bad.xlsx"), cut);
  EXPECT_EQ(errorOf(path("bad.xlsx")), damaged + "xl/worksheets/sheet1.xml 第 1 行：內容不完整）");
  EXPECT_TRUE(errorFor("<row>\n<c><v>1</v></x></row>")
                  .startsWith(damaged + "xl/worksheets/sheet1.xml 第 2 行：XML 格式錯誤，"));
  EXPECT_TRUE(errorFor("<row>\n\n<c t=\"inlineStr\"><is><t>&nbsp;</t></is></c></row>")
                  .startsWith(damaged + "xl/worksheets/sheet1.xml 第 3 行：XML 格式錯誤，"));
  // The same far down a part large enough to be unpacked on a thread ahead of the parse.
  QByteArray many;
  for (int r = 1; r <= 60000; ++r) many += "<row><c><v>" + QByteArray::number(r) + "</v></c></row>";
  Parts longCut = book(many);
  ASSERT_GT(longCut.back().second.size(), 1 << 20);
  longCut.back().second.chop(20);
  writeZip(path("bad.xlsx"), longCut);
  EXPECT_EQ(errorOf(path("bad.xlsx")), damaged + "xl/worksheets/sheet1.xml 第 1 行：內容不完整）");
  EXPECT_TRUE(errorFor(many + "<row>\n<c><v>1</v></x></row>")
                  .startsWith(damaged + "xl/worksheets/sheet1.xml 第 2 行：XML 格式錯誤，"));
  // Elements nested beyond any sheet's need are refused, not followed down.
  EXPECT_TRUE(errorFor("<row><c><is>" + QByteArray("<r>").repeated(100000))
                  .startsWith(damaged + "xl/worksheets/sheet1.xml 第 1 行：XML 格式錯誤，"));
  writeZip(path("bad.xlsx"),
           withPart(book("<row><c t=\"s\"><v>0</v></c></row>"), "xl/sharedStrings.xml",
                    "<sst><si><t>a</t></si></sst><sst/>"));
  EXPECT_TRUE(errorOf(path("bad.xlsx"))
                  .startsWith(damaged + "xl/sharedStrings.xml 第 1 行：XML 格式錯誤，"));
}

// Old macro sheets stand in the sheet list with an empty id, or one no relationship
// has: such a sheet is not read from whatever part its place in the list suggests.
TEST_F(XlsxSheetScanner, ASheetIsReadFromItsOwnPartOnly) {
  for (const QByteArray& id :
       {QByteArray(" r:id=\"\""), QByteArray(" r:id=\"rId9\""), QByteArray()}) {
    SCOPED_TRACE(id.toStdString());
    Parts parts = book("<row><c t=\"inlineStr\"><is><t>Item's</t></is></c></row>");
    parts[1].second = "<workbook xmlns=\"" + kMainNamespace + "\" xmlns:r=\"" + kRelNamespace +
                      "\"><sheets><sheet name=\"Macro1\" sheetId=\"1\"" + id +
                      "/><sheet name=\"Item\" sheetId=\"2\" r:id=\"rId1\"/></sheets></workbook>";
    writeZip(path("macro.xlsx"), parts);
    const Workbook workbook(path("macro.xlsx"));
    EXPECT_EQ(workbook.sheetNames(), QStringList({"Macro1", "Item"}));
    EXPECT_EQ(workbook.rows("Item").at(0).cells.at(0).text, "Item's");
    EXPECT_EQ(errorOf(path("macro.xlsx"), "Macro1"),
              "無法讀取 Excel 檔案 " + path("macro.xlsx") +
                  "：檔案已損壞（找不到工作表「Macro1」的內容）");
  }
}

}  // namespace
}  // namespace xlsx
