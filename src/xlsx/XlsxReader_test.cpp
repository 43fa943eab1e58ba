#include "xlsx/XlsxReader.h"
#include "xlsx/XlsxWriter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <utility>

#include "TestWorkbooks.h"
#include "platform/Error.h"

using namespace xlsx;

namespace {

// A row as one line of typed cells: "T:text", "N:number", "D:date" (a number formatted
// as a date), "B:1", "E:#N/A", "-" for an empty cell.
QString lineOf(const Row& row, bool date1904 = false) {
  QStringList cells;
  for (const Cell& c : row.cells) {
    while (cells.size() < c.column) cells << "-";
    if (c.isEmpty())
      cells << "(empty)";  // never handed out
    else if (c.kind == Cell::Kind::Number && c.dateFormatted)
      cells << "D:" + Workbook::dateOf(c.number, date1904).toString("yyyy-MM-dd'T'HH:mm:ss.zzz");
    else if (c.kind == Cell::Kind::Number)
      cells << "N:" + QString::number(c.number, 'g', 17);
    else if (c.kind == Cell::Kind::Boolean)
      cells << "B:" + QString::number(c.boolean);
    else
      cells << (c.kind == Cell::Kind::Text ? "T:" : "E:") + c.text;
  }
  return cells.join(u'|');
}

class XlsxReader : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }
  std::vector<Row> rowsOf(const Parts& parts, const QString& sheet = {}) {
    writeZip(path("book.xlsx"), parts);
    return Workbook(path("book.xlsx")).rows(sheet);
  }

 private:
  QTemporaryDir dir_;
};

}  // namespace

TEST_F(XlsxReader, ReadsEveryKindOfCell) {
  const QByteArray strings =
      "<si><t>00032971</t></si>"
      "<si><t>阿斯匹靈（全形）１２３</t></si>"
      // Rich text runs joined, their phonetic guide left out, spaces kept.
      "<si><r><rPr><b/></rPr><t>東京</t></r><r><t xml:space=\"preserve\"> 駅 </t></r>"
      "<rPh sb=\"0\" eb=\"2\"><t>トウキョウ</t></rPh><phoneticPr fontId=\"1\"/></si>"
      "<si><t>a_x000D_b_x005F_x0041_</t></si>";
  const std::vector<Row> rows =
      rowsOf(book("<row r=\"1\">"
                  "<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                  "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c>"
                  "<c r=\"E1\" t=\"inlineStr\"><is><t>行內</t></is></c>"
                  "<c r=\"F1\" t=\"inlineStr\"><is><r><t>甲</t></r><r><t>乙</t></r></is></c>"
                  "<c r=\"G1\"><is><t>無類型</t></is></c></row>"
                  "<row r=\"2\">"
                  "<c r=\"A2\"><v>12.5</v></c><c r=\"B2\" t=\"n\"><v> -3 </v></c>"
                  "<c r=\"C2\" t=\"b\"><v>1</v></c><c r=\"D2\" t=\"b\"><v>0</v></c>"
                  "<c r=\"E2\" t=\"e\"><v>#N/A</v></c>"
                  "<c r=\"F2\" t=\"d\"><v>2024-02-29T13:45:30.123</v></c></row>"
                  // Formulas give their last result; one never calculated is empty.
                  "<row r=\"3\">"
                  "<c r=\"A3\"><f>1+1</f><v>2</v></c>"
                  "<c r=\"B3\" t=\"str\"><f>A1&amp;\"x\"</f><v>00032971x</v></c>"
                  "<c r=\"C3\"><f>NOW()</f></c>"
                  "<c r=\"D3\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
                  "<c r=\"E3\" t=\"s\"/></row>",
                  strings));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(lineOf(rows[0]),
            "T:00032971|T:阿斯匹靈（全形）１２３|T:東京 駅 |T:a\rb_x0041_|T:行內|"
            "T:甲乙|T:無類型");
  EXPECT_EQ(lineOf(rows[1]), "N:12.5|N:-3|B:1|B:0|E:#N/A|D:2024-02-29T13:45:30.123");
  EXPECT_EQ(lineOf(rows[2]), "N:2|T:00032971x|-|E:#DIV/0!");
}

