#include "export/ADO_AccessExporter.h"

#include "export/AccessWriter.h"

#include <db/Command.h>
#include <platform/Error.h>

namespace dataexport {

using namespace exportengine;

namespace {

const char kCreateTable[] = "create table %1 (%2)";
const char kInsertInto[] = "insert into %1(%2) values(%3)";
const char kDefaultTableName[] = "ExportResult";
const char kNoAccess[] = "You need install and register the MS Access application";

// Texts from 254 characters on do not fit a text column.
constexpr int kLongestTextColumn = 253;

// A caption as a bracketed column name; a ']' inside is doubled so that it cannot end
// the name early.
QString bracketed(const QString& caption) {
  return u'[' + QString(caption).replace(QStringLiteral("]"), QStringLiteral("]]")) + u']';
}

}  // namespace

TADO_AccessExporter::TADO_AccessExporter(QObject* owner) : TDatabaseExporter(owner) {
  SetTableName(QString::fromLatin1(kDefaultTableName));
  SetAutoCreateTable(true);
  SetAutoCreateDatabase(true);
  SetShowFile(false);
  SetPrintFile(false);
}

TExportWriterClass TADO_AccessExporter::WriterType() const {
  return &NewWriter<TAccessWriter>;
}

TAccessWriter& TADO_AccessExporter::writer() const {
  return static_cast<TAccessWriter&>(*Writer());
}

QString TADO_AccessExporter::SqlType(TExportColType type, int length) {
  switch (type) {
    case ectInteger:
    case ectBigint:
      return QStringLiteral("integer");
    case ectFloat:
      return QStringLiteral("double");
    case ectCurrency:
      return QStringLiteral("currency");
    case ectDate:
    case ectTime:
    case ectDateTime:
      return QStringLiteral("datetime");
    case ectString:
      return length > kLongestTextColumn ? QStringLiteral("memo")
                                         : QStringLiteral("char(%1)").arg(length);
    case ectBoolean:
      return QStringLiteral("LOGICAL");
    default:
      return QStringLiteral("longtext");
  }
}

db::FieldType TADO_AccessExporter::ParamType(TExportColType type) {
  switch (type) {
    case ectInteger:
    case ectBigint:
      return db::ftInteger;
    case ectFloat:
      return db::ftFloat;
    case ectCurrency:
      return db::ftCurrency;
    case ectDate:
    case ectTime:
    case ectDateTime:
      return db::ftDateTime;
    case ectString:
      return db::ftString;
    case ectBoolean:
      return db::ftBoolean;
    default:
      return db::ftBlob;
  }
}

void TADO_AccessExporter::PrepareExport() {
  TDatabaseExporter::PrepareExport();
  QString definitions, columnList, paramList;
  std::vector<db::FieldType> paramTypes(size_t(Columns().Count()));
  for (int i = 0; i < Columns().Count(); ++i) {
    const TExportColumn& column = Columns()[i];
    const QString caption = ColumnCaption(i);
    const QString name = caption.isEmpty() ? QStringLiteral("FIELD%1").arg(i) : bracketed(caption);
    if (i > 0) {
      definitions += u',';
      columnList += u',';
      paramList += u',';
    }
    definitions += name + u' ' + SqlType(column.ColType, column.Length);
    columnList += name;
    paramList += QStringLiteral(":PARAM%1").arg(i);
    paramTypes[size_t(i)] = ParamType(column.ColType);
  }

  TAccessWriter& w = writer();
  if (AutoCreateDatabase()) w.CreateDatabaseFile(DatabaseName());
  if (AutoCreateTable())
    w.EnsureTable(TAccessWriter::ConnectionText(DatabaseName()), TableName(),
                  QString::fromLatin1(kCreateTable).arg(TableName(), definitions));
  w.PrepareInsert(DatabaseName(),
                  QString::fromLatin1(kInsertInto).arg(TableName(), columnList, paramList),
                  paramTypes);
}

void TADO_AccessExporter::EmitRow() {
  TAccessWriter& w = writer();
  TExportRow& row = Row();
  const QString& nullString = Formats().NullString();
  for (int i = 0; i < row.Count(); ++i) {
    TExportCol& cell = row[i];
    QString text = cell.GetExportText(false);
    if (text == nullString) text.clear();
    // A number, boolean or date whose text is still the one it was read as goes in as
    // the value; the parameter stores exactly what it would read from the text.
    if (const QVariant* value = cell.SourceValue(text))
      w.SetParamValue(i, *value, cell.SourceType());
    else
      w.SetParamText(i, std::move(text));
  }
  try {
    w.Command().execute();
  } catch (const db::ParameterError& e) {
    const int column = e.index();
    const QString caption = column < Columns().Count() ? ColumnCaption(column) : QString();
    throw platform::Error(
        QStringLiteral("資料表 %1 %2的「%3」欄：%4")
            .arg(TableName(), currentRow(),
                 caption.isEmpty() ? QStringLiteral("FIELD%1").arg(column) : caption, e.message()));
  } catch (const platform::Error& e) {
    // The data layer's text names the file, the table and the column.
    throw platform::Error(
        QStringLiteral("資料表 %1 %2：%3").arg(TableName(), currentRow(), e.message()));
  }
}

QString TADO_AccessExporter::currentRow() {
  if (!KeyField().isEmpty()) {
    TExportRow& row = Row();
    const int cell = row.FindName(KeyField());
    if (cell >= 0) return QStringLiteral("%1 為「%2」的那一列").arg(KeyField(), row[cell].Data);
  }
  return QStringLiteral("第 %1 列").arg(RecordCounter() + 1);
}

void TADO_AccessExporter::FinishRows() {
  // The rows reached the file as they were inserted; make them durable once, here,
  // where a failure can still be reported.
  writer().Command().flush();
}

void TADO_AccessExporter::PresentResult() {
  if (!ShowFile() && !PrintFile()) return;
  throw platform::Error(QString::fromLatin1(kNoAccess));
}

}  // namespace dataexport
