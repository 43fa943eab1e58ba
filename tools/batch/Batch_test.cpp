// The batch command as an operator or cron runs it: the real executable over a demo
// POS (SQLite) and a program folder of its own, with Access files the export makes.
#include "BatchTestSupport.h"
#include "ConsoleText.h"
#include "DemoPos.h"
#include "TdsPos.h"

#include <config/ColumnMap.h>
#include <import/DmMdb.h>
#include <import/ImportDriver.h>
#include <import/ImportJournal.h>
#include <platform/ErrorText.h>
#include <platform/ProgramFolder.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

namespace {

namespace test = batch::test;

using test::Outcome;

const QString kExportAll = QStringLiteral(
    "匯出狀態：\n匯出分類資料完成。\n匯出商品資料完成。\n匯出廠商資料完成。\n匯出客戶資料完成。\n");

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid() && posDir_.isValid());
    pos_ = posDir_.filePath(QStringLiteral("pos.sqlite"));
    demopos::Options o;
    o.path = pos_;
    o.items = 40;
    o.today = QDate(2026, 1, 1);
    demopos::generate(o);
    writeConfig(QStringLiteral("Provider=SQLite\r\nDatabase=") + pos_, {});
  }
  void TearDown() override {
    for (const QString& dir : {folder_.path(), path("journal")})
      QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  // Section MSSQL as given, section "Export Import" switching on `tables`.
  void writeConfig(const QString& mssql, const QStringList& tables) {
    test::writeConfig(folder_.path(), mssql, tables);
  }
  void enable(const QStringList& tables) {
    writeConfig(QStringLiteral("Provider=SQLite\r\nDatabase=") + pos_, tables);
  }

  QString path(const QString& name) const { return folder_.path() + u'/' + name; }

  Outcome run(QStringList arguments, bool withFolder = true) {
    if (withFolder) arguments << QStringLiteral("--folder") << folder_.path();
    return test::runBatch(arguments);
  }

  // One statement against the POS file; returns the first column of the first row.
  QString sql(const QString& statement) { return test::posSql(pos_, statement); }

  QStringList files() const { return QDir(folder_.path()).entryList(QDir::Files, QDir::Name); }

  QTemporaryDir folder_;
  QTemporaryDir posDir_;
  QString pos_;
};

TEST_F(BatchTest, HelpShowsTheUsageAndSucceeds) {
  const Outcome o = run({QStringLiteral("--help")}, false);
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(o.out.startsWith("用法：dataconv-batch export|import [--format mdb|xlsx] [--folder"));
  EXPECT_TRUE(o.out.contains("結束代碼：0 成功；1 有資料表失敗"));
  EXPECT_TRUE(o.err.isEmpty());
  // Every line fits a terminal of 80 columns.
  for (const QString& line : o.out.split(u'\n'))
    EXPECT_LE(batch::displayWidth(line), 80) << line.toStdString();
}

TEST_F(BatchTest, BadUsageExitsWithTwoAndTouchesNothing) {
  enable({"Classify"});
  const QStringList before = files();
  const std::vector<std::pair<QStringList, QString>> cases = {
      {{}, "沒有指定指令（export、import、undo 或 journals）"},
      {{"convert"}, "不認得的指令「convert」"},
      {{"export", "import"}, "多出來的參數「import」"},
      {{"export", "--verbose"}, "不認得的選項「--verbose」"},
      {{"export", "--tables", "Classify,Stock"}, "沒有資料表「Stock」"},
      {{"export", "--tables", ","}, "--tables 沒有指定任何資料表"},
      {{"export", "--tables"}, "--tables 後面要接一個值"},
      {{"export", "--folder", folder_.path() + "/missing"}, "找不到資料夾"},
      {{"undo"}, "undo 後面要接要取回的匯入記錄"},
      {{"undo", "a.sqlite", "b.sqlite"}, "多出來的參數「b.sqlite」"},
      {{"export", "--dry-run"}, "--dry-run 只能用在 import 與 undo"},
      {{"journals", "--dry-run"}, "--dry-run 只能用在 import 與 undo"},
      {{"undo", "a.sqlite", "--changes", "x.csv"}, "--changes 要與 import --dry-run 一起使用"},
      {{"journals", "--tables", "Item"}, "--tables 不能用在這個指令"},
      {{"export", "--format", "xls"}, "--format 只能是 mdb 或 xlsx，不是「xls」"},
      {{"undo", "a.sqlite", "--format", "xlsx"}, "--format 不能用在這個指令"},
      {{"import", "--include-uncertain"}, "--include-uncertain 只能用在 undo"},
      {{"export", "--ignore-lock"}, "--ignore-lock 只能用在 import"},
      {{"import", "--replace"}, "--replace 與 --append 只能用在 export"},
  };
  for (const auto& [arguments, message] : cases) {
    // The folder given last would hide a missing one given before it.
    const bool withFolder = !arguments.contains("--folder") && !arguments.endsWith("--tables");
    const Outcome o = run(arguments, withFolder);
    const std::string what = arguments.join(' ').toStdString();
    EXPECT_EQ(o.status, 2) << what;
    EXPECT_TRUE(o.err.startsWith("dataconv-batch：")) << what;
    EXPECT_TRUE(o.err.contains(message)) << what << ": " << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("請執行「dataconv-batch --help」查看用法。")) << what;
    EXPECT_TRUE(o.out.isEmpty()) << what;
  }
  EXPECT_EQ(files(), before);
}

