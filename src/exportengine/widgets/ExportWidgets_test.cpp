#include "RecordingExporter.h"
#include "exportengine/widgets/QtDbGrid.h"
#include "exportengine/widgets/QtListView.h"
#include "exportengine/widgets/QtStringGrid.h"

#include <gtest/gtest.h>

#include <db/DataSource.h>
#include <platform/Error.h>

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>

using namespace exportengine;
using namespace exportengine::testing;
using namespace exportengine::widgets;

namespace {

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QString();
}

QStringList firstCells(const std::vector<QStringList>& rows) {
  QStringList cells;
  for (const QStringList& row : rows) cells << row.value(0);
  return cells;
}

QStringList column(const TExportColumns& columns, QString TExportColumn::*member) {
  QStringList out;
  for (int i = 0; i < columns.Count(); ++i) out << columns[i].*member;
  return out;
}

// --- List view ---

class ListViewSource : public ::testing::Test {
 protected:
  QTreeWidget view;
  QtListView* list = new QtListView(&view);
  RecordingExporter exporter;

  void SetUp() override {
    view.setHeaderLabels({"Code", "Qty", "Day"});
    view.setColumnWidth(0, 80);
    exporter.SetExportSource(esListView);
    exporter.SetListView(list);
  }
  void addItems(int n) {
    for (int i = 1; i <= n; ++i)
      new QTreeWidgetItem(&view, {QStringLiteral("L%1").arg(i), QString::number(i * 10),
                                  QStringLiteral("2024/05/0%1").arg(i)});
  }
};

TEST_F(ListViewSource, ReadsItemsByTheCounterRule) {
  addItems(5);
  exporter.SetSkipRecCount(1);
  exporter.SetExportRecCount(2);
  exporter.RunExport();
  EXPECT_EQ(exporter.rows,
            (std::vector<QStringList>{{"L2", "20", "2024/05/02"}, {"L3", "30", "2024/05/03"}}));
  EXPECT_EQ(column(exporter.Columns(), &TExportColumn::Name), QStringList({"Code", "Qty", "Day"}));
  EXPECT_EQ(exporter.Columns()[0].Width, 10);
  EXPECT_EQ(exporter.Columns()[1].ColType, ectString);
  EXPECT_EQ(exporter.Columns()[1].Length, 254);
  EXPECT_TRUE(view.updatesEnabled());

  // Skips and limits beyond the items are cut to the items, and stay cut.
  exporter.rows.clear();
  exporter.SetSkipRecCount(9);
  exporter.SetExportRecCount(9);
  exporter.RunExport();
  EXPECT_TRUE(exporter.rows.empty());
  EXPECT_EQ(exporter.SkipRecCount(), 5);
  EXPECT_EQ(exporter.ExportRecCount(), 5);

  // A negative skip reads from the first item and no further than the last.
  exporter.SetSkipRecCount(-2);
  exporter.SetExportRecCount(0);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"L1", "L2", "L3", "L4", "L5"}));
}

TEST_F(ListViewSource, DetectsTypesFromTheFirstItemAndChoosesColumnsByCaption) {
  exporter.SetAutoCalcStrType(true);
  exporter.offerTargetSettings = true;
  exporter.SetColumnsLength({"code=8", "Day=x"});
  exporter.SetExportedFields({"day", "CODE", "Nothing"});
  exporter.Columns().Fill(false);
  // No items: nothing to detect from.
  EXPECT_EQ(exporter.Columns()[0].ColType, ectInteger);

  addItems(2);
  exporter.SetExportedFields({});
  exporter.RunExport();
  EXPECT_EQ(exporter.Columns()[0].ColType, ectString);
  EXPECT_EQ(exporter.Columns()[0].Length, 8);
  EXPECT_EQ(exporter.Columns()[1].ColType, ectInteger);
  EXPECT_EQ(exporter.Columns()[2].ColType, ectDate);
  EXPECT_EQ(exporter.Columns()[2].Length, 0);

  exporter.SetExportedFields({"day", "CODE", "Nothing"});
  exporter.SetAutoCalcStrType(false);
  exporter.rows.clear();
  exporter.RunExport();
  EXPECT_EQ(exporter.rows[1], QStringList({"2024/05/02", "L2"}));
  EXPECT_EQ(exporter.Columns()[0].Length, 254);  // "x" is not a number
}

TEST_F(ListViewSource, AnEmptyListIsOpenAndExportsNothing) {
  exporter.RunExport();
  EXPECT_TRUE(exporter.rows.empty());
  EXPECT_TRUE(exporter.log.contains("EndExport"));
  exporter.SetExportEmpty(false);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (ListView) is empty");
}

TEST_F(ListViewSource, AnExporterForgetsADestroyedListView) {
  delete list;
  EXPECT_EQ(exporter.ListView(), nullptr);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (ListView) is not assigned");
}

// --- String grid ---

