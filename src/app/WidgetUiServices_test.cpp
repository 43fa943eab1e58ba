#include "app/WidgetUiServices.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

namespace app {
namespace {

struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString details;
  bool busyCursorShown = false;
};

// Reads the modal box once it is up, then presses its one button.
void answerNextBox(SeenBox& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = SeenBox{};
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    seen.details = box->detailedText();
    seen.busyCursorShown =
        QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    box->buttons().front()->click();
  });
}

TEST(WidgetUiServicesTest, BoxesAreModalWithTheirCaptionIconAndOneOkButton) {
  WidgetUiServices ui;
  SeenBox seen;
  answerNextBox(seen);
  ui.messageBox("資料庫必須要輸入 !", "存檔錯誤", platform::UiServices::Icon::Error);
  EXPECT_EQ(seen.caption, "存檔錯誤");
  EXPECT_EQ(seen.text, "資料庫必須要輸入 !");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QStringList{"OK"});

  // The information dialog; a busy cursor gives way to the arrow while it is up.
  ui.setBusyCursor(true);
  answerNextBox(seen);
  ui.showInformation("啟動資料庫成功。");
  EXPECT_EQ(seen.caption, "Information");
  EXPECT_EQ(seen.text, "啟動資料庫成功。");
  EXPECT_EQ(seen.icon, QMessageBox::Information);
  EXPECT_EQ(seen.buttons, QStringList{"OK"});
  EXPECT_FALSE(seen.busyCursorShown);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui.setBusyCursor(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// With the toolkit's Chinese texts loaded: standard buttons read Chinese, a box without
// a caption of its own carries the program's, the driver's words sit in the details, and
// the information dialog keeps its own caption and button.
TEST(WidgetUiServicesTest, TranslatedBoxesReadChineseButTheInformationDialogKeepsItsWords) {
  if (!WidgetUiServices::installTranslations()) GTEST_SKIP() << "qtbase_zh_TW.qm is not installed";
  WidgetUiServices ui;
  SeenBox seen;
  answerNextBox(seen);
  ui.question("要放棄這些修改嗎？", QString());
  EXPECT_EQ(seen.caption, "資料轉換程式");
  EXPECT_EQ(seen.buttons.size(), 2);
  // With their keyboard shortcuts: "是(&Y)".
  EXPECT_EQ(seen.buttons.filter(QRegularExpression("^(是|否)")).size(), 2)
      << seen.buttons.join(',').toStdString();

  answerNextBox(seen);
  ui.errorBox("無法連線到伺服器「db1」上的資料庫「KAROS」：請在「參數設定」中檢查登入帳號與密碼。",
              "Login failed for user 'sa'.", QString());
  EXPECT_EQ(seen.caption, "資料轉換程式");
  EXPECT_EQ(seen.details, "Login failed for user 'sa'.");
  EXPECT_EQ(seen.buttons.filter(QRegularExpression("^確定")).size(), 1)
      << seen.buttons.join(',').toStdString();

  answerNextBox(seen);
  ui.showInformation("存檔完成。");
  EXPECT_EQ(seen.caption, "Information");
  EXPECT_EQ(seen.buttons, QStringList{"OK"});
}

}  // namespace
}  // namespace app
