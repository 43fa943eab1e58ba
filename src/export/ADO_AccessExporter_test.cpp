// The Access exporter over datasets held in memory, writing real Access files that the
// data layer and the reference readers read back.
#include "export/ADO_AccessExporter.h"

#include "ExportTestSupport.h"
#include "ReferenceReaders.h"

#include <db/Command.h>
#include <db/ValueText.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <QDate>
#include <QDir>
#include <QTemporaryDir>

using namespace dataexport;
using namespace dataexport::testing;

namespace {

QVariant when(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return db::ValueText::naive(QDate(y, m, d), QTime(h, n, s));
}

// The Classify columns: two labelled texts, a boolean and a text without label.
std::vector<db::FieldDef> classifyFields() {
  return {{.name = "ClsNo", .type = db::ftString, .size = 3, .label = "小分類編號"},
          {.name = "ClsName", .type = db::ftString, .size = 40, .label = "小分類名稱"},
          {.name = "Flag", .type = db::ftBoolean},
          {.name = "Void", .type = db::ftString, .size = 1}};
}

class AccessExporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    path_ = dir_.filePath("Classify.mdb");
  }
  void TearDown() override {
    if (!HasFailure() && QFile::exists(path_)) {
      EXPECT_EQ(jet::testing::mdbtoolsProblems(path_.toStdString()), "");
      if (compareReaders_) {
        EXPECT_EQ(jet::testing::readersDisagree(path_.toStdString()), "");
      }
    }
  }
  void run(db::Dataset& ds, const QString& table = "Classify") {
    exporter_.SetDatabaseName(path_);
    exporter_.SetDataSet(&ds);
    exporter_.SetTableName(table);
    exporter_.Execute();
  }
  QTemporaryDir dir_;
  QString path_;
  TADO_AccessExporter exporter_;
  bool compareReaders_ = true;
};

TEST_F(AccessExporterTest, MakesTheFileAndTableAndInsertsEveryRowInOrder) {
  auto ds = datasetOf(classifyFields(),
                      {{"001", "感冒藥", true, "N"}, {"002", "維他命", false, QVariant()}});
  EXPECT_EQ(exporter_.TableName(), "ExportResult");
  run(*ds);
  const AccessTable t = readAccess(path_, "Classify");
  EXPECT_EQ(t.names, QStringList({"小分類編號", "小分類名稱", "Flag", "Void"}));
  EXPECT_EQ(t.types,
            (std::vector<db::FieldType>{db::ftString, db::ftString, db::ftBoolean, db::ftString}));
  EXPECT_EQ(t.sizes, (std::vector<int>{3, 40, 0, 1}));
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0], QStringList({"001", "感冒藥", "True", "N"}));
  EXPECT_EQ(t.rows[1], QStringList({"002", "維他命", "False", "<null>"}));
  EXPECT_TRUE(ds->eof());  // the source stays where the run left it

  // A second run appends the rows again; the table is not made twice.
  run(*ds);
  EXPECT_EQ(readAccess(path_, "Classify").rows.size(), 4u);
}

TEST_F(AccessExporterTest, ColumnTypesFollowTheFields) {
  const std::vector<db::FieldDef> fields = {
      {.name = "Qty", .type = db::ftInteger},
      {.name = "Big", .type = db::ftLargeint},
      {.name = "Price", .type = db::ftFloat},
      {.name = "Cost", .type = db::ftCurrency},
      {.name = "Born", .type = db::ftDateTime},
      {.name = "Ok", .type = db::ftBoolean},
      {.name = "Short", .type = db::ftString, .size = 253},
      {.name = "Long", .type = db::ftString, .size = 300},
      {.name = "Raw", .type = db::ftFixedChar, .size = 10},
  };
  auto ds = datasetOf(fields, {{qint64(-7), qint64(2147483647), 0.1, 12.3456, when(1850, 2, 28),
                                true, QString(253, u'字'), QString(300, u'長'), "維他命C"},
                               {qint64(0), qint64(1), 1e-300, 0.0, when(2024, 2, 29, 13, 5, 9),
                                false, "a", "b", "c"}});
  run(*ds, "Types");
  compareReaders_ = false;  // mdbtools prints every date before 1900 as 1900-01-00
  const AccessTable t = readAccess(path_, "Types");
  EXPECT_EQ(t.types, (std::vector<db::FieldType>{db::ftInteger, db::ftInteger, db::ftFloat,
                                                 db::ftCurrency, db::ftDateTime, db::ftBoolean,
                                                 db::ftString, db::ftMemo, db::ftMemo}));
  EXPECT_EQ(t.sizes[6], 253);
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0], QStringList({"-7", "2147483647", "0.1", "12.3456", "1850/02/28", "True",
                                    QString(253, u'字'), QString(300, u'長'), "維他命C"}));
  EXPECT_EQ(t.rows[1],
            QStringList({"0", "1", "1E-300", "0", "2024/02/29 13:05:09", "False", "a", "b", "c"}));
}

