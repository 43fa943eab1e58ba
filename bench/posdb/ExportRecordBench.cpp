// What keeping the export's record costs: the four tables of a demo POS of N items
// written as an export writes them for an edits-only import, and read back as such an
// import reads them. The POS is made and opened first (not timed).
#include "DemoPos.h"

#include <platform/ProgramFolder.h>
#include <posdb/DmMdf.h>
#include <posdb/ExportRecord.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qint64 items = 100000;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2)
    if (args[i] == "--items") items = args[i + 1].toLongLong();
  QTemporaryDir dir;
  platform::setProgramFolderForTesting(dir.path());
  demopos::Options o;
  o.path = dir.filePath("bench.sqlite");
  o.items = items;
  o.today = QDate(2026, 1, 1);
  demopos::generate(o);
  posdb::TDmMSSQL dm;
  dm.startWith("Provider=SQLite;Data Source=" + o.path);

  double written = 0, read = 0;
  qint64 bytes = 0, rows = 0;
  for (const QString table : {"Classify", "Item", "Supplier", "Customer"}) {
    QElapsedTimer timer;
    timer.start();
    posdb::ExportRecord::write(table, *dm.queryOf(table), posdb::TDmMSSQL::keyOf(table));
    written += double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    const auto record = posdb::ExportRecord::read(table);
    read += double(timer.nsecsElapsed()) / 1e9;
    if (!record) {
      std::fprintf(stderr, "the record of %s did not read back\n", qPrintable(table));
      return 1;
    }
    bytes += QFileInfo(posdb::ExportRecord::path(table)).size();
    rows += dm.queryOf(table)->recordCount();
  }
  std::printf("export record of %lld rows: written in %.2f s, read in %.2f s, %.1f MB\n", rows,
              written, read, double(bytes) / 1e6);
  return 0;
}
