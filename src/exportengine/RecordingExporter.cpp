#include "RecordingExporter.h"

#include <db/ResultSet.h>
#include <platform/Error.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>

namespace exportengine::testing {

RecordingExporter::RecordingExporter() {
  OnBeginExport = [this](TExporter&) { log << "BeginExport"; };
  OnEndExport = [this](TExporter&) { log << "EndExport"; };
  OnSkippedRecord = [this](TExporter&, int recNo) {
    log << QStringLiteral("Skipped %1").arg(recNo);
  };
  OnExportedRecord = [this](TExporter&, int recNo) {
    log << QStringLiteral("Exported %1").arg(recNo);
  };
}

bool RecordingExporter::Offers(TExportSetting setting) const {
  if (offerAll) return true;
  if (offerTargetSettings &&
      (setting == TExportSetting::Captions || setting == TExportSetting::ColumnsLength ||
       setting == TExportSetting::Formats || setting == TExportSetting::UserFormats))
    return true;
  return TExporter::Offers(setting);
}

void RecordingExporter::PrepareExport() {
  log << "PrepareExport";
  TExporter::PrepareExport();
}

void RecordingExporter::EmitCaptionRow() {
  log << "Caption";
  captions.clear();
  for (int i = 0; i < Columns().Count(); ++i) captions << ColumnCaption(i);
}

void RecordingExporter::StartRows() {
  log << "StartRows";
}

void RecordingExporter::EmitRow() {
  log << "Row";
  QStringList cells;
  for (int i = 0; i < Row().Count(); ++i) cells << Row()[i].GetExportText(formatted);
  if (!failOn.isEmpty() && !cells.isEmpty() && cells.first() == failOn)
    throw platform::Error(QStringLiteral("cannot write %1").arg(failOn));
  rows.push_back(cells);
}

void RecordingExporter::FinishRows() {
  log << "FinishRows";
}

void RecordingExporter::FinishExport() {
  log << "FinishExport";
  TExporter::FinishExport();
}

std::unique_ptr<db::Dataset> makeDataset(const QString& name,
                                         const std::vector<db::FieldDef>& fields,
                                         const std::vector<std::vector<QVariant>>& rows) {
  auto dataset = std::make_unique<db::Dataset>(name);
  db::ResultSet result;
  for (const db::FieldDef& f : fields) {
    dataset->addField(f);
    result.columns.push_back(db::ColumnInfo{f.name, f.type, f.size, f.fixedChar});
  }
  for (const auto& row : rows)
    for (const QVariant& v : row) result.cells.push_back(v);
  dataset->open(std::move(result));
  return dataset;
}

db::FieldDef textField(const QString& name, int size, const QString& label) {
  db::FieldDef d;
  d.name = name;
  d.type = db::ftString;
  d.size = size;
  d.label = label;
  return d;
}

db::FieldDef fieldOf(const QString& name, db::FieldType type) {
  db::FieldDef d;
  d.name = name;
  d.type = type;
  return d;
}

}  // namespace exportengine::testing

namespace {

// Every test runs under the same regional settings, whatever the machine's locale.
class RegionalDefaults : public ::testing::Environment {
 public:
  void SetUp() override { platform::RegionalSettings::setCurrentForTesting({}); }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new RegionalDefaults);

}  // namespace
