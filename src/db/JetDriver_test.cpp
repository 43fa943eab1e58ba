// The driver over the Access engine, seen through the layer's interfaces.
#include "JetErrorText.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "db/Dataset.h"

#include <jet/DatabaseWriter.h>
#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

namespace {

// A write the file system refuses: a full disk says so; either way the operator reads
// what to do first and the engine's words follow for support.
TEST(JetErrorText, AFullDiskOrAnUnwritableFileSaysWhatToDoBeforeTheEnginesText) {
  const std::string file = "/data/Item.mdb";
  const jet::Error full(file, std::string("cannot write the file (") + std::strerror(ENOSPC) + ")");
  EXPECT_EQ(db::jetErrorText(full),
            "磁碟空間不足，無法寫入 Access 檔案 /data/Item.mdb：請清出磁碟空間後再試一次。\n" +
                QString::fromStdString(full.what()));
  const jet::Error denied(file,
                          std::string("cannot create the file (") + std::strerror(EACCES) + ")");
  EXPECT_TRUE(db::jetErrorText(denied).startsWith("無法寫入 Access 檔案 /data/Item.mdb：請確認"));
  EXPECT_TRUE(db::jetErrorText(jet::Error::damaged(file, 7, "bad usage map"))
                  .startsWith("Access 檔案 /data/Item.mdb 已經損毀："));
  EXPECT_TRUE(db::jetErrorText(jet::Error(file, "not an Access database"))
                  .startsWith("/data/Item.mdb 不是 Access 檔案："));
  // Texts that name the table and the column already are left as they are.
  const jet::Error column(file, "table \"T\", column \"A\": the text has 5 characters");
  EXPECT_EQ(db::jetErrorText(column), QString::fromStdString(column.what()));
}

const QString kJet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return "no error";
}

class JetDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    path_ = dir_.filePath("Item.mdb");
    jet::DatabaseWriter::create(path_.toStdString());
  }
  QTemporaryDir dir_;
  // Table T as a reader sees it, through a connection of its own.
  void readBack(db::Connection& c, db::Dataset& ds) {
    c.setConnectionString(kJet + path_);
    ds.setConnection(&c);
    ds.setSql("SELECT * FROM T");
    ds.open();
  }

  QString path_;
};

