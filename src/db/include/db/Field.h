// One declared (or result-derived) field of a dataset: its description, and access to
// its value in the current row or the row being edited.
#pragma once

#include "db/FieldType.h"

#include <QString>
#include <QVariant>

namespace db {

class Dataset;

// Declaration of a field. A lookup field has no column of its own: its value is the
// `lookupResultField` of the first row of `lookupDataset` whose `lookupKeyFields`
// equals this dataset's `keyFields`, computed when read; NULL when no row matches or
// the lookup dataset is closed.
struct FieldDef {
  QString name{};
  FieldType type = ftString;
  // Text: the most Big5 bytes the column holds (20 when a declared text field gives
  // none); 0 for the other types.
  int size = 0;
  QString label{};          // display label; empty: the name is shown
  QString displayFormat{};  // numbers and dates, see ValueText
  QString editMask{};       // kept for the windows that edit the field; not applied here
  bool fixedChar = false;   // declared as a fixed-length character column
  bool visible = true;
  int displayWidth = 0;  // 0: the type's default
  bool lookup = false;
  Dataset* lookupDataset = nullptr;
  QString keyFields{};
  QString lookupKeyFields{};
  QString lookupResultField{};
};

class Field {
 public:
  Field(Dataset& dataset, FieldDef def, int index);

  Dataset& dataset() const { return *dataset_; }
  int index() const { return index_; }
  const FieldDef& def() const { return def_; }
  const QString& fieldName() const { return def_.name; }
  // The label, or the name when the field has none.
  QString displayLabel() const { return def_.label.isEmpty() ? def_.name : def_.label; }
  void setDisplayLabel(const QString& label) { def_.label = label; }
  int displayWidth() const;
  void setDisplayWidth(int width) { def_.displayWidth = width; }
  int size() const { return def_.size; }
  FieldType dataType() const { return def_.type; }
  bool isFixedChar() const { return def_.fixedChar; }
  bool visible() const { return def_.visible; }
  void setVisible(bool visible) { def_.visible = visible; }
  bool isLookup() const { return def_.lookup; }
  bool isBlob() const { return isBlobType(def_.type); }
  const QString& displayFormat() const { return def_.displayFormat; }
  void setDisplayFormat(const QString& format) { def_.displayFormat = format; }
  const QString& editMask() const { return def_.editMask; }

  // Values of the current row (the edit buffer while editing or appending).
  QVariant value() const;
  bool isNull() const;
  QString asString() const;
  QString displayText() const;

  // Values of the row at `position` (0-based, in the dataset's current order) without
  // moving the cursor: what bound views read.
  QVariant valueAt(int position) const;
  QString displayTextAt(int position) const;

  // Setting needs the dataset in edit or insert mode. Text is converted through the
  // field's type (ValueText::parse); a text value is cut to at most size() Big5 bytes
  // at a character boundary; whole numbers are checked against the type's range.
  void setAsString(const QString& text);
  void setValue(const QVariant& value);
  void clear();

 private:
  friend class Dataset;
  // Stores a canonical value of the field's type: cut to the column's size, checked
  // against the type's range.
  void assign(QVariant canonical);
  Dataset* dataset_;
  FieldDef def_;
  int index_;
  int slot_ = -1;  // column of the row storage; -1 for a lookup field
};

}  // namespace db