TEST_F(BatchTest, ExportPrintsTheWindowsReportAndOneProgressLinePerTable) {
  enable({"Classify", "Item", "Supplier", "Customer"});
  const Outcome o = run({QStringLiteral("export")});
  EXPECT_EQ(o.status, 0) << o.err.toStdString();
  EXPECT_EQ(o.out, kExportAll);
  const QStringList lines = o.err.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4) << o.err.toStdString();
  const int classify = sql("select count(*) from Classify").toInt();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("分類資料 Classify  %1 列，費時 ").arg(classify)))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith("商品資料 Item  40 列，費時 "));
  EXPECT_TRUE(lines[2].startsWith("廠商資料 Supplier  "));
  EXPECT_TRUE(lines[3].startsWith("會員資料 Customer  "));
  EXPECT_FALSE(o.err.contains(u'\r'));  // not a terminal: no line rewritten in place
  for (const char* t : {"Classify", "Item", "Supplier", "Customer"}) {
    EXPECT_TRUE(QFile::exists(path(QLatin1String(t) + ".mdb"))) << t;
    EXPECT_TRUE(QFile::exists(path(QLatin1String(t) + ".ini"))) << t;
  }
}

// Exported files hold members' ID numbers and phone numbers: new ones are their owner's
// alone, in both formats; a file that exists keeps the mode it was given.
TEST_F(BatchTest, ExportedFilesAreCreatedReadableByTheirOwnerOnly) {
  enable({"Customer"});
  const auto mode = [this](const QString& name) { return QFile::permissions(path(name)) & 0x0777; };
  const auto ownerOnly = QFile::ReadUser | QFile::WriteUser;
  ASSERT_EQ(run({"export"}).status, 0);
  EXPECT_EQ(mode("Customer.mdb"), ownerOnly);
  EXPECT_EQ(mode("Customer.ini"), ownerOnly);
  ASSERT_EQ(run({"export", "--format", "xlsx"}).status, 0);
  EXPECT_EQ(mode("Customer.xlsx"), ownerOnly);
  const auto shared = ownerOnly | QFile::ReadGroup | QFile::ReadOther;
  ASSERT_TRUE(QFile::setPermissions(path("Customer.xlsx"), QFileDevice::Permissions(shared)));
  ASSERT_TRUE(QFile::setPermissions(path("Customer.ini"), QFileDevice::Permissions(shared)));
  ASSERT_EQ(run({"export", "--format", "xlsx"}).status, 0);
  EXPECT_EQ(mode("Customer.xlsx"), shared);
  EXPECT_EQ(mode("Customer.ini"), shared);
}

