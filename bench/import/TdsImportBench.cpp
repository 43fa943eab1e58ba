// The Item import over a server speaking SQL Server's protocol, against plain clients
// sending the same rows, in rows/s:
//   prices   N existing items get a new price (each row's UPDATE checks the price read)
//     import, single rows   the import posting every row on its own
//     import, batched       the import as it runs, rows sent in batches
//     plain, single rows    a prepared "UPDATE .. SET Price = ? WHERE ItemNo = ? AND
//                           Price = ?" a row
//     plain, set-based      the rows into a temporary table in 600-row VALUES
//                           statements, then one UPDATE .. FROM joined to it
//   appends  M new items (number, name, price)
//     the same four: the import either way, a prepared INSERT a row, and 600-row
//     INSERT .. VALUES statements.
// The import runs with its journal, from a source already in memory (the reading of
// the Access file is measured elsewhere). The cases that send a round trip a row take
// --single-rows rows only (all by default): over a slow link their rate is measured on
// a sample. Each line: "<case> <rows> rows in <s> s, <rows/s> rows/s".
#include <db/Command.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <db/ResultSet.h>
#include <import/ImportJournal.h>
#include <import/TableImport.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/Progress.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

constexpr int kPlainBatch = 600;

QString itemNo(int kind, int i) {
  return QStringLiteral("%1%2").arg(kind).arg(i, 7, 10, QLatin1Char('0'));
}

void report(const char* what, int rows, qint64 ns) {
  const double s = double(ns) / 1e9;
  std::printf("%-28s %7d rows in %8.2f s, %8.0f rows/s\n", what, rows, s, s > 0 ? rows / s : 0.0);
  std::fflush(stdout);
}

void dropTable(db::Connection& c, const QString& table) {
  try {
    c.execute(QStringLiteral("DROP TABLE %1").arg(table));
  } catch (const platform::Error&) {
  }
}

// N items 1..N with price 10 + i % 90.
void fill(db::Connection& c, const QString& table, int rows) {
  dropTable(c, table);
  c.execute(QStringLiteral("CREATE TABLE %1 (ItemNo varchar(13) NOT NULL PRIMARY KEY, "
                           "PtName varchar(40), Price float)")
                .arg(table));
  for (int from = 0; from < rows; from += 500) {
    QStringList values;
    for (int i = from; i < std::min(rows, from + 500); ++i)
      values << QStringLiteral("('%1', 'item %2', %3)").arg(itemNo(2, i)).arg(i).arg(10 + i % 90);
    c.execute(QStringLiteral("INSERT INTO %1 VALUES %2").arg(table, values.join(u',')));
  }
}

// The rows the operator brings back, as the import reads them: key, name, price.
db::ResultSet sourceRows(int kind, int first, int rows, double priceAdded) {
  db::ResultSet rs;
  rs.columns.resize(3);
  rs.columns[0].name = "K";
  rs.columns[0].type = db::ftString;
  rs.columns[0].size = 13;
  rs.columns[1].name = "N";
  rs.columns[1].type = db::ftString;
  rs.columns[1].size = 40;
  rs.columns[2].name = "P";
  rs.columns[2].type = db::ftFloat;
  for (int i = first; i < first + rows; ++i) {
    rs.cells.push_back(itemNo(kind, i));
    rs.cells.push_back(QStringLiteral("item %1").arg(i));
    rs.cells.push_back(double(10 + i % 90) + priceAdded);
  }
  return rs;
}

void runImport(db::Connection& c, const QString& table, db::ResultSet rows, int batchRows,
               const char* what) {
  db::Dataset source("qryAccess");
  source.open(std::move(rows));
  db::Dataset target("qryItem");
  target.setConnection(&c);
  target.setSql(QStringLiteral("SELECT * FROM %1").arg(table));
  target.setKeyFields({"ItemNo"});
  target.open();
  config::ColumnMap map;
  map.setKey("ItemNo", "K");
  map.addPair("PtName", "N");
  map.addPair("Price", "P");
  dataimport::ItemRules rules;
  rules.price = true;
  dataimport::TableImport import(dataimport::PosTable::Item, source, target);
  import.setColumnMap(map);
  import.setItemRules(rules);
  import.setEditsOnly(false);
  import.setBatchRows(batchRows);
  dataimport::ImportJournal journal("import", "bench");
  journal.beginTable("Item", "Item.mdb");
  import.setObserver(&journal);
  platform::NoProgress none;
  QElapsedTimer t;
  t.start();
  import.run(none);
  journal.finish(true);
  report(what, source.recordCount(), t.nsecsElapsed());
}

void plainPrices(db::Connection& c, const QString& table, int rows, double from, double to) {
  db::Command st;
  st.setConnection(&c);
  st.setCommandText(
      QStringLiteral("UPDATE %1 SET Price = :P WHERE ItemNo = :K AND Price = :O").arg(table));
  st.setParamType(0, db::ftFloat);
  st.setParamType(2, db::ftFloat);
  st.prepare();
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < rows; ++i) {
    st.setParamValue(0, double(10 + i % 90) + to, db::ftFloat);
    st.setParamText(1, itemNo(2, i));
    st.setParamValue(2, double(10 + i % 90) + from, db::ftFloat);
    if (st.execute() != 1) throw platform::Error("a row was not updated");
  }
  report("prices: plain, single rows", rows, t.nsecsElapsed());
}

