#include "app/DatasetTableModel.h"

#include "app/DbGrid.h"

#include "TestSupport.h"

#include <db/Connection.h>
#include <db/Dataset.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace app {
namespace {

class DatasetTableModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    // An empty file is an empty SQLite database.
    QFile(dir_.filePath("t.sqlite")).open(QIODevice::WriteOnly);
    connection_.setConnectionString("Provider=SQLite;Data Source=" + dir_.filePath("t.sqlite"));
    connection_.open();
    connection_.execute(
        "create table Item (ItemNo varchar(8) primary key, PtName varchar(40),"
        " Price float)");
    connection_.execute("insert into Item values ('B2', '感冒藥', 1234.5)");
    connection_.execute("insert into Item values ('A1', '口罩', 20)");
    query_.setConnection(&connection_);
    query_.setSql("select * from Item");
    query_.addField(def("ItemNo", db::ftString, 8, "管理貨號"));
    query_.addField(def("PtName", db::ftString, 40, ""));
    query_.addField(def("Price", db::ftFloat, 0, "售價", "#,#0.00"));
  }

  static db::FieldDef def(const QString& name, db::FieldType type, int size, const QString& label,
                          const QString& format = {}) {
    db::FieldDef d;
    d.name = name;
    d.type = type;
    d.size = size;
    d.label = label;
    d.displayFormat = format;
    return d;
  }

  QString cell(const DatasetTableModel& m, int row, int column) {
    return m.data(m.index(row, column), Qt::DisplayRole).toString();
  }

  QTemporaryDir dir_;
  db::Connection connection_;
  db::Dataset query_{"qryItem"};
};

TEST_F(DatasetTableModelTest, ShowsListedFieldsByLabelInTheDatasetsOrderAndFollowsOpenSortClose) {
  DatasetTableModel model(query_, {"ItemNo", "Missing", "Price", "PtName"});
  ASSERT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "管理貨號");
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "售價");
  EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "PtName");
  EXPECT_EQ(model.rowCount(), 0);

  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  query_.open();
  query_.setSort("ItemNo");
  EXPECT_GE(resets.count(), 2);
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(cell(model, 0, 0), "A1");
  EXPECT_EQ(cell(model, 1, 1), "1,234.50");
  EXPECT_EQ(cell(model, 1, 2), "感冒藥");
  EXPECT_TRUE(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() &
              Qt::AlignRight);
  EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

  query_.close();
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_FALSE(model.data(model.index(0, 0), Qt::DisplayRole).isValid());
}

TEST_F(DatasetTableModelTest, AppendedAndChangedRowsReachTheViewsUnlessControlsAreDisabled) {
  DatasetTableModel model(query_, {"ItemNo", "PtName"});
  query_.open();
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

  query_.append();
  query_.fieldByName("ItemNo").setAsString("C3");
  query_.post();
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(cell(model, 2, 0), "C3");

  query_.locate("ItemNo", "B2");
  query_.edit();
  query_.fieldByName("PtName").setAsString("退燒藥");
  query_.post();
  EXPECT_GE(changed.count(), 1);
  EXPECT_EQ(cell(model, 0, 1), "退燒藥");

  // While disabled the views keep the row count they were told about.
  query_.disableControls();
  query_.append();
  query_.fieldByName("ItemNo").setAsString("D4");
  query_.post();
  EXPECT_EQ(model.rowCount(), 3);
  query_.enableControls();
  EXPECT_EQ(model.rowCount(), 4);
}

}  // namespace
}  // namespace app

namespace app {
namespace {

TEST_F(DatasetTableModelTest, TheGridsCurrentRowAndTheDatasetsCursorFollowEachOther) {
  DbGrid grid{QFont()};
  auto* model = new DatasetTableModel(query_, {"ItemNo", "PtName"}, &grid);
  grid.setDatasetModel(model);
  query_.open();
  query_.setSort("ItemNo");
  EXPECT_EQ(grid.currentIndex().row(), 0);

  ASSERT_TRUE(query_.locate("ItemNo", "B2"));
  EXPECT_EQ(grid.currentIndex().row(), 1);

  grid.setCurrentIndex(model->index(0, 1));
  EXPECT_EQ(query_.recNo(), 0);
  EXPECT_EQ(query_.fieldByName("ItemNo").asString(), "A1");
}

}  // namespace
}  // namespace app