TEST_F(JetDriverTest, CreatesTablesAndInsertsTextConvertedToTheColumnTypes) {
  {
    db::Connection c;
    c.setConnectionString(
        "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=" + path_);
    c.open();
    EXPECT_TRUE(c.tableNames().isEmpty());
  }
  db::Command create;
  create.setConnectionString(kJet + path_);
  create.setCommandText(
      "create table Item ([管理貨號] char(8),[售價] double,[成本] currency,[庫存量] integer,"
      "[建檔日期] datetime,[Flag] LOGICAL,[備註] memo,[其他] longtext)");
  create.execute();

  db::Command insert;
  insert.setConnectionString(kJet + path_);
  insert.setCommandText(
      "insert into Item([管理貨號],[售價],[成本],[庫存量],[建檔日期],[Flag],[備註],[其他]) "
      "values(:PARAM0,:PARAM1,:PARAM2,:PARAM3,:PARAM4,:PARAM5,:PARAM6,:PARAM7)");
  ASSERT_EQ(insert.parameterCount(), 8);
  const db::FieldType types[] = {db::ftString,   db::ftFloat,   db::ftCurrency, db::ftInteger,
                                 db::ftDateTime, db::ftBoolean, db::ftString,   db::ftBlob};
  for (int i = 0; i < 8; ++i) insert.setParamType(i, types[i]);
  const QStringList first = {"12345670", "0.1",      "12.3456", "-7", "2024/03/07 13:05:09",
                             "True",     "感冒糖漿", "x"};
  for (int i = 0; i < 8; ++i) insert.setParamText(i, first[i]);
  insert.execute();
  insert.setParamText(0, "00000017");
  for (int i = 1; i < 8; ++i) insert.setParamNull(i);
  insert.setParamText(4, "1930-01-02");  // ISO dates are accepted too
  insert.execute();
  insert.setParamText(3, "x");
  try {
    insert.execute();
    ADD_FAILURE() << "no error";
  } catch (const db::ParameterError& e) {
    EXPECT_EQ(e.index(), 3);
    EXPECT_EQ(e.message(), "「x」不是整數：這個欄位只能填整數（例如 12）");
  }
  insert.setParamText(3, "1");
  insert.setParamText(0, "123456789");  // longer than char(8)
  EXPECT_THROW(insert.execute(), platform::Error);
  insert.flush();  // the rows an open insert holds reach the file here or at its end

  db::Connection c;
  c.setConnectionString(kJet + path_);
  EXPECT_EQ(c.tableNames(), QStringList({"Item"}));
  db::Dataset ds("qryAccess");
  ds.setConnection(&c);
  ds.setSql("SELECT * FROM Item");
  ds.open();
  ASSERT_EQ(ds.recordCount(), 2);
  EXPECT_EQ(ds.fieldByName("管理貨號").size(), 8);
  EXPECT_EQ(ds.fieldByName("成本").dataType(), db::ftCurrency);
  EXPECT_EQ(ds.fieldByName("備註").dataType(), db::ftMemo);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(ds.field(i).asString(), first[i]) << i;
  ds.next();
  EXPECT_EQ(ds.fieldByName("管理貨號").asString(), "00000017");
  EXPECT_EQ(ds.fieldByName("建檔日期").asString(), "1930/01/02");
  EXPECT_TRUE(ds.fieldByName("售價").isNull());
  EXPECT_EQ(ds.fieldByName("Flag").asString(), "False");  // Access keeps no NULL booleans
  ds.close();

  // The reference reader sees the same rows.
  if (QStandardPaths::findExecutable("mdb-export").isEmpty()) GTEST_SKIP() << "mdb-export missing";
  QProcess mdb;
  mdb.start("mdb-export", {path_, "Item"});
  ASSERT_TRUE(mdb.waitForFinished(30000));
  const QString csv = QString::fromUtf8(mdb.readAllStandardOutput());
  EXPECT_TRUE(csv.contains("\"12345670\",0.1")) << csv.toStdString();
  EXPECT_TRUE(csv.contains("感冒糖漿")) << csv.toStdString();
  EXPECT_TRUE(csv.contains("\"00000017\"")) << csv.toStdString();
}

TEST_F(JetDriverTest, EmptyTextBindsNullEvenAfterAValueAndLongTextKeepsChinese) {
  db::Command create;
  create.setConnectionString(kJet + path_);
  create.setCommandText("create table T ([名稱] char(10),[數量] integer,[備註] longtext)");
  create.execute();
  db::Command insert;
  insert.setConnectionString(kJet + path_);
  insert.setCommandText("insert into T([名稱],[數量],[備註]) values(:PARAM0,:PARAM1,:PARAM2)");
  insert.setParamType(1, db::ftInteger);
  insert.setParamType(2, db::ftBlob);
  const QStringList rows[] = {{"阿斯匹靈", "3", "維他命C 發泡錠"}, {"", "", ""}, {"x", "", "乙"}};
  for (const QStringList& row : rows) {
    for (int i = 0; i < 3; ++i) insert.setParamText(i, row[i]);
    insert.execute();
  }
  EXPECT_TRUE(insert.paramIsNull(1));
  insert.flush();

  db::Connection c;
  db::Dataset ds("qryAccess");
  readBack(c, ds);
  ASSERT_EQ(ds.recordCount(), 3);
  for (const QStringList& row : rows) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ds.field(i).asString(), row[i]) << i;
      EXPECT_EQ(ds.field(i).isNull(), row[i].isEmpty()) << i;
    }
    ds.next();
  }
}

