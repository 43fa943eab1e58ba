// The window's import preview against the batch command's dry run, on the same files
// and POS. A demo POS of N items is exported to Item.mdb by the program's export, then
// every item's price is raised in the POS, so that the preview finds N changed cells.
// The dry run walks the rows as `dataconv-batch import --dry-run` does; the window's
// preview walks them the same way, keeps the changed cells and writes the changes file,
// and builds the preview window (offscreen). Peak memory is read before and after each,
// since the preview must not hold a second copy of the POS.
#include "DemoPos.h"

#include <app/PreviewWindow.h>
#include <config/Configs.h>
#include <export/ADO_AccessExporter.h>
#include <export/ExportDriver.h>
#include <import/DmMdb.h>
#include <import/ImportPreview.h>
#include <import/PreviewPlan.h>
#include <platform/ProgramFolder.h>
#include <platform/Progress.h>
#include <posdb/DmMdf.h>

#include <sys/resource.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

class Quiet : public dataimport::PreviewFrontEnd {
 public:
  dataimport::TableImport::Preview previewTable(const dataimport::ImportTable&,
                                                dataimport::TableImport& import,
                                                const dataimport::ChangeSink& sink) override {
    platform::NoProgress none;
    return import.preview(none, sink);
  }
  void tableUnreadable(const dataimport::ImportTable&, const QString& message) override {
    std::fprintf(stderr, "unreadable: %s\n", qPrintable(message));
  }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  qint64 items = 100000;
  int rounds = 3;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--rows") items = args[i + 1].toLongLong();
    if (args[i] == "--rounds") rounds = std::max(1, args[i + 1].toInt());
  }
  QTemporaryDir dir;
  platform::setProgramFolder(dir.path());
  QFile ini(dir.filePath("Config.ini"));
  ini.open(QIODevice::WriteOnly);
  ini.write(
      "[Export Import]\r\nClassify=0\r\nItem=1\r\nSupplier=0\r\nCustomer=0\r\nEditsOnly=0\r\n"
      "[Import Item]\r\nUpdate_Price=1\r\n");
  ini.close();
  config::createConfig();

  demopos::Options o;
  o.path = dir.filePath("pos.sqlite");
  o.items = items;
  o.today = QDate(2026, 1, 1);
  QElapsedTimer timer;
  timer.start();
  demopos::generate(o);
  posdb::TDmMSSQL pos;
  pos.startWith("Provider=SQLite;Data Source=" + o.path);
  dataexport::TADO_AccessExporter exporter;
  dataexport::ExportDriver(pos, exporter).Run();
  pos.cnKAROS.execute("UPDATE Item SET Price = COALESCE(Price, 0) + 1");
  pos.refresh("Item");
  std::printf("prepared %lld items in %.1f s, peak %.0f MB\n", items,
              double(timer.elapsed()) / 1000, peakMegabytes());

  dataimport::TDmAccess access;
  Quiet quiet;
  std::vector<double> dry, window;
  int changed = 0;
  double peakDry = 0, peakWindow = 0;
  for (int round = 0; round < rounds; ++round) {
    timer.restart();
    {
      dataimport::ImportPreview preview(access, pos, quiet);
      const auto tables = preview.run();
      changed = tables.empty() || !tables[0].counts ? -1 : tables[0].counts->changed;
    }
    dry.push_back(double(timer.nsecsElapsed()) / 1e9);
    peakDry = peakMegabytes();

    timer.restart();
    {
      dataimport::PreviewPlan plan;
      dataimport::ImportPreview preview(access, pos, quiet);
      plan.collect(preview);
      app::PreviewWindow shown(plan);
      shown.show();
      QCoreApplication::processEvents();
    }
    window.push_back(double(timer.nsecsElapsed()) / 1e9);
    peakWindow = peakMegabytes();
  }
  std::sort(dry.begin(), dry.end());
  std::sort(window.begin(), window.end());
  const double d = dry[dry.size() / 2], w = window[window.size() / 2];
  std::printf("changed rows: %d\n", changed);
  std::printf("dry run (batch):     %.2f s median of %d, peak %.0f MB\n", d, rounds, peakDry);
  std::printf("preview (window):    %.2f s median of %d, peak %.0f MB\n", w, rounds, peakWindow);
  std::printf("preview / dry run:   %.2f (target <= 2.00)\n", w / d);
  return 0;
}
