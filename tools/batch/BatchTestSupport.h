// Test support for the batch command: the real executable run in a program folder, a
// Config.ini written for it, and statements against its SQLite POS file.
#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>

namespace batch::test {

struct Outcome {
  int status = -1;  // -1: did not exit normally
  QString out;
  QString err;
};

// Runs dataconv-batch with the arguments and waits for it to end.
Outcome runBatch(const QStringList& arguments, const QString& workingDirectory = QString());

// Config.ini in `folder`: section MSSQL as given, section "Export Import" switching on
// `tables`.
void writeConfig(const QString& folder, const QString& mssql, const QStringList& tables);

// One statement against the SQLite POS file; the first column of the first row.
QString posSql(const QString& posFile, const QString& statement);
// Runs a query against the POS file and hands each row of its result to `onRow`.
void forEachPosRow(const QString& posFile, const QString& statement,
                   const std::function<void(const QSqlQuery&)>& onRow);

}  // namespace batch::test
