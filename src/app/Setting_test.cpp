#include "app/Setting.h"

#include "TestSupport.h"

#include <config/Configs.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <cstdlib>

namespace app {
namespace {

using test::ShownMessage;

class SettingTest : public test::ProgramFolderTest {
 protected:
  void open() {
    dialog_ = std::make_unique<TfrmSetting>();
    dialog_->show();
    dialog_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  }
  template <class T>
  T* child(const char* name) {
    T* w = dialog_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
  QCheckBox* check(const char* name) { return child<QCheckBox>(name); }
  QGroupBox* stockGroup() { return child<QGroupBox>("rgStkQry"); }
  QRadioButton* stockItem(int i) { return child<QRadioButton>(i == 0 ? "rgStkQry0" : "rgStkQry1"); }
  QRadioButton* mdb() { return child<QRadioButton>("rbFileTypeMdb"); }
  QRadioButton* xlsx() { return child<QRadioButton>("rbFileTypeXlsx"); }
  void save() { QTest::mouseClick(child<QWidget>("BitBtnPost"), Qt::LeftButton); }
  QString read(const char* section, const char* key) {
    return config::Config().readString(section, key, "<missing>");
  }

  std::unique_ptr<TfrmSetting> dialog_;
};

TEST_F(SettingTest, WithoutConfigShowsDefaultsAndSavesEveryKeyButTheStockAction) {
  open();
  EXPECT_EQ(edit("edtHost")->text(), "127.0.0.1");
  EXPECT_EQ(edit("edtDatabase")->text(), "KAROS");
  EXPECT_EQ(edit("edtUser")->text(), "sa");
  EXPECT_EQ(edit("edtPassword")->text(), "kora");
  EXPECT_EQ(edit("edtPassword")->echoMode(), QLineEdit::Password);
  for (QCheckBox* c : dialog_->findChildren<QCheckBox*>())
    EXPECT_EQ(c->isChecked(), c->objectName() == "cbPreview") << c->objectName().toStdString();
  EXPECT_FALSE(stockGroup()->isEnabled());
  EXPECT_FALSE(stockItem(0)->isChecked() || stockItem(1)->isChecked());
  EXPECT_EQ(QApplication::focusWidget(), edit("edtHost"));

  save();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, ShownMessage::Kind::Information);
  EXPECT_EQ(ui_.messages[0].text, "存檔完成。");
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(read("MSSQL", "Host"), "127.0.0.1");
  EXPECT_EQ(read("Import Item", "Update_StkQty"), "0");
  EXPECT_EQ(read("Export Import", "Customer"), "0");
  EXPECT_EQ(read("Import Item", "Update_StkQty_Action"), "<missing>");
}

TEST_F(SettingTest, StockCheckBoxDrivesTheRadioGroupWithoutChangingItsSelection) {
  open();
  QTest::mouseClick(check("cbStkQty"), Qt::LeftButton);
  EXPECT_TRUE(stockGroup()->isEnabled());
  EXPECT_FALSE(stockItem(0)->isChecked() || stockItem(1)->isChecked());
  save();
  EXPECT_EQ(read("Import Item", "Update_StkQty"), "1");
  EXPECT_EQ(read("Import Item", "Update_StkQty_Action"), "1");

  // Shown again: the stored action selects its item; clearing the check box disables
  // the group and saving leaves the stored action alone.
  config::Config().writeInteger("Import Item", "Update_StkQty_Action", 0);
  open();
  EXPECT_TRUE(stockGroup()->isEnabled());
  EXPECT_TRUE(stockItem(0)->isChecked());
  QTest::mouseClick(check("cbStkQty"), Qt::LeftButton);
  EXPECT_FALSE(stockGroup()->isEnabled());
  EXPECT_TRUE(stockItem(0)->isChecked());
  save();
  EXPECT_EQ(read("Import Item", "Update_StkQty"), "0");
  EXPECT_EQ(read("Import Item", "Update_StkQty_Action"), "0");
  open();
  EXPECT_FALSE(stockGroup()->isEnabled());
  EXPECT_FALSE(stockItem(0)->isChecked() || stockItem(1)->isChecked());
}

TEST_F(SettingTest, FileTypeGroupShowsTheStoredFormatAndSavesTheChosenOne) {
  open();
  EXPECT_TRUE(mdb()->isChecked());
  EXPECT_FALSE(xlsx()->isChecked());
  QTest::mouseClick(xlsx(), Qt::LeftButton);
  EXPECT_FALSE(mdb()->isChecked());
  save();
  EXPECT_EQ(read("Export Import", "FileType"), "xlsx");

  open();
  EXPECT_TRUE(xlsx()->isChecked());
  EXPECT_FALSE(mdb()->isChecked());

  // An unknown format shows Access, and saving puts "mdb" in its place.
  config::Config().writeString("Export Import", "FileType", "Excel");
  open();
  EXPECT_TRUE(mdb()->isChecked());
  EXPECT_FALSE(xlsx()->isChecked());
  save();
  EXPECT_EQ(read("Export Import", "FileType"), "mdb");
}

TEST_F(SettingTest, ControlsFitTheirCaptionsAndNeitherOverlapNorLeaveTheirGroup) {
  open();
  // The controls placed by hand: those on the dialog and those in its group boxes,
  // not the parts composite widgets are built of.
  QList<QWidget*> placed;
  for (QWidget* w : dialog_->findChildren<QWidget*>()) {
    QWidget* parent = w->parentWidget();
    if (parent == dialog_.get() || qobject_cast<QGroupBox*>(parent)) placed.push_back(w);
  }
  ASSERT_GE(placed.size(), 30);
  for (QWidget* w : placed) {
    SCOPED_TRACE(w->objectName().toStdString());
    EXPECT_TRUE(w->isVisible());
    QWidget* parent = w->parentWidget();
    EXPECT_TRUE(parent->rect().contains(w->geometry()));
    // Below the caption of its group box.
    if (parent != dialog_.get()) {
      EXPECT_GE(w->y(), parent->fontMetrics().height());
    }
    if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
      EXPECT_GE(w->width(), w->sizeHint().width());
    }
    for (QWidget* other : placed) {
      if (other != w && other->parentWidget() == parent) {
        EXPECT_FALSE(w->geometry().intersects(other->geometry()))
            << other->objectName().toStdString();
      }
    }
  }
}

TEST_F(SettingTest, EmptyDatabaseWritesTheHostOnlyAndKeepsTheDialogOpen) {
  writeConfig("[MSSQL]\r\nHost=old-host\r\nDatabase=POS\r\n[Export Import]\r\nItem=1\r\n");
  open();
  edit("edtHost")->setText("new-host");
  edit("edtDatabase")->clear();
  check("cbItem")->setChecked(false);
  save();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, ShownMessage::Kind::Box);
  EXPECT_EQ(ui_.messages[0].text, "資料庫必須要輸入 !");
  EXPECT_EQ(ui_.messages[0].caption, "存檔錯誤");
  EXPECT_EQ(ui_.messages[0].icon, platform::UiServices::Icon::Error);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), edit("edtDatabase"));

  // The dialog still holds what the file lacks: leaving asks; "不存檔" leaves.
  ui_.choice = 1;
  QTest::mouseClick(child<QWidget>("BitBtnCancel"), Qt::LeftButton);
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
  EXPECT_EQ(readConfig(),
            "[MSSQL]\r\nHost=new-host\r\nDatabase=POS\r\n[Export Import]\r\nItem=1\r\n");
}

