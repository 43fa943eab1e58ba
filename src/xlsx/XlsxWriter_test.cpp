#include "xlsx/XlsxWriter.h"

#include "Package.h"

#include <platform/Error.h>

#include <gtest/gtest.h>
#include <locale.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cstdio>

namespace xlsx {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// openpyxl's reading of the first worksheet, each row as its cells joined by " | ": ""
// for none, "t:" text, "f:" formula, "b:" boolean, "n:" the repr of the number as a
// double (exact), "d:" a date in milliseconds since 1899-12-30.
const char* const kReadBack = R"(
import sys, json, datetime, openpyxl
from openpyxl.utils import get_column_letter
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
def cell(c):
    v = c.value
    if v is None: return ''
    if c.data_type == 'f': return 'f:' + v
    if isinstance(v, bool): return 'b:' + str(v)
    if isinstance(v, (int, float)): return 'n:' + repr(float(v))
    if isinstance(v, datetime.datetime):
        d = v - datetime.datetime(1899, 12, 30)
        return 'd:%d' % ((d.days * 86400 + d.seconds) * 1000 + (d.microseconds + 500) // 1000)
    return 't:' + v
cols = [ws.column_dimensions[get_column_letter(i)] for i in range(1, ws.max_column + 1)]
print(json.dumps({
    'sheets': wb.sheetnames, 'frozen': ws.freeze_panes,
    'header': ' | '.join(c.value + (' (bold)' if c.font.b else '') for c in ws[1]),
    'rows': [' | '.join(cell(c) for c in r) for r in ws.iter_rows(min_row=2)],
    'formats': [' | '.join(c.number_format for c in r) for r in ws.iter_rows(min_row=2)],
    'columnFormats': ' | '.join(c.number_format for c in cols),
    'widths': [c.width for c in cols]}))
)";

bool haveOpenpyxl() {
  static const bool have = [] {
    QProcess p;
    p.start(kPython, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  }();
  return have;
}

QJsonObject readBack(const QString& path) {
  QProcess p;
  p.start(kPython, {QStringLiteral("-c"), QString::fromUtf8(kReadBack), path});
  EXPECT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

std::string str(const QJsonValue& v) {
  return v.toString().toStdString();
}

std::string joined(const QStringList& cells) {
  return cells.join(QStringLiteral(" | ")).toStdString();
}

QString day(const QDateTime& t) {
  return QStringLiteral("d:%1").arg(QDate(1899, 12, 30).daysTo(t.date()) * 86400000 +
                                    t.time().msecsSinceStartOfDay());
}

QDateTime at(int y, int m, int d, int h = 0, int min = 0, int s = 0, int ms = 0) {
  return QDateTime(QDate(y, m, d), QTime(h, min, s, ms));
}

QStringList entries(const QTemporaryDir& dir) {
  return QDir(dir.path())
      .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot);
}

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

// The operator's text of the error `f` throws, or an empty string.
template <typename F>
QString errorOf(F&& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QString();
}

const std::vector<Column> kOneText = {{QStringLiteral("品號"), ColumnKind::Text}};

TEST(XlsxWriter, EveryKindReadsBackExactly) {
  if (!haveOpenpyxl()) GTEST_SKIP() << "no openpyxl for " << kPython.toStdString();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  const QString wide20 = QString(20, QChar(0x85E5));  // 藥 x 20: 40 bytes in Big5
  const QVariant null;
  const std::vector<Column> columns = {{QStringLiteral("品號"), ColumnKind::Text},
                                       {QStringLiteral("品名"), ColumnKind::Text},
                                       {QStringLiteral("StkQty"), ColumnKind::Whole},
                                       {QStringLiteral("平均成本"), ColumnKind::Float},
                                       {QStringLiteral("停用"), ColumnKind::Boolean},
                                       {QStringLiteral("修改日期"), ColumnKind::DateTime},
                                       {QStringLiteral("建檔日期"), ColumnKind::DateTime, true}};
  const QDateTime leap = at(2024, 2, 29, 13, 5, 9, 997), last = at(9999, 12, 31, 23, 59, 59, 997);
  const std::vector<std::vector<QVariant>> rows = {
      {QStringLiteral("00032971"), QStringLiteral("維他命Ｃ"), qint64(-2147483648),
       0.30000000000000004, true, leap, at(2024, 1, 15)},
      {QString(""), wide20, qint64(9007199254740993), -1e-300, false, at(1899, 12, 30),
       at(1850, 2, 28)},
      {null, QStringLiteral("=1+1"), qint64(1000000000000000), 1.7976931348623157e308, null,
       at(1900, 2, 28), null},
      {QStringLiteral(" 前後空白 "), null, qint64(-999999999999999), 123456789.12345679, true,
       at(1900, 3, 1), at(2024, 3, 1, 8, 30)},
      {QStringLiteral("A"), QString(""), qint64(0), 0.1, false, last, at(1900, 3, 1)},
      {QStringLiteral("_x0041_"), QStringLiteral("第一行\r\n第二行"), null, null, null, null, null},
  };
  // A whole number of more than 15 digits and a date Excel has not come back as text in
  // a canonical form; every float is a number, bit for bit. openpyxl
  // leaves the format's character escapes (last row) as they are; Excel reads them back
  // as "_x0041_" and "第一行\r\n第二行".
  const std::vector<QStringList> expected = {
      {"t:00032971", "t:維他命Ｃ", "n:-2147483648.0", "n:0.30000000000000004", "b:True", day(leap),
       day(at(2024, 1, 15))},
      {"f:=\"\"", "t:" + wide20, "t:9007199254740993", "n:-1e-300", "b:False",
       "t:1899-12-30 00:00:00", "t:1850-02-28 00:00:00"},
      {"", "t:=1+1", "t:1000000000000000", "n:1.7976931348623157e+308", "", "t:1900-02-28 00:00:00",
       ""},
      {"t: 前後空白 ", "", "n:-999999999999999.0", "n:123456789.12345679", "b:True",
       day(at(1900, 3, 1)), day(at(2024, 3, 1, 8, 30))},
      {"t:A", "f:=\"\"", "n:0.0", "n:0.1", "b:False", day(last), day(at(1900, 3, 1))},
      {"t:_x005F_x0041_", "t:第一行_x000D_\n第二行", "", "", "", "", ""},
  };
  {
    SheetWriter writer(path, QStringLiteral("Item"), columns);
    for (const auto& row : rows) writer.addRow(row);
    EXPECT_EQ(writer.rows(), 6);
    writer.commit();
  }
  const QJsonObject book = readBack(path);
  EXPECT_EQ(book["sheets"], QJsonArray{QStringLiteral("Item")});
  EXPECT_EQ(book["frozen"], QStringLiteral("A2"));
  EXPECT_EQ(str(book["header"]),
            "品號 (bold) | 品名 (bold) | StkQty (bold) | 平均成本 (bold) | "
            "停用 (bold) | 修改日期 (bold) | 建檔日期 (bold)");
  const QJsonArray got = book["rows"].toArray();
  ASSERT_EQ(got.size(), qsizetype(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(str(got[r]), joined(expected[r]));

  // The column formats are what cells typed below the data get; values kept as text are
  // formatted as text.
  EXPECT_EQ(str(book["columnFormats"]),
            "@ | @ | 0 | General | General | yyyy/mm/dd hh:mm:ss | yyyy/mm/dd");
  const QJsonArray formats = book["formats"].toArray();
  EXPECT_EQ(str(formats[0]), "@ | @ | 0 | General | General | yyyy/mm/dd hh:mm:ss | yyyy/mm/dd");
  EXPECT_EQ(str(formats[1]), "@ | @ | @ | General | General | @ | @");

  const QJsonArray widths = book["widths"].toArray();
  EXPECT_GE(widths[1].toDouble(), 40);  // 20 wide characters
  EXPECT_GE(widths[3].toDouble(), 10);  // a label of four wide characters
  EXPECT_GE(widths[5].toDouble(), 19);
  EXPECT_LT(widths[0].toDouble(), widths[1].toDouble());
}

TEST(XlsxWriter, SheetNamesAreMadeValidForExcel) {
  EXPECT_EQ(validSheetName(QStringLiteral("Item")), QStringLiteral("Item"));
  EXPECT_EQ(validSheetName(QStringLiteral("a[b]:c*d?e/f\\g")), QStringLiteral("a_b__c_d_e_f_g"));
  EXPECT_EQ(validSheetName(QStringLiteral("'商品'")), QStringLiteral("商品"));
  EXPECT_EQ(validSheetName(QString()), QStringLiteral("Sheet1"));
  EXPECT_EQ(validSheetName(QString(40, u'x')), QString(31, u'x'));
  // A character outside the basic plane is not cut in half.
  const QString emoji = QString(30, u'x') + QString::fromUtf8("\xF0\x9F\x98\x80");
  EXPECT_EQ(validSheetName(emoji), QString(30, u'x'));
}

TEST(XlsxWriter, TheOldFileStaysUntilCommit) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  writeFile(path, "old");
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
  {
    SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    writer.addRow({QStringLiteral("x")});
  }
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(entries(dir), QStringList{QStringLiteral("Item.xlsx")});

  // A spreadsheet program that opened the file meanwhile stops the commit.
  const QString lock = dir.filePath(QStringLiteral(".~lock.Item.xlsx#"));
  {
    SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    writer.addRow({QStringLiteral("x")});
    writeFile(lock, "someone");
    EXPECT_TRUE(errorOf([&] { writer.commit(); }).contains(lock));
    EXPECT_EQ(entries(dir),
              (QStringList{QStringLiteral(".~lock.Item.xlsx#"), QStringLiteral("Item.xlsx")}));
  }
  EXPECT_EQ(contents(path), "old");
  ASSERT_TRUE(QFile::remove(lock));

  {
    SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    writer.addRow({QStringLiteral("x")});
    writer.commit();
  }
  EXPECT_TRUE(contents(path).startsWith("PK"));
  EXPECT_EQ(entries(dir), QStringList{QStringLiteral("Item.xlsx")});
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(XlsxWriter, RefusesWhatItCannotWriteBeforeAnyWork) {
  QTemporaryDir dir;
  const auto refusal = [](const QString& path) {
    return errorOf([&] { SheetWriter writer(path, QStringLiteral("Item"), kOneText); });
  };
  const QString item = dir.filePath(QStringLiteral("Item.xlsx"));
  const QString prefix = QStringLiteral("無法寫入檔案 %1：").arg(item);

  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Item.xlsx")));
  EXPECT_EQ(refusal(item), prefix + QStringLiteral("這是一個資料夾，不是檔案"));
  ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("Item.xlsx")));

  EXPECT_TRUE(refusal(dir.filePath(QStringLiteral("none/Item.xlsx"))).contains(u"不存在"));

  writeFile(dir.filePath(QStringLiteral("~$Item.xlsx")), "excel");
  EXPECT_TRUE(refusal(item).startsWith(prefix + QStringLiteral("檔案正由其他程式開啟")));
  ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("~$Item.xlsx"))));

  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  writeFile(item, "old");
  ASSERT_TRUE(QFile::setPermissions(item, QFile::ReadOwner));
  EXPECT_EQ(refusal(item), prefix + QStringLiteral("檔案是唯讀的"));
  ASSERT_TRUE(QFile::remove(item));

  ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
  EXPECT_EQ(refusal(item), prefix + QStringLiteral("這個資料夾是唯讀的，或沒有寫入的權限"));
  ASSERT_TRUE(
      QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  EXPECT_TRUE(entries(dir).isEmpty());
}

