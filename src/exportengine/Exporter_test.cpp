#include "exportengine/Exporter.h"

#include "RecordingExporter.h"

#include <gtest/gtest.h>

#include <platform/CodePage.h>
#include <platform/Error.h>
#include <platform/IniFile.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace exportengine;
using namespace exportengine::testing;

namespace {

QString errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QString();
}

// Five goods: code, name, quantity, price, and a note that is null in the third.
std::unique_ptr<db::Dataset> goods(int count = 5) {
  std::vector<std::vector<QVariant>> rows;
  for (int i = 1; i <= count; ++i)
    rows.push_back({QStringLiteral("G%1").arg(i), QStringLiteral(" 商品%1 ").arg(i),
                    QVariant(qint64(i * 1000)), QVariant(i + 0.5),
                    i == 3 ? QVariant() : QVariant(QStringLiteral("n%1").arg(i))});
  return makeDataset(
      "qryGoods",
      {textField("Code", 10, "編號"), textField("Name", 40, "名稱"), fieldOf("Qty", db::ftInteger),
       fieldOf("Price", db::ftFloat), textField("Note", 20)},
      rows);
}

QStringList firstCells(const std::vector<QStringList>& rows) {
  QStringList cells;
  for (const QStringList& row : rows) cells << row.value(0);
  return cells;
}

class ExporterRun : public ::testing::Test {
 protected:
  std::unique_ptr<db::Dataset> data = goods();
  RecordingExporter exporter;
  void SetUp() override { exporter.SetDataSet(data.get()); }
};

TEST_F(ExporterRun, TwoRecordsGoThroughEveryStepInOrder) {
  auto two = goods(2);
  exporter.SetDataSet(two.get());
  exporter.RunExport();
  EXPECT_EQ(exporter.log, QStringList({"PrepareExport", "BeginExport", "Caption", "StartRows",
                                       "Row", "Exported 0", "Row", "Exported 1", "FinishRows",
                                       "FinishExport", "EndExport"}));
  EXPECT_TRUE(two->eof());
  EXPECT_FALSE(two->controlsDisabled());
  EXPECT_EQ(exporter.captions, QStringList({"編號", "名稱", "Qty", "Price", "Note"}));
  // Plain text, trimmed of outer blanks.
  EXPECT_EQ(exporter.rows[0], QStringList({"G1", "商品1", "1000", "1.5", "n1"}));
  EXPECT_EQ(exporter.RecordCounter(), 2);
}

TEST_F(ExporterRun, ControlsStayDisabledForTheWholeRun) {
  bool disabledInRows = false;
  exporter.OnExportedRecord = [&](TExporter&, int) { disabledInRows = data->controlsDisabled(); };
  exporter.RunExport();
  EXPECT_TRUE(disabledInRows);
  EXPECT_FALSE(data->controlsDisabled());
}

TEST_F(ExporterRun, EmptyClosedAndMissingSources) {
  auto empty = goods(0);
  exporter.SetDataSet(empty.get());
  exporter.RunExport();
  EXPECT_EQ(exporter.log, QStringList({"PrepareExport", "BeginExport", "Caption", "StartRows",
                                       "FinishRows", "FinishExport", "EndExport"}));
  EXPECT_TRUE(exporter.rows.empty());

  exporter.log.clear();
  exporter.SetExportEmpty(false);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DataSet) is empty");
  EXPECT_TRUE(exporter.log.isEmpty());
  EXPECT_FALSE(empty->controlsDisabled());

  exporter.SetExportEmpty(true);
  data->close();
  exporter.SetDataSet(data.get());
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DataSet) is closed");

  exporter.SetExportSource(esDBGrid);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DBGrid) is not assigned");
  exporter.SetExportSource(esStringGrid);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (StringGrid) is not assigned");
  EXPECT_TRUE(exporter.log.isEmpty());
}

TEST_F(ExporterRun, ForgetsARemovedOrDestroyedSource) {
  exporter.Notification(data.get());
  EXPECT_EQ(exporter.DataSet(), nullptr);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DataSet) is not assigned");

  exporter.SetDataSet(data.get());
  data.reset();
  EXPECT_EQ(exporter.DataSet(), nullptr);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (DataSet) is not assigned");
}

TEST_F(ExporterRun, RowLimitsSkipsAndTheCurrentRecord) {
  exporter.SetExportRecCount(2);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"G1", "G2"}));

  exporter.rows.clear();
  exporter.SetExportRecCount(-1);
  exporter.RunExport();
  EXPECT_TRUE(exporter.rows.empty());

  exporter.rows.clear();
  exporter.log.clear();
  exporter.SetExportRecCount(0);
  exporter.SetSkipRecCount(3);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"G4", "G5"}));
  EXPECT_EQ(exporter.log.mid(4, 5),
            QStringList({"Skipped 1", "Skipped 2", "Skipped 3", "Row", "Exported 0"}));

  exporter.rows.clear();
  exporter.SetSkipRecCount(0);
  exporter.SetCurrentRecordOnly(true);
  data->moveTo(2);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"G1"}));

  exporter.rows.clear();
  exporter.SetGoToFirstRecord(false);
  data->moveTo(2);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"G3"}));
}

