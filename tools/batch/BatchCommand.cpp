#include "BatchCommand.h"

#include "BatchPreview.h"
#include "ConsoleProgress.h"
#include "ConsoleText.h"
#include "JournalCommands.h"

#include <config/Configs.h>
#include <export/ADO_AccessExporter.h>
#include <export/ExportDriver.h>
#include <import/DmMdb.h>
#include <import/ImportDriver.h>
#include <import/TableImport.h>
#include <platform/ErrorText.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

#include <QDir>
#include <QFileInfo>
#include <exception>
#include <memory>

namespace batch {

namespace {

// The report as the window shows it, with the line breaks of this platform.
QString reportLines(QString report) {
  report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return report + QLatin1Char('\n');
}

QString tableList() {
  QStringList names;
  for (const auto& t : dataimport::kImportTables) names << QString::fromUtf8(t.name);
  return names.join(QLatin1Char(','));
}

QStringList parseTables(const QString& value) {
  QStringList tables;
  for (const QString& part : value.split(QLatin1Char(','))) {
    const QString name = part.trimmed();
    if (name.isEmpty()) continue;
    bool known = false;
    for (const auto& t : dataimport::kImportTables)
      if (name.compare(QString::fromUtf8(t.name), Qt::CaseInsensitive) == 0) {
        if (!tables.contains(QString::fromUtf8(t.name))) tables << QString::fromUtf8(t.name);
        known = true;
      }
    if (!known)
      throw UsageError{QStringLiteral("unknown table '%1' (tables: %2)").arg(name, tableList())};
  }
  if (tables.isEmpty()) throw UsageError{QStringLiteral("--tables names no table")};
  return tables;
}

// Import tables as the batch shows them: progress on standard error, a failed row's
// error printed there instead of an error box, and the next table goes on.
class BatchImport : public dataimport::ImportFrontEnd {
 public:
  BatchImport(ConsoleProgress& progress, std::FILE* err, bool ignoreLock = false)
      : progress_(progress), err_(err), ignoreLock_(ignoreLock) {}

  void selectTab(int) override {}
  // No one to ask: a file open in another program is left out unless --ignore-lock.
  bool importHeldFile(const dataimport::ImportTable&, const QString& message) override {
    write(err_, message + (ignoreLock_ ? QStringLiteral("（--ignore-lock：匯入上次存檔的內容）\n")
                                       : QStringLiteral("\n")));
    if (!ignoreLock_) failed_ = true;
    return ignoreLock_;
  }
  bool importTable(const dataimport::ImportTable& table, dataimport::TableImport& import) override {
    progress_.begin(QString::fromUtf8(table.name));
    try {
      import.run(progress_);
      return true;
    } catch (...) {
      progress_.fail();
      writeError(err_, std::current_exception());
      failed_ = true;
      return false;
    }
  }
  bool failed() const { return failed_; }