// A write that fails on the way (here: the file size limit, as a full disk would) fails
// the commit and leaves nothing but the old file.
TEST(XlsxWriter, AFailedWriteLeavesTheOldFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  writeFile(path, "old");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64 << 10;
  const QString message = errorOf([&] {
    SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 20000; ++i) writer.addRow({QStringLiteral("%1 維他命Ｃ").arg(i, 40)});
    writer.commit();
  });
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(message.startsWith(QStringLiteral("無法寫入檔案 %1：").arg(path)))
      << message.toStdString();
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(entries(dir), QStringList{QStringLiteral("Item.xlsx")});
}

// The library refuses a text too long for a cell while the rows after it are being made:
// the failure still names the row and column, and leaves nothing but the old file.
TEST(XlsxWriter, ATextTooLongForACellFailsNamingItsRowWhicheverRowsFollow) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  writeFile(path, "old");
  const QString message = errorOf([&] {
    SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    for (int i = 0; i < 5000; ++i)
      writer.addRow({i == 1234 ? QString(32768, u'字') : QStringLiteral("%1").arg(i)});
    writer.commit();
  });
  EXPECT_EQ(message,
            QStringLiteral("無法寫入檔案 %1：第 1236 列「%2」欄的文字超過 Excel 一格所能容納的 "
                           "32,767 個字")
                .arg(path, kOneText.front().header));
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(entries(dir), QStringList{QStringLiteral("Item.xlsx")});
}

