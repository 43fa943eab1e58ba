// A workbook read through a connection as the import reads an Access table: written by
// the program's own sheet writer, and by another program (openpyxl).
#include "db/Connection.h"
#include "db/Dataset.h"
#include "db/Field.h"

#include <platform/Error.h>
#include <platform/RegionalSettings.h>
#include <xlsx/XlsxWriter.h>

#include <gtest/gtest.h>
#include <QProcess>
#include <QTemporaryDir>

namespace db {
namespace {

QString connectionText(const QString& path) {
  return QStringLiteral(
             "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=%1;"
             "Extended Properties=\"Excel 12.0 Xml;HDR=YES\"")
      .arg(path);
}

// Each row's cells as the import sees them: the text, "<null>" for NULL.
QStringList read(const QString& path, const QString& table) {
  Connection c;
  c.setConnectionString(connectionText(path));
  Dataset ds("qryAccess");
  ds.setConnection(&c);
  ds.setSql(QStringLiteral("select * from [%1]").arg(table));
  ds.open();
  QStringList rows;
  QStringList names;
  for (int i = 0; i < ds.fieldCount(); ++i) names << ds.field(i).fieldName();
  rows << names.join(u'|');
  for (ds.first(); !ds.eof(); ds.next()) {
    QStringList cells;
    for (int i = 0; i < ds.fieldCount(); ++i)
      cells << (ds.field(i).isNull() ? QStringLiteral("<null>") : ds.field(i).asString());
    rows << cells.join(u'|');
  }
  return rows;
}

class XlsxDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
  }
  QTemporaryDir dir_;

  // A workbook whose one sheet "Item" holds the rows that the Python code `rows` puts
  // in its list `rows`, as XML row elements: written by hand, not by a library.
  static void makeItemSheet(const QString& path, const QString& rows) {
    QProcess make;
    make.start("/usr/bin/python3", {"-c",
                                    QStringLiteral(R"(
import sys, zipfile
main = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
rels = '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
%1
parts = {
    '_rels/.rels': rels + '<Relationship Id="rId1" Type="' + rel + '/officeDocument" Target="xl/workbook.xml"/></Relationships>',
    'xl/workbook.xml': '<workbook xmlns="' + main + '" xmlns:r="' + rel + '"><sheets><sheet name="Item" sheetId="1" r:id="rId1"/></sheets></workbook>',
    'xl/_rels/workbook.xml.rels': rels + '<Relationship Id="rId1" Type="' + rel + '/worksheet" Target="worksheets/sheet1.xml"/></Relationships>',
    'xl/worksheets/sheet1.xml': '<worksheet xmlns="' + main + '"><sheetData>' + ''.join(rows) + '</sheetData></worksheet>',
}
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as out:
    for n, data in parts.items():
        out.writestr(n, data)
)")
                                        .arg(rows),
                                    path});
    ASSERT_TRUE(make.waitForFinished(60000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
  }
};

TEST_F(XlsxDriverTest, TheProgramsOwnSheetReadsBackAsTheTextsTheImportConverts) {
  const QString path = dir_.filePath("Item.xlsx");
  {
    xlsx::SheetWriter w(path, "Item",
                        {{"貨號", xlsx::ColumnKind::Text},
                         {"售價", xlsx::ColumnKind::Float},
                         {"庫存", xlsx::ColumnKind::Whole},
                         {"停用", xlsx::ColumnKind::Boolean},
                         {"日期", xlsx::ColumnKind::DateTime}});
    w.addRow({QStringLiteral("00032971"), 0.30000000000000004, qint64(-5), true,
              QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9, 997), Qt::UTC)});
    w.addRow({QString(""), QVariant(), QVariant(), false,
              QDateTime(QDate(1850, 2, 28), QTime(0, 0), Qt::UTC)});
    w.addRow({QStringLiteral("維他命Ｃ"), 12.5, qint64(9007199254740993LL), QVariant(),
              QDateTime(QDate(1900, 3, 1), QTime(0, 0), Qt::UTC)});
    w.commit();
  }
  EXPECT_EQ(read(path, "Item"),
            QStringList({"貨號|售價|庫存|停用|日期",
                         "00032971|0.30000000000000004|-5|True|2024-02-29T13:05:09.997",
                         "|<null>|<null>|False|1850-02-28 00:00:00",
                         "維他命Ｃ|12.5|9007199254740993|<null>|1900-03-01T00:00:00"}));
}

TEST_F(XlsxDriverTest, AnotherProgramsSheetIsFoundByNameAndReadAsTyped) {
  QProcess probe;
  probe.start("/usr/bin/python3", {"-c", "import openpyxl"});
  if (!probe.waitForFinished(30000) || probe.exitCode() != 0) GTEST_SKIP() << "no openpyxl";
  const QString path = dir_.filePath("Customer.xlsx");
  QProcess make;
  make.start("/usr/bin/python3", {"-c", R"(
import sys, datetime, openpyxl
wb = openpyxl.Workbook()
wb.active.title = 'Notes'
wb.active['A1'] = 'not this one'
ws = wb.create_sheet('Customer')
ws.append(['Name', None, 'CustNo', 'Birthday', 'Height', 'Extra'])
ws.append(['陳美麗', None, 123, datetime.datetime(1990, 1, 2), 170.25, 0.00001])
ws.append([])
ws.append(['  ', None, 'C2', None, '=1/0', None])
ws['E4'].value = None
wb.save(sys.argv[1])
)",
                                  path});
  ASSERT_TRUE(make.waitForFinished(60000));
  ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
  EXPECT_EQ(read(path, "Customer"), QStringList({"Name|CustNo|Birthday|Height|Extra",
                                                 "陳美麗|123|1990-01-02T00:00:00|170.25|0.00001",
                                                 "  |C2|<null>|<null>|<null>"}));
}

