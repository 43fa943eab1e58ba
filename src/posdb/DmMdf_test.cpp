#include "posdb/DmMdf.h"

#include <config/Configs.h>
#include <db/ConnectionString.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <thread>

using posdb::TDmMSSQL;

namespace {

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return "no error";
}

QString readDdl(const char* file) {
  QFile f(QString(DATACONV_SOURCE_DIR "/sql/") + file);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file;
  return QString::fromUtf8(f.readAll());
}

void runScript(db::Connection& c, const QString& script) {
  for (const QString& s : script.split(';')) {
    QString code;
    for (const QString& line : s.split('\n'))
      if (!line.trimmed().startsWith("--")) code += line + '\n';
    if (!code.trimmed().isEmpty()) c.execute(code);
  }
}

class DmMdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
  }
  void TearDown() override {
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  // An SQLite POS database in the program folder, named in Config.ini.
  db::Connection& makeSqlitePos() {
    QFile f(dir_.filePath("pos.sqlite"));
    f.open(QIODevice::WriteOnly);
    f.close();
    config::Config().writeString("MSSQL", "Provider", "SQLite");
    config::Config().writeString("MSSQL", "Database", "pos.sqlite");
    admin_.setConnectionString("Provider=SQLite;Data Source=" + dir_.filePath("pos.sqlite"));
    admin_.open();
    runScript(admin_, readDdl("pos-sqlite.sql"));
    fill(admin_);
    return admin_;
  }

  static void fill(db::Connection& c) {
    c.execute("INSERT INTO Classify (ClsNo, ClsName, Flag, Void) VALUES ('B1', '成藥', TRUE, 'N')");
    c.execute(
        "INSERT INTO Classify (ClsNo, ClsName, Flag, Void) VALUES ('A1', '保健', FALSE, NULL)");
    c.execute("INSERT INTO Supplier (FactNo, FactName, DisRate) VALUES ('S002', '永信藥品', 0.95)");
    c.execute("INSERT INTO Supplier (FactNo, FactName) VALUES ('S001', '台灣武田')");
    c.execute(
        "INSERT INTO Item (ItemNo, PtName, SupplierNo, Price, StkQty) VALUES ('12345670', "
        "'感冒糖漿', 'S001', 120.5, 1200)");
    c.execute("INSERT INTO Item (ItemNo, PtName, SupplierNo) VALUES ('00000017', '口罩', 'S999')");
    c.execute("INSERT INTO Item (ItemNo, PtName) VALUES ('55555556', '棉花棒')");
    c.execute(
        "INSERT INTO Customer (CustNo, Name, IdNo, Birthday) VALUES ('C0000002', '王小明', "
        "'A123456789', '1930-05-06 00:00:00')");
    c.execute("INSERT INTO Customer (CustNo, Name) VALUES ('C0000001', '陳美麗')");
  }

  QTemporaryDir dir_;
  db::Connection admin_;
};

TEST_F(DmMdfTest, DeclaresTheFourQueries) {
  TDmMSSQL dm;
  EXPECT_EQ(dm.qryClassify.fieldCount(), 4);
  EXPECT_EQ(dm.qrySupplier.fieldCount(), 26);
  EXPECT_EQ(dm.qryItem.fieldCount(), 45);
  EXPECT_EQ(dm.qryCustomer.fieldCount(), 24);
  EXPECT_EQ(dm.qryCustomer.sql(), "select * from Customer\n ");
  const db::Field& factName = dm.qryItem.field(7);
  EXPECT_EQ(factName.fieldName(), "FactName");
  EXPECT_TRUE(factName.isLookup());
  EXPECT_EQ(factName.displayLabel(), "廠商名稱");
  EXPECT_EQ(dm.qryCustomer.fieldByName("email").displayLabel(), "EMail");
  EXPECT_EQ(dm.qryCustomer.fieldByName("IdNo").editMask(), ">l999999999;0; ");
  EXPECT_TRUE(dm.qryItem.fieldByName("Void").isFixedChar());
  EXPECT_EQ(dm.qryItem.fieldByName("Void").dataType(), db::ftString);
  EXPECT_EQ(dm.qryItem.fieldByName("ImUpDate").displayFormat(), "yyyy/mm/dd");
  EXPECT_EQ(dm.qryItem.fieldByName("StkQty").displayFormat(), "#,#0");
  EXPECT_EQ(dm.qryItem.fieldByName("RegSafeQty").dataType(), db::ftSmallint);
  EXPECT_EQ(dm.qryClassify.fieldByName("Flag").dataType(), db::ftBoolean);
  EXPECT_EQ(dm.dsItem.dataset(), &dm.qryItem);
  EXPECT_EQ(dm.queryOf("customer"), &dm.qryCustomer);
  EXPECT_EQ(TDmMSSQL::keyOf("Item"), "ItemNo");
}

