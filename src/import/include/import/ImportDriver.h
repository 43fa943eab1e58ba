// "匯入檔案" below the windows: for each table that Config.ini switches on, in the order
// Classify, Item, Supplier, Customer, bring its tab to the front, open its Access file
// in the program folder, let the front end run the table's import, and add the
// table's completion line to the report when the import completed.
//
// A failure to open a table's Access file (missing file, no table of that name) ends
// the whole run at once: it propagates, later tables are not imported and no report
// is made (outcome() still lists them). A failure inside a table's import ends only that
// table; the front end has shown it by the time it returns. A cancel ends the run: the
// tables after it are not imported.
//
// Every run that imports a table keeps a journal of the rows it changes (see
// ImportJournal); a journal that cannot be made stops the run before the POS is
// touched.
#pragma once

#include <config/RunOutcome.h>
#include "import/ImportTables.h"
#include "import/TableImport.h"

#include <config/ExchangeFormat.h>
#include <QString>
#include <QStringList>
#include <exception>
#include <optional>

namespace posdb {
class TDmMSSQL;
}

namespace dataimport {

using config::RunOutcome;
using config::TableOutcome;

class TDmAccess;

// What the driver needs from whoever shows the import: the main window with its
// progress windows, or a command-line front end.
class ImportFrontEnd {
 public:
  virtual ~ImportFrontEnd() = default;
  // Brings the table's tab to the front, before its file is opened.
  virtual void selectTab(int tab) = 0;
  // Runs `import` and returns whether it completed. A failure is shown to the
  // operator here and does not propagate.
  virtual bool importTable(const ImportTable& table, TableImport& import) = 0;
  // The table's file is open in another program (`message` says which lock file shows
  // it and what to do): true imports the file as it was last saved, false leaves the
  // table out. By default the table is left out.
  virtual bool importHeldFile(const ImportTable&, const QString&) { return false; }
  // Why the last importTable() did not complete (platform::Cancelled when the operator
  // stopped it); null when the front end does not keep it.
  virtual std::exception_ptr lastFailure() const { return nullptr; }
};

// Why a table's exchange file should not be imported while its lock file lies beside
// it (unsaved edits would be missed), or an empty string.
QString heldFileMessage(const QString& file, const QString& program);

// Whether a run takes the table: named in `tables` when given (any case), otherwise
// switched on in Config.ini.
bool tableSelected(const ImportTable& table, const std::optional<QStringList>& tables);

// Opens the table's Access file in the program folder on access.qryAccess and returns
// the file's path; a missing file or table throws the layer's error.
QString openImportSource(TDmAccess& access, const ImportTable& table,
                         config::ExchangeFormat format);

class ImportDriver {
 public:
  ImportDriver(TDmAccess& access, posdb::TDmMSSQL& pos, ImportFrontEnd& frontEnd);

  // Reads the switches from config::Config(); returns "匯入狀態：" followed by CR LF and
  // the completion line of each table imported.
  QString run();

  // Runs the named tables (their configuration keys, any order, any case) instead of
  // those Config.ini switches on; the order stays the list's.
  void setTables(const QStringList& tables) { tables_ = tables; }
  // Reads this format's files instead of the one Config.ini sets.
  void setFormat(config::ExchangeFormat format) { format_ = format; }
  // Edits only for this run, whatever Config.ini says (see TableImport::setEditsOnly).
  void setEditsOnly(bool on) { editsOnly_ = on; }

  // Keeps the [Import Item] switches as given instead of reading Config.ini (the
  // preview's, so that the import does what was previewed).
  void setItemRules(const ItemRules& rules) { itemRules_ = rules; }

  // The journal of the last run; empty when it imported no table.
  const QString& journalPath() const { return journalPath_; }
  // What became of every table the last run was asked to import, also when run()
  // threw (the tables after the one that failed are listed as not run).
  const RunOutcome& outcome() const { return outcome_; }

  // The POS as a journal names it: the connection text without its password.
  static QString posDescription(const QString& connectionString);

 private:
  TDmAccess& access_;
  posdb::TDmMSSQL& pos_;
  ImportFrontEnd& frontEnd_;
  std::optional<QStringList> tables_;
  std::optional<config::ExchangeFormat> format_;
  std::optional<bool> editsOnly_;
  std::optional<ItemRules> itemRules_;
  QString journalPath_;
  RunOutcome outcome_;
};

}  // namespace dataimport
