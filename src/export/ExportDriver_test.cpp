// The export of the POS tables over a demo POS (SQLite) into a program folder of its own.
#include "export/ExportDriver.h"

#include "DemoPos.h"
#include "ExportTestSupport.h"
#include "ReferenceReaders.h"
#include "export/ADO_AccessExporter.h"

#include <config/ColumnMap.h>
#include <config/Configs.h>
#include <platform/ErrorText.h>
#include <platform/ProgramFolder.h>
#include <platform/Progress.h>
#include <platform/RegionalSettings.h>
#include <posdb/DmMdf.h>
#include <posdb/ExportRecord.h>

#include <jet/DatabaseWriter.h>

#include <gtest/gtest.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace dataexport;
using namespace dataexport::testing;

namespace {

const QString kTitle = QStringLiteral("匯出狀態：");

class ExportDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    folder_ = dir_.path() + u'/';
    platform::setProgramFolderForTesting(folder_);
    config::createConfig();
    demopos::Options o;
    o.path = dir_.filePath("pos.sqlite");
    o.items = 60;
    o.today = QDate(2026, 1, 1);
    demopos::generate(o);
    dm_.startWith("Provider=SQLite;Data Source=" + o.path);
  }
  void TearDown() override {
    dm_.stop();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }
  void enable(const QStringList& tables) {
    for (const auto& t : config::kPosTables)
      config::Config().write(t.enabled, tables.contains(QString::fromLatin1(t.name)));
  }
  QString run() {
    ExportView view;
    view.showTab = [this](int tab) { tabs_.push_back(tab); };
    view.repaint = [this] { ++repaints_; };
    return ExportDriver(dm_, exporter_, view).Run();
  }
  QStringList files() const { return QDir(dir_.path()).entryList(QDir::Files, QDir::Name); }

  QTemporaryDir dir_;
  QString folder_;
  posdb::TDmMSSQL dm_;
  TADO_AccessExporter exporter_;
  RecordingUi ui_;
  std::vector<int> tabs_;
  int repaints_ = 0;
};

TEST_F(ExportDriverTest, NothingEnabledTouchesNoFile) {
  enable({});
  const QStringList before = files();
  EXPECT_EQ(run(), kTitle);
  EXPECT_EQ(files(), before);
  EXPECT_TRUE(tabs_.empty());
  EXPECT_TRUE(ui_.cursor.empty());
}

