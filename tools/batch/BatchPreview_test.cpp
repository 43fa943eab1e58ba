// "dataconv-batch import --dry-run" as an operator runs it: the real executable over a
// demo POS (SQLite) and a program folder of its own, with Access files the export
// makes.
#include "BatchTestSupport.h"
#include "DemoPos.h"

#include <config/ColumnMap.h>
#include <import/DmMdb.h>
#include <platform/ErrorText.h>

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {

namespace test = batch::test;

using test::Outcome;

class BatchPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid() && other_.isValid());
    pos_ = other_.filePath(QStringLiteral("pos.sqlite"));
    demopos::Options o;
    o.path = pos_;
    o.items = 30;
    o.today = QDate(2026, 1, 1);
    demopos::generate(o);
    enable({"Classify", "Item", "Supplier", "Customer"});
  }

  void enable(const QStringList& tables, const QString& mssql = QString()) {
    test::writeConfig(
        folder_.path(),
        mssql.isEmpty() ? QStringLiteral("Provider=SQLite\r\nDatabase=") + pos_ : mssql, tables);
  }

  QString path(const QString& name) const { return folder_.filePath(name); }

  Outcome run(QStringList arguments) {
    arguments << QStringLiteral("--folder") << folder_.path();
    return test::runBatch(arguments);
  }

  // One statement against the POS file; returns the first column of the first row.
  QString sql(const QString& statement) { return test::posSql(pos_, statement); }

  // Every file and folder of the program folder with a hash of its bytes, and the POS
  // file's.
  QStringList state() const {
    QStringList entries;
    QDirIterator it(folder_.path(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString file = it.next();
      entries << file + u' ' + hash(file);
    }
    entries.sort();
    return entries << hash(pos_);
  }
  static QString hash(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("-");
    return QString::fromLatin1(
        QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex());
  }

  QString clsNo() { return sql("select ClsNo from Classify order by ClsNo"); }

  QTemporaryDir folder_;
  QTemporaryDir other_;  // the POS and the changes files, outside the program folder
  QString pos_;
};

TEST_F(BatchPreviewTest, ReportsEachTableAndListsTheChangesWritingNothing) {
  ASSERT_EQ(run({"export"}).status, 0);
  const int classify = sql("select count(*) from Classify").toInt();
  const int items = sql("select count(*) from Item").toInt();
  const int suppliers = sql("select count(*) from Supplier").toInt();
  const int customers = sql("select count(*) from Customer").toInt();
  const QString no = clsNo();
  const QString name =
      sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(no));
  const QString factNo = sql("select FactNo from Supplier order by FactNo");
  const int factColumns = sql("select count(*) from pragma_table_info('Supplier')").toInt();
  sql(QStringLiteral(
          "update Classify set ClsName = 'a,\"b\"' || char(10) || 'c' where ClsNo = '%1'")
          .arg(no));
  sql(QStringLiteral("delete from Supplier where FactNo = '%1'").arg(factNo));

  const QStringList before = state();
  const QString changes = other_.filePath("changes.csv");
  const Outcome o = run({"import", "--dry-run", "--changes", changes});
  EXPECT_EQ(o.status, 0) << o.err.toStdString();
  EXPECT_EQ(o.out.toStdString(),
            QStringLiteral("匯入預覽：\n"
                           "Classify：Access 列數 %1，新增 0，變更 1，不變 %2，失敗 0\n"
                           "Item：Access 列數 %3，新增 0，變更 0，不變 %3，失敗 0\n"
                           "Supplier：Access 列數 %4，新增 1，變更 0，不變 %5，失敗 0\n"
                           "Customer：Access 列數 %6，新增 0，變更 0，不變 %6，失敗 0\n")
                .arg(classify)
                .arg(classify - 1)
                .arg(items)
                .arg(suppliers)
                .arg(suppliers - 1)
                .arg(customers)
                .toStdString());
  // Progress as the import shows it: one line per table when not on a terminal.
  const QStringList progress = o.err.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(progress.size(), 4) << o.err.toStdString();
  EXPECT_TRUE(progress[1].startsWith(QStringLiteral("商品資料 Item  %1 列，費時 ").arg(items)));
  EXPECT_EQ(state(), before);  // nor a journal, nor any file of the folder, nor the POS

  QFile file(changes);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray raw = file.readAll();
  EXPECT_TRUE(raw.startsWith("\xEF\xBB\xBF"));
  const QString csv = QString::fromUtf8(raw.mid(3));
  EXPECT_TRUE(
      csv.startsWith(QStringLiteral("table,key,column,heading,pos_value,access_value\r\n")));
  // With the heading the column map file gives the column.
  EXPECT_TRUE(csv.contains(
      QStringLiteral("\r\nClassify,%1,ClsName,小分類名稱,\"a,\"\"b\"\"\nc\",%2\r\n").arg(no, name)))
      << csv.toStdString();
  EXPECT_TRUE(csv.contains(QStringLiteral("\r\nSupplier,%1,FactNo,廠商代號,,%1\r\n").arg(factNo)));
  // The new supplier's columns, the changed classification's one, the header.
  EXPECT_LE(csv.count(QStringLiteral("\r\nSupplier,")), factColumns);
  EXPECT_GT(csv.count(QStringLiteral("\r\nSupplier,")), 1);
  EXPECT_EQ(csv.count(QStringLiteral("\r\nClassify,")), 1);
  EXPECT_EQ(csv.count(QStringLiteral("\r\nItem,")), 0);

  // The import then does what the preview said.
  const Outcome i = run({"import"});
  EXPECT_EQ(i.status, 0) << i.err.toStdString();
  EXPECT_EQ(sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(no)), name);
  EXPECT_EQ(sql("select count(*) from Supplier").toInt(), suppliers);
  const Outcome again = run({"import", "--dry-run", "--tables", "Classify,Supplier"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out.toStdString(),
            QStringLiteral("匯入預覽：\n"
                           "Classify：Access 列數 %1，新增 0，變更 0，不變 %1，失敗 0\n"
                           "Supplier：Access 列數 %2，新增 0，變更 0，不變 %2，失敗 0\n")
                .arg(classify)
                .arg(suppliers)
                .toStdString());

  // Workbooks are counted as such.
  ASSERT_EQ(run({"export", "--format", "xlsx", "--tables", "Classify"}).status, 0);
  const Outcome workbook = run({"import", "--dry-run", "--format", "xlsx", "--tables", "Classify"});
  EXPECT_EQ(workbook.status, 0);
  EXPECT_EQ(workbook.out.toStdString(),
            QStringLiteral("匯入預覽：\nClassify：Excel 列數 %1，新增 0，變更 0，不變 %1，失敗 0\n")
                .arg(classify)
                .toStdString());
}

