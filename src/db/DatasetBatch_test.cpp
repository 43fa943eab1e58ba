// Batches whose values are written into the statement's text: each literal must stand
// for exactly the value its parameter would have carried, on the TDS test server as on
// SQL Server, and a batch of literals must keep every row's exact checks.
#include "SqlLiteral.h"
#include "TestDatabase.h"
#include "db/Dataset.h"
#include "db/ResultSet.h"
#include "db/ValueText.h"

#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace db {
namespace {

using testing::TestDatabase;

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(SqlLiteralTest, AQuotientGivesBackTheVeryDouble) {
  for (double d : {0.1, 99.99, 12.5, -2.5, 1e-7, 123456.789, 0.0, 7.0, 9007199254740991.0,
                   12345678.90123, 1e-18, 4.35, 1.005, -0.07}) {
    const auto q = sqlliteral::quotientOf(d);
    ASSERT_TRUE(q.has_value()) << d;
    EXPECT_TRUE(sameBits(double(q->dividend) / double(q->divisor), d)) << d;
  }
  EXPECT_EQ(sqlliteral::quotientOf(123456.789)->dividend, 123456789);
  EXPECT_EQ(sqlliteral::quotientOf(123456.789)->divisor, 1000);
  // Seventeen digits: the double's own bits over a power of two.
  const qint64 two = sqlliteral::quotientOf(0.1 + 0.2)->divisor;
  EXPECT_TRUE(two > 1 && (two & (two - 1)) == 0) << two;
  EXPECT_TRUE(sqlliteral::quotientOf(12345678.901234567).has_value());
  // No quotient of numbers a double holds exactly: these go as parameters.
  for (double d : {std::nan(""), std::numeric_limits<double>::infinity(), -0.0, 1e20,
                   9007199254740993.0 + 1, 5e-324, 1e-19, 1.7976931348623157e308})
    EXPECT_FALSE(sqlliteral::quotientOf(d).has_value()) << d;
  // Prices as typed, and doubles of every kind: whatever has a quotient is exact.
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    double d;
    if (i % 2) {
      d = double(std::int64_t(random() % 100000000) - 50000000) / 100.0;
    } else {
      const std::uint64_t bits = random();
      std::memcpy(&d, &bits, sizeof d);
    }
    if (const auto q = sqlliteral::quotientOf(d))
      ASSERT_TRUE(sameBits(double(q->dividend) / double(q->divisor), d)) << d;
    else
      ASSERT_TRUE(i % 2 == 0) << d;
  }
}

TEST(SqlLiteralTest, ValuesWithoutAFaithfulLiteralGoAsParameters) {
  EXPECT_TRUE(sqlliteral::fits(QStringLiteral("O'Brien -- /* \\ */"), ftString));
  EXPECT_TRUE(sqlliteral::fits(QString::fromUtf8("藥 😀"), ftWideString));
  EXPECT_FALSE(sqlliteral::fits(QString(QChar(0)) + "a", ftString));
  EXPECT_FALSE(sqlliteral::fits(QString(QChar(0xd800)) + "a", ftString));
  EXPECT_FALSE(sqlliteral::fits(QStringLiteral("12.5"), ftFloat));
  EXPECT_TRUE(sqlliteral::fits(QVariant(0.1 + 0.2), ftFloat));
  EXPECT_FALSE(sqlliteral::fits(QVariant(1e20), ftFloat));
  EXPECT_FALSE(sqlliteral::fits(QVariant(QByteArray("ab")), ftVarBytes));
  EXPECT_TRUE(
      sqlliteral::fits(QVariant(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6))), ftDateTime));
  EXPECT_FALSE(sqlliteral::fits(QVariant(QDate(2026, 1, 2)), ftDate));

  QString sql;
  sqlliteral::append(sql, QStringLiteral("it's"), ftString, sqlliteral::FloatForm::Pair);
  sql += u' ';
  sqlliteral::append(sql, QString::fromUtf8("藥'"), ftString, sqlliteral::FloatForm::Pair);
  sql += u' ';
  sqlliteral::append(sql, QVariant(qint64(3000000000)), ftInteger, sqlliteral::FloatForm::Pair);
  sql += u' ';
  sqlliteral::append(sql, QVariant(-2.5), ftFloat, sqlliteral::FloatForm::Pair);
  sql += u' ';
  sqlliteral::append(sql, QVariant(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6))), ftDateTime,
                     sqlliteral::FloatForm::Pair);
  EXPECT_EQ(sql.toStdString(),
            "'it''s' N'藥''' CAST(3000000000 AS bigint) -25, 10 "
            "'2026-01-02T03:04:05.006'");
}

