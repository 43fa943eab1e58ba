// The visual controls an export can read from, as the engine sees them. The engine
// itself uses no widgets: the widget layer adapts a list view, a data grid and a
// string grid to these interfaces (see exportengine/widgets). Each adapter is a
// QObject so that an exporter forgets it when it is destroyed, as with any removed
// component.
#pragma once

#include <QObject>
#include <QString>

namespace db {
class DataSource;
class Field;
}  // namespace db

namespace exportengine {

// A report-style list view: items in rows, a caption per item (column 0) and
// sub-items for the further columns.
class ListViewControl : public QObject {
 public:
  using QObject::QObject;

  virtual int itemCount() const = 0;
  virtual int columnCount() const = 0;
  virtual QString columnCaption(int column) const = 0;
  // Pixels.
  virtual int columnWidth(int column) const = 0;
  // Column 0 is the item's caption, column c > 0 its sub-item c - 1; a missing
  // sub-item reads as empty.
  virtual QString itemText(int item, int column) const = 0;
  virtual void selectItem(int item) = 0;
  // Pairs around a run, so that stepping through the items does not repaint.
  virtual void beginUpdate() = 0;
  virtual void endUpdate() = 0;
};

// A data grid bound to a dataset through a data source.
class DbGridControl : public QObject {
 public:
  using QObject::QObject;

  // nullptr when the grid has no data source.
  virtual db::DataSource* dataSource() const = 0;
  virtual int columnCount() const = 0;
  // nullptr for a column without a field.
  virtual db::Field* columnField(int column) const = 0;
  virtual QString columnTitle(int column) const = 0;
  // Pixels.
  virtual int columnWidth(int column) const = 0;
  // Pixel width of the text "X" in the grid's font.
  virtual int charWidth() const = 0;
};

// A grid of texts whose first fixedRows() rows are headings.
class StringGridControl : public QObject {
 public:
  using QObject::QObject;

  virtual int rowCount() const = 0;
  virtual int fixedRows() const = 0;
  virtual int colCount() const = 0;
  // The current row.
  virtual int row() const = 0;
  virtual void setRow(int row) = 0;
  virtual QString cell(int column, int row) const = 0;
  // Pixels.
  virtual int colWidth(int column) const = 0;
  // Pixel width of the text "X" in the grid's font.
  virtual int charWidth() const = 0;
};

}  // namespace exportengine
