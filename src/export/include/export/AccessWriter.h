// The writer of an Access export run: makes the file and the table when they are
// missing, and holds the one prepared insert that every row of the run goes through.
// Created at the start of a run and destroyed at its end, which closes the insert's
// connection to the file.
#pragma once

#include <exportengine/ExportWriter.h>

#include <db/FieldType.h>

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace db {
class Command;
}

namespace dataexport {

class TAccessWriter : public exportengine::TExportWriter {
 public:
  TAccessWriter(exportengine::TExporter& owner, QIODevice* stream);
  ~TAccessWriter() override;

  // "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<path>", the path quoted when it
  // holds characters that would change the meaning of the text (';', '=', quotes).
  static QString ConnectionText(const QString& path);

  // Creates an empty database at `path` unless a file of that name exists, whatever
  // it holds.
  void CreateDatabaseFile(const QString& path);
  // Runs `createStatement` unless the database holds a table named `tableName`
  // (compared without regard to case). A present table is left as it is.
  void EnsureTable(const QString& connectionText, const QString& tableName,
                   const QString& createStatement);
  // Prepares `insertStatement` (":PARAM0", ... one marker per column) on the file at
  // `path`, parameter i typed types[i]. A table the database cannot append to fails
  // here, before any row.
  void PrepareInsert(const QString& path, const QString& insertStatement,
                     const std::vector<db::FieldType>& types);
  // The value of parameter `index` for the next row; an empty text is NULL.
  void SetParamText(int index, QString&& text);
  // The value of parameter `index` for the next row, given as the source value whose
  // plain text the row holds (see db::Command::setParamValue).
  void SetParamValue(int index, const QVariant& value, db::FieldType type);

  db::Command& Command() { return *command_; }

 private:
  std::unique_ptr<db::Command> command_;
};

}  // namespace dataexport