TEST_F(ExportDriverTest, AllFourTablesWithColumnMapsThatDescribeTheirAccessTables) {
  enable({"Classify", "Item", "Supplier", "Customer"});
  EXPECT_EQ(run(), kTitle +
                       "\r\n匯出分類資料完成。\r\n匯出商品資料完成。\r\n匯出廠商資料完成。"
                       "\r\n匯出客戶資料完成。");
  EXPECT_EQ(tabs_, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(repaints_, 4);
  EXPECT_EQ(ui_.cursor, (std::vector<bool>{true, false, true, false, true, false, true, false}));

  const int counts[] = {4, 45, 26, 24};
  int i = 0;
  for (const QString table : {"Classify", "Item", "Supplier", "Customer"}) {
    SCOPED_TRACE(table.toStdString());
    const config::ColumnMap map = config::ColumnMap::readTable(table);
    db::Dataset& query = *dm_.queryOf(table);
    EXPECT_EQ(map.count(), counts[i++]);
    EXPECT_EQ(map.keyField(), posdb::TDmMSSQL::keyOf(table));
    EXPECT_EQ(map.keyDisplay(), query.fieldByName(map.keyField()).displayLabel());
    const AccessTable t = readAccess(folder_ + table + ".mdb", table);
    ASSERT_EQ(int(map.pairs().size()), map.count());
    for (int k = 0; k < map.count(); ++k) {
      EXPECT_EQ(map.pairs()[size_t(k)].field, query.field(k).fieldName());
      EXPECT_EQ(map.pairs()[size_t(k)].display, t.names.value(k));
    }
    EXPECT_EQ(int(t.rows.size()), query.recordCount());
    EXPECT_EQ(jet::testing::mdbtoolsProblems((folder_ + table + ".mdb").toStdString()), "");
  }
  const config::ColumnMap item = config::ColumnMap::readTable("Item");
  EXPECT_EQ(item.pairs()[7].field, "FactName");
  EXPECT_EQ(item.pairs()[7].display, "廠商名稱");
  const config::ColumnMap classify = config::ColumnMap::readTable("Classify");
  EXPECT_EQ(classify.keyDisplay(), "小分類編號");
  EXPECT_EQ(readAccess(folder_ + "Classify.mdb", "Classify").names,
            QStringList({"小分類編號", "小分類名稱", "Flag", "Void"}));
  // The exporter keeps the last table's settings.
  EXPECT_EQ(exporter_.TableName(), "Customer");
  EXPECT_EQ(exporter_.DatabaseName(), folder_ + "Customer.mdb");
  EXPECT_EQ(exporter_.DataSet(), &dm_.qryCustomer);
}

TEST_F(ExportDriverTest, OnlyTheEnabledTablesInTheirOrder) {
  enable({"Customer", "Item"});
  EXPECT_EQ(run(), kTitle + "\r\n匯出商品資料完成。\r\n匯出客戶資料完成。");
  EXPECT_EQ(tabs_, (std::vector<int>{1, 3}));
  EXPECT_FALSE(QFile::exists(folder_ + "Classify.mdb"));
  EXPECT_FALSE(QFile::exists(folder_ + "Classify.ini"));
}

TEST_F(ExportDriverTest, NamedTablesAndTheirRowsReachTheFrontEnd) {
  enable({"Supplier"});
  struct Recording : platform::Progress {
    QStringList events;
    void start(int total) override { events << QStringLiteral("start %1").arg(total); }
    void step(int done, int total) override {
      if (done == total) events << QStringLiteral("step %1/%2").arg(done).arg(total);
    }
    void finish() override { events << QStringLiteral("finish"); }
  } progress;
  int ownHandler = 0;
  exporter_.OnExportedRecord = [&](exportengine::TExporter&, int) { ++ownHandler; };
  ExportView view;
  view.progress = &progress;
  ExportDriver driver(dm_, exporter_, view);
  driver.SetTables({"item", "Classify"});
  EXPECT_EQ(driver.Run(), kTitle + "\r\n匯出分類資料完成。\r\n匯出商品資料完成。");
  const int classify = dm_.qryClassify.recordCount(), items = dm_.qryItem.recordCount();
  EXPECT_EQ(progress.events, (QStringList{QStringLiteral("start %1").arg(classify),
                                          QStringLiteral("step %1/%1").arg(classify), "finish",
                                          QStringLiteral("start %1").arg(items),
                                          QStringLiteral("step %1/%1").arg(items), "finish"}));
  // The exporter's own handler ran along and is its handler again afterwards.
  EXPECT_EQ(ownHandler, classify + items);
  const QStringList events = progress.events;
  exporter_.OnExportedRecord(exporter_, items - 1);
  EXPECT_EQ(ownHandler, classify + items + 1);
  EXPECT_EQ(progress.events, events);
  EXPECT_FALSE(QFile::exists(folder_ + "Supplier.mdb"));
}

TEST_F(ExportDriverTest, RunTwiceDoublesTheRowsAndDeletedFileIsMadeAgain) {
  enable({"Supplier"});
  run();
  const QByteArray map = fileBytes(folder_ + "Supplier.ini");
  run();
  EXPECT_EQ(fileBytes(folder_ + "Supplier.ini"), map);
  const int rows = dm_.qrySupplier.recordCount();
  EXPECT_EQ(int(readAccess(folder_ + "Supplier.mdb", "Supplier").rows.size()), 2 * rows);
  ASSERT_TRUE(QFile::remove(folder_ + "Supplier.mdb"));
  run();
  EXPECT_EQ(int(readAccess(folder_ + "Supplier.mdb", "Supplier").rows.size()), rows);
}

// A second export into a table that holds rows asks the front end: replace writes the
// file anew and puts it in place (a failure leaves the old file whole), append doubles
// the rows, cancel stops before the table. A file holding anything else a person made
// is not replaced.
TEST_F(ExportDriverTest, RowsAnAccessTableHoldsAreReplacedAppendedOrKeptAsTheOperatorSays) {
  enable({"Supplier", "Customer"});
  run();
  const int suppliers = dm_.qrySupplier.recordCount();
  const auto rowsOf = [this](const char* table) {
    return int(readAccess(folder_ + table + ".mdb", table).rows.size());
  };
  std::vector<QString> asked;
  ExistingRows answer = ExistingRows::Replace;
  ExportView view;
  view.askExistingRows = [&](const QString& file, qint64 rows) {
    asked.push_back(QFileInfo(file).fileName() + QStringLiteral(" %1").arg(rows));
    return answer;
  };
  ExportDriver(dm_, exporter_, view).Run();
  EXPECT_EQ(asked, std::vector<QString>(
                       {QStringLiteral("Supplier.mdb %1").arg(suppliers),
                        QStringLiteral("Customer.mdb %1").arg(dm_.qryCustomer.recordCount())}));
  EXPECT_EQ(rowsOf("Supplier"), suppliers);
  EXPECT_EQ(jet::testing::readersDisagree((folder_ + "Supplier.mdb").toStdString()), "");

  EXPECT_EQ(posdb::ExportRecord::readAll("Supplier").size(), 1u);
  answer = ExistingRows::Append;
  ExportDriver(dm_, exporter_, view).Run();
  EXPECT_EQ(rowsOf("Supplier"), 2 * suppliers);
  // Each export's record says from which row of the file it wrote.
  const auto records = posdb::ExportRecord::readAll("Supplier");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].first, suppliers);

  answer = ExistingRows::Cancel;
  const QString report = ExportDriver(dm_, exporter_, view).Run();
  EXPECT_EQ(report, kTitle + "\r\n廠商資料沒有匯出：已取消，之後的資料表也沒有匯出。");
  EXPECT_EQ(rowsOf("Supplier"), 2 * suppliers);

  // The new file cannot be made: the old one stays as it was.
  answer = ExistingRows::Replace;
  ASSERT_TRUE(QDir().mkdir(folder_ + ".Supplier.mdb.new"));
  EXPECT_THROW(ExportDriver(dm_, exporter_, view).Run(), platform::Error);
  EXPECT_EQ(rowsOf("Supplier"), 2 * suppliers);
  ASSERT_TRUE(QDir(folder_ + ".Supplier.mdb.new").removeRecursively());

  // Another table in the file would go with it: refused, the file untouched.
  {
    jet::DatabaseWriter db =
        jet::DatabaseWriter::open(QFile::encodeName(folder_ + "Supplier.mdb").toStdString());
    db.createTable("Notes", {{"Text", jet::ColumnType::Text, 20}});
    db.flush();
  }
  const QString error = [&] {
    try {
      ExportDriver(dm_, exporter_, view).Run();
    } catch (const platform::Error& e) {
      return e.message();
    }
    return QString();
  }();
  EXPECT_TRUE(error.contains(QStringLiteral("還有 Notes"))) << error.toStdString();
  EXPECT_EQ(rowsOf("Supplier"), 2 * suppliers);
}