// A file still open in Excel, LibreOffice or Access may lack the operator's last edits:
// its table is left out, saying why, unless --ignore-lock takes the file as saved.
TEST_F(BatchTest, AFileOpenInAnotherProgramIsLeftOutUnlessTheLockIsIgnored) {
  enable({"Customer"});
  const QString custNo = sql("select CustNo from Customer order by CustNo");
  const struct {
    const char* format;
    const char* lock;
  } cases[] = {
      {"mdb", "Customer.ldb"}, {"xlsx", ".~lock.Customer.xlsx#"}, {"xlsx", "~$Customer.xlsx"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lock);
    ASSERT_EQ(run({"export", "--format", c.format}).status, 0);
    QFile lock(path(c.lock));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    sql(QStringLiteral("update Customer set Name = 'changed' where CustNo = '%1'").arg(custNo));
    const Outcome held = run({"import", "--format", c.format});
    EXPECT_EQ(held.status, 1);
    EXPECT_TRUE(held.err.contains(QStringLiteral("正由 ")) && held.err.contains(c.lock))
        << held.err.toStdString();
    EXPECT_TRUE(held.out.contains(QStringLiteral("會員資料沒有匯入：檔案正由其他程式開啟。")))
        << held.out.toStdString();
    EXPECT_EQ(sql(QStringLiteral("select Name from Customer where CustNo = '%1'").arg(custNo)),
              "changed");
    const Outcome ignored = run({"import", "--format", c.format, "--ignore-lock"});
    EXPECT_EQ(ignored.status, 0) << ignored.err.toStdString();
    EXPECT_NE(sql(QStringLiteral("select Name from Customer where CustNo = '%1'").arg(custNo)),
              "changed");
    QFile::remove(path(c.lock));
    QFile::remove(path("Customer.mdb"));
  }
}

// Exported again: the rows the Access table holds are appended to by default, as
// scripts expect, or replaced with --replace; the command says which it did.
TEST_F(BatchTest, ExportAgainAppendsByDefaultOrReplacesAndSaysWhichItDid) {
  enable({"Supplier"});
  const int rows = sql("select count(*) from Supplier").toInt();
  ASSERT_EQ(run({"export"}).status, 0);
  const Outcome appended = run({"export", "--append"});
  EXPECT_EQ(appended.status, 0);
  EXPECT_TRUE(
      appended.out.endsWith(QStringLiteral("Supplier.mdb：附加在原有的 %1 列之後\n").arg(rows)))
      << appended.out.toStdString();
  const Outcome replaced = run({"export", "--replace"});
  EXPECT_EQ(replaced.status, 0);
  EXPECT_TRUE(
      replaced.out.endsWith(QStringLiteral("Supplier.mdb：取代原有的 %1 列\n").arg(2 * rows)))
      << replaced.out.toStdString();
  const Outcome again = run({"export"});
  EXPECT_TRUE(again.out.endsWith(QStringLiteral("附加在原有的 %1 列之後\n").arg(rows)))
      << again.out.toStdString();
}

TEST_F(BatchTest, TablesOptionRunsTheNamedTablesInListOrderWhateverConfigSays) {
  enable({"Supplier"});
  const Outcome o = run({"export", "--tables", "item,Classify,Item"});
  EXPECT_EQ(o.status, 0) << o.err.toStdString();
  EXPECT_EQ(o.out, "匯出狀態：\n匯出分類資料完成。\n匯出商品資料完成。\n");
  EXPECT_TRUE(QFile::exists(path("Item.mdb")));
  EXPECT_FALSE(QFile::exists(path("Supplier.mdb")));
  EXPECT_FALSE(QFile::exists(path("Supplier.ini")));
}

TEST_F(BatchTest, NoTableSwitchedOnReportsTheTitleAlone) {
  enable({});
  const Outcome e = run({"export"});
  EXPECT_EQ(e.status, 0);
  EXPECT_EQ(e.out, "匯出狀態：\n");
  const Outcome i = run({"import"});
  EXPECT_EQ(i.status, 0);
  EXPECT_EQ(i.out, "匯入狀態：\n");
  EXPECT_EQ(files(), QStringList{"Config.ini"});
}

TEST_F(BatchTest, ExportThenImportBringsThePosRowsBack) {
  enable({"Classify", "Supplier"});
  const QString clsNo = sql("select ClsNo from Classify order by ClsNo");
  const QString clsName = sql("select ClsName from Classify order by ClsNo");
  const QString factNo = sql("select FactNo from Supplier order by FactNo");
  const int suppliers = sql("select count(*) from Supplier").toInt();
  ASSERT_EQ(run({"export"}).status, 0);

  sql(QStringLiteral("update Classify set ClsName = 'changed' where ClsNo = '%1'").arg(clsNo));
  sql(QStringLiteral("delete from Supplier where FactNo = '%1'").arg(factNo));
  // Only the named table, though Classify is switched on too.
  const Outcome one = run({"import", "--tables", "supplier"});
  EXPECT_EQ(one.status, 0) << one.err.toStdString();
  EXPECT_EQ(one.out, "匯入狀態：\n匯入廠商資料完成。\n");
  EXPECT_EQ(sql("select count(*) from Supplier").toInt(), suppliers);
  EXPECT_EQ(sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(clsNo)),
            "changed");
  sql(QStringLiteral("delete from Supplier where FactNo = '%1'").arg(factNo));
  // A relative folder is taken from the working directory.
  QProcess process;
  process.setWorkingDirectory(QFileInfo(folder_.path()).path());
  process.start(DATACONV_BATCH_EXE, {"import", "--folder", QFileInfo(folder_.path()).fileName()});
  ASSERT_TRUE(process.waitForFinished(300000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
            "匯入狀態：\n匯入分類資料完成。\n匯入廠商資料完成。\n");

  EXPECT_EQ(sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(clsNo)),
            clsName);
  EXPECT_EQ(sql("select count(*) from Supplier").toInt(), suppliers);
  EXPECT_EQ(sql(QStringLiteral("select count(*) from Supplier where FactNo = '%1'").arg(factNo)),
            "1");
}

