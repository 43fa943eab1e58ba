// The Item import at scale. A demo POS with N/2 items is made (not timed), and an Access
// Item table of N rows beside it: every existing item with a changed name, price and
// stock, and as many new items. The import then runs as "匯入檔案" runs it, in the
// progress window (offscreen), with every guarded column switched on. The floor is the
// same N single-row UPDATE and INSERT statements, prepared once, run by SQLite's C API
// in autocommit on a copy of the same database. Both use WAL with synchronous=OFF, so
// the figures measure the program rather than the disk's flushes. Imports alternate with
// and without the journal, each on a fresh copy of the POS, so that the journal's cost
// is measured in the same run. With --format xlsx the same rows go to Item.xlsx, written
// by the export's workbook writer with typed cells under the same headings, and are read
// back through the workbook driver the import opens.
#include "DemoPos.h"

#include <config/ColumnMap.h>
#include <db/Command.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ValueText.h>
#include <export/SheetExport.h>
#include <import/DmMdb.h>
#include <import/ImportJournal.h>
#include <import/ImportMdb.h>
#include <import/TableImport.h>
#include <jet/DatabaseWriter.h>
#include <platform/ProgramFolder.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>
#include <xlsx/XlsxWriter.h>

#include <sqlite3.h>
#include <sys/resource.h>
#include <time.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

// As the program's widget services: repaint between rows.
class BenchUi : public platform::UiServices {
 public:
  void messageBox(const QString& text, const QString&, Icon) override {
    std::fprintf(stderr, "%s\n", qPrintable(text));
  }
  void showInformation(const QString&) override {}
  void setBusyCursor(bool) override {}
  void processEvents() override {
    QElapsedTimer t;
    t.start();
    QCoreApplication::processEvents();
    nanos += t.nsecsElapsed();
  }
  qint64 nanos = 0;
};

struct SourceRows {
  QStringList columns;            // Access names, in the map's order
  QStringList fields;             // POS names
  std::vector<QStringList> rows;  // texts, empty for NULL
  std::vector<bool> existing;
};

int widthOf(const db::Dataset& item, int width) {
  return width > 0 ? std::min(width, item.fieldCount()) : item.fieldCount();
}

// The first `width` fields of the query (all of them when 0). With `sheet`, each row
// also goes there as the export writes it: typed values, NULL left out.
SourceRows makeRows(db::Dataset& item, qint64 wanted, int width, xlsx::SheetWriter* sheet) {
  SourceRows s;
  const int count = widthOf(item, width);
  for (int i = 0; i < count; ++i) {
    s.columns << item.field(i).displayLabel();
    s.fields << item.field(i).fieldName();
  }
  const int key = s.fields.indexOf("ItemNo"), name = s.fields.indexOf("PtName"),
            price = s.fields.indexOf("Price"), stock = s.fields.indexOf("StkQty");
  std::vector<QVariant> typed(static_cast<size_t>(count));
  qint64 n = 0;
  for (item.first(); !item.eof() && n < wanted; item.next(), ++n) {
    QStringList row;
    for (int i = 0; i < count; ++i) row << item.field(i).asString();
    if (sheet)
      for (int i = 0; i < count; ++i) {
        const QVariant v = item.field(i).value();
        typed[size_t(i)] = db::isNullValue(v) ? QVariant() : v;
      }
    QStringList changed = row;
    if (name >= 0) changed[name] = row[name].left(10) + QStringLiteral("改");
    if (price >= 0) changed[price] = QString::number(n % 997 + 0.5);
    if (stock >= 0) changed[stock] = QString::number(n % 1000);
    s.rows.push_back(changed);
    s.existing.push_back(true);
    if (sheet) {
      std::vector<QVariant> edited = typed;
      if (name >= 0) edited[size_t(name)] = changed[name];
      if (price >= 0) edited[size_t(price)] = double(n % 997) + 0.5;
      if (stock >= 0) edited[size_t(stock)] = qint64(n % 1000);
      sheet->addRow(edited);
    }
    QStringList fresh = row;
    fresh[key] = QStringLiteral("N%1").arg(n, 7, 10, QLatin1Char('0'));
    s.rows.push_back(fresh);
    s.existing.push_back(false);
    if (sheet) {
      typed[size_t(key)] = fresh[key];
      sheet->addRow(typed);
    }
  }
  if (sheet) sheet->commit();
  return s;
}

