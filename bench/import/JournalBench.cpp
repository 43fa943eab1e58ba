// The journal's own cost per entry, apart from any import: N appended Item rows of 45
// columns (a third of them NULL, the rest texts, numbers and dates as a POS holds them),
// then N updates of three columns, written as an import writes them, then the end of
// the run. bench_journal [--rows N]
#include <journal/JournalFile.h>
#include <journal/RowChange.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

using journal::JournalFile;
using journal::RowChange;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int rows = 50000;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2)
    if (args[i] == "--rows") rows = args[i + 1].toInt();
  QTemporaryDir dir;
  journal::JournalRun run;
  run.kind = "import";
  run.started = QDateTime::currentDateTime();
  const auto journal = journal::JournalFile::create(dir.filePath("bench.sqlite"), run);

  journal::RowChange append{"Item", "ItemNo", QString(), journal::RowChange::Action::Append, {}};
  const db::FieldType types[] = {db::ftString, db::ftFloat, db::ftInteger, db::ftDateTime};
  for (int i = 0; i < 45; ++i) {
    const db::FieldType type = types[i % 4];
    QVariant value;
    if (i % 3) {
      switch (type) {
        case db::ftFloat:
          value = 12.5 * i;
          break;
        case db::ftInteger:
          value = qint64(i);
          break;
        case db::ftDateTime:
          value = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
          break;
        default:
          value = QStringLiteral("維他命Ｃ發泡錠 %1").arg(i);
      }
    }
    append.cells.push_back({QStringLiteral("Column%1").arg(i), type, QVariant(), value});
  }
  journal::RowChange update{"Item", "ItemNo", QString(), journal::RowChange::Action::Update, {}};
  update.cells.push_back({"PtName", db::ftString, QStringLiteral("舊名"), QStringLiteral("新名")});
  update.cells.push_back({"Price", db::ftFloat, 100.0, 120.5});
  update.cells.push_back({"StkQty", db::ftInteger, qint64(3), qint64(7)});

  QElapsedTimer t;
  t.start();
  for (int i = 0; i < rows; ++i) {
    append.key = QString::number(10000000 + i);
    journal->add(append);
  }
  const double appends = double(t.nsecsElapsed()) / 1e3 / rows;
  t.restart();
  for (int i = 0; i < rows; ++i) {
    update.key = QString::number(10000000 + i);
    journal->add(update);
  }
  const double updates = double(t.nsecsElapsed()) / 1e3 / rows;
  t.restart();
  journal->finish(true);
  const double finish = double(t.nsecsElapsed()) / 1e9;
  std::printf("%d appends of 45 columns: %.2f us each\n", rows, appends);
  std::printf("%d updates of 3 columns: %.2f us each\n", rows, updates);
  std::printf("end of the run: %.3f s; file %.1f MB\n", finish,
              double(QFileInfo(dir.filePath("bench.sqlite")).size()) / 1e6);
  return 0;
}