TEST_F(XlsxDriverTest, AFileThatIsNoWorkbookFailsWithItsName) {
  const QString path = dir_.filePath("Item.xlsx");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a workbook");
  f.close();
  try {
    read(path, "Item");
    FAIL() << "no error";
  } catch (const platform::Error& e) {
    EXPECT_TRUE(e.message().contains(path)) << e.message().toStdString();
  }
}

// The sheet is parsed beside the import's reading of it: a sheet damaged far down, after
// many rows went across, still fails the whole read with the reader's own text.
TEST_F(XlsxDriverTest, ASheetDamagedFarDownFailsTheReadWithItsReason) {
  const QString path = dir_.filePath("Item.xlsx");
  {
    xlsx::SheetWriter writer(path, "Item", {{"ItemNo", xlsx::ColumnKind::Text}});
    for (int i = 0; i < 5000; ++i)
      writer.addRow({QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'))});
    writer.commit();
  }
  QProcess damage;
  damage.start("/usr/bin/python3", {"-c", R"(
import sys, zipfile
src = zipfile.ZipFile(sys.argv[1])
parts = {n: src.read(n) for n in src.namelist()}
src.close()
sheet = 'xl/worksheets/sheet1.xml'
assert b'r="A4000"' in parts[sheet]
parts[sheet] = parts[sheet].replace(b'r="A4000"', b'r="A4000!"')
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as out:
    for n, data in parts.items():
        out.writestr(n, data)
)",
                                    path});
  ASSERT_TRUE(damage.waitForFinished(60000));
  ASSERT_EQ(damage.exitCode(), 0) << damage.readAllStandardError().toStdString();
  try {
    read(path, "Item");
    FAIL() << "no error";
  } catch (const platform::Error& e) {
    EXPECT_TRUE(e.message().contains(path)) << e.message().toStdString();
    EXPECT_TRUE(e.message().contains(QStringLiteral("A4000!"))) << e.message().toStdString();
  }
}

// A sheet with a value far past its headings on every row (a stray mark in the last
// column): those values are no column of the table, and the rows read as their headed
// cells; a row holding nothing under a heading still is a row.
TEST_F(XlsxDriverTest, ValuesPastTheLastHeadingAreLeftOut) {
  const QString path = dir_.filePath("Item.xlsx");
  makeItemSheet(path, R"(
rows = ['<row r="1"><c r="A1" t="inlineStr"><is><t>ItemNo</t></is></c>'
        '<c r="C1" t="inlineStr"><is><t>Name</t></is></c></row>']
for r in range(2, 20002):
    rows.append('<row r="%d"><c r="A%d"><v>%d</v></c><c r="XFD%d"><v>1</v></c></row>' % (r, r, r, r))
rows.append('<row r="20002"><c r="XFD20002"><v>1</v></c></row>')
)");
  const QStringList rows = read(path, "Item");
  ASSERT_EQ(rows.size(), 20002);
  EXPECT_EQ(rows[0], "ItemNo|Name");
  EXPECT_EQ(rows[1], "2|<null>");
  EXPECT_EQ(rows[20000], "20001|<null>");
  EXPECT_EQ(rows[20001], "<null>|<null>");
}

// Headings with gaps between them: each value lands under its own heading, a value
// under no heading is left out, and a heading without a value in the row is NULL.
TEST_F(XlsxDriverTest, ValuesLandUnderTheirOwnHeadingsAcrossGaps) {
  const QString path = dir_.filePath("Gaps.xlsx");
  makeItemSheet(path, R"(
def text(ref, t):
    return '<c r="%s" t="inlineStr"><is><t>%s</t></is></c>' % (ref, t)
rows = ['<row r="1">' + text('B1', 'No') + text('D1', ' ') + text('E1', 'Qty') + text('G1', 'Name') + '</row>',
        '<row r="2"><c r="A2"><v>9</v></c><c r="B2"><v>1</v></c><c r="C2"><v>8</v></c>'
        '<c r="D2"><v>7</v></c><c r="E2"><v>2.5</v></c><c r="F2"><v>6</v></c>' + text('G2', 'x') + '</row>',
        '<row r="3"><c r="D3"><v>7</v></c><c r="E3"><v>3</v></c></row>',
        '<row r="4"><c r="A4"><v>9</v></c>' + text('G4', 'y') + '</row>']
)");
  EXPECT_EQ(read(path, "Item"),
            QStringList({"No|Qty|Name", "1|2.5|x", "<null>|3|<null>", "<null>|<null>|y"}));
}

}  // namespace
}  // namespace db