void writeMdb(const QString& path, const SourceRows& s) {
  jet::DatabaseWriter::create(path.toStdString());
  const QString text = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
  QStringList defs, names, marks;
  for (int i = 0; i < s.columns.size(); ++i) {
    defs << "[" + s.columns[i] + "] char(60)";
    names << "[" + s.columns[i] + "]";
    marks << QString(":P%1").arg(i);
  }
  db::Command create;
  create.setConnectionString(text);
  create.setCommandText("create table Item (" + defs.join(',') + ")");
  create.execute();
  db::Command insert;
  insert.setConnectionString(text);
  insert.setCommandText("insert into Item(" + names.join(',') + ") values(" + marks.join(',') +
                        ")");
  for (const QStringList& row : s.rows) {
    for (int i = 0; i < row.size(); ++i)
      if (row[i].isEmpty())
        insert.setParamNull(i);
      else
        insert.setParamText(i, row[i]);
    insert.execute();
  }
}

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

// The floor: what the import asks of SQLite, without the program around it.
double runFloor(const QString& path, const SourceRows& s) {
  sqlite3* db = nullptr;
  check(sqlite3_open(QFile::encodeName(path).constData(), &db), db);
  check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF", nullptr, nullptr,
                     nullptr),
        db);
  QStringList stored = s.fields;
  stored.removeAll("FactName");
  QStringList sets, marks;
  for (const QString& f : stored) {
    if (f != "ItemNo") sets << f + " = ?";
    marks << "?";
  }
  // The import assigns every mapped column of a row, so it writes them all.
  const QByteArray update = ("UPDATE Item SET " + sets.join(", ") + " WHERE ItemNo = ?").toUtf8();
  const QByteArray insert =
      ("INSERT INTO Item (" + stored.join(", ") + ") VALUES (" + marks.join(", ") + ")").toUtf8();
  sqlite3_stmt* up = nullptr;
  sqlite3_stmt* in = nullptr;
  check(sqlite3_prepare_v2(db, update.constData(), -1, &up, nullptr), db);
  check(sqlite3_prepare_v2(db, insert.constData(), -1, &in, nullptr), db);
  std::vector<int> storedAt;
  for (const QString& f : stored) storedAt.push_back(int(s.fields.indexOf(f)));
  const int key = s.fields.indexOf("ItemNo");
  QElapsedTimer timer;
  timer.start();
  for (size_t r = 0; r < s.rows.size(); ++r) {
    const QStringList& row = s.rows[r];
    auto bind = [&](sqlite3_stmt* st, int at, const QString& v) {
      const QByteArray u = v.toUtf8();
      if (v.isEmpty())
        sqlite3_bind_null(st, at);
      else
        sqlite3_bind_text(st, at, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    };
    if (s.existing[r]) {
      int at = 1;
      for (size_t i = 0; i < storedAt.size(); ++i)
        if (storedAt[i] != key) bind(up, at++, row[storedAt[i]]);
      bind(up, at, row[key]);
      check(sqlite3_step(up), db);
      sqlite3_reset(up);
    } else {
      for (size_t i = 0; i < storedAt.size(); ++i) bind(in, int(i) + 1, row[storedAt[i]]);
      check(sqlite3_step(in), db);
      sqlite3_reset(in);
    }
  }
  const double seconds = double(timer.nsecsElapsed()) / 1e9;
  sqlite3_finalize(up);
  sqlite3_finalize(in);
  sqlite3_close(db);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The program's window runs beside threads of Qt's own (the X connection's reader,
  // D-Bus); offscreen starts none. A process with one thread only has cheaper memory
  // allocation (glibc skips its locks) and file calls (the kernel skips counting), and
  // would have them for the imports before the journal's thread first starts only. A
  // thread waiting for events, as those do, keeps every run in the program's state.
  QThread waiting;
  waiting.start();
  qint64 rows = 100000;
  quint64 seed = 1;
  int width = 0;
  int pairs = 2;
  // "plain" or "journal": one kind of run, for a profiler; "open": the source opened
  // --pairs times and no import.
  QString only;
  bool workbook = false;  // --format xlsx
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--rows")
      rows = args[i + 1].toLongLong();
    else if (args[i] == "--seed")
      seed = args[i + 1].toULongLong();
    else if (args[i] == "--columns")
      width = args[i + 1].toInt();
    else if (args[i] == "--pairs")
      pairs = std::max(1, args[i + 1].toInt());
    else if (args[i] == "--only")
      only = args[i + 1];
    else if (args[i] == "--format") {
      if (args[i + 1] != "mdb" && args[i + 1] != "xlsx") {
        std::fprintf(stderr, "--format is mdb or xlsx\n");
        return 2;
      }
      workbook = args[i + 1] == "xlsx";
    }
  }
  QTemporaryDir dir;
  platform::setProgramFolder(dir.path());  // the journals go to dir/journal
  demopos::Options o;
  o.path = dir.filePath("pos.sqlite");
  o.items = rows / 2;
  o.seed = seed;
  o.today = QDate(2026, 1, 1);
  QElapsedTimer timer;
  timer.start();
  demopos::generate(o);
  QFile::copy(o.path, dir.filePath("floor.sqlite"));

  posdb::TDmMSSQL dm;
  dm.startWith("Provider=SQLite;Data Source=" + o.path);
  dm.cnKAROS.select("PRAGMA journal_mode=WAL");
  dm.cnKAROS.execute("PRAGMA synchronous=OFF");
  const QString file = dir.filePath(workbook ? "Item.xlsx" : "Item.mdb");
  std::unique_ptr<xlsx::SheetWriter> sheet;
  if (workbook) {
    std::vector<xlsx::Column> columns = dataexport::sheetColumns(dm.qryItem);
    columns.resize(size_t(widthOf(dm.qryItem, width)));
    sheet = std::make_unique<xlsx::SheetWriter>(file, "Item", std::move(columns));
  }
  const SourceRows source = makeRows(dm.qryItem, rows / 2, width, sheet.get());
  sheet.reset();
  if (!workbook) writeMdb(file, source);
  config::ColumnMap map;
  map.setKey("ItemNo", dm.qryItem.fieldByName("ItemNo").displayLabel());
  for (int i = 0; i < source.fields.size(); ++i) map.addPair(source.fields[i], source.columns[i]);
  std::printf("prepared %lld rows in %.1f s: %s, %.1f MB\n", qint64(source.rows.size()),
              double(timer.elapsed()) / 1000, workbook ? "Item.xlsx" : "Item.mdb",
              double(QFile(file).size()) / 1e6);

  // As the import opens its source, through the same connection text.
  db::Connection access;
  access.setConnectionString(dataimport::TDmAccess::connectionString(file));
  db::Dataset qryAccess("qryAccess");
  qryAccess.setConnection(&access);
  qryAccess.setSql("SELECT * FROM Item");
  timer.restart();
  const double openCpuStart = cpuSeconds();
  qryAccess.open();
  const double openSeconds = double(timer.nsecsElapsed()) / 1e9;
  const double openCpu = cpuSeconds() - openCpuStart;
  if (only == "open") {
    std::vector<double> opens{openSeconds}, cpus{openCpu};
    for (int i = 1; i < pairs; ++i) {
      qryAccess.close();
      timer.restart();
      const double cpuStart = cpuSeconds();
      qryAccess.open();
      opens.push_back(double(timer.nsecsElapsed()) / 1e9);
      cpus.push_back(cpuSeconds() - cpuStart);
    }
    for (size_t i = 0; i < opens.size(); ++i)
      std::printf("open %s: %.2f s (CPU %.2f s)\n", workbook ? "workbook sheet" : "Access table",
                  opens[i], cpus[i]);
    waiting.quit();
    waiting.wait();
    return 0;
  }
  const double peakBefore = peakMegabytes();
  dm.stop();
  BenchUi ui;
  platform::UiServices::install(&ui);
  dataimport::ItemRules rules;
  rules.shelfNo = rules.avgCost = rules.uniPrice = rules.price = rules.memPrice = rules.vipPrice =
      rules.updateStkQty = true;
  // One import on a fresh copy of the POS, with or without the journal.
  int copies = 0;
  std::vector<double> plainCpu, journaledCpu;
  auto importOnce = [&](bool journaled) {
    const QString copy = dir.filePath(QStringLiteral("run%1.sqlite").arg(++copies));
    QFile::copy(o.path, copy);
    posdb::TDmMSSQL pos;
    pos.startWith("Provider=SQLite;Data Source=" + copy);
    pos.cnKAROS.select("PRAGMA journal_mode=WAL");
    pos.cnKAROS.execute("PRAGMA synchronous=OFF");
    dataimport::TableImport import(dataimport::PosTable::Item, qryAccess, pos.qryItem);
    import.setColumnMap(map);
    import.setItemRules(rules);
    import.setEditsOnly(false);
    std::unique_ptr<dataimport::ImportJournal> journal;
    if (journaled) {
      journal = std::make_unique<dataimport::ImportJournal>("import", "bench");
      journal->beginTable("Item", dir.filePath("Item.mdb"));
      import.setObserver(journal.get());
    }
    dataimport::TImportMdbBox window;
    window.setWork([&](platform::Progress& p) { import.run(p); });
    QElapsedTimer t;
    t.start();
    const double cpuStart = cpuSeconds();
    window.ImportItem();
    if (journal) journal->finish(true);
    const double seconds = double(t.nsecsElapsed()) / 1e9 - 0.2;  // less the timer's wait
    (journaled ? journaledCpu : plainCpu).push_back(cpuSeconds() - cpuStart);
    if (window.ModalResult() != dataimport::mrOk) std::exit(1);
    QFile::remove(copy);
    return seconds;
  };
  // Alternating, so that neither kind of run always meets the warmer machine.
  std::vector<double> plain, journaled;
  for (int pair = 0; pair < pairs; ++pair) {
    const double a = only == "journal" ? 0 : importOnce(false);
    const double b = only == "plain" ? 0 : importOnce(true);
    plain.push_back(a > 0 ? a : b);
    journaled.push_back(b > 0 ? b : a);
  }
  if (plainCpu.empty()) plainCpu = journaledCpu;
  if (journaledCpu.empty()) journaledCpu = plainCpu;
  platform::UiServices::install(nullptr);
  waiting.quit();
  waiting.wait();
  const double peakAfter = peakMegabytes();
  const double seconds = *std::min_element(plain.begin(), plain.end());
  const double withJournal = *std::min_element(journaled.begin(), journaled.end());
  const double floor = runFloor(dir.filePath("floor.sqlite"), source);
  const double n = double(source.rows.size());
  std::printf("open %s: %.2f s (CPU %.2f s)\n", workbook ? "workbook sheet" : "Access table",
              openSeconds, openCpu);
  for (int pair = 0; pair < pairs; ++pair) {
    const size_t i = size_t(pair);
    std::printf(
        "run %d: import %.2f s (CPU %.2f s), with the journal %.2f s (CPU %.2f s): +%.1f%% "
        "(CPU +%.1f%%)\n",
        pair + 1, plain[i], plainCpu[i], journaled[i], journaledCpu[i],
        100 * (journaled[i] / plain[i] - 1), 100 * (journaledCpu[i] / plainCpu[i] - 1));
  }
  std::printf("import: %.0f rows in %.2f s = %.0f rows/s (message processing %.2f s)\n", n, seconds,
              n / seconds, double(ui.nanos) / 1e9 / (2 * pairs));
  std::printf("with the journal: %.2f s = %.0f rows/s, journal cost %.1f%% (best runs)\n",
              withJournal, n / withJournal, 100 * (withJournal / seconds - 1));
  // Each pair's runs meet the machine in much the same state; the median pair is what
  // a drift of the machine's speed between runs moves least.
  auto medianRatio = [](const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> r;
    for (size_t i = 0; i < a.size(); ++i) r.push_back(b[i] / a[i]);
    std::sort(r.begin(), r.end());
    const size_t n = r.size();
    return 100 * ((n % 2 ? r[n / 2] : (r[n / 2 - 1] + r[n / 2]) / 2) - 1);
  };
  std::printf("journal cost, median of the %d pairs: %.1f%% (CPU %.1f%%)\n", pairs,
              medianRatio(plain, journaled), medianRatio(plainCpu, journaledCpu));
  const double cpu = *std::min_element(plainCpu.begin(), plainCpu.end());
  const double cpuJournal = *std::min_element(journaledCpu.begin(), journaledCpu.end());
  std::printf("CPU: import %.2f s, with the journal %.2f s, journal cost %.1f%% (best runs)\n", cpu,
              cpuJournal, 100 * (cpuJournal / cpu - 1));
  // What the operator waits for: the file read, then the rows written.
  std::printf("open + import (%s): %.2f s (CPU %.2f s)\n", workbook ? "xlsx" : "mdb",
              openSeconds + seconds, openCpu + cpu);
  std::printf("floor (SQLite C API, same statements): %.2f s = %.0f rows/s\n", floor, n / floor);
  std::printf("import / floor: %.2f\n", seconds / floor);
  std::printf(
      "peak memory: %.0f MB before the import (POS, Access rows, bench data), %.0f MB "
      "after it\n",
      peakBefore, peakAfter);
  return 0;
}