// A locale with a decimal comma: an installed one, else one compiled from the system's
// locale sources into `folder` (found there through LOCPATH). Empty when neither works.
QByteArray decimalCommaLocale(const QString& folder) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
    if (locale_t l = ::newlocale(LC_ALL_MASK, name, locale_t(nullptr))) {
      ::freelocale(l);
      return name;
    }
  QProcess make;
  make.start(QStringLiteral("localedef"),
             {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
              QStringLiteral("UTF-8"), folder + QStringLiteral("/de_DE.UTF-8")});
  if (!make.waitForFinished(60000) || make.exitCode() != 0) return {};
  ::setenv("LOCPATH", QFile::encodeName(folder).constData(), 1);
  if (locale_t l = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", locale_t(nullptr))) {
    ::freelocale(l);
    return "de_DE.UTF-8";
  }
  return {};
}

// The program runs in the operator's locale; one with a decimal comma must not reach the
// numbers in the file, whichever thread the library's calls run on.
// The sheet's own XML: a float whose 16 digits do not give it back is a plain number
// cell (no text of any kind) holding the digits that do. A whole number of more than
// 15 digits stays text: Calc would save it rounded.
TEST(XlsxWriter, FloatsAreNumberCellsWithTheDigitsThatGiveThemBack) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  {
    SheetWriter writer(path, QStringLiteral("Item"),
                       {{QStringLiteral("AvgCost"), ColumnKind::Float},
                        {QStringLiteral("StkQty"), ColumnKind::Whole}});
    writer.addRow({1123.6979999999999, qint64(-999999999999999)});
    writer.addRow({715.7238000000001, qint64(1234567890123456)});
    writer.addRow({0.1, qint64(0)});
    writer.commit();
  }
  const Package package(path);
  const zip_int64_t sheet = package.locate(QStringLiteral("xl/worksheets/sheet1.xml"));
  ASSERT_GE(sheet, 0);
  QStringList cells;
  package.readPart(sheet, QStringLiteral("sheet1"), [&](QXmlStreamReader& xml) {
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"c") continue;
      const QString ref = xml.attributes().value(QLatin1String("r")).toString();
      const QString type = xml.attributes().value(QLatin1String("t")).toString();
      if (ref == u"A1" || ref == u"B1") continue;  // the header
      QString value;
      while (xml.readNextStartElement())
        value += xml.readElementText(QXmlStreamReader::IncludeChildElements);
      cells << ref + (type.isEmpty() ? QString() : u'(' + type + u')') + u'=' + value;
    }
  });
  EXPECT_EQ(cells.join(u' '),
            "A2=1123.6979999999999 B2=-999999999999999 A3=715.7238000000001 "
            "B3(inlineStr)=1234567890123456 A4=0.1 B4=0");
}

