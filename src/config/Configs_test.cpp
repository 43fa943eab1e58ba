#include "config/Configs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include <platform/CodePage.h>
#include <platform/Error.h>
#include <platform/ErrorText.h>
#include <platform/ProgramFolder.h>

using namespace config;

namespace {

QString u(const char16_t* s) {
  return QString::fromUtf16(s);
}

class ConfigTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  void SetUp() override {
    platform::setProgramFolderForTesting(dir.path());
    createConfig();
  }
  void TearDown() override {
    freeConfig();
    platform::setProgramFolderForTesting(QString());
  }
  QString configPath() const { return dir.filePath("Config.ini"); }
  QByteArray readConfig() const {
    QFile f(configPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void writeConfig(const QByteArray& bytes) const {
    QFile f(configPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  unsigned configMode() const {
    struct stat st {};
    ::stat(QFile::encodeName(configPath()).constData(), &st);
    return st.st_mode & 07777;
  }
};

}  // namespace

TEST_F(ConfigTest, WithoutConfigIniTheDefaultsApplyAndNoTableTakesPart) {
  EXPECT_EQ(Config().fileName(), configPath());
  EXPECT_EQ(Config().read(keys::Host), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(Config().read(keys::Database), QStringLiteral("KAROS"));
  EXPECT_EQ(Config().read(keys::User), QStringLiteral("sa"));
  EXPECT_EQ(Config().read(keys::Password), QStringLiteral("kora"));
  for (const PosTableInfo& table : kPosTables) EXPECT_FALSE(Config().read(table.enabled));
  EXPECT_EQ(Config().read(keys::UpdateStkQtyAction), 0);
  EXPECT_FALSE(QFile::exists(configPath()));
}

TEST_F(ConfigTest, WritesTheFileAsTheSettingsDialogDoesAndOnlyTheOwnerMayReadIt) {
  TConfig& c = Config();
  c.write(keys::Host, "127.0.0.1");
  c.write(keys::Database, "KAROS");
  c.write(keys::User, "sa");
  c.write(keys::Password, "kora");
  for (const FlagSetting& f :
       {keys::UpdateShelfNo, keys::UpdateStkQty, keys::UpdateAvgCost, keys::UpdateUniPrice,
        keys::UpdatePrice, keys::UpdateMemPrice, keys::UpdateVipPrice})
    c.write(f, false);
  c.write(keys::ExportClassify, false);
  c.write(keys::ExportItem, true);
  c.write(keys::ExportSupplier, false);
  c.write(keys::ExportCustomer, false);
  EXPECT_EQ(readConfig(),
            QByteArray("[MSSQL]\r\nHost=127.0.0.1\r\nDatabase=KAROS\r\nUser=sa\r\nPassword=kora\r\n"
                       "[Import Item]\r\nUpdate_ShelfNo=0\r\nUpdate_StkQty=0\r\n"
                       "Update_AvgCost=0\r\nUpdate_UniPrice=0\r\nUpdate_Price=0\r\n"
                       "Update_MemPrice=0\r\nUpdate_VipPrice=0\r\n"
                       "[Export Import]\r\nClassify=0\r\nItem=1\r\nSupplier=0\r\nCustomer=0\r\n"));
  EXPECT_EQ(configMode(), 0600u);
  EXPECT_TRUE(c.read(keys::ExportItem));

  // A file that exists keeps the mode its owner gave it.
  ::chmod(QFile::encodeName(configPath()).constData(), 0640);
  c.write(keys::Password, "new");
  EXPECT_EQ(configMode(), 0640u);
}

TEST_F(ConfigTest, ReadsStoredEncodingsAndOtherLetterCase) {
  writeConfig(
      "[mssql]\r\nhost=10.1.1.1\r\n"
      "[IMPORT ITEM]\r\nUpdate_ShelfNo=2\r\nUpdate_AvgCost=-1\r\nUpdate_Price=yes\r\n"
      "Update_MemPrice=\r\nupdate_stkqty_action=0x1\r\n"
      "[Export Import]\r\nClassify=$10\r\nItem=0X0\r\n");
  EXPECT_EQ(Config().read(keys::Host), QStringLiteral("10.1.1.1"));
  EXPECT_TRUE(Config().read(keys::UpdateShelfNo));
  EXPECT_TRUE(Config().read(keys::UpdateAvgCost));
  EXPECT_FALSE(Config().read(keys::UpdatePrice));
  EXPECT_FALSE(Config().read(keys::UpdateMemPrice));
  EXPECT_EQ(Config().read(keys::UpdateStkQtyAction), 1);
  EXPECT_TRUE(Config().read(keys::ExportClassify));
  EXPECT_FALSE(Config().read(keys::ExportItem));
  // The plain ini operations see the same values.
  EXPECT_TRUE(Config().readBool("export import", "CLASSIFY", false));
  Config().write(keys::UpdateStkQtyAction, -1);
  EXPECT_EQ(Config().readInteger("Import Item", "Update_StkQty_Action", 9), -1);
  EXPECT_TRUE(readConfig().contains("update_stkqty_action=-1\r\n"));
}

TEST_F(ConfigTest, KeepsWhatWindowsWroteAroundTheValuesItChanges) {
  const QByteArray original = platform::toBig5(
      u(u"; 設定檔\r\n\r\n[MSSQL]\r\nHost = 192.168.0.2\r\nPassword=密碼\r\n"
        u"Password=second\r\n\r\n[Local]\r\nPrinter=櫃檯\r\n[Export Import]\r\nItem=1"));
  writeConfig(original);
  EXPECT_EQ(Config().read(keys::Password), u(u"密碼"));
  Config().write(keys::Host, u(u"主機"));
  Config().write(keys::ExportItem, false);
  QByteArray expected = original;
  expected.replace("Host = 192.168.0.2", platform::toBig5(u(u"Host=主機")));
  expected.replace("Item=1", "Item=0\r\n");
  EXPECT_EQ(readConfig(), expected);
}

TEST_F(ConfigTest, RefusedWriteNamesTheFullPathAndKeepsEarlierWrites) {
  Config().write(keys::Host, "kept");
  ASSERT_TRUE(QFile::exists(configPath()));
  // A program folder under a regular file refuses writes even for root.
  platform::setProgramFolderForTesting(configPath());
  createConfig();
  try {
    Config().write(keys::Host, "x");
    FAIL() << "no error";
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.message(), platform::unableToWrite(configPath() + "/Config.ini"));
  }
  EXPECT_EQ(readConfig(), QByteArray("[MSSQL]\r\nHost=kept\r\n"));
}

TEST(ConfigGlobal, ExistsOnlyBetweenCreateAndFree) {
  freeConfig();
  EXPECT_THROW(Config(), platform::Error);
  platform::setProgramFolderForTesting("/tmp/dataconv-folder");
  createConfig();
  EXPECT_EQ(Config().fileName(), QStringLiteral("/tmp/dataconv-folder/Config.ini"));
  freeConfig();
  platform::setProgramFolderForTesting(QString());
  EXPECT_THROW(Config(), platform::Error);
}