TEST_F(DmMdfTest, ConnectionTextFromConfigQuotesWhatWouldBreakIt) {
  EXPECT_EQ(TDmMSSQL::connectionString(posdb::PosSettings::fromConfig()),
            "Provider=SQLOLEDB.1;Password=kora;Persist Security Info=True;User ID=sa;"
            "Initial Catalog=KAROS;Data Source=127.0.0.1");
  config::Config().writeString("MSSQL", "Password", "pa;User ID=admin");
  config::Config().writeString("MSSQL", "Host", "pos\\SQLEXPRESS");
  const QString text = TDmMSSQL::connectionString(posdb::PosSettings::fromConfig());
  const auto cs = db::ConnectionString::parse(text);
  EXPECT_EQ(cs.value("Password"), "pa;User ID=admin");
  EXPECT_EQ(cs.value("User ID"), "sa");
  EXPECT_EQ(cs.value("Data Source"), "pos\\SQLEXPRESS");
}

TEST_F(DmMdfTest, StartOpensAndSortsTheQueriesAndStopClosesThem) {
  makeSqlitePos();
  TDmMSSQL dm;
  dm.start();
  EXPECT_TRUE(dm.cnKAROS.isConnected());
  EXPECT_EQ(dm.qryClassify.fieldByName("ClsNo").asString(), "A1");
  EXPECT_EQ(dm.qrySupplier.fieldByName("FactNo").asString(), "S001");
  EXPECT_EQ(dm.qryCustomer.fieldByName("CustNo").asString(), "C0000001");
  db::Dataset& item = dm.qryItem;
  EXPECT_EQ(item.recordCount(), 3);
  EXPECT_EQ(item.sort(), "ItemNo");
  EXPECT_EQ(item.fieldByName("ItemNo").asString(), "00000017");
  EXPECT_EQ(item.fieldByName("FactName").asString(), "");  // S999 is no supplier
  item.next();
  EXPECT_EQ(item.fieldByName("FactName").asString(), "台灣武田");
  EXPECT_EQ(item.fieldByName("Price").displayText(), "120.50");
  EXPECT_EQ(item.fieldByName("StkQty").displayText(), "1,200");
  item.next();
  EXPECT_TRUE(item.fieldByName("FactName").isNull());

  // What the import does: locate by key, edit or append, set from text, post.
  ASSERT_TRUE(item.locate("ItemNo", "12345670"));
  item.edit();
  item.fieldByName("PtName").setAsString(
      "感冒糖漿（大瓶裝）特價品品品品品品品品品品品品品品品品品品");
  item.fieldByName("FactName").setAsString("ignored");
  item.post();
  item.append();
  item.fieldByName("ItemNo").setAsString("12345601");
  item.fieldByName("ImUpDate").setAsString("2024/01/31");
  item.post();
  dm.stop();
  EXPECT_FALSE(dm.qryItem.isOpen());
  EXPECT_FALSE(dm.qrySupplier.isOpen());
  EXPECT_TRUE(dm.cnKAROS.connectionString().isEmpty());

  dm.start();  // reads the configuration afresh and reconnects
  ASSERT_TRUE(dm.qryItem.locate("ItemNo", "12345670"));
  EXPECT_EQ(dm.qryItem.fieldByName("PtName").asString(),
            "感冒糖漿（大瓶裝）特價品品品品品品品品品");  // 40 Big5 bytes
  ASSERT_TRUE(dm.qryItem.locate("ItemNo", "12345601"));
  EXPECT_EQ(dm.qryItem.fieldByName("ImUpDate").displayText(), "2024/01/31");
}

