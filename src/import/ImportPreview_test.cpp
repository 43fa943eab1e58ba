// The import preview against real POS engines (SQLite, and PostgreSQL over ODBC when
// the test server is set up): what it counts and lists is what the import then does,
// and it leaves the POS and the program folder as they were.
#include "import/ImportPreview.h"

#include "ImportTestSupport.h"
#include "import/DmMdb.h"
#include "import/ImportDriver.h"

#include <config/Configs.h>
#include <db/Dataset.h>
#include <platform/Error.h>
#include <platform/ErrorText.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <set>
#include <tuple>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::pair<QString, QString>>>;

// Previews without progress, recording the tables it could not read.
class QuietPreview : public PreviewFrontEnd {
 public:
  TableImport::Preview previewTable(const ImportTable&, TableImport& import,
                                    const ChangeSink& onChange) override {
    if (rules) import.setItemRules(*rules);
    platform::NoProgress none;
    return import.preview(none, onChange);
  }
  void tableUnreadable(const ImportTable& table, const QString& message) override {
    unreadable << QString::fromUtf8(table.name) + QStringLiteral(": ") + message;
  }
  std::optional<ItemRules> rules;
  QStringList unreadable;
};

// Imports each table at once.
class QuietImport : public ImportFrontEnd {
 public:
  void selectTab(int) override {}
  bool importTable(const ImportTable&, TableImport& import) override {
    if (rules) import.setItemRules(*rules);
    platform::NoProgress none;
    import.run(none);
    return true;
  }
  std::optional<ItemRules> rules;
};

const QStringList kAll = {"Classify", "Item", "Supplier", "Customer"};
const char* const kKeys[] = {"ClsNo", "ItemNo", "FactNo", "CustNo"};

class ImportPreviewTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    pos_ = std::make_unique<ScratchPos>(GetParam());
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
    for (int i = 1; i <= 5; ++i) {
      pos_->exec(QStringLiteral("INSERT INTO Classify (ClsNo, ClsName, Flag) VALUES "
                                "('A%1', '分類%1', %2)")
                     .arg(i)
                     .arg(pos_->booleanLiteral(i % 2)));
      pos_->exec(QStringLiteral("INSERT INTO Supplier (FactNo, FactName, DisRate) VALUES "
                                "('S0%1', '廠商, \"%1\"', %1.5)")
                     .arg(i));
      pos_->exec(QStringLiteral("INSERT INTO Customer (CustNo, Name, Height) VALUES "
                                "('C%1', 'name%1', 17%1)")
                     .arg(i));
      pos_->exec(QStringLiteral("INSERT INTO Item (ItemNo, PtName, Price, UniPrice, AvgCost, "
                                "MemPrice, VipPrice, ShelfNo, StkQty) VALUES "
                                "('1000000%1', 'item%1', 10, 11, 12, 13, 14, 'A1', 100)")
                     .arg(i));
    }
    pos_->start();
  }
  void TearDown() override {
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  QString mdb(const QString& table) const { return dir_.filePath(table + ".mdb"); }

  // Each table's Access file and column map as the export makes them from the POS now.
  void exportAll() {
    for (int i = 0; i < 4; ++i)
      test::exportRows(mdb(kAll[i]), kAll[i], *pos_->dm.queryOf(kAll[i]), kKeys[i]);
  }

  std::map<QString, ScratchPos::Rows> snapshot() {
    std::map<QString, ScratchPos::Rows> all;
    for (int i = 0; i < 4; ++i) all[kAll[i]] = pos_->rows(kAll[i], kKeys[i]);
    return all;
  }

  // The SQLite file's bytes; PostgreSQL keeps no file of its own here.
  QByteArray posFileHash() const {
    const QString text = pos_->connectionString();
    const qsizetype at = text.indexOf(QLatin1String("Data Source="));
    if (pos_->engine() != TestDatabase::Engine::Sqlite || at < 0) return {};
    QFile f(text.mid(at + 12).section(u';', 0, 0));
    if (!f.open(QIODevice::ReadOnly)) return "unreadable";
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
  }

  std::vector<TablePreview> preview(const QStringList& tables,
                                    std::vector<journal::RowChange>* changes, QuietPreview& ui) {
    ImportPreview p(access_, pos_->dm, ui);
    p.setTables(tables);
    ChangeSink sink;
    if (changes) sink = [changes](const journal::RowChange& c) { changes->push_back(c); };
    return p.run(sink);
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
  TDmAccess access_;
};

TEST_P(ImportPreviewTest, CountsAndChangesAreWhatTheImportThenDoesAndNothingIsWritten) {
  exportAll();
  // Since the export: a row changed and one deleted per table, and a row the file
  // does not hold. An item's Price changed too, which the import keeps by default.
  pos_->dm.stop();
  pos_->exec("UPDATE Classify SET ClsName = 'changed' WHERE ClsNo = 'A1'");
  pos_->exec("DELETE FROM Classify WHERE ClsNo = 'A2'");
  pos_->exec("INSERT INTO Classify (ClsNo, ClsName) VALUES ('Z9', 'pos only')");
  pos_->exec("UPDATE Item SET PtName = 'changed', Price = 99 WHERE ItemNo = '10000001'");
  pos_->exec("UPDATE Item SET Price = 99, StkQty = 7 WHERE ItemNo = '10000003'");
  pos_->exec("DELETE FROM Item WHERE ItemNo = '10000002'");
  pos_->exec("UPDATE Supplier SET DisRate = 0.25, FactName = NULL WHERE FactNo = 'S01'");
  pos_->exec("DELETE FROM Supplier WHERE FactNo IN ('S02', 'S03')");
  pos_->exec("UPDATE Customer SET Height = NULL WHERE CustNo = 'C4'");
  pos_->start();

  const auto before = snapshot();
  const QByteArray hash = posFileHash();
  QuietPreview ui;
  std::vector<journal::RowChange> changes;
  const std::vector<TablePreview> tables = preview(kAll, &changes, ui);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(posFileHash(), hash);
  EXPECT_FALSE(QFileInfo::exists(dir_.filePath("journal")));
  EXPECT_TRUE(ui.unreadable.isEmpty()) << ui.unreadable.join('\n').toStdString();
  EXPECT_EQ(pos_->dm.qryClassify.state(), db::Dataset::State::Browse);
  EXPECT_EQ(pos_->dm.qryClassify.recordCount(), 5);

  QuietImport importUi;
  ImportDriver driver(access_, pos_->dm, importUi);
  driver.setTables(kAll);
  driver.run();
  ASSERT_TRUE(QFileInfo::exists(dir_.filePath("journal")));  // the import keeps one
  const auto after = snapshot();

  // What the import changed, read from the POS: per table the new keys, the changed
  // keys, and the changed cells of existing rows.
  std::set<std::tuple<QString, QString, QString>> changedCells, listedCells;
  ASSERT_EQ(tables.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const TablePreview& t = tables[i];
    const QString name = kAll[int(i)];
    SCOPED_TRACE(name.toStdString());
    ASSERT_TRUE(t.counts) << t.error.toStdString();
    EXPECT_EQ(QString::fromUtf8(t.table->name), name);
    EXPECT_EQ(t.file, mdb(name));
    int added = 0, changed = 0;
    for (const auto& [key, row] : after.at(name)) {
      const auto old = before.at(name).find(key);
      if (old == before.at(name).end()) {
        ++added;
        continue;
      }
      if (old->second == row) continue;
      ++changed;
      for (const auto& [column, text] : row)
        if (old->second.at(column) != text) changedCells.insert({name, key, column});
    }
    EXPECT_EQ(t.counts->rows, 5);
    EXPECT_EQ(t.counts->added, added);
    EXPECT_EQ(t.counts->changed, changed);
    EXPECT_EQ(t.counts->unchanged, 5 - added - changed);
    EXPECT_TRUE(t.counts->failures.empty());
  }
  for (const journal::RowChange& c : changes) {
    if (c.action != journal::RowChange::Action::Update) {
      EXPECT_EQ(c.action, journal::RowChange::Action::Append);
      EXPECT_EQ(before.at(c.table).count(c.key), 0u) << c.key.toStdString();
      EXPECT_EQ(after.at(c.table).count(c.key), 1u) << c.key.toStdString();
      for (const journal::RowChange::Cell& cell : c.cells) EXPECT_FALSE(cell.before.isValid());
      continue;
    }
    for (const journal::RowChange::Cell& cell : c.cells)
      listedCells.insert({c.table, c.key, cell.column.toLower()});
  }
  EXPECT_EQ(listedCells, changedCells);
  // The counts above are not vacuous.
  EXPECT_EQ(tables[0].counts->added, 1);
  EXPECT_EQ(tables[0].counts->changed, 1);
  EXPECT_EQ(tables[1].counts->changed, 1);  // the kept Price and stock: 10000003 unchanged
  EXPECT_EQ(tables[2].counts->added, 2);
  EXPECT_EQ(tables[3].counts->unchanged, 4);
  EXPECT_EQ(after.at("Item").at("10000001").at("price"), "99");
  EXPECT_EQ(after.at("Supplier").at("S01").at("factname"), QStringLiteral("廠商, \"1\""));
}

TEST_P(ImportPreviewTest, EveryFailingRowIsListedWithItsNumberAndTheWalkGoesOn) {
  Rows rows;
  for (int i = 1; i <= 8; ++i)
    rows.push_back({{"CustNo", QStringLiteral("N%1").arg(i)},
                    {"Name", QStringLiteral("name%1").arg(i)},
                    {"Height", i == 2 || i == 5 ? "tall" : "170"},
                    {"Birthday", i == 7 ? "2024/02/30" : "2024/02/29"}});
  test::exportRows(mdb("Customer"), "Customer", pos_->dm.qryCustomer, "CustNo", rows);
  const auto before = snapshot();
  QuietPreview ui;
  const std::vector<TablePreview> tables = preview({"Customer"}, nullptr, ui);
  ASSERT_EQ(tables.size(), 1u);
  ASSERT_TRUE(tables[0].counts);
  const TableImport::Preview& c = *tables[0].counts;
  EXPECT_EQ(c.rows, 13);
  EXPECT_EQ(c.unchanged, 5);
  EXPECT_EQ(c.added, 5);
  EXPECT_EQ(c.changed, 0);
  ASSERT_EQ(c.failures.size(), 3u);
  EXPECT_EQ(c.failures[0].row, 7);
  EXPECT_EQ(c.failures[0].message, "「tall」不是數字：這個欄位只能填數字（例如 12.5）");
  EXPECT_EQ(c.failures[1].row, 10);
  EXPECT_EQ(c.failures[2].row, 12);
  EXPECT_TRUE(c.failures[2].message.contains("2024/02/30")) << c.failures[2].message.toStdString();
  EXPECT_FALSE(tables[0].clean());
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(pos_->dm.qryCustomer.state(), db::Dataset::State::Browse);
  EXPECT_EQ(pos_->dm.qryCustomer.recordCount(), 5);
}

struct RuleCase {
  bool flagsOn;
  bool stockOn;
  int stockAction;
  std::set<QString> listed;  // the columns of the existing item the changes list
  const char* stock;         // its StkQty after
};

TEST_P(ImportPreviewTest, GuardedColumnsAndStockAreListedAsTheImportAppliesThem) {
  const RuleCase cases[] = {
      {false, false, 0, {"PtName"}, "100"},
      {false, true, 1, {"PtName", "StkQty"}, "105"},
      {true,
       true,
       0,
       {"PtName", "Price", "UniPrice", "AvgCost", "MemPrice", "VipPrice", "ShelfNo", "StkQty"},
       "5"},
  };
  const std::vector<std::pair<QString, QString>> values = {
      {"PtName", "new"},  {"Price", "20"},    {"UniPrice", "21"}, {"AvgCost", "22"},
      {"MemPrice", "23"}, {"VipPrice", "24"}, {"ShelfNo", "B2"},  {"StkQty", "5"}};
  for (const RuleCase& rc : cases) {
    SCOPED_TRACE(rc.stock);
    pos_->dm.stop();
    pos_->exec("DELETE FROM Item");
    pos_->exec(
        "INSERT INTO Item (ItemNo, PtName, Price, UniPrice, AvgCost, MemPrice, VipPrice, "
        "ShelfNo, StkQty) VALUES ('12345670', 'old', 10, 11, 12, 13, 14, 'A1', 100)");
    pos_->start();
    QFile::remove(mdb("Item"));
    auto existing = values, fresh = values;
    existing.push_back({"ItemNo", "1234567"});  // completed to the existing item
    fresh.push_back({"ItemNo", "76543210"});
    test::exportRows(mdb("Item"), "Item", pos_->dm.qryItem, "ItemNo", {existing, fresh}, false);
    ItemRules rules;
    rules.shelfNo = rules.avgCost = rules.uniPrice = rules.price = rules.memPrice = rules.vipPrice =
        rc.flagsOn;
    rules.updateStkQty = rc.stockOn;
    rules.stkQtyAction = rc.stockAction;

    QuietPreview ui;
    ui.rules = rules;
    std::vector<journal::RowChange> changes;
    const std::vector<TablePreview> tables = preview({"Item"}, &changes, ui);
    ASSERT_EQ(tables.size(), 1u);
    ASSERT_TRUE(tables[0].counts) << tables[0].error.toStdString();
    EXPECT_EQ(tables[0].counts->changed, 1);
    EXPECT_EQ(tables[0].counts->added, 1);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].key, "12345670");
    std::set<QString> listed;
    std::map<QString, QString> after;
    for (const journal::RowChange::Cell& cell : changes[0].cells) {
      listed.insert(cell.column);
      after[cell.column] = journal::valueText(cell.after, cell.type).value_or("<NULL>");
    }
    EXPECT_EQ(listed, rc.listed);
    // A new item is given every column, guarded or not.
    EXPECT_EQ(changes[1].action, journal::RowChange::Action::Append);
    bool freshPrice = false;
    for (const journal::RowChange::Cell& cell : changes[1].cells)
      if (cell.column == "Price") freshPrice = journal::valueText(cell.after, cell.type) == "20";
    EXPECT_TRUE(freshPrice);

    QuietImport importUi;
    importUi.rules = rules;
    ImportDriver driver(access_, pos_->dm, importUi);
    driver.setTables({"Item"});
    driver.run();
    EXPECT_EQ(pos_->value("Item", "ItemNo", "12345670", "StkQty").toString(), rc.stock);
    for (const auto& [column, text] : after)
      EXPECT_EQ(pos_->value("Item", "ItemNo", "12345670", column).toString(), text)
          << column.toStdString();
  }
}