TEST_F(XlsxReader, NumbersReadBackBitForBit) {
  const std::vector<double> values = {0.1 + 0.2,
                                      1e-300,
                                      1.0 / 3,
                                      5e-324,
                                      1.7976931348623157e308,
                                      -2.2250738585072014e-308,
                                      123456789.12345679,
                                      9007199254740993.0};
  QByteArray cells;
  for (size_t i = 0; i < values.size(); ++i)
    cells += "<c><v>" + QByteArray::number(values[i], 'g', 17) + "</v></c>";
  // As some programs write them: an exponent with a sign, a leading plus and point.
  cells += "<c><v>1E+300</v></c><c><v>+.5</v></c><c><v>9007199254740993</v></c>";
  const std::vector<Row> rows = rowsOf(book("<row>" + cells + "</row>"));
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].cells.size(), values.size() + 3);
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(std::memcmp(&rows[0].cells[i].number, &values[i], sizeof(double)), 0)
        << QByteArray::number(values[i], 'g', 17).constData();
  EXPECT_EQ(rows[0].cells[values.size()].number, 1e300);
  EXPECT_EQ(rows[0].cells[values.size() + 1].number, 0.5);
  EXPECT_EQ(rows[0].cells[values.size() + 2].number, 9007199254740992.0);  // nearest double
}

TEST_F(XlsxReader, DateFormatsMarkTheirCells) {
  // One cell format per case; the cell in column A of row n uses format n - 1.
  const std::vector<std::pair<QByteArray, bool>> formats = {
      {"0", false},   {"14", true},   {"22", true},   {"21", true},   {"45", true},
      {"31", true},   {"57", true},   {"2", false},   {"49", false},  {"164", true},
      {"165", true},  {"166", false}, {"167", false}, {"168", false}, {"169", true},
      {"170", false}, {"171", true},  {"172", false}, {"173", false}};
  const QByteArray customs =
      "<numFmts>"
      "<numFmt numFmtId=\"164\" formatCode=\"yyyy/mm/dd hh:mm:ss\"/>"
      "<numFmt numFmtId=\"165\" "
      "formatCode=\"[$-404]e&quot;年&quot;m&quot;月&quot;d&quot;日&quot;\"/>"
      "<numFmt numFmtId=\"166\" formatCode=\"#,##0 &quot;元&quot;\"/>"
      "<numFmt numFmtId=\"167\" formatCode=\"[Red]0.00;[Blue]-0.00\"/>"
      "<numFmt numFmtId=\"168\" formatCode=\"General&quot; days&quot;\"/>"
      "<numFmt numFmtId=\"169\" formatCode=\"[h]:mm\"/>"
      "<numFmt numFmtId=\"170\" formatCode=\"0.0\\h_)*-\"/>"
      "<numFmt numFmtId=\"171\" formatCode=\"上午/下午hh&quot;時&quot;mm&quot;分&quot;\"/>"
      "<numFmt numFmtId=\"172\" formatCode=\"0.00E+00\"/>"
      "<numFmt numFmtId=\"173\" formatCode=\"@\"/>"
      "</numFmts>"
      // The differential formats' codes and the style formats are no cell formats.
      "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>"
      "<dxfs><dxf><numFmt numFmtId=\"166\" formatCode=\"yyyy\"/></dxf></dxfs>";
  QByteArray xfs = "<cellXfs>";
  QByteArray sheet;
  for (size_t i = 0; i < formats.size(); ++i) {
    xfs += "<xf numFmtId=\"" + formats[i].first + "\"><alignment/></xf>";
    sheet += "<row><c s=\"" + QByteArray::number(qsizetype(i)) + "\"><v>45000.25</v></c></row>";
  }
  sheet += "<row><c s=\"99\"><v>1</v></c></row>";  // a format the file lacks
  const std::vector<Row> rows = rowsOf(book(sheet, {}, customs + xfs + "</cellXfs>"));
  ASSERT_EQ(rows.size(), formats.size() + 1);
  for (size_t i = 0; i < formats.size(); ++i)
    EXPECT_EQ(rows[i].cells.at(0).dateFormatted, formats[i].second) << formats[i].first.constData();
  EXPECT_FALSE(rows.back().cells.at(0).dateFormatted);
}