TEST_F(AccessExporterTest, EmptyBlankAndNullCellsAreStoredAsNullOnEveryRow) {
  exporter_.Formats().SetNullString("  NULL ");
  auto ds = datasetOf(classifyFields(), {{"001", "  甲  ", true, "N"},
                                         {"002", "   ", QVariant(), ""},
                                         {"003", QVariant(), true, "NULL"},
                                         {"004", "\t乙\r\n", false, "Y"}});
  run(*ds);
  const AccessTable t = readAccess(path_, "Classify");
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.rows[0], QStringList({"001", "甲", "True", "N"}));
  // A NULL right after a value in the same column: the value is not repeated.
  EXPECT_EQ(t.rows[1], QStringList({"002", "<null>", "False", "<null>"}));
  EXPECT_EQ(t.rows[2], QStringList({"003", "<null>", "True", "<null>"}));
  EXPECT_EQ(t.rows[3], QStringList({"004", "乙", "False", "Y"}));
}

TEST_F(AccessExporterTest, ExistingFileAndTableAreKeptWhateverTheCaseOfTheName) {
  db::Connection c;
  c.setConnectionString(TAccessWriter::ConnectionText(path_));
  c.createDatabase();
  db::Command create;
  create.setConnectionString(TAccessWriter::ConnectionText(path_));
  create.setCommandText("create table Other ([x] integer)");
  create.execute();
  create.setCommandText(
      "create table CLASSIFY ([小分類編號] char(3),[小分類名稱] char(40),[Flag] LOGICAL,[Void] "
      "char(1))");
  create.execute();
  auto ds = datasetOf(classifyFields(), {{"001", "甲", true, "N"}});
  run(*ds);
  EXPECT_EQ(c.tableNames(), QStringList({"Other", "CLASSIFY"}));
  EXPECT_EQ(readAccess(path_, "Classify").rows.size(), 1u);
  EXPECT_EQ(readAccess(path_, "Other").rows.size(), 0u);
}

TEST_F(AccessExporterTest, WithoutAutoCreateTheMissingTableFailsBeforeAnyRow) {
  exporter_.SetAutoCreateTable(false);
  auto ds = datasetOf(classifyFields(), {{"001", "甲", true, "N"}});
  EXPECT_TRUE(errorOf([&] { run(*ds); }).contains("Classify"))
      << errorOf([&] { run(*ds); }).toStdString();
  db::Connection c;
  c.setConnectionString(TAccessWriter::ConnectionText(path_));
  EXPECT_TRUE(c.tableNames().isEmpty());  // the file was made, the table was not
}

TEST_F(AccessExporterTest, EmptySourceLeavesAnEmptyTable) {
  auto ds = datasetOf(classifyFields(), {});
  run(*ds);
  const AccessTable t = readAccess(path_, "Classify");
  EXPECT_EQ(t.names.size(), 4);
  EXPECT_TRUE(t.rows.empty());
}

TEST_F(AccessExporterTest, EmptyCaptionNamesTheColumnByItsPosition) {
  exporter_.SetCaptions({"clsno=", "Void=作廢"});
  auto ds = datasetOf(classifyFields(), {{"001", "甲", true, "N"}});
  run(*ds);
  EXPECT_EQ(readAccess(path_, "Classify").names,
            QStringList({"FIELD0", "小分類名稱", "Flag", "作廢"}));
}

