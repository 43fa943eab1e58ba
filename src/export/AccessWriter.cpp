#include "export/AccessWriter.h"

#include <db/Command.h>
#include <db/Connection.h>
#include <db/ConnectionString.h>

#include <QFile>
#include <QFileInfo>

namespace dataexport {

TAccessWriter::TAccessWriter(exportengine::TExporter& owner, QIODevice* stream)
    : TExportWriter(owner, stream), command_(std::make_unique<db::Command>()) {}

TAccessWriter::~TAccessWriter() = default;

QString TAccessWriter::ConnectionText(const QString& path) {
  return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1")
      .arg(db::ConnectionString::quoteOleDb(path));
}

void TAccessWriter::CreateDatabaseFile(const QString& path) {
  if (QFileInfo::exists(path)) return;
  db::Connection connection;
  connection.setConnectionString(ConnectionText(path));
  connection.createDatabase();
  // Members' ID numbers, birthdays and phone numbers go into it: readable by its owner
  // only, before any row is written. A file that exists keeps the mode it was given.
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void TAccessWriter::EnsureTable(const QString& connectionText, const QString& tableName,
                                const QString& createStatement) {
  bool present = false;
  {
    db::Connection connection;
    connection.setConnectionString(connectionText);
    connection.setLoginPrompt(false);
    for (const QString& name : connection.tableNames())
      if (name.compare(tableName, Qt::CaseInsensitive) == 0) present = true;
  }
  if (present) return;
  db::Command create;
  create.setConnectionString(connectionText);
  create.setCommandText(createStatement);
  create.execute();
}

void TAccessWriter::PrepareInsert(const QString& path, const QString& insertStatement,
                                  const std::vector<db::FieldType>& types) {
  command_->setConnectionString(ConnectionText(path));
  command_->setCommandText(insertStatement);
  for (int i = 0; i < command_->parameterCount() && size_t(i) < types.size(); ++i)
    command_->setParamType(i, types[size_t(i)]);
  command_->prepare();
}

void TAccessWriter::SetParamText(int index, QString&& text) {
  // Every row sets every parameter: an empty cell must not keep the previous row's
  // value.
  if (text.isEmpty())
    command_->setParamNull(index);
  else
    command_->setParamText(index, std::move(text));
}

void TAccessWriter::SetParamValue(int index, const QVariant& value, db::FieldType type) {
  command_->setParamValue(index, value, type);
}

}  // namespace dataexport
