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
      throw UsageError{QStringLiteral("沒有資料表「%1」（可用：%2）").arg(name, tableList())};
  }
  if (tables.isEmpty()) throw UsageError{QStringLiteral("--tables 沒有指定任何資料表")};
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

// Lines within 80 columns on a terminal, a Chinese character taking two.
QString usageText() {
  return QStringLiteral(
             "用法：dataconv-batch export|import [--format mdb|xlsx] [--folder 資料夾]\n"
             "                      [--tables 資料表,...]\n"
             "      dataconv-batch export [--replace|--append] ...\n"
             "      dataconv-batch import [--ignore-lock] ...\n"
             "      dataconv-batch import --edits-only [--folder 資料夾]\n"
             "                      [--tables 資料表,...]\n"
             "      dataconv-batch import --dry-run [--changes 檔案.csv] [--folder 資料夾]\n"
             "                      [--tables 資料表,...]\n"
             "      dataconv-batch undo 匯入記錄 [--dry-run] [--include-uncertain]\n"
             "                      [--folder 資料夾]\n"
             "      dataconv-batch journals [--folder 資料夾]\n"
             "      dataconv-batch --help\n"
             "\n"
             "不開視窗，執行程式視窗中的匯出與匯入，使用相同的 Config.ini、欄位對照檔\n"
             "與交換檔案。\n"
             "\n"
             "  export          從 POS 資料庫寫出每個資料表的欄位對照檔與交換檔案\n"
             "                  （Access 的 資料表.mdb 或 Excel 的 資料表.xlsx）\n"
             "  import          把每個資料表的交換檔案依主鍵合併回 POS 資料庫；每次匯入\n"
             "                  都在 Config.ini 旁的 journal 資料夾留下匯入記錄\n"
             "                  （保留最新的 50 份）\n"
             "  undo 匯入記錄   取回一次匯入（journal 資料夾中的檔案，名稱或路徑皆可）：\n"
             "                  刪除新增的列，改回修改過的欄位；之後又被修改過的列視為\n"
             "                  衝突，保持不動；每項修改只會取回一次\n"
             "  journals        依時間先後列出匯入記錄\n"
             "  --folder 資料夾 Config.ini、欄位對照檔與交換檔案所在的資料夾\n"
             "                  （預設：程式所在的資料夾）\n"
             "  --tables 清單   要執行的資料表，以逗號分隔，可用：\n"
             "                  %1\n"
             "                  不指定時依 Config.ini 的 [Export Import] 設定\n"
             "  --dry-run       import：只報告匯入會做什麼（新增、修改、未變更的列數，\n"
             "                  以及每一列會失敗的原因），不寫入任何資料；\n"
             "                  undo：只列出會做什麼，不做任何修改\n"
             "  --changes 檔案  與 import --dry-run 一起使用：把每個會寫入的欄位列在\n"
             "                  CSV 檔案中\n"
             "  --format 格式   export、import：交換檔案的格式，mdb（Access）或 xlsx\n"
             "                  （Excel），取代 [Export Import] 的 FileType 設定\n"
             "  --replace       export：已有資料的 Access 資料表改為只放 POS 的資料\n"
             "                  （先寫出新檔案，再換掉原來的檔案）\n"
             "  --append        export：POS 的資料接在資料表原有的列之後（預設；每一列\n"
             "                  因此會出現兩次）\n"
             "  --ignore-lock   import：Excel、LibreOffice 或 Access 仍開著的檔案（旁邊\n"
             "                  有鎖定檔）也匯入最後一次存檔的內容；不加時略過這個資料表\n"
             "  --edits-only    import：只匯入匯出之後在交換檔案中修改過的欄位，\n"
             "                  與 [Export Import] 的 EditsOnly=1 相同\n"
             "  --include-uncertain\n"
             "                  undo：被中斷的匯入可能已加到 POS 的數量（庫存）也取回；\n"
             "                  請先確認這些數量確實已寫入 POS\n"
             "  --help          顯示這份說明\n"
             "\n"
             "報告輸出到標準輸出，錯誤與進度輸出到標準錯誤。\n"
             "結束代碼：0 成功；1 有資料表失敗（或還原時有衝突的列保持不動）；\n"
             "2 用法錯誤。import --dry-run 時，1 表示有列會失敗或有資料表無法讀取。\n")
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
        if (i + 1 >= arguments.size()) throw UsageError{name + QStringLiteral(" 後面要接一個值")};
        return arguments.at(++i);
      }
      if (arg.startsWith(name + QLatin1Char('='))) return arg.mid(name.size() + 1);
      return std::nullopt;
    };
    if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
      help = true;
    } else if (const auto folder = value(QStringLiteral("--folder"))) {
      if (folder->isEmpty()) throw UsageError{QStringLiteral("--folder 後面要接一個值")};
      options.folder = *folder;
    } else if (const auto tables = value(QStringLiteral("--tables"))) {
      options.tables = parseTables(*tables);
    } else if (const auto changes = value(QStringLiteral("--changes"))) {
      if (changes->isEmpty()) throw UsageError{QStringLiteral("--changes 後面要接一個值")};
      options.changes = *changes;
    } else if (const auto format = value(QStringLiteral("--format"))) {
      options.format = config::exchangeFormatOf(*format);
      if (!options.format)
        throw UsageError{QStringLiteral("--format 只能是 mdb 或 xlsx，不是「%1」").arg(*format)};
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
      throw UsageError{QStringLiteral("不認得的選項「%1」").arg(arg)};
    } else if (haveCommand && options.command == Options::Command::Undo &&
               options.journal.isEmpty()) {
      options.journal = arg;
    } else if (haveCommand) {
      throw UsageError{QStringLiteral("多出來的參數「%1」").arg(arg)};
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
      throw UsageError{QStringLiteral("不認得的指令「%1」").arg(arg)};
    }
  }
  if (help) {
    options.command = Options::Command::Help;
    return options;
  }
  if (!haveCommand)
    throw UsageError{QStringLiteral("沒有指定指令（export、import、undo 或 journals）")};
  if (options.command == Options::Command::Undo && options.journal.isEmpty())
    throw UsageError{QStringLiteral("undo 後面要接要取回的匯入記錄")};
  if (options.dryRun && options.command != Options::Command::Import &&
      options.command != Options::Command::Undo)
    throw UsageError{QStringLiteral("--dry-run 只能用在 import 與 undo")};
  if (options.editsOnly && options.command != Options::Command::Import)
    throw UsageError{QStringLiteral("--edits-only 只能用在 import")};
  if (options.existingRowsGiven && options.command != Options::Command::Export)
    throw UsageError{QStringLiteral("--replace 與 --append 只能用在 export")};
  if (options.ignoreLock && options.command != Options::Command::Import)
    throw UsageError{QStringLiteral("--ignore-lock 只能用在 import")};
  if (options.includeUncertain && options.command != Options::Command::Undo)
    throw UsageError{QStringLiteral("--include-uncertain 只能用在 undo")};
  if (!options.changes.isEmpty() &&
      !(options.dryRun && options.command == Options::Command::Import))
    throw UsageError{QStringLiteral("--changes 要與 import --dry-run 一起使用")};
  if (options.tables &&
      (options.command == Options::Command::Undo || options.command == Options::Command::Journals))
    throw UsageError{QStringLiteral("--tables 不能用在這個指令")};
  if (options.format &&
      (options.command == Options::Command::Undo || options.command == Options::Command::Journals))
    throw UsageError{QStringLiteral("--format 不能用在這個指令")};
  return options;
}

int runBatch(const QStringList& arguments, std::FILE* out, std::FILE* err, bool live) {
  Options options;
  std::unique_ptr<BatchPreview> preview;
  try {
    options = parseArguments(arguments);
    if (!options.folder.isEmpty() && !QFileInfo(options.folder).isDir())
      throw UsageError{QStringLiteral("找不到資料夾「%1」").arg(options.folder)};
    if (options.command == Options::Command::Import && options.dryRun)
      preview = std::make_unique<BatchPreview>(options);
  } catch (const UsageError& e) {
    // A system's own words (why a file cannot be written) indented under the line.
    const platform::SplitText split = platform::splitDetails(e.message);
    QString text = split.text;
    if (!split.details.isEmpty())
      for (const QString& line : split.details.split(QLatin1Char('\n')))
        text += QStringLiteral("\n    ") + line;
    write(err, QStringLiteral("dataconv-batch：%1\n請執行「dataconv-batch --help」查看用法。\n")
                   .arg(text));
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
