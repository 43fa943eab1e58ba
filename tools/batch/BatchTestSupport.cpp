#include "BatchTestSupport.h"

#include <ShownTexts.h>
#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace batch::test {

Outcome runBatch(const QStringList& arguments, const QString& workingDirectory) {
  QProcess process;
  if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
  process.start(QStringLiteral(DATACONV_BATCH_EXE), arguments);
  // Only a guard against a hang, not a measure of speed.
  EXPECT_TRUE(process.waitForFinished(300000));
  Outcome o;
  o.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  o.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  o.err = QString::fromLocal8Bit(process.readAllStandardError());
  platform::testing::recordConsoleOutput(QStringLiteral("batch stdout"), o.out);
  platform::testing::recordConsoleOutput(QStringLiteral("batch stderr"), o.err);
  return o;
}

void writeConfig(const QString& folder, const QString& mssql, const QStringList& tables) {
  QString text = QStringLiteral("[MSSQL]\r\n") + mssql + QStringLiteral("\r\n[Export Import]\r\n");
  for (const char* t : {"Classify", "Item", "Supplier", "Customer"})
    text += QStringLiteral("%1=%2\r\n")
                .arg(QLatin1String(t))
                .arg(tables.contains(QLatin1String(t)) ? 1 : 0);
  QFile file(folder + QStringLiteral("/Config.ini"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text.toUtf8());
}

void forEachPosRow(const QString& posFile, const QString& statement,
                   const std::function<void(const QSqlQuery&)>& onRow) {
  const QString name = QStringLiteral("batch-test-pos");
  {
    QSqlDatabase db = QSqlDatabase::contains(name)
                          ? QSqlDatabase::database(name)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(posFile);
    EXPECT_TRUE(db.open());
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec(statement))
        << statement.toStdString() << ": " << q.lastError().text().toStdString();
    while (q.next()) onRow(q);
    q.finish();
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
}

QString posSql(const QString& posFile, const QString& statement) {
  QString value;
  bool first = true;
  forEachPosRow(posFile, statement, [&](const QSqlQuery& q) {
    if (first) value = q.value(0).toString();
    first = false;
  });
  return value;
}

}  // namespace batch::test
