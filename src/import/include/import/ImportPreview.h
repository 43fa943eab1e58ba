// What "匯入檔案" would do, without doing it: the same tables in the same order, each
// Access file opened as the import opens it and its rows walked by
// TableImport::preview. Nothing is written anywhere: no POS statement that changes
// data, no journal, no column map file, no Access file.
//
// Unlike the import, a table whose Access file cannot be opened does not end the run:
// it is reported and the next table is previewed, so that one run shows everything the
// import would stumble on.
#pragma once

#include <config/ExchangeFormat.h>
#include <journal/RowChange.h>
#include "import/ImportTables.h"
#include "import/TableImport.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace posdb {
class TDmMSSQL;
}

namespace dataimport {

class TDmAccess;

using ChangeSink = std::function<void(const journal::RowChange&)>;

// One table's outcome: its counts, or why it could not be read.
struct TablePreview {
  const ImportTable* table = nullptr;
  QString file;
  QString program = QStringLiteral("Access");  // the file is edited in, as the report says
  std::optional<TableImport::Preview> counts;
  QString error;  // set when counts are not

  bool clean() const { return counts && counts->failures.empty(); }
};

// What shows the preview: the batch command, or a window.
class PreviewFrontEnd {
 public:
  virtual ~PreviewFrontEnd() = default;
  // Runs import.preview(progress, onChange) with the front end's progress. A failure
  // propagates (the table could not be read).
  virtual TableImport::Preview previewTable(const ImportTable& table, TableImport& import,
                                            const ChangeSink& onChange) = 0;
  // The table could not be read; the next table follows.
  virtual void tableUnreadable(const ImportTable& table, const QString& message) = 0;
};

class ImportPreview {
 public:
  ImportPreview(TDmAccess& access, posdb::TDmMSSQL& pos, PreviewFrontEnd& frontEnd);

  // As ImportDriver::setTables.
  void setTables(const QStringList& tables) { tables_ = tables; }
  // As ImportDriver::setFormat.
  void setFormat(config::ExchangeFormat format) { format_ = format; }
  // Edits only for this run, whatever Config.ini says (see TableImport::setEditsOnly).
  void setEditsOnly(bool on) { editsOnly_ = on; }
  // As ImportDriver::setItemRules.
  void setItemRules(const ItemRules& rules) { itemRules_ = rules; }

  // `onChange`, when given, receives each row the import would append or change.
  std::vector<TablePreview> run(const ChangeSink& onChange = {});

 private:
  TDmAccess& access_;
  posdb::TDmMSSQL& pos_;
  PreviewFrontEnd& frontEnd_;
  std::optional<QStringList> tables_;
  std::optional<config::ExchangeFormat> format_;
  std::optional<bool> editsOnly_;
  std::optional<ItemRules> itemRules_;
};

// The preview as the operator reads it, lines joined by CR LF like the import's report:
// "匯入預覽：", one line of counts per table (or why it could not be read), then each
// row that would fail as "TABLE 第 N 列：message".
QString previewReport(const std::vector<TablePreview>& tables);

}  // namespace dataimport