TEST_F(DmMdfTest, OpenFailuresStopTheStartWithTheirText) {
  db::Connection& c = makeSqlitePos();
  c.execute("ALTER TABLE Classify ADD Extra varchar(5)");  // not declared: ignored
  c.execute("ALTER TABLE Item DROP COLUMN ShelfNo");
  TDmMSSQL dm;
  EXPECT_EQ(errorOf([&] { dm.start(); }), "qryItem: Field '貨架' not found");
  EXPECT_TRUE(dm.qryClassify.isOpen());  // what opened before stays until the next start
  EXPECT_FALSE(dm.qryItem.isOpen());
  EXPECT_FALSE(dm.qryCustomer.isOpen());
  c.execute("ALTER TABLE Item ADD ShelfNo varchar(3)");
  c.execute("ALTER TABLE Classify DROP COLUMN Flag");
  EXPECT_EQ(errorOf([&] { dm.start(); }), "qryClassify: Field 'Flag' not found");
  EXPECT_FALSE(dm.qrySupplier.isOpen());
  c.execute("ALTER TABLE Classify ADD Flag varchar(1)");
  EXPECT_EQ(errorOf([&] { dm.start(); }),
            "qryClassify: Type mismatch for field 'Flag', expecting: Boolean actual: String");
}

TEST_F(DmMdfTest, BothStartPathsReportTheFirstFailureInTableOrder) {
  db::Connection& c = makeSqlitePos();
  c.execute("DROP TABLE Customer");
  c.execute("ALTER TABLE Classify DROP COLUMN Flag");
  TDmMSSQL dm;
  // Classify is opened and checked before Customer is looked for.
  EXPECT_EQ(errorOf([&] { dm.start(); }), "qryClassify: Field 'Flag' not found");
  posdb::PosSnapshot snap = TDmMSSQL::fetch(posdb::PosSettings::fromConfig(), nullptr);
  EXPECT_EQ(errorOf([&] { dm.adopt(std::move(snap)); }), "qryClassify: Field 'Flag' not found");
  c.execute("ALTER TABLE Classify ADD Flag boolean");
  const QString missing = errorOf([&] { dm.start(); });
  EXPECT_TRUE(missing.contains("Customer", Qt::CaseInsensitive)) << missing.toStdString();
  EXPECT_TRUE(dm.qryItem.isOpen());
  EXPECT_FALSE(dm.qryCustomer.isOpen());
}

TEST_F(DmMdfTest, UnreachableServerGivesTheDriverText) {
  config::Config().writeString("MSSQL", "Host", "127.0.0.1,1");
  TDmMSSQL dm;
  const QString error = errorOf([&] { dm.start(); });
  EXPECT_TRUE(error.contains("[FreeTDS]")) << error.toStdString();
  EXPECT_FALSE(dm.cnKAROS.isConnected());
  EXPECT_FALSE(dm.qryClassify.isOpen());
}

TEST_F(DmMdfTest, TheCommandTimeoutComesFromConfigAndReachesTheConnection) {
  makeSqlitePos();
  EXPECT_EQ(posdb::PosSettings::fromConfig().commandTimeout, 30);
  config::Config().writeString("MSSQL", "CommandTimeout", "-5");
  EXPECT_EQ(posdb::PosSettings::fromConfig().commandTimeout, 0);
  config::Config().writeString("MSSQL", "CommandTimeout", "7");
  TDmMSSQL dm;
  dm.start();
  EXPECT_EQ(dm.cnKAROS.commandTimeout(), 7);
}