TEST_F(SettingTest, EnterMovesToTheNextControlAndNeitherEnterNorEscapeCloses) {
  open();
  QTest::keyClick(edit("edtHost"), Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), edit("edtDatabase"));
  QTest::keyClick(edit("edtDatabase"), Qt::Key_Enter);
  EXPECT_EQ(QApplication::focusWidget(), edit("edtUser"));
  edit("edtPassword")->setFocus();
  QTest::keyClick(edit("edtPassword"), Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), check("cbShelfNo"));
  QTest::keyClick(check("cbShelfNo"), Qt::Key_Escape);
  QTest::keyClick(check("cbShelfNo"), Qt::Key_Return);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SettingTest, AFailedWriteReachesTheTopLevelHandlerAndTheDialogStaysOpen) {
  // A folder where Config.ini should be: no write can succeed.
  ASSERT_TRUE(QDir(folder_.path()).mkdir("Config.ini"));
  open();
  save();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "資料轉換程式");
  EXPECT_TRUE(ui_.messages[0].text.startsWith(
      QStringLiteral("無法寫入檔案 %1：").arg(QDir::toNativeSeparators(path("Config.ini")))))
      << ui_.messages[0].text.toStdString();
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(SettingTest, PreviewSwitchIsOnByDefaultAndSavedLikeTheOthers) {
  open();
  EXPECT_TRUE(check("cbPreview")->isChecked());
  QTest::mouseClick(check("cbPreview"), Qt::LeftButton);
  save();
  EXPECT_EQ(read("Export Import", "Preview"), "0");
  open();
  EXPECT_FALSE(check("cbPreview")->isChecked());
  check("cbPreview")->setChecked(true);
  save();
  EXPECT_EQ(read("Export Import", "Preview"), "1");
}

TEST_F(SettingTest, PasswordIsMaskedUntilTheOperatorAsksToSeeIt) {
  open();
  QLineEdit* password = edit("edtPassword");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  QTest::mouseClick(check("cbShowPassword"), Qt::LeftButton);
  EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
  QTest::mouseClick(check("cbShowPassword"), Qt::LeftButton);
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
}

