// Texts over SQL Server's protocol: the server keeps varchar columns in its code page
// (two bytes a Chinese character) while FreeTDS carries them as UTF-8 (three), so a
// reader that cut a value by the column's declared size would split characters.
#include "TestDatabase.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Dataset.h"
#include "db/Field.h"

#include <gtest/gtest.h>

namespace db {
namespace {

using testing::TestDatabase;

class OdbcTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TestDatabase>(TestDatabase::Engine::Tds);
    if (!db_->available()) GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
    c_ = db_->connect();
  }

  // Writes every text through a prepared statement and reads the table back.
  QStringList roundTrip(const QString& type, const QStringList& texts) {
    c_->execute("CREATE TABLE T (Id int PRIMARY KEY, V " + type + ")");
    Command insert;
    insert.setConnection(c_.get());
    insert.setCommandText("INSERT INTO T (Id, V) VALUES (:Id, :V)");
    insert.setParamType(0, ftInteger);
    insert.setParamType(1, ftString);
    for (int i = 0; i < texts.size(); ++i) {
      insert.setParamText(0, QString::number(i));
      insert.setParamText(1, texts[i]);
      insert.execute();
    }
    const ResultSet rs = c_->select("SELECT V FROM T ORDER BY Id");
    QStringList out;
    for (size_t i = 0; i < rs.cells.size(); ++i) out << rs.cells[i].toString();
    c_->execute("DROP TABLE T");
    return out;
  }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> c_;
};

TEST_F(OdbcTextTest, ChineseTextsOfEveryLengthUpToTheColumnsWidthReadBackWhole) {
  // Full-width letters, a rare character that both code pages have, the common ones.
  const QString pool = QStringLiteral("土地銀行ＡＢＣ１２３堃喆銹裏碁");
  for (const int width : {2, 10, 40, 60}) {
    SCOPED_TRACE(width);
    QStringList texts;
    for (int n = 1; n <= width / 2; ++n) {
      QString t;
      for (int i = 0; i < n; ++i) t += pool.at((i + n) % pool.size());
      texts << t;
    }
    // Latin and Chinese mixed, the last character at every byte position.
    for (int lead = 0; lead < 3 && lead < width; ++lead)
      texts << QString(lead, u'x') + QString((width - lead) / 2, QChar(0x571F));
    EXPECT_EQ(roundTrip(QStringLiteral("varchar(%1)").arg(width), texts), texts);
  }
}

TEST_F(OdbcTextTest, LongTextsAreJoinedWholeAcrossTheDriversPieces) {
  // A column of no declared size is read in pieces of 4,095 UTF-16 units: characters
  // and surrogate pairs land on both sides of every piece's end.
  QStringList texts;
  for (const int n : {4093, 4094, 4095, 4096, 4097, 8190, 8191, 12000}) {
    QString t;
    for (int i = 0; i < n; ++i) t += QChar(0x4E00 + i % 500);
    texts << t;
    texts << t.left(n - 1) + QStringLiteral("\U0001F600");
  }
  texts << QString() << QStringLiteral("短");
  const QStringList back = roundTrip(QStringLiteral("nvarchar(max)"), texts);
  ASSERT_EQ(back.size(), texts.size());
  for (qsizetype i = 0; i < texts.size(); ++i) EXPECT_EQ(back[i], texts[i]) << i;
}

TEST_F(OdbcTextTest, EmptyTextsAndNullsStayApart) {
  c_->execute("CREATE TABLE T (Id int PRIMARY KEY, V varchar(10))");
  c_->execute("INSERT INTO T VALUES (1, ''), (2, NULL), (3, ' ')");
  const ResultSet rs = c_->select("SELECT V FROM T ORDER BY Id");
  ASSERT_EQ(rs.rowCount(), 3);
  EXPECT_FALSE(rs.cells[0].isNull());
  EXPECT_EQ(rs.cells[0].toString(), QString());
  EXPECT_FALSE(rs.cells[1].isValid());
  EXPECT_EQ(rs.cells[2].toString(), QStringLiteral(" "));
}

}  // namespace
}  // namespace db