TEST_F(XlsxReader, PlacesCellsAndRowsWhereTheFileSays) {
  const std::vector<Row> rows = rowsOf(book(
      // Without r attributes a cell follows the one before and a row the row before.
      "<row><c><v>1</v></c><c><v>2</v></c><c r=\"E1\"><v>5</v></c><c><v>6</v></c></row>"
      "<row><c r=\"C2\"><v>3</v></c><c r=\"a2\"><v>1</v></c></row>"  // out of order
      "<row r=\"4\"><c r=\"B4\" s=\"0\"/></row>"                     // nothing in it
      "<row r=\"7\" spans=\"1:3\"><c r=\"B7\"><v>2</v></c><c r=\"C7\" s=\"1\"/></row>"
      "<row><c r=\"XFD8\" t=\"inlineStr\"><is><t>end</t></is></c></row>"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].number, 1);
  EXPECT_EQ(lineOf(rows[0]), "N:1|N:2|-|-|N:5|N:6");
  EXPECT_EQ(rows[1].number, 2);
  EXPECT_EQ(lineOf(rows[1]), "N:1|-|N:3");
  EXPECT_EQ(rows[2].number, 7);
  EXPECT_EQ(lineOf(rows[2]), "-|N:2");  // the empty C7 is dropped
  EXPECT_EQ(rows[3].number, 8);
  ASSERT_EQ(rows[3].cells.size(), 1u);  // one cell, however far out
  EXPECT_EQ(rows[3].cells[0].column, 16383);
  EXPECT_EQ(rows[3].cells[0].text, "end");
}

TEST_F(XlsxReader, FindsSheetsThroughTheirRelationshipsWhateverThePrefixes) {
  // Parts under names of their own, targets relative and absolute, and every element
  // of the spreadsheet's namespace under a prefix.
  const QByteArray x = "xmlns:x=\"" + kMainNamespace + "\"";
  const Parts parts{
      {"_rels/.rels", rels({{"officeDocument", "/data/book.xml"}})},
      {"data/book.xml", "<x:workbook " + x + " xmlns:rr=\"" + kRelNamespace +
                            "\"><x:workbookPr date1904=\"true\"/><x:sheets>"
                            "<x:sheet name=\"Classify\" sheetId=\"1\" rr:id=\"rId2\"/>"
                            "<x:sheet name=\"Item\" sheetId=\"5\" state=\"hidden\" rr:id=\"rId1\"/>"
                            "</x:sheets></x:workbook>"},
      {"data/_rels/book.xml.rels", rels({{"worksheet", "/data/s/second.xml"},
                                         {"worksheet", "s/first.xml"},
                                         {"sharedStrings", "../data/./strings.xml"}})},
      {"data/s/first.xml", "<x:worksheet " + x +
                               "><x:sheetData><x:row x:r=\"1\"><x:c t=\"s\"><x:v>1</x:v></x:c>"
                               "</x:row></x:sheetData></x:worksheet>"},
      {"data/s/second.xml", "<x:worksheet " + x +
                                "><x:sheetData><x:row><x:c t=\"s\"><x:v>0</x:v></x:c></x:row>"
                                "</x:sheetData></x:worksheet>"},
      {"data/strings.xml", "<x:sst " + x +
                               "><x:si><x:t>商品</x:t></x:si><x:si><x:r><x:t>類別"
                               "</x:t></x:r></x:si></x:sst>"},
  };
  writeZip(path("book.xlsx"), parts);
  const Workbook workbook(path("book.xlsx"));
  EXPECT_EQ(workbook.sheetNames(), QStringList({"Classify", "Item"}));
  EXPECT_TRUE(workbook.date1904());
  EXPECT_EQ(workbook.rows("Item").at(0).cells.at(0).text, "商品");
  EXPECT_EQ(workbook.rows("item").at(0).cells.at(0).text, "商品");
  EXPECT_EQ(workbook.rows({}).at(0).cells.at(0).text, "類別");
  EXPECT_EQ(errorOf(path("book.xlsx"), "Supplier"),
            "無法讀取 Excel 檔案 " + path("book.xlsx") + "：找不到工作表「Supplier」");

  // Without relationships, the usual part names.
  writeZip(path("plain.xlsx"), {{"xl/workbook.xml", "<workbook xmlns=\"" + kMainNamespace +
                                                        "\"><sheets><sheet name=\"A\"/>"
                                                        "</sheets></workbook>"},
                                {"xl/worksheets/sheet1.xml",
                                 "<worksheet><sheetData><row><c><v>7</v></c></row>"
                                 "</sheetData></worksheet>"}});
  EXPECT_EQ(Workbook(path("plain.xlsx")).rows("A").at(0).cells.at(0).number, 7);
}

