// What the window tests share: a QApplication for the whole run, UI services that
// record every box and answer it at once, and a scratch program folder with its own
// configuration object.
#pragma once

#include <platform/UiServices.h>

#include <gtest/gtest.h>
#include <QDialog>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <vector>

namespace app::test {

struct ShownMessage {
  // Dialog: one of the program's own dialogs (a report, the import preview); its text is
  // the report's, or the preview's table lines.
  enum class Kind { Box, Information, Question, Dialog };
  Kind kind;
  QString text;
  QString caption;
  platform::UiServices::Icon icon;
  // An error box's details, shown on request below the text.
  QString details = {};
};

class RecordingUiServices : public platform::UiServices {
 public:
  void messageBox(const QString& text, const QString& caption, Icon icon) override;
  void errorBox(const QString& text, const QString& details, const QString& caption) override;
  void showInformation(const QString& text) override;
  bool question(const QString& text, const QString& caption) override;
  int choose(const QString& text, const QString& caption, const QStringList& buttons,
             int defaultButton) override;
  void setBusyCursor(bool busy) override;
  void processEvents() override;

  std::vector<ShownMessage> messages;
  // What a question is answered (the question is recorded with the messages).
  bool answer = false;
  // The button a choice is answered with; below 0: its default button.
  int choice = -2;
  int busyDepth = 0;
  int busyCount = 0;
  int processEventsCount = 0;
  // Runs while a box is "open", as the operator's reaction to it.
  std::function<void(const ShownMessage&)> onMessage;
  // Runs on each processEvents call, as input arriving during a wait.
  std::function<void()> onProcessEvents;
  // Answers one of the program's dialogs (recorded first); unset: accepted, as a click on
  // its default button ("開始匯入", "確定").
  std::function<int(QDialog&)> onDialog;
  int runDialog(QDialog& dialog);
};

// A fresh program folder with the configuration object over its Config.ini, and the
// recording UI services installed; all undone after the test.
class ProgramFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  QString path(const QString& name) const;
  void writeConfig(const QByteArray& content) const;
  QByteArray readConfig() const;

  QTemporaryDir folder_;
  RecordingUiServices ui_;
  // Tests that run the whole start-up leave the configuration object to it.
  bool createConfig_ = true;

 private:
  platform::UiServices* previous_ = nullptr;
};

}  // namespace app::test