TEST(XlsxWriter, NumbersIgnoreTheLocale) {
  if (!haveOpenpyxl()) GTEST_SKIP() << "no openpyxl for " << kPython.toStdString();
  QTemporaryDir locales;
  const QByteArray comma = decimalCommaLocale(locales.path());
  if (comma.isEmpty()) GTEST_SKIP() << "no locale with a decimal comma, nor localedef to make one";
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  const QByteArray previous = ::setlocale(LC_ALL, nullptr);
  ASSERT_TRUE(::setlocale(LC_ALL, comma.constData()));
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.1f", 1.5);
  EXPECT_STREQ(printed, "1,5") << "the locale in force";
  {
    SheetWriter writer(path, QStringLiteral("Item"),
                       {{QStringLiteral("Price"), ColumnKind::Float},
                        {QStringLiteral("MTDate"), ColumnKind::DateTime}});
    writer.addRow({1.5, at(2024, 2, 29, 12)});
    writer.addRow({2.25, at(2024, 3, 1, 6)});
    writer.commit();
  }
  ::setlocale(LC_ALL, previous.constData());
  ::unsetenv("LOCPATH");
  EXPECT_EQ(readBack(path)["rows"],
            (QJsonArray{QStringLiteral("n:1.5 | ") + day(at(2024, 2, 29, 12)),
                        QStringLiteral("n:2.25 | ") + day(at(2024, 3, 1, 6))}));
}

}  // namespace
}  // namespace xlsx
