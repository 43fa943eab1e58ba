#include "app/SettingValues.h"

#include "TestSupport.h"

#include <config/Configs.h>

#include <gtest/gtest.h>

namespace app {
namespace {

class SettingValuesTest : public test::ProgramFolderTest {
 protected:
  // The lines of Config.ini without blank ones, so the spacing between sections does
  // not matter.
  QList<QByteArray> configLines() const {
    QList<QByteArray> lines;
    for (QByteArray line : readConfig().split('\n')) {
      line = line.trimmed();
      if (!line.isEmpty()) lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(SettingValuesTest, WithoutConfigTheDefaultsAreReadAndSavingWritesEveryKeyButTheStockAction) {
  SettingValues v = SettingValues::read(config::Config());
  EXPECT_EQ(v.host, "127.0.0.1");
  EXPECT_EQ(v.database, "KAROS");
  EXPECT_EQ(v.user, "sa");
  EXPECT_EQ(v.password, "kora");
  EXPECT_FALSE(v.shelfNo || v.stkQty || v.avgCost || v.uniPrice || v.price || v.memPrice ||
               v.vipPrice || v.classify || v.item || v.supplier || v.customer || v.editsOnly);
  EXPECT_EQ(v.stkQtyAction, -1);
  EXPECT_EQ(v.fileType, SettingValues::FileType::Mdb);

  v.item = true;
  EXPECT_EQ(v.write(config::Config()), SettingValues::Missing::None);
  const QList<QByteArray> expected = {
      "[MSSQL]",           "Host=127.0.0.1",    "Database=KAROS",   "User=sa",
      "Password=kora",     "[Import Item]",     "Update_ShelfNo=0", "Update_StkQty=0",
      "Update_AvgCost=0",  "Update_UniPrice=0", "Update_Price=0",   "Update_MemPrice=0",
      "Update_VipPrice=0", "[Export Import]",   "Classify=0",       "Item=1",
      "Supplier=0",        "Customer=0",        "EditsOnly=0",      "Preview=1",
      "FileType=mdb"};
  EXPECT_EQ(configLines(), expected);
}

TEST_F(SettingValuesTest, AnEmptyValueStopsTheSaveAfterTheValuesBeforeIt) {
  writeConfig("[MSSQL]\r\nHost=old\r\nDatabase=OLDDB\r\n");
  SettingValues v = SettingValues::read(config::Config());
  v.host = "10.0.0.5";
  v.database.clear();
  v.user = "changed";
  v.classify = true;
  EXPECT_EQ(v.write(config::Config()), SettingValues::Missing::Database);
  EXPECT_EQ(SettingValues::missingMessage(SettingValues::Missing::Database), "資料庫必須要輸入 !");
  EXPECT_EQ(configLines(), (QList<QByteArray>{"[MSSQL]", "Host=10.0.0.5", "Database=OLDDB"}));

  // Blanks are a value and are written as typed.
  v.database = " ";
  v.password.clear();
  EXPECT_EQ(v.write(config::Config()), SettingValues::Missing::Password);
  EXPECT_EQ(config::Config().readString("MSSQL", "Database", "x"), " ");
  EXPECT_EQ(config::Config().readString("MSSQL", "User", "x"), "changed");
  EXPECT_EQ(config::Config().readString("MSSQL", "Password", "x"), "x");
  EXPECT_FALSE(config::Config().readBool("Export Import", "Classify", false));
}

TEST_F(SettingValuesTest, StockActionIsReadOnlyWithTheStockUpdateAndWrittenOnlyWithIt) {
  writeConfig("[Import Item]\r\nUpdate_StkQty=1\r\nUpdate_StkQty_Action=0x1\r\n");
  EXPECT_EQ(SettingValues::read(config::Config()).stkQtyAction, 1);
  writeConfig("[import item]\r\nupdate_stkqty=2\r\nUPDATE_STKQTY_ACTION=-1\r\n");
  EXPECT_EQ(SettingValues::read(config::Config()).stkQtyAction, 0);
  writeConfig("[Import Item]\r\nUpdate_StkQty=0\r\nUpdate_StkQty_Action=1\r\n");
  SettingValues v = SettingValues::read(config::Config());
  EXPECT_EQ(v.stkQtyAction, -1);

  // Switched off: the stored action stays as it was.
  v.write(config::Config());
  EXPECT_EQ(config::Config().readInteger("Import Item", "Update_StkQty_Action", 9), 1);

  // Switched on with no item chosen: accumulate.
  v.stkQty = true;
  writeConfig("");
  v.write(config::Config());
  EXPECT_EQ(config::Config().readInteger("Import Item", "Update_StkQty_Action", 9), 1);
  v.stkQtyAction = 0;
  v.write(config::Config());
  EXPECT_EQ(config::Config().readInteger("Import Item", "Update_StkQty_Action", 9), 0);
}

TEST_F(SettingValuesTest, FileTypeIsExcelOnlyForXlsxInAnyCaseAndAStoppedSaveLeavesItAlone) {
  const auto stored = [this](const QByteArray& value) {
    writeConfig("[Export Import]\r\nFileType=" + value + "\r\n");
    return SettingValues::read(config::Config()).fileType;
  };
  EXPECT_EQ(stored("mdb"), SettingValues::FileType::Mdb);
  EXPECT_EQ(stored("xls"), SettingValues::FileType::Mdb);
  EXPECT_EQ(stored(""), SettingValues::FileType::Mdb);
  EXPECT_EQ(stored(" XLSX"), SettingValues::FileType::Xlsx);  // as the export reads it
  EXPECT_EQ(stored("xlsx"), SettingValues::FileType::Xlsx);

  // A save stopped by an empty connection value does not reach the format.
  SettingValues v = SettingValues::read(config::Config());
  v.fileType = SettingValues::FileType::Mdb;
  v.user.clear();
  EXPECT_EQ(v.write(config::Config()), SettingValues::Missing::User);
  EXPECT_EQ(config::Config().readString("Export Import", "FileType", "x"), "xlsx");
}

}  // namespace
}  // namespace app