TEST_F(AccessExporterTest, ShowingOrPrintingNeedsAccessButTheRowsAreWritten) {
  auto ds = datasetOf(classifyFields(), {{"001", "甲", true, "N"}});
  exporter_.SetShowFile(true);
  EXPECT_EQ(errorOf([&] { run(*ds); }), "You need install and register the MS Access application");
  exporter_.SetShowFile(false);
  exporter_.SetPrintFile(true);
  EXPECT_EQ(errorOf([&] { run(*ds); }), "You need install and register the MS Access application");
  EXPECT_EQ(readAccess(path_, "Classify").rows.size(), 2u);
}

TEST_F(AccessExporterTest, AValueTheTableCannotTakeStopsAtItsRowNamingKeyAndColumn) {
  // An operator's table whose name column is shorter than the POS field.
  db::Connection c;
  c.setConnectionString(TAccessWriter::ConnectionText(path_));
  c.createDatabase();
  db::Command create;
  create.setConnectionString(TAccessWriter::ConnectionText(path_));
  create.setCommandText(
      "create table Classify ([小分類編號] char(3),[小分類名稱] char(4),[Flag] LOGICAL,[Void] "
      "integer)");
  create.execute();
  exporter_.SetKeyField("ClsNo");
  auto ds = datasetOf(classifyFields(), {{"001", "甲", true, "1"},
                                         {"002", "維他命丸", false, "2"},
                                         {"003", "綜合維他命", true, "3"},
                                         {"004", "乙", true, "4"}});
  EXPECT_EQ(errorOf([&] { run(*ds); }).toStdString(),
            ("資料表 Classify ClsNo 為「003」的那一列：" + path_ +
             ": table \"Classify\", column \"小分類名稱\": the text has 5 characters, more than "
             "the column's 4")
                .toStdString());
  EXPECT_EQ(readAccess(path_, "Classify").rows.size(), 2u);  // the rows before stay

  // A text where the table wants a number; without a key field the row's number.
  exporter_.SetKeyField(QString());
  auto bad = datasetOf(classifyFields(), {{"005", "丙", true, "x"}});
  EXPECT_EQ(
      errorOf([&] { run(*bad); }),
      "資料表 Classify 第 1 列：" + path_ +
          ": table \"Classify\", column \"Void\": 「x」不是整數：這個欄位只能填整數（例如 12）");
  EXPECT_EQ(readAccess(path_, "Classify").rows.size(), 2u);
}

TEST_F(AccessExporterTest, ANumberOutOfTheColumnsRangeIsRefused) {
  exporter_.SetKeyField("No");
  auto ds = datasetOf(
      {{.name = "No", .type = db::ftString, .size = 5}, {.name = "Big", .type = db::ftLargeint}},
      {{"a", qint64(1)}, {"b", qint64(1) << 40}});
  const QString message = errorOf([&] { run(*ds, "Numbers"); });
  EXPECT_TRUE(message.startsWith("資料表 Numbers No 為「b」的那一列：")) << message.toStdString();
  EXPECT_TRUE(message.contains("column \"Big\": 1099511627776 is out of range"))
      << message.toStdString();
  EXPECT_EQ(readAccess(path_, "Numbers").rows.size(), 1u);
}

TEST_F(AccessExporterTest, AnIndexedTableIsRefusedBeforeTheFileChanges) {
  ASSERT_TRUE(QFile::copy(DATACONV_SHARED_DIR "/fixtures/jet4/indexTestV2000.mdb", path_));
  QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
  const QByteArray before = fileBytes(path_);
  auto ds = datasetOf(
      {{.name = "id", .type = db::ftInteger}, {.name = "data", .type = db::ftString, .size = 50}},
      {{qint64(1), "x"}});
  const QString message = errorOf([&] { run(*ds, "Table2"); });
  EXPECT_TRUE(message.contains("has an index (\"id\")")) << message.toStdString();
  EXPECT_TRUE(message.contains("Remove it in Microsoft Access")) << message.toStdString();
  EXPECT_EQ(fileBytes(path_), before);
}

