#include "exportengine/ExportWriter.h"

// Every public header, so that building the library checks them all.
#include "exportengine/Exporter.h"

namespace exportengine {

TExportWriter::TExportWriter(TExporter& owner, QIODevice* stream)
    : owner_(&owner), stream_(stream) {}

TExportWriter::~TExportWriter() = default;

QString TExportWriter::AlignName(int align) const {
  switch (align) {
    case eaLeft:
      return QStringLiteral("Left alignment");
    case eaCenter:
      return QStringLiteral("Center alignment");
    case eaRight:
      return QStringLiteral("Right alignment");
    default:
      return QStringLiteral("Unknown alignment");
  }
}

}  // namespace exportengine
