// The column list of a run: one TExportColumn per exported source column, in export
// order, with everything a target needs to lay out its output. Built from the
// exporter's source and settings at the start of every run.
#pragma once

#include <exportengine/ExportCommon.h>
#include <exportengine/ExportTypes.h>

#include <QString>
#include <QStringList>
#include <vector>

namespace db {
class Field;
}

namespace exportengine {

class TExporter;
class TExportFormats;

struct TExportColumn {
  // Position of the data in the source: dataset field index, grid column, list view
  // column (0 = item caption), string grid column, or custom column index.
  int SourceIndex = 0;
  TExportColType ColType = ectInteger;
  QString Name;     // the source's own name for the column
  QString Caption;  // the heading
  int Width = 0;    // characters
  unsigned char Align = eaLeft;
  QString Format;  // used when formatted text is asked for
  int Length = 0;  // text columns: the longest text (at most 254); 0 for the others
};

// The settings an exporter class offers to its column list (TExporter::Offers).
enum class TExportSetting {
  ExportSource,
  DataSet,
  CustomSource,
  ListView,
  DBGrid,
  StringGrid,
  ExportedFields,
  OnlyVisibleFields,
  AutoCalcStrType,
  CaptionRow,
  Captions,
  UserFormats,
  ColumnsWidth,
  ColumnsAlign,
  ColumnsLength,
  Formats,
};

// The column type of a dataset field; ectUnknown for none.
TExportColType FieldColType(const db::Field* field);

// The value of the first "name=value" line of `list` whose name equals `name` without
// regard to case (the text after the first '='); false when there is none.
bool FindListValue(const QStringList& list, const QString& name, QString* value);

class TExportColumns {
 public:
  explicit TExportColumns(TExporter& owner);

  TExporter& Owner() const { return *owner_; }

  // Appends the columns of the owner's current source, taking the owner's settings
  // first. Existing columns stay. Throws the data layer's "Field '%s' not found" for
  // a name in ExportedFields that the dataset lacks.
  void Fill(bool includeBlobs);
  // The source position of the i-th candidate column, -1 when it is not exported.
  int SourceIndexOf(int i, bool includeBlobs) const;
  // Whether the column's field is null in the current record (dataset and data grid
  // sources; false for the others).
  bool IsNull(int column) const;

  int Count() const { return int(items_.size()); }
  TExportColumn& Items(int index) { return items_.at(size_t(index)); }
  const TExportColumn& Items(int index) const { return items_.at(size_t(index)); }
  TExportColumn& operator[](int index) { return Items(index); }
  const TExportColumn& operator[](int index) const { return Items(index); }
  TExportColumn& Add();
  void Clear();

 private:
  // The owner's settings as the last Fill took them. The source references are read
  // from the owner at each use, so a destroyed source is never reached.
  struct Settings {
    TExportSource exportSource = esDataSet;
    const QStringList* exportedFields = nullptr;
    bool onlyVisibleFields = false;
    const TExportFormats* formats = nullptr;
    bool autoCalcStrType = false;
    int captionRow = -1;
    const QStringList* userFormats = nullptr;
    const QStringList* columnsWidth = nullptr;
    const QStringList* captions = nullptr;
    const QStringList* columnsAlign = nullptr;
    const QStringList* columnsLength = nullptr;
  };

  void takeSettings();
  TExportSourceRefs refs() const;
  int candidateCount() const;
  const db::Field* fieldOf(const TExportColumn& column) const;
  void describe(TExportColumn& column) const;
  QString sourceName(const TExportColumn& column) const;
  TExportColType sourceType(const TExportColumn& column) const;
  QString sourceCaption(const TExportColumn& column) const;
  int sourceWidth(const TExportColumn& column) const;
  QString typeFormat(TExportColType type) const;
  int sourceLength(const TExportColumn& column) const;

  TExporter* owner_;
  Settings settings_;
  std::vector<TExportColumn> items_;
};

}  // namespace exportengine