TEST_F(ExporterRun, RefusedRowsStillCountTowardsTheLimit) {
  QList<int> exported;
  exporter.OnBeforeExportRow = [](TExporter& e, TExportRow&, bool& accept) {
    accept = e.RecordCounter() % 2 == 0;
  };
  exporter.OnExportedRecord = [&](TExporter&, int recNo) { exported << recNo; };
  exporter.SetExportRecCount(4);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"G1", "G3"}));
  EXPECT_EQ(exported, QList<int>({0, 2}));
}

TEST_F(ExporterRun, AbortInARowEventEndsTheRunUnlessTheStopEventGoesOn) {
  exporter.OnExportedRecord = [](TExporter& e, int recNo) {
    if (recNo == 1) e.Abort();
  };
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"G1", "G2"}));
  EXPECT_EQ(exporter.log.mid(exporter.log.size() - 3),
            QStringList({"FinishRows", "FinishExport", "EndExport"}));

  int asked = 0;
  exporter.rows.clear();
  exporter.OnStopExport = [&](TExporter&, bool& canContinue) {
    ++asked;
    EXPECT_FALSE(canContinue);
    canContinue = true;
  };
  exporter.RunExport();
  EXPECT_EQ(exporter.rows.size(), 5u);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(exporter.Aborted());

  // An abort at the last row finds the source at its end: nobody is asked.
  asked = 0;
  exporter.OnExportedRecord = [](TExporter& e, int recNo) {
    if (recNo == 4) e.Abort();
  };
  exporter.RunExport();
  EXPECT_EQ(asked, 0);
}

TEST_F(ExporterRun, AbortInBeginExportStopsBeforeAnyRow) {
  exporter.OnBeginExport = [](TExporter& e) { e.Abort(); };
  exporter.RunExport();
  EXPECT_EQ(exporter.log, QStringList({"PrepareExport"}));
  EXPECT_TRUE(exporter.rows.empty());
  EXPECT_FALSE(data->controlsDisabled());

  // An abort before the run has no effect.
  exporter.OnBeginExport = nullptr;
  exporter.Abort();
  exporter.RunExport();
  EXPECT_EQ(exporter.rows.size(), 5u);
}

TEST_F(ExporterRun, ErrorsReachTheCallerAfterTheRunIsWoundUp) {
  exporter.failOn = "G2";
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "cannot write G2");
  EXPECT_EQ(exporter.rows.size(), 1u);
  EXPECT_EQ(exporter.log.mid(exporter.log.size() - 3),
            QStringList({"Row", "FinishExport", "EndExport"}));
  EXPECT_FALSE(data->controlsDisabled());

  // The end event failing as well does not hide the first error.
  exporter.OnEndExport = [](TExporter&) { throw platform::Error("end failed"); };
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "cannot write G2");

  exporter.log.clear();
  exporter.SetExportedFields({"Code", "Nope"});
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "qryGoods: Field 'Nope' not found");
  EXPECT_EQ(exporter.log, QStringList({"PrepareExport"}));
  EXPECT_FALSE(data->controlsDisabled());
}

TEST_F(ExporterRun, AFieldListedTwiceArrivesInBothColumns) {
  exporter.SetExportedFields({"name", "Code", "NAME"});
  exporter.SetExportRecCount(1);
  exporter.RunExport();
  ASSERT_EQ(exporter.Columns().Count(), 3);
  EXPECT_EQ(exporter.Columns()[2].Name, "Name");
  EXPECT_EQ(exporter.rows[0], QStringList({"商品1", "G1", "商品1"}));
  // By name, the first cell of that name is found.
  exporter.Row().SetValue("nAmE", "  x ");
  EXPECT_EQ(exporter.Row()[0].Data, "x");
  EXPECT_EQ(exporter.Row()[2].Data, "商品1");
  exporter.Row().SetValue("Missing", "y");
}

TEST_F(ExporterRun, NullValuesGiveTheNullString) {
  exporter.SetExportedFields({"Note"});
  exporter.RunExport();
  EXPECT_EQ(exporter.rows[2], QStringList({""}));
  exporter.formatted = true;
  exporter.Formats().SetNullString("  NULL ");
  exporter.rows.clear();
  exporter.RunExport();
  EXPECT_EQ(exporter.rows[2], QStringList({"NULL"}));
  EXPECT_EQ(exporter.rows[1], QStringList({"n2"}));
}

