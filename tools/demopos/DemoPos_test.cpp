#include "DemoPos.h"

#include <platform/RegionalSettings.h>
#include <posdb/DmMdf.h>

#include <gtest/gtest.h>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QStringList dump(db::Dataset& ds) {
  QStringList rows;
  for (ds.first(); !ds.eof(); ds.next()) {
    QStringList cells;
    for (int i = 0; i < ds.fieldCount(); ++i) cells << ds.field(i).asString();
    rows << cells.join('|');
  }
  return rows;
}

TEST(DemoPos, ItemNumbersCarryTheirCheckDigit) {
  EXPECT_EQ(demopos::itemCheckDigit("1234567"), '0');
  EXPECT_EQ(demopos::itemCheckDigit("1234560"), '1');
  EXPECT_EQ(demopos::itemCheckDigit("0000001"), '7');
}

TEST(DemoPos, MakesADatabaseTheProgramOpens) {
  platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
  QTemporaryDir dir;
  demopos::Options o;
  o.path = dir.filePath("demo.sqlite");
  o.items = 800;
  o.seed = 7;
  o.today = QDate(2026, 6, 30);
  const demopos::Counts n = demopos::generate(o);
  EXPECT_THROW(demopos::generate(o), std::runtime_error);  // never overwrites

  posdb::TDmMSSQL dm;
  dm.startWith("Provider=SQLite;Data Source=" + o.path);
  EXPECT_EQ(dm.qryItem.recordCount(), 800);
  EXPECT_EQ(dm.qrySupplier.recordCount(), n.supplier);
  EXPECT_EQ(dm.qryClassify.recordCount(), n.classify);
  EXPECT_EQ(dm.qryCustomer.recordCount(), n.customer);

  int withoutSupplier = 0;
  const QRegularExpression digits8("^\\d{8}$");
  for (dm.qryItem.first(); !dm.qryItem.eof(); dm.qryItem.next()) {
    const QString no = dm.qryItem.fieldByName("ItemNo").asString();
    ASSERT_TRUE(digits8.match(no).hasMatch()) << no.toStdString();
    EXPECT_EQ(no.at(7).toLatin1(), demopos::itemCheckDigit(no.left(7)));
    if (dm.qryItem.fieldByName("SupplierNo").isNull()) {
      ++withoutSupplier;
    } else {
      EXPECT_FALSE(dm.qryItem.fieldByName("FactName").asString().isEmpty());
    }
  }
  EXPECT_GT(withoutSupplier, 0);

  const QRegularExpression idNo("^[A-Z][12]\\d{8}$");
  int birthdays = 0;
  for (dm.qryCustomer.first(); !dm.qryCustomer.eof(); dm.qryCustomer.next()) {
    const db::Field& id = dm.qryCustomer.fieldByName("IdNo");
    if (!id.isNull()) {
      EXPECT_TRUE(idNo.match(id.asString()).hasMatch()) << id.asString().toStdString();
    }
    const QVariant b = dm.qryCustomer.fieldByName("Birthday").value();
    if (b.isValid()) {
      ++birthdays;
      EXPECT_GE(b.toDateTime().date(), QDate(1930, 1, 1));
      EXPECT_LE(b.toDateTime().date(), o.today);
    }
  }
  EXPECT_GT(birthdays, 0);
  EXPECT_LT(birthdays, n.customer);  // some members never gave one

  // The same seed gives the same data; another seed other data.
  const QStringList items = dump(dm.qryItem);
  dm.stop();
  o.path = dir.filePath("again.sqlite");
  demopos::generate(o);
  dm.startWith("Provider=SQLite;Data Source=" + o.path);
  EXPECT_EQ(dump(dm.qryItem), items);
  dm.stop();
  o.path = dir.filePath("other.sqlite");
  o.seed = 8;
  demopos::generate(o);
  dm.startWith("Provider=SQLite;Data Source=" + o.path);
  EXPECT_NE(dump(dm.qryItem), items);
}

}  // namespace
