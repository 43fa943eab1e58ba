#include "app/ErrorHandler.h"

#include "TestSupport.h"

#include <ShownTexts.h>
#include <platform/Error.h>

#include <gtest/gtest.h>
#include <stdexcept>

namespace app {
namespace {

using test::RecordingUiServices;
using Icon = platform::UiServices::Icon;

TEST(ErrorHandlerTest, FullStopOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(withFullStop("Field 'x' not found"), "Field 'x' not found.");
  EXPECT_EQ(withFullStop("count 3"), "count 3.");
  EXPECT_EQ(withFullStop("資料錯誤"), "資料錯誤.");
  // The full-width stop is a character after "." too.
  EXPECT_EQ(withFullStop("完成。"), "完成。.");
  EXPECT_EQ(withFullStop("Done."), "Done.");
  EXPECT_EQ(withFullStop("Stop !"), "Stop !");
  EXPECT_EQ(withFullStop("(x)"), "(x)");
  EXPECT_EQ(withFullStop("path/"), "path/.");
  EXPECT_EQ(withFullStop(""), "");
}

class GuardTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = platform::UiServices::install(&ui_); }
  void TearDown() override { platform::UiServices::install(previous_); }
  RecordingUiServices ui_;
  platform::UiServices* previous_ = nullptr;
};

TEST_F(GuardTest, ErrorEndsTheHandlerAndShowsAStopBoxCaptionedWithTheTitle) {
  const platform::testing::NotShownToOperators madeUp;  // the English is the test's own
  bool after = false;
  EXPECT_FALSE(guard([&] {
    throw platform::Error("qryItem: Field '管理貨號' not found");
    after = true;
  }));
  EXPECT_FALSE(after);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "qryItem: Field '管理貨號' not found.");
  EXPECT_EQ(ui_.messages[0].caption, "資料轉換程式");
  EXPECT_EQ(ui_.messages[0].icon, Icon::Error);
}

TEST_F(GuardTest, OtherExceptionsShowTheirUtf8TextAndCompletedHandlersShowNothing) {
  const platform::testing::NotShownToOperators madeUp;
  EXPECT_FALSE(guard([] { throw std::runtime_error("檔案損毀 (page 3)"); }));
  EXPECT_FALSE(guard([] { throw 42; }));
  EXPECT_TRUE(guard([] {}));
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].text, "檔案損毀 (page 3)");
  EXPECT_EQ(ui_.messages[1].text, "發生無法辨識的錯誤：請再試一次，仍然失敗時請聯絡系統管理員。.");
}

// A driver's English follows the operator's line for support; the box keeps it in its
// details, and a text without Chinese at all is still shown, not hidden.
TEST_F(GuardTest, DriverTextAfterTheChineseLineGoesToTheDetails) {
  EXPECT_FALSE(guard([] {
    throw platform::Error(
        "無法連線到伺服器「db1」上的資料庫「KAROS」：請在「參數設定」中檢查登入帳號與密碼。\n"
        "[FreeTDS][SQL Server]Login failed for user 'sa'.\n"
        "[FreeTDS][SQL Server]Unable to connect to data source");
  }));
  {
    const platform::testing::NotShownToOperators madeUp;
    EXPECT_FALSE(guard([] { throw platform::Error("Adaptive Server is unavailable"); }));
  }
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0].text,
            "無法連線到伺服器「db1」上的資料庫「KAROS」：請在「參數設定」中檢查登入帳號與密碼。");
  EXPECT_EQ(ui_.messages[0].details,
            "[FreeTDS][SQL Server]Login failed for user 'sa'.\n"
            "[FreeTDS][SQL Server]Unable to connect to data source.");
  EXPECT_EQ(ui_.messages[1].text, "Adaptive Server is unavailable.");
  EXPECT_EQ(ui_.messages[1].details, "");
}

}  // namespace
}  // namespace app
