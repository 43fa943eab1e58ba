// The exporter of database targets: a table of a database file receives one row per
// exported record. Execute makes the target's writer, runs the export through it and
// destroys it again whatever happens; only a run that ended without failure is followed
// by PresentResult.
#pragma once

#include <exportengine/Exporter.h>

#include <QString>

namespace dataexport {

class TDatabaseExporter : public exportengine::TExporter {
 public:
  explicit TDatabaseExporter(QObject* owner = nullptr);

  // Full path of the target database file.
  const QString& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(const QString& path) { databaseName_ = path; }
  const QString& TableName() const { return tableName_; }
  void SetTableName(const QString& name) { tableName_ = name; }
  // Create the file, the table, when missing.
  bool AutoCreateDatabase() const { return autoCreateDatabase_; }
  void SetAutoCreateDatabase(bool value) { autoCreateDatabase_ = value; }
  bool AutoCreateTable() const { return autoCreateTable_; }
  void SetAutoCreateTable(bool value) { autoCreateTable_ = value; }
  // Open, print the table in the database's own application after the run.
  bool ShowFile() const { return showFile_; }
  void SetShowFile(bool value) { showFile_ = value; }
  bool PrintFile() const { return printFile_; }
  void SetPrintFile(bool value) { printFile_ = value; }
  // The source field whose value names a row that the target refuses, so that the
  // operator can find it; empty: the row is named by its number.
  const QString& KeyField() const { return keyField_; }
  void SetKeyField(const QString& name) { keyField_ = name; }

  // Besides the base settings: Captions, ColumnsLength, Formats and UserFormats.
  bool Offers(exportengine::TExportSetting setting) const override;

  void Execute() override;
  // After a run without failure; nothing at this level.
  virtual void PresentResult() {}

 private:
  QString databaseName_;
  QString tableName_;
  bool autoCreateDatabase_ = false;
  bool autoCreateTable_ = false;
  bool showFile_ = false;
  bool printFile_ = false;
  QString keyField_;
};

}  // namespace dataexport
