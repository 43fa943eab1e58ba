#include "platform/UiServices.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace platform;

namespace {

class RecordingUi : public UiServices {
 public:
  std::vector<QString> messages;
  std::vector<bool> cursor;
  void messageBox(const QString& text, const QString&, Icon) override { messages.push_back(text); }
  void showInformation(const QString& text) override { messages.push_back(text); }
  void setBusyCursor(bool busy) override { cursor.push_back(busy); }
  void processEvents() override {}
};

}  // namespace

TEST(UiServices, SilentUntilInstalledAndRestorable) {
  UiServices::instance().messageBox("dropped", "caption", UiServices::Icon::Error);
  UiServices::instance().showInformation("dropped");
  RecordingUi ui;
  EXPECT_EQ(UiServices::install(&ui), nullptr);
  UiServices::instance().showInformation("shown");
  RecordingUi other;
  EXPECT_EQ(UiServices::install(&other), &ui);
  EXPECT_EQ(UiServices::install(nullptr), &other);
  EXPECT_NE(&UiServices::instance(), &ui);
  EXPECT_NE(&UiServices::instance(), &other);
  EXPECT_EQ(ui.messages, std::vector<QString>{QStringLiteral("shown")});
}

TEST(UiServices, BusyCursorIsRestoredWhenAnErrorEndsTheStep) {
  RecordingUi ui;
  UiServices::install(&ui);
  try {
    BusyCursor busy;
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  UiServices::install(nullptr);
  EXPECT_EQ(ui.cursor, (std::vector<bool>{true, false}));
}
