// The operations the engine performs on whichever source is selected (check it,
// position it, step it, test its end, read a cell as text, freeze its controls), and
// the conversion of cell texts: type detection and formatting.
#pragma once

#include <exportengine/ExportTypes.h>

#include <QString>

namespace db {
class Dataset;
}

namespace exportengine {

class ListViewControl;
class DbGridControl;
class StringGridControl;
class TCustomExportSource;
class TExportColumns;

// The five source references of an exporter; only the one its kind selects is used.
struct TExportSourceRefs {
  db::Dataset* DataSet = nullptr;
  TCustomExportSource* CustomSource = nullptr;
  ListViewControl* ListView = nullptr;
  DbGridControl* DBGrid = nullptr;
  StringGridControl* StringGrid = nullptr;
};

// "DataSet", "ListView", "DBGrid", "StringGrid", "CustomSource"; "" for anything else.
QString SourceName(TExportSource kind);

// Throws "Export source (%s) is not assigned".
void SourceCheckAssigned(TExportSource kind, const TExportSourceRefs& refs);
bool SourceIsActive(TExportSource kind, const TExportSourceRefs& refs);
// `fromFirst`: the run will move to the first row before reading (a custom source
// that has been read to its end then counts as full again).
bool SourceIsEmpty(TExportSource kind, const TExportSourceRefs& refs, bool fromFirst = false);
void SourceFirst(TExportSource kind, const TExportSourceRefs& refs);
void SourceNext(TExportSource kind, const TExportSourceRefs& refs, int& recordCounter);
void SourceSkip(TExportSource kind, const TExportSourceRefs& refs, int count, int& recordCounter,
                TExporter& exporter, const TExportedRecordEvent& onSkippedRecord);
bool SourceEof(TExportSource kind, const TExportSourceRefs& refs, int skipRecCount,
               int exportRecCount, int recordCounter);
QString SourceCellText(TExportSource kind, const TExportSourceRefs& refs,
                       const TExportColumns& columns, int column, int skipRecCount,
                       int recordCounter);
void SourceDisableControls(TExportSource kind, const TExportSourceRefs& refs);
void SourceEnableControls(TExportSource kind, const TExportSourceRefs& refs);

// The dataset behind a data grid, nullptr when the grid, its data source or the
// dataset is missing.
db::Dataset* GridDataSet(const DbGridControl* grid);

// The column type a sample text suggests: empty text ectString; the true or false
// word (without regard to case) ectBoolean; a 32-bit whole number ectInteger; a
// number ectFloat; a date ectDate, a time of day ectTime, both ectDateTime; anything
// else ectString.
TExportColType DetectColType(const QString& text, const QString& trueWord,
                             const QString& falseWord);

// The output text of a cell's text under a column's pattern and type. Throws
// "'%s' is not a valid floating point value" or "'%s' is not a valid date and time"
// for a float, currency or temporal text that does not read as one.
QString FormatExportValue(const QString& text, const QString& pattern, TExportColType type,
                          const TNormalStringFunc& normalString);

// `text` without leading and trailing blanks and control characters (code 32 and
// below); no copy when there is nothing to remove.
QString TrimText(const QString& text);
// target := TrimText(text), reusing target's buffer where it can.
void AssignTrimmed(QString& target, const QString& text);
// The same, taking `text` over when there is nothing to remove.
void AssignTrimmed(QString& target, QString&& text);

}  // namespace exportengine
