#include "exportengine/ExportColumns.h"

#include "NumberText.h"
#include "exportengine/ExportControls.h"
#include "exportengine/ExportCustomSource.h"
#include "exportengine/ExportFormats.h"
#include "exportengine/Exporter.h"

#include <db/Dataset.h>
#include <db/Field.h>

#include <algorithm>

namespace exportengine {

namespace {

constexpr int kMaxLength = 254;

bool sameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A field's text length as a column length: at most 254. A large object, or a text
// whose size the database does not tell, may hold any length and gets the most.
int fieldLength(const db::Field* field) {
  if (!field) return 0;
  if (field->isBlob() || field->size() <= 0) return kMaxLength;
  return std::min(field->size(), kMaxLength);
}

bool exportable(const db::Field* field, bool includeBlobs, bool onlyVisible) {
  return field && (includeBlobs || !field->isBlob()) && (!onlyVisible || field->visible());
}

}  // namespace

TExportColType FieldColType(const db::Field* field) {
  if (!field) return ectUnknown;
  switch (field->dataType()) {
    case db::ftString:
    case db::ftWideString:
    case db::ftMemo:
    case db::ftBlob:
      return ectString;
    case db::ftSmallint:
    case db::ftInteger:
    case db::ftWord:
    case db::ftAutoInc:
      return ectInteger;
    case db::ftLargeint:
      return ectBigint;
    case db::ftBoolean:
      return ectBoolean;
    case db::ftFloat:
    case db::ftBCD:
      return ectFloat;
    case db::ftCurrency:
      return ectCurrency;
    case db::ftDate:
      return ectDate;
    case db::ftTime:
      return ectTime;
    case db::ftDateTime:
      return ectDateTime;
    default:
      return ectUnknown;
  }
}

bool FindListValue(const QStringList& list, const QString& name, QString* value) {
  for (const QString& line : list) {
    const qsizetype eq = line.indexOf(u'=');
    const QStringView key = eq < 0 ? QStringView(line) : QStringView(line).left(eq);
    if (key.compare(name, Qt::CaseInsensitive) != 0) continue;
    if (value) *value = eq < 0 ? QString() : line.mid(eq + 1);
    return true;
  }
  return false;
}

TExportColumns::TExportColumns(TExporter& owner) : owner_(&owner) {}

TExportColumn& TExportColumns::Add() {
  items_.emplace_back();
  return items_.back();
}

void TExportColumns::Clear() {
  items_.clear();
}

void TExportColumns::takeSettings() {
  const TExporter& o = *owner_;
  auto offers = [&](TExportSetting s) { return o.Offers(s); };
  if (offers(TExportSetting::ExportSource)) settings_.exportSource = o.ExportSource();
  settings_.exportedFields = offers(TExportSetting::ExportedFields) ? &o.ExportedFields() : nullptr;
  if (offers(TExportSetting::OnlyVisibleFields))
    settings_.onlyVisibleFields = o.OnlyVisibleFields();
  settings_.formats = offers(TExportSetting::Formats) ? &o.Formats() : nullptr;
  if (offers(TExportSetting::AutoCalcStrType)) settings_.autoCalcStrType = o.AutoCalcStrType();
  settings_.captionRow = offers(TExportSetting::CaptionRow) ? o.CaptionRow() : -1;
  settings_.userFormats = offers(TExportSetting::UserFormats) ? &o.UserFormats() : nullptr;
  settings_.columnsWidth = offers(TExportSetting::ColumnsWidth) ? &o.ColumnsWidth() : nullptr;
  settings_.captions = offers(TExportSetting::Captions) ? &o.Captions() : nullptr;
  settings_.columnsAlign = offers(TExportSetting::ColumnsAlign) ? &o.ColumnsAlign() : nullptr;
  settings_.columnsLength = offers(TExportSetting::ColumnsLength) ? &o.ColumnsLength() : nullptr;
}

TExportSourceRefs TExportColumns::refs() const {
  const TExporter& o = *owner_;
  TExportSourceRefs r;
  if (o.Offers(TExportSetting::DataSet)) r.DataSet = o.DataSet();
  if (o.Offers(TExportSetting::CustomSource)) r.CustomSource = o.CustomSource();
  if (o.Offers(TExportSetting::ListView)) r.ListView = o.ListView();
  if (o.Offers(TExportSetting::DBGrid)) r.DBGrid = o.DBGrid();
  if (o.Offers(TExportSetting::StringGrid)) r.StringGrid = o.StringGrid();
  return r;
}

void TExportColumns::Fill(bool includeBlobs) {
  takeSettings();
  const int n = candidateCount();
  const size_t first = items_.size();
  for (int i = 0; i < n; ++i) {
    const int k = SourceIndexOf(i, includeBlobs);
    if (k != -1) Add().SourceIndex = k;
  }
  for (size_t i = first; i < items_.size(); ++i) describe(items_[i]);
}

int TExportColumns::candidateCount() const {
  if (settings_.exportedFields && !settings_.exportedFields->isEmpty())
    return int(settings_.exportedFields->size());
  const TExportSourceRefs r = refs();
  switch (settings_.exportSource) {
    case esDataSet:
      return r.DataSet ? r.DataSet->fieldCount() : 0;
    case esListView:
      return r.ListView ? r.ListView->columnCount() : 0;
    case esDBGrid:
      return r.DBGrid ? r.DBGrid->columnCount() : 0;
    case esStringGrid:
      return r.StringGrid ? r.StringGrid->colCount() : 0;
    case esCustom:
      return r.CustomSource ? r.CustomSource->ColumnCount() : 0;
  }
  return 0;
}

int TExportColumns::SourceIndexOf(int i, bool includeBlobs) const {
  const TExportSourceRefs r = refs();
  const bool onlyVisible = settings_.onlyVisibleFields;
  if (settings_.exportedFields && !settings_.exportedFields->isEmpty()) {
    if (i < 0 || i >= settings_.exportedFields->size()) return -1;
    const QString& name = settings_.exportedFields->at(i);
    switch (settings_.exportSource) {
      case esDataSet: {
        if (!r.DataSet) return -1;
        const db::Field& field = r.DataSet->fieldByName(name);
        return onlyVisible && !field.visible() ? -1 : field.index();
      }
      case esDBGrid: {
        if (!r.DBGrid) return -1;
        int found = -1;
        for (int c = 0; c < r.DBGrid->columnCount(); ++c) {
          const db::Field* field = r.DBGrid->columnField(c);
          if (field && sameName(field->fieldName(), name) && (field->visible() || !onlyVisible))
            found = c;
        }
        return found;
      }
      case esListView: {
        if (!r.ListView) return -1;
        int found = -1;
        for (int c = 0; c < r.ListView->columnCount(); ++c)
          if (sameName(r.ListView->columnCaption(c), name)) found = c;
        return found;
      }
      case esStringGrid: {
        if (!r.StringGrid) return -1;
        const auto number = ReadInt32(name);
        return number && *number >= 0 && *number < r.StringGrid->colCount() ? *number : -1;
      }
      case esCustom:
        return r.CustomSource ? r.CustomSource->Columns().IndexOf(name) : -1;
    }
    return -1;
  }
  switch (settings_.exportSource) {
    case esDataSet:
      if (!r.DataSet || i < 0 || i >= r.DataSet->fieldCount()) return -1;
      return exportable(&r.DataSet->field(i), includeBlobs, onlyVisible) ? i : -1;
    case esDBGrid:
      if (!r.DBGrid || i < 0 || i >= r.DBGrid->columnCount()) return -1;
      return exportable(r.DBGrid->columnField(i), includeBlobs, onlyVisible) ? i : -1;
    default:
      return i;
  }
}

bool TExportColumns::IsNull(int column) const {
  const int index = Items(column).SourceIndex;
  switch (settings_.exportSource) {
    case esDataSet: {
      const db::Dataset* dataset = owner_->DataSet();
      return dataset && index >= 0 && index < dataset->fieldCount() &&
             dataset->field(index).isNull();
    }
    case esDBGrid: {
      const DbGridControl* grid = owner_->DBGrid();
      const db::Field* field = grid && GridDataSet(grid) ? grid->columnField(index) : nullptr;
      return field && field->isNull();
    }
    default:
      return false;
  }
}

const db::Field* TExportColumns::fieldOf(const TExportColumn& column) const {
  const TExportSourceRefs r = refs();
  const int index = column.SourceIndex;
  if (settings_.exportSource == esDataSet && r.DataSet && index >= 0 &&
      index < r.DataSet->fieldCount())
    return &r.DataSet->field(index);
  if (settings_.exportSource == esDBGrid && r.DBGrid) return r.DBGrid->columnField(index);
  return nullptr;
}

void TExportColumns::describe(TExportColumn& column) const {
  column.Name = sourceName(column);
  column.ColType = sourceType(column);
  column.Caption = sourceCaption(column);
  column.Width = sourceWidth(column);
  column.Format = typeFormat(column.ColType);
  QString value;
  if (settings_.userFormats && FindListValue(*settings_.userFormats, column.Name, &value))
    column.Format = value;
  if (settings_.columnsAlign) {
    if (FindListValue(*settings_.columnsAlign, column.Name, &value)) {
      const QChar c = value.isEmpty() ? QChar() : value.at(0).toUpper();
      column.Align = c == u'C' ? eaCenter : c == u'R' ? eaRight : eaLeft;
    } else {
      switch (column.ColType) {
        case ectInteger:
        case ectBigint:
        case ectFloat:
        case ectCurrency:
          column.Align = eaRight;
          break;
        case ectBoolean:
          column.Align = eaCenter;
          break;
        default:
          column.Align = eaLeft;
          break;
      }
    }
  }
  column.Length = column.ColType == ectString ? sourceLength(column) : 0;
}

QString TExportColumns::sourceName(const TExportColumn& column) const {
  const TExportSourceRefs r = refs();
  switch (settings_.exportSource) {
    case esDataSet:
    case esDBGrid: {
      const db::Field* field = fieldOf(column);
      return field ? field->fieldName() : QString();
    }
    case esListView:
      return r.ListView ? r.ListView->columnCaption(column.SourceIndex) : QString();
    case esStringGrid:
      return QString::number(column.SourceIndex);
    case esCustom:
      return r.CustomSource ? r.CustomSource->Columns()[column.SourceIndex].ColumnName()
                            : QString();
  }
  return QString();
}

TExportColType TExportColumns::sourceType(const TExportColumn& column) const {
  const TExportSourceRefs r = refs();
  // An exporter without formats detects with the usual words.
  const QString trueWord = settings_.formats ? settings_.formats->BooleanTrue()
                                             : QString::fromLatin1(kDefaultBooleanTrue);
  const QString falseWord = settings_.formats ? settings_.formats->BooleanFalse()
                                              : QString::fromLatin1(kDefaultBooleanFalse);
  switch (settings_.exportSource) {
    case esDataSet:
    case esDBGrid:
      return FieldColType(fieldOf(column));
    case esListView:
      if (!settings_.autoCalcStrType) return ectString;
      if (!r.ListView || r.ListView->itemCount() == 0) return column.ColType;
      return DetectColType(r.ListView->itemText(0, column.SourceIndex), trueWord, falseWord);
    case esStringGrid:
      if (!settings_.autoCalcStrType) return ectString;
      if (!r.StringGrid) return column.ColType;
      return DetectColType(r.StringGrid->cell(column.SourceIndex, r.StringGrid->row()), trueWord,
                           falseWord);
    case esCustom:
      return r.CustomSource ? r.CustomSource->Columns()[column.SourceIndex].ColumnType()
                            : column.ColType;
  }
  return column.ColType;
}

QString TExportColumns::sourceCaption(const TExportColumn& column) const {
  QString value;
  if (settings_.captions && FindListValue(*settings_.captions, column.Name, &value)) return value;
  const TExportSourceRefs r = refs();
  switch (settings_.exportSource) {
    case esDataSet: {
      const db::Field* field = fieldOf(column);
      return field ? field->displayLabel() : QString();
    }
    case esDBGrid:
      return r.DBGrid ? r.DBGrid->columnTitle(column.SourceIndex) : QString();
    case esListView:
      return r.ListView ? r.ListView->columnCaption(column.SourceIndex) : QString();
    case esStringGrid:
      if (settings_.captionRow < 0) return QStringLiteral("ColNo_%1").arg(column.SourceIndex);
      return r.StringGrid ? r.StringGrid->cell(column.SourceIndex, settings_.captionRow)
                          : QString();
    case esCustom:
      return r.CustomSource ? r.CustomSource->Columns()[column.SourceIndex].Caption() : QString();
  }
  return QString();
}

int TExportColumns::sourceWidth(const TExportColumn& column) const {
  QString value;
  if (settings_.columnsWidth && FindListValue(*settings_.columnsWidth, column.Name, &value))
    return ReadInt32(value).value_or(0);
  const TExportSourceRefs r = refs();
  auto perChar = [](int pixels, int charWidth) { return charWidth > 0 ? pixels / charWidth : 0; };
  switch (settings_.exportSource) {
    case esDataSet: {
      const db::Field* field = fieldOf(column);
      return field ? field->displayWidth() : 0;
    }
    case esDBGrid:
      return r.DBGrid ? perChar(r.DBGrid->columnWidth(column.SourceIndex), r.DBGrid->charWidth())
                      : 0;
    case esListView:
      return r.ListView ? r.ListView->columnWidth(column.SourceIndex) / 8 : 0;
    case esStringGrid:
      return r.StringGrid
                 ? perChar(r.StringGrid->colWidth(column.SourceIndex), r.StringGrid->charWidth())
                 : 0;
    case esCustom:
      return r.CustomSource ? r.CustomSource->Columns()[column.SourceIndex].Width() : 0;
  }
  return 0;
}

QString TExportColumns::typeFormat(TExportColType type) const {
  const TExportFormats* f = settings_.formats;
  if (!f) return QString();
  switch (type) {
    case ectInteger:
    case ectBigint:
      return f->IntegerFormat();
    case ectFloat:
      return f->FloatFormat();
    case ectCurrency:
      return f->CurrencyFormat();
    case ectDate:
      return f->DateFormat();
    case ectTime:
      return f->TimeFormat();
    case ectDateTime:
      return f->DateTimeFormat();
    default:
      return QString();
  }
}

int TExportColumns::sourceLength(const TExportColumn& column) const {
  const TExportSource kind = settings_.exportSource;
  QString value;
  if (settings_.columnsLength && (kind == esListView || kind == esStringGrid) &&
      FindListValue(*settings_.columnsLength, column.Name, &value))
    return ReadInt32(value).value_or(kMaxLength);
  const TExportSourceRefs r = refs();
  switch (kind) {
    case esDataSet:
    case esDBGrid:
      return fieldLength(fieldOf(column));
    case esListView:
    case esStringGrid:
      return kMaxLength;
    case esCustom:
      return r.CustomSource
                 ? std::min(r.CustomSource->Columns()[column.SourceIndex].Size(), kMaxLength)
                 : 0;
  }
  return 0;
}

}  // namespace exportengine
