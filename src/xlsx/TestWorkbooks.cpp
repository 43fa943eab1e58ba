#include "TestWorkbooks.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <QFile>

#include "platform/Error.h"
#include "xlsx/XlsxReader.h"

namespace xlsx {

void writeZip(const QString& path, const Parts& parts, bool store) {
  int error = 0;
  zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(zip, nullptr);
  for (const auto& [name, data] : parts) {
    zip_source_t* source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
    const zip_int64_t index = zip_file_add(zip, name.toUtf8().constData(), source, 0);
    ASSERT_GE(index, 0);
    if (store) zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0);
  }
  ASSERT_EQ(zip_close(zip), 0);
}

QByteArray rels(const QList<std::pair<QByteArray, QByteArray>>& typeAndTarget) {
  QByteArray xml =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
      "relationships\">";
  int id = 0;
  for (const auto& [type, target] : typeAndTarget)
    xml += "<Relationship Id=\"rId" + QByteArray::number(++id) + "\" Type=\"" + kRelNamespace +
           "/" + type + "\" Target=\"" + target + "\"/>";
  return xml + "</Relationships>";
}

Parts book(const QByteArray& sheetData, const QByteArray& sharedStrings, const QByteArray& styles) {
  Parts parts{
      {"_rels/.rels", rels({{"officeDocument", "xl/workbook.xml"}})},
      {"xl/workbook.xml", "<workbook xmlns=\"" + kMainNamespace + "\" xmlns:r=\"" + kRelNamespace +
                              "\">" +
                              "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>"
                              "</sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", rels({{"worksheet", "worksheets/sheet1.xml"},
                                           {"sharedStrings", "sharedStrings.xml"},
                                           {"styles", "styles.xml"}})},
      {"xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + kMainNamespace + "\"><sheetData>" +
                                       sheetData + "</sheetData></worksheet>"},
  };
  if (!sharedStrings.isEmpty())
    parts.push_back({"xl/sharedStrings.xml",
                     "<sst xmlns=\"" + kMainNamespace + "\">" + sharedStrings + "</sst>"});
  if (!styles.isEmpty())
    parts.push_back({"xl/styles.xml",
                     "<styleSheet xmlns=\"" + kMainNamespace + "\">" + styles + "</styleSheet>"});
  return parts;
}

Parts withPart(Parts parts, const QString& name, const QByteArray& content) {
  parts.push_back({name, content});
  return parts;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

QString errorOf(const QString& path, const QString& sheet) {
  try {
    Workbook(path).rows(sheet);
  } catch (const platform::Error& e) {
    return e.message();
  }
  return {};
}

}  // namespace xlsx
