#include "exportengine/ExportRow.h"

#include "exportengine/ExportCommon.h"
#include "exportengine/Exporter.h"

#include <db/ValueText.h>

#include <algorithm>

namespace exportengine {

QString TExportCol::GetExportText(bool formatted) {
  TExporter& exporter = Row->Exporter();
  const TExportColumns& columns = exporter.Columns();
  const bool known = ColumnIndex >= 0 && ColumnIndex < columns.Count();
  const bool null = null_ >= 0 ? null_ == 1 : known && columns.IsNull(ColumnIndex);
  if (null) {
    Data = exporter.NormalString(exporter.Formats().NullString());
  } else if (formatted && known) {
    const TExportColumn& column = columns[ColumnIndex];
    Data = FormatExportValue(Data, column.Format, column.ColType, [&exporter](const QString& text) {
      return exporter.NormalString(text);
    });
  }
  return exporter.CellText(*this, Data);
}

TExportRow::TExportRow(TExporter& exporter) : exporter_(&exporter) {}

TExportCol& TExportRow::AddCol(const QString& name, int columnIndex) {
  auto cell = std::make_unique<TExportCol>();
  cell->Name = TrimText(name);
  cell->ColumnIndex = columnIndex;
  cell->Row = this;
  cells_.push_back(std::move(cell));
  return *cells_.back();
}

void TExportRow::IndexName(const QString& name, int position) {
  index_.emplace_back(name.toCaseFolded(), position);
}

void TExportRow::SortIndex() {
  std::sort(index_.begin(), index_.end());
}

int TExportRow::FindName(const QString& name) const {
  const QString key = name.toCaseFolded();
  const auto it = std::lower_bound(
      index_.begin(), index_.end(), key,
      [](const std::pair<QString, int>& entry, const QString& k) { return entry.first < k; });
  if (it == index_.end() || it->first != key) return -1;
  return it->second;
}

void TExportRow::SetValue(const QString& name, const QString& text) {
  const int position = FindName(name);
  if (position >= 0) SetValueAt(position, text);
}

void TExportRow::SetValueAt(int position, const QString& text) {
  if (position < 0 || position >= Count()) return;
  AssignTrimmed(cells_[size_t(position)]->Data, text);
}

void TExportRow::SetFetchedValue(int position, QString&& text, signed char null) {
  if (position < 0 || position >= Count()) return;
  TExportCol& cell = *cells_[size_t(position)];
  cell.sourceType_ = db::ftUnknown;
  cell.fetched_ = QString();
  AssignTrimmed(cell.Data, std::move(text));
  cell.null_ = null;
}

void TExportRow::SetFetchedValue(int position, const QVariant& value, db::FieldType type,
                                 signed char null) {
  if (position < 0 || position >= Count()) return;
  TExportCol& cell = *cells_[size_t(position)];
  cell.null_ = null;
  // Let go of the last row's text first, so that Data takes the new one in place.
  cell.fetched_ = QString();
  cell.sourceType_ = db::ftUnknown;
  const int id = db::typeIdOf(value);
  const bool scalar = id == QMetaType::LongLong || id == QMetaType::Double ||
                      id == QMetaType::Bool || id == QMetaType::QDateTime;
  if (null != 0 || !scalar) {
    AssignTrimmed(cell.Data, db::ValueText::plain(value, type));
    return;
  }
  db::ValueText::plainInto(value, type, cell.Data);
  const qsizetype n = cell.Data.size();
  if (n > 0 && (cell.Data.at(0).unicode() <= ' ' || cell.Data.at(n - 1).unicode() <= ' ')) {
    // Trimmed, the text is no longer the value's own.
    QString text = cell.Data;
    AssignTrimmed(cell.Data, std::move(text));
    return;
  }
  db::ValueText::assign(cell.source_, value);
  cell.sourceType_ = type;
  cell.fetched_ = cell.Data;
}

void TExportRow::Clear() {
  cells_.clear();
  index_.clear();
}

}  // namespace exportengine
