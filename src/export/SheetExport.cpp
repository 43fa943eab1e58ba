#include "export/SheetExport.h"

#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <platform/Progress.h>
#include <xlsx/XlsxWriter.h>

#include <algorithm>
#include <numeric>

namespace dataexport {
namespace {

xlsx::ColumnKind kindOf(db::FieldType type) {
  switch (db::basicKind(type)) {
    case db::BasicKind::Whole:
      return xlsx::ColumnKind::Whole;
    case db::BasicKind::Floating:
      return xlsx::ColumnKind::Float;
    case db::BasicKind::Boolean:
      return xlsx::ColumnKind::Boolean;
    case db::BasicKind::DateTime:
      return xlsx::ColumnKind::DateTime;
    default:
      return xlsx::ColumnKind::Text;
  }
}

}  // namespace

std::vector<xlsx::Column> sheetColumns(const db::Dataset& query) {
  std::vector<xlsx::Column> columns;
  for (int i = 0; i < query.fieldCount(); ++i) {
    const db::Field& f = query.field(i);
    columns.push_back({f.displayLabel(), kindOf(f.dataType()), f.dataType() == db::ftDate});
  }
  return columns;
}

void exportSheet(const QString& path, const QString& table, const db::Dataset& query,
                 const QString& keyField, platform::Progress* progress) {
  std::vector<const db::Field*> fields;
  for (int i = 0; i < query.fieldCount(); ++i) fields.push_back(&query.field(i));
  xlsx::SheetWriter writer(path, xlsx::validSheetName(table), sheetColumns(query));
  // Key order: the rows as the operator looks them up.
  const db::Field& key = query.fieldByName(keyField);
  const int rows = query.recordCount();
  std::vector<QString> keys(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) keys[size_t(r)] = key.valueAt(r).toString();
  std::vector<int> order(static_cast<size_t>(rows));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
  if (progress) progress->start(rows);
  std::vector<QVariant> values(fields.size());
  int done = 0;
  for (int r : order) {
    for (size_t c = 0; c < fields.size(); ++c) {
      QVariant v = fields[c]->valueAt(r);
      values[c] = db::isNullValue(v) ? QVariant() : std::move(v);
    }
    writer.addRow(values);
    if (progress) progress->step(++done, rows);
  }
  writer.commit();
  if (progress) progress->finish();
}

}  // namespace dataexport
