#include "export/ADO_DatabaseExporter.h"

namespace dataexport {

using exportengine::TExportSetting;

TDatabaseExporter::TDatabaseExporter(QObject* owner) : TExporter(owner) {}

bool TDatabaseExporter::Offers(TExportSetting setting) const {
  switch (setting) {
    case TExportSetting::Captions:
    case TExportSetting::ColumnsLength:
    case TExportSetting::Formats:
    case TExportSetting::UserFormats:
      return true;
    default:
      return TExporter::Offers(setting);
  }
}

void TDatabaseExporter::Execute() {
  SetWriter(WriterType()(*this, nullptr));
  try {
    RunExport();
  } catch (...) {
    // Destroying the writer lets go of its command and connection; what was written
    // before the failure stays.
    SetWriter(nullptr);
    throw;
  }
  SetWriter(nullptr);
  PresentResult();
}

}  // namespace dataexport
