// dataconv-batch: the export and the import of the windows, run from a shell or cron,
// with the same Config.ini, column map files, Access files, rules and texts.
#pragma once

#include <config/ExchangeFormat.h>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace batch {

enum ExitStatus { kSuccess = 0, kTableFailed = 1, kBadUsage = 2 };

struct Options {
  enum class Command { Help, Export, Import, Undo, Journals };
  Command command = Command::Help;
  QString journal;                    // undo: the journal to take back
  QString folder;                     // empty: the program folder
  std::optional<QStringList> tables;  // instead of the switches of Config.ini
  bool dryRun = false;                // import, undo: show what it would do, write nothing
  bool editsOnly = false;             // import: only the cells changed in Access, this run
  bool includeUncertain = false;      // undo: amounts of posts not known to have run too
  bool ignoreLock = false;            // import: files another program holds open too
  bool replace = false;               // export: rows an Access table holds are replaced
  bool existingRowsGiven = false;     // --replace or --append was given
  QString changes;                    // with dryRun: the CSV file of the cells it would write
  // export, import: this format's files instead of [Export Import] FileType's
  std::optional<config::ExchangeFormat> format;
};

// What the command line asks for; a UsageError when it makes no sense.
struct UsageError {
  QString message;
};
Options parseArguments(const QStringList& arguments);  // without the program name

QString usageText();

// Parses, runs and returns the exit status. The report goes to `out`, errors and
// progress to `err`; `live` says whether `err` is a terminal.
int runBatch(const QStringList& arguments, std::FILE* out, std::FILE* err, bool live);

}  // namespace batch