TEST_F(ExporterRun, FormattedTextFollowsTheColumnFormats) {
  auto big = makeDataset("qryBig", {fieldOf("Qty", db::ftInteger), fieldOf("Price", db::ftFloat)},
                         {{QVariant(qint64(1234567)), QVariant(1234.5)}});
  exporter.SetDataSet(big.get());
  exporter.formatted = true;
  exporter.RunExport();
  // The base exporter offers no formats: general forms.
  EXPECT_EQ(exporter.rows[0], QStringList({"1234567", "1234.5"}));

  exporter.offerTargetSettings = true;
  exporter.SetUserFormats({"price=0.0 'TWD'"});
  exporter.rows.clear();
  exporter.RunExport();
  EXPECT_EQ(exporter.rows[0], QStringList({"1,234,567", "1234.5 TWD"}));
  EXPECT_EQ(exporter.DataRowText(false), "1,234,5671234.5 TWD");
}

TEST_F(ExporterRun, CustomSourceRunsAgainAndCountsAsEmptyOnlyWithoutRows) {
  TCustomExportSource source;
  source.Columns().Add().SetColumnName("No");
  source.OnGetNextRecord = [](TCustomExportSource&, int recNo, bool& eof) { eof = recNo == 3; };
  source.OnGetColumnValue = [](TCustomExportSource&, int recNo, TCustomExportColumn&,
                               QVariant& value) { value = recNo * 10; };
  exporter.SetExportSource(esCustom);
  exporter.SetCustomSource(&source);
  exporter.SetExportEmpty(false);
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"10", "20", "30"}));
  exporter.rows.clear();
  exporter.RunExport();
  EXPECT_EQ(firstCells(exporter.rows), QStringList({"10", "20", "30"}));

  // Read to its end and not moved back: nothing left.
  exporter.SetGoToFirstRecord(false);
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (CustomSource) is empty");

  exporter.SetGoToFirstRecord(true);
  source.OnGetNextRecord = nullptr;
  EXPECT_EQ(errorOf([&] { exporter.RunExport(); }), "Export source (CustomSource) is empty");
  exporter.SetExportEmpty(true);
  exporter.rows.clear();
  exporter.RunExport();
  EXPECT_TRUE(exporter.rows.empty());
}

TEST(ExporterSettings, SaveAndLoadThroughABig5IniFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Export.ini");
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[FIELDS]\r\nfield0=Old\r\nfield1=Older\r\nfield2=Oldest\r\n[Other]\r\nkeep=1\r\n");
  }
  RecordingExporter saved;
  saved.SetExportedFields({"小分類編號", "ClsName"});
  saved.SetGoToFirstRecord(false);
  saved.SetExportEmpty(false);
  saved.SetExportRecCount(7);
  saved.SetSkipRecCount(2);
  saved.SetAutoCalcStrType(true);
  saved.SetCaptionRow(0);
  platform::IniFile file(path);
  saved.SaveSettings(file);

  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_TRUE(bytes.contains(platform::toBig5("field0=小分類編號")));
  EXPECT_FALSE(bytes.contains("Oldest"));
  EXPECT_TRUE(bytes.contains("keep=1"));
  EXPECT_TRUE(bytes.contains("AutocalcStrType=1"));

  RecordingExporter loaded;
  loaded.LoadSettings(file);
  EXPECT_EQ(loaded.ExportedFields(), QStringList({"小分類編號", "ClsName"}));
  EXPECT_FALSE(loaded.GoToFirstRecord());
  EXPECT_FALSE(loaded.ExportEmpty());
  EXPECT_FALSE(loaded.CurrentRecordOnly());
  EXPECT_EQ(loaded.ExportRecCount(), 7);
  EXPECT_EQ(loaded.SkipRecCount(), 2);
  EXPECT_TRUE(loaded.AutoCalcStrType());
  EXPECT_EQ(loaded.CaptionRow(), 0);

  // Missing keys keep the current values.
  platform::IniFile none(dir.filePath("None.ini"));
  loaded.LoadSettings(none);
  EXPECT_EQ(loaded.ExportRecCount(), 7);
  EXPECT_TRUE(loaded.ExportedFields().isEmpty());
}

TEST(ExportWriter, NamesAlignments) {
  RecordingExporter exporter;
  const std::unique_ptr<TExportWriter> writer = exporter.WriterType()(exporter, nullptr);
  EXPECT_EQ(&writer->Owner(), &exporter);
  EXPECT_EQ(writer->AlignName(eaCenter), "Center alignment");
  EXPECT_EQ(writer->AlignName(3), "Unknown alignment");
}

}  // namespace
