#include "exportengine/ExportCommon.h"

#include "DateTimeFormat.h"
#include "NumberFormat.h"
#include "NumberText.h"
#include "exportengine/ExportColumns.h"
#include "exportengine/ExportControls.h"
#include "exportengine/ExportCustomSource.h"
#include "exportengine/ExportFormats.h"

#include <db/DataSource.h>
#include <db/Dataset.h>
#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <algorithm>

// Every operation tolerates a missing reference (a source destroyed by an event
// handler during a run): a missing source is at its end and has nothing to move.

namespace exportengine {

namespace {

// The counter rule of the list view and the string grid: the source is at its end
// when the counter reaches the rows left after the skipped ones, or the row limit.
// A negative skip skips nothing: it must not make rows up before the first one.
bool counterAtEnd(int rows, int skipRecCount, int exportRecCount, int recordCounter) {
  qint64 n = qint64(rows) - std::max(skipRecCount, 0);
  if (exportRecCount > 0) n = std::min<qint64>(exportRecCount, n);
  n = std::max<qint64>(n, 0);
  return recordCounter >= n;
}

}  // namespace

QString SourceName(TExportSource kind) {
  switch (kind) {
    case esDataSet:
      return QStringLiteral("DataSet");
    case esListView:
      return QStringLiteral("ListView");
    case esDBGrid:
      return QStringLiteral("DBGrid");
    case esStringGrid:
      return QStringLiteral("StringGrid");
    case esCustom:
      return QStringLiteral("CustomSource");
  }
  return QString();
}

db::Dataset* GridDataSet(const DbGridControl* grid) {
  if (!grid) return nullptr;
  const db::DataSource* source = grid->dataSource();
  return source ? source->dataset() : nullptr;
}

void SourceCheckAssigned(TExportSource kind, const TExportSourceRefs& refs) {
  bool assigned = false;
  switch (kind) {
    case esDataSet:
      assigned = refs.DataSet != nullptr;
      break;
    case esListView:
      assigned = refs.ListView != nullptr;
      break;
    case esDBGrid:
      assigned = GridDataSet(refs.DBGrid) != nullptr;
      break;
    case esStringGrid:
      assigned = refs.StringGrid != nullptr;
      break;
    case esCustom:
      assigned = refs.CustomSource != nullptr;
      break;
  }
  if (!assigned)
    throw platform::Error(
        QStringLiteral("Export source (%1) is not assigned").arg(SourceName(kind)));
}

bool SourceIsActive(TExportSource kind, const TExportSourceRefs& refs) {
  switch (kind) {
    case esDataSet:
      return refs.DataSet && refs.DataSet->isOpen();
    case esDBGrid: {
      const db::Dataset* dataset = GridDataSet(refs.DBGrid);
      return dataset && dataset->isOpen();
    }
    default:
      return true;
  }
}

bool SourceIsEmpty(TExportSource kind, const TExportSourceRefs& refs, bool fromFirst) {
  switch (kind) {
    case esDataSet:
      return !refs.DataSet || refs.DataSet->isEmpty();
    case esDBGrid: {
      const db::Dataset* dataset = GridDataSet(refs.DBGrid);
      return !dataset || dataset->isEmpty();
    }
    case esListView:
      return !refs.ListView || refs.ListView->itemCount() == 0;
    case esStringGrid:
      return !refs.StringGrid || refs.StringGrid->rowCount() <= refs.StringGrid->fixedRows();
    case esCustom:
      // A custom source knows no count: it is empty when nothing would be read.
      if (!refs.CustomSource) return true;
      return fromFirst ? !refs.CustomSource->OnGetNextRecord : refs.CustomSource->AtEnd();
  }
  return true;
}

void SourceFirst(TExportSource kind, const TExportSourceRefs& refs) {
  switch (kind) {
    case esDataSet:
      if (refs.DataSet) refs.DataSet->first();
      break;
    case esDBGrid:
      if (db::Dataset* dataset = GridDataSet(refs.DBGrid); dataset && dataset->isOpen())
        dataset->first();
      break;
    case esListView:
      if (refs.ListView && refs.ListView->itemCount() > 0) refs.ListView->selectItem(0);
      break;
    case esStringGrid:
      if (refs.StringGrid) refs.StringGrid->setRow(refs.StringGrid->fixedRows());
      break;
    case esCustom:
      if (refs.CustomSource) refs.CustomSource->First();
      break;
  }
}

void SourceNext(TExportSource kind, const TExportSourceRefs& refs, int& recordCounter) {
  ++recordCounter;
  switch (kind) {
    case esDataSet:
      if (refs.DataSet) refs.DataSet->next();
      break;
    case esDBGrid:
      if (db::Dataset* dataset = GridDataSet(refs.DBGrid)) dataset->next();
      break;
    case esListView:
      break;
    case esStringGrid:
      if (StringGridControl* grid = refs.StringGrid; grid && grid->row() < grid->rowCount() - 1)
        grid->setRow(grid->row() + 1);
      break;
    case esCustom:
      if (refs.CustomSource) refs.CustomSource->Next();
      break;
  }
}

void SourceSkip(TExportSource kind, const TExportSourceRefs& refs, int count, int& recordCounter,
                TExporter& exporter, const TExportedRecordEvent& onSkippedRecord) {
  for (int i = 0; i < count; ++i) {
    SourceNext(kind, refs, recordCounter);
    if (onSkippedRecord) onSkippedRecord(exporter, recordCounter);
  }
}

bool SourceEof(TExportSource kind, const TExportSourceRefs& refs, int skipRecCount,
               int exportRecCount, int recordCounter) {
  switch (kind) {
    case esDataSet:
      return !refs.DataSet || refs.DataSet->eof();
    case esDBGrid: {
      const db::Dataset* dataset = GridDataSet(refs.DBGrid);
      return !dataset || dataset->eof();
    }
    case esListView:
      return !refs.ListView ||
             counterAtEnd(refs.ListView->itemCount(), skipRecCount, exportRecCount, recordCounter);
    case esStringGrid:
      return !refs.StringGrid ||
             counterAtEnd(refs.StringGrid->rowCount() - refs.StringGrid->fixedRows(), skipRecCount,
                          exportRecCount, recordCounter);
    case esCustom:
      return !refs.CustomSource || refs.CustomSource->AtEnd();
  }
  return true;
}

QString SourceCellText(TExportSource kind, const TExportSourceRefs& refs,
                       const TExportColumns& columns, int column, int skipRecCount,
                       int recordCounter) {
  const int index = columns[column].SourceIndex;
  switch (kind) {
    case esDataSet:
      if (refs.DataSet && index >= 0 && index < refs.DataSet->fieldCount())
        return refs.DataSet->field(index).asString();
      break;
    case esDBGrid:
      if (refs.DBGrid && GridDataSet(refs.DBGrid))
        if (const db::Field* field = refs.DBGrid->columnField(index)) return field->asString();
      break;
    case esListView:
      if (refs.ListView)
        return refs.ListView->itemText(std::max(skipRecCount, 0) + recordCounter, index);
      break;
    case esStringGrid:
      if (refs.StringGrid) return refs.StringGrid->cell(index, refs.StringGrid->row());
      break;
    case esCustom:
      if (refs.CustomSource && index >= 0 && index < refs.CustomSource->ColumnCount())
        return refs.CustomSource->Columns()[index].ValueText();
      break;
  }
  return QString();
}

void SourceDisableControls(TExportSource kind, const TExportSourceRefs& refs) {
  switch (kind) {
    case esDataSet:
      if (refs.DataSet) refs.DataSet->disableControls();
      break;
    case esDBGrid:
      if (db::Dataset* dataset = GridDataSet(refs.DBGrid)) dataset->disableControls();
      break;
    case esListView:
      if (refs.ListView) refs.ListView->beginUpdate();
      break;
    default:
      break;
  }
}

void SourceEnableControls(TExportSource kind, const TExportSourceRefs& refs) {
  switch (kind) {
    case esDataSet:
      if (refs.DataSet) refs.DataSet->enableControls();
      break;
    case esDBGrid:
      if (db::Dataset* dataset = GridDataSet(refs.DBGrid)) dataset->enableControls();
      break;
    case esListView:
      if (refs.ListView) refs.ListView->endUpdate();
      break;
    default:
      break;
  }
}

TExportColType DetectColType(const QString& text, const QString& trueWord,
                             const QString& falseWord) {
  if (text.isEmpty()) return ectString;
  if (text.compare(trueWord, Qt::CaseInsensitive) == 0 ||
      text.compare(falseWord, Qt::CaseInsensitive) == 0)
    return ectBoolean;
  if (ReadInt32(text)) return ectInteger;
  if (ReadFloat(text, platform::RegionalSettings::current().decimalSeparator)) return ectFloat;
  if (const auto reading = ReadDateTime(text)) {
    // A bare time of day is a time even at midnight; a date at midnight is a date.
    if (!reading->hasDate) return ectTime;
    return reading->value.time() == QTime(0, 0) ? ectDate : ectDateTime;
  }
  return ectString;
}

QString FormatExportValue(const QString& text, const QString& pattern, TExportColType type,
                          const TNormalStringFunc& normalString) {
  const platform::RegionalSettings& rs = platform::RegionalSettings::current();
  switch (type) {
    case ectInteger:
      return normalString(FormatWhole(ReadInt32(text).value_or(0), pattern, rs));
    case ectBigint:
      return normalString(FormatWhole(ReadInt64(text).value_or(0), pattern, rs));
    case ectFloat:
    case ectCurrency: {
      const auto value = ReadFloat(text, rs.decimalSeparator);
      if (!value)
        throw platform::Error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
      return normalString(FormatFloat(*value, pattern, rs));
    }
    case ectDate:
    case ectTime:
    case ectDateTime: {
      const auto reading = ReadDateTime(text);
      if (!reading)
        throw platform::Error(QStringLiteral("'%1' is not a valid date and time").arg(text));
      const TExportDefaultFormats& defaults = TExportDefaultFormats::Current();
      return normalString(
          FormatDateTime(reading->value, pattern, rs, defaults.DateFormat, defaults.TimeFormat));
    }
    case ectString:
      return normalString(text);
    case ectBoolean:
    case ectUnknown:
      return text;
  }
  return text;
}

QString TrimText(const QString& text) {
  const qsizetype n = text.size();
  qsizetype begin = 0;
  while (begin < n && text[begin].unicode() <= ' ') ++begin;
  qsizetype end = n;
  while (end > begin && text[end - 1].unicode() <= ' ') --end;
  if (begin == 0 && end == n) return text;
  return text.mid(begin, end - begin);
}

}  // namespace exportengine

namespace exportengine {

void AssignTrimmed(QString& target, QString&& text) {
  const qsizetype n = text.size();
  // at(), not operator[]: the text is usually shared with the source, and a non-const
  // operator[] would copy it.
  if (n == 0 || (text.at(0).unicode() > ' ' && text.at(n - 1).unicode() > ' ')) {
    target.swap(text);
    return;
  }
  AssignTrimmed(target, std::as_const(text));
}

void AssignTrimmed(QString& target, const QString& text) {
  const qsizetype n = text.size();
  qsizetype begin = 0;
  while (begin < n && text[begin].unicode() <= ' ') ++begin;
  qsizetype end = n;
  while (end > begin && text[end - 1].unicode() <= ' ') --end;
  if (begin == 0 && end == n) {
    target = text;
    return;
  }
  // The row's cells are refilled for every row: keep their storage.
  target.resize(0);
  target.append(QStringView(text).mid(begin, end - begin));
}

}  // namespace exportengine
