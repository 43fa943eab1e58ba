// What the end-to-end suites share: a program folder of its own holding a demo POS and
// its Config.ini, the program started on it offscreen with message boxes recorded, and
// snapshots of the POS tables to compare.
#pragma once

#include <app/Program.h>
#include <platform/UiServices.h>

#include <gtest/gtest.h>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>

namespace app {
class TfrmMain;
}

namespace e2e {

class RecordingUi : public platform::UiServices {
 public:
  struct Shown {
    bool information;
    QString text;
  };
  std::vector<Shown> shown;
  int busyDepth = 0;
  void messageBox(const QString& text, const QString&, Icon) override {
    shown.push_back({false, text});
  }
  void showInformation(const QString& text) override { shown.push_back({true, text}); }
  void setBusyCursor(bool busy) override { busyDepth += busy ? 1 : -1; }
  void processEvents() override;
};

// Every row of the four POS tables by table and key: each declared field's plain text
// ("<null>" for NULL), lookup fields left out.
using PosSnapshot = std::map<QString, std::map<QString, QStringList>>;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  QString path(const QString& name) const { return folder_.filePath(name); }
  // A demo POS of `items` items as pos.sqlite, selected by a Config.ini that switches
  // every table on for import and export and lets an import overwrite every Item
  // column; `sql` runs on it afterwards.
  void makePos(int items, const QStringList& sql = {});
  void runSql(const QStringList& sql) const;
  PosSnapshot snapshot() const;

  void startProgram();
  app::TfrmMain& window() const;
  void click(const char* button);
  // The last message shown, and whether it was the information dialog.
  const RecordingUi::Shown& lastShown() const;

  QTemporaryDir folder_;
  RecordingUi ui_;
  std::unique_ptr<app::Program> program_;

 private:
  platform::UiServices* previous_ = nullptr;
};

// The differences of two snapshots, a few lines per table; empty when equal.
std::string differences(const PosSnapshot& expected, const PosSnapshot& actual);

}  // namespace e2e