TEST_F(SettingTest, LeavingWithUnsavedChangesAsksAndKeepsWhatTheOperatorChose) {
  writeConfig("[MSSQL]\r\nHost=old-host\r\n");
  const QByteArray before = readConfig();
  // Nothing changed: no question.
  open();
  QTest::mouseClick(child<QWidget>("BitBtnCancel"), Qt::LeftButton);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_TRUE(ui_.messages.empty());

  open();
  edit("edtHost")->setText("new-host");
  // Its default: go on editing.
  QTest::mouseClick(child<QWidget>("BitBtnCancel"), Qt::LeftButton);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, ShownMessage::Kind::Question);
  EXPECT_EQ(ui_.messages[0].caption, "資料轉換程式");
  EXPECT_TRUE(dialog_->isVisible());
  // The close box asks too; "不存檔" leaves the file alone.
  ui_.choice = 1;
  dialog_->close();
  EXPECT_EQ(ui_.messages.size(), 2u);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(readConfig(), before);

  // "存檔" saves and closes.
  open();
  edit("edtHost")->setText("new-host");
  ui_.choice = 0;
  QTest::mouseClick(child<QWidget>("BitBtnCancel"), Qt::LeftButton);
  EXPECT_EQ(read("MSSQL", "Host"), "new-host");
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(ui_.messages.back().text, "存檔完成。");
}

TEST_F(SettingTest, TheNoteSaysWhenTheDemoEngineIsUsedAndWhenChangesWaitForTheNextStart) {
  open();
  EXPECT_TRUE(child<QLabel>("lblDatabaseNote")->text().isEmpty());
  dialog_->setConnected(true);
  EXPECT_TRUE(child<QLabel>("lblDatabaseNote")->text().contains("下次「啟動資料庫」時生效"));

  writeConfig("[MSSQL]\r\nProvider=SQLite\r\nDatabase=pos.sqlite\r\n");
  open();
  EXPECT_TRUE(child<QLabel>("lblDatabaseNote")->text().contains("SQLite"));
  // A file that is not there is named, and not made as an empty database.
  QTest::mouseClick(child<QWidget>("btnTestConnection"), Qt::LeftButton);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].text.startsWith("找不到資料庫檔案「pos.sqlite」"))
      << ui_.messages[0].text.toStdString();
  EXPECT_FALSE(QFile::exists(path("pos.sqlite")));
}

// Against the test TDS server: the values in the dialog are tried, not those saved.
class SettingConnectionTest : public SettingTest {
 protected:
  void SetUp() override {
    SettingTest::SetUp();
    const char* dsn = std::getenv("DATACONV_TEST_TDS_DSN");
    if (!dsn || !*dsn) GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
    const QString text = QString::fromUtf8(dsn);
    host_ =
        "127.0.0.1," + QRegularExpression(QStringLiteral("Port=(\\d+)")).match(text).captured(1);
    password_ = QRegularExpression(QStringLiteral("PWD=([^;]*)")).match(text).captured(1);
  }
  ShownMessage testWith(const QString& host, const QString& password) {
    ui_.messages.clear();
    open();
    edit("edtHost")->setText(host);
    edit("edtDatabase")->setText("KAROS");
    edit("edtPassword")->setText(password);
    QTest::mouseClick(child<QWidget>("btnTestConnection"), Qt::LeftButton);
    EXPECT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(dialog_->isVisible());
    return ui_.messages.empty() ? ShownMessage{} : ui_.messages.back();
  }
  QString host_;
  QString password_;
};

TEST_F(SettingConnectionTest, RightWrongPasswordAndNothingListeningSayWhatHappened) {
  const QByteArray before = readConfig();
  const ShownMessage right = testWith(host_, password_);
  EXPECT_EQ(right.text,
            QStringLiteral("連線成功：伺服器「%1」上的資料庫「KAROS」可以使用。").arg(host_));
  EXPECT_EQ(right.icon, platform::UiServices::Icon::Information);
  EXPECT_EQ(right.caption, "資料轉換程式");

  const ShownMessage wrong = testWith(host_, "wrong-password");
  EXPECT_EQ(wrong.icon, platform::UiServices::Icon::Error);
  EXPECT_EQ(wrong.text,
            QStringLiteral("無法連線到伺服器「%1」上的資料庫「KAROS」：請在「參數設定」中"
                           "檢查登入帳號與密碼。")
                .arg(host_));
  // The driver's own words are kept for support, in the box's details.
  EXPECT_TRUE(wrong.details.contains("Login failed")) << wrong.details.toStdString();

  // A port that was free a moment ago.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
  ::close(probe);
  const QString free = QStringLiteral("127.0.0.1,%1").arg(ntohs(address.sin_port));
  const ShownMessage nobody = testWith(free, password_);
  EXPECT_TRUE(nobody.text.startsWith(
      QStringLiteral(
          "無法連線到伺服器「%1」上的資料庫「KAROS」：請在「參數設定」中檢查伺服器位址與連接埠")
          .arg(free)))
      << nobody.text.toStdString();
  // Nothing was saved by trying.
  EXPECT_EQ(readConfig(), before);
}

}  // namespace
}  // namespace app