void setPrices(db::Connection& c, const QString& table, int rows, double from, double to) {
  QElapsedTimer t;
  t.start();
  c.execute("CREATE TABLE #p (ItemNo varchar(13) NOT NULL PRIMARY KEY, Price float, Old float)");
  for (int first = 0; first < rows; first += kPlainBatch) {
    QStringList values;
    for (int i = first; i < std::min(rows, first + kPlainBatch); ++i)
      values << QStringLiteral("('%1', %2, %3)")
                    .arg(itemNo(2, i))
                    .arg(double(10 + i % 90) + to)
                    .arg(double(10 + i % 90) + from);
    c.execute("INSERT INTO #p VALUES " + values.join(u','));
  }
  const qint64 n = c.execute(QStringLiteral("UPDATE t SET Price = p.Price FROM %1 AS t JOIN #p "
                                            "AS p ON t.ItemNo = p.ItemNo WHERE t.Price = p.Old")
                                 .arg(table));
  c.execute("DROP TABLE #p");
  if (n != rows) throw platform::Error("not every row was updated");
  report("prices: plain, set-based", rows, t.nsecsElapsed());
}

void plainAppends(db::Connection& c, const QString& table, int kind, int rows) {
  db::Command st;
  st.setConnection(&c);
  st.setCommandText(
      QStringLiteral("INSERT INTO %1 (ItemNo, PtName, Price) VALUES (:K, :N, :P)").arg(table));
  st.setParamType(2, db::ftFloat);
  st.prepare();
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < rows; ++i) {
    st.setParamText(0, itemNo(kind, i));
    st.setParamText(1, QStringLiteral("item %1").arg(i));
    st.setParamValue(2, double(10 + i % 90), db::ftFloat);
    if (st.execute() != 1) throw platform::Error("a row was not inserted");
  }
  report("appends: plain, single rows", rows, t.nsecsElapsed());
}

void setAppends(db::Connection& c, const QString& table, int kind, int rows) {
  QElapsedTimer t;
  t.start();
  for (int first = 0; first < rows; first += kPlainBatch) {
    QStringList values;
    const int last = std::min(rows, first + kPlainBatch);
    for (int i = first; i < last; ++i)
      values
          << QStringLiteral("('%1', 'item %2', %3)").arg(itemNo(kind, i)).arg(i).arg(10 + i % 90);
    if (c.execute(QStringLiteral("INSERT INTO %1 (ItemNo, PtName, Price) VALUES %2")
                      .arg(table, values.join(u','))) != last - first)
      throw platform::Error("not every row was inserted");
  }
  report("appends: plain, set-based", rows, t.nsecsElapsed());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int prices = 100000, appends = 50000, single = -1, batch = dataimport::TableImport::kBatchRows;
  QString dsn = qEnvironmentVariable("DATACONV_TEST_TDS_DSN");
  QStringList only;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--prices")
      prices = args[i + 1].toInt();
    else if (args[i] == "--appends")
      appends = args[i + 1].toInt();
    else if (args[i] == "--single-rows")
      single = args[i + 1].toInt();
    else if (args[i] == "--batch")
      batch = args[i + 1].toInt();
    else if (args[i] == "--dsn")
      dsn = args[i + 1];
    else if (args[i] == "--only")
      only = args[i + 1].split(u',');
  }
  if (dsn.isEmpty() || prices < 0 || appends < 0) {
    std::fprintf(stderr,
                 "usage: bench_tds_import [--prices N] [--appends M] [--single-rows S] "
                 "[--batch ROWS] [--only today,batched,plain,set] [--dsn ODBC-TEXT]\n");
    return 2;
  }
  auto wanted = [&](const char* what) { return only.isEmpty() || only.contains(what); };
  const int singlePrices = single < 0 ? prices : std::min(single, prices);
  const int singleAppends = single < 0 ? appends : std::min(single, appends);
  QTemporaryDir dir;
  platform::setProgramFolder(dir.path());  // the journals go to dir/journal
  try {
    db::Connection c;
    c.setConnectionString(dsn);
    c.setCommandTimeout(0);
    c.open();
    const QString table = QStringLiteral("BenchImportItem");
    if (prices > 0) {
      fill(c, table, prices);
      // Each case moves the prices one further on.
      double at = 0;
      if (wanted("today")) {
        runImport(c, table, sourceRows(2, 0, singlePrices, at + 1), 1,
                  "prices: import, single rows");
        if (singlePrices < prices)
          fill(c, table, prices);  // back to one price for all
        else
          at += 1;
      }
      if (wanted("batched")) {
        runImport(c, table, sourceRows(2, 0, prices, at + 1), batch, "prices: import, batched");
        at += 1;
      }
      if (wanted("plain")) {
        plainPrices(c, table, singlePrices, at, at + 1);
        if (singlePrices < prices)
          fill(c, table, prices), at = 0;
        else
          at += 1;
      }
      if (wanted("set")) setPrices(c, table, prices, at, at + 1);
    }
    if (appends > 0) {
      fill(c, table, 0);
      if (wanted("today"))
        runImport(c, table, sourceRows(3, 0, singleAppends, 0), 1, "appends: import, single rows");
      if (wanted("batched"))
        runImport(c, table, sourceRows(4, 0, appends, 0), batch, "appends: import, batched");
      if (wanted("plain")) plainAppends(c, table, 5, singleAppends);
      if (wanted("set")) setAppends(c, table, 6, appends);
    }
    dropTable(c, table);
  } catch (const platform::Error& e) {
    std::fprintf(stderr, "%s\n", qPrintable(e.message()));
    return 1;
  }
  return 0;
}
