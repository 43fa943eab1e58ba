#include "app/Main.h"

#include "PosTestDatabase.h"
#include "TestDatabase.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "app/DbGrid.h"
#include "app/Program.h"
#include "app/ResponsiveWait.h"

#include <config/ColumnMap.h>
#include <db/Command.h>
#include <db/Connection.h>
#include <db/ConnectionString.h>
#include <jet/DatabaseWriter.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <cstdlib>

namespace app {
namespace {

using test::ShownMessage;

const char kDisconnected[] = "StartSQL Setting Exit";
const char kConnected[] = "StopSQL Import Export Setting Exit";

class MainTest : public test::ProgramFolderTest {
 protected:
  MainTest() { createConfig_ = false; }

  void TearDown() override {
    program_.reset();
    if (!pgSchema_.isEmpty()) pgAdmin_.execute("drop schema " + pgSchema_ + " cascade");
    tds_.reset();
    test::ProgramFolderTest::TearDown();
  }

  // The POS tables in a PostgreSQL schema of its own (so that parallel runs do not
  // meet), dropped at the end of the test; its connection text, or empty when the
  // test server is not set up.
  QString makePostgresPos() {
    const char* dsn = std::getenv("DATACONV_TEST_PG_DSN");
    if (!dsn || !*dsn) return {};
    pgSchema_ = "app_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
    pgAdmin_.setConnectionString(QString::fromUtf8(dsn));
    pgAdmin_.open();
    pgAdmin_.execute("create schema " + pgSchema_);
    const QString text =
        QString::fromUtf8(dsn) + ";ConnSettings={SET search_path TO " + pgSchema_ + "}";
    db::Connection c;
    c.setConnectionString(text);
    c.open();
    test::createPosTables(c, test::SqlDialect::PostgreSQL);
    return text;
  }

  // The POS tables in a database of its own on the TDS test server, dropped at the end
  // of the test; false when the test server is not set up. Config.ini selects it by host
  // and port, database, login and password (tdsConfig_ holds those [MSSQL] lines), so
  // that the program makes its own SQL Server connection text, as for a real server.
  bool makeTdsPos() {
    tds_ = std::make_unique<db::testing::TestDatabase>(db::testing::TestDatabase::Engine::Tds);
    if (!tds_->available()) return false;
    const auto odbc = db::ConnectionString::parse(tds_->connectionString());
    tdsConfig_ = QStringLiteral("Host=%1,%2\r\nDatabase=%3\r\nUser=%4\r\nPassword=%5\r\n")
                     .arg(odbc.value("Server"), odbc.value("Port"), odbc.value("Database"),
                          odbc.value("UID"), odbc.value("PWD"))
                     .toUtf8();
    auto c = tds_->connect();
    test::createPosTables(*c, test::SqlDialect::SqlServer);
    return true;
  }

  // An SQLite POS in the program folder, selected by Config.ini.
  void makePos(const QString& file, const QString& skipTables = {},
               const test::ColumnAdjust& adjust = {}) {
    QFile(path(file)).open(QIODevice::WriteOnly | QIODevice::Truncate);
    db::Connection c;
    c.setConnectionString("Provider=SQLite;Data Source=" + path(file));
    c.open();
    test::createPosTables(c, test::SqlDialect::SQLite, skipTables, adjust);
  }
  void selectPos(const QString& file, const QByteArray& more = {}) {
    writeConfig("[MSSQL]\r\nProvider=SQLite\r\nDatabase=" + file.toUtf8() + "\r\n" + more);
  }

