// What the end-to-end suites share: a program folder of its own holding a demo POS and
// its Config.ini, the program started on it offscreen with message boxes recorded, and
// snapshots of the POS tables to compare.
#pragma once

#include "TdsPos.h"

#include <ShownTexts.h>
#include <app/Program.h>
#include <platform/UiServices.h>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
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
    platform::testing::recordShownText(QStringLiteral("box"), text);
    shown.push_back({false, text});
  }
  void showInformation(const QString& text) override {
    platform::testing::recordShownText(QStringLiteral("information"), text);
    shown.push_back({true, text});
  }
  // A choice is answered with `choice`, below 0 with its default button, as Enter does.
  int choice = -1;
  int choose(const QString& text, const QString&, const QStringList&, int defaultButton) override {
    platform::testing::recordShownText(QStringLiteral("choice"), text);
    shown.push_back({false, text});
    return choice < 0 ? defaultButton : choice;
  }
  void setBusyCursor(bool busy) override { busyDepth += busy ? 1 : -1; }
  void processEvents() override;
};

// Every row of the four POS tables by table and key: each declared field's plain text
// ("<null>" for NULL), lookup fields left out.
using PosSnapshot = std::map<QString, std::map<QString, QStringList>>;

// Where the demo POS lives: an SQLite file, a schema of its own on the test PostgreSQL
// server (reached over ODBC), or a database of its own on the test TDS server (SQL
// Server's protocol, reached through FreeTDS as a shop's server is).
enum class PosRoute { Sqlite, Postgres, Tds };
const char* routeName(PosRoute route);

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Which route makePos() puts the POS on; Postgres and Tds skip the test when no such
  // test server runs.
  void useRoute(PosRoute route);
  PosRoute route() const { return route_; }
  // The exchange files' format makePos() writes into Config.ini ([Export Import]
  // FileType); none written by default, which is Access.
  void useFileType(const QByteArray& fileType) { fileType_ = fileType; }

  QString path(const QString& name) const { return folder_.filePath(name); }
  // A demo POS of `items` items as pos.sqlite (on the TDS route copied into a database
  // of its own there), selected by a Config.ini that switches every table on for import
  // and export and lets an import overwrite every Item column; `sql` runs on it
  // afterwards.
  void makePos(int items, const QStringList& sql = {});
  void runSql(const QStringList& sql) const;
  // The first column of the first row `select` gives; invalid when there is none.
  QVariant sqlValue(const QString& select) const;
  PosSnapshot snapshot() const;
  // SQL literals of the route's dialect: a text (Unicode on SQL Server) and a boolean.
  QString textLiteral(const QString& text) const;
  QString booleanLiteral(bool value) const;

  // On the PostgreSQL route the window is pointed at the schema directly, as Config.ini
  // has no way to name an ODBC data source.
  void startProgram();
  app::TfrmMain& window() const;
  void click(const char* button);
  // The last message shown, and whether it was the information dialog.
  const RecordingUi::Shown& lastShown() const;

  // The route's POS database, as the program is pointed at it.
  QString posConnection() const;

  QTemporaryDir folder_;
  RecordingUi ui_;
  std::unique_ptr<app::Program> program_;

 private:
  platform::UiServices* previous_ = nullptr;
  PosRoute route_ = PosRoute::Sqlite;
  QByteArray fileType_;
  std::unique_ptr<demopos::TdsPos> tds_;
  std::unique_ptr<db::testing::TestDatabase> pg_;
};

// The differences of two snapshots, a few lines per table; empty when equal.
std::string differences(const PosSnapshot& expected, const PosSnapshot& actual);

}  // namespace e2e
