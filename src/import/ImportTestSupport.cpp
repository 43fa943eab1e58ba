#include "ImportTestSupport.h"

#include <db/Command.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <jet/DatabaseWriter.h>

#include <journal/RowChange.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace dataimport::test {
namespace {

// The statements of the engine's DDL file in sql/: SQL Server's file is made of batches
// ended by lines that say GO, the others of statements ended by ';'.
QStringList readDdl(TestDatabase::Engine engine) {
  const char* file = engine == TestDatabase::Engine::Sqlite     ? "pos-sqlite.sql"
                     : engine == TestDatabase::Engine::Postgres ? "pos-postgresql.sql"
                                                                : "pos-sqlserver.sql";
  QFile f(QStringLiteral(DATACONV_SOURCE_DIR "/sql/") + file);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromUtf8(f.readAll());
  if (engine != TestDatabase::Engine::Tds) return text.split(u';');
  static const QRegularExpression go(
      QStringLiteral("^\\s*GO\\s*$"),
      QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
  return text.split(go);
}

}  // namespace

ScratchPos::ScratchPos(TestDatabase::Engine engine) : database_(engine) {
  if (!available()) return;
  admin_ = database_.connect();
  for (const QString& s : readDdl(engine)) {
    QString code;
    for (const QString& line : s.split('\n'))
      if (!line.trimmed().startsWith(QLatin1String("--"))) code += line + '\n';
    if (!code.trimmed().isEmpty()) admin_->execute(code);
  }
}

ScratchPos::~ScratchPos() {
  dm.stop();
  admin_.reset();
}

void ScratchPos::exec(const QString& sql) {
  admin_->execute(sql);
}

QVariant ScratchPos::value(const QString& table, const QString& keyColumn, const QString& key,
                           const QString& column) {
  QString quoted = key;
  quoted.replace('\'', QLatin1String("''"));
  const db::ResultSet r = admin_->select(
      QStringLiteral("SELECT %1 FROM %2 WHERE %3 = '%4'").arg(column, table, keyColumn, quoted));
  if (r.rowCount() == 0) return QVariant();
  return r.cells.front().isValid() ? r.cells.front() : QVariant(QString());
}

int ScratchPos::rowCount(const QString& table) {
  const db::ResultSet r = admin_->select(QStringLiteral("SELECT COUNT(*) FROM ") + table);
  return r.cells.front().toInt();
}

ScratchPos::Rows ScratchPos::rows(const QString& table, const QString& keyColumn) {
  const db::ResultSet r = admin_->select(QStringLiteral("SELECT * FROM ") + table);
  Rows rows;
  const size_t width = r.columns.size();
  for (qsizetype i = 0; i < r.rowCount(); ++i) {
    std::map<QString, QString> row;
    QString key;
    for (size_t c = 0; c < width; ++c) {
      const QVariant& v = r.cells[size_t(i) * width + c];
      const QString text =
          journal::valueText(v, r.columns[c].type).value_or(QStringLiteral("<NULL>"));
      row[r.columns[c].name.toLower()] = text;
      if (r.columns[c].name.compare(keyColumn, Qt::CaseInsensitive) == 0) key = text;
    }
    rows[key] = row;
  }
  return rows;
}

void exportRows(const QString& path, const QString& table, const db::Dataset& query,
                const QString& keyField,
                const std::vector<std::vector<std::pair<QString, QString>>>& extra, bool posRows) {
  const config::ColumnMap map = exportMap(query, keyField);
  map.writeTable(table);
  std::vector<SourceColumn> columns;
  for (const config::ColumnPair& p : map.pairs()) columns.push_back({p.display});
  std::vector<SourceRow> rows;
  for (int r = 0; posRows && r < query.recordCount(); ++r) {
    SourceRow row;
    for (const config::ColumnPair& p : map.pairs()) {
      const db::Field& f = query.fieldByName(p.field);
      const QVariant v = f.valueAt(r);
      row.push_back(v.isNull() ? std::nullopt
                               : std::optional<QString>(db::ValueText::plain(v, f.dataType())));
    }
    rows.push_back(row);
  }
  for (const auto& values : extra) {
    SourceRow row(columns.size());
    for (const auto& [field, text] : values)
      for (size_t i = 0; i < map.pairs().size(); ++i)
        if (map.pairs()[i].field == field) row[i] = text;
    rows.push_back(row);
  }
  writeAccessTable(path, table, columns, rows);
}

void writeAccessTable(const QString& path, const QString& table,
                      const std::vector<SourceColumn>& columns,
                      const std::vector<SourceRow>& rows) {
  if (!QFileInfo::exists(path)) jet::DatabaseWriter::create(path.toStdString());
  const QString connection = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path;
  QString defs, names, marks;
  for (size_t i = 0; i < columns.size(); ++i) {
    const QString sep = i ? QStringLiteral(",") : QString();
    defs += sep + '[' + columns[i].name + "] " + columns[i].type;
    names += sep + '[' + columns[i].name + ']';
    marks += sep + QStringLiteral(":PARAM%1").arg(i);
  }
  {
    db::Command create;
    create.setConnectionString(connection);
    create.setCommandText(QStringLiteral("create table %1 (%2)").arg(table, defs));
    create.execute();
  }
  db::Command insert;
  insert.setConnectionString(connection);
  insert.setCommandText(QStringLiteral("insert into %1(%2) values(%3)").arg(table, names, marks));
  for (const SourceRow& row : rows) {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i < row.size() && row[i])
        insert.setParamText(int(i), *row[i]);
      else
        insert.setParamNull(int(i));
    }
    insert.execute();
  }
}

config::ColumnMap exportMap(const db::Dataset& query, const QString& keyField) {
  config::ColumnMap map;
  map.setKey(keyField, query.fieldByName(keyField).displayLabel());
  for (int i = 0; i < query.fieldCount(); ++i)
    map.addPair(query.field(i).fieldName(), query.field(i).displayLabel());
  return map;
}

}  // namespace dataimport::test
