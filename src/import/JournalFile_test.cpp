// The journal file on its own: values of every kind kept exactly, the log of a run
// that was cut short (even in the middle of a write) taken in by the next reader.
#include "import/JournalFile.h"

#include "JournalRecords.h"

#include <platform/Error.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

namespace dataimport {
namespace {

RowChange sample(const QString& key) {
  RowChange c{"Item", "ItemNo", key, RowChange::Action::Update, {}};
  c.cells.push_back({"PtName", db::ftString, QStringLiteral("維他命Ｃ"), QString("")});
  c.cells.push_back({"Notes", db::ftMemo, QVariant(), QStringLiteral("含, \"引號\"\n換行")});
  c.cells.push_back({"Price", db::ftFloat, 0.30000000000000004, -1e-300});
  c.cells.push_back({"StkQty", db::ftInteger, qint64(-2147483648LL), qint64(9007199254740993LL)});
  c.cells.push_back({"Void", db::ftBoolean, false, true});
  c.cells.push_back({"MTDate", db::ftDateTime, QDateTime(QDate(1850, 2, 28), QTime(0, 0), Qt::UTC),
                     QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9, 250), Qt::UTC)});
  c.cells.push_back({"Photo", db::ftBlob, QByteArray("\0\1\2", 3), QVariant()});
  return c;
}

void expectSame(const RowChange& a, const RowChange& b) {
  EXPECT_EQ(a.table, b.table);
  EXPECT_EQ(a.key, b.key);
  EXPECT_EQ(a.action, b.action);
  ASSERT_EQ(a.cells.size(), b.cells.size());
  for (size_t i = 0; i < a.cells.size(); ++i) {
    const auto &x = a.cells[i], &y = b.cells[i];
    EXPECT_EQ(x.column, y.column);
    EXPECT_EQ(x.type, y.type);
    // NULL stays apart from an empty text.
    EXPECT_EQ(x.before.isValid(), y.before.isValid()) << x.column.toStdString();
    EXPECT_EQ(x.after.isValid(), y.after.isValid()) << x.column.toStdString();
    EXPECT_TRUE(sameValue(x.before, y.before)) << x.column.toStdString();
    EXPECT_TRUE(sameValue(x.after, y.after)) << x.column.toStdString();
  }
}

TEST(JournalFile, KeepsEveryKindOfValueExactlyAndDropsARemovedEntry) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  {
    const auto j = JournalFile::create(path, run);
    j->addSource({"Item", "/opt/x/Item.mdb", QDateTime(QDate(2026, 1, 2), QTime(3, 4))});
    j->add(sample("A"));
    const qint64 failed = j->add(sample("B"));
    j->remove(failed);
    RowChange append{"Customer", "CustNo", "M1", RowChange::Action::Append, {}};
    append.cells.push_back({"CustNo", db::ftString, QVariant(), QStringLiteral("M1")});
    j->add(append);
    j->finish(true);
  }
  EXPECT_FALSE(QFile::exists(path + "-log"));
  const auto j = JournalFile::open(path);
  const std::vector<RowChange> entries = j->entries();
  ASSERT_EQ(entries.size(), 2u);
  expectSame(entries[0], sample("A"));
  EXPECT_EQ(entries[1].action, RowChange::Action::Append);
  EXPECT_EQ(j->counts().updates, 1);
  EXPECT_EQ(j->counts().appends, 1);
  EXPECT_EQ(j->run().user, "anna");
  EXPECT_EQ(j->run().outcome, "completed");
  ASSERT_EQ(j->sources().size(), 1u);
  EXPECT_EQ(j->sources()[0].modified, QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
}

TEST(JournalFile, ARunCutShortIsTakenInByTheNextReaderUpToItsLastWholeEntry) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  {
    auto j = JournalFile::create(path, run);
    for (int i = 0; i < 3; ++i) j->add(sample(QString::number(i)));
    // Destroyed without finish(), as a killed program leaves it; then the start of a
    // fourth record that never completed.
  }
  QFile log(path + "-log");
  ASSERT_TRUE(log.open(QIODevice::ReadWrite));
  const qsizetype end = JournalRecords::intactLength(log.readAll());
  ASSERT_GT(end, 0);
  log.seek(end);
  log.write(QByteArray("\x40\x00\x00\x00\x12\x34", 6));
  log.close();

  const auto j = JournalFile::open(path);
  EXPECT_FALSE(QFile::exists(path + "-log"));
  EXPECT_EQ(j->run().outcome, "interrupted");
  EXPECT_TRUE(j->run().finished.isEmpty());
  const std::vector<RowChange> entries = j->entries();
  ASSERT_EQ(entries.size(), 3u);
  expectSame(entries[2], sample("2"));
  EXPECT_EQ(j->counts().updates, 3);
  // Taken in once: a second reader finds the same.
  EXPECT_EQ(JournalFile::open(path)->entries().size(), 3u);
}

TEST(JournalFile, SomethingElseIsNotAJournal) {
  QTemporaryDir dir;
  QFile other(dir.filePath("x.sqlite"));
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write("not a database at all, just text");
  other.close();
  try {
    JournalFile::open(other.fileName());
    FAIL();
  } catch (const platform::Error& e) {
    EXPECT_TRUE(e.message().startsWith("無法讀取匯入記錄 " + other.fileName() + "："))
        << e.message().toStdString();
  }
}

}  // namespace
}  // namespace dataimport
