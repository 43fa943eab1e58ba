// Walks every Item row of a demo POS by key, the way an import does: locate, edit,
// set two columns from text, post. The database is made first (not timed) with the
// demo generator; SQLite runs in WAL mode with synchronous=OFF so that the figures measure the
// data access layer rather than the disk's flushes.
#include "DemoPos.h"

#include <posdb/DmMdf.h>

#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>

namespace {

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qint64 items = 100000;
  quint64 seed = 1;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--items")
      items = args[i + 1].toLongLong();
    else if (args[i] == "--seed")
      seed = args[i + 1].toULongLong();
  }
  QTemporaryDir dir;
  demopos::Options o;
  o.path = dir.filePath("bench.sqlite");
  o.items = items;
  o.seed = seed;
  o.today = QDate(2026, 1, 1);
  QElapsedTimer timer;
  timer.start();
  demopos::generate(o);
  std::printf("generated %lld items in %.1f s\n", items, double(timer.elapsed()) / 1000);

  posdb::TDmMSSQL dm;
  const QString text = "Provider=SQLite;Data Source=" + o.path;
  timer.restart();
  dm.startWith(text);
  const double openSeconds = double(timer.elapsed()) / 1000;
  dm.cnKAROS.select("PRAGMA journal_mode=WAL");
  dm.cnKAROS.execute("PRAGMA synchronous=OFF");
  db::Dataset& item = dm.qryItem;

  std::vector<QString> keys;
  keys.reserve(size_t(item.recordCount()));
  for (item.first(); !item.eof(); item.next())
    keys.push_back(item.fieldByName("ItemNo").asString());
  std::mt19937_64 shuffle(seed);
  std::shuffle(keys.begin(), keys.end(), shuffle);

  db::Field& stock = item.fieldByName("StkQty");
  db::Field& name = item.fieldByName("PtName");
  timer.restart();
  qint64 n = 0;
  for (const QString& key : keys) {
    if (!item.locate("ItemNo", key)) {
      std::fprintf(stderr, "item %s not found\n", qPrintable(key));
      return 1;
    }
    item.edit();
    stock.setAsString(QString::number(n % 1000));
    name.setAsString(name.asString() + QStringLiteral("改"));
    item.post();
    ++n;
  }
  const double seconds = double(timer.elapsed()) / 1000;
  std::printf("open (start: four queries, sorted): %.2f s\n", openSeconds);
  std::printf("locate+edit+post: %lld rows in %.2f s = %.0f rows/s\n", n, seconds,
              double(n) / seconds);
  std::printf("peak memory: %.0f MB\n", peakMegabytes());
  return 0;
}
