// The export engine's own cost per row: a dataset of --rows rows (default 100,000) and
// 45 columns shaped like the Item table (texts, whole numbers, floats, dates, flags, a
// few nulls) is run through a target that asks every cell's text, as the Access target
// does, and throws it away. The dataset is made in memory first (not timed). A second
// run asks for formatted text, as text targets do.
#include <exportengine/Exporter.h>

#include <db/Dataset.h>
#include <db/ResultSet.h>
#include <db/ValueText.h>

#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// CPU seconds of this process: the figure that holds on a busy machine.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Reads every cell of every row and keeps only a checksum.
class DiscardingTarget : public exportengine::TExporter {
 public:
  bool formatted = false;
  qint64 characters = 0;
  bool Offers(exportengine::TExportSetting setting) const override {
    return setting == exportengine::TExportSetting::Formats || TExporter::Offers(setting);
  }
  void EmitRow() override {
    exportengine::TExportRow& row = Row();
    for (int i = 0; i < row.Count(); ++i) characters += row[i].GetExportText(formatted).size();
  }
};

std::unique_ptr<db::Dataset> makeItems(int rows) {
  auto dataset = std::make_unique<db::Dataset>(QStringLiteral("qryItem"));
  db::ResultSet result;
  std::vector<db::FieldType> types;
  for (int c = 0; c < 45; ++c) {
    db::FieldDef d;
    d.name = QStringLiteral("F%1").arg(c);
    if (c < 25) {
      d.type = db::ftString;
      d.size = 40;
    } else if (c < 35) {
      d.type = db::ftInteger;
    } else if (c < 40) {
      d.type = db::ftFloat;
    } else if (c < 43) {
      d.type = db::ftDateTime;
    } else {
      d.type = db::ftBoolean;
    }
    types.push_back(d.type);
    dataset->addField(d);
    result.columns.push_back(db::ColumnInfo{d.name, d.type, d.size, false});
  }
  // A pool of texts, shared between rows as a driver's strings are not: the benchmark
  // measures the engine, not the allocator's fill of the dataset.
  std::vector<QVariant> texts;
  for (int i = 0; i < 997; ++i) texts.emplace_back(QStringLiteral(" 商品名稱 %1 ").arg(i * 7919));
  const QDate day(2024, 1, 1);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 45; ++c) {
      const db::FieldType t = types[size_t(c)];
      if ((r + c) % 50 == 0) {
        result.cells.emplace_back();
      } else if (t == db::ftString) {
        result.cells.push_back(texts[size_t((r * 31 + c) % 997)]);
      } else if (t == db::ftInteger) {
        result.cells.emplace_back(qint64(r * 13 + c));
      } else if (t == db::ftFloat) {
        result.cells.emplace_back(double(r) * 1.25 + c);
      } else if (t == db::ftDateTime) {
        result.cells.emplace_back(db::ValueText::naive(day.addDays(r % 3000), QTime(r % 24, c)));
      } else {
        result.cells.emplace_back(r % 2 == 0);
      }
    }
  }
  dataset->open(std::move(result));
  return dataset;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int rows = 100000;
  bool plainOnly = false;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--rows" && i + 1 < args.size())
      rows = args[++i].toInt();
    else if (args[i] == "--plain")
      plainOnly = true;
  }

  QElapsedTimer timer;
  timer.start();
  const std::unique_ptr<db::Dataset> items = makeItems(rows);
  std::printf("made %d rows x 45 columns in %.2f s\n", rows, double(timer.elapsed()) / 1000);

  DiscardingTarget target;
  target.SetDataSet(items.get());
  for (bool formatted : {false, true}) {
    if (formatted && plainOnly) break;
    target.formatted = formatted;
    target.characters = 0;
    timer.restart();
    const double cpuBefore = cpuSeconds();
    target.RunExport();
    const double cpu = cpuSeconds() - cpuBefore;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf(
        "%-9s text: %.3f s CPU (%.3f s elapsed), %.0f rows/s, %.0f cells/s per CPU second"
        " (%lld characters)\n",
        formatted ? "formatted" : "plain", cpu, seconds, rows / cpu, rows * 45.0 / cpu,
        target.characters);
  }
  std::printf("peak memory %.0f MB\n", peakMegabytes());
  return 0;
}
