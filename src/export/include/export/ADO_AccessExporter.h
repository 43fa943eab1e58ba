// The Access target of the export engine: one Execute makes sure the file DatabaseName
// exists, makes sure the table TableName exists (one column per exported column, named
// after its caption), and inserts one row per exported record through one prepared
// insert. Cells travel as their plain text; an empty text, or one equal to the
// formats' NullString, is stored as NULL.
//
// Column types in the create statement: integer for whole numbers, double, currency,
// datetime for dates and times, char(n) for texts shorter than 254 characters and memo
// from 254 on, LOGICAL for booleans, longtext for anything else.
#pragma once

#include "export/ADO_DatabaseExporter.h"

#include <db/FieldType.h>

#include <QString>

namespace dataexport {

class TAccessWriter;

class TADO_AccessExporter : public TDatabaseExporter {
 public:
  // TableName "ExportResult"; the file and the table are created when missing; nothing
  // is shown or printed afterwards.
  explicit TADO_AccessExporter(QObject* owner = nullptr);

  exportengine::TExportWriterClass WriterType() const override;
  void PrepareExport() override;
  void EmitRow() override;
  void FinishRows() override;
  // Showing or printing the table needs Microsoft Access, which this platform does not
  // have: either switch fails with the message of a missing Access application.
  void PresentResult() override;

  // The SQL type of the create statement and the parameter type for a column.
  static QString SqlType(exportengine::TExportColType type, int length);
  static db::FieldType ParamType(exportengine::TExportColType type);

 private:
  TAccessWriter& writer() const;
  // The row being inserted, for an error message: "<KeyField> '<value>'" or its number.
  QString currentRow();
};

}  // namespace dataexport
