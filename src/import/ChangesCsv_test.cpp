// The changes file of an import preview, read back byte for byte.
#include "import/ChangesCsv.h"

#include <platform/Error.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

namespace dataimport {
namespace {

QByteArray bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}

const QByteArray kHead =
    "\xEF\xBB\xBF"
    "table,key,column,heading,pos_value,access_value\r\n";

TEST(ChangesCsvTest, QuotesWhatNeedsItAndWritesUtf8WithBomAndCrLf) {
  QTemporaryDir dir;
  const QString path = dir.filePath("changes.csv");
  {
    // The headings as the column map file gives them; one it does not know stays empty.
    ChangesCsv csv(path, [](const QString& table, const QString& column) {
      if (table == "Supplier" && column == "FactName") return QStringLiteral("廠商名稱");
      if (table == "Classify" && column == "ClsNo") return QStringLiteral("小分類,編號");
      return QString();
    });
    journal::RowChange update{"Supplier", "FactNo", "S,1", journal::RowChange::Action::Update, {}};
    update.cells = {{"FactName", db::ftString, QStringLiteral("舊 \"名\""), QStringLiteral("新名")},
                    {"Addr", db::ftString, QVariant(), QStringLiteral("line1\r\nline2")},
                    {"Notes", db::ftString, QStringLiteral(" padded"), QVariant()}};
    csv.add(update);
    journal::RowChange append{"Classify", "ClsNo", "A1", journal::RowChange::Action::Append, {}};
    append.cells = {{"ClsNo", db::ftString, QVariant(), QStringLiteral("A1")},
                    {"ClsName", db::ftString, QVariant(), QStringLiteral("x\ny")}};
    csv.add(append);
    csv.add(journal::RowChange{
        "Classify", "ClsNo", "A2", journal::RowChange::Action::Update, {}});  // no line
    csv.commit();
  }
  const QByteArray expected =
      kHead + QStringLiteral(
                  "Supplier,\"S,1\",FactName,廠商名稱,\"舊 \"\"名\"\"\",新名\r\n"
                  "Supplier,\"S,1\",Addr,,,\"line1\r\nline2\"\r\n"
                  "Supplier,\"S,1\",Notes,,\" padded\",\r\n"
                  "Classify,A1,ClsNo,\"小分類,編號\",,A1\r\n"
                  "Classify,A1,ClsName,,,\"x\ny\"\r\n")
                  .toUtf8();
  EXPECT_EQ(bytes(path), expected);
}

// A cell that a spreadsheet would run as a formula shows as text; a reader that drops a
// field's first "'" has every value back; numbers stay numbers.
TEST(ChangesCsvTest, CellsThatStartLikeAFormulaAreWrittenAsTextAndNumbersStayNumbers) {
  QTemporaryDir dir;
  const QString path = dir.filePath("changes.csv");
  {
    ChangesCsv csv(path);
    journal::RowChange c{"Customer", "CustNo", "=1+1", journal::RowChange::Action::Update, {}};
    c.cells = {
        {"Name", db::ftString, QStringLiteral("@SUM(A1)"), QStringLiteral("=HYPERLINK(\"x\")")},
        {"Notes", db::ftString, QStringLiteral("\tx"), QStringLiteral("'quoted")},
        {"TelNo", db::ftString, QStringLiteral("+886-2"), QStringLiteral("-cmd|' /C calc'!A0")},
        {"EMail", db::ftString, QStringLiteral("\rx"), QStringLiteral("a=b")},
        {"VipCount", db::ftInteger, qint64(-5), qint64(12)},
        {"Height", db::ftFloat, -1.5, 1e-7}};
    csv.add(c);
    journal::RowChange stock{"Item", "ItemNo", "1", journal::RowChange::Action::Update, {}};
    stock.cells = {{"StkQty", db::ftInteger, qint64(10), qint64(15), true}};
    csv.add(stock);
    csv.commit();
  }
  const QByteArray expected =
      kHead + QStringLiteral(
                  "Customer,'=1+1,Name,,'@SUM(A1),\"'=HYPERLINK(\"\"x\"\")\"\r\n"
                  "Customer,'=1+1,Notes,,'\tx,''quoted\r\n"
                  "Customer,'=1+1,TelNo,,'+886-2,'-cmd|' /C calc'!A0\r\n"
                  "Customer,'=1+1,EMail,,\"'\rx\",a=b\r\n"
                  "Customer,'=1+1,VipCount,,-5,12\r\n"
                  "Customer,'=1+1,Height,,-1.5,1e-07\r\n"
                  "Item,1,StkQty,,10,+5\r\n")
                  .toUtf8();
  EXPECT_EQ(bytes(path), expected);
}

TEST(ChangesCsvTest, NothingAppearsUnlessCommittedAndAnOldFileStaysUntilThen) {
  QTemporaryDir dir;
  const QString path = dir.filePath("changes.csv");
  {
    ChangesCsv csv(path);
    csv.add(journal::RowChange{"Item",
                               "ItemNo",
                               "1",
                               journal::RowChange::Action::Append,
                               {{"PtName", db::ftString, {}, "a"}}});
  }
  EXPECT_FALSE(QFile::exists(path));
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  {
    ChangesCsv csv(path);
    EXPECT_EQ(bytes(path), "old");
    csv.commit();
  }
  EXPECT_EQ(bytes(path), kHead);
}

TEST(ChangesCsvTest, APathThatCannotBeWrittenFailsAtOnceWithItsName) {
  QTemporaryDir dir;
  const auto messageFor = [](const QString& path) -> QString {
    try {
      ChangesCsv csv(path);
    } catch (const platform::Error& e) {
      return e.message();
    }
    return QStringLiteral("no error");
  };
  const QString missing = dir.filePath("no/such/folder/c.csv");
  EXPECT_TRUE(messageFor(missing).startsWith("無法寫入變更清單 " + missing + "：請確認資料夾存在"));
  EXPECT_EQ(messageFor(dir.path()), "無法寫入變更清單 " + dir.path() +
                                        "：這是一個資料夾，請指定一個檔案名稱，例如 changes.csv。");
  if (::geteuid() == 0) return;  // permission bits do not stop root
  const QString readOnly = dir.filePath("ro.csv");
  {
    QFile f(readOnly);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
  }
  QFile::setPermissions(readOnly, QFile::ReadOwner);
  EXPECT_TRUE(messageFor(readOnly).startsWith("無法寫入變更清單 " + readOnly + "："));
  EXPECT_EQ(bytes(readOnly), "keep");
}

}  // namespace
}  // namespace dataimport