TEST_F(BatchPreviewTest, FailingRowsAndUnreadableTablesAreAllListedWithStatusOne) {
  ASSERT_EQ(run({"export", "--tables", "Classify,Item,Customer"}).status, 0);
  // Classify's map names a column the POS does not have, Customer's Height (a number)
  // reads a text column, Supplier has no Access file.
  const auto edit = [this](const QString& map, const QByteArray& from, const QByteArray& to) {
    QFile f(path(map));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray text = f.readAll();
    ASSERT_TRUE(text.contains(from)) << text.toStdString();
    text.replace(from, to);
    f.resize(0);
    f.seek(0);
    f.write(text);
  };
  edit("Classify.ini", "Name02=ClsName", "Name02=ClsTitle");
  const int customers = sql("select count(*) from Customer").toInt();
  ASSERT_GT(customers, 1);
  {
    // Height (a number) reads the Access column of Name.
    const config::ColumnMap old = config::ColumnMap::read(path("Customer.ini"));
    QString nameLabel;
    for (const config::ColumnPair& p : old.pairs())
      if (p.field == "Name") nameLabel = p.display;
    ASSERT_FALSE(nameLabel.isEmpty());
    config::ColumnMap map;
    map.setKey(old.keyField(), old.keyDisplay());
    for (const config::ColumnPair& p : old.pairs())
      map.addPair(p.field, p.field == "Height" ? nameLabel : p.display);
    map.write(path("Customer.ini"));
  }
  const QStringList before = state();
  const Outcome o = run({"import", "--dry-run", "--tables", "Classify,Supplier,Customer"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(state(), before);
  const QStringList lines = o.out.split(u'\n', Qt::SkipEmptyParts);
  const int classify = sql("select count(*) from Classify").toInt();
  ASSERT_EQ(lines.size(), 4 + classify + customers) << o.out.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("匯入預覽："));
  EXPECT_EQ(
      lines[1],
      QStringLiteral("Classify：Access 列數 %1，新增 0，變更 0，不變 0，失敗 %1").arg(classify));
  // The text the window's error box shows for the missing file, on both outputs.
  QString missing;
  try {
    dataimport::TDmAccess access;
    access.openTable(path("Supplier.mdb"), "SELECT * FROM Supplier");
  } catch (...) {
    missing = platform::withFullStop(platform::errorText(std::current_exception()));
  }
  ASSERT_FALSE(missing.isEmpty());
  EXPECT_EQ(lines[2], QStringLiteral("Supplier：無法讀取：") + missing);
  EXPECT_TRUE(o.err.contains(missing + "\n")) << o.err.toStdString();
  EXPECT_EQ(
      lines[3],
      QStringLiteral("Customer：Access 列數 %1，新增 0，變更 0，不變 0，失敗 %1").arg(customers));
  for (int r = 1; r <= classify; ++r) {
    EXPECT_TRUE(lines[3 + r].startsWith(QStringLiteral("Classify 第 %1 列：").arg(r)));
    EXPECT_TRUE(lines[3 + r].contains("ClsTitle")) << lines[3 + r].toStdString();
  }
  for (int r = 1; r <= customers; ++r) {
    const QString& line = lines[3 + classify + r];
    EXPECT_TRUE(line.startsWith(QStringLiteral("Customer 第 %1 列：").arg(r)))
        << line.toStdString();
    EXPECT_TRUE(line.endsWith("不是數字：這個欄位只能填數字（例如 12.5）.")) << line.toStdString();
  }
}

TEST_F(BatchPreviewTest, UnreachablePosFailsAndWritesNoChangesFile) {
  enable({"Classify"},
         "Provider=SQLOLEDB.1\r\nHost=127.0.0.1,1\r\nDatabase=KAROS\r\nUser=sa\r\nPassword=x");
  const QString changes = other_.filePath("changes.csv");
  const Outcome o = run({"import", "--dry-run", "--changes", changes});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.out.isEmpty());
  EXPECT_FALSE(o.err.trimmed().isEmpty());
  EXPECT_FALSE(o.err.startsWith("dataconv-batch："));
  EXPECT_FALSE(QFile::exists(changes));
}