TEST_F(BatchTest, MissingAccessFileEndsTheImportWithTheWindowsTextAndNoReport) {
  enable({"Classify", "Supplier", "Customer"});
  ASSERT_EQ(run({"export", "--tables", "Classify,Customer"}).status, 0);
  const QString clsNo = sql("select ClsNo from Classify order by ClsNo");
  sql(QStringLiteral("update Classify set ClsName = 'changed' where ClsNo = '%1'").arg(clsNo));
  sql("update Customer set Name = 'changed'");

  const Outcome o = run({"import"});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.out.isEmpty()) << o.out.toStdString();
  // The text the window's error box shows for the same file.
  QString expected;
  try {
    dataimport::TDmAccess access;
    access.openTable(path("Supplier.mdb"), "SELECT * FROM Supplier");
  } catch (...) {
    expected = platform::withFullStop(platform::errorText(std::current_exception()));
  }
  ASSERT_FALSE(expected.isEmpty());
  EXPECT_TRUE(o.err.endsWith(expected + "\n")) << o.err.toStdString();
  // Classify before it was imported, Customer after it was not.
  EXPECT_NE(sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(clsNo)),
            "changed");
  EXPECT_EQ(sql("select count(*) from Customer where Name <> 'changed'"), "0");
}

TEST_F(BatchTest, WrongColumnMapFailsThatTableOnlyAndTheExitStatus) {
  enable({"Classify", "Supplier"});
  ASSERT_EQ(run({"export"}).status, 0);
  QFile map(path("Classify.ini"));
  ASSERT_TRUE(map.open(QIODevice::ReadOnly));
  QByteArray text = map.readAll();
  map.close();
  ASSERT_TRUE(text.contains("Name02=ClsName"));
  text.replace("Name02=ClsName", "Name02=ClsTitle");
  ASSERT_TRUE(map.open(QIODevice::WriteOnly | QIODevice::Truncate));
  map.write(text);
  map.close();

  const Outcome o = run({"import"});
  EXPECT_EQ(o.status, 1);
  // The next table still ran: the report lists it but not the failed one.
  EXPECT_EQ(o.out, "匯入狀態：\n匯入廠商資料完成。\n");
  const QStringList lines = o.err.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << o.err.toStdString();
  EXPECT_TRUE(lines[0].startsWith("分類資料 Classify  做完 0 列（共 ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains("ClsTitle")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("廠商資料 Supplier  "));
}

TEST_F(BatchTest, UnreachablePosFailsBeforeAnyFileIsTouched) {
  // Nothing listens on port 1 of the loopback address: the connection is refused.
  writeConfig("Provider=SQLOLEDB.1\r\nHost=127.0.0.1,1\r\nDatabase=KAROS\r\nUser=sa\r\nPassword=x",
              {"Classify"});
  const QStringList before = files();
  for (const char* command : {"export", "import"}) {
    const Outcome o = run({command});
    EXPECT_EQ(o.status, 1) << command;
    EXPECT_TRUE(o.out.isEmpty()) << command;
    EXPECT_FALSE(o.err.trimmed().isEmpty()) << command;
    EXPECT_FALSE(o.err.startsWith("dataconv-batch：")) << command;  // not a usage error
  }
  EXPECT_EQ(files(), before);
}

TEST_F(BatchTest, ReadOnlyFolderFailsTheExportWithTheWindowsText) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  enable({"Classify", "Item"});
  const QStringList before = files();
  QFile::setPermissions(folder_.path(), QFile::ReadOwner | QFile::ExeOwner);
  const Outcome o = run({"export"});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.out.isEmpty());
  EXPECT_TRUE(o.err.contains(platform::unableToWrite(path("Classify.ini")).split('\n')[0]))
      << o.err.toStdString();
  EXPECT_EQ(files(), before);
}

