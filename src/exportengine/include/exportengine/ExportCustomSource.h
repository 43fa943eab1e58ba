// A source whose rows and values come from event handlers: OnGetNextRecord says
// whether another row follows, OnGetColumnValue gives each cell's value. Its columns
// describe what the rows hold.
#pragma once

#include <exportengine/ExportTypes.h>

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

namespace exportengine {

class TCustomExportColumns;

class TCustomExportColumn {
 public:
  // Appended to `collection` by TCustomExportColumns::Add, named "Column<N>" with the
  // smallest N not taken, captioned by that name, 15 wide, 15 long, a text column.
  explicit TCustomExportColumn(TCustomExportColumns* collection);

  const QString& ColumnName() const { return columnName_; }
  // Ignored when `name` is empty, equal to the current name, or already the name of a
  // column of the collection without regard to case (this one included).
  void SetColumnName(const QString& name);
  TExportColType ColumnType() const { return columnType_; }
  void SetColumnType(TExportColType type) { columnType_ = type; }
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption) { caption_ = caption; }
  int Width() const { return width_; }
  void SetWidth(int width) { width_ = width; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }

  // What a collection editor shows.
  QString DisplayName() const { return columnName_; }
  TCustomExportColumns* Collection() const { return collection_; }
  int Index() const;

  // The value of this column in the source's current record, as text; empty when the
  // source has no OnGetColumnValue handler or the handler leaves the value null.
  QString ValueText();

 private:
  friend class TCustomExportColumns;
  TCustomExportColumns* collection_;
  QString columnName_;
  TExportColType columnType_ = ectString;
  QString caption_;
  int width_ = 15;
  int size_ = 15;
};

class TCustomExportColumns {
 public:
  explicit TCustomExportColumns(TCustomExportSource* owner = nullptr);
  TCustomExportColumns(const TCustomExportColumns&) = delete;
  TCustomExportColumns& operator=(const TCustomExportColumns&) = delete;

  TCustomExportSource* Owner() const { return owner_; }
  int Count() const { return int(items_.size()); }
  TCustomExportColumn& Items(int index) const { return *items_.at(size_t(index)); }
  TCustomExportColumn& operator[](int index) const { return Items(index); }
  TCustomExportColumn& Add();
  void Delete(int index);
  void Clear();
  // Position of the first column named `name` without regard to case; -1 when none.
  int IndexOf(const QString& name) const;
  // Replaces the columns by copies of those of `source`.
  void Assign(const TCustomExportColumns& source);

 private:
  TCustomExportSource* owner_;
  std::vector<std::unique_ptr<TCustomExportColumn>> items_;
};

class TCustomExportSource : public QObject {
 public:
  explicit TCustomExportSource(QObject* owner = nullptr);
  ~TCustomExportSource() override;

  TCustomExportColumns& Columns() { return columns_; }
  const TCustomExportColumns& Columns() const { return columns_; }
  // Copies the given columns.
  void SetColumns(const TCustomExportColumns& columns) { columns_.Assign(columns); }
  int ColumnCount() const { return columns_.Count(); }
  // The first column named `name` without regard to case, nullptr when none.
  TCustomExportColumn* FindColumn(const QString& name) const;

  // The current record number, from 1.
  int RecNo() const { return recNo_; }
  // Back to record 1, with the end flag cleared, so the source can be read again.
  void First();
  // Asks OnGetNextRecord whether a record follows the current one; moves to it, or
  // sets the end flag. Does nothing once the end flag is set.
  void Next();
  // No row to read: the end flag is set, or there is no OnGetNextRecord handler.
  bool AtEnd() const { return eof_ || !OnGetNextRecord; }

  TGetNextRecordEvent OnGetNextRecord;
  TGetColumnValueEvent OnGetColumnValue;

 private:
  TCustomExportColumns columns_;
  int recNo_ = 1;
  bool eof_ = false;
};

}  // namespace exportengine
