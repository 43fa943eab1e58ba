// The product's promise: what "匯出檔案" writes, "匯入檔案" reads back, so that a POS
// whose rows were changed or deleted after an export ends equal to what was exported.
#include "DemoPos.h"
#include "E2eSupport.h"
#include "ReferenceReaders.h"

#include <config/ColumnMap.h>
#include <posdb/DmMdf.h>

#include <gtest/gtest.h>
#include <QFile>

namespace e2e {
namespace {

const QString kExportReport = QStringLiteral(
    "匯出狀態：\r\n匯出分類資料完成。\r\n匯出商品資料完成。\r\n匯出廠商資料完成。\r\n"
    "匯出客戶資料完成。");
const QString kImportReport = QStringLiteral(
    "匯入狀態：\r\n匯入分類資料完成。\r\n匯入商品資料完成。\r\n匯入廠商資料完成。\r\n"
    "匯入客戶資料完成。");

// An item number with its check digit.
QString itemNo(const QString& seven) {
  return seven + QChar::fromLatin1(demopos::itemCheckDigit(seven));
}

class RoundTripTest : public ProgramTest {
 protected:
  // Starts the program, exports every table, changes the POS behind the export with
  // `changes`, starts again and imports: the POS must hold `original` again.
  void exportChangeAndImportBack(const PosSnapshot& original, const QStringList& changes) {
    startProgram();
    click("bbtnStartSQL");
    ASSERT_TRUE(lastShown().information) << lastShown().text.toStdString();
    click("bbtnExport");
    ASSERT_TRUE(lastShown().information) << lastShown().text.toStdString();
    EXPECT_EQ(lastShown().text, kExportReport);

    click("bbtnStopSQL");
    runSql(changes);
    ASSERT_NE(differences(original, snapshot()), "");
    click("bbtnStartSQL");
    click("bbtnImport");
    ASSERT_TRUE(lastShown().information) << lastShown().text.toStdString();
    EXPECT_EQ(lastShown().text, kImportReport);
    EXPECT_EQ(ui_.busyDepth, 0);

    EXPECT_EQ(differences(original, snapshot()), "");
  }
};

TEST_F(RoundTripTest, ExportThenImportRestoresEveryColumnOfAChangedPos) {
  const QString special = itemNo("9876543");
  // Rows at the edges: full-width Big5 texts, dates before 1900 and at midnight, floats
  // that need all their digits, extreme whole numbers, false booleans and NULLs.
  makePos(
      300,
      {
          "INSERT INTO Classify (ClsNo, ClsName, Flag, Void) VALUES "
          "('999', '一二三四五六七八九十一二三四五六七八九十', 0, NULL)",
          "INSERT INTO Supplier (FactNo, FactName, DisRate, TradeDate, LastUpdate) VALUES "
          "('Z999', '全寬廠商名稱全寬廠商名稱全寬廠商名稱全寬', 0.075, '1900-01-01 00:00:00', "
          "'1899-12-30 00:00:00')",
          "INSERT INTO Item (ItemNo, PtName, UniPrice, Price, MemPrice, StkQty, RegSafeQty, "
          "ImUpDate, MTDate, Void, Notes) VALUES ('" +
              special +
              "', "
              "'維他命Ｃ發泡錠維他命Ｃ發泡錠維他命Ｃ發泡', 1234567.891, 0.30000000000000004, 1e-7, "
              "-2147483648, 32767, '2024-02-29 13:05:09', '1850-02-28 00:00:00', 'N', "
              "'備註：含「引號」與, 逗號')",
          "INSERT INTO Customer (CustNo, Name, Birthday, ChkDate, DateB, Height, DebtTtl, "
          "VipCount) VALUES ('M9000001', '王陳林李張黃吳劉蔡楊', '1850-02-28 00:00:00', "
          "'1899-12-30 00:00:00', '1899-12-29 23:59:59', 170.25, -12345.678901234, 2147483647)",
      });
  const PosSnapshot original = snapshot();
  ASSERT_EQ(original.at("Item").at(special).size(), 44);

  // The operator changes and deletes rows in the POS after the export.
  exportChangeAndImportBack(
      original,
      {
          "UPDATE Classify SET ClsName = '改過', Flag = 1, Void = 'Y' WHERE ClsNo = '999'",
          "DELETE FROM Classify WHERE ClsNo = '002'",
          "UPDATE Supplier SET DisRate = 0.5, Addr = '新地址', TradeDate = NULL WHERE FactNo = "
          "'Z999'",
          "DELETE FROM Supplier WHERE rowid IN (SELECT rowid FROM Supplier LIMIT 2)",
          "UPDATE Item SET PtName = 'x', Price = NULL, StkQty = 0, MTDate = '2000-01-01 00:00:00', "
          "Notes = NULL WHERE ItemNo = '" +
              special + "'",
          "UPDATE Item SET Notes = '改', ShelfNo = NULL, AvgCost = AvgCost + 1 WHERE rowid % 7 = 0",
          "DELETE FROM Item WHERE rowid IN (SELECT rowid FROM Item LIMIT 5 OFFSET 10)",
          "UPDATE Customer SET Birthday = '2000-01-01 00:00:00', Name = NULL, Height = 1 "
          "WHERE CustNo = 'M9000001'",
          "UPDATE Customer SET EMail = 'x@example.com', VipCount = VipCount + 1 WHERE rowid % 5 = "
          "0",
          "DELETE FROM Customer WHERE CustNo = 'M0000002'",
      });
}

TEST_F(RoundTripTest, ExportedFilesReadAlikeInEveryReaderAndTwiceDoublesTheRows) {
  makePos(300);
  startProgram();
  click("bbtnStartSQL");
  click("bbtnExport");
  ASSERT_EQ(lastShown().text, kExportReport);
  const QByteArray itemMap = [&] {
    QFile f(path("Item.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  posdb::TDmMSSQL& pos = program_->DmMSSQL();
  for (const QString table : {"Classify", "Item", "Supplier", "Customer"}) {
    SCOPED_TRACE(table.toStdString());
    const std::string mdb = path(table + ".mdb").toStdString();
    EXPECT_EQ(jet::testing::mdbtoolsProblems(mdb), "");
    EXPECT_EQ(jet::testing::readersDisagree(mdb), "");
    // The program's own inspection tool reads the same rows under the same headings.
    const auto ours = jet::testing::parseCsv(
        jet::testing::runCommand(std::string(DATACONV_BINARY_DIR) +
                                 "/tools/mdbtool/mdbtool export " + jet::testing::shellQuoted(mdb) +
                                 " " + table.toStdString())
            .out);
    const auto theirs = jet::testing::mdbExport(mdb, table.toStdString());
    ASSERT_EQ(ours.size(), theirs.size() + 1);  // mdbtool writes its header row
    const config::ColumnMap map = config::ColumnMap::readTable(table);
    ASSERT_EQ(int(ours[0].size()), map.count());
    for (int i = 0; i < map.count(); ++i)
      EXPECT_EQ(QString::fromStdString(ours[0][size_t(i)]), map.pairs()[size_t(i)].display);
    EXPECT_EQ(int(theirs.size()), pos.queryOf(table)->recordCount());
  }

  click("bbtnExport");
  QFile again(path("Item.ini"));
  ASSERT_TRUE(again.open(QIODevice::ReadOnly));
  EXPECT_EQ(again.readAll(), itemMap);
  EXPECT_EQ(int(jet::testing::mdbExport(path("Item.mdb").toStdString(), "Item").size()),
            2 * pos.qryItem.recordCount());
  EXPECT_EQ(jet::testing::readersDisagree(path("Item.mdb").toStdString()), "");
}

// The route every shop uses: SQL Server's protocol through FreeTDS, a server whose
// varchar columns hold code-page bytes (two a Chinese character) while the link carries
// UTF-8 (three). Texts that fill their columns exactly must come back whole, and an
// edit of one column must leave the others of the row as they were.
TEST_F(RoundTripTest, ExportThenImportRestoresEveryColumnOverTheTdsServer) {
  useRoute(PosRoute::Tds);
  if (IsSkipped()) return;
  const QString special = itemNo("9876543");
  makePos(300,
          {
              "INSERT INTO Classify (ClsNo, ClsName, Flag, Void) VALUES "
              "('999', '一二三四五六七八九十一二三四五六七八九十', 0, NULL)",
              // Bank, Branch, Responser and Contact are varchar(10): five characters each.
              "INSERT INTO Supplier (FactNo, FactName, Bank, Branch, Responser, Contact, "
              "DisRate, TradeDate, LastUpdate) VALUES ('Z999', "
              "'全寬廠商名稱全寬廠商名稱全寬廠商名稱全寬', '土地銀行甲', '第一分行乙', "
              "'王小明先生', '陳美麗小姐', 0.075, '1900-01-01 00:00:00', '1899-12-30 00:00:00')",
              "INSERT INTO Item (ItemNo, PtName, PtSpec, UniPrice, Price, MemPrice, StkQty, "
              "RegSafeQty, EmgSafeQty, ImUpDate, MTDate, Void, Notes) VALUES ('" +
                  special +
                  "', '維他命Ｃ發泡錠維他命Ｃ發泡錠維他命Ｃ發泡', "
                  "'規格規格規格規格規格規格規格規格規格規格規格規格規', "
                  "1234567.891, 0.30000000000000004, 1e-7, -2147483648, 32767, -32768, "
                  "'2024-02-29 13:05:09.997', '1850-02-28 00:00:00', 'N', "
                  "'備註：含「引號」與, 逗號')",
              "INSERT INTO Customer (CustNo, Name, Address, Birthday, ChkDate, DateB, Height, "
              "DebtTtl, VipCount, Notes, EMail) VALUES ('M9000001', '王陳林李張黃吳劉蔡楊', "
              "'臺北市中正區重慶南路一段一二三號四樓之五臺北市中正', "
              "'1753-01-01 00:00:00', '1899-12-30 00:00:00', '1899-12-29 23:59:59', 170.25, "
              "-12345.678901234, 2147483647, NULL, NULL)",
          });
  const PosSnapshot original = snapshot();
  ASSERT_EQ(original.at("Item").at(special).size(), 44);
  ASSERT_EQ(original.at("Supplier").at("Z999").filter("Bank=").value(0), "Bank=土地銀行甲");

  exportChangeAndImportBack(
      original,
      {
          "UPDATE Classify SET ClsName = N'改過', Flag = 1, Void = 'Y' WHERE ClsNo = '999'",
          "DELETE FROM Classify WHERE ClsNo = '002'",
          "UPDATE Supplier SET DisRate = 0.5, Addr = N'新地址', TradeDate = NULL, Bank = NULL "
          "WHERE FactNo = 'Z999'",
          "DELETE FROM Supplier WHERE FactNo IN (SELECT TOP 2 FactNo FROM Supplier ORDER BY "
          "FactNo)",
          "UPDATE Item SET PtName = 'x', Price = NULL, StkQty = 0, MTDate = '2000-01-01 00:00:00', "
          "ImUpDate = NULL, Notes = NULL WHERE ItemNo = '" +
              special + "'",
          "UPDATE Item SET Notes = N'改', ShelfNo = NULL, AvgCost = AvgCost + 1 "
          "WHERE RIGHT(ItemNo, 1) IN ('0', '7')",
          "DELETE FROM Item WHERE ItemNo IN (SELECT TOP 5 ItemNo FROM Item WHERE ItemNo > '2' "
          "ORDER BY ItemNo)",
          "UPDATE Customer SET Birthday = '2000-01-01 00:00:00', Name = NULL, Height = 1, "
          "Address = N'短' WHERE CustNo = 'M9000001'",
          "UPDATE Customer SET EMail = 'x@example.com', VipCount = VipCount + 1 "
          "WHERE RIGHT(CustNo, 1) IN ('0', '5')",
          "DELETE FROM Customer WHERE CustNo = 'M0000002'",
      });
}

}  // namespace
}  // namespace e2e
