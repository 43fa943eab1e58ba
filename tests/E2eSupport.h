// What the end-to-end suites share: a program folder of its own holding a demo POS and
// its Config.ini, the program started on it offscreen with message boxes recorded, and
// snapshots of the POS tables to compare.
#pragma once

#include "TdsPos.h"

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

// Where the demo POS lives: an SQLite file, or a database of its own on the test TDS
// server (SQL Server's protocol, reached through FreeTDS as a shop's server is).
enum class PosRoute { Sqlite, Tds };

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Which route makePos() puts the POS on; Tds skips the test when no TDS server runs.
  void useRoute(PosRoute route);
  PosRoute route() const { return route_; }

  QString path(const QString& name) const { return folder_.filePath(name); }
  // A demo POS of `items` items as pos.sqlite (on the TDS route copied into a database
  // of its own there), selected by a Config.ini that switches every table on for import
  // and export and lets an import overwrite every Item column; `sql` runs on it
  // afterwards.
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
  QString posConnection() const;
  platform::UiServices* previous_ = nullptr;
  PosRoute route_ = PosRoute::Sqlite;
  std::unique_ptr<demopos::TdsPos> tds_;
};

// The differences of two snapshots, a few lines per table; empty when equal.
std::string differences(const PosSnapshot& expected, const PosSnapshot& actual);

}  // namespace e2e
