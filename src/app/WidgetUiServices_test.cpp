#include "app/WidgetUiServices.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace app {
namespace {

struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
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

}  // namespace
}  // namespace app