// Text is stored as Qt's UTF-8 of it, whatever the length of its characters (surrogate
// pairs, and a lone surrogate, included); a column the statement does not name stays
// NULL on every row.
TEST_F(JetDriverTest, TextOfEveryCharacterLengthIsStoredAsQtEncodesIt) {
  db::Command create;
  create.setConnectionString(kJet + path_);
  create.setCommandText("create table T ([名稱] char(20),[數量] integer,[備註] memo)");
  create.execute();
  db::Command insert;
  insert.setConnectionString(kJet + path_);
  insert.setCommandText("insert into T([名稱],[備註]) values(:PARAM0,:PARAM1)");
  const QString lone = QString(QChar(0xD800)) + "x";
  const QStringList texts = {
      "abc",           "café", "感冒糖漿",           QString::fromUtf8("\U0002000B藥"),
      "a é 感 \u00ff", lone,   "~\u07ff\u0800\uffff"};
  for (const QString& text : texts) {
    insert.setParamText(0, text);
    insert.setParamText(1, text + text);
    insert.execute();
  }
  insert.flush();

  db::Connection c;
  db::Dataset ds("qryAccess");
  readBack(c, ds);
  ASSERT_EQ(ds.recordCount(), texts.size());
  for (const QString& text : texts) {
    const QString stored = QString::fromUtf8(text.toUtf8());
    EXPECT_EQ(ds.fieldByName("名稱").asString(), stored);
    EXPECT_EQ(ds.fieldByName("備註").asString(), stored + stored);
    EXPECT_TRUE(ds.fieldByName("數量").isNull());
    ds.next();
  }
}

// Numbers and dates bound as text come back as the same text: floats that need 17
// digits or an exponent, dates before 1900, at midnight and with milliseconds, whole
// numbers at the ends of the column's range, NULL after a value.
TEST_F(JetDriverTest, NumbersAndDatesBoundAsTextReadBackAsTheSameText) {
  db::Command create;
  create.setConnectionString(kJet + path_);
  create.setCommandText("create table T ([X] double,[D] datetime,[N] integer,[C] currency)");
  create.execute();
  db::Command insert;
  insert.setConnectionString(kJet + path_);
  insert.setCommandText("insert into T([X],[D],[N],[C]) values(:P0,:P1,:P2,:P3)");
  insert.setParamType(0, db::ftFloat);
  insert.setParamType(1, db::ftDateTime);
  insert.setParamType(2, db::ftInteger);
  insert.setParamType(3, db::ftCurrency);
  const QStringList rows[] = {
      {"0.30000000000000004", "1899/12/29 13:00:00", "-2147483648", "12.3456"},
      {"-1.5E20", "1930/01/02", "2147483647", "-0.5"},
      {"", "", "", ""},
      {"-0.00012", "2024/02/29 08:00:00.123", "0", "1"},
      {"1234567890123456.8", "0100/01/01", "-7", ""},
  };
  for (const QStringList& row : rows) {
    for (int i = 0; i < 4; ++i) insert.setParamText(i, row[i]);
    insert.execute();
  }
  insert.flush();

  db::Connection c;
  db::Dataset ds("qryAccess");
  readBack(c, ds);
  ASSERT_EQ(ds.recordCount(), 5);
  for (const QStringList& row : rows) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ds.field(i).asString(), row[i]) << i;
    ds.next();
  }
}

TEST_F(JetDriverTest, CreatesAnEmptyFileOnlyWhereNoneIs) {
  // A folder whose name holds the separator of connection texts, quoted as a value.
  QDir(dir_.path()).mkpath("a;b=c");
  const QString path = dir_.filePath("a;b=c/Customer.mdb");
  const QString text = kJet + db::ConnectionString::quoteOleDb(path);
  db::Connection c;
  c.setConnectionString(text);
  c.createDatabase();
  EXPECT_TRUE(c.tableNames().isEmpty());
  c.close();
  EXPECT_EQ(errorOf([&] { c.createDatabase(); }), "Database '" + path + "' already exists.");

  db::Command create;
  create.setConnectionString(text);
  create.setCommandText("create table Customer ([會員編號] char(8))");
  create.execute();
  EXPECT_EQ(c.tableNames(), QStringList({"Customer"}));

  c.setConnectionString("Provider=SQLite;Data Source=" + dir_.filePath("x.sqlite"));
  EXPECT_EQ(errorOf([&] { c.createDatabase(); }), "This provider cannot create a database");
}

