// The cost of the post's checks on a server speaking SQL Server's protocol: N items
// (ItemNo varchar(13) key, PtName varchar(40), Price float) get a new name through
//   - the plain single-row UPDATE checked with "=" (what the post sent before it
//     compared texts exactly),
//   - the same UPDATE with the exact check of the text the post now sends,
// and a new price (no text checked), then a new price and name, through the dataset's
// own post (the import's path).
// Each run works on a table of its own, filled alike, and reports rows/s. The server's
// ODBC text comes from --dsn or DATACONV_TEST_TDS_DSN.
#include <db/Command.h>
#include <db/Connection.h>
#include <db/Dataset.h>
#include <db/Field.h>
#include <db/ServerRules.h>

#include <platform/Error.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <memory>

namespace {

QString itemNo(int i) {
  return QStringLiteral("2%1").arg(i, 7, 10, QLatin1Char('0'));
}

void fill(db::Connection& c, const QString& table, int rows) {
  c.execute(QStringLiteral("CREATE TABLE %1 (ItemNo varchar(13) NOT NULL PRIMARY KEY, "
                           "PtName varchar(40), Price float)")
                .arg(table));
  for (int from = 0; from < rows; from += 500) {
    QStringList values;
    for (int i = from; i < std::min(rows, from + 500); ++i)
      values << QStringLiteral("('%1', 'item %2', %3)").arg(itemNo(i)).arg(i).arg(10 + i % 90);
    c.execute(QStringLiteral("INSERT INTO %1 VALUES %2").arg(table, values.join(u',')));
  }
}

void report(const char* what, int rows, qint64 ms) {
  std::printf("%-44s %7d rows in %7.2f s, %8.0f rows/s\n", what, rows, double(ms) / 1000,
              ms > 0 ? rows * 1000.0 / double(ms) : 0.0);
  std::fflush(stdout);
}

// --check SQL: another exact check to measure, "%1" the column, "?" the value read.
QString otherCheck;

void plainUpdates(db::Connection& c, int rows, bool exact) {
  const QString table = exact ? QStringLiteral("BenchExact") : QStringLiteral("BenchPlain");
  fill(c, table, rows);
  QString sql = QStringLiteral("UPDATE %1 SET PtName = :N WHERE ItemNo = :K AND ").arg(table);
  const QString check = otherCheck.isEmpty() ? c.rules().exactTextCheck("PtName", false)
                                             : otherCheck.arg(QStringLiteral("PtName"));
  sql += exact ? QString(check).replace(u'?', QStringLiteral(":R")) : QStringLiteral("PtName = :R");
  db::Command update;
  update.setConnection(&c);
  update.setCommandText(sql);
  update.prepare();
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < rows; ++i) {
    update.setParamText(0, QStringLiteral("item %1 新").arg(i));
    update.setParamText(1, itemNo(i));
    update.setParamText(2, QStringLiteral("item %1").arg(i));
    if (update.execute() != 1) throw platform::Error("a row was not updated");
  }
  report(exact ? "single-row UPDATE of a name, exact check" : "single-row UPDATE of a name, \"=\"",
         rows, timer.elapsed());
  c.execute(QStringLiteral("DROP TABLE %1").arg(table));
}

void datasetPosts(db::Connection& c, int rows, bool names) {
  const QString table = names ? QStringLiteral("BenchNames") : QStringLiteral("BenchPrices");
  fill(c, table, rows);
  db::Dataset ds("bench");
  ds.setConnection(&c);
  ds.setSql(QStringLiteral("select * from %1").arg(table));
  ds.setKeyFields({"ItemNo"});
  ds.open();
  db::Field& price = ds.fieldByName("Price");
  db::Field& name = ds.fieldByName("PtName");
  QElapsedTimer timer;
  timer.start();
  int n = 0;
  for (ds.first(); !ds.eof(); ds.next()) {
    ds.edit();
    price.setValue(price.value().toDouble() + 1);
    if (names) name.setValue(name.value().toString() + QStringLiteral(" 新"));
    ds.post();
    ++n;
  }
  report(names ? "dataset post, price and name (exact text)" : "dataset post, price", n,
         timer.elapsed());
  ds.close();
  c.execute(QStringLiteral("DROP TABLE %1").arg(table));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int rows = 100000;
  QString dsn = qEnvironmentVariable("DATACONV_TEST_TDS_DSN");
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--rows")
      rows = args[i + 1].toInt();
    else if (args[i] == "--dsn")
      dsn = args[i + 1];
    else if (args[i] == "--check")
      otherCheck = args[i + 1];
  }
  if (dsn.isEmpty() || rows <= 0) {
    std::fprintf(stderr, "usage: bench_tds_post [--rows N] [--dsn ODBC-TEXT] [--check SQL]\n");
    return 2;
  }
  try {
    db::Connection c;
    c.setConnectionString(dsn);
    c.setCommandTimeout(0);
    c.open();
    for (const char* t : {"BenchPlain", "BenchExact", "BenchPrices", "BenchNames"}) try {
        c.execute(QStringLiteral("DROP TABLE %1").arg(t));
      } catch (const platform::Error&) {
      }
    plainUpdates(c, rows, false);
    plainUpdates(c, rows, true);
    datasetPosts(c, rows, false);
    datasetPosts(c, rows, true);
  } catch (const platform::Error& e) {
    std::fprintf(stderr, "%s\n", qPrintable(e.message()));
    return 1;
  }
  return 0;
}