TEST(XlsxReaderDates, SerialsCountInTheWorkbooksDateSystem) {
  const auto at = [](int y, int m, int d, int h = 0, int min = 0, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, min, s, ms), Qt::UTC);
  };
  EXPECT_EQ(Workbook::dateOf(1, false), at(1900, 1, 1));
  EXPECT_EQ(Workbook::dateOf(59, false), at(1900, 2, 28));
  EXPECT_FALSE(Workbook::dateOf(60, false).isValid());  // 1900-02-29
  EXPECT_EQ(Workbook::dateOf(61, false), at(1900, 3, 1));
  EXPECT_EQ(Workbook::dateOf(0.4375, false), at(1899, 12, 31, 10, 30));
  EXPECT_EQ(Workbook::dateOf(45351.5732653125, false), at(2024, 2, 29, 13, 45, 30, 123));
  EXPECT_EQ(Workbook::dateOf(45351.999999999, false), at(2024, 3, 1));  // rounds over midnight
  EXPECT_EQ(Workbook::dateOf(2958465.999988426, false), at(9999, 12, 31, 23, 59, 59));
  EXPECT_FALSE(Workbook::dateOf(2958466, false).isValid());
  EXPECT_FALSE(Workbook::dateOf(-1, false).isValid());
  EXPECT_EQ(Workbook::dateOf(0, true), at(1904, 1, 1));
  EXPECT_EQ(Workbook::dateOf(43889.5732653125, true), at(2024, 2, 29, 13, 45, 30, 123));
}

TEST(XlsxReaderColumns, NamesColumnsAsTheOperatorSeesThem) {
  EXPECT_EQ(Workbook::columnName(0), "A");
  EXPECT_EQ(Workbook::columnName(25), "Z");
  EXPECT_EQ(Workbook::columnName(26), "AA");
  EXPECT_EQ(Workbook::columnName(701), "ZZ");
  EXPECT_EQ(Workbook::columnName(702), "AAA");
  EXPECT_EQ(Workbook::columnName(16383), "XFD");
}

