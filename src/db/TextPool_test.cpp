// Repeated texts of a column end up sharing one copy; everything else keeps its value.
#include "TextPool.h"

#include <gtest/gtest.h>

namespace {

const QChar* dataOf(const QVariant& v) {
  return static_cast<const QString*>(v.constData())->constData();
}

TEST(TextPool, RepeatedTextsShareOneCopyAndEveryValueStaysAsItWas) {
  db::TextPool pool(3);
  std::vector<QVariant> flags, names, numbers;
  for (int i = 0; i < 5000; ++i) {
    // Fresh strings each time, as a driver makes them.
    flags.emplace_back(QString::fromUtf8(i % 3 ? "應稅" : "N"));
    names.emplace_back(QStringLiteral("品名%1").arg(i));
    numbers.emplace_back(qint64(i % 3));
    pool.share(0, flags.back());
    pool.share(1, names.back());
    pool.share(2, numbers.back());
  }
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(flags[size_t(i)].toString(), i % 3 ? "應稅" : "N");
    ASSERT_EQ(names[size_t(i)].toString(), QStringLiteral("品名%1").arg(i));
    ASSERT_EQ(numbers[size_t(i)].toLongLong(), i % 3);
  }
  EXPECT_EQ(dataOf(flags[1]), dataOf(flags[4999]));  // 應稅
  EXPECT_EQ(dataOf(flags[0]), dataOf(flags[4998]));  // N
  EXPECT_NE(dataOf(names[1]), dataOf(names[2]));

  // A shared text changed in one cell changes nowhere else.
  QVariant changed = flags[3];
  QString text = changed.toString();
  text[0] = u'X';
  changed = text;
  EXPECT_EQ(flags[3].toString(), "N");
  EXPECT_EQ(flags[6].toString(), "N");
}

TEST(TextPool, LongTextsAndNullsAreLeftAlone) {
  db::TextPool pool(1);
  const QString longText(41, u'字');
  QVariant a{QString(41, u'字')}, b{QString(41, u'字')}, null;
  pool.share(0, a);
  pool.share(0, b);
  pool.share(0, null);
  EXPECT_NE(dataOf(a), dataOf(b));
  EXPECT_EQ(b.toString(), longText);
  EXPECT_FALSE(null.isValid());
}

}  // namespace
