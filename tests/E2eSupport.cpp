#include "E2eSupport.h"

#include "DemoPos.h"

#include <app/Main.h>
#include <app/Program.h>
#include <db/Connection.h>
#include <db/Field.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>
#include <posdb/DmMdf.h>

#include <db/Command.h>
#include <db/ConnectionString.h>
#include <db/Dataset.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>
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

QString withDatabase(const QString& dsn, const QString& database) {
  QString out = dsn;
  out.replace(QRegularExpression(QStringLiteral("Database=[^;]*"),
                                 QRegularExpression::CaseInsensitiveOption),
              QStringLiteral("Database=") + database);
  return out;
}

}  // namespace

void ProgramTest::useRoute(PosRoute route) {
  route_ = route;
  if (route == PosRoute::Tds && tdsDsn().isEmpty())
    GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
}

void ProgramTest::TearDown() {
  program_.reset();
  if (!tdsDatabase_.isEmpty()) {
    try {
      db::Connection admin;
      admin.setConnectionString(tdsDsn());
      admin.open();
      admin.execute("DROP DATABASE " + tdsDatabase_);
    } catch (...) {
    }
  }
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
    copyToTds();
    const db::ConnectionString dsn = db::ConnectionString::parse(tdsDsn());
    server = ("[MSSQL]\r\nHost=" + dsn.value("Server") + u',' + dsn.value("Port") +
              "\r\nDatabase=" + tdsDatabase_ + "\r\nUser=" + dsn.value("UID") +
              "\r\nPassword=" + dsn.value("PWD") + "\r\n")
                 .toUtf8();
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
  if (route_ == PosRoute::Tds) return withDatabase(tdsDsn(), tdsDatabase_);
  return "Provider=SQLite;Data Source=" + path("pos.sqlite");
}

// The four tables made from the SQL Server DDL the operators get, and the demo rows
// copied in through the program's own data layer.
void ProgramTest::copyToTds() {
  tdsDatabase_ = "e2e_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
  {
    db::Connection admin;
    admin.setConnectionString(tdsDsn());
    admin.open();
    admin.execute("CREATE DATABASE " + tdsDatabase_);
  }
  QFile ddl(QStringLiteral(DATACONV_SOURCE_DIR "/sql/pos-sqlserver.sql"));
  ASSERT_TRUE(ddl.open(QIODevice::ReadOnly));
  db::Connection target;
  target.setConnectionString(posConnection());
  target.open();
  for (const QString& batch : QString::fromUtf8(ddl.readAll())
                                  .split(QRegularExpression(QStringLiteral("^GO\\s*$"),
                                                            QRegularExpression::MultilineOption)))
    if (!batch.trimmed().isEmpty() && batch.contains(QLatin1String("CREATE")))
      target.execute(batch);
  db::Connection source;
  source.setConnectionString("Provider=SQLite;Data Source=" + path("pos.sqlite"));
  source.open();
  for (const QString table : {"Classify", "Supplier", "Item", "Customer"}) {
    db::Dataset rows(QStringLiteral("qryCopy"));
    rows.setConnection(&source);
    rows.setSql("select * from " + table);
    rows.open();
    QStringList names, marks;
    for (int i = 0; i < rows.fieldCount(); ++i) {
      names << "[" + rows.field(i).fieldName() + "]";
      marks << ":p" + QString::number(i);
    }
    db::Command insert;
    insert.setConnection(&target);
    insert.setCommandText("INSERT INTO " + table + " (" + names.join(", ") + ") VALUES (" +
                          marks.join(", ") + ")");
    for (int i = 0; i < rows.fieldCount(); ++i) insert.setParamType(i, rows.field(i).dataType());
    for (rows.first(); !rows.eof(); rows.next()) {
      for (int i = 0; i < rows.fieldCount(); ++i)
        insert.setParamValue(i, rows.field(i).value(), rows.field(i).dataType());
      insert.execute();
    }
  }
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
