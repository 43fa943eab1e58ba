// The product's promise: what "匯出檔案" writes, "匯入檔案" reads back, so that a POS
// whose rows were changed or deleted after an export ends equal to what was exported.
#include "DemoPos.h"
#include "E2eSupport.h"
#include "ReferenceReaders.h"

#include <config/ColumnMap.h>
#include <db/ValueText.h>
#include <posdb/DmMdf.h>
#include <xlsx/XlsxReader.h>

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <tuple>

namespace e2e {
namespace {

const QString kExportReport = QStringLiteral("匯出結果：");
const QString kImportReport = QStringLiteral("匯入結果：");

// The report window's text says every table was done ("分類資料：完成，…").
QString allDone(const QString& report, const QString& title) {
  if (!report.startsWith(title)) return report;
  for (const char* word : {"分類資料", "商品資料", "廠商資料", "會員資料"})
    if (!report.contains(QString::fromUtf8(word) + QStringLiteral("：完成"))) return report;
  return title;
}

// An item number with its check digit.
QString itemNo(const QString& seven) {
  return seven + QChar::fromLatin1(demopos::itemCheckDigit(seven));
}

class RoundTripTest : public ProgramTest {
 protected:
  // Every message shown so far, for a failure's explanation.
  std::string shownMessages() const {
    QStringList all;
    for (const RecordingUi::Shown& s : ui_.shown) all << s.text;
    return all.join(QStringLiteral("\n---\n")).toStdString();
  }