  void startProgram() {
    program_ = std::make_unique<Program>();
    main().show();
  }
  TfrmMain& main() { return program_->frmMain(); }
  QAbstractButton* button(const char* name) {
    auto* b = main().findChild<QAbstractButton*>(QLatin1String(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
  }
  void click(const char* name) { button(name)->click(); }
  // The enabled buttons, in toolbar order.
  QString enabledButtons() {
    QStringList on;
    for (const char* name :
         {"bbtnStartSQL", "bbtnStopSQL", "bbtnImport", "bbtnExport", "bbtnSetting", "bbtnExit"})
      if (button(name)->isEnabled()) on << QString::fromLatin1(name).mid(4);
    return on.join(' ');
  }
  QString cell(int tab, int row, int column) {
    const QAbstractItemModel* m = main().grid(tab)->model();
    return m->data(m->index(row, column)).toString();
  }
  QString title(int tab, int column) {
    return main().grid(tab)->model()->headerData(column, Qt::Horizontal).toString();
  }
  int rows(int tab) { return main().grid(tab)->model()->rowCount(); }
  std::vector<ShownMessage> errors() const {
    std::vector<ShownMessage> e;
    for (const auto& m : ui_.messages)
      if (m.kind == ShownMessage::Kind::Box) e.push_back(m);
    return e;
  }

  // Starts the POS the program is pointed at, checks the grids, stops, and starts once
  // more after `dropFlag` took a declared column away.
  void startAndStop(const std::function<void()>& dropFlag) {
    click("bbtnStartSQL");
    ASSERT_EQ(ui_.messages.size(), 1u) << ui_.messages[0].text.toStdString();
    EXPECT_EQ(ui_.messages[0].text, "啟動資料庫成功。");
    EXPECT_EQ(enabledButtons(), kConnected);
    EXPECT_EQ(cell(TfrmMain::tabClassify, 0, 0), "A01");
    EXPECT_EQ(cell(TfrmMain::tabItem, 1, 6), "健康批發");
    EXPECT_EQ(rows(TfrmMain::tabCustomer), 2);

    click("bbtnStopSQL");
    EXPECT_EQ(enabledButtons(), kDisconnected);
    EXPECT_EQ(rows(TfrmMain::tabItem), 0);

    dropFlag();
    click("bbtnStartSQL");
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(ui_.messages[1].text, "qryClassify: Field 'Flag' not found.");
    EXPECT_EQ(enabledButtons(), kDisconnected);
  }

  // Another session holds the Item table over ODBC (`holderText`, through `lock` in a
  // transaction): the start fails at the command timeout; with no limit, a close request
  // ends the wait. `mssql` is the rest of the [MSSQL] section of Config.ini.
  void heldTableTimesOutOrIsCancelledByClosing(const QString& holderText, const QString& lock,
                                               const QByteArray& mssql, bool freeBeforeEnd) {
    {
      QSqlDatabase holder = QSqlDatabase::addDatabase("QODBC", "app-holder");
      holder.setDatabaseName(holderText);
      ASSERT_TRUE(holder.open()) << holder.lastError().text().toStdString();
      ASSERT_TRUE(holder.transaction());
      QSqlQuery held(holder);
      held.setForwardOnly(true);  // FreeTDS opens a server cursor otherwise, for a query only
      ASSERT_TRUE(held.exec(lock)) << held.lastError().text().toStdString();

      writeConfig("[MSSQL]\r\n" + mssql + "CommandTimeout=2\r\n");
      startProgram();
      if (mssql.isEmpty()) main().setConnectionForTesting(holderText);
      click("bbtnStartSQL");
      ASSERT_EQ(errors().size(), 1u);
      EXPECT_EQ(errors()[0].text, db::Connection::timeoutMessage(2) + ".");
      EXPECT_EQ(enabledButtons(), kDisconnected);

      writeConfig("[MSSQL]\r\n" + mssql + "CommandTimeout=0\r\n");
      QTimer::singleShot(0, [&] { main().close(); });
      click("bbtnStartSQL");
      EXPECT_EQ(errors().size(), 1u);
      QTRY_VERIFY_WITH_TIMEOUT(!main().isVisible(), 10000);
      if (freeBeforeEnd) holder.rollback();
      QTRY_COMPARE_WITH_TIMEOUT(AbandonableWait::abandonedStillRunning(), 0, 10000);
      holder.rollback();
      held.finish();
      holder.close();
    }
    QSqlDatabase::removeDatabase("app-holder");
  }

  std::unique_ptr<Program> program_;
  db::Connection pgAdmin_;
  QString pgSchema_;
  std::unique_ptr<db::testing::TestDatabase> tds_;
  QByteArray tdsConfig_;
};

TEST_F(MainTest, StartsDisconnectedOnTheClassifyTabWithItsGridsAndDialogsSetUp) {
  startProgram();
  EXPECT_EQ(main().windowTitle(), "資料轉換程式");
  EXPECT_EQ(QCoreApplication::applicationName(), "資料轉換程式");
  EXPECT_EQ(enabledButtons(), kDisconnected);
  EXPECT_EQ(button("bbtnStartSQL")->text(), "啟動資料庫");
  EXPECT_EQ(button("bbtnExit")->size(), QSize(120, 65));

  QTabWidget* tabs = main().PageControl();
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(tabs->tabText(0), "分類資料");
  EXPECT_EQ(tabs->tabText(3), "會員資料");

  // Columns as listed, titled by label (or name), at their widths; empty while closed.
  ASSERT_EQ(main().grid(TfrmMain::tabItem)->model()->columnCount(), 23);
  EXPECT_EQ(title(TfrmMain::tabItem, 0), "管理貨號");
  EXPECT_EQ(title(TfrmMain::tabItem, 6), "廠商名稱");
  EXPECT_EQ(main().grid(TfrmMain::tabItem)->columnWidth(0), 80);
  EXPECT_EQ(main().grid(TfrmMain::tabItem)->columnWidth(22), 200);
  EXPECT_EQ(title(TfrmMain::tabCustomer, 18), "EMail");
  EXPECT_EQ(main().grid(TfrmMain::tabSupplier)->model()->columnCount(), 25);
  EXPECT_EQ(rows(TfrmMain::tabClassify), 0);

  auto* open = main().findChild<QFileDialog*>("OpenDialog");
  auto* save = main().findChild<QFileDialog*>("SaveDialog");
  ASSERT_TRUE(open && save);
  EXPECT_EQ(open->windowTitle(), "選擇匯入檔案");
  EXPECT_EQ(save->windowTitle(), "選擇匯出檔案");
  EXPECT_EQ(save->defaultSuffix(), "mdb");
  EXPECT_EQ(open->directory().absolutePath() + '/', platform::programFolder());
  EXPECT_FALSE(open->isVisible() || save->isVisible());
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MainTest, StartShowsTheTablesInKeyOrderAndStopEmptiesThem) {
  makePos("pos.sqlite");
  selectPos("pos.sqlite");
  startProgram();
  click("bbtnStartSQL");
  ASSERT_EQ(ui_.messages.size(), 1u) << ui_.messages[0].text.toStdString();
  EXPECT_EQ(ui_.messages[0].kind, ShownMessage::Kind::Information);
  EXPECT_EQ(ui_.messages[0].text, "啟動資料庫成功。");
  EXPECT_EQ(enabledButtons(), kConnected);
  EXPECT_EQ(ui_.busyDepth, 0);
  EXPECT_GE(ui_.busyCount, 1);

  ASSERT_EQ(rows(TfrmMain::tabClassify), 3);
  EXPECT_EQ(cell(TfrmMain::tabClassify, 0, 0), "A01");
  EXPECT_EQ(cell(TfrmMain::tabClassify, 2, 1), "醫療器材");
  ASSERT_EQ(rows(TfrmMain::tabItem), 3);
  EXPECT_EQ(cell(TfrmMain::tabItem, 0, 0), "10000018");
  EXPECT_EQ(cell(TfrmMain::tabItem, 0, 6), "");  // no such supplier
  EXPECT_EQ(cell(TfrmMain::tabItem, 1, 6), "健康批發");
  EXPECT_EQ(cell(TfrmMain::tabSupplier, 0, 0), "S001");
  EXPECT_EQ(cell(TfrmMain::tabCustomer, 1, 1), "王小明");

  click("bbtnStopSQL");
  EXPECT_EQ(enabledButtons(), kDisconnected);
  for (int tab = 0; tab < 4; ++tab) EXPECT_EQ(rows(tab), 0);
  EXPECT_EQ(ui_.messages.size(), 1u);
}

// Each broken schema ends the start with the data layer's text and leaves the window
// as it was; a start after the repair succeeds.
TEST_F(MainTest, FailedStartsShowTheErrorAndLeaveTheStartButtonForARetry) {
  struct Case {
    const char* skip;
    test::ColumnAdjust adjust;
    const char* expected;
  } cases[] = {
      {"", [](auto& t, auto& c, auto& type) { return t == "Classify" && c == "Flag" ? "" : type; },
       "qryClassify: Field 'Flag' not found."},
      {"",
       [](auto& t, auto& c, auto& type) {
         return t == "Item" && c == "StkQty" ? QString("varchar(10)") : type;
       },
       "qryItem: Type mismatch for field '庫存量', expecting: Integer actual: String."},
      {"Customer", {}, "no such table: Customer."},
  };
  startProgram();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ui_.messages.clear();
    makePos("pos.sqlite", c.skip, c.adjust);
    selectPos("pos.sqlite");
    click("bbtnStartSQL");
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].kind, ShownMessage::Kind::Box);
    EXPECT_EQ(ui_.messages[0].caption, "資料轉換程式");
    EXPECT_EQ(ui_.messages[0].icon, platform::UiServices::Icon::Error);
    EXPECT_EQ(ui_.messages[0].text, c.expected);
    EXPECT_EQ(enabledButtons(), kDisconnected);
    EXPECT_EQ(ui_.busyDepth, 0);
  }

