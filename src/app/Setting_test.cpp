#include "app/Setting.h"

#include "TestSupport.h"

#include <config/Configs.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

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
  EXPECT_EQ(edit("edtPassword")->echoMode(), QLineEdit::Normal);
  for (QCheckBox* c : dialog_->findChildren<QCheckBox*>()) EXPECT_FALSE(c->isChecked());
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
  EXPECT_TRUE(ui_.messages[0].text.startsWith("Unable to write to "));
  EXPECT_TRUE(dialog_->isVisible());
}

}  // namespace
}  // namespace app
