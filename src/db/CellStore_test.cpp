// The row store: values stay put while it grows, rows run over chunk ends, and a
// dataset opened on more rows than a chunk holds reads every value back in any order.
#include "db/CellStore.h"
#include "db/Dataset.h"
#include "db/ResultSet.h"

#include <gtest/gtest.h>
#include <QDateTime>

namespace {

using db::CellStore;

TEST(CellStore, ValuesStayWhereTheyAreWhileTheStoreGrowsAndShrinks) {
  CellStore cells;
  const size_t n = 3 * CellStore::kChunkSize + 17;
  cells.push_back(QVariant(QStringLiteral("first")));
  const QVariant* first = &cells[0];
  for (size_t i = 1; i < n; ++i) cells.push_back(QVariant(qlonglong(i)));
  EXPECT_EQ(cells.size(), n);
  EXPECT_EQ(first, &cells[0]);  // held pointers (a dataset's current cell) stay valid
  EXPECT_EQ(cells.front().toString(), "first");
  EXPECT_EQ(cells[CellStore::kChunkSize - 1].toLongLong(), qlonglong(CellStore::kChunkSize - 1));
  EXPECT_EQ(cells[CellStore::kChunkSize].toLongLong(), qlonglong(CellStore::kChunkSize));
  EXPECT_EQ(cells.at(n - 1).toLongLong(), qlonglong(n - 1));
  EXPECT_THROW(cells.at(n), std::out_of_range);

  // Shrinking past a chunk end and growing again gives null values, not old ones.
  cells.resize(CellStore::kChunkSize - 2);
  EXPECT_THROW(cells.at(CellStore::kChunkSize - 2), std::out_of_range);
  cells.resize(CellStore::kChunkSize + 2);
  EXPECT_FALSE(cells[CellStore::kChunkSize - 2].isValid());
  EXPECT_FALSE(cells[CellStore::kChunkSize + 1].isValid());
  EXPECT_EQ(cells[CellStore::kChunkSize - 3].toLongLong(), qlonglong(CellStore::kChunkSize - 3));

  CellStore moved(std::move(cells));
  EXPECT_TRUE(cells.empty());  // NOLINT: a moved-from store is empty and usable
  cells.push_back(QVariant(1));
  EXPECT_EQ(cells.size(), 1u);
  EXPECT_EQ(moved.size(), CellStore::kChunkSize + 2);
  moved = std::move(cells);
  EXPECT_EQ(moved.size(), 1u);
  moved.clear();
  EXPECT_TRUE(moved.empty());
}

TEST(CellStore, AskingAheadForTextsStaysInsideTheStore) {
  // Texts, numbers and nulls; asked for at a chunk's end, past the last value and
  // beyond it (the sanitizer build reads nothing outside).
  CellStore cells;
  for (size_t i = 0; i < CellStore::kChunkSize + 10; ++i)
    cells.push_back(i % 3 == 0   ? QVariant(QString(int(i % 50), u'字'))
                    : i % 3 == 1 ? QVariant(double(i))
                                 : QVariant());
  for (size_t first : {size_t(0), CellStore::kChunkSize - 5, CellStore::kChunkSize + 5,
                       CellStore::kChunkSize + 10, CellStore::kChunkSize + 100}) {
    cells.prefetchTexts(first, 45);
  }
  EXPECT_EQ(cells[CellStore::kChunkSize + 8].toString(),
            QString(int((CellStore::kChunkSize + 8) % 50), u'字'));
}

TEST(CellStore, ADatasetOnMoreRowsThanAChunkReadsEveryValueInSortedOrder) {
  // 1,500 rows of 6 columns, 4 of them declared: opening moves the kept values down
  // across chunk ends. Fetched in descending key order, sorted ascending: a walk
  // forward reads the rows in the reverse of where they lie.
  constexpr int kRows = 1500;
  db::ResultSet rs;
  rs.columns = {{"Code", db::ftString, 6}, {"Skip1", db::ftInteger},   {"Name", db::ftString, 20},
                {"Price", db::ftFloat},    {"Skip2", db::ftString, 3}, {"Made", db::ftDateTime}};
  const QDateTime base(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
  auto code = [](int i) { return QStringLiteral("K%1").arg(i, 4, 10, QChar(u'0')); };
  for (int i = kRows - 1; i >= 0; --i) {
    rs.cells.push_back(code(i));
    rs.cells.push_back(QVariant(i * 7));
    rs.cells.push_back(i % 5 ? QVariant(QStringLiteral("品名%1").arg(i)) : QVariant());
    rs.cells.push_back(QVariant(i + 0.25));
    rs.cells.push_back(QVariant(QStringLiteral("x")));
    rs.cells.push_back(QVariant(base.addDays(i)));
  }
  db::Dataset ds("qryRows");
  ds.addField({.name = "Code", .type = db::ftString, .size = 6});
  ds.addField({.name = "Name", .type = db::ftString, .size = 20});
  ds.addField({.name = "Price", .type = db::ftFloat});
  ds.addField({.name = "Made", .type = db::ftDateTime});
  ds.open(std::move(rs));
  ds.setSort("Code");
  int i = 0;
  for (ds.first(); !ds.eof(); ds.next(), ++i) {
    ASSERT_EQ(ds.fieldByName("Code").asString(), code(i));
    EXPECT_EQ(ds.currentValue(ds.field(1)),
              i % 5 ? QVariant(QStringLiteral("品名%1").arg(i)) : QVariant());
    EXPECT_EQ(ds.currentValue(ds.field(2)).toDouble(), i + 0.25);
    EXPECT_EQ(ds.currentValue(ds.field(3)).toDateTime(), base.addDays(i));
  }
  EXPECT_EQ(i, kRows);
  ds.setSort(QString());  // the statement's order again
  EXPECT_EQ(ds.valueAt(0, ds.field(0)).toString(), code(kRows - 1));
  EXPECT_EQ(ds.valueAt(kRows - 1, ds.field(3)).toDateTime(), base);

  // Sorting moves the rows themselves: ties keep the statement's order through any
  // number of sorts, and locating builds on the rows where they now lie.
  ds.setSort("Code");
  ds.setSort("Name");  // every fifth row has none: NULL first
  for (int p = 0; p < kRows / 5; ++p)
    ASSERT_EQ(ds.valueAt(p, ds.field(0)).toString(), code(kRows - 5 - 5 * p)) << p;
  ASSERT_TRUE(ds.locate("Code", code(17)));
  EXPECT_EQ(ds.currentValue(ds.field(2)).toDouble(), 17.25);
  EXPECT_EQ(ds.lookup("Code", code(1234), "Name").toString(), QStringLiteral("品名1234"));
  ds.setSort("Code");
  ASSERT_TRUE(ds.locate("Code", code(17)));
  EXPECT_EQ(ds.recNo(), 17);
  ds.setSort(QString());
  for (int p = 0; p < kRows; ++p)
    ASSERT_EQ(ds.valueAt(p, ds.field(0)).toString(), code(kRows - 1 - p));
}

}  // namespace