TEST_F(XlsxReader, ReadsWhatASpreadsheetProgramWrote) {
  QProcess probe;
  probe.start("/usr/bin/python3", {"-c", "import openpyxl"});
  if (!probe.waitForFinished(30000) || probe.exitCode() != 0) GTEST_SKIP() << "no openpyxl";
  const char* script = R"(
import sys, datetime, openpyxl
from openpyxl.utils.datetime import CALENDAR_MAC_1904
wb = openpyxl.Workbook()
if sys.argv[2] == "1904": wb.epoch = CALENDAR_MAC_1904
wb.active.title = "Classify"
wb.active.append(["x"])
ws = wb.create_sheet("Item")
ws.append(["編號", "品名", "售價", "日期", "時間", "啟用"])
ws.append(["00032971", "阿斯匹靈（全形）", 1234, datetime.datetime(2024, 2, 29, 13, 45, 30), datetime.time(10, 30), True])
ws.append([])
ws.append([None, None, 0.25, datetime.date(1900, 2, 28), None, False])
ws["C2"].number_format = '#,##0 "元"'
ws["D2"].number_format = "yyyy/mm/dd hh:mm:ss"
ws["C4"].number_format = "0.00"
ws["D4"].number_format = "mm-dd-yy"
wb.save(sys.argv[1])
)";
  for (const QString system : {"1900", "1904"}) {
    SCOPED_TRACE(system.toStdString());
    const QString file = path("written" + system + ".xlsx");
    QProcess python;
    python.start("/usr/bin/python3", {"-c", script, file, system});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();

    const Workbook workbook(file);
    EXPECT_EQ(workbook.sheetNames(), QStringList({"Classify", "Item"}));
    EXPECT_EQ(workbook.date1904(), system == "1904");
    const std::vector<Row> rows = workbook.rows("Item");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(lineOf(rows[0], workbook.date1904()), "T:編號|T:品名|T:售價|T:日期|T:時間|T:啟用");
    EXPECT_EQ(lineOf(rows[1], workbook.date1904()),
              "T:00032971|T:阿斯匹靈（全形）|N:1234|D:2024-02-29T13:45:30.000|D:" +
                  QString(system == "1900" ? "1899-12-31" : "1904-01-01") + "T10:30:00.000|B:1");
    EXPECT_EQ(rows[2].number, 4);
    if (system == "1900") {
      EXPECT_EQ(lineOf(rows[2], workbook.date1904()), "-|-|N:0.25|D:1900-02-28T00:00:00.000|-|B:0");
    }
  }
}

TEST_F(XlsxReader, ReadsBackWhatTheExportWrites) {
  using xlsx::ColumnKind;
  const QDateTime changed(QDate(2024, 2, 29), QTime(13, 45, 30, 123), Qt::UTC);
  {
    xlsx::SheetWriter writer(path("Item.xlsx"), "Item",
                             {{"編號", ColumnKind::Text},
                              {"售價", ColumnKind::Float},
                              {"庫存", ColumnKind::Whole},
                              {"停用", ColumnKind::Boolean},
                              {"修改日期", ColumnKind::DateTime},
                              {"建檔日期", ColumnKind::DateTime, true}});
    writer.addRow({QString("00032971"), 12.5, qint64(-3), true, changed,
                   QDateTime(QDate(2023, 1, 2), QTime(0, 0), Qt::UTC)});
    writer.addRow({QString(""), QVariant(), QVariant(), false, QVariant(), QVariant()});
    writer.commit();
  }
  const std::vector<Row> rows = Workbook(path("Item.xlsx")).rows("Item");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(lineOf(rows[0]), "T:編號|T:售價|T:庫存|T:停用|T:修改日期|T:建檔日期");
  EXPECT_EQ(lineOf(rows[1]),
            "T:00032971|N:12.5|N:-3|B:1|D:2024-02-29T13:45:30.123|D:2023-01-02T00:00:00.000");
  // The empty text stays a text; NULLs are no cells.
  EXPECT_EQ(lineOf(rows[2]), "T:|-|-|B:0");
}