// A fetch cancelled from another thread before it reaches its statements stops there.
TEST_F(DmMdfTest, ACancelledFetchStops) {
  makeSqlitePos();
  posdb::FetchCancel cancel;
  cancel.cancel();
  EXPECT_TRUE(cancel.cancelled());
  EXPECT_EQ(errorOf([&] { TDmMSSQL::fetch(posdb::PosSettings::fromConfig(), nullptr, &cancel); }),
            db::Connection::cancelledMessage());
}

TEST_F(DmMdfTest, SplitStartFetchesOnAWorkerThread) {
  makeSqlitePos();
  TDmMSSQL dm;
  const posdb::PosSettings settings = posdb::PosSettings::fromConfig();
  QThread* ui = QThread::currentThread();
  posdb::PosSnapshot snap;
  QString error;
  std::thread worker([&] {
    try {
      snap = TDmMSSQL::fetch(settings, ui);
    } catch (const platform::Error& e) {
      error = e.message();
    }
  });
  worker.join();
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  dm.adopt(std::move(snap));
  EXPECT_TRUE(dm.cnKAROS.isConnected());
  EXPECT_EQ(dm.qryItem.fieldByName("ItemNo").asString(), "00000017");
  ASSERT_TRUE(dm.qryCustomer.locate("CustNo", "C0000002"));
  EXPECT_EQ(dm.qryCustomer.fieldByName("Birthday").asString(), "1930/05/06");
  dm.qryCustomer.edit();
  dm.qryCustomer.fieldByName("Weight").setAsString("61.5");
  dm.qryCustomer.post();  // the handed-over connection writes on this thread
  dm.stop();
  dm.start();
  ASSERT_TRUE(dm.qryCustomer.locate("CustNo", "C0000002"));
  EXPECT_EQ(dm.qryCustomer.fieldByName("Weight").asString(), "61.5");
}

TEST_F(DmMdfTest, PostgresTablesMatchTheDeclarations) {
  const char* dsn = std::getenv("DATACONV_TEST_PG_DSN");
  if (!dsn || !*dsn) GTEST_SKIP() << "DATACONV_TEST_PG_DSN is not set";
  const QString schema = "p_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
  db::Connection admin;
  admin.setConnectionString(QString::fromUtf8(dsn));
  admin.open();
  admin.execute("CREATE SCHEMA " + schema);
  const QString text = QString::fromUtf8(dsn) + ";ConnSettings={SET search_path TO " + schema + "}";
  {
    db::Connection c;
    c.setConnectionString(text);
    c.open();
    runScript(c, readDdl("pos-postgresql.sql"));
    fill(c);
    TDmMSSQL dm;
    dm.startWith(text);
    EXPECT_EQ(dm.qryItem.recordCount(), 3);
    ASSERT_TRUE(dm.qryItem.locate("ItemNo", "00000017"));
    dm.qryItem.edit();
    dm.qryItem.fieldByName("Percent").setAsString("0.05");
    dm.qryItem.fieldByName("RegSafeQty").setAsString("12");
    dm.qryItem.fieldByName("MTDate").setAsString("2025/06/30 17:45:00");
    dm.qryItem.post();
    dm.stop();
    dm.startWith(text);
    ASSERT_TRUE(dm.qryItem.locate("ItemNo", "00000017"));
    EXPECT_EQ(dm.qryItem.fieldByName("Percent").asString(), "0.05");
    EXPECT_EQ(dm.qryItem.fieldByName("MTDate").asString(), "2025/06/30 17:45:00");
    EXPECT_EQ(dm.qryClassify.fieldByName("Flag").asString(), "False");
  }
  admin.execute("DROP SCHEMA " + schema + " CASCADE");
}

}  // namespace
