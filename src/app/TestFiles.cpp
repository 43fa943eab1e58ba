#include "TestFiles.h"

#include <config/ColumnMap.h>
#include <db/Command.h>
#include <jet/DatabaseWriter.h>

#include <QDir>

namespace app::test {

void writeAccessTable(const QString& path, const QString& table, const QStringList& columns,
                      const QList<QStringList>& rows) {
  jet::DatabaseWriter::create(path.toStdString());
  const QString connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
  QStringList defs, names, marks;
  for (int i = 0; i < columns.size(); ++i) {
    defs << "[" + columns[i] + "] char(40)";
    names << "[" + columns[i] + "]";
    marks << QString(":P%1").arg(i);
  }
  db::Command create;
  create.setConnectionString(connection);
  create.setCommandText("create table " + table + " (" + defs.join(',') + ")");
  create.execute();
  db::Command insert;
  insert.setConnectionString(connection);
  insert.setCommandText("insert into " + table + "(" + names.join(',') + ") values(" +
                        marks.join(',') + ")");
  for (const QStringList& row : rows) {
    for (int i = 0; i < row.size(); ++i) insert.setParamText(i, row[i]);
    insert.execute();
  }
}

void writeClassifyFiles(const QString& folder, const QList<QStringList>& rows) {
  config::ColumnMap classify;
  classify.setKey("ClsNo", "小分類編號");
  classify.addPair("ClsNo", "小分類編號");
  classify.addPair("ClsName", "小分類名稱");
  classify.write(QDir(folder).filePath("Classify.ini"));
  writeAccessTable(QDir(folder).filePath("Classify.mdb"), "Classify", {"小分類編號", "小分類名稱"},
                   rows);
}

}  // namespace app::test
