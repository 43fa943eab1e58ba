// The import driver over a real SQLite POS and Access files in the program folder.
#include "import/ImportDriver.h"

#include "ImportTestSupport.h"
#include "import/DmMdb.h"
#include "import/ImportWindows.h"
#include "import/TableImport.h"

#include <config/Configs.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>
#include <platform/UiServices.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::TestDatabase;

// Runs each table import at once, as a command-line front end would, recording what
// the driver asked for.
class RecordingFrontEnd : public ImportFrontEnd {
 public:
  explicit RecordingFrontEnd(TDmAccess& access) : access_(access) {}
  void selectTab(int tab) override {
    events << QStringLiteral("tab %1 (source: %2)").arg(tab).arg(access_.qryAccess.sql());
  }
  bool importTable(const ImportTable& table, TableImport& import) override {
    events << QStringLiteral("import %1").arg(table.name);
    try {
      platform::NoProgress none;
      import.run(none);
      return true;
    } catch (const platform::Error& e) {
      events << QStringLiteral("shown: ") + e.message();
      return false;
    }
  }
  QStringList events;

 private:
  TDmAccess& access_;
};

class ImportDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    pos_ = std::make_unique<ScratchPos>(TestDatabase::Engine::Sqlite);
    pos_->start();
  }
  void TearDown() override {
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  // Each table's Access file with one row, and its column map file.
  void writeSources(const QString& itemKey = QStringLiteral("1234567")) {
    writeSource("Classify", pos_->dm.qryClassify, "ClsNo", "C1");
    writeSource("Item", pos_->dm.qryItem, "ItemNo", itemKey);
    writeSource("Supplier", pos_->dm.qrySupplier, "FactNo", "S1");
    writeSource("Customer", pos_->dm.qryCustomer, "CustNo", "M1");
  }
  void writeSource(const QString& table, db::Dataset& query, const QString& key,
                   const QString& value) {
    const config::ColumnMap map = test::exportMap(query, key);
    map.writeTable(table);
    std::vector<test::SourceColumn> columns;
    test::SourceRow row;
    for (const config::ColumnPair& p : map.pairs()) {
      columns.push_back({p.display});
      row.push_back(p.field == key ? std::optional<QString>(value) : std::nullopt);
    }
    test::writeAccessTable(dir_.filePath(table + ".mdb"), table, columns, {row});
  }
  void enable(std::initializer_list<config::FlagSetting> tables) {
    for (const auto& t : tables) config::Config().write(t, true);
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
  TDmAccess access_;
};

namespace k = config::keys;

TEST_F(ImportDriverTest, NothingEnabledOpensNoFile) {
  RecordingFrontEnd ui(access_);
  EXPECT_EQ(ImportDriver(access_, pos_->dm, ui).run(), QStringLiteral("匯入狀態："));
  EXPECT_TRUE(ui.events.isEmpty());
  EXPECT_FALSE(access_.adocnMdb.isConnected());
}

TEST_F(ImportDriverTest, AllTablesInOrderEachTabBeforeItsFile) {
  writeSources();
  enable({k::ExportClassify, k::ExportItem, k::ExportSupplier, k::ExportCustomer});
  RecordingFrontEnd ui(access_);
  EXPECT_EQ(ImportDriver(access_, pos_->dm, ui).run(),
            QStringLiteral("匯入狀態：\r\n匯入分類資料完成。\r\n匯入商品資料完成。\r\n"
                           "匯入廠商資料完成。\r\n匯入客戶資料完成。"));
  EXPECT_EQ(ui.events, QStringList({"tab 0 (source: )", "import Classify",
                                    "tab 1 (source: SELECT * FROM Classify)", "import Item",
                                    "tab 2 (source: SELECT * FROM Item)", "import Supplier",
                                    "tab 3 (source: SELECT * FROM Supplier)", "import Customer"}));
  EXPECT_EQ(pos_->value("Item", "ItemNo", "12345670", "ItemNo").toString(), "12345670");
  EXPECT_EQ(pos_->rowCount("Customer"), 1);
  // Left on the last file.
  EXPECT_TRUE(access_.qryAccess.isOpen());
}

TEST_F(ImportDriverTest, OnlyTheEnabledTablesAndAFailedTableGetsNoLine) {
  writeSources(QStringLiteral("12X4567"));
  enable({k::ExportItem, k::ExportSupplier, k::ExportCustomer});
  RecordingFrontEnd ui(access_);
  EXPECT_EQ(ImportDriver(access_, pos_->dm, ui).run(),
            QStringLiteral("匯入狀態：\r\n匯入廠商資料完成。\r\n匯入客戶資料完成。"));
  EXPECT_TRUE(ui.events.contains("shown: 「X」不是整數：這個欄位只能填整數（例如 12）"));
  EXPECT_FALSE(ui.events.contains("import Classify"));
}

TEST_F(ImportDriverTest, MissingAccessFileEndsTheRunWithoutReport) {
  writeSources();
  QFile::remove(dir_.filePath("Supplier.mdb"));
  enable({k::ExportClassify, k::ExportItem, k::ExportSupplier, k::ExportCustomer});
  RecordingFrontEnd ui(access_);
  EXPECT_THROW(ImportDriver(access_, pos_->dm, ui).run(), platform::Error);
  EXPECT_EQ(pos_->rowCount("Classify"), 1);
  EXPECT_EQ(pos_->rowCount("Item"), 1);
  EXPECT_EQ(pos_->rowCount("Customer"), 0);
  EXPECT_FALSE(ui.events.contains("import Customer"));
}

TEST_F(ImportDriverTest, ThroughTheWindowsOneWindowPerTable) {
  writeSources();
  enable({k::ExportClassify, k::ExportItem});
  QList<int> tabs;
  int shown = 0;
  ImportWindows windows([&](int tab) { tabs << tab; }, [&](std::exception_ptr) { ++shown; });
  EXPECT_EQ(ImportDriver(access_, pos_->dm, windows).run(),
            QStringLiteral("匯入狀態：\r\n匯入分類資料完成。\r\n匯入商品資料完成。"));
  EXPECT_EQ(tabs, QList<int>({0, 1}));
  EXPECT_EQ(shown, 0);
  // No window outlives its table.
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_NE(w->objectName(), QStringLiteral("ImportMdbBox"));
}

TEST_F(ImportDriverTest, AWindowClosedBeforeItsImportStartsAddsNoLine) {
  writeSources();
  enable({k::ExportClassify, k::ExportItem});
  // The operator closes the Classify window as soon as it shows.
  ImportWindows windows(
      [&](int tab) {
        if (tab != 0) return;
        QTimer::singleShot(0, [] {
          if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
      },
      [](std::exception_ptr) {});
  EXPECT_EQ(ImportDriver(access_, pos_->dm, windows).run(),
            QStringLiteral("匯入狀態：\r\n匯入商品資料完成。"));
  EXPECT_EQ(pos_->rowCount("Classify"), 0);
  EXPECT_EQ(pos_->rowCount("Item"), 1);
}

}  // namespace
}  // namespace dataimport