TEST_F(ExportDriverTest, AnEmptyPosTableGivesAnEmptyAccessTable) {
  dm_.stop();
  db::Connection c;
  c.setConnectionString("Provider=SQLite;Data Source=" + dir_.filePath("pos.sqlite"));
  c.open();
  c.execute("DELETE FROM Customer");
  c.close();
  dm_.startWith("Provider=SQLite;Data Source=" + dir_.filePath("pos.sqlite"));
  enable({"Customer"});
  EXPECT_EQ(run(), kTitle + "\r\n匯出客戶資料完成。");
  const AccessTable t = readAccess(folder_ + "Customer.mdb", "Customer");
  EXPECT_EQ(t.names.size(), 24);
  EXPECT_TRUE(t.rows.empty());
}

// A till sells after the start: the export writes the stock the POS holds now, and the
// edits-only record holds exactly what was written.
TEST_F(ExportDriverTest, EachTableIsReadAgainFromThePosBeforeItIsWritten) {
  db::Dataset& items = *dm_.queryOf("Item");
  items.first();
  const QString itemNo = items.fieldByName("ItemNo").asString();
  {
    db::Connection c;
    c.setConnectionString("Provider=SQLite;Data Source=" + dir_.filePath("pos.sqlite"));
    c.open();
    c.execute("UPDATE Item SET StkQty = -123 WHERE ItemNo = '" + itemNo + "'");
  }
  enable({"Item"});
  run();
  ASSERT_TRUE(items.locate("ItemNo", itemNo));
  EXPECT_EQ(items.fieldByName("StkQty").asString(), "-123");
  const AccessTable t = readAccess(folder_ + "Item.mdb", "Item");
  const int key = int(t.names.indexOf(items.fieldByName("ItemNo").displayLabel()));
  const int stock = int(t.names.indexOf(items.fieldByName("StkQty").displayLabel()));
  ASSERT_GE(key, 0);
  ASSERT_GE(stock, 0);
  bool found = false;
  for (const auto& row : t.rows)
    if (row[key] == itemNo) {
      found = true;
      EXPECT_EQ(row[stock], "-123");
    }
  EXPECT_TRUE(found);
  const std::optional<posdb::ExportRecord> record = posdb::ExportRecord::read("Item");
  ASSERT_TRUE(record);
  const std::optional<QVariant> exported = record->value(itemNo, "StkQty");
  ASSERT_TRUE(exported);
  EXPECT_EQ(exported->toLongLong(), -123);
}