// A row the file no longer holds is named after the report: the import leaves it in the
// POS, which the operator who deleted it may not expect.
TEST_F(BatchPreviewTest, RowsTheFileNoLongerHoldsAreCountedAndNamed) {
  enable({"Customer"});
  ASSERT_EQ(run({"export"}).status, 0);
  // Rows the POS gained since the export are rows the file lacks.
  for (const char* key : {"Z0000901", "Z0000902"}) {
    sql("create table t as select * from Customer limit 1");
    sql(QStringLiteral("update t set CustNo = '%1'").arg(QLatin1String(key)));
    sql("insert into Customer select * from t");
    sql("drop table t");
  }
  const Outcome o = run({"import", "--dry-run"});
  EXPECT_EQ(o.status, 0) << o.err.toStdString();
  EXPECT_TRUE(o.out.endsWith(
      "\nCustomer.mdb：檔案中少了 2 列：Z0000901、Z0000902；匯入不會刪除 POS 的資料。\n"))
      << o.out.toStdString();
  // Nothing is said when the file holds every row.
  sql("delete from Customer where CustNo in ('Z0000901', 'Z0000902')");
  const Outcome again = run({"import", "--dry-run"});
  EXPECT_FALSE(again.out.contains("檔案中少了")) << again.out.toStdString();
}

TEST_F(BatchPreviewTest, BadUsageExitsWithTwoBeforeAnythingRuns) {
  const QStringList before = state();
  const QString unwritable = other_.filePath("missing/changes.csv");
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{"import", "--changes", other_.filePath("c.csv")},
       "--changes 要與 import --dry-run 一起使用"},
      {{"export", "--dry-run"}, "--dry-run 只能用在 import 與 undo"},
      {{"import", "--dry-run", "--changes="}, "--changes 後面要接一個值"},
      {{"import", "--dry-run", "--changes", unwritable}, "無法寫入變更清單 " + unwritable + "："},
  };
  for (const auto& [arguments, message] : cases) {
    const std::string what = arguments.join(' ').toStdString();
    const Outcome o = run(arguments);
    EXPECT_EQ(o.status, 2) << what;
    EXPECT_TRUE(o.err.startsWith("dataconv-batch：" + message))
        << what << ": " << o.err.toStdString();
    EXPECT_TRUE(o.out.isEmpty()) << what;
  }
  EXPECT_EQ(state(), before);
  EXPECT_FALSE(QFile::exists(other_.filePath("c.csv")));
}

}  // namespace
