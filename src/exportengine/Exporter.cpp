#include "exportengine/Exporter.h"

#include <db/ValueText.h>
#include <platform/Error.h>
#include <platform/IniFile.h>

#include <algorithm>

namespace exportengine {

namespace {

const QString kGeneral = QStringLiteral("GENERAL");
const QString kFields = QStringLiteral("FIELDS");

QString boolText(bool value) {
  return value ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace

TExporter::TExporter(QObject* owner)
    : QObject(owner),
      formats_(std::make_unique<TExportFormats>()),
      columns_(std::make_unique<TExportColumns>(*this)),
      row_(std::make_unique<TExportRow>(*this)) {}

TExporter::~TExporter() = default;

TExportSourceRefs TExporter::SourceRefs() const {
  TExportSourceRefs refs;
  refs.DataSet = dataSet_.data();
  refs.CustomSource = customSource_.data();
  refs.ListView = listView_.data();
  refs.DBGrid = dbGrid_.data();
  refs.StringGrid = stringGrid_.data();
  return refs;
}

bool TExporter::Offers(TExportSetting setting) const {
  switch (setting) {
    case TExportSetting::ExportSource:
    case TExportSetting::DataSet:
    case TExportSetting::CustomSource:
    case TExportSetting::ListView:
    case TExportSetting::DBGrid:
    case TExportSetting::StringGrid:
    case TExportSetting::ExportedFields:
    case TExportSetting::OnlyVisibleFields:
    case TExportSetting::AutoCalcStrType:
    case TExportSetting::CaptionRow:
      return true;
    default:
      return false;
  }
}

TExportWriterClass TExporter::WriterType() const {
  return &NewWriter<TExportWriter>;
}

void TExporter::SetWriter(std::unique_ptr<TExportWriter> writer) {
  writer_ = std::move(writer);
}

// --- Source operations on this exporter's source ---

void TExporter::CheckSourceAssigned() const {
  SourceCheckAssigned(exportSource_, SourceRefs());
}

bool TExporter::SourceActive() const {
  return SourceIsActive(exportSource_, SourceRefs());
}

bool TExporter::SourceEmpty() const {
  return SourceIsEmpty(exportSource_, SourceRefs(), goToFirstRecord_);
}

void TExporter::MoveFirst() {
  recordCounter_ = 0;
  SourceFirst(exportSource_, SourceRefs());
}

void TExporter::MoveNext() {
  SourceNext(exportSource_, SourceRefs(), recordCounter_);
}

void TExporter::SkipRecords() {
  SourceSkip(exportSource_, SourceRefs(), skipRecCount_, recordCounter_, *this, OnSkippedRecord);
}

void TExporter::DisableSourceControls() {
  SourceDisableControls(exportSource_, SourceRefs());
}

void TExporter::EnableSourceControls() {
  SourceEnableControls(exportSource_, SourceRefs());
}

// --- Target operations ---

void TExporter::PrepareExport() {
  columns_->Clear();
  columns_->Fill(false);
  row_->Clear();
  for (int i = 0; i < columns_->Count(); ++i) {
    const QString& name = (*columns_)[i].Name;
    row_->AddCol(name, i);
    row_->IndexName(name, i);
  }
  row_->SortIndex();
  aborted_ = false;
  if (exportSource_ == esListView && listView_) {
    const int items = listView_->itemCount();
    skipRecCount_ = std::min(skipRecCount_, items);
    if (exportRecCount_ > 0) exportRecCount_ = std::min(exportRecCount_, items);
  }
  if (OnBeginExport) OnBeginExport(*this);
}

void TExporter::FinishExport() {
  if (OnEndExport) OnEndExport(*this);
}

bool TExporter::EndOfSource() {
  return SourceEof(exportSource_, SourceRefs(), skipRecCount_, exportRecCount_, recordCounter_);
}

QString TExporter::CaptionRowText() {
  QString text;
  for (int i = 0; i < columns_->Count(); ++i) text += ColumnCaption(i);
  return text;
}

// Each column's text goes to the column's own cell, so two columns of the same name
// (a field listed twice) both arrive.
void TExporter::FetchRow() {
  const TExportSourceRefs refs = SourceRefs();
  const int count = columns_->Count();
  // Dataset fields are read once for their text and their nullness together.
  db::Dataset* dataset = exportSource_ == esDataSet  ? refs.DataSet
                         : exportSource_ == esDBGrid ? GridDataSet(refs.DBGrid)
                                                     : nullptr;
  if (dataset) {
    for (int i = 0; i < count; ++i) {
      const int index = (*columns_)[i].SourceIndex;
      const db::Field* field = nullptr;
      if (exportSource_ == esDBGrid)
        field = refs.DBGrid->columnField(index);
      else if (index >= 0 && index < dataset->fieldCount())
        field = &dataset->field(index);
      if (!field) {
        row_->SetFetchedValue(i, QString(), 0);
        continue;
      }
      // The stored value is read in place; only lookup fields are worked out.
      QVariant derived;
      const QVariant* value = field->dataset().currentCell(*field);
      if (!value) {
        derived = field->value();
        value = &derived;
      }
      row_->SetFetchedValue(i, *value, field->dataType(), db::isInvalidOrNull(*value) ? 1 : 0);
    }
    return;
  }
  for (int i = 0; i < count; ++i)
    row_->SetFetchedValue(
        i, SourceCellText(exportSource_, refs, *columns_, i, skipRecCount_, recordCounter_), 0);
}

QString TExporter::DataRowText(bool formatted) {
  QString text;
  for (int i = 0; i < row_->Count(); ++i) text += (*row_)[i].GetExportText(formatted);
  return text;
}

QString TExporter::ColumnCaption(int column) {
  return NormalString((*columns_)[column].Caption);
}

QString TExporter::CellText(TExportCol& cell, const QString& /*text*/) {
  return cell.Data;
}

// --- Settings ---

void TExporter::SaveSettings(platform::IniFile& file) {
  std::vector<platform::IniEntry> entries{
      {kGeneral, QStringLiteral("GoToFirstRecord"), boolText(goToFirstRecord_)},
      {kGeneral, QStringLiteral("ExportEmpty"), boolText(exportEmpty_)},
      {kGeneral, QStringLiteral("CurrentRecordOnly"), boolText(currentRecordOnly_)},
      {kGeneral, QStringLiteral("ExportRecCount"), QString::number(exportRecCount_)},
      {kGeneral, QStringLiteral("SkipRecCount"), QString::number(skipRecCount_)},
      {kGeneral, QStringLiteral("OnlyVisibleFields"), boolText(onlyVisibleFields_)},
      {kGeneral, QStringLiteral("AutocalcStrType"), boolText(autoCalcStrType_)},
      {kGeneral, QStringLiteral("CaptionRow"), QString::number(captionRow_)},
  };
  for (int i = 0; i < exportedFields_.size(); ++i)
    entries.push_back({kFields, QStringLiteral("field%1").arg(i), exportedFields_.at(i)});
  // The old field list goes in the same rewrite that writes the new one.
  file.replaceSection(kFields, entries);
}

void TExporter::LoadSettings(platform::IniFile& file) {
  goToFirstRecord_ = file.readBool(kGeneral, QStringLiteral("GoToFirstRecord"), goToFirstRecord_);
  exportEmpty_ = file.readBool(kGeneral, QStringLiteral("ExportEmpty"), exportEmpty_);
  currentRecordOnly_ =
      file.readBool(kGeneral, QStringLiteral("CurrentRecordOnly"), currentRecordOnly_);
  exportRecCount_ = file.readInteger(kGeneral, QStringLiteral("ExportRecCount"), exportRecCount_);
  skipRecCount_ = file.readInteger(kGeneral, QStringLiteral("SkipRecCount"), skipRecCount_);
  onlyVisibleFields_ =
      file.readBool(kGeneral, QStringLiteral("OnlyVisibleFields"), onlyVisibleFields_);
  autoCalcStrType_ = file.readBool(kGeneral, QStringLiteral("AutocalcStrType"), autoCalcStrType_);
  captionRow_ = file.readInteger(kGeneral, QStringLiteral("CaptionRow"), captionRow_);
  exportedFields_.clear();
  for (const platform::IniEntry& entry : file.readSection(kFields))
    exportedFields_.append(entry.value);
}

// --- The run ---

bool TExporter::ConfirmStop() {
  bool canContinue = !aborted_;
  if (OnStopExport) OnStopExport(*this, canContinue);
  aborted_ = !canContinue;
  return canContinue;
}

void TExporter::Notification(QObject* component) {
  if (!component) return;
  if (static_cast<QObject*>(dataSet_.data()) == component) dataSet_ = nullptr;
  if (static_cast<QObject*>(customSource_.data()) == component) customSource_ = nullptr;
  if (static_cast<QObject*>(listView_.data()) == component) listView_ = nullptr;
  if (static_cast<QObject*>(dbGrid_.data()) == component) dbGrid_ = nullptr;
  if (static_cast<QObject*>(stringGrid_.data()) == component) stringGrid_ = nullptr;
}

void TExporter::RunExport() {
  recordCounter_ = 0;
  CheckSourceAssigned();
  if (!SourceActive())
    throw platform::Error(
        QStringLiteral("Export source (%1) is closed").arg(SourceName(exportSource_)));
  if (!exportEmpty_ && SourceEmpty())
    throw platform::Error(
        QStringLiteral("Export source (%1) is empty").arg(SourceName(exportSource_)));

  // The controls disabled here are the ones enabled at the end, even when an event
  // handler points the exporter elsewhere meanwhile.
  const TExportSource kind = exportSource_;
  const TExportSourceRefs refs = SourceRefs();
  QPointer<db::Dataset> dataSet = refs.DataSet;
  QPointer<db::Dataset> gridDataSet = GridDataSet(refs.DBGrid);
  QPointer<ListViewControl> listView = refs.ListView;
  SourceDisableControls(kind, refs);
  const auto enableControls = [&] {
    TExportSourceRefs again;
    again.DataSet = dataSet.data();
    again.ListView = listView.data();
    if (kind == esDBGrid && gridDataSet) {
      gridDataSet->enableControls();
      return;
    }
    SourceEnableControls(kind, again);
  };

  try {
    PrepareExport();
  } catch (...) {
    enableControls();
    throw;
  }
  if (aborted_) {
    enableControls();
    return;
  }

  try {
    runRows();
  } catch (...) {
    // The run's own error is the one the caller sees.
    try {
      FinishExport();
    } catch (...) {
    }
    enableControls();
    throw;
  }
  try {
    FinishExport();
  } catch (...) {
    enableControls();
    throw;
  }
  enableControls();
}

void TExporter::runRows() {
  if (allowCaptions_) {
    EmitCaptionRow();
    if (aborted_) return;
  }
  if (goToFirstRecord_) MoveFirst();
  StartRows();
  if (aborted_) return;
  SkipRecords();
  if (aborted_) return;
  recordCounter_ = 0;
  for (;;) {
    if (EndOfSource()) break;
    if (exportRecCount_ != 0 && recordCounter_ >= exportRecCount_) break;
    if (aborted_ && !ConfirmStop()) break;
    bool accept = true;
    FetchRow();
    if (OnBeforeExportRow) OnBeforeExportRow(*this, *row_, accept);
    if (accept) {
      EmitRow();
      if (OnExportedRecord) OnExportedRecord(*this, recordCounter_);
    }
    if (currentRecordOnly_) break;
    MoveNext();
  }
  FinishRows();
}

}  // namespace exportengine