TEST_F(BatchTest, ImportKeepsAJournalThatUndoTakesBackAndJournalsLists) {
  enable({"Classify", "Customer"});
  ASSERT_EQ(run({"export"}).status, 0);
  const QString clsNo = sql("select ClsNo from Classify order by ClsNo");
  sql(QStringLiteral("update Classify set ClsName = 'changed' where ClsNo = '%1'").arg(clsNo));
  sql("delete from Customer where CustNo = (select min(CustNo) from Customer)");
  const int customers = sql("select count(*) from Customer").toInt();
  ASSERT_EQ(run({"import"}).status, 0);
  ASSERT_EQ(sql("select count(*) from Customer").toInt(), customers + 1);

  const Outcome list = run({"journals"});
  EXPECT_EQ(list.status, 0) << list.err.toStdString();
  const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1) << list.out.toStdString();
  EXPECT_TRUE(
      lines[0].contains(QStringLiteral("完成  匯入 Classify,Customer  變更 1 列，新增 1 列")))
      << lines[0].toStdString();
  const QString journal = lines[0].section(QLatin1Char(' '), 0, 0);

  const Outcome dry = run({"undo", journal, "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.err.toStdString();
  EXPECT_TRUE(dry.out.contains(QStringLiteral("還原 Classify %1：ClsName「").arg(clsNo)))
      << dry.out.toStdString();
  EXPECT_TRUE(dry.out.endsWith(
      QStringLiteral("將還原 1 列，刪除 1 列，重新加入 0 列，不需處理 0 列，衝突 0 列。\n")))
      << dry.out.toStdString();
  EXPECT_EQ(sql("select count(*) from Customer").toInt(), customers + 1);

  const Outcome undo = run({"undo", journal});
  EXPECT_EQ(undo.status, 0) << undo.err.toStdString();
  EXPECT_TRUE(undo.out.contains(QStringLiteral("還原 1 列，刪除 1 列"))) << undo.out.toStdString();
  EXPECT_EQ(sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(clsNo)),
            "changed");
  EXPECT_EQ(sql("select count(*) from Customer").toInt(), customers);
  const Outcome after = run({"journals"});
  EXPECT_TRUE(after.out.contains(QStringLiteral("還原 %1").arg(journal)))
      << after.out.toStdString();

  // The same journal again finds its rows as they were before the import: nothing to do.
  const Outcome again = run({"undo", path("journal/" + journal)});
  EXPECT_EQ(again.status, 0);
  EXPECT_TRUE(again.out.contains(QStringLiteral("不需處理 2 列，衝突 0 列")))
      << again.out.toStdString();
  // Taken back once: a row changed after the undo is someone's own change, left alone
  // without a conflict.
  sql(QStringLiteral("update Classify set ClsName = 'other' where ClsNo = '%1'").arg(clsNo));
  const Outcome later = run({"undo", journal});
  EXPECT_EQ(later.status, 0);
  EXPECT_TRUE(later.out.contains(QStringLiteral("其中 2 列已由先前的還原取回，沒有再取回一次。")))
      << later.out.toStdString();
  EXPECT_EQ(sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(clsNo)),
            "other");
}

