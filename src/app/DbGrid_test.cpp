#include "app/DbGrid.h"

#include "app/DatasetTableModel.h"
#include "app/Fonts.h"

#include <db/Connection.h>
#include <db/Dataset.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QTemporaryDir>

namespace app {
namespace {

// Columns given too little room for their values (a phone number, an ID number, a date)
// are widened to show them, never beyond the limit, and never narrowed.
TEST(DbGridTest, ColumnsTooNarrowForTheirValuesAreWidenedUpToTheLimit) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile(dir.filePath("t.sqlite")).open(QIODevice::WriteOnly);
  db::Connection connection;
  connection.setConnectionString("Provider=SQLite;Data Source=" + dir.filePath("t.sqlite"));
  connection.open();
  connection.execute("create table Customer (CustNo varchar(8), TelNo varchar(17), Notes text)");
  connection.execute("insert into Customer values ('M1', '(02)2345-6789#123', '" +
                     QString(60, u'備') + "')");
  db::Dataset query("qryCustomer");
  query.setConnection(&connection);
  query.setSql("select * from Customer");
  for (const char* name : {"CustNo", "TelNo", "Notes"}) {
    db::FieldDef d;
    d.name = QString::fromLatin1(name);
    d.type = db::ftString;
    d.size = 60;
    query.addField(d);
  }
  query.open();

  DbGrid grid(fonts::newMingLiU(13));
  DatasetTableModel model(query, {"CustNo", "TelNo", "Notes"}, &grid);
  grid.setDatasetModel(&model);
  // As the main window does: the widths of its column list, right after the model.
  grid.setColumnWidth(0, 75);
  grid.setColumnWidth(1, 64);
  grid.setColumnWidth(2, 64);
  QCoreApplication::processEvents();

  EXPECT_EQ(grid.columnWidth(0), 75);  // wide enough already
  const int phone = QFontMetrics(grid.font()).horizontalAdvance("(02)2345-6789#123");
  EXPECT_GE(grid.columnWidth(1), phone);
  EXPECT_LT(grid.columnWidth(1), DbGrid::kFitLimit);
  EXPECT_EQ(grid.columnWidth(2), DbGrid::kFitLimit);  // a long note is cut at the limit
}

}  // namespace
}  // namespace app
