// Test support: an export target that records what the engine hands it, and datasets
// opened on rows given in the test.
#pragma once

#include <exportengine/Exporter.h>

#include <db/Dataset.h>
#include <db/Field.h>

#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace exportengine::testing {

// Logs each target operation and event by name ("PrepareExport", "BeginExport",
// "Caption", "StartRows", "Skipped 1", "Row", "Exported 0", "FinishRows",
// "FinishExport", "EndExport"), and keeps each emitted row's cell texts.
class RecordingExporter : public TExporter {
 public:
  RecordingExporter();

  QStringList log;
  std::vector<QStringList> rows;
  QStringList captions;
  bool formatted = false;
  // Settings offered beyond the base ones (the database targets offer these four).
  bool offerTargetSettings = false;
  // Every setting, as a target with widths and alignment would.
  bool offerAll = false;
  // Thrown from EmitRow when the row's first cell has this text.
  QString failOn;

  bool Offers(TExportSetting setting) const override;
  void PrepareExport() override;
  void EmitCaptionRow() override;
  void StartRows() override;
  void EmitRow() override;
  void FinishRows() override;
  void FinishExport() override;
};

// A dataset opened on `rows`, one value per field of `fields` in order.
std::unique_ptr<db::Dataset> makeDataset(const QString& name,
                                         const std::vector<db::FieldDef>& fields,
                                         const std::vector<std::vector<QVariant>>& rows);

db::FieldDef textField(const QString& name, int size, const QString& label = QString());
db::FieldDef fieldOf(const QString& name, db::FieldType type);

}  // namespace exportengine::testing