TEST_F(AccessExporterTest, AFolderWhoseNameHoldsTheConnectionTextSeparatorsWorks) {
  ASSERT_TRUE(QDir(dir_.path()).mkpath("POS;Provider=x"));
  path_ = dir_.filePath("POS;Provider=x/Classify.mdb");
  auto ds = datasetOf(classifyFields(), {{"001", "甲", true, "N"}});
  run(*ds);
  EXPECT_EQ(readAccess(path_, "Classify").rows.size(), 1u);
}

// Numbers, booleans and dates whose text is still the one they were read as go into the
// table as values; anything else goes as text. Both must give the same table: the rows
// exported once as they come and once with every text copied by a handler (which sends
// each cell through its text) read back alike, at the edges of every type.
TEST_F(AccessExporterTest, ValuesStoredDirectlyMatchTheirTextsAtTheEdges) {
  const std::vector<db::FieldDef> fields = {
      {.name = "Qty", .type = db::ftInteger}, {.name = "Small", .type = db::ftSmallint},
      {.name = "Price", .type = db::ftFloat}, {.name = "Born", .type = db::ftDateTime},
      {.name = "Ok", .type = db::ftBoolean},  {.name = "Name", .type = db::ftString, .size = 10},
  };
  const std::vector<std::vector<QVariant>> rows = {
      {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
      {qint64(-2147483647 - 1), qint64(-32768), -0.0, when(1899, 12, 30), false, ""},
      {qint64(2147483647), qint64(32767), 123456789012.345678, when(1899, 12, 29, 6), true,
       QString(10, u'長')},
      {qint64(0), qint64(-1), 0.1, db::ValueText::naive(QDate(1850, 2, 28), QTime(13, 5, 9, 7)),
       true, "維他命C"},
      {qint64(-7), qint64(7), -1e-300, db::ValueText::naive(QDate(9999, 12, 31), QTime(23, 59, 59)),
       false, "  a  "},
      {qint64(42), qint64(0), 1e15, when(100, 1, 1), true, "x"},
  };
  auto ds = datasetOf(fields, rows);
  int direct = 0;
  exporter_.OnBeforeExportRow = [&](exportengine::TExporter&, exportengine::TExportRow& row,
                                    bool&) {
    for (int i = 0; i < row.Count(); ++i)
      if (row[i].SourceValue(row[i].Data)) ++direct;
  };
  run(*ds, "Direct");
  // Every number, boolean and date but the NULLs is offered as a value (minus zero too,
  // which the command then sends through its text "0").
  EXPECT_EQ(direct, 5 * 5);
  exporter_.OnBeforeExportRow = [&](exportengine::TExporter&, exportengine::TExportRow& row,
                                    bool&) {
    for (int i = 0; i < row.Count(); ++i) {
      row[i].Data = QString(row[i].Data.constData(), row[i].Data.size());
      EXPECT_EQ(row[i].SourceValue(row[i].Data), nullptr);
    }
  };
  ds->first();
  run(*ds, "Texts");
  compareReaders_ = false;  // mdbtools prints every date before 1900 as 1900-01-00
  const AccessTable values = readAccess(path_, "Direct");
  const AccessTable texts = readAccess(path_, "Texts");
  ASSERT_EQ(values.rows.size(), rows.size());
  EXPECT_EQ(values.types, texts.types);
  EXPECT_EQ(values.rows, texts.rows);
  EXPECT_EQ(values.rows[2][3], "1899/12/29 06:00:00");
  EXPECT_EQ(values.rows[3][3], "1850/02/28 13:05:09.007");
  EXPECT_EQ(values.rows[1][2], "0");
}

// A handler that changes a number's text in place changes what is stored.
TEST_F(AccessExporterTest, ATextChangedInPlaceIsStoredAsChanged) {
  auto ds =
      datasetOf({{.name = "Price", .type = db::ftFloat}, {.name = "Qty", .type = db::ftInteger}},
                {{12.5, qint64(3)}});
  exporter_.OnBeforeExportRow = [](exportengine::TExporter&, exportengine::TExportRow& row, bool&) {
    row[0].Data[0] = u'7';     // "72.5"
    row[1].Data.append(u'0');  // "30"
  };
  run(*ds, "Changed");
  EXPECT_EQ(readAccess(path_, "Changed").rows[0], QStringList({"72.5", "30"}));
}

}  // namespace