  ui_.messages.clear();
  makePos("pos.sqlite");
  click("bbtnStartSQL");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "啟動資料庫成功。");
  EXPECT_EQ(enabledButtons(), kConnected);
  EXPECT_EQ(rows(TfrmMain::tabCustomer), 2);
}

// Runs `edit` on the settings dialog once it is shown modally, then saves it.
void whenSettingsShown(std::function<void(QWidget*)> edit) {
  QTimer::singleShot(0, [edit] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    edit(dialog);
  });
}

TEST_F(MainTest, SettingsSavedWhileConnectedApplyAtTheNextStart) {
  makePos("one.sqlite");
  makePos("two.sqlite", "", [](auto& t, auto& c, auto& type) {
    return t == "Classify" && c == "ClsName" ? QString("varchar(40) default 'x'") : type;
  });
  {
    db::Connection c;
    c.setConnectionString("Provider=SQLite;Data Source=" + path("two.sqlite"));
    c.open();
    c.execute("insert into Classify (ClsNo, ClsName) values ('D04', '嬰兒用品')");
  }
  selectPos("one.sqlite");
  startProgram();
  click("bbtnStartSQL");
  ASSERT_EQ(enabledButtons(), kConnected);

  QString shownDatabase;
  whenSettingsShown([&](QWidget* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>("edtDatabase");
    shownDatabase = edit->text();
    edit->setText("two.sqlite");
    dialog->findChild<QAbstractButton*>("BitBtnPost")->click();
  });
  click("bbtnSetting");
  EXPECT_EQ(shownDatabase, "one.sqlite");
  EXPECT_EQ(ui_.messages.back().text, "存檔完成。");
  // The open connection is untouched.
  EXPECT_EQ(enabledButtons(), kConnected);
  EXPECT_EQ(rows(TfrmMain::tabClassify), 3);

  // A fresh dialog, filled from the file as it is now.
  whenSettingsShown([&](QWidget* dialog) {
    shownDatabase = dialog->findChild<QLineEdit*>("edtDatabase")->text();
    dialog->findChild<QAbstractButton*>("BitBtnCancel")->click();
  });
  click("bbtnSetting");
  EXPECT_EQ(shownDatabase, "two.sqlite");

  click("bbtnStopSQL");
  click("bbtnStartSQL");
  EXPECT_EQ(rows(TfrmMain::tabClassify), 4);
}

