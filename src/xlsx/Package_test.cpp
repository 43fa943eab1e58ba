// Packages the reader must refuse before anything of them is believed: parts declaring
// a document type, and archives holding two parts of one name.
#include "Package.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TestWorkbooks.h"
#include "platform/Error.h"

namespace xlsx {
namespace {

class XlsxPackage : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }
  QString damaged(const QString& file, const QString& detail) const {
    return "無法讀取 Excel 檔案 " + path(file) + "：檔案已損壞（" + detail + "）";
  }

 private:
  QTemporaryDir dir_;
};

// Nested entities that expand a thousandfold at each level: read, the sheet's one cell
// would be gigabytes of text.
const QByteArray kLaughs =
    "<!DOCTYPE worksheet [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
    "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
    "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
    "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>";

TEST_F(XlsxPackage, RefusesADocumentTypeInAnyPart) {
  const QByteArray sheet = "<row><c t=\"s\"><v>0</v></c></row>";
  const QByteArray strings = "<si><t>a</t></si>";
  const QByteArray styles = "<cellXfs><xf numFmtId=\"14\"/></cellXfs>";
  writeZip(path("plain.xlsx"), book(sheet, strings, styles));
  ASSERT_EQ(errorOf(path("plain.xlsx")), QString());
  for (const QString part : {"_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/sharedStrings.xml", "xl/styles.xml", "xl/worksheets/sheet1.xml"}) {
    SCOPED_TRACE(part.toStdString());
    Parts parts = book(sheet, strings, styles);
    // After the XML declaration, where a document type stands.
    for (auto& [name, data] : parts)
      if (name == part)
        data.prepend("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
                     (part.endsWith("sheet1.xml")
                          ? kLaughs
                          : QByteArray("<!DOCTYPE x SYSTEM \"/etc/passwd\">")));
    writeZip(path("dtd.xlsx"), parts);
    EXPECT_EQ(errorOf(path("dtd.xlsx")),
              damaged("dtd.xlsx", part + "：含有文件類型宣告（DOCTYPE）"));
  }
  // Entities used in the sheet itself.
  Parts parts = book("<row><c t=\"inlineStr\"><is><t>&d;</t></is></c></row>");
  parts.back().second.prepend(kLaughs);
  writeZip(path("used.xlsx"), parts);
  EXPECT_EQ(errorOf(path("used.xlsx")),
            damaged("used.xlsx", "xl/worksheets/sheet1.xml：含有文件類型宣告（DOCTYPE）"));
}

// Which of two parts of one name a reader takes is up to the reader: Excel and this
// program could then see different sheets in the same file.
TEST_F(XlsxPackage, RefusesTwoPartsOfOneName) {
  Parts parts = book("<row><c><v>1</v></c></row>");
  parts.push_back({"xl/worksheets/sheetX.xml",
                   "<worksheet><sheetData><row><c><v>2</v></c></row></sheetData></worksheet>"});
  writeZip(path("two.xlsx"), parts, true);
  // The second part renamed in place, in its local header and in the directory.
  writeFile(path("two.xlsx"), readFile(path("two.xlsx")).replace("sheetX.xml", "sheet1.xml"));
  EXPECT_EQ(errorOf(path("two.xlsx")),
            damaged("two.xlsx", "壓縮檔中有兩個名為 xl/worksheets/sheet1.xml 的部分"));

  // Part names ignore case, and some tools write backslashes.
  parts = book("<row><c><v>1</v></c></row>");
  parts.push_back({"XL\\Worksheets\\Sheet1.xml", "<worksheet/>"});
  writeZip(path("case.xlsx"), parts);
  EXPECT_EQ(errorOf(path("case.xlsx")),
            damaged("case.xlsx", "壓縮檔中有兩個名為 XL\\Worksheets\\Sheet1.xml 的部分"));

  // Folder entries hold nothing and may repeat.
  parts = book("<row><c><v>1</v></c></row>");
  parts.push_back({"xl/", ""});
  parts.push_back({"XL/", ""});
  writeZip(path("folders.xlsx"), parts);
  EXPECT_EQ(errorOf(path("folders.xlsx")), QString());
}

}  // namespace
}  // namespace xlsx
