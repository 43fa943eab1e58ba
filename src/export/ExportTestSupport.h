// Helpers of the export tests: datasets made from rows in memory, Access tables read
// back through the data layer, and a recording stand-in for the message boxes.
#pragma once

#include "export/AccessWriter.h"

#include <ShownTexts.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <db/ResultSet.h>
#include <platform/Error.h>
#include <platform/UiServices.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace dataexport::testing {

inline QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QStringLiteral("no error");
}

inline QByteArray fileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An open dataset over `rows` (one canonical value per field), its fields declared by
// `fields`.
inline std::unique_ptr<db::Dataset> datasetOf(const std::vector<db::FieldDef>& fields,
                                              const std::vector<std::vector<QVariant>>& rows) {
  auto ds = std::make_unique<db::Dataset>(QStringLiteral("qrySource"));
  db::ResultSet rs;
  for (const db::FieldDef& f : fields) {
    ds->addField(f);
    rs.columns.push_back(db::ColumnInfo{f.name, f.type, f.size, f.fixedChar});
  }
  for (const auto& row : rows)
    for (const QVariant& v : row) rs.cells.push_back(v);
  ds->open(std::move(rs));
  return ds;
}

// Every row of an Access table as the data layer reads it: the columns' names and
// types, and each value's plain text with NULL as "<null>".
struct AccessTable {
  QStringList names;
  std::vector<db::FieldType> types;
  std::vector<int> sizes;
  std::vector<QStringList> rows;
};

inline AccessTable readAccess(const QString& path, const QString& table) {
  db::Connection c;
  c.setConnectionString(TAccessWriter::ConnectionText(path));
  db::Dataset ds(QStringLiteral("qryAccess"));
  ds.setConnection(&c);
  ds.setSql(QStringLiteral("SELECT * FROM ") + table);
  ds.open();
  AccessTable t;
  for (int i = 0; i < ds.fieldCount(); ++i) {
    t.names << ds.field(i).fieldName();
    t.types.push_back(ds.field(i).dataType());
    t.sizes.push_back(ds.field(i).size());
  }
  for (ds.first(); !ds.eof(); ds.next()) {
    QStringList row;
    for (int i = 0; i < ds.fieldCount(); ++i)
      row << (ds.field(i).isNull() ? QStringLiteral("<null>") : ds.field(i).asString());
    t.rows.push_back(row);
  }
  return t;
}

class RecordingUi : public platform::UiServices {
 public:
  RecordingUi() : previous_(install(this)) {}
  ~RecordingUi() override { install(previous_); }
  QStringList messages;
  std::vector<bool> cursor;
  void messageBox(const QString& text, const QString&, Icon) override {
    platform::testing::recordShownText(QStringLiteral("box"), text);
    messages << text;
  }
  void showInformation(const QString& text) override {
    platform::testing::recordShownText(QStringLiteral("information"), text);
    messages << text;
  }
  void setBusyCursor(bool busy) override { cursor.push_back(busy); }
  void processEvents() override {}

 private:
  platform::UiServices* previous_;
};

}  // namespace dataexport::testing