// While the start waits for the database the window paints and takes input, but the
// toolbar does nothing and closing waits until the start has returned.
TEST_F(MainTest, TheWindowStaysAliveWhileTheStartWaitsAndIgnoresClicksMeanwhile) {
  makePos("pos.sqlite");
  selectPos("pos.sqlite", "CommandTimeout=0\r\n");
  startProgram();
  // A writer holding the file keeps the start waiting until it lets go.
  db::Connection writer;
  writer.setConnectionString("Provider=SQLite;Data Source=" + path("pos.sqlite"));
  writer.open();
  writer.execute("begin exclusive");

  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  main().installEventFilter(&counter);

  bool waited = false;
  int paintsBefore = 0;
  QTimer::singleShot(50, [&] {
    waited = true;
    click("bbtnStartSQL");
    click("bbtnStopSQL");
    click("bbtnSetting");  // would block in the dialog if it were not ignored
    EXPECT_EQ(enabledButtons(), kDisconnected);
    paintsBefore = counter.paints;
    main().update();
  });
  // The writer lets go once the window has painted again during the wait: tied to the
  // paint itself, not to how long a paint takes on this machine.
  QTimer releaser;
  QObject::connect(&releaser, &QTimer::timeout, [&] {
    if (waited && counter.paints > paintsBefore) {
      releaser.stop();
      writer.execute("commit");
    }
  });
  releaser.start(5);
  click("bbtnStartSQL");
  EXPECT_TRUE(waited);
  ASSERT_EQ(ui_.messages.size(), 1u) << ui_.messages[0].text.toStdString();
  EXPECT_EQ(ui_.messages[0].text, "啟動資料庫成功。");
  EXPECT_EQ(enabledButtons(), kConnected);
  EXPECT_EQ(ui_.busyDepth, 0);
  main().removeEventFilter(&counter);
}

