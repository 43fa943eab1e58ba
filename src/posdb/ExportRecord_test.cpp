#include "posdb/ExportRecord.h"

#include <db/Dataset.h>
#include <db/ValueText.h>
#include <platform/ProgramFolder.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

namespace posdb {
namespace {

class ExportRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setProgramFolderForTesting(dir_.path()); }
  void TearDown() override { platform::setProgramFolderForTesting(QString()); }
  QTemporaryDir dir_;
};

// Every kind of value comes back as it was written, NULLs apart from empty texts.
TEST_F(ExportRecordTest, EveryKindOfValueReadsBackAsWritten) {
  db::ResultSet rs;
  rs.columns = {{"Code", db::ftString, 8}, {"Qty", db::ftInteger},   {"Price", db::ftFloat},
                {"Flag", db::ftBoolean},   {"Made", db::ftDateTime}, {"Note", db::ftString, 60}};
  const QDateTime made = db::ValueText::naive(QDate(1850, 2, 28), QTime(13, 5, 9, 997));
  const std::vector<std::vector<QVariant>> rows = {
      {QString("A1"), qint64(-2147483648LL), 0.30000000000000004, true, made,
       QString("土地銀行\U0001F600")},
      {QString("A2"), QVariant(), QVariant(), false, QVariant(), QString("")},
      {QString("A3"), qint64(7), 1e-7, QVariant(), made.addDays(100000), QVariant()},
  };
  for (const auto& row : rows)
    for (const QVariant& v : row) rs.cells.push_back(v);
  db::Dataset query(QStringLiteral("qryTest"));
  query.open(std::move(rs));
  ExportRecord::write("Test", query, "Code");
  EXPECT_EQ(QFile::permissions(ExportRecord::path("Test")),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

  const std::optional<ExportRecord> record = ExportRecord::read("Test");
  ASSERT_TRUE(record);
  const QStringList names = {"Code", "Qty", "Price", "Flag", "Made", "Note"};
  for (const auto& row : rows)
    for (int c = 0; c < names.size(); ++c) {
      const std::optional<QVariant> v = record->value(row[0].toString(), names[c].toLower());
      ASSERT_TRUE(v) << names[c].toStdString();
      EXPECT_EQ(v->isValid(), row[size_t(c)].isValid()) << names[c].toStdString();
      if (row[size_t(c)].isValid()) {
        EXPECT_EQ(*v, row[size_t(c)]) << names[c].toStdString();
      }
    }
  EXPECT_EQ(record->value("A2", "Note")->toString(), QString(""));
  EXPECT_FALSE(record->value("A9", "Qty"));
  EXPECT_FALSE(record->value("A1", "Missing"));
}

TEST_F(ExportRecordTest, AMissingOrDamagedRecordIsNone) {
  EXPECT_FALSE(ExportRecord::read("Nothing"));
  db::ResultSet rs;
  rs.columns = {{"Code", db::ftString, 8}, {"Note", db::ftString, 60}};
  for (int i = 0; i < 50; ++i) {
    rs.cells.push_back(QString("K%1").arg(i));
    rs.cells.push_back(QString("備註 %1").arg(i));
  }
  db::Dataset query(QStringLiteral("qryTest"));
  query.open(std::move(rs));
  ExportRecord::write("Test", query, "Code");
  QFile file(ExportRecord::path("Test"));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  const QByteArray whole = file.readAll();
  for (const qsizetype cut : {qsizetype(3), qsizetype(20), whole.size() - 5}) {
    file.resize(cut);
    file.seek(0);
    file.write(whole.left(cut));
    file.flush();
    EXPECT_FALSE(ExportRecord::read("Test")) << cut;
  }
}

}  // namespace
}  // namespace posdb