// Every float goes out as a number cell and comes back bit for bit, those whose 16
// digits fall short (1123.6979999999999) among them. Enough rows that the cells given
// their full digits span many reads of the library's rows.
TEST_F(XlsxReader, EveryFloatIsWrittenAsANumberAndReadsBackBitForBit) {
  const std::vector<double> values = {1123.6979999999999,
                                      715.7238000000001,
                                      98.10360000000001,
                                      0.30000000000000004,
                                      715.7238,
                                      12345678901234.5,
                                      1e-7,
                                      1.7976931348623157e308,
                                      -5e-324,
                                      9007199254740993.0};
  std::vector<double> written;
  {
    xlsx::SheetWriter writer(path("Item.xlsx"), "Item",
                             {{"品名", xlsx::ColumnKind::Text},
                              {"平均成本", xlsx::ColumnKind::Float},
                              {"售價", xlsx::ColumnKind::Float}});
    for (int i = 0; i < 6000; ++i) {
      const double a = values[size_t(i) % values.size()];
      const double b = 1123.6979999999999 + i / 7.0;
      writer.addRow({QStringLiteral("<c r=\"B%1\">").arg(i + 3), a, b});
      written.insert(written.end(), {a, b});
    }
    writer.commit();
  }
  const std::vector<Row> rows = Workbook(path("Item.xlsx")).rows("Item");
  ASSERT_EQ(rows.size(), written.size() / 2 + 1);
  int differing = 0;
  for (size_t i = 1; i < rows.size(); ++i)
    for (size_t col = 1; col <= 2; ++col) {
      const Cell& c = rows[i].cells.at(col);
      const double want = written[(i - 1) * 2 + col - 1];
      if (c.kind == Cell::Kind::Number && std::memcmp(&c.number, &want, sizeof want) == 0) continue;
      ADD_FAILURE() << "row " << i + 1 << " column " << col << ": '" << c.text.toStdString() << "' "
                    << c.number << " for " << want;
      if (++differing == 5) return;
    }
}

