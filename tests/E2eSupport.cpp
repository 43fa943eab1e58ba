#include "E2eSupport.h"

#include "DemoPos.h"

#include <app/Main.h>
#include <app/Program.h>
#include <db/Connection.h>
#include <db/Field.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>
#include <posdb/DmMdf.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
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
}

namespace {

QString tdsDsn() {
  const char* dsn = std::getenv("DATACONV_TEST_TDS_DSN");
  return dsn ? QString::fromUtf8(dsn) : QString();
}

}  // namespace

void ProgramTest::useRoute(PosRoute route) {
  route_ = route;
  if (route == PosRoute::Tds && tdsDsn().isEmpty())
    GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
}

void ProgramTest::TearDown() {
  program_.reset();
  tds_.reset();
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
  }
  runSql(sql);
  QFile config(path("Config.ini"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
  config.write(server);
  config.write(
      "[Export Import]\r\nClassify=1\r\nItem=1\r\nSupplier=1\r\nCustomer=1\r\n"
      "[Import Item]\r\nUpdate_ShelfNo=1\r\nUpdate_StkQty=1\r\nUpdate_StkQty_Action=0\r\n"
      "Update_AvgCost=1\r\nUpdate_UniPrice=1\r\nUpdate_Price=1\r\nUpdate_MemPrice=1\r\n"
      "Update_VipPrice=1\r\n");
}

QString ProgramTest::posConnection() const {
  if (route_ == PosRoute::Tds) return tds_->connectionString();
  return "Provider=SQLite;Data Source=" + path("pos.sqlite");
}

void ProgramTest::runSql(const QStringList& sql) const {
  if (sql.isEmpty()) return;
  db::Connection c;
  c.setConnectionString(posConnection());
  c.open();
  for (const QString& statement : sql) c.execute(statement);
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