// Rows K01.. of a table that every kind of column the literals cover.
class LiteralBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    db_ = std::make_unique<TestDatabase>(TestDatabase::Engine::Tds);
    if (!db_->available()) GTEST_SKIP() << db_->unavailableReason().toStdString();
    conn_ = db_->connect();
  }

  void make(const QString& table, int rows) {
    QStringList values;
    for (int i = 1; i <= rows; ++i)
      values << QStringLiteral("('K%1', 'name %2', N'名 %2', %2, %2, %2, 0, '2020-01-01')")
                    .arg(i, 2, 10, QLatin1Char('0'))
                    .arg(i);
    db_->run(QStringLiteral("CREATE TABLE %1 (K varchar(8) NOT NULL PRIMARY KEY, T varchar(40), "
                            "W nvarchar(40), F float, I int, B bigint, Flag bit, D datetime);"
                            "INSERT INTO %1 VALUES %2")
                 .arg(table, values.join(u',')));
  }

  void open(Dataset& ds, const QString& table) {
    ds.setConnection(conn_.get());
    ds.setSql("select * from " + table);
    ds.setKeyFields({"K"});
    ds.addField({.name = "K", .type = ftString, .size = 8});
    ds.addField({.name = "T", .type = ftString, .size = 40});
    ds.addField({.name = "W", .type = ftWideString, .size = 40});
    ds.addField({.name = "F", .type = ftFloat});
    ds.addField({.name = "I", .type = ftInteger});
    ds.addField({.name = "B", .type = ftLargeint});
    ds.addField({.name = "Flag", .type = ftBoolean});
    ds.addField({.name = "D", .type = ftDateTime});
    ds.open();
  }

  // Edits each row as `edit` says and posts the rows in batches, as the import does;
  // the first failure's text, or "no error", and how many rows were written.
  template <typename Edit>
  std::pair<QString, int> post(Dataset& ds, int rows, Edit edit) {
    int written = 0;
    QString error = "no error";
    auto flush = [&] {
      const Dataset::Flushed f = ds.flushPosts();
      written += f.written;
      if (!f.failure) return true;
      try {
        std::rethrow_exception(f.failure);
      } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
      }
      return false;
    };
    for (int i = 1; i <= rows; ++i) {
      EXPECT_TRUE(ds.locate("K", QStringLiteral("K%1").arg(i, 2, 10, QLatin1Char('0'))));
      ds.edit();
      edit(ds, i);
      Dataset::Queue q = ds.queuePost(1000);
      if (q == Dataset::Queue::Full) {
        if (!flush()) return {error, written};
        q = ds.queuePost(1000);
      }
      if (q == Dataset::Queue::Single) {
        if (!flush()) return {error, written};
        ds.post();
        ++written;
      }
    }
    flush();
    return {error, written};
  }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> conn_;
};

// Values the literals must carry exactly, beside some that have none (they go as
// parameters between batches of literals).
const std::vector<QVariant> kFloats = {0.1, 99.99, -2.5, 1e-7,      123456.789, 12345678.901234567,
                                       0.0, 1.005, 4.35, 0.1 + 0.2, 1e20,       9007199254740991.0};
const QStringList kTexts = {"O'Brien",   "a''b",   "back\\slash", "-- no comment", "/* no */",
                            "trailing ", "TAB\tx", "abc",         "ABC",           "x'; DROP"};
const QStringList kWide = {"名'稱", "ＡＢＣ", "😀", "末尾　", "abc"};

TEST_F(LiteralBatchTest, LiteralsWriteExactlyWhatParametersWrite) {
  const int rows = int(kFloats.size());
  make("ByText", rows);
  make("ByParam", rows);
  Dataset byText("byText"), byParam("byParam");
  open(byText, "ByText");
  open(byParam, "ByParam");
  byParam.setLiteralBatches(false);
  auto edit = [](Dataset& ds, int i) {
    const size_t k = size_t(i - 1);
    ds.fieldByName("T").setAsString(kTexts[qsizetype(k % size_t(kTexts.size()))]);
    ds.fieldByName("W").setAsString(kWide[qsizetype(k % size_t(kWide.size()))]);
    ds.fieldByName("F").setValue(kFloats[k]);
    ds.fieldByName("I").setValue(i % 2 ? -2147483647 : 2147483647);
    ds.fieldByName("B").setValue(qint64(-3000000000) * i);
    ds.fieldByName("Flag").setValue(i % 2 == 1);
    ds.fieldByName("D").setValue(QDateTime(QDate(1999 + i, 12, 31), QTime(23, 59, 58, 990)));
  };
  EXPECT_EQ(post(byText, rows, edit), std::make_pair(QString("no error"), rows));
  EXPECT_EQ(post(byParam, rows, edit), std::make_pair(QString("no error"), rows));

  Dataset a("a"), b("b");
  open(a, "ByText");
  open(b, "ByParam");
  ASSERT_EQ(a.recordCount(), rows);
  for (int i = 1; i <= rows; ++i) {
    const QString key = QStringLiteral("K%1").arg(i, 2, 10, QLatin1Char('0'));
    ASSERT_TRUE(a.locate("K", key) && b.locate("K", key));
    for (const char* field : {"T", "W", "I", "B", "Flag", "D"})
      EXPECT_EQ(a.fieldByName(field).value(), b.fieldByName(field).value())
          << key.toStdString() << field;
    EXPECT_TRUE(sameBits(a.fieldByName("F").value().toDouble(), kFloats[size_t(i - 1)].toDouble()))
        << key.toStdString();
    EXPECT_TRUE(sameBits(b.fieldByName("F").value().toDouble(), kFloats[size_t(i - 1)].toDouble()))
        << key.toStdString();
  }
  EXPECT_EQ(db_->connect()->select("SELECT COUNT(*) FROM ByText").cells[0].toInt(), rows);
}

