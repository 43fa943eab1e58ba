// How fast worksheets read: a workbook of N rows of the Item table's shape (23 columns:
// texts through shared strings, prices, stock, dates under a date format, a flag),
// laid out as Excel saves one, is made first (not timed), then opened and read row by
// row several times; the median run is reported in rows and cells per second.
//
//   bench_xlsx_read [--rows N] [--runs R] [--out FILE] [--in FILE]
//
// --out keeps the workbook made; --in reads a workbook made elsewhere (its first sheet)
// instead, such as the export's own form from `bench_xlsx_write --keep FILE`.
#include <sys/resource.h>
#include <zip.h>

#include <xlsx/XlsxReader.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/Error.h"

namespace {

const QByteArray kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QByteArray column(int index) {
  return xlsx::Workbook::columnName(index).toLatin1();
}

bool makeWorkbook(const QString& path, int rows) {
  // The shared texts: the header, then per row its item number and name; a few class,
  // unit and supplier codes shared by many rows.
  QByteArray strings;
  int stringCount = 0;
  const auto addString = [&](const QByteArray& text) {
    strings += "<si><t>" + text + "</t></si>";
    return stringCount++;
  };
  static const char* const header[] = {
      "ItemNo", "ItemName", "ClassNo", "Unit",     "Price1",  "Price2",  "Price3", "Cost",
      "StkQty", "SafeQty",  "Shelf",   "Supplier", "Package", "Barcode", "Tax",    "Discount",
      "MinQty", "MaxQty",   "Weight",  "Created",  "Changed", "Memo",    "Active"};
  const int columns = int(std::size(header));
  std::vector<int> headerIds;
  for (const char* name : header) headerIds.push_back(addString(name));
  std::vector<int> codes;
  for (int i = 0; i < 50; ++i) codes.push_back(addString("C" + QByteArray::number(100 + i)));

  QByteArray sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
      "xmlns=\"" +
      kMain + "\" xmlns:r=\"" + kRel + "\"><dimension ref=\"A1:" + column(columns - 1) +
      QByteArray::number(rows + 1) + "\"/><sheetData>";
  sheet.reserve(qsizetype(rows) * 800);
  const auto cell = [&](int c, int r, const QByteArray& rest) {
    sheet += "<c r=\"" + column(c) + QByteArray::number(r) + "\"" + rest + "</c>";
  };
  sheet += "<row r=\"1\" spans=\"1:23\">";
  for (int c = 0; c < columns; ++c)
    cell(c, 1, " t=\"s\"><v>" + QByteArray::number(headerIds[size_t(c)]) + "</v>");
  sheet += "</row>";
  for (int i = 0; i < rows; ++i) {
    const int r = i + 2;
    sheet += "<row r=\"" + QByteArray::number(r) + "\" spans=\"1:23\">";
    const QByteArray number = QByteArray::number(4710000000000LL + i);
    const auto shared = [&](int c, const QByteArray& text) {
      cell(c, r, " t=\"s\"><v>" + QByteArray::number(addString(text)) + "</v>");
    };
    const auto code = [&](int c, int which) {
      cell(c, r, " t=\"s\"><v>" + QByteArray::number(codes[size_t(which % 50)]) + "</v>");
    };
    const auto value = [&](int c, double v, const char* style = "") {
      cell(c, r, QByteArray(style) + "><v>" + QByteArray::number(v, 'g', 17) + "</v>");
    };
    shared(0, number);
    shared(1, "測試商品名稱第" + QByteArray::number(i) + "號（規格）");
    code(2, i);
    code(3, i / 7);
    value(4, 100 + i % 900);
    value(5, 95.5 + i % 300);
    value(6, 90.25);
    value(7, 61.123456789 + i % 17);
    value(8, i % 1000);
    value(9, 10);
    code(10, i / 3);
    code(11, i / 11);
    shared(12, "500ml*" + QByteArray::number(i % 24));
    shared(13, number + "9");
    value(14, 0.05);
    value(15, 0);
    value(16, 1);
    value(17, 999);
    value(18, 0.3 + i % 5);
    value(19, 44927 + i % 1000, " s=\"1\"");
    value(20, 45292.5 + (i % 400) / 7.0, " s=\"2\"");
    if (i % 3 == 0) shared(21, "備註 " + QByteArray::number(i));
    cell(22, r, " t=\"b\"><v>" + QByteArray::number(i % 2) + "</v>");
    sheet += "</row>";
  }
  sheet += "</sheetData></worksheet>";

  const QByteArray sst =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst "
      "xmlns=\"" +
      kMain + "\" count=\"" + QByteArray::number(stringCount) + "\" uniqueCount=\"" +
      QByteArray::number(stringCount) + "\">" + strings + "</sst>";
  const QByteArray rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
      "relationships\">";
  const QByteArray rel = "<Relationship Type=\"" + kRel + "/";
  const QByteArray parts[][2] = {
      {"_rels/.rels", rels + rel + "officeDocument\" Target=\"xl/workbook.xml\" Id=\"rId1\"/>" +
                          "</Relationships>"},
      {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel +
                              "\"><sheets><sheet name=\"Item\" sheetId=\"1\" r:id=\"rId1\"/>"
                              "</sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       rels + rel + "worksheet\" Target=\"worksheets/sheet1.xml\" Id=\"rId1\"/>" + rel +
           "sharedStrings\" Target=\"sharedStrings.xml\" Id=\"rId2\"/>" + rel +
           "styles\" Target=\"styles.xml\" Id=\"rId3\"/></Relationships>"},
      {"xl/styles.xml",
       "<styleSheet xmlns=\"" + kMain +
           "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" "
           "formatCode=\"yyyy/mm/dd hh:mm:ss\"/></numFmts><cellXfs count=\"3\">"
           "<xf numFmtId=\"0\"/><xf numFmtId=\"14\" applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"164\" applyNumberFormat=\"1\"/></cellXfs></styleSheet>"},
      {"xl/sharedStrings.xml", sst},
      {"xl/worksheets/sheet1.xml", sheet},
  };
  int error = 0;
  zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) return false;
  for (const auto& part : parts) {
    zip_source_t* source =
        zip_source_buffer(zip, part[1].constData(), zip_uint64_t(part[1].size()), 0);
    if (zip_file_add(zip, part[0].constData(), source, 0) < 0) return false;
  }
  return zip_close(zip) == 0;
}

double processorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int rows = 100000;
  int runs = 3;
  QString input;
  QString output;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--rows") rows = args[i + 1].toInt();
    if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
    if (args[i] == "--in") input = args[i + 1];
    if (args[i] == "--out") output = args[i + 1];
  }
  QTemporaryDir dir;
  if (input.isEmpty()) {
    input = output.isEmpty() ? dir.filePath("Item.xlsx") : output;
    QElapsedTimer timer;
    timer.start();
    if (!makeWorkbook(input, rows)) {
      std::fprintf(stderr, "could not write %s\n", qPrintable(input));
      return 1;
    }
    std::printf("made %s: %d rows in %.1f s, %.1f MB\n", qPrintable(input), rows,
                double(timer.elapsed()) / 1000, double(QFileInfo(input).size()) / 1e6);
  }

  std::vector<double> seconds;
  std::vector<double> processor;
  qint64 rowCount = 0;
  qint64 cellCount = 0;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer timer;
    timer.start();
    const double cpu0 = processorSeconds();
    rowCount = 0;
    cellCount = 0;
    try {
      const xlsx::Workbook workbook(input);
      workbook.forEachRow({}, [&](const xlsx::Row& row) {
        ++rowCount;
        for (const xlsx::Cell& cell : row.cells) cellCount += !cell.isEmpty();
      });
    } catch (const platform::Error& e) {
      std::fprintf(stderr, "%s\n", qPrintable(e.message()));
      return 1;
    }
    seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    processor.push_back(processorSeconds() - cpu0);
  }
  // The machine may be shared: the processor time is what reading itself costs.
  std::sort(seconds.begin(), seconds.end());
  std::sort(processor.begin(), processor.end());
  const double median = seconds[seconds.size() / 2];
  const double cpu = processor[processor.size() / 2];
  std::printf("read %lld rows, %lld cells in %.2f s (median of %d): %.0f rows/s, %.0f cells/s\n",
              rowCount, cellCount, median, runs, double(rowCount) / median,
              double(cellCount) / median);
  std::printf("processor %.2f s: %.0f rows/s; peak memory %.0f MB\n", cpu, double(rowCount) / cpu,
              double(peakKilobytes()) / 1024);
  return 0;
}
