// Exports the four tables of a demo POS the way an operator does: the program starts
// on a program folder of its own, "啟動資料庫" opens the POS (SQLite), "匯出檔案" writes
// Classify, Item, Supplier and Customer into their Access files. Only the export is
// timed. Memory: the resident size once the POS is open (the datasets hold every row)
// against the peak after the export. Floors: `cp` of Item.mdb and `mdb-export` reading
// it back.
//
//   bench_export [--items N] [--runs R] [--format mdb|xlsx] [--only TABLE] [--keep DIR]
//
// --format xlsx writes workbooks instead (FileType=xlsx); --only exports that one table
// and counts its rows alone.
#include "DemoPos.h"

#include <app/DialogRunner.h>
#include <app/Main.h>
#include <app/Program.h>
#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>

#include <sys/resource.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QDialog>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Processor seconds used by this process so far: in the program itself, and in the
// kernel on its behalf (file writes into the page cache, page faults).
struct Cpu {
  double user = 0, system = 0;
};
Cpu cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return {s(usage.ru_utime), s(usage.ru_stime)};
}

double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Seconds a command takes, its output thrown away; negative when it fails.
double timed(const QString& program, const QStringList& args) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  QElapsedTimer t;
  t.start();
  p.start(program, args);
  if (!p.waitForFinished(-1) || p.exitCode() != 0) return -1;
  return double(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qint64 items = 100000;
  quint64 seed = 1;
  QString keep;  // a new folder that keeps the program folder, for checking the files
  // A fifo of `perf record --control fifo:FIFO -D -1`: the profile covers the export only.
  QString perfControl;
  // Exports of the same open POS, each into fresh Access files: the machine's speed
  // drifts over seconds, so the median of a few says more than one.
  int runs = 1;
  QString extension = ".mdb";  // --format mdb|xlsx: Access files or workbooks
  QString only;                // --only Item: that table exported alone
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--items")
      items = args[i + 1].toLongLong();
    else if (args[i] == "--seed")
      seed = args[i + 1].toULongLong();
    else if (args[i] == "--keep")
      keep = args[i + 1];
    else if (args[i] == "--perf-control")
      perfControl = args[i + 1];
    else if (args[i] == "--runs")
      runs = std::max(1, args[i + 1].toInt());
    else if (args[i] == "--only")
      only = args[i + 1];
    else if (args[i] == "--format")
      extension = args[i + 1] == "xlsx" ? ".xlsx" : ".mdb";
  }
  const bool workbooks = extension == ".xlsx";
  QTemporaryDir dir;
  if (!keep.isEmpty() && (QFileInfo::exists(keep) || !QDir().mkpath(keep))) {
    std::fprintf(stderr, "--keep: %s exists or cannot be made\n", qPrintable(keep));
    return 2;
  }
  const QString folder = (keep.isEmpty() ? dir.path() : QDir(keep).absolutePath()) + u'/';
  platform::setProgramFolderForTesting(folder);
  demopos::Options o;
  o.path = folder + "pos.sqlite";
  o.items = items;
  o.seed = seed;
  o.today = QDate(2026, 1, 1);
  QElapsedTimer timer;
  timer.start();
  const demopos::Counts n = demopos::generate(o);
  std::printf("generated %lld items in %.1f s\n", items, double(timer.elapsed()) / 1000);
  {
    QFile config(folder + "Config.ini");
    config.open(QIODevice::WriteOnly);
    config.write("[MSSQL]\r\nProvider=SQLite\r\nDatabase=pos.sqlite\r\n[Export Import]\r\n");
    for (const char* table : {"Classify", "Item", "Supplier", "Customer"})
      config.write(QByteArray(table) + (only.isEmpty() || only == table ? "=1\r\n" : "=0\r\n"));
    if (workbooks) config.write("FileType=xlsx\r\n");
  }

  app::Program program;
  // The report that follows the export is closed at once: the run measures the export.
  app::setDialogRunnerForTesting([](QDialog&) { return int(QDialog::Accepted); });
  app::TfrmMain& window = program.frmMain();
  window.show();
  auto click = [&](const char* name) {
    window.findChild<QAbstractButton*>(QLatin1String(name))->click();
  };
  timer.restart();
  click("bbtnStartSQL");
  const double openSeconds = double(timer.elapsed()) / 1000;
  if (program.DmMSSQL().qryItem.recordCount() != items) {
    std::fprintf(stderr, "the POS did not open\n");
    return 1;
  }
  const double openMegabytes = residentMegabytes();

  auto tellPerf = [&](const char* command) {
    if (perfControl.isEmpty()) return;
    QFile fifo(perfControl);
    if (fifo.open(QIODevice::WriteOnly)) fifo.write(command);
  };
  const qint64 rows = only == "Classify"   ? n.classify
                      : only == "Item"     ? n.item
                      : only == "Supplier" ? n.supplier
                      : only == "Customer" ? n.customer
                                           : n.classify + n.item + n.supplier + n.customer;
  const QString itemFile = folder + (only.isEmpty() ? QString("Item") : only) + extension;
  struct Run {
    double seconds, user, system;
  };
  std::vector<Run> done;
  std::printf("open (start: four queries, sorted): %.2f s\n", openSeconds);
  for (int run = 0; run < runs; ++run) {
    for (const char* table : {"Classify", "Item", "Supplier", "Customer"})
      QFile::remove(folder + table + extension);
    tellPerf("enable\n");
    timer.restart();
    const Cpu cpuBefore = cpuSeconds();
    click("bbtnExport");
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const Cpu cpuAfter = cpuSeconds();
    tellPerf("disable\n");
    if (!QFile::exists(itemFile)) {
      std::fprintf(stderr, "the export failed\n");
      return 1;
    }
    done.push_back({seconds, cpuAfter.user - cpuBefore.user, cpuAfter.system - cpuBefore.system});
    if (runs > 1)
      std::printf("  run %d: %.2f s (user %.2f s, system %.2f s)\n", run + 1, seconds,
                  done.back().user, done.back().system);
  }
  std::vector<Run> sorted = done;
  std::sort(sorted.begin(), sorted.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  const Run& median = sorted[sorted.size() / 2];
  const double cpu = median.user + median.system;
  std::printf(
      "export: %lld rows (%lld items) in %.2f s = %.0f rows/s (processor %.2f s = %.0f rows/s; "
      "user %.2f s, system %.2f s)%s\n",
      rows, items, median.seconds, double(rows) / median.seconds, cpu, double(rows) / cpu,
      median.user, median.system, runs > 1 ? ", the median run" : "");
  if (runs > 1)
    std::printf("best run: %.2f s = %.0f rows/s\n", sorted.front().seconds,
                double(rows) / sorted.front().seconds);
  std::printf("memory: %.0f MB resident with the POS open, peak %.0f MB (+%.0f MB)\n",
              openMegabytes, peakMegabytes(), peakMegabytes() - openMegabytes);
  for (const char* table : {"Classify", "Item", "Supplier", "Customer"})
    std::printf("%s%s: %.1f MB\n", table, qPrintable(extension),
                double(QFileInfo(folder + table + extension).size()) / (1024.0 * 1024.0));
  const QString checked = QFileInfo(itemFile).completeBaseName();
  std::printf("cp %s: %.2f s\n", qPrintable(QFileInfo(itemFile).fileName()),
              timed("cp", {itemFile, folder + "copy" + extension}));
  if (!workbooks)
    std::printf("mdb-export %s: %.2f s\n", qPrintable(checked),
                timed("mdb-export", {itemFile, checked}));
  return 0;
}