TEST_F(JetDriverTest, BracketsInNamesAreEscapedNotMistakenForTheirEnd) {
  db::Connection c;
  c.setConnectionString(kJet + path_);
  c.open();
  EXPECT_EQ(c.quoteName("a]b"), "[a]]b]");
  QStringList names;
  EXPECT_EQ(db::Command::translate("insert into T([x]]:y],[z]) values(:A,:B)", &names),
            "insert into T([x]]:y],[z]) values(?,?)");
  EXPECT_EQ(names, QStringList({"A", "B"}));
  // Access allows no bracket in a name: the engine says so instead of a syntax error.
  db::Command create;
  create.setConnection(&c);
  create.setCommandText("create table T (" + c.quoteName("單價]") + " double, [ok] integer)");
  EXPECT_TRUE(errorOf([&] { create.execute(); }).contains("does not allow in names"))
      << errorOf([&] { create.execute(); }).toStdString();
}

TEST_F(JetDriverTest, TablesWithIndexesAreRefusedBeforeAnythingIsWritten) {
  const QString copy = dir_.filePath("indexed.mdb");
  ASSERT_TRUE(QFile::copy(DATACONV_SHARED_DIR "/fixtures/jet4/indexTestV2000.mdb", copy));
  QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
  auto bytes = [&] {
    QFile f(copy);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  };
  const QByteArray before = bytes();
  db::Command insert;
  insert.setConnectionString(kJet + copy);
  insert.setCommandText("insert into Table3([id],[data]) values(:PARAM0,:PARAM1)");
  insert.setParamText(0, "1");
  insert.setParamText(1, "x");
  const QString message = errorOf([&] { insert.execute(); });
  EXPECT_EQ(message.toStdString(),
            (copy + ": the table \"Table3\" has an index (\"id\"), which this program "
                    "cannot keep up to date. Remove it in Microsoft Access, or delete the "
                    "table (or the file) so that it is made again, and try again; no rows "
                    "were added.")
                .toStdString());
  EXPECT_EQ(bytes(), before);
}

TEST_F(JetDriverTest, ReadsFilesMadeByAccess) {
  db::Connection c;
  c.setConnectionString(kJet + DATACONV_SHARED_DIR "/fixtures/jet4/testV2003.mdb");
  db::Dataset ds("qryAccess");
  ds.setConnection(&c);
  ds.setSql("SELECT * FROM Table1");
  ds.open();
  EXPECT_EQ(ds.recordCount(), 2);
  bool sawDouble = false;
  for (ds.first(); !ds.eof(); ds.next())
    for (int i = 0; i < ds.fieldCount(); ++i)
      if (ds.field(i).asString() == "444.555") sawDouble = true;
  EXPECT_TRUE(sawDouble);
}

TEST_F(JetDriverTest, MissingFileOrTableIsReported) {
  db::Connection c;
  c.setConnectionString(kJet + dir_.filePath("Customer.mdb"));
  EXPECT_EQ(errorOf([&] { c.open(); }),
            "無法讀取 Access 檔案 " + dir_.filePath("Customer.mdb") +
                "：找不到這個檔案：請先按「匯出檔案」，或確認檔案放在程式資料夾");
  c.setConnectionString(kJet + path_);
  db::Dataset ds("qryAccess");
  ds.setConnection(&c);
  ds.setSql("SELECT * FROM Customer");
  EXPECT_EQ(errorOf([&] { ds.open(); }),
            "The Microsoft Jet database engine cannot find the input table or query 'Customer'.");
}

}  // namespace