  // Starts the program, exports every table, changes the POS behind the export with
  // `changes`, starts again and imports: the POS must hold `original` again.
  void exportChangeAndImportBack(const PosSnapshot& original, const QStringList& changes) {
    startProgram();
    click("bbtnStartSQL");
    ASSERT_TRUE(lastShown().information) << lastShown().text.toStdString();
    click("bbtnExport");
    ASSERT_TRUE(lastShown().information) << lastShown().text.toStdString();
    EXPECT_EQ(allDone(lastShown().text, kExportReport), kExportReport) << shownMessages();

    click("bbtnStopSQL");
    runSql(changes);
    ASSERT_NE(differences(original, snapshot()), "");
    click("bbtnStartSQL");
    click("bbtnImport");
    ASSERT_TRUE(lastShown().information) << lastShown().text.toStdString();
    EXPECT_EQ(allDone(lastShown().text, kImportReport), kImportReport) << shownMessages();
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

TEST_F(RoundTripTest, ExportedFilesReadAlikeInEveryReaderAndAgainAreAppendedOrReplaced) {
  makePos(300);
  startProgram();
  click("bbtnStartSQL");
  click("bbtnExport");
  ASSERT_EQ(allDone(lastShown().text, kExportReport), kExportReport);
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

  // Again, the operator choosing "附加": every row twice.
  ui_.choice = 1;
  click("bbtnExport");
  QFile again(path("Item.ini"));
  ASSERT_TRUE(again.open(QIODevice::ReadOnly));
  EXPECT_EQ(again.readAll(), itemMap);
  EXPECT_EQ(int(jet::testing::mdbExport(path("Item.mdb").toStdString(), "Item").size()),
            2 * pos.qryItem.recordCount());
  EXPECT_EQ(jet::testing::readersDisagree(path("Item.mdb").toStdString()), "");
  // And again with the default, "取代": the POS's rows alone, in a file every reader
  // reads.
  ui_.choice = -1;
  click("bbtnExport");
  EXPECT_EQ(int(jet::testing::mdbExport(path("Item.mdb").toStdString(), "Item").size()),
            pos.qryItem.recordCount());
  EXPECT_EQ(jet::testing::readersDisagree(path("Item.mdb").toStdString()), "");
  EXPECT_FALSE(QFile::exists(path(".Item.mdb.new")));
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

// The same promise on every route and in both formats, with rows at the edges a
// workbook is most likely to bend: texts that look like numbers or formulas, empty texts
// beside NULLs, floats that need 17 digits, dates before Excel's calendar, at midnight
// and to the millisecond, whole numbers at their types' limits and round ones (1000000).
class EveryRouteTest : public RoundTripTest {
 protected:
  QString special() const { return itemNo("9876543"); }

  QStringList edgeRows() const {
    // SQL Server's datetime starts in 1753 and counts in 1/300 s.
    const QString early =
        route() == PosRoute::Tds ? "'1753-01-01 00:00:00'" : "'1850-02-28 00:00:00'";
    return {
        "INSERT INTO Classify (ClsNo, ClsName, Flag, Void) VALUES ('999', " +
            textLiteral("一二三四五六七八九十一二三四五六七八九十") + ", " + booleanLiteral(false) +
            ", NULL)",
        "INSERT INTO Supplier (FactNo, FactName, Bank, Branch, TelNo1, DisRate, TradeDate, "
        "LastUpdate, Notes) VALUES ('Z999', " +
            textLiteral("全寬廠商名稱全寬廠商名稱全寬廠商名稱全寬") + ", " +
            textLiteral("土地銀行甲") + ", " + textLiteral("第一分行乙") +
            ", '0912345678', 0.075, '1900-01-01 00:00:00', '1899-12-30 00:00:00', '')",
        "INSERT INTO Item (ItemNo, ItemMark, SelfCode, PtName, PtSpec, UniPrice, Price, MemPrice, "
        "AvgCost, StkQty, GtoM, RegSafeQty, EmgSafeQty, ImUpDate, MTDate, Void, Notes) VALUES ('" +
            special() + "', '4710088412345', '000123', " +
            textLiteral("維他命Ｃ發泡錠維他命Ｃ發泡錠維他命Ｃ發泡") + ", " +
            textLiteral("規格規格規格規格規格規格規格規格規格規格規格規格規") +
            ", 1234567.891, 0.30000000000000004, 1e-7, 2.0000000000000004, -2147483648, "
            "1000000, 32767, -32768, '2024-02-29 13:05:09.997', " +
            early + ", 'N', " + textLiteral("備註：含「引號」與, 逗號") + ")",
        "INSERT INTO Customer (CustNo, Name, Address, Birthday, ChkDate, DateB, Height, Weight, "
        "DebtTtl, VipCount, Notes, EMail) VALUES ('M9000001', " +
            textLiteral("王陳林李張黃吳劉蔡楊") + ", " +
            textLiteral("臺北市中正區重慶南路一段一二三號四樓之五臺北市中正") + ", " + early +
            ", '1899-12-30 00:00:00', '1899-12-29 23:59:59', 170.25, 250000, -12345.678901234, "
            "2147483647, '=1+1', '')",
    };
  }

  // What the operator changes and deletes in the POS after the export, in words every
  // route's SQL takes; the rows deleted are picked from `original`.
  QStringList changesAfterTheExport(const PosSnapshot& original) const {
    auto keys = [&](const char* table, int from, int count) {
      QStringList quoted;
      for (const auto& [key, row] : original.at(table))
        if (from-- <= 0 && quoted.size() < count) quoted << u'\'' + key + u'\'';
      return quoted.join(u',');
    };
    return {
        "UPDATE Classify SET ClsName = " + textLiteral("改過") +
            ", Flag = " + booleanLiteral(true) + ", Void = 'Y' WHERE ClsNo = '999'",
        "DELETE FROM Classify WHERE ClsNo = '002'",
        "UPDATE Supplier SET DisRate = 0.5, Addr = " + textLiteral("新地址") +
            ", TradeDate = NULL, Bank = NULL, TelNo1 = '912345678', Notes = 'x' "
            "WHERE FactNo = 'Z999'",
        "DELETE FROM Supplier WHERE FactNo IN (" + keys("Supplier", 0, 2) + ")",
        "UPDATE Item SET PtName = 'x', ItemMark = NULL, SelfCode = '123', Price = NULL, "
        "StkQty = 0, EmgSafeQty = 0, MTDate = '2000-01-01 00:00:00', ImUpDate = NULL, "
        "Notes = NULL WHERE ItemNo = '" +
            special() + "'",
        "UPDATE Item SET Notes = " + textLiteral("改") +
            ", ShelfNo = NULL, AvgCost = AvgCost + 1 WHERE ItemNo LIKE '%7'",
        "DELETE FROM Item WHERE ItemNo IN (" + keys("Item", 10, 5) + ")",
        "UPDATE Customer SET Birthday = '2000-01-01 00:00:00', Name = NULL, Height = 1, "
        "Address = " +
            textLiteral("短") + ", Notes = 'x', EMail = NULL WHERE CustNo = 'M9000001'",
        "UPDATE Customer SET EMail = 'x@example.com', VipCount = VipCount + 1 "
        "WHERE CustNo LIKE '%5'",
        "DELETE FROM Customer WHERE CustNo = 'M0000002'",
    };
  }
};

class RouteAndFormatTest : public EveryRouteTest,
                           public ::testing::WithParamInterface<std::tuple<PosRoute, const char*>> {
};

TEST_P(RouteAndFormatTest, ExportThenImportRestoresEveryColumnOfAChangedPos) {
  const auto [pos, format] = GetParam();
  useRoute(pos);
  if (IsSkipped()) return;
  useFileType(format);
  makePos(300, edgeRows());
  const PosSnapshot original = snapshot();
  ASSERT_EQ(original.at("Item").at(special()).size(), 44);
  ASSERT_EQ(original.at("Customer").at("M9000001").filter("EMail=").value(0), "EMail=");
  ASSERT_EQ(original.at("Classify").at("999").filter("Void=").value(0), "Void=<null>");

  // The Access export binds an empty text as NULL, so an Access file cannot tell the two
  // apart; a workbook keeps the empty text (a cell holding ="").
  const bool workbooks = QLatin1String(format) == QLatin1String("xlsx");
  PosSnapshot expected = original;
  if (!workbooks) {
    expected["Customer"]["M9000001"].replaceInStrings(QRegularExpression("^EMail=$"),
                                                      "EMail=<null>");
    expected["Supplier"]["Z999"].replaceInStrings(QRegularExpression("^Notes=$"), "Notes=<null>");
  }
  exportChangeAndImportBack(expected, changesAfterTheExport(original));
  for (const QString table : {"Classify", "Item", "Supplier", "Customer"}) {
    EXPECT_TRUE(QFile::exists(path(table + u'.' + QLatin1String(format)))) << table.toStdString();
    EXPECT_TRUE(QFile::exists(path(table + ".ini"))) << table.toStdString();
  }
  EXPECT_EQ(QFile::exists(path("Item.mdb")), !workbooks);
  EXPECT_EQ(QFile::exists(path("Item.xlsx")), workbooks);
}

INSTANTIATE_TEST_SUITE_P(, RouteAndFormatTest,
                         ::testing::Combine(::testing::Values(PosRoute::Sqlite, PosRoute::Postgres,
                                                              PosRoute::Tds),
                                            ::testing::Values("mdb", "xlsx")),
                         [](const auto& info) {
                           return std::string(routeName(std::get<0>(info.param))) + "_" +
                                  std::get<1>(info.param);
                         });

class WorkbookEditTest : public EveryRouteTest, public ::testing::WithParamInterface<PosRoute> {
 protected:
  struct Edit {
    const char* table;
    QString key;
    const char* field;
    QJsonValue value;
    bool date = false;  // `value` an ISO date-time, written as Excel's date
  };

  // The workbooks changed as another program saves them (openpyxl): each edit's cell
  // found by the key column's and the field's headings.
  void editWorkbooks(const std::vector<Edit>& edits) {
    QJsonArray list;
    for (const Edit& e : edits) {
      const config::ColumnMap map = config::ColumnMap::read(path(QLatin1String(e.table) + ".ini"));
      QString heading;
      for (const auto& p : map.pairs())
        if (p.field.compare(QLatin1String(e.field), Qt::CaseInsensitive) == 0) heading = p.display;
      ASSERT_FALSE(heading.isEmpty()) << e.table << "." << e.field;
      list.append(QJsonObject{{"path", path(QLatin1String(e.table) + ".xlsx")},
                              {"keyColumn", map.keyDisplay()},
                              {"key", e.key},
                              {"column", heading},
                              {"value", e.value},
                              {"date", e.date}});
    }
    QProcess edit;
    edit.start("/usr/bin/python3", {"-c", R"(
import datetime, json, sys, openpyxl
books = {}
for e in json.loads(sys.argv[1]):
    wb = books.setdefault(e['path'], openpyxl.load_workbook(e['path']))
    ws = wb.worksheets[0]
    header = [c.value for c in ws[1]]
    key, col = header.index(e['keyColumn']), header.index(e['column'])
    value = datetime.datetime.fromisoformat(e['value']) if e['date'] else e['value']
    rows = [r for r in ws.iter_rows(min_row=2) if str(r[key].value) == e['key']]
    if len(rows) != 1:
        sys.exit('%s: %d rows of %s' % (e['path'], len(rows), e['key']))
    rows[0][col].value = value
for p, wb in books.items():
    wb.save(p)
)",
                                    QString::fromUtf8(QJsonDocument(list).toJson())});
    ASSERT_TRUE(edit.waitForFinished(60000));
    ASSERT_EQ(edit.exitCode(), 0) << edit.readAllStandardError().toStdString();
  }

  // The edge rows on the test's route, changed by `sql`, kept as original_, exported to
  // workbooks, edited by another program and imported back.
  void exportEditAndImport(const QStringList& sql, const std::vector<Edit>& edits) {
    useRoute(GetParam());
    if (IsSkipped()) return;
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import openpyxl"});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0) GTEST_SKIP() << "no openpyxl";
    exportChangeAndImport(sql, [&] { editWorkbooks(edits); });
  }

  // The same with the workbooks changed by `changeWorkbooks` between export and import.
  void exportChangeAndImport(const QStringList& sql, const std::function<void()>& changeWorkbooks) {
    useFileType("xlsx");
    makePos(300, edgeRows() + sql);
    original_ = snapshot();
    startProgram();
    click("bbtnStartSQL");
    click("bbtnExport");
    ASSERT_EQ(allDone(lastShown().text, kExportReport), kExportReport) << shownMessages();
    click("bbtnStopSQL");
    changeWorkbooks();
    if (HasFatalFailure()) return;
    click("bbtnStartSQL");
    click("bbtnImport");
    ASSERT_EQ(allDone(lastShown().text, kImportReport), kImportReport) << shownMessages();
  }

  PosSnapshot original_;
};

// "Table key Field" of every cell that differs between the snapshots.
QStringList changedCells(const PosSnapshot& before, const PosSnapshot& after) {
  QStringList cells;
  for (const auto& [table, rows] : before)
    for (const auto& [key, row] : rows) {
      const QStringList now = after.at(table).count(key) ? after.at(table).at(key) : QStringList();
      for (qsizetype i = 0; i < row.size(); ++i)
        if (row[i] != now.value(i)) cells << table + u' ' + key + u' ' + row[i].section(u'=', 0, 0);
    }
  cells.sort();
  return cells;
}

// Cells the operator changes in the workbooks with another program are the only ones
// the import changes in the POS: a text, a date, a price (allowed by the settings), a
// whole number and a cell emptied.
TEST_P(WorkbookEditTest, CellsEditedInAnotherProgramAreTheOnlyOnesTheImportChanges) {
  // The edge rows' empty texts are the next test's.
  exportEditAndImport({"UPDATE Customer SET EMail = NULL WHERE CustNo = 'M9000001'",
                       "UPDATE Supplier SET Notes = NULL WHERE FactNo = 'Z999'"},
                      {
                          {"Customer", "M9000001", "Name", QStringLiteral("改名的客戶")},
                          {"Customer", "M9000001", "VipCount", 42},
                          {"Supplier", "Z999", "TradeDate", "2023-04-05T00:00:00", true},
                          {"Item", special(), "Price", 123.45},
                          {"Item", special(), "Notes", QJsonValue::Null},
                      });
  if (HasFatalFailure() || IsSkipped()) return;
  const QStringList expected{"Customer M9000001 Name", "Customer M9000001 VipCount",
                             "Item " + special() + " Notes", "Item " + special() + " Price",
                             "Supplier Z999 TradeDate"};
  EXPECT_EQ(changedCells(original_, snapshot()), expected) << differences(original_, snapshot());
  EXPECT_EQ(sqlValue("SELECT Name FROM Customer WHERE CustNo = 'M9000001'").toString(),
            QStringLiteral("改名的客戶"));
  EXPECT_EQ(sqlValue("SELECT VipCount FROM Customer WHERE CustNo = 'M9000001'").toInt(), 42);
  EXPECT_EQ(sqlValue("SELECT TradeDate FROM Supplier WHERE FactNo = 'Z999'").toDateTime(),
            QDateTime(QDate(2023, 4, 5), QTime(0, 0)));
  const QString item = "FROM Item WHERE ItemNo = '" + special() + "'";
  EXPECT_EQ(sqlValue("SELECT Price " + item).toDouble(), 123.45);
  EXPECT_TRUE(db::isNullValue(sqlValue("SELECT Notes " + item)));
}

// An empty text is written as a cell holding ="". A program that saves formulas without
// their results (openpyxl does, as do other scripting libraries) leaves that cell with
// the formula alone, and it must still come back as the empty text, not as NULL: the
// operator changed nothing there.
TEST_P(WorkbookEditTest, EmptyTextsSurviveAWorkbookSavedByAnotherProgram) {
  exportEditAndImport({}, {{"Customer", "M9000001", "Name", QStringLiteral("改名的客戶")},
                           {"Supplier", "Z999", "DisRate", 0.08}});
  if (HasFatalFailure() || IsSkipped()) return;
  EXPECT_EQ(changedCells(original_, snapshot()),
            QStringList({"Customer M9000001 Name", "Supplier Z999 DisRate"}))
      << differences(original_, snapshot());
}

INSTANTIATE_TEST_SUITE_P(, WorkbookEditTest,
                         ::testing::Values(PosRoute::Sqlite, PosRoute::Postgres, PosRoute::Tds),
                         [](const auto& info) { return std::string(routeName(info.param)); });

// The operator's own spreadsheet program: LibreOffice Calc, which saves a workbook in its
// own way (shared texts, formula results, its number formats and precision) even when
// nothing in it was changed.
class CalcResaveTest : public WorkbookEditTest {
 protected:
  // Every exported workbook opened and saved again by Calc without a display, all in one
  // run, and put back over the export. Calc gets a profile and a home of its own, so that
  // no other run of it (the operator's, a parallel test) shares its lock or settings.
  void resaveInCalc() {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QStringList arguments{
        "-env:UserInstallation=" + QUrl::fromLocalFile(work.filePath("profile")).toString(),
        "--headless",
        "--norestore",
        "--convert-to",
        "xlsx",
        "--outdir",
        work.filePath("out")};
    for (const QString table : kTables) arguments << path(table + ".xlsx");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", work.path());
    QProcess calc;
    calc.setProcessEnvironment(environment);
    calc.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    calc.start(soffice_, arguments);
    // Generous: the first start of a fresh profile is slow on a busy machine.
    if (!calc.waitForFinished(180000)) {
      calc.kill();
      calc.waitForFinished();
      FAIL() << "soffice did not finish within 180 s";
    }
    const QString output = QString::fromLocal8Bit(calc.readAll());
    ASSERT_EQ(calc.exitStatus(), QProcess::NormalExit) << output.toStdString();
    ASSERT_EQ(calc.exitCode(), 0) << output.toStdString();
    RecordProperty("soffice_ms", int(timer.elapsed()));
    for (const QString table : kTables) {
      const QString saved = work.filePath("out/" + table + ".xlsx");
      // soffice reports a file it could not load on its output and still exits with 0.
      ASSERT_TRUE(QFile::exists(saved)) << table.toStdString() << ": " << output.toStdString();
      ASSERT_TRUE(QFile::remove(path(table + ".xlsx")));
      ASSERT_TRUE(QFile::copy(saved, path(table + ".xlsx"))) << table.toStdString();
    }
  }

  // "Table row heading 'text'" of each cell of a whole or float POS column that Calc's
  // workbooks hold as anything but a number.
  QStringList numbersNotHeldAsNumbers() const {
    posdb::TDmMSSQL dm;
    dm.startWith(posConnection());
    QStringList found;
    for (const QString table : kTables) {
      const db::Dataset& query = *dm.queryOf(table);
      const config::ColumnMap map = config::ColumnMap::read(path(table + ".ini"));
      QSet<QString> numeric;
      for (const auto& pair : map.pairs()) {
        const db::Field* f = query.findField(pair.field);
        if (!f || f->isLookup()) continue;
        const db::BasicKind kind = db::basicKind(f->dataType());
        if (kind == db::BasicKind::Whole || kind == db::BasicKind::Floating)
          numeric << pair.display;
      }
      const std::vector<xlsx::Row> rows = xlsx::Workbook(path(table + ".xlsx")).rows(table);
      if (rows.empty()) continue;
      QHash<int, QString> headings;
      for (const xlsx::Cell& c : rows[0].cells)
        if (numeric.contains(c.text)) headings[c.column] = c.text;
      EXPECT_EQ(headings.size(), numeric.size()) << table.toStdString();
      for (size_t r = 1; r < rows.size(); ++r)
        for (const xlsx::Cell& c : rows[r].cells)
          if (headings.contains(c.column) && c.kind != xlsx::Cell::Kind::Number)
            found << QStringLiteral("%1 %2 %3 '%4'")
                         .arg(table)
                         .arg(rows[r].number)
                         .arg(headings[c.column], c.text);
    }
    return found;
  }

  void SetUp() override {
    WorkbookEditTest::SetUp();
    soffice_ = QStandardPaths::findExecutable("soffice");
    if (soffice_.isEmpty()) GTEST_SKIP() << "soffice (LibreOffice Calc) is not installed";
  }

  static constexpr const char* kTables[] = {"Classify", "Item", "Supplier", "Customer"};
  QString soffice_;
};

// A workbook the operator only opened and saved in Calc imports back without changing a
// single cell of the POS: every edge row, empty text, float, date and boolean as exported.
TEST_P(CalcResaveTest, AWorkbookResavedByCalcImportsBackUnchanged) {
  useRoute(GetParam());
  if (IsSkipped()) return;
  QStringList textNumbers;
  exportChangeAndImport({}, [&] {
    resaveInCalc();
    if (!HasFatalFailure()) textNumbers = numbersNotHeldAsNumbers();
  });
  if (HasFatalFailure()) return;
  // The operator's sums see every number.
  EXPECT_EQ(textNumbers.join(", ").toStdString(), "");
  const PosSnapshot now = snapshot();
  EXPECT_EQ(changedCells(original_, now).join(", ").toStdString(), "")
      << differences(original_, now);
}

// Each run of Calc takes some seconds, most of them its start: the SQLite route, and the
// TDS route every shop uses, whose dates and texts come out of the POS in types of their own.
INSTANTIATE_TEST_SUITE_P(, CalcResaveTest, ::testing::Values(PosRoute::Sqlite, PosRoute::Tds),
                         [](const auto& info) { return std::string(routeName(info.param)); });

}  // namespace
}  // namespace e2e
