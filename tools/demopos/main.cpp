// demopos OUT.sqlite [--items N] [--seed S] [--today YYYY-MM-DD]
// Writes a demo POS database for the program's SQLite engine (Config.ini, section
// MSSQL: Provider=SQLite, Database=OUT.sqlite).
#include "DemoPos.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: demopos OUT.sqlite [--items N] [--seed S] [--today YYYY-MM-DD]\n"
               "  --items N   number of items (default 3000); classes, suppliers and members\n"
               "              are scaled from it\n"
               "  --seed S    random seed (default 1); the same seed and date give the same file\n"
               "  --today D   latest date written (default: today)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  demopos::Options o;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args.at(i);
    bool ok = true;
    if ((a == "--items" || a == "--seed" || a == "--today") && i + 1 < args.size()) {
      const QString v = args.at(++i);
      if (a == "--items")
        o.items = v.toLongLong(&ok);
      else if (a == "--seed")
        o.seed = v.toULongLong(&ok);
      else
        ok = (o.today = QDate::fromString(v, Qt::ISODate)).isValid();
      if (!ok) {
        std::fprintf(stderr, "demopos: invalid value for %s: %s\n", qPrintable(a), qPrintable(v));
        return usage();
      }
    } else if (a.startsWith("-") || !o.path.isEmpty()) {
      return usage();
    } else {
      o.path = a;
    }
  }
  if (o.path.isEmpty()) return usage();
  try {
    const demopos::Counts n = demopos::generate(o);
    std::printf("%s: %lld classes, %lld suppliers, %lld items, %lld members\n", qPrintable(o.path),
                n.classify, n.supplier, n.item, n.customer);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demopos: %s\n", e.what());
    return 1;
  }
  return 0;
}
