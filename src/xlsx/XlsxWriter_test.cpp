#include "xlsx/XlsxWriter.h"

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
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace xlsx {
namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// openpyxl's reading of the first worksheet: each cell as null, ["text", s],
// ["formula", f], ["bool", b], ["number", float.hex()] or ["date", milliseconds since
// 1899-12-30], with the formats, widths, header and panes.
const char* const kReadBack = R"(
import sys, json, datetime, openpyxl
from openpyxl.utils import get_column_letter
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
def cell(c):
    v = c.value
    if v is None: return None
    if c.data_type == 'f': return ['formula', v]
    if isinstance(v, bool): return ['bool', v]
    if isinstance(v, (int, float)): return ['number', float(v).hex()]
    if isinstance(v, datetime.datetime):
        d = v - datetime.datetime(1899, 12, 30)
        return ['date', (d.days * 86400 + d.seconds) * 1000 + (d.microseconds + 500) // 1000]
    return ['text', v]
letters = [get_column_letter(i) for i in range(1, ws.max_column + 1)]
print(json.dumps({
    'sheets': wb.sheetnames, 'frozen': ws.freeze_panes,
    'header': [[c.value, bool(c.font.b)] for c in ws[1]],
    'rows': [[cell(c) for c in r] for r in ws.iter_rows(min_row=2)],
    'cellFormats': [[c.number_format for c in r] for r in ws.iter_rows(min_row=2)],
    'columnFormats': [ws.column_dimensions[l].number_format for l in letters],
    'widths': [ws.column_dimensions[l].width for l in letters]}))
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

QJsonValue text(const QString& s) {
  return QJsonArray{QStringLiteral("text"), s};
}
QJsonValue number(double x) {
  return QJsonArray{QStringLiteral("number"), x};  // compared bit for bit below
}
QJsonValue boolean(bool b) {
  return QJsonArray{QStringLiteral("bool"), b};
}
QJsonValue date(const QDateTime& t) {
  return QJsonArray{QStringLiteral("date"), QDate(1899, 12, 30).daysTo(t.date()) * 86400000 +
                                                t.time().msecsSinceStartOfDay()};
}
const QJsonValue kEmptyText = QJsonArray{QStringLiteral("formula"), QStringLiteral("=\"\"")};

void expectCell(const QJsonValue& got, const QJsonValue& want, int row, int col) {
  SCOPED_TRACE(testing::Message() << "row " << row << ", column " << col);
  const QJsonArray g = got.toArray(), w = want.toArray();
  if (w.isEmpty() || w[0] != QStringLiteral("number")) {
    EXPECT_EQ(got, want) << QJsonDocument(QJsonArray{got}).toJson(QJsonDocument::Compact).data();
    return;
  }
  ASSERT_EQ(g.size(), 2);
  ASSERT_EQ(g[0], QStringLiteral("number"));
  const double back = std::strtod(g[1].toString().toLatin1().constData(), nullptr);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(w[1].toDouble()))
      << g[1].toString().toStdString();
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
  const std::vector<std::vector<QVariant>> rows = {
      {QStringLiteral("00032971"), QStringLiteral("維他命Ｃ"), qint64(-2147483648),
       0.30000000000000004, true, at(2024, 2, 29, 13, 5, 9, 997), at(2024, 1, 15)},
      {QString(""), wide20, qint64(9007199254740993), -1e-300, false, at(1899, 12, 30),
       at(1850, 2, 28)},
      {null, QStringLiteral("=1+1"), qint64(9007199254740992), 1.7976931348623157e308, null,
       at(1900, 2, 28), null},
      {QStringLiteral(" 前後空白 "), null, null, 123456789.12345679, true, at(1900, 3, 1),
       at(2024, 3, 1, 8, 30)},
      {QStringLiteral("A"), QString(""), qint64(0), 0.1, false, at(9999, 12, 31, 23, 59, 59, 997),
       at(1900, 3, 1)},
      {QStringLiteral("_x0041_"), QStringLiteral("第一行\r\n第二行"), null, null, null, null, null},
  };
  // What cannot stay a number or a date comes back as text in a canonical form.
  const std::vector<std::vector<QJsonValue>> expected = {
      {text("00032971"), text("維他命Ｃ"), number(-2147483648.0), text("0.30000000000000004"),
       boolean(true), date(rows[0][5].toDateTime()), date(at(2024, 1, 15))},
      {kEmptyText, text(wide20), text("9007199254740993"), number(-1e-300), boolean(false),
       text("1899-12-30 00:00:00"), text("1850-02-28 00:00:00")},
      {QJsonValue(), text("=1+1"), number(9007199254740992.0), text("1.7976931348623157e+308"),
       QJsonValue(), text("1900-02-28 00:00:00"), QJsonValue()},
      {text(" 前後空白 "), QJsonValue(), QJsonValue(), text("123456789.12345679"), boolean(true),
       date(at(1900, 3, 1)), date(at(2024, 3, 1, 8, 30))},
      {text("A"), kEmptyText, number(0), number(0.1), boolean(false),
       date(at(9999, 12, 31, 23, 59, 59, 997)), date(at(1900, 3, 1))},
      // openpyxl leaves the format's character escapes as they are; Excel reads these as
      // "_x0041_" and "第一行\r\n第二行".
      {text("_x005F_x0041_"), text("第一行_x000D_\n第二行"), QJsonValue(), QJsonValue(),
       QJsonValue(), QJsonValue(), QJsonValue()},
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
  const QJsonArray header = book["header"].toArray();
  ASSERT_EQ(header.size(), qsizetype(columns.size()));
  for (size_t c = 0; c < columns.size(); ++c)
    EXPECT_EQ(header[c], (QJsonArray{columns[c].header, true}));

  const QJsonArray got = book["rows"].toArray();
  ASSERT_EQ(got.size(), qsizetype(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    const QJsonArray cells = got[r].toArray();
    ASSERT_EQ(cells.size(), qsizetype(columns.size()));
    for (size_t c = 0; c < columns.size(); ++c) expectCell(cells[c], expected[r][c], r, c);
  }

  // The column formats are what cells typed below the data get.
  EXPECT_EQ(book["columnFormats"],
            (QJsonArray{"@", "@", "0", "General", "General", "yyyy/mm/dd hh:mm:ss", "yyyy/mm/dd"}));
  const QJsonArray formats = book["cellFormats"].toArray();
  EXPECT_EQ(formats[0].toArray()[0], QStringLiteral("@"));
  EXPECT_EQ(formats[1].toArray()[0], QStringLiteral("@"));  // the empty text
  EXPECT_EQ(formats[0].toArray()[3], QStringLiteral("@"));  // a double kept as text
  EXPECT_EQ(formats[1].toArray()[5], QStringLiteral("@"));  // a date kept as text
  EXPECT_EQ(formats[0].toArray()[5], QStringLiteral("yyyy/mm/dd hh:mm:ss"));

  const QJsonArray widths = book["widths"].toArray();
  EXPECT_GE(widths[1].toDouble(), 40);  // 20 wide characters
  EXPECT_GE(widths[5].toDouble(), 19);
  EXPECT_GE(widths[3].toDouble(), 10);  // four wide characters of label, bold
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
    EXPECT_THROW(writer.commit(), platform::Error);
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
  const auto refusal = [&](const QString& path) -> QString {
    try {
      SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    } catch (const platform::Error& e) {
      return e.message();
    }
    return QString();
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
  QString message;
  {
    SheetWriter writer(path, QStringLiteral("Item"), kOneText);
    rlimit small = saved;
    small.rlim_cur = 64 << 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 20000; ++i) writer.addRow({QStringLiteral("%1 維他命Ｃ").arg(i, 40)});
    try {
      writer.commit();
    } catch (const platform::Error& e) {
      message = e.message();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
  }
  ::signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(message.startsWith(QStringLiteral("無法寫入檔案 %1：").arg(path)))
      << message.toStdString();
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(entries(dir), QStringList{QStringLiteral("Item.xlsx")});
}

// The program runs in the operator's locale; one with a decimal comma must not reach the
// numbers in the file.
TEST(XlsxWriter, NumbersIgnoreTheLocale) {
  if (!haveOpenpyxl()) GTEST_SKIP() << "no openpyxl for " << kPython.toStdString();
  locale_t comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
    if ((comma = ::newlocale(LC_ALL_MASK, name, locale_t(nullptr)))) break;
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Item.xlsx"));
  const locale_t previous = ::uselocale(comma);
  {
    SheetWriter writer(path, QStringLiteral("Item"),
                       {{QStringLiteral("Price"), ColumnKind::Float},
                        {QStringLiteral("MTDate"), ColumnKind::DateTime}});
    writer.addRow({1.5, at(2024, 2, 29, 12)});
    writer.addRow({2.25, at(2024, 3, 1, 6)});
    writer.commit();
  }
  ::uselocale(previous);
  ::freelocale(comma);
  const QJsonArray rows = readBack(path)["rows"].toArray();
  ASSERT_EQ(rows.size(), 2);
  expectCell(rows[0].toArray()[0], number(1.5), 0, 0);
  expectCell(rows[0].toArray()[1], date(at(2024, 2, 29, 12)), 0, 1);
  expectCell(rows[1].toArray()[0], number(2.25), 1, 0);
}

}  // namespace
}  // namespace xlsx