// The server finds "Name 3" equal to "name 3"; the row read as "name 3" was changed since,
// so the batch is rolled back and its rows posted one by one up to that one.
TEST_F(LiteralBatchTest, AChangeOnlyInCaseIsStillAConflictInABatchOfLiterals) {
  make("Cased", 5);
  Dataset ds("cased");
  open(ds, "Cased");
  db_->run("UPDATE Cased SET T = 'NAME 3' WHERE K = 'K03'");
  const auto [error, written] = post(ds, 5, [](Dataset& d, int i) {
    d.fieldByName("T").setAsString(QStringLiteral("new %1").arg(i));
  });
  EXPECT_EQ(written, 2);
  EXPECT_TRUE(error.contains("K03")) << error.toStdString();
  Dataset check("check");
  open(check, "Cased");
  ASSERT_TRUE(check.locate("K", "K02"));
  EXPECT_EQ(check.fieldByName("T").asString(), "new 2");
  ASSERT_TRUE(check.locate("K", "K03"));
  EXPECT_EQ(check.fieldByName("T").asString(), "NAME 3");
  ASSERT_TRUE(check.locate("K", "K04"));
  EXPECT_EQ(check.fieldByName("T").asString(), "name 4");
}

// Appends held together though they assign different columns: a column a row leaves out
// gets the table's default, one it assigns NULL stays NULL, as with single posts.
TEST_F(LiteralBatchTest, AppendsOfDifferentColumnsTravelTogetherWithTheirDefaults) {
  db_->run(
      "CREATE TABLE Added (K varchar(8) NOT NULL PRIMARY KEY, T varchar(10) DEFAULT 'dflt', "
      "F float DEFAULT 1.5, D datetime)");
  Dataset ds("added");
  ds.setConnection(conn_.get());
  ds.setSql("select * from Added");
  ds.setKeyFields({"K"});
  ds.open();
  struct Row {
    const char* key;
    QVariant t, f;  // invalid: not assigned
  };
  const std::vector<Row> rows = {{"A1", QString("x"), QVariant()},
                                 {"A2", QVariant(), 0.1 + 0.2},
                                 {"A3", QVariant(QMetaType(QMetaType::QString)), QVariant()},
                                 {"A4", QString("it's"), 12.5}};
  for (const Row& r : rows) {
    ds.append();
    ds.fieldByName("K").setAsString(r.key);
    if (r.t.isValid() || r.t.metaType().isValid()) ds.fieldByName("T").setValue(r.t);
    if (r.f.isValid()) ds.fieldByName("F").setValue(r.f);
    ASSERT_EQ(ds.queuePost(1000), Dataset::Queue::Queued) << r.key;
  }
  const Dataset::Flushed flushed = ds.flushPosts();
  EXPECT_EQ(flushed.written, 4);
  EXPECT_FALSE(flushed.failure);
  const ResultSet rs = db_->connect()->select("SELECT K, T, F FROM Added ORDER BY K");
  ASSERT_EQ(rs.rowCount(), 4);
  auto cell = [&](int row, int column) { return rs.cells[size_t(row * 3 + column)]; };
  EXPECT_EQ(cell(0, 1).toString(), "x");
  EXPECT_EQ(cell(0, 2).toDouble(), 1.5);
  EXPECT_EQ(cell(1, 1).toString(), "dflt");
  EXPECT_TRUE(sameBits(cell(1, 2).toDouble(), 0.1 + 0.2));
  EXPECT_TRUE(isNullValue(cell(2, 1)));
  EXPECT_EQ(cell(3, 1).toString(), "it's");
  EXPECT_EQ(cell(3, 2).toDouble(), 12.5);
}

}  // namespace
}  // namespace db