// Every row of the four POS tables, each value with its type, in key order.
QStringList dumpPos(const QString& posFile) {
  QStringList out;
  for (const char* t : {"Classify", "Item", "Supplier", "Customer"})
    test::forEachPosRow(
        posFile, QStringLiteral("select * from %1 order by 1").arg(QLatin1String(t)),
        [&](const QSqlQuery& q) {
          QStringList row{QLatin1String(t)};
          for (int i = 0; i < q.record().count(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<null>")
                                        : QString::fromLatin1(q.value(i).typeName()) + u':' +
                                              q.value(i).toString());
          out << row.join(u'|');
        });
  return out;
}

// The round trip through Excel workbooks: exported, two cells changed by another
// program (openpyxl, as Excel would save them), imported: the POS changes in exactly
// those cells.
TEST_F(BatchTest, ExportToWorkbooksEditElsewhereAndImportChangesExactlyTheEditedCells) {
  enable({"Classify", "Item", "Supplier", "Customer"});
  const Outcome exported = run({"export", "--format", "xlsx"});
  ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
  EXPECT_EQ(exported.out, kExportAll);
  for (const char* t : {"Classify", "Item", "Supplier", "Customer"}) {
    EXPECT_TRUE(QFile::exists(path(QLatin1String(t) + ".xlsx"))) << t;
    EXPECT_TRUE(QFile::exists(path(QLatin1String(t) + ".ini"))) << t;
    EXPECT_FALSE(QFile::exists(path(QLatin1String(t) + ".mdb"))) << t;
  }
  const QStringList before = dumpPos(pos_);
  // Nothing edited: the import finds every row as it is.
  ASSERT_EQ(run({"import", "--format", "xlsx"}).status, 0);
  EXPECT_EQ(dumpPos(pos_), before);

  QProcess probe;
  probe.start("/usr/bin/python3", {"-c", "import openpyxl"});
  if (!probe.waitForFinished(30000) || probe.exitCode() != 0) GTEST_SKIP() << "no openpyxl";
  const QString custNo = sql("select min(CustNo) from Customer");
  const QString itemNo = sql("select min(ItemNo) from Item");
  const QString name =
      sql(QStringLiteral("select Name from Customer where CustNo = '%1'").arg(custNo));
  const QString price =
      sql(QStringLiteral("select Price from Item where ItemNo = '%1'").arg(itemNo));
  const QString factNo = sql("select min(FactNo) from Supplier");
  const QString traded =
      sql(QStringLiteral("select TradeDate from Supplier where FactNo = '%1'").arg(factNo));
  auto label = [this](const char* table, const char* field) {
    const config::ColumnMap map = config::ColumnMap::read(path(QLatin1String(table) + ".ini"));
    for (const auto& p : map.pairs())
      if (p.field == QLatin1String(field)) return p.display;
    return QString();
  };
  QProcess edit;
  edit.start(
      "/usr/bin/python3",
      {"-c", R"(
import sys, openpyxl
def change(path, keyColumn, key, column, value, plain=False):
    wb = openpyxl.load_workbook(path)
    ws = wb.worksheets[0]
    header = [c.value for c in ws[1]]
    k, col = header.index(keyColumn), header.index(column)
    for row in ws.iter_rows(min_row=2):
        if str(row[k].value) == key:
            row[col].value = value
            if plain:
                row[col].number_format = 'General'
    wb.save(path)
change(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], '改名的客戶')
change(sys.argv[5], sys.argv[6], sys.argv[7], sys.argv[8], 123.5)
# A date typed as a number into a cell without a date format: a day count.
change(sys.argv[9], sys.argv[10], sys.argv[11], sys.argv[12], 45000.5, plain=True)
)",
       path("Customer.xlsx"), label("Customer", "CustNo"), custNo, label("Customer", "Name"),
       path("Item.xlsx"), label("Item", "ItemNo"), itemNo, label("Item", "Price"),
       path("Supplier.xlsx"), label("Supplier", "FactNo"), factNo, label("Supplier", "TradeDate")});
  ASSERT_TRUE(edit.waitForFinished(60000));
  ASSERT_EQ(edit.exitCode(), 0) << edit.readAllStandardError().toStdString();

  // The price is a guarded column: allowed for this run's settings.
  QFile ini(path("Config.ini"));
  ASSERT_TRUE(ini.open(QIODevice::Append));
  ini.write("[Import Item]\r\nUpdate_Price=1\r\n");
  ini.close();
  const Outcome imported = run({"import", "--format", "xlsx"});
  ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
  EXPECT_EQ(sql(QStringLiteral("select Name from Customer where CustNo = '%1'").arg(custNo)),
            QStringLiteral("改名的客戶"));
  EXPECT_EQ(sql(QStringLiteral("select Price from Item where ItemNo = '%1'").arg(itemNo)), "123.5");
  EXPECT_EQ(sql(QStringLiteral("select TradeDate from Supplier where FactNo = '%1'").arg(factNo)),
            "2023-03-15 12:00:00");
  // Put back by hand, the POS is what it was: nothing else changed.
  sql(QStringLiteral("update Customer set Name = '%1' where CustNo = '%2'").arg(name, custNo));
  sql(QStringLiteral("update Item set Price = %1 where ItemNo = '%2'").arg(price, itemNo));
  sql(QStringLiteral("update Supplier set TradeDate = '%1' where FactNo = '%2'")
          .arg(traded, factNo));
  EXPECT_EQ(dumpPos(pos_), before);

  // A cell the POS column cannot take fails its row, named by the sheet's row and column.
  QProcess bad;
  bad.start("/usr/bin/python3", {"-c", R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]
col = [c.value for c in ws[1]].index(sys.argv[2])
ws.cell(row=3, column=col + 1).value = 'tall'
wb.save(sys.argv[1])
)",
                                 path("Customer.xlsx"), label("Customer", "Height")});
  ASSERT_TRUE(bad.waitForFinished(60000));
  ASSERT_EQ(bad.exitCode(), 0) << bad.readAllStandardError().toStdString();
  const int column = [&] {
    const config::ColumnMap map = config::ColumnMap::read(path("Customer.ini"));
    for (size_t i = 0; i < map.pairs().size(); ++i)
      if (map.pairs()[i].field == QLatin1String("Height")) return int(i);
    return -1;
  }();
  ASSERT_GE(column, 0);
  const Outcome failed = run({"import", "--format", "xlsx", "--tables", "Customer"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(
      failed.err.contains(QStringLiteral("Customer 工作表第 3 列 %1 欄（%2）：「tall」不是數字："
                                         "這個欄位只能填數字（例如 12.5）")
                              .arg(QChar(u'A' + column))
                              .arg(label("Customer", "Height"))))
      << failed.err.toStdString();
}

// A journal whose import is still writing (held here, as another program's would be) is
// listed as running and not undone; one whose program was killed is undone after saying
// so.
TEST_F(BatchTest, JournalsAndUndoRefuseARunStillGoingAndSayWhenARunWasCutShort) {
  enable({"Classify"});
  ASSERT_EQ(run({"export"}).status, 0);
  const QString clsNo = sql("select ClsNo from Classify order by ClsNo");
  platform::setProgramFolderForTesting(folder_.path());
  auto running = std::make_unique<dataimport::ImportJournal>(
      QStringLiteral("import"), dataimport::ImportDriver::posDescription(
                                    QStringLiteral("Provider=SQLite;Data Source=") + pos_));
  platform::setProgramFolderForTesting(QString());
  const QString name = QFileInfo(running->path()).fileName();
  journal::RowChange change{"Classify", "ClsNo", clsNo, journal::RowChange::Action::Update, {}};
  // Its row was not posted yet when the program was killed.
  change.cells.push_back(
      {"ClsName", db::ftString,
       sql(QStringLiteral("select ClsName from Classify where ClsNo = '%1'").arg(clsNo)),
       QStringLiteral("b")});
  running->rowReady(change);

  const Outcome list = run({"journals"});
  EXPECT_EQ(list.status, 1);
  EXPECT_TRUE(list.out.contains(name + QStringLiteral("  ")) && list.out.endsWith("執行中\n"))
      << list.out.toStdString();
  EXPECT_EQ(list.err, name + QStringLiteral(" 的執行還沒有結束，它的內容還不完整。\n"));
  const Outcome refused = run({"undo", name});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
  EXPECT_TRUE(refused.err.contains(QStringLiteral("的匯入還在執行中，還沒有結束")))
      << refused.err.toStdString();

  running.reset();  // its program killed: the log stays behind
  const Outcome undone = run({"undo", name});
  EXPECT_EQ(undone.status, 0) << undone.err.toStdString();
  EXPECT_TRUE(undone.out.startsWith(QStringLiteral("注意：%1 的執行在途中被中斷").arg(name)))
      << undone.out.toStdString();
  EXPECT_TRUE(undone.out.contains(QStringLiteral("不需處理 1 列"))) << undone.out.toStdString();
  EXPECT_TRUE(run({"journals"}).out.contains(QStringLiteral("中斷")));
}

// A run the operator cancelled in the window is listed as cancelled, not as running.
TEST_F(BatchTest, JournalsNameACancelledRun) {
  platform::setProgramFolderForTesting(folder_.path());
  {
    dataimport::ImportJournal cancelled(QStringLiteral("import"),
                                        dataimport::ImportDriver::posDescription(
                                            QStringLiteral("Provider=SQLite;Data Source=") + pos_));
    cancelled.finishAs(QStringLiteral("cancelled"));
  }
  platform::setProgramFolderForTesting(QString());
  const Outcome list = run({"journals"});
  EXPECT_EQ(list.status, 0) << list.err.toStdString();
  EXPECT_TRUE(list.out.contains(QStringLiteral("  已取消  "))) << list.out.toStdString();
}

// Scheduled jobs often run under an address-space limit: the journal takes what the
// limit leaves room for.
TEST_F(BatchTest, AnImportRunsUnderALimitedAddressSpace) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under the limit";
#endif
  enable({"Classify", "Customer"});
  ASSERT_EQ(run({"export"}).status, 0);
  sql("update Customer set Name = 'changed'");
  QProcess process;
  process.start(QStringLiteral("/bin/sh"),
                {"-c", "ulimit -v 4000000 && exec \"$0\" \"$@\"", DATACONV_BATCH_EXE, "import",
                 "--folder", folder_.path()});
  ASSERT_TRUE(process.waitForFinished(300000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(sql("select count(*) from Customer where Name = 'changed'"), "0");
  EXPECT_EQ(QDir(path("journal")).entryList({"*.sqlite"}, QDir::Files).size(), 1);
}

// The same commands against the TDS test server, reached through Config.ini as a shop's
// SQL Server is: export, a POS changed behind the export, import, the dry run, undo.
TEST_F(BatchTest, ExportImportDryRunAndUndoOverTheTdsServer) {
  demopos::TdsPos tds(pos_);
  if (!tds.available()) GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
  test::writeConfig(folder_.path(), tds.configSection().chopped(2), {"Supplier", "Customer"});
  const Outcome exported = run({"export"});
  ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
  const QString factNo = tds.sql("select min(FactNo) from Supplier");
  const QString bank =
      tds.sql(QStringLiteral("select Bank from Supplier where FactNo = '%1'").arg(factNo));
  tds.sql(QStringLiteral("update Supplier set Responser = N'改名', Bank = NULL where FactNo = '%1'")
              .arg(factNo));
  tds.sql("delete from Customer where CustNo = (select min(CustNo) from Customer)");
  const int customers = tds.sql("select count(*) from Customer").toInt();

  const Outcome dry = run({"import", "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.err.toStdString();
  EXPECT_EQ(tds.sql("select count(*) from Customer").toInt(), customers);

  const Outcome imported = run({"import"});
  ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
  EXPECT_EQ(tds.sql(QStringLiteral("select Bank from Supplier where FactNo = '%1'").arg(factNo)),
            bank);
  EXPECT_EQ(tds.sql("select count(*) from Customer").toInt(), customers + 1);

  const Outcome list = run({"journals"});
  const QString journal = list.out.section(QLatin1Char(' '), 0, 0);
  const Outcome undo = run({"undo", journal});
  EXPECT_EQ(undo.status, 0) << undo.err.toStdString() << undo.out.toStdString();
  EXPECT_EQ(
      tds.sql(QStringLiteral("select Responser from Supplier where FactNo = '%1'").arg(factNo)),
      QStringLiteral("改名"));
  EXPECT_EQ(tds.sql(QStringLiteral("select Bank from Supplier where FactNo = '%1'").arg(factNo)),
            QString());
  EXPECT_EQ(tds.sql("select count(*) from Customer").toInt(), customers);
}

TEST_F(BatchTest, UndoOfAMissingOrForeignFileFailsWithItsText) {
  enable({"Classify"});
  const Outcome missing = run({"undo", "20200101-000000-000.sqlite"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.err.contains(
      QStringLiteral("無法讀取匯入記錄 20200101-000000-000.sqlite：找不到檔案")))
      << missing.err.toStdString();
  const Outcome foreign = run({"undo", path("Config.ini")});
  EXPECT_EQ(foreign.status, 1);
  EXPECT_TRUE(foreign.err.contains(QStringLiteral("Config.ini："))) << foreign.err.toStdString();
  const Outcome none = run({"journals"});
  EXPECT_EQ(none.status, 0);
  EXPECT_TRUE(none.out.endsWith(QStringLiteral("沒有匯入記錄。\n"))) << none.out.toStdString();
}

TEST_F(BatchTest, ReadOnlyFolderFailsTheImportBeforeThePosIsTouched) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  enable({"Classify"});
  ASSERT_EQ(run({"export"}).status, 0);
  sql("update Classify set ClsName = 'changed'");
  // The export made the journal folder (it keeps what it wrote there): read-only too.
  QFile::setPermissions(path("journal"), QFile::ReadOwner | QFile::ExeOwner);
  QFile::setPermissions(folder_.path(), QFile::ReadOwner | QFile::ExeOwner);
  const Outcome o = run({"import"});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.out.isEmpty());
  EXPECT_TRUE(o.err.contains(QStringLiteral("無法寫入匯入記錄 ") + path("journal")))
      << o.err.toStdString();
  EXPECT_EQ(sql("select count(*) from Classify where ClsName <> 'changed'"), "0");
}

}  // namespace
