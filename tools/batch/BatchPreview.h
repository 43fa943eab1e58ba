// "dataconv-batch import --dry-run": what the import would do, on standard output, with
// progress on standard error as the import shows it, and optionally every cell it
// would write in a CSV file. Nothing is written to the POS or beside the Access files.
#pragma once

#include "BatchCommand.h"
#include "ConsoleProgress.h"

#include <QHash>
#include <QString>
#include <cstdio>
#include <memory>

namespace dataimport {
class ChangesCsv;
}
namespace posdb {
class TDmMSSQL;
}

namespace batch {

class BatchPreview {
 public:
  // Opens the file of --changes, so that a path that cannot be written is an error
  // before anything runs (a UsageError).
  explicit BatchPreview(const Options& options);
  ~BatchPreview();

  // Exit status: kSuccess when every table was read and no row would fail.
  int run(posdb::TDmMSSQL& pos, std::FILE* out, std::FILE* err, ConsoleProgress& progress);

 private:
  // The exchange file's heading of a POS column, from the table's column map file.
  QString heading(const QString& table, const QString& column);

  Options options_;
  QHash<QString, QHash<QString, QString>> headings_;
  std::unique_ptr<dataimport::ChangesCsv> changes_;
};

}  // namespace batch
