#include "E2eSupport.h"

#include "DemoPos.h"

#include <app/DialogRunner.h>
#include <app/Main.h>
#include <app/Program.h>
#include <app/ReportWindow.h>
#include <db/Command.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>
#include <posdb/DmMdf.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QRegularExpression>
#include <cstdlib>
#include <sstream>

namespace e2e {
void RecordingUi::processEvents() {
  QCoreApplication::processEvents();
}

void ProgramTest::SetUp() {
  platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
  platform::setProgramFolderForTesting(folder_.path());
  previous_ = platform::UiServices::install(&ui_);
  // The report windows are recorded as the information the operator reads; the
  // import's preview is started, as its default button does.
  app::setDialogRunnerForTesting([this](QDialog& dialog) {
    if (auto* report = qobject_cast<app::ReportWindow*>(&dialog)) {
      platform::testing::recordShownText(QStringLiteral("dialog"), report->text());
      ui_.shown.push_back({true, report->text()});
    }
    return int(QDialog::Accepted);
  });
}

namespace {

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// The four tables of the SQLite demo POS `sqlitePath` copied into the PostgreSQL schema
// `target` reaches, made from the PostgreSQL DDL; names unquoted, as the server folds
// them.
void copyToPostgres(const QString& sqlitePath, db::Connection& target) {
  QFile ddl(QStringLiteral(DATACONV_SOURCE_DIR "/sql/pos-postgresql.sql"));
  ASSERT_TRUE(ddl.open(QIODevice::ReadOnly)) << "sql/pos-postgresql.sql is missing";
  static const QRegularExpression comment(QStringLiteral("--[^\n]*"));
  for (const QString& statement : QString::fromUtf8(ddl.readAll()).remove(comment).split(u';'))
    if (statement.contains(QLatin1String("CREATE TABLE"))) target.execute(statement);
  demopos::copyPosRows(sqlitePath, target, false);
}

}  // namespace

const char* routeName(PosRoute route) {
  switch (route) {
    case PosRoute::Sqlite:
      return "SQLite";
    case PosRoute::Postgres:
      return "PostgreSQL";
    case PosRoute::Tds:
      return "TDS";
  }
  return "?";
}

void ProgramTest::useRoute(PosRoute route) {
  route_ = route;
  if (route == PosRoute::Tds && !isSet("DATACONV_TEST_TDS_DSN"))
    GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
  if (route == PosRoute::Postgres && !isSet("DATACONV_TEST_PG_DSN"))
    GTEST_SKIP() << "DATACONV_TEST_PG_DSN is not set";
}

void ProgramTest::TearDown() {
  program_.reset();
  tds_.reset();
  pg_.reset();
  app::setDialogRunnerForTesting({});
  platform::UiServices::install(previous_);
  platform::setProgramFolderForTesting(QString());
}

void ProgramTest::makePos(int items, const QStringList& sql) {
  demopos::Options o;
  o.path = path("pos.sqlite");
  o.items = items;
  o.today = QDate(2026, 1, 1);
  demopos::generate(o);
  QByteArray server = "[MSSQL]\r\nProvider=SQLite\r\nDatabase=pos.sqlite\r\n";
  if (route_ == PosRoute::Tds) {
    tds_ = std::make_unique<demopos::TdsPos>(o.path);
    server = ("[MSSQL]\r\n" + tds_->configSection()).toUtf8();
  } else if (route_ == PosRoute::Postgres) {
    pg_ = std::make_unique<db::testing::TestDatabase>(db::testing::TestDatabase::Engine::Postgres);
    ASSERT_TRUE(pg_->available()) << pg_->unavailableReason().toStdString();
    copyToPostgres(o.path, *pg_->connect());
    if (::testing::Test::HasFatalFailure()) return;
  }
  runSql(sql);
  QFile config(path("Config.ini"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
  config.write(server);
  config.write("[Export Import]\r\nClassify=1\r\nItem=1\r\nSupplier=1\r\nCustomer=1\r\n");
  if (!fileType_.isEmpty()) config.write("FileType=" + fileType_ + "\r\n");
  config.write(
      "[Import Item]\r\nUpdate_ShelfNo=1\r\nUpdate_StkQty=1\r\nUpdate_StkQty_Action=0\r\n"
      "Update_AvgCost=1\r\nUpdate_UniPrice=1\r\nUpdate_Price=1\r\nUpdate_MemPrice=1\r\n"
      "Update_VipPrice=1\r\n");
}

QString ProgramTest::posConnection() const {
  if (route_ == PosRoute::Tds) return tds_->connectionString();
  if (route_ == PosRoute::Postgres) return pg_->connectionString();
  return "Provider=SQLite;Data Source=" + path("pos.sqlite");
}

void ProgramTest::runSql(const QStringList& sql) const {
  if (sql.isEmpty()) return;
  db::Connection c;
  c.setConnectionString(posConnection());
  c.open();
  for (const QString& statement : sql) c.execute(statement);
}

QVariant ProgramTest::sqlValue(const QString& select) const {
  db::Connection c;
  c.setConnectionString(posConnection());
  c.open();
  const db::ResultSet rs = c.select(select);
  return rs.rowCount() > 0 ? rs.cells[0] : QVariant();
}

QString ProgramTest::textLiteral(const QString& text) const {
  QString quoted = text;
  quoted.replace(u'\'', QLatin1String("''"));
  return (route_ == PosRoute::Tds ? QStringLiteral("N'") : QStringLiteral("'")) + quoted + u'\'';
}

QString ProgramTest::booleanLiteral(bool value) const {
  if (route_ == PosRoute::Postgres) return value ? "TRUE" : "FALSE";
  return value ? "1" : "0";
}

PosSnapshot ProgramTest::snapshot() const {
  posdb::TDmMSSQL dm;
  dm.startWith(posConnection());
  PosSnapshot s;
  for (const QString table : {"Classify", "Item", "Supplier", "Customer"}) {
    db::Dataset& q = *dm.queryOf(table);
    const db::Field& key = q.fieldByName(posdb::TDmMSSQL::keyOf(table));
    for (q.first(); !q.eof(); q.next()) {
      QStringList row;
      for (int i = 0; i < q.fieldCount(); ++i) {
        const db::Field& f = q.field(i);
        if (f.isLookup()) continue;
        row << f.fieldName() + u'=' + (f.isNull() ? QStringLiteral("<null>") : f.asString());
      }
      s[table][key.asString()] = row;
    }
  }
  return s;
}

void ProgramTest::startProgram() {
  program_ = std::make_unique<app::Program>();
  if (route_ == PosRoute::Postgres) window().setConnectionForTesting(posConnection());
  window().show();
}

app::TfrmMain& ProgramTest::window() const {
  return program_->frmMain();
}

void ProgramTest::click(const char* button) {
  auto* b = window().findChild<QAbstractButton*>(QLatin1String(button));
  ASSERT_NE(b, nullptr) << button;
  ASSERT_TRUE(b->isEnabled()) << button;
  b->click();
}

const RecordingUi::Shown& ProgramTest::lastShown() const {
  static const RecordingUi::Shown none{false, QStringLiteral("<nothing shown>")};
  return ui_.shown.empty() ? none : ui_.shown.back();
}

std::string differences(const PosSnapshot& expected, const PosSnapshot& actual) {
  std::ostringstream out;
  for (const auto& [table, rows] : expected) {
    const auto it = actual.find(table);
    const std::map<QString, QStringList> none;
    const auto& other = it == actual.end() ? none : it->second;
    int shown = 0;
    for (const auto& [key, row] : rows) {
      const auto o = other.find(key);
      if (o == other.end()) {
        if (shown++ < 5) out << table.toStdString() << " " << key.toStdString() << ": missing\n";
      } else if (o->second != row) {
        for (qsizetype i = 0; i < row.size(); ++i)
          if (row[i] != o->second.value(i) && shown++ < 5)
            out << table.toStdString() << " " << key.toStdString() << ": " << row[i].toStdString()
                << " became " << o->second.value(i).toStdString() << "\n";
      }
    }
    for (const auto& [key, row] : other)
      if (!rows.count(key) && shown++ < 5)
        out << table.toStdString() << " " << key.toStdString() << ": extra\n";
    if (rows.size() != other.size())
      out << table.toStdString() << ": " << rows.size() << " rows expected, " << other.size()
          << " found\n";
  }
  return out.str();
}

}  // namespace e2e