TEST_F(ExportDriverTest, AFailureEndsTheWholeExportAtItsTable) {
  enable({"Classify", "Item", "Supplier"});
  {
    QFile notAccess(folder_ + "Item.mdb");
    ASSERT_TRUE(notAccess.open(QIODevice::WriteOnly));
    notAccess.write("not an Access file");
  }
  const QString message = errorOf([&] { run(); });
  EXPECT_TRUE(message.contains("Item.mdb")) << message.toStdString();
  EXPECT_EQ(tabs_, (std::vector<int>{0, 1}));
  EXPECT_EQ(ui_.cursor, (std::vector<bool>{true, false, true, false}));
  EXPECT_TRUE(ui_.messages.isEmpty());
  EXPECT_EQ(int(readAccess(folder_ + "Classify.mdb", "Classify").rows.size()),
            dm_.qryClassify.recordCount());
  EXPECT_TRUE(QFile::exists(folder_ + "Item.ini"));  // written before the failure
  EXPECT_FALSE(QFile::exists(folder_ + "Supplier.ini"));
  EXPECT_FALSE(QFile::exists(folder_ + "Supplier.mdb"));
}

TEST_F(ExportDriverTest, AFolderThatCannotBeWrittenIsReportedAndLeftAsItWas) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  enable({"Classify", "Item"});
  const QStringList before = files();
  QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner);
  const QString message = errorOf([&] { run(); });
  QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_EQ(message, platform::unableToWrite(folder_ + "Classify.ini"));
  EXPECT_EQ(files(), before);
  EXPECT_EQ(ui_.cursor, (std::vector<bool>{true, false}));
}

}  // namespace
