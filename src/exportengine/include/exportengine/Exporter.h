// The base exporter: holds the export settings and events, owns the column list, the
// row buffer and the formats, and runs an export. It writes nothing itself: a target
// subclass names its writer class (WriterType), implements Execute, and overrides the
// operations that produce output (EmitCaptionRow, StartRows, EmitRow, FinishRows,
// FinishExport, NormalString, ...), reading Columns, Row, Formats and Writer.
//
// A run (RunExport): check the source (assigned, open, not empty unless ExportEmpty),
// disable its controls, PrepareExport (columns and row; OnBeginExport), EmitCaptionRow
// when AllowCaptions, move to the first row when GoToFirstRecord, StartRows, skip
// SkipRecCount rows (OnSkippedRecord 1, 2, ...), then per row up to ExportRecCount:
// FetchRow, OnBeforeExportRow, EmitRow and OnExportedRecord (RecNo from 0), and at the
// end FinishRows, FinishExport (OnEndExport) and the controls enabled again. Errors
// after PrepareExport still run FinishExport; the controls are enabled again in every
// case. Abort (from an event handler) stops the run at its next check; at the top of
// the row loop OnStopExport may cancel the abort.
#pragma once

#include <exportengine/ExportColumns.h>
#include <exportengine/ExportCommon.h>
#include <exportengine/ExportControls.h>
#include <exportengine/ExportCustomSource.h>
#include <exportengine/ExportFormats.h>
#include <exportengine/ExportRow.h>
#include <exportengine/ExportTypes.h>
#include <exportengine/ExportWriter.h>

#include <db/Dataset.h>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

namespace platform {
class IniFile;
}

namespace exportengine {

class TExporter : public QObject {
 public:
  explicit TExporter(QObject* owner = nullptr);
  ~TExporter() override;

  // --- Source ---
  TExportSource ExportSource() const { return exportSource_; }
  void SetExportSource(TExportSource source) { exportSource_ = source; }
  // A reference is forgotten when its object is destroyed (or Notification names it).
  db::Dataset* DataSet() const { return dataSet_; }
  void SetDataSet(db::Dataset* dataSet) { dataSet_ = dataSet; }
  TCustomExportSource* CustomSource() const { return customSource_; }
  void SetCustomSource(TCustomExportSource* source) { customSource_ = source; }
  ListViewControl* ListView() const { return listView_; }
  void SetListView(ListViewControl* listView) { listView_ = listView; }
  DbGridControl* DBGrid() const { return dbGrid_; }
  void SetDBGrid(DbGridControl* grid) { dbGrid_ = grid; }
  StringGridControl* StringGrid() const { return stringGrid_; }
  void SetStringGrid(StringGridControl* grid) { stringGrid_ = grid; }
  TExportSourceRefs SourceRefs() const;

  // --- Settings ---
  // Names of the source columns to export, in export order; empty: all of them.
  const QStringList& ExportedFields() const { return exportedFields_; }
  void SetExportedFields(const QStringList& fields) { exportedFields_ = fields; }
  bool CurrentRecordOnly() const { return currentRecordOnly_; }
  void SetCurrentRecordOnly(bool value) { currentRecordOnly_ = value; }
  bool GoToFirstRecord() const { return goToFirstRecord_; }
  void SetGoToFirstRecord(bool value) { goToFirstRecord_ = value; }
  // Most rows to export; 0: no limit, negative: none.
  int ExportRecCount() const { return exportRecCount_; }
  void SetExportRecCount(int value) { exportRecCount_ = value; }
  int SkipRecCount() const { return skipRecCount_; }
  void SetSkipRecCount(int value) { skipRecCount_ = value; }
  bool OnlyVisibleFields() const { return onlyVisibleFields_; }
  void SetOnlyVisibleFields(bool value) { onlyVisibleFields_ = value; }
  // Detect the column types of a list view (first item) or string grid (current row)
  // from their texts.
  bool AutoCalcStrType() const { return autoCalcStrType_; }
  void SetAutoCalcStrType(bool value) { autoCalcStrType_ = value; }
  // The string grid row holding the captions; -1: none.
  int CaptionRow() const { return captionRow_; }
  void SetCaptionRow(int value) { captionRow_ = value; }
  bool ExportEmpty() const { return exportEmpty_; }
  void SetExportEmpty(bool value) { exportEmpty_ = value; }
  const QString& Version() const { return version_; }

