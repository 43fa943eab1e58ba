#include "exportengine/ExportCustomSource.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace exportengine;

namespace {

TEST(CustomExportColumns, NamesAreUniqueWithoutRegardToCase) {
  TCustomExportSource source;
  TCustomExportColumns& columns = source.Columns();
  TCustomExportColumn& first = columns.Add();
  EXPECT_EQ(first.ColumnName(), "Column0");
  EXPECT_EQ(first.Caption(), "Column0");
  EXPECT_EQ(first.ColumnType(), ectString);
  EXPECT_EQ(first.Width(), 15);
  EXPECT_EQ(first.Size(), 15);
  TCustomExportColumn& second = columns.Add();
  EXPECT_EQ(second.ColumnName(), "Column1");
  second.SetColumnName("tmp");
  second.SetColumnName("column1");
  first.SetColumnName("Other");
  first.SetColumnName("Column0");
  EXPECT_EQ(columns.Add().ColumnName(), "Column2");

  second.SetColumnName("COLUMN1");  // its own name in other letters
  EXPECT_EQ(second.ColumnName(), "column1");
  second.SetColumnName("COLUMN0");  // another column's name
  EXPECT_EQ(second.ColumnName(), "column1");
  second.SetColumnName("");
  EXPECT_EQ(second.ColumnName(), "column1");
  EXPECT_EQ(second.DisplayName(), "column1");

  EXPECT_EQ(columns.IndexOf("COLUMN2"), 2);
  EXPECT_EQ(columns.IndexOf("none"), -1);
  EXPECT_EQ(source.FindColumn("COLUMN0"), &first);
  EXPECT_EQ(source.ColumnCount(), 3);
  EXPECT_EQ(columns[2].Index(), 2);

  TCustomExportSource copy;
  copy.SetColumns(columns);
  ASSERT_EQ(copy.ColumnCount(), 3);
  EXPECT_EQ(copy.Columns()[1].ColumnName(), "column1");
  EXPECT_EQ(copy.Columns()[1].Collection(), &copy.Columns());
}

TEST(CustomExportSource, ReadsRowsUntilTheHandlerSaysEof) {
  TCustomExportSource source;
  TCustomExportColumn& column = source.Columns().Add();
  EXPECT_TRUE(source.AtEnd());  // no handler: nothing to read
  EXPECT_EQ(column.ValueText(), "");

  QList<int> asked;
  source.OnGetNextRecord = [&](TCustomExportSource&, int recNo, bool& eof) {
    asked << recNo;
    eof = recNo == 2;
  };
  EXPECT_FALSE(source.AtEnd());
  EXPECT_EQ(source.RecNo(), 1);
  source.Next();
  EXPECT_EQ(source.RecNo(), 2);
  source.Next();
  EXPECT_TRUE(source.AtEnd());
  EXPECT_EQ(source.RecNo(), 2);
  source.Next();
  EXPECT_EQ(asked, QList<int>({1, 2}));
  source.First();
  EXPECT_FALSE(source.AtEnd());
  EXPECT_EQ(source.RecNo(), 1);
}

TEST(CustomExportSource, ValuesAsText) {
  TCustomExportSource source;
  TCustomExportColumn& column = source.Columns().Add();
  QVariant next;
  source.OnGetColumnValue = [&](TCustomExportSource&, int, TCustomExportColumn& c, QVariant& v) {
    EXPECT_EQ(&c, &column);
    EXPECT_TRUE(v.isNull());
    v = next;
  };
  EXPECT_EQ(column.ValueText(), "");
  next = 12;
  EXPECT_EQ(column.ValueText(), "12");
  next = 2.5;
  EXPECT_EQ(column.ValueText(), "2.5");
  next = QDateTime(QDate(2024, 5, 1), QTime(0, 0));
  EXPECT_EQ(column.ValueText(), "2024/05/01");
  next = QStringLiteral("文字");
  EXPECT_EQ(column.ValueText(), "文字");
  next = true;
  EXPECT_EQ(column.ValueText(), "True");
}

}  // namespace