class StringGridSource : public ::testing::Test {
 protected:
  QTableWidget table{1, 7};
  QtStringGrid* grid = new QtStringGrid(&table, 1);
  RecordingExporter exporter;

  void SetUp() override {
    for (int c = 0; c < 7; ++c)
      table.setItem(0, c, new QTableWidgetItem(QStringLiteral("H%1").arg(c)));
    exporter.SetExportSource(esStringGrid);
    exporter.SetStringGrid(grid);
  }
  void addRows(int n) {
    for (int r = 0; r < n; ++r) {
      const int row = table.rowCount();
      table.insertRow(row);
      table.setItem(row, 0, new QTableWidgetItem(QStringLiteral("R%1").arg(row)));
      table.setItem(row, 1, new QTableWidgetItem(QStringLiteral("true")));
      table.setItem(row, 6, new QTableWidgetItem(QStringLiteral(" 1.5 ")));
    }
  }
};

TEST_F(StringGridSource, OnlyFixedRowsIsEmpty) {
  exporter.SetExportEmpty(false);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (StringGrid) is empty");
  exporter.SetExportEmpty(true);
  exporter.RunExport();
  EXPECT_TRUE(exporter.rows.empty());
}

TEST_F(StringGridSource, NamesAreColumnNumbersAndCaptionsComeFromTheCaptionRow) {
  addRows(3);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"R1", "R2", "R3"}));
  EXPECT_EQ(exporter.rows[0].value(6), "1.5");
  EXPECT_EQ(column(exporter.Columns(), &TExportColumn::Name),
            QStringList({"0", "1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(exporter.captions.value(2), "ColNo_2");
  // Stepped past its last row, the grid stays there.
  EXPECT_EQ(table.currentRow(), 3);

  exporter.SetCaptionRow(0);
  exporter.SetExportedFields({"7", "6", "x", "0"});
  exporter.SetAutoCalcStrType(true);
  exporter.rows.clear();
  exporter.RunExport();
  EXPECT_EQ(column(exporter.Columns(), &TExportColumn::Name), QStringList({"6", "0"}));
  EXPECT_EQ(exporter.captions, QStringList({"H6", "H0"}));
  // Types come from the current row, here the last one.
  EXPECT_EQ(exporter.Columns()[0].ColType, ectFloat);
  EXPECT_EQ(exporter.Columns()[1].ColType, ectString);
}

TEST_F(StringGridSource, SkipsBeyondTheRowsExportNothing) {
  addRows(2);
  exporter.SetSkipRecCount(5);
  exporter.RunExport();
  EXPECT_TRUE(exporter.rows.empty());
  exporter.SetSkipRecCount(1);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"R2"}));
}

// --- Data grid ---

class DbGridSource : public ::testing::Test {
 protected:
  std::unique_ptr<db::Dataset> data;
  db::DataSource source{"dsGoods"};
  QTableView view;
  QStandardItemModel model{0, 3};
  QtDbGrid* grid = nullptr;
  RecordingExporter exporter;

  void SetUp() override {
    db::FieldDef hidden = fieldOf("Qty", db::ftInteger);
    hidden.visible = false;
    data = makeDataset("qryGoods", {textField("Code", 10), textField("Name", 20, "名稱"), hidden},
                       {{"A", "甲", qint64(1)}, {"B", QVariant(), qint64(2)}});
    model.setHorizontalHeaderLabels({"名稱", "代碼", "數量"});
    view.setModel(&model);
    view.setColumnWidth(0, view.fontMetrics().horizontalAdvance("X") * 12);
    grid = new QtDbGrid(&view, &source, {"Name", "Code", "Qty"});
    exporter.SetExportSource(esDBGrid);
    exporter.SetDBGrid(grid);
  }
};

TEST_F(DbGridSource, NeedsADataSourceWithADataset) {
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DBGrid) is not assigned");
  source.setDataset(data.get());
  data->close();
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DBGrid) is closed");
}

TEST_F(DbGridSource, ExportsTheGridsColumnsOfTheDataset) {
  source.setDataset(data.get());
  exporter.RunExport();
  EXPECT_EQ(column(exporter.Columns(), &TExportColumn::Name), QStringList({"Name", "Code", "Qty"}));
  EXPECT_EQ(exporter.captions, QStringList({"名稱", "代碼", "數量"}));
  EXPECT_EQ(exporter.Columns()[0].Width, 12);
  EXPECT_EQ(exporter.Columns()[0].Length, 20);
  EXPECT_EQ(exporter.rows, (std::vector<QStringList>{{"甲", "A", "1"}, {"", "B", "2"}}));
  EXPECT_TRUE(data->eof());
  EXPECT_FALSE(data->controlsDisabled());

  exporter.SetOnlyVisibleFields(true);
  exporter.SetExportedFields({"qty", "code"});
  exporter.RunExport();
  EXPECT_EQ(column(exporter.Columns(), &TExportColumn::Name), QStringList({"Code"}));
}

}  // namespace
