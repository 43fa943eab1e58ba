#include "TdsPos.h"

#include <db/Command.h>
#include <db/Connection.h>
#include <db/ConnectionString.h>
#include <db/Dataset.h>
#include <db/Field.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <stdexcept>

namespace demopos {

void copyPosRows(const QString& sqlitePath, db::Connection& target, bool bracketNames) {
  db::Connection source;
  source.setConnectionString("Provider=SQLite;Data Source=" + sqlitePath);
  source.open();
  for (const QString table : {"Classify", "Supplier", "Item", "Customer"}) {
    db::Dataset rows(QStringLiteral("qryCopy"));
    rows.setConnection(&source);
    rows.setSql("select * from " + table);
    rows.open();
    QStringList names, marks;
    for (int i = 0; i < rows.fieldCount(); ++i) {
      names << (bracketNames ? "[" + rows.field(i).fieldName() + "]" : rows.field(i).fieldName());
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

TdsPos::TdsPos(const QString& sqlitePath) {
  if (!available()) return;
  QFile ddl(QStringLiteral(DATACONV_SOURCE_DIR "/sql/pos-sqlserver.sql"));
  if (!ddl.open(QIODevice::ReadOnly)) throw std::runtime_error("sql/pos-sqlserver.sql is missing");
  db::Connection target;
  target.setConnectionString(connectionString());
  target.open();
  for (const QString& batch : QString::fromUtf8(ddl.readAll())
                                  .split(QRegularExpression(QStringLiteral("^GO\\s*$"),
                                                            QRegularExpression::MultilineOption)))
    if (batch.contains(QLatin1String("CREATE TABLE"))) target.execute(batch);

  copyPosRows(sqlitePath, target, true);
}

QString TdsPos::configSection() const {
  const db::ConnectionString dsn = db::ConnectionString::parse(connectionString());
  return QStringLiteral("Host=%1,%2\r\nDatabase=%3\r\nUser=%4\r\nPassword=%5\r\n")
      .arg(dsn.value("Server"), dsn.value("Port"), dsn.value("Database"), dsn.value("UID"),
           dsn.value("PWD"));
}

QString TdsPos::sql(const QString& statement) const {
  db::Connection c;
  c.setConnectionString(connectionString());
  c.open();
  if (!statement.trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive)) {
    c.execute(statement);
    return QString();
  }
  const db::ResultSet rs = c.select(statement);
  return rs.cells.empty() ? QString() : rs.cells[0].toString();
}

}  // namespace demopos