 private:
  ConsoleProgress& progress_;
  std::FILE* err_;
  bool ignoreLock_ = false;
  bool failed_ = false;
};

// Config.ini lives as long as the run.
struct ConfigLifetime {
  ConfigLifetime() { config::createConfig(); }
  ~ConfigLifetime() { config::freeConfig(); }
};

int runExport(const Options& options, posdb::TDmMSSQL& pos, std::FILE* out, std::FILE* err,
              ConsoleProgress& progress) {
  dataexport::TADO_AccessExporter exporter;
  dataexport::ExportView view;
  view.showTab = [&progress](int tab) {
    for (const auto& t : dataexport::kExportTables)
      if (t.tab == tab) progress.begin(QString::fromLatin1(t.name));
  };
  view.progress = &progress;
  dataexport::ExportDriver driver(pos, exporter, view);
  if (options.tables) driver.SetTables(*options.tables);
  if (options.format) driver.SetFormat(*options.format);
  driver.SetExistingRows(options.replace ? dataexport::ExistingRows::Replace
                                         : dataexport::ExistingRows::Append);
  try {
    const QString report = driver.Run();
    write(out, reportLines(report));
    for (const QString& line : driver.ExistingRowsDone()) write(out, line + u'\n');
    return kSuccess;
  } catch (...) {
    // The export ends at the failing table and shows no report, as in the window.
    progress.fail();
    writeError(err, std::current_exception());
    return kTableFailed;
  }
}

int runImport(const Options& options, posdb::TDmMSSQL& pos, std::FILE* out, std::FILE* err,
              ConsoleProgress& progress) {
  dataimport::TDmAccess access;
  BatchImport frontEnd(progress, err, options.ignoreLock);
  dataimport::ImportDriver driver(access, pos, frontEnd);
  if (options.tables) driver.setTables(*options.tables);
  if (options.format) driver.setFormat(*options.format);
  if (options.editsOnly) driver.setEditsOnly(true);
  try {
    const QString report = driver.run();
    write(out, reportLines(report));
  } catch (...) {
    // An Access file that cannot be opened ends the run without a report.
    writeError(err, std::current_exception());
    return kTableFailed;
  }
  return frontEnd.failed() ? kTableFailed : kSuccess;
}

}  // namespace

QString usageText() {
  return QStringLiteral(
             "Usage: dataconv-batch export|import [--format mdb|xlsx] [--folder DIR]\n"
             "                      [--tables TABLE,...]\n"
             "       dataconv-batch export [--replace|--append] ...\n"
             "       dataconv-batch import [--ignore-lock] ...\n"
             "       dataconv-batch import --edits-only [--folder DIR] [--tables TABLE,...]\n"
             "       dataconv-batch undo JOURNAL [--dry-run] [--include-uncertain]\n"
             "                      [--folder DIR]\n"
             "       dataconv-batch journals [--folder DIR]\n"
             "       dataconv-batch import --dry-run [--changes FILE.csv] [--folder DIR]\n"
             "                      [--tables TABLE,...]\n"
             "       dataconv-batch --help\n"
             "\n"
             "Runs the export or the import of the program's windows without a display, with\n"
             "the same Config.ini, column map files and Access files.\n"
             "\n"
             "  export          write each table's column map file and Access file (TABLE.mdb)\n"
             "                  from the POS database\n"
             "  import          merge each table's Access file into the POS database; every\n"
             "                  import keeps a journal of the rows it changes in the folder\n"
             "                  journal beside Config.ini (the newest 50 are kept)\n"
             "  undo JOURNAL    take back the run of a journal (a file of the journal folder,\n"
             "                  by name or path): appended rows deleted, changed columns put\n"
             "                  back; a row changed again since is left alone as a conflict;\n"
             "                  each change is taken back once, however often undo runs\n"
             "  --include-uncertain  undo: also take back amounts (stock) added by a post\n"
             "                  that was cut short, once you checked that they reached the POS\n"
             "  journals        list the journals, oldest first\n"
             "  --folder DIR    the folder of Config.ini, the column map files and the Access\n"
             "                  files (default: the folder of the program)\n"
             "  --tables LIST   the tables to run, comma-separated, from %1, instead of those\n"
             "                  switched on in section [Export Import] of Config.ini\n"
             "  --dry-run       import: report what the import would do (rows new, changed,\n"
             "                  unchanged, and every row that would fail), writing nothing;\n"
             "                  undo: show what it would do and change nothing\n"
             "  --changes FILE  with --dry-run: list each cell it would write in a CSV file\n"
             "  --format FMT    export, import: the files' format, mdb (Access, TABLE.mdb) or\n"
             "                  xlsx (Excel, TABLE.xlsx), instead of [Export Import] FileType\n"
             "  --replace       export: an Access table that holds rows already gets the POS's\n"
             "                  rows alone (the file is written anew, then put in place)\n"
             "  --append        export: the POS's rows follow those the table holds (the\n"
             "                  default; every row is then there twice)\n"
             "  --ignore-lock   import: import a file that Excel, LibreOffice or Access still\n"
             "                  has open (its lock file lies beside it) as it was last saved;\n"
             "                  without it such a table is left out\n"
             "  --edits-only    import: bring back only the cells changed in the Access files\n"
             "                  since the export, as [Export Import] EditsOnly=1 does\n"
             "  --help          show this text\n"
             "\n"
             "The report goes to standard output, errors and progress to standard error.\n"
             "Exit status: 0 success, 1 a table failed (or undo left conflicting rows alone),\n"
             "2 bad usage. With import --dry-run, 1 says that a row would fail or a table\n"
             "cannot be read.\n")
      .arg(tableList());
}

Options parseArguments(const QStringList& arguments) {
  Options options;
  bool haveCommand = false;
  bool help = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments.at(i);
    // "--name value" or "--name=value".
    auto value = [&](const QString& name) -> std::optional<QString> {
      if (arg == name) {
        if (i + 1 >= arguments.size()) throw UsageError{name + QStringLiteral(" needs a value")};
        return arguments.at(++i);
      }
      if (arg.startsWith(name + QLatin1Char('='))) return arg.mid(name.size() + 1);
      return std::nullopt;
    };
    if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
      help = true;
    } else if (const auto folder = value(QStringLiteral("--folder"))) {
      if (folder->isEmpty()) throw UsageError{QStringLiteral("--folder needs a value")};
      options.folder = *folder;
    } else if (const auto tables = value(QStringLiteral("--tables"))) {
      options.tables = parseTables(*tables);
    } else if (const auto changes = value(QStringLiteral("--changes"))) {
      if (changes->isEmpty()) throw UsageError{QStringLiteral("--changes needs a value")};
      options.changes = *changes;
    } else if (const auto format = value(QStringLiteral("--format"))) {
      options.format = config::exchangeFormatOf(*format);
      if (!options.format)
        throw UsageError{QStringLiteral("--format is mdb or xlsx, not '%1'").arg(*format)};
    } else if (arg == QStringLiteral("--dry-run")) {
      options.dryRun = true;
    } else if (arg == QStringLiteral("--edits-only")) {
      options.editsOnly = true;
    } else if (arg == QStringLiteral("--replace") || arg == QStringLiteral("--append")) {
      options.replace = arg == QStringLiteral("--replace");
      options.existingRowsGiven = true;
    } else if (arg == QStringLiteral("--ignore-lock")) {
      options.ignoreLock = true;
    } else if (arg == QStringLiteral("--include-uncertain")) {
      options.includeUncertain = true;
    } else if (arg.startsWith(QLatin1Char('-'))) {
      throw UsageError{QStringLiteral("unknown option '%1'").arg(arg)};
    } else if (haveCommand && options.command == Options::Command::Undo &&
               options.journal.isEmpty()) {
      options.journal = arg;
    } else if (haveCommand) {
      throw UsageError{QStringLiteral("unexpected argument '%1'").arg(arg)};
    } else if (arg == QStringLiteral("export")) {
      options.command = Options::Command::Export;
      haveCommand = true;
    } else if (arg == QStringLiteral("import")) {
      options.command = Options::Command::Import;
      haveCommand = true;
    } else if (arg == QStringLiteral("undo")) {
      options.command = Options::Command::Undo;
      haveCommand = true;
    } else if (arg == QStringLiteral("journals")) {
      options.command = Options::Command::Journals;
      haveCommand = true;
    } else {
      throw UsageError{QStringLiteral("unknown command '%1'").arg(arg)};
    }
  }
  if (help) {
    options.command = Options::Command::Help;
    return options;
  }
  if (!haveCommand) throw UsageError{QStringLiteral("no command given")};
  if (options.command == Options::Command::Undo && options.journal.isEmpty())
    throw UsageError{QStringLiteral("undo needs the journal to take back")};
  if (options.dryRun && options.command != Options::Command::Import &&
      options.command != Options::Command::Undo)
    throw UsageError{QStringLiteral("--dry-run is for import and undo only")};
  if (options.editsOnly && options.command != Options::Command::Import)
    throw UsageError{QStringLiteral("--edits-only is for import only")};
  if (options.existingRowsGiven && options.command != Options::Command::Export)
    throw UsageError{QStringLiteral("--replace and --append are for export only")};
  if (options.ignoreLock && options.command != Options::Command::Import)
    throw UsageError{QStringLiteral("--ignore-lock is for import only")};
  if (options.includeUncertain && options.command != Options::Command::Undo)
    throw UsageError{QStringLiteral("--include-uncertain is for undo only")};
  if (!options.changes.isEmpty() &&
      !(options.dryRun && options.command == Options::Command::Import))
    throw UsageError{QStringLiteral("--changes needs import --dry-run")};
  if (options.tables &&
      (options.command == Options::Command::Undo || options.command == Options::Command::Journals))
    throw UsageError{QStringLiteral("--tables does not apply to this command")};
  if (options.format &&
      (options.command == Options::Command::Undo || options.command == Options::Command::Journals))
    throw UsageError{QStringLiteral("--format does not apply to this command")};
  return options;
}

