// Generator of a demo POS database: an SQLite file holding the four POS tables with
// realistic data (Traditional Chinese names and addresses, item numbers with their
// check digit, items of existing suppliers and some of none, members with identity
// numbers, dates from 1930 on). The same options give the same file.
#pragma once

#include <QDate>
#include <QString>

namespace demopos {

struct Options {
  QString path;
  qint64 items = 3000;  // the other tables are scaled from it
  quint64 seed = 1;
  QDate today = QDate::currentDate();  // latest date written
};

struct Counts {
  qint64 classify = 0, supplier = 0, item = 0, customer = 0;
};

// The table sizes for a number of items.
Counts countsFor(qint64 items);

// Creates the file (which must not exist yet) and fills it. Throws std::runtime_error
// with the reason on failure; a half-written file is removed.
Counts generate(const Options& options);

// The check digit of an item number's first seven digits: 3 × (d1+d3+d5+d7) +
// (d2+d4+d6), subtracted from the next multiple of ten.
char itemCheckDigit(const QString& sevenDigits);

}  // namespace demopos
