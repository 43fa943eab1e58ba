#include "BatchPreview.h"

#include "ConsoleText.h"

#include <config/ColumnMap.h>
#include <import/ChangesCsv.h>
#include <import/DmMdb.h>
#include <import/ImportPreview.h>
#include <platform/ErrorText.h>
#include <posdb/DmMdf.h>

#include <QFileInfo>
#include <algorithm>
#include <exception>

namespace batch {
namespace {

// Progress as the import shows it; a table that cannot be read gets its error on a
// line of its own, and the next table goes on.
class ConsolePreview : public dataimport::PreviewFrontEnd {
 public:
  ConsolePreview(ConsoleProgress& progress, std::FILE* err) : progress_(progress), err_(err) {}

  dataimport::TableImport::Preview previewTable(const dataimport::ImportTable& table,
                                                dataimport::TableImport& import,
                                                const dataimport::ChangeSink& onChange) override {
    progress_.begin(QString::fromUtf8(table.name));
    try {
      return import.preview(progress_, onChange);
    } catch (...) {
      progress_.fail();
      throw;
    }
  }
  void tableUnreadable(const dataimport::ImportTable&, const QString& message) override {
    write(err_, platform::withFullStop(message) + QLatin1Char('\n'));
  }

 private:
  ConsoleProgress& progress_;
  std::FILE* err_;
};

}  // namespace

BatchPreview::BatchPreview(const Options& options) : options_(options) {
  if (options_.changes.isEmpty()) return;
  try {
    changes_ = std::make_unique<dataimport::ChangesCsv>(
        options_.changes,
        [this](const QString& table, const QString& column) { return heading(table, column); });
  } catch (...) {
    throw UsageError{platform::errorText(std::current_exception())};
  }
}

BatchPreview::~BatchPreview() = default;

QString BatchPreview::heading(const QString& table, const QString& column) {
  auto found = headings_.find(table);
  if (found == headings_.end()) {
    QHash<QString, QString> map;
    const config::ColumnMap columns = config::ColumnMap::readTable(table);
    for (const config::ColumnPair& pair : columns.pairs()) map.insert(pair.field, pair.display);
    found = headings_.insert(table, map);
  }
  return found->value(column);
}

int BatchPreview::run(posdb::TDmMSSQL& pos, std::FILE* out, std::FILE* err,
                      ConsoleProgress& progress) {
  dataimport::TDmAccess access;
  ConsolePreview frontEnd(progress, err);
  dataimport::ImportPreview preview(access, pos, frontEnd);
  if (options_.tables) preview.setTables(*options_.tables);
  if (options_.format) preview.setFormat(*options_.format);
  if (options_.editsOnly) preview.setEditsOnly(true);
  dataimport::ChangeSink onChange;
  if (changes_) onChange = [this](const journal::RowChange& c) { changes_->add(c); };
  std::vector<dataimport::TablePreview> tables;
  try {
    tables = preview.run(onChange);
  } catch (...) {
    writeError(err, std::current_exception());
    return kTableFailed;
  }
  QString report = dataimport::previewReport(tables);
  report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  // Rows the files no longer hold: most often deleted by mistake, and left in the POS.
  for (const dataimport::TablePreview& t : tables)
    if (t.counts && t.counts->missing.count > 0)
      report +=
          QStringLiteral("\n%1：%2。")
              .arg(QFileInfo(t.file).fileName(), dataimport::missingRowsText(t.counts->missing));
  write(out, report + QLatin1Char('\n'));
  bool clean = std::all_of(tables.begin(), tables.end(),
                           [](const dataimport::TablePreview& t) { return t.clean(); });
  // The preview stands even when its changes file cannot be put in place at the end
  // (a full disk): the report is out, the error follows it.
  try {
    if (changes_) changes_->commit();
  } catch (...) {
    writeError(err, std::current_exception());
    clean = false;
  }
  return clean ? kSuccess : kTableFailed;
}

}  // namespace batch
