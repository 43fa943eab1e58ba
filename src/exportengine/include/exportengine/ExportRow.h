// The row buffer of a run: one cell per column holding the row's text for that column,
// with an index of the cells by name.
#pragma once

#include <db/FieldType.h>

#include <QString>
#include <QVariant>
#include <memory>
#include <utility>
#include <vector>

namespace exportengine {

class TExporter;
class TExportRow;

class TExportCol {
 public:
  QString Name;
  // The row's text for the column, trimmed of blanks and control characters.
  QString Data;
  // Position of the cell's column in the exporter's column list.
  int ColumnIndex = -1;
  TExportRow* Row = nullptr;

  // The text a target writes: the exporter's NullString for a null field; otherwise
  // the cell's text, formatted by its column's pattern and type when `formatted`.
  // The converted text replaces Data, so ask once per cell and row. The exporter's
  // CellText has the last word.
  QString GetExportText(bool formatted);

  // The value behind `text` when `text` is the very text the row was read with: the
  // plain text of a number, boolean or date of a dataset field, unchanged since (by a
  // handler, a format or the target). A target may store that value, of type
  // SourceType(), instead of reading the text back. Null otherwise.
  const QVariant* SourceValue(const QString& text) const {
    return sourceType_ != db::ftUnknown && !text.isEmpty() &&
                   text.constData() == fetched_.constData() && text.size() == fetched_.size()
               ? &source_
               : nullptr;
  }
  db::FieldType SourceType() const { return sourceType_; }

 private:
  friend class TExportRow;
  // Whether the cell's field was null when the row was read: -1 not known (ask the
  // column list), 0 no, 1 yes. Saves reading each value twice.
  signed char null_ = -1;
  // For SourceValue: the value read and its field type (ftUnknown: none), and the text
  // made of it. fetched_ shares Data's storage, so any change to Data makes a copy and
  // no longer matches.
  db::FieldType sourceType_ = db::ftUnknown;
  QVariant source_;
  QString fetched_;
};

class TExportRow {
 public:
  explicit TExportRow(TExporter& exporter);
  TExportRow(const TExportRow&) = delete;
  TExportRow& operator=(const TExportRow&) = delete;

  TExporter& Exporter() const { return *exporter_; }

  // Appends a cell named `name` (trimmed) for the column at `columnIndex`. The name
  // index is brought up to date by IndexName and SortIndex.
  TExportCol& AddCol(const QString& name, int columnIndex);
  // Adds `name` with cell position `position` to the name index.
  void IndexName(const QString& name, int position);
  void SortIndex();
  // Sets the text of the cell the name index finds for `name` (without regard to
  // case); nothing when no cell has that name.
  void SetValue(const QString& name, const QString& text);
  // The cell the name index finds for `name`, -1 when none.
  int FindName(const QString& name) const;
  // Sets the text of the cell at `position` directly.
  void SetValueAt(int position, const QString& text);
  // The same while reading a row, with whether the source's value is null (-1 when
  // the source cannot tell).
  void SetFetchedValue(int position, QString&& text, signed char null);
  // The same for a dataset field's value of type `type`: the cell takes the value's
  // plain text, and keeps a number, boolean or date for SourceValue.
  void SetFetchedValue(int position, const QVariant& value, db::FieldType type, signed char null);

  // Drops every cell and empties the name index.
  void Clear();
  int Count() const { return int(cells_.size()); }
  TExportCol& Items(int index) const { return *cells_.at(size_t(index)); }
  TExportCol& operator[](int index) const { return Items(index); }

 private:
  TExporter* exporter_;
  std::vector<std::unique_ptr<TExportCol>> cells_;
  // Case-folded names with their cell positions, sorted by name then position.
  std::vector<std::pair<QString, int>> index_;
};

}  // namespace exportengine