TEST_F(XlsxReader, RefusesWhatIsNoReadableWorkbook) {
  const auto message = [&](const QString& file, const QString& reason) {
    return "無法讀取 Excel 檔案 " + path(file) + "：" + reason;
  };
  const QString notXlsx = "不是 Excel 活頁簿（.xlsx）檔案";
  writeFile(path("empty.xlsx"), "");
  EXPECT_EQ(errorOf(path("empty.xlsx")), message("empty.xlsx", notXlsx));
  writeFile(path("text.xlsx"), "編號,品名\n1,a\n");
  EXPECT_EQ(errorOf(path("text.xlsx")), message("text.xlsx", notXlsx));
  writeFile(path("Item.mdb"),
            QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20).append(2000, 'j'));
  EXPECT_EQ(errorOf(path("Item.mdb")), message("Item.mdb", notXlsx));
  writeZip(path("other.xlsx"), {{"word/document.xml", "<document/>"}});
  EXPECT_EQ(errorOf(path("other.xlsx")), message("other.xlsx", notXlsx));
  EXPECT_EQ(
      errorOf(path("missing.xlsx")),
      message("missing.xlsx", "找不到這個檔案：請先按「匯出檔案」，或確認檔案放在程式資料夾"));

  // Compound files: an old workbook, or a new one under a password.
  const QByteArray compound = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8).append(4096, 'j');
  writeFile(path("old.xlsx"), compound);
  EXPECT_EQ(errorOf(path("old.xlsx")),
            message("old.xlsx", "這是舊版 Excel（.xls）檔案，請另存為 .xlsx"));
  QByteArray encrypted = compound;
  for (const char c : QByteArray("EncryptedPackage")) encrypted.append(c).append('\0');
  writeFile(path("locked.xlsx"), encrypted.append(3000, 'k'));
  // Under a password the operator set, or under Excel's default one, which Excel opens
  // without asking: from outside both look alike, so the message speaks of both.
  EXPECT_EQ(errorOf(path("locked.xlsx")),
            message("locked.xlsx",
                    "這個檔案已加密。若 Excel 開啟時要求輸入密碼，請在 Excel 中移除密碼後再匯入；"
                    "若 Excel 不要求密碼就能開啟（以 Excel 的預設密碼保護），"
                    "請在 Excel 中另存一份不加保護的副本，再匯入該副本"));

  // Damaged archives: cut in half, a part whose bytes changed, a part too large.
  const QByteArray sheet = "<row><c><v>42</v></c></row>";
  writeZip(path("good.xlsx"), book(sheet), true);
  QFile goodFile(path("good.xlsx"));
  ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
  const QByteArray good = goodFile.readAll();
  writeFile(path("half.xlsx"), good.left(good.size() / 2));
  EXPECT_TRUE(errorOf(path("half.xlsx")).startsWith(message("half.xlsx", "檔案已損壞（")));
  writeFile(path("cut.xlsx"), good.left(good.size() - 10));
  EXPECT_TRUE(errorOf(path("cut.xlsx")).startsWith(message("cut.xlsx", "檔案已損壞（")));
  writeFile(path("changed.xlsx"), QByteArray(good).replace("<v>42</v>", "<v>43</v>"));
  EXPECT_EQ(errorOf(path("changed.xlsx")),
            message("changed.xlsx", "檔案已損壞（xl/worksheets/sheet1.xml：內容的檢查碼不符）"));
  // The directory claims the sheet unpacks to 4 GB.
  QByteArray bomb = good;
  const qsizetype central =
      bomb.lastIndexOf("PK\x01\x02", bomb.lastIndexOf("xl/worksheets/sheet1.xml"));
  ASSERT_GT(central, 0);
  bomb.replace(central + 24, 4, QByteArray("\xF0\xFF\xFF\xFF", 4));
  writeFile(path("bomb.xlsx"), bomb);
  EXPECT_EQ(errorOf(path("bomb.xlsx")),
            message("bomb.xlsx", "檔案內容過大（xl/worksheets/sheet1.xml 解開後超過 2 GB）"));

  // Damaged contents.
  writeZip(path("xml.xlsx"), book("<row><c><v>1</v></c>"));
  EXPECT_TRUE(
      errorOf(path("xml.xlsx"))
          .startsWith(message("xml.xlsx", "檔案已損壞（xl/worksheets/sheet1.xml 第 1 行：")));
  writeZip(path("strings.xlsx"), book("<row><c t=\"s\"><v>1</v></c></row>", "<si><t>a</t></si>"));
  EXPECT_EQ(errorOf(path("strings.xlsx")),
            message("strings.xlsx",
                    "檔案已損壞（工作表「Sheet1」的儲存格 A1 指向不存在的共用文字「1」）"));
  writeZip(path("laughs.xlsx"),
           withPart(book({}), "xl/sharedStrings.xml",
                    "<!DOCTYPE sst [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
                    "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                    "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
                    "<sst><si><t>&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;</t></si></sst>"));
  EXPECT_TRUE(errorOf(path("laughs.xlsx")).startsWith(message("laughs.xlsx", "檔案已損壞（")));
}

TEST_F(XlsxReader, TrustsNoCountTheFileClaims) {
  const std::vector<Row> rows = rowsOf(
      withPart(book("<row r=\"1048576\"><c t=\"s\"><v>0</v></c></row>"), "xl/sharedStrings.xml",
               "<sst uniqueCount=\"4000000000\" count=\"9999999999\"><si><t>a</t></si></sst>"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].number, 1048576);
  writeZip(path("rows.xlsx"), book("<row r=\"1048577\"><c><v>1</v></c></row>"));
  EXPECT_TRUE(errorOf(path("rows.xlsx")).contains("的列號「1048577」不正確"));
  writeZip(path("columns.xlsx"), book("<row><c r=\"XFE1\"><v>1</v></c></row>"));
  EXPECT_TRUE(errorOf(path("columns.xlsx")).contains("的儲存格位置「XFE1」不正確"));
}