// A close request during a start that waits without limit for a held table ends the
// wait: the window closes, no message, nothing left open or running.
TEST_F(MainTest, ClosingDuringAStalledStartAbandonsItAndCloses) {
  makePos("pos.sqlite");
  selectPos("pos.sqlite", "CommandTimeout=0\r\n");
  startProgram();
  db::Connection writer;
  writer.setConnectionString("Provider=SQLite;Data Source=" + path("pos.sqlite"));
  writer.open();
  writer.execute("begin exclusive");
  bool closed = false;
  QTimer::singleShot(0, [&] {
    closed = true;
    click("bbtnExit");  // "離開" acts like the close box here
  });
  click("bbtnStartSQL");
  EXPECT_TRUE(closed);
  EXPECT_TRUE(ui_.messages.empty()) << ui_.messages[0].text.toStdString();
  EXPECT_EQ(ui_.busyDepth, 0);
  QTRY_VERIFY_WITH_TIMEOUT(!main().isVisible(), 10000);
  EXPECT_FALSE(program_->DmMSSQL().cnKAROS.isConnected());
  EXPECT_FALSE(program_->DmMSSQL().qryItem.isOpen());
  // The cancelled fetch ends by itself, promptly, on SQLite.
  QTRY_COMPARE_WITH_TIMEOUT(AbandonableWait::abandonedStillRunning(), 0, 10000);
  writer.execute("commit");
}

TEST_F(MainTest, AStartOnAHeldTableFailsAtTheCommandTimeout) {
  makePos("pos.sqlite");
  selectPos("pos.sqlite", "CommandTimeout=2\r\n");
  startProgram();
  db::Connection writer;
  writer.setConnectionString("Provider=SQLite;Data Source=" + path("pos.sqlite"));
  writer.open();
  writer.execute("begin exclusive");
  click("bbtnStartSQL");
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_EQ(errors()[0].text, db::Connection::timeoutMessage(2) + ".");
  EXPECT_EQ(enabledButtons(), kDisconnected);
  writer.execute("commit");
  click("bbtnStartSQL");
  EXPECT_EQ(ui_.messages.back().text, "啟動資料庫成功。");
}

