#include "exportengine/ExportColumns.h"

#include "RecordingExporter.h"

#include <gtest/gtest.h>

using namespace exportengine;
using namespace exportengine::testing;

namespace {

// Like a POS table: labels, a text of every size, a hidden field, a memo, a fixed
// text, and a field of a type the targets do not know.
std::unique_ptr<db::Dataset> classify() {
  db::FieldDef no = textField("ClsNo", 3, "小分類編號");
  db::FieldDef name = textField("ClsName", 300, "小分類名稱");
  db::FieldDef flag = fieldOf("Flag", db::ftBoolean);
  db::FieldDef hidden = fieldOf("Seq", db::ftInteger);
  hidden.visible = false;
  db::FieldDef memo = fieldOf("Memo", db::ftMemo);
  db::FieldDef fixed = textField("Void", 1);
  fixed.fixedChar = true;
  db::FieldDef price = fieldOf("Price", db::ftCurrency);
  db::FieldDef when = fieldOf("Stamp", db::ftDateTime);
  db::FieldDef big = fieldOf("Total", db::ftLargeint);
  return makeDataset("qryClassify", {no, name, flag, hidden, memo, fixed, price, when, big},
                     {{"001", "飲料", true, qint64(1), "m", "N", 1.5, QVariant(), qint64(5)}});
}

QStringList names(const TExportColumns& columns) {
  QStringList out;
  for (int i = 0; i < columns.Count(); ++i) out << columns[i].Name;
  return out;
}

class DatasetColumns : public ::testing::Test {
 protected:
  std::unique_ptr<db::Dataset> data = classify();
  RecordingExporter exporter;
  TExportColumns& columns = exporter.Columns();
  void SetUp() override {
    exporter.SetDataSet(data.get());
    exporter.offerTargetSettings = true;
  }
  void fill() {
    columns.Clear();
    columns.Fill(false);
  }
};

TEST_F(DatasetColumns, EveryFieldButLargeObjectsInFieldOrder) {
  fill();
  EXPECT_EQ(names(columns),
            QStringList({"ClsNo", "ClsName", "Flag", "Seq", "Void", "Price", "Stamp", "Total"}));
  const TExportColumn& no = columns[0];
  EXPECT_EQ(no.SourceIndex, 0);
  EXPECT_EQ(no.ColType, ectString);
  EXPECT_EQ(no.Caption, "小分類編號");
  EXPECT_EQ(no.Length, 3);
  EXPECT_EQ(no.Width, 3);
  EXPECT_EQ(no.Align, eaLeft);
  EXPECT_EQ(no.Format, "");
  EXPECT_EQ(columns[1].Length, 254);
  EXPECT_EQ(columns[2].ColType, ectBoolean);
  EXPECT_EQ(columns[2].Caption, "Flag");
  EXPECT_EQ(columns[2].Length, 0);
  EXPECT_EQ(columns[3].ColType, ectInteger);
  EXPECT_EQ(columns[3].Format, "#,###,##0");
  EXPECT_EQ(columns[4].ColType, ectString);  // a fixed-length text is text
  EXPECT_EQ(columns[4].SourceIndex, 5);
  EXPECT_EQ(columns[5].ColType, ectCurrency);
  EXPECT_EQ(columns[5].Format, exporter.Formats().CurrencyFormat());
  EXPECT_EQ(columns[6].ColType, ectDateTime);
  EXPECT_EQ(columns[6].Format, exporter.Formats().DateTimeFormat());
  EXPECT_EQ(columns[7].ColType, ectBigint);
  EXPECT_EQ(columns[7].Format, "#,###,##0");

  // Fill appends; a run empties the list first.
  columns.Fill(false);
  EXPECT_EQ(columns.Count(), 16);
  exporter.RunExport();
  EXPECT_EQ(columns.Count(), 8);
}

TEST_F(DatasetColumns, ChosenVisibleAndLargeObjectFields) {
  exporter.SetOnlyVisibleFields(true);
  fill();
  EXPECT_FALSE(names(columns).contains("Seq"));
  exporter.SetExportedFields({"memo", "seq", "CLSNO"});
  fill();
  // A chosen memo is exported, and may hold any length.
  EXPECT_EQ(names(columns), QStringList({"Memo", "ClsNo"}));
  EXPECT_EQ(columns[0].ColType, ectString);
  EXPECT_EQ(columns[0].Length, 254);
  exporter.SetOnlyVisibleFields(false);
  fill();
  EXPECT_EQ(names(columns), QStringList({"Memo", "Seq", "ClsNo"}));
  EXPECT_EQ(columns.SourceIndexOf(1, false), 3);
}

TEST_F(DatasetColumns, NameToValueListsOverrideTheSource) {
  exporter.SetCaptions({"clsno=", "CLSNAME=Name=Long", "Other=x"});
  exporter.SetUserFormats({"Flag=Yes;No", "seq="});
  exporter.SetColumnsLength({"ClsNo=99"});
  exporter.SetColumnsWidth({"ClsNo=12"});
  exporter.SetColumnsAlign({"ClsNo=center", "ClsName=x"});
  fill();
  EXPECT_EQ(columns[0].Caption, "");
  EXPECT_EQ(columns[1].Caption, "Name=Long");
  EXPECT_EQ(columns[2].Format, "Yes;No");
  EXPECT_EQ(columns[3].Format, "");
  // Dataset lengths come from the fields; this class offers no widths or alignment.
  EXPECT_EQ(columns[0].Length, 3);
  EXPECT_EQ(columns[0].Width, 3);
  EXPECT_EQ(columns[0].Align, eaLeft);

  exporter.offerAll = true;
  fill();
  EXPECT_EQ(columns[0].Width, 12);
  EXPECT_EQ(columns[0].Align, eaCenter);
  EXPECT_EQ(columns[1].Align, eaLeft);
  EXPECT_EQ(columns[2].Align, eaCenter);  // a boolean without an entry
  EXPECT_EQ(columns[3].Align, eaRight);   // a number without an entry
}

TEST_F(DatasetColumns, WithoutTheTargetSettingsNothingIsOverridden) {
  exporter.offerTargetSettings = false;
  exporter.SetCaptions({"ClsNo=Code"});
  fill();
  EXPECT_EQ(columns[0].Caption, "小分類編號");
  EXPECT_EQ(columns[3].Format, "");
}

TEST(FieldColType, ByFieldType) {
  auto data =
      makeDataset("q",
                  {fieldOf("a", db::ftFixedChar), fieldOf("b", db::ftGuid), fieldOf("c", db::ftBCD),
                   fieldOf("d", db::ftTime), fieldOf("e", db::ftBytes)},
                  {});
  EXPECT_EQ(FieldColType(&data->field(0)), ectUnknown);
  EXPECT_EQ(FieldColType(&data->field(1)), ectUnknown);
  EXPECT_EQ(FieldColType(&data->field(2)), ectFloat);
  EXPECT_EQ(FieldColType(&data->field(3)), ectTime);
  EXPECT_EQ(FieldColType(&data->field(4)), ectUnknown);
  EXPECT_EQ(FieldColType(nullptr), ectUnknown);
}

TEST(CustomColumns, TakeTheirDescriptionFromTheCustomColumns) {
  TCustomExportSource source;
  TCustomExportColumn& a = source.Columns().Add();
  a.SetColumnName("Amount");
  a.SetColumnType(ectFloat);
  a.SetCaption("金額");
  a.SetWidth(9);
  TCustomExportColumn& b = source.Columns().Add();
  b.SetSize(500);
  RecordingExporter exporter;
  exporter.SetExportSource(esCustom);
  exporter.SetCustomSource(&source);
  exporter.offerTargetSettings = true;
  // The second column took the first free name.
  EXPECT_EQ(b.ColumnName(), "Column0");
  exporter.SetExportedFields({"column0", "AMOUNT", "missing"});
  exporter.Columns().Fill(false);
  ASSERT_EQ(exporter.Columns().Count(), 2);
  EXPECT_EQ(exporter.Columns()[0].Name, "Column0");
  EXPECT_EQ(exporter.Columns()[0].Length, 254);
  EXPECT_EQ(exporter.Columns()[1].Caption, "金額");
  EXPECT_EQ(exporter.Columns()[1].Width, 9);
  EXPECT_EQ(exporter.Columns()[1].Format, "#,###,##0.00");
  EXPECT_EQ(exporter.Columns()[1].Length, 0);
}

}  // namespace