TEST_P(ImportPreviewTest, AKeyTheFileHoldsTwiceIsAddedOnceOrFailsWhenTheCopiesDiffer) {
  test::exportRows(mdb("Classify"), "Classify", pos_->dm.qryClassify, "ClsNo",
                   {{{"ClsNo", "Z1"}, {"ClsName", "first"}},
                    {{"ClsNo", "Z1"}, {"ClsName", "second"}},
                    {{"ClsNo", "Z2"}, {"ClsName", "same"}},
                    {{"ClsNo", "Z2"}, {"ClsName", "same"}}});
  QuietPreview ui;
  const std::vector<TablePreview> tables = preview({"Classify"}, nullptr, ui);
  ASSERT_TRUE(tables.at(0).counts);
  EXPECT_EQ(tables[0].counts->added, 1);
  EXPECT_EQ(tables[0].counts->changed, 1);
  EXPECT_EQ(tables[0].counts->failures.size(), 2u);
  EXPECT_EQ(tables[0].counts->unchanged, 5);
  EXPECT_EQ(pos_->rowCount("Classify"), 5);
}

TEST_P(ImportPreviewTest, AnUnreadableTableIsReportedAndTheNextOneStillPreviewed) {
  exportAll();
  QFile::remove(mdb("Item"));
  // A column map naming a heading the file does not have: the table fails once, naming
  // the file, the heading and the column map file, not once for every row.
  config::ColumnMap map = test::exportMap(pos_->dm.qrySupplier, "FactNo");
  map.addPair("NoSuchColumn", "Label");
  map.writeTable("Supplier");
  QuietPreview ui;
  const std::vector<TablePreview> tables = preview(kAll, nullptr, ui);
  ASSERT_EQ(tables.size(), 4u);
  EXPECT_FALSE(tables[1].counts);
  EXPECT_FALSE(tables[1].error.isEmpty());
  ASSERT_EQ(ui.unreadable.size(), 2);
  EXPECT_TRUE(ui.unreadable[0].startsWith("Item: "));
  EXPECT_FALSE(tables[2].counts);
  EXPECT_TRUE(tables[2].error.startsWith(
      QStringLiteral("Supplier.mdb 裡找不到欄位「Label」（欄位對照檔 Supplier.ini 列出的欄位）")))
      << tables[2].error.toStdString();
  EXPECT_TRUE(tables[2].error.contains(QStringLiteral("重新按「匯出檔案」")));
  ASSERT_TRUE(tables[3].counts);
  EXPECT_EQ(tables[3].counts->unchanged, 5);

  const QString report = previewReport(tables);
  const QStringList lines = report.split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 5) << report.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("匯入預覽："));
  EXPECT_EQ(lines[1], QStringLiteral("Classify：Access 列數 5，新增 0，變更 0，不變 5，失敗 0"));
  EXPECT_EQ(lines[2], QStringLiteral("Item：無法讀取：") + platform::withFullStop(tables[1].error));
  EXPECT_EQ(lines[3],
            QStringLiteral("Supplier：無法讀取：") + platform::withFullStop(tables[2].error));
  EXPECT_EQ(lines[4], QStringLiteral("Customer：Access 列數 5，新增 0，變更 0，不變 5，失敗 0"));
}

// The drivers store a null text as NULL: giving one to a NULL column changes nothing,
// while the empty text is a value.
TEST(RowChangeTest, ANullTextIsNullAndTheEmptyTextIsNot) {
  EXPECT_TRUE(journal::sameValue(QVariant(), QVariant(QString())));
  EXPECT_TRUE(journal::sameValue(QVariant(), QVariant(QByteArray())));
  EXPECT_FALSE(journal::sameValue(QVariant(), QVariant(QStringLiteral(""))));
  EXPECT_FALSE(journal::valueText(QVariant(QString()), db::ftString));
  EXPECT_EQ(journal::valueText(QVariant(QStringLiteral("")), db::ftString), QString());
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportPreviewTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) { return std::string(engineName(info.param)); });

}  // namespace
}  // namespace dataimport