int runBatch(const QStringList& arguments, std::FILE* out, std::FILE* err, bool live) {
  Options options;
  std::unique_ptr<BatchPreview> preview;
  try {
    options = parseArguments(arguments);
    if (!options.folder.isEmpty() && !QFileInfo(options.folder).isDir())
      throw UsageError{QStringLiteral("no folder '%1'").arg(options.folder)};
    if (options.command == Options::Command::Import && options.dryRun)
      preview = std::make_unique<BatchPreview>(options);
  } catch (const UsageError& e) {
    write(err, QStringLiteral("dataconv-batch: %1\nTry 'dataconv-batch --help'.\n").arg(e.message));
    return kBadUsage;
  }
  if (options.command == Options::Command::Help) {
    write(out, usageText());
    return kSuccess;
  }
  if (!options.folder.isEmpty()) platform::setProgramFolder(QDir(options.folder).absolutePath());

  ConfigLifetime configLifetime;
  if (options.command == Options::Command::Journals) return listJournals(out, err);
  posdb::TDmMSSQL pos;
  try {
    pos.start();
  } catch (...) {
    writeError(err, std::current_exception());
    return kTableFailed;
  }
  ConsoleProgress progress(err, live);
  if (preview) return preview->run(pos, out, err, progress);
  switch (options.command) {
    case Options::Command::Export:
      return runExport(options, pos, out, err, progress);
    case Options::Command::Undo:
      try {
        return undoJournal(pos, resolveJournal(options.journal), options.dryRun,
                           options.includeUncertain, out, progress);
      } catch (...) {
        writeError(err, std::current_exception());
        return kTableFailed;
      }
    default:
      return runImport(options, pos, out, err, progress);
  }
}

}  // namespace batch