TEST_F(MainTest, StartAndStopOverOdbcAgainstPostgres) {
  const QString text = makePostgresPos();
  if (text.isEmpty()) GTEST_SKIP() << "DATACONV_TEST_PG_DSN is not set";
  startProgram();
  main().setConnectionForTesting(text);
  startAndStop(
      [&] { pgAdmin_.execute("alter table " + pgSchema_ + ".classify drop column flag"); });
}

// The SQL Server path as an operator sets it up: Config.ini names the server, and the
// program reaches it through FreeTDS.
TEST_F(MainTest, StartAndStopAgainstATdsServerNamedInConfigIni) {
  if (!makeTdsPos()) GTEST_SKIP() << tds_->unavailableReason().toStdString();
  writeConfig("[MSSQL]\r\n" + tdsConfig_);
  startProgram();
  startAndStop([&] { tds_->run("ALTER TABLE Classify DROP COLUMN Flag"); });
}

TEST_F(MainTest, ExportWritesTheEnabledTablesAndReportsOrShowsTheFailureAlone) {
  makePos("pos.sqlite");
  writeConfig(
      "[MSSQL]\r\nProvider=SQLite\r\nDatabase=pos.sqlite\r\n"
      "[Export Import]\r\nClassify=1\r\nItem=0\r\nSupplier=1\r\n");
  startProgram();
  click("bbtnStartSQL");
  click("bbtnExport");
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[1].kind, ShownMessage::Kind::Dialog);
  EXPECT_EQ(ui_.messages[1].text,
            "匯出結果：\n分類資料：完成，匯出 3 列（Classify.mdb）。\n"
            "廠商資料：完成，匯出 2 列（Supplier.mdb）。");
  EXPECT_EQ(main().PageControl()->currentIndex(), TfrmMain::tabSupplier);
  EXPECT_EQ(ui_.busyDepth, 0);
  EXPECT_TRUE(QFile::exists(path("Classify.mdb")));
  EXPECT_TRUE(QFile::exists(path("Supplier.ini")));
  EXPECT_FALSE(QFile::exists(path("Item.mdb")));

  // A file that is not an Access database ends the export with its error; the report
  // says which table was written and which was not.
  QFile bad(path("Supplier.mdb"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
  bad.write("plain text");
  bad.close();
  click("bbtnExport");
  // Classify.mdb holds the first export's rows: the operator is asked first.
  ASSERT_EQ(ui_.messages.size(), 5u);
  EXPECT_EQ(ui_.messages[2].kind, ShownMessage::Kind::Question);
  EXPECT_TRUE(ui_.messages[2].text.contains("Classify.mdb")) << ui_.messages[2].text.toStdString();
  EXPECT_EQ(ui_.messages[3].kind, ShownMessage::Kind::Box);
  EXPECT_TRUE(ui_.messages[3].text.contains("Supplier.mdb")) << ui_.messages[3].text.toStdString();
  EXPECT_EQ(ui_.messages[4].kind, ShownMessage::Kind::Dialog);
  EXPECT_TRUE(
      ui_.messages[4].text.startsWith("匯出結果：\n分類資料：完成，匯出 3 列（Classify.mdb）。\n"
                                      "  取代了檔案中原有的 3 列\n廠商資料：失敗："))
      << ui_.messages[4].text.toStdString();
  EXPECT_EQ(ui_.busyDepth, 0);
  EXPECT_EQ(enabledButtons(), kConnected);
}

// Over ODBC, with another session holding the Item table: the start fails at the
// command timeout; with no limit, a close request cancels the statement on the server.
TEST_F(MainTest, AHeldTableOverOdbcTimesOutOrIsCancelledByClosing) {
  const QString text = makePostgresPos();
  if (text.isEmpty()) GTEST_SKIP() << "DATACONV_TEST_PG_DSN is not set";
  heldTableTimesOutOrIsCancelledByClosing(text, "LOCK TABLE item IN ACCESS EXCLUSIVE MODE", {},
                                          false);
}

// The same on the TDS server named in Config.ini. That server has no LOCK TABLE and
// ignores locking hints; a column added in a transaction not committed keeps readers
// out, as on SQL Server. It does not act on the cancel while the statement waits (SQL
// Server does): the window still closes at once, and the abandoned statement ends once
// the table is free.
TEST_F(MainTest, AHeldTableOnATdsServerTimesOutOrIsCancelledByClosing) {
  if (!makeTdsPos()) GTEST_SKIP() << tds_->unavailableReason().toStdString();
  heldTableTimesOutOrIsCancelledByClosing(tds_->connectionString(),
                                          "ALTER TABLE Item ADD Held integer", tdsConfig_, true);
}

TEST_F(MainTest, ExitClosesTheWindowWhileConnectedWithoutAQuestion) {
  makePos("pos.sqlite");
  selectPos("pos.sqlite");
  startProgram();
  click("bbtnStartSQL");
  ui_.messages.clear();
  click("bbtnExit");
  EXPECT_FALSE(main().isVisible());
  EXPECT_TRUE(ui_.messages.empty());
}

using test::writeAccessTable;
using test::writeClassifyFiles;

TEST_F(MainTest, ImportMergesTheEnabledTablesIntoTheGridsAndReports) {
  makePos("pos.sqlite");
  writeConfig(
      "[MSSQL]\r\nProvider=SQLite\r\nDatabase=pos.sqlite\r\n[Export Import]\r\nClassify=1\r\n"
      "Item=1\r\n");
  writeClassifyFiles(folder_.path(), {{"B02", " 感冒藥 "}, {"D04", "新分類"}});
  config::ColumnMap item;
  item.setKey("ItemNo", "管理貨號");
  item.addPair("ItemNo", "管理貨號");
  item.write(path("Item.ini"));
  writeAccessTable(path("Item.mdb"), "Item", {"管理貨號"}, {{"12X4567"}});

  startProgram();
  click("bbtnStartSQL");
  ui_.messages.clear();
  click("bbtnImport");
  // The Item row fails: its error is shown once, the Item line is missing.
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_EQ(errors()[0].text, "「X」不是整數：這個欄位只能填整數（例如 12）.");
  EXPECT_EQ(errors()[0].caption, "資料轉換程式");
  ASSERT_EQ(ui_.messages.back().kind, ShownMessage::Kind::Dialog);
  EXPECT_TRUE(ui_.messages.back().text.startsWith(
      "匯入結果：\n分類資料：完成，新增 1 列、變更 1 列（Classify.mdb）。\n商品資料：失敗："))
      << ui_.messages.back().text.toStdString();
  EXPECT_EQ(main().PageControl()->currentIndex(), TfrmMain::tabItem);
  ASSERT_EQ(rows(TfrmMain::tabClassify), 4);
  EXPECT_EQ(cell(TfrmMain::tabClassify, 1, 1), "感冒藥");
  EXPECT_EQ(cell(TfrmMain::tabClassify, 3, 0), "D04");
  EXPECT_EQ(enabledButtons(), kConnected);
}

// An Access file still open in Access (its .ldb beside it) may lack unsaved edits: the
// operator is asked; No leaves the table out and says so, Yes imports it as saved.
TEST_F(MainTest, ImportAsksBeforeReadingAFileAnotherProgramHoldsOpen) {
  makePos("pos.sqlite");
  writeConfig(
      "[MSSQL]\r\nProvider=SQLite\r\nDatabase=pos.sqlite\r\n[Export Import]\r\nClassify=1\r\n");
  writeClassifyFiles(folder_.path(), {{"D04", "新分類"}});
  QFile lock(path("Classify.ldb"));
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.close();

  startProgram();
  click("bbtnStartSQL");
  ui_.messages.clear();
  ui_.answer = false;
  click("bbtnImport");
  // After the preview (of the file as last saved), before the import.
  ASSERT_EQ(ui_.messages.size(), 3u);
  EXPECT_EQ(ui_.messages[0].caption, "匯入預覽：還沒有寫入任何資料");
  EXPECT_EQ(ui_.messages[1].kind, ShownMessage::Kind::Question);
  EXPECT_TRUE(ui_.messages[1].text.contains("Classify.ldb")) << ui_.messages[1].text.toStdString();
  EXPECT_EQ(ui_.messages.back().text, "匯入結果：\n分類資料：未執行：檔案正由其他程式開啟。");
  EXPECT_EQ(rows(TfrmMain::tabClassify), 3);

  ui_.messages.clear();
  ui_.answer = true;
  click("bbtnImport");
  EXPECT_TRUE(
      ui_.messages.back().text.startsWith("匯入結果：\n分類資料：完成，新增 1 列、變更 0 列"))
      << ui_.messages.back().text.toStdString();
  EXPECT_EQ(rows(TfrmMain::tabClassify), 4);
}

// A row held by another session on the TDS server during "匯入檔案": the row fails in the
// program's words within the command timeout and a few seconds (FreeTDS alone would wait
// twice the timeout), FreeTDS gives the link up, and the window returns to its state
// after "停止資料庫" instead of failing every later table and click on a dead link.
TEST_F(MainTest, AnImportThatTimesOutOnATdsServerLeavesTheWindowAsAfterTheStop) {
  if (!makeTdsPos()) GTEST_SKIP() << tds_->unavailableReason().toStdString();
  writeConfig("[MSSQL]\r\n" + tdsConfig_ +
              "CommandTimeout=2\r\n[Export Import]\r\nClassify=1\r\nSupplier=1\r\n");
  for (const char* table : {"Classify", "Supplier"}) {
    const bool classify = QByteArray(table) == "Classify";
    config::ColumnMap map;
    map.setKey(classify ? "ClsNo" : "FactNo", "K");
    map.addPair(classify ? "ClsNo" : "FactNo", "K");
    map.addPair(classify ? "ClsName" : "FactName", "N");
    map.write(path(QString(table) + ".ini"));
    writeAccessTable(path(QString(table) + ".mdb"), table, {"K", "N"},
                     {{classify ? "B02" : "S001", "新名"}});
  }
  startProgram();
  click("bbtnStartSQL");
  ASSERT_EQ(enabledButtons(), kConnected);
  ui_.messages.clear();
  {
    db::Connection holder;
    holder.setConnectionString(tds_->connectionString());
    holder.open();
    holder.execute("BEGIN TRANSACTION");
    holder.execute("UPDATE Classify SET ClsName = ClsName WHERE ClsNo = 'B02'");
    QElapsedTimer waited;
    waited.start();
    click("bbtnImport");
    const qint64 ms = waited.elapsed();
    EXPECT_GE(ms, 2000);
    EXPECT_LT(ms, 2000 + 2000 + 8000);  // the grace, and room for a slow machine
    holder.execute("ROLLBACK");
  }
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_EQ(errors()[0].text, db::Connection::timeoutMessage(2) + ".");
  EXPECT_TRUE(ui_.messages.back().text.startsWith("匯入結果：\n分類資料：失敗："))
      << ui_.messages.back().text.toStdString();
  EXPECT_TRUE(ui_.messages.back().text.contains("廠商資料：未執行：與 POS 的連線中斷了。"))
      << ui_.messages.back().text.toStdString();
  EXPECT_EQ(enabledButtons(), kDisconnected);
  EXPECT_EQ(rows(TfrmMain::tabClassify), 0);
  // The next start connects afresh.
  click("bbtnStartSQL");
  EXPECT_EQ(enabledButtons(), kConnected);
}

}  // namespace
}  // namespace app