  // Held by every exporter; the column list reads each only when the exporter class
  // offers it (Offers). Lists of "name=value" lines, names compared without regard
  // to case.
  const QStringList& Captions() const { return captions_; }
  void SetCaptions(const QStringList& lines) { captions_ = lines; }
  bool AllowCaptions() const { return allowCaptions_; }
  void SetAllowCaptions(bool value) { allowCaptions_ = value; }
  TExportFormats& Formats() { return *formats_; }
  const TExportFormats& Formats() const { return *formats_; }
  void SetFormats(const TExportFormats& formats) { formats_->Assign(formats); }
  const QStringList& UserFormats() const { return userFormats_; }
  void SetUserFormats(const QStringList& lines) { userFormats_ = lines; }
  const QStringList& ColumnsWidth() const { return columnsWidth_; }
  void SetColumnsWidth(const QStringList& lines) { columnsWidth_ = lines; }
  const QStringList& ColumnsAlign() const { return columnsAlign_; }
  void SetColumnsAlign(const QStringList& lines) { columnsAlign_ = lines; }
  const QStringList& ColumnsLength() const { return columnsLength_; }
  void SetColumnsLength(const QStringList& lines) { columnsLength_ = lines; }

  // The settings this class offers its column list. The base offers the source
  // settings, ExportedFields, OnlyVisibleFields, AutoCalcStrType and CaptionRow.
  virtual bool Offers(TExportSetting setting) const;

  // --- Events ---
  TNotifyEvent OnBeginExport;
  TNotifyEvent OnEndExport;
  TExportedRecordEvent OnSkippedRecord;
  TExportedRecordEvent OnExportedRecord;
  TExportStopEvent OnStopExport;
  TBeforeExportRowEvent OnBeforeExportRow;

  // --- State of a run ---
  int RecordCounter() const { return recordCounter_; }
  TExportColumns& Columns() { return *columns_; }
  const TExportColumns& Columns() const { return *columns_; }
  TExportRow& Row() { return *row_; }
  bool Aborted() const { return aborted_; }
  TExportWriter* Writer() const { return writer_.get(); }

  // --- Target operations (overridden by targets) ---
  virtual TExportWriterClass WriterType() const;
  // Builds the columns and the row, then fires OnBeginExport. Overrides call it first.
  virtual void PrepareExport();
  virtual void StartRows() {}
  virtual void FinishRows() {}
  // Fires OnEndExport.
  virtual void FinishExport();
  virtual bool EndOfSource();
  // The ColumnCaption texts of all columns, joined.
  virtual QString CaptionRowText();
  virtual void EmitCaptionRow() {}
  // Reads the current source row into Row.
  virtual void FetchRow();
  // The GetExportText results of all cells, joined.
  virtual QString DataRowText(bool formatted);
  virtual void EmitRow() {}
  // NormalString of the column's Caption.
  virtual QString ColumnCaption(int column);
  // The last word on a cell's output text; the base returns the cell's Data.
  virtual QString CellText(TExportCol& cell, const QString& text);
  // Characters a target must escape; none in the base.
  virtual QString SpecialChars() const { return QString(); }
  // Sections "GENERAL" and "FIELDS" of an ini file.
  virtual void SaveSettings(platform::IniFile& file);
  virtual void LoadSettings(platform::IniFile& file);
  // Runs an export into the target; nothing in the base.
  virtual void Execute() {}
  virtual void Abort() { aborted_ = true; }
  // The text normalisation of the target; the base returns the text unchanged.
  virtual QString NormalString(const QString& text) const { return text; }

  // --- The run ---
  void RunExport();
  // Asks OnStopExport whether an aborted run may go on; the answer clears the abort.
  bool ConfirmStop();
  // The removal notice of a component: each source reference to it is cleared.
  void Notification(QObject* component);

 protected:
  // The writer of the current run; Execute sets it before RunExport and resets it
  // afterwards, also on failure.
  void SetWriter(std::unique_ptr<TExportWriter> writer);

  // The source operations on this exporter's source.
  void CheckSourceAssigned() const;
  bool SourceActive() const;
  bool SourceEmpty() const;
  void MoveFirst();
  void MoveNext();
  void SkipRecords();
  void DisableSourceControls();
  void EnableSourceControls();

 private:
  void runRows();

  TExportSource exportSource_ = esDataSet;
  QPointer<db::Dataset> dataSet_;
  QPointer<TCustomExportSource> customSource_;
  QPointer<ListViewControl> listView_;
  QPointer<DbGridControl> dbGrid_;
  QPointer<StringGridControl> stringGrid_;

  QStringList exportedFields_;
  bool currentRecordOnly_ = false;
  bool goToFirstRecord_ = true;
  int exportRecCount_ = 0;
  int skipRecCount_ = 0;
  bool onlyVisibleFields_ = false;
  bool autoCalcStrType_ = false;
  int captionRow_ = -1;
  bool exportEmpty_ = true;
  QString version_ = QStringLiteral("3.00");

  QStringList captions_;
  bool allowCaptions_ = true;
  std::unique_ptr<TExportFormats> formats_;
  QStringList userFormats_;
  QStringList columnsWidth_;
  QStringList columnsAlign_;
  QStringList columnsLength_;

  int recordCounter_ = 0;
  bool aborted_ = false;
  std::unique_ptr<TExportColumns> columns_;
  std::unique_ptr<TExportRow> row_;
  std::unique_ptr<TExportWriter> writer_;
};

}  // namespace exportengine
