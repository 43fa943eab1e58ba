// The journal file on its own: values of every kind kept exactly, the log of a run
// that was cut short (even in the middle of a write) taken in by the next reader.
#include "journal/JournalFile.h"

#include "JournalRecords.h"

#include <platform/Error.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <limits>

#include <signal.h>
#include <sys/resource.h>

namespace journal {
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
    EXPECT_EQ(QFile::permissions(path + "-log"),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    j->finish(true);
  }
  EXPECT_FALSE(QFile::exists(path + "-log"));
  // Private to its owner: it holds members' personal data.
  EXPECT_EQ(QFile::permissions(path),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
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

TEST(JournalFile, PacksValuesAtTheEdgesOfTheirRangesExactly) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  RowChange c{"Item", "ItemNo", QString(), RowChange::Action::Update, {}};
  const qint64 wholes[] = {0,
                           -1,
                           63,
                           -64,
                           64,
                           127,
                           128,
                           std::numeric_limits<qint64>::max(),
                           std::numeric_limits<qint64>::min()};
  for (qint64 v : wholes) c.cells.push_back({"W", db::ftLargeint, qint64(v / -3), v});
  // The last character of Latin-1 and the first past it, a lone surrogate, a NUL.
  c.cells.push_back({"T", db::ftString, QString(QChar(0xff)), QString(QChar(0x100))});
  c.cells.push_back({"T", db::ftWideString, QString(QChar(0xd800)), QString(QChar(0)) + "a"});
  c.cells.push_back({"T", db::ftString, QString(300, QChar('x')), QString(70000, QChar(0x4e2d))});
  c.cells.push_back({"D", db::ftDateTime, QDateTime(QDate(100, 1, 1), QTime(0, 0, 0, 1), Qt::UTC),
                     QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)});
  // An append keeps only its values, a removed row only the ones it had.
  RowChange append{"Item", "ItemNo", "N1", RowChange::Action::Append, {}};
  append.cells.push_back({"PtName", db::ftString, QVariant(), QString("")});
  RowChange removed{"Item", "ItemNo", "N2", RowChange::Action::Delete, {}};
  removed.cells.push_back({"PtName", db::ftString, QStringLiteral("名"), QVariant()});
  {
    const auto j = JournalFile::create(path, run);
    j->add(c);
    j->add(append);
    j->add(removed);
    j->finish(true);
  }
  const std::vector<RowChange> entries = JournalFile::open(path)->entries();
  ASSERT_EQ(entries.size(), 3u);
  expectSame(entries[0], c);
  EXPECT_EQ(entries[0].cells[0].after.toLongLong(), 0);
  EXPECT_EQ(entries[0].cells[8].after.toLongLong(), std::numeric_limits<qint64>::min());
  EXPECT_EQ(entries[0].cells[10].before.toString(), QString(QChar(0xd800)));
  expectSame(entries[1], append);
  expectSame(entries[2], removed);
}

TEST(JournalFile, AJournalOfTheEarlierLayoutStillReads) {
  // Written by the build before values were packed: an update, a removed entry, an
  // append and a deleted row.
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  ASSERT_TRUE(QFile::copy(DATACONV_JOURNAL_TESTDATA "/journal-format2.sqlite", path));
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  const auto j = JournalFile::open(path);
  const std::vector<RowChange> entries = j->entries();
  ASSERT_EQ(entries.size(), 3u);
  expectSame(entries[0], sample("A"));
  EXPECT_EQ(entries[1].action, RowChange::Action::Append);
  EXPECT_EQ(entries[1].cells.at(0).after.toString(), "M1");
  EXPECT_EQ(entries[2].action, RowChange::Action::Delete);
  EXPECT_EQ(entries[2].cells.at(1).before.toString(), QStringLiteral("王小明"));
  EXPECT_EQ(j->run().user, "anna");
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

// A run that ended on an error while its disk was full (here: while it may write no
// file past its first byte) cannot store its end in the file; the next reader still
// tells it from a run whose program stopped, and gets every entry.
TEST(JournalFile, ARunThatFailedWithTheDiskFullReadsAsFailedNotAsCutShort) {
  QTemporaryDir dir;
  for (const bool completed : {false, true}) {
    const QString path = dir.filePath(completed ? "done.sqlite" : "failed.sqlite");
    JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
    {
      auto j = JournalFile::create(path, run);
      for (int i = 0; i < 3; ++i) j->add(sample(QString::number(i)));
      rlimit was{};
      ::getrlimit(RLIMIT_FSIZE, &was);
      const auto xfsz = ::signal(SIGXFSZ, SIG_IGN);
      rlimit full = was;
      full.rlim_cur = 1;
      ::setrlimit(RLIMIT_FSIZE, &full);
      EXPECT_THROW(j->finish(completed), platform::Error);
      ::setrlimit(RLIMIT_FSIZE, &was);
      ::signal(SIGXFSZ, xfsz);
    }
    ASSERT_TRUE(QFile::exists(path + "-log"));
    const auto j = JournalFile::open(path);
    EXPECT_EQ(j->run().outcome, completed ? "completed" : "failed");
    EXPECT_EQ(j->entries().size(), 3u);
    EXPECT_EQ(j->counts().updates, 3);
    EXPECT_FALSE(QFile::exists(path + "-log"));
  }
}

// The chunks of the file, counted through a connection of the test's own.
int chunksIn(const QString& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_busy_timeout(db, 1000);
  sqlite3_stmt* st = nullptr;
  int n = -1;
  if (sqlite3_prepare_v2(db, "SELECT count(*) FROM chunk", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    n = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close_v2(db);
  return n;
}

// An entry large enough that a few of them fill a chunk of the file.
RowChange bigEntry(int i, int chars) {
  RowChange c{"Item", "ItemNo", QString::number(i), RowChange::Action::Update, {}};
  c.cells.push_back({"Memo", db::ftMemo, QVariant(), QString(chars, QChar(0x4e00 + i))});
  return c;
}

// The history window reads a running journal: the chunks the run moves in meanwhile
// wait for the reader, or are moved at the end, and the run completes with every entry.
TEST(JournalFile, AReaderHoldingTheFileWhileChunksMoveInNeverFailsTheRun) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  const int count = 12;
  const auto j = JournalFile::create(path, run);
  sqlite3* reader = nullptr;
  ASSERT_EQ(
      sqlite3_open_v2(QFile::encodeName(path).constData(), &reader, SQLITE_OPEN_READONLY, nullptr),
      SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(reader, "SELECT * FROM run", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);  // holds the file's read lock until reset
  for (int i = 0; i < count; ++i) j->add(bigEntry(i, 1 << 19));
  QThread::msleep(50);
  sqlite3_finalize(st);
  sqlite3_close_v2(reader);
  j->finish(true);
  const auto read = JournalFile::open(path);
  EXPECT_EQ(read->run().outcome, "completed");
  const std::vector<RowChange> entries = read->entries();
  ASSERT_EQ(entries.size(), size_t(count));
  for (int i = 0; i < count; ++i) expectSame(entries[size_t(i)], bigEntry(i, 1 << 19));
}

TEST(JournalFile, ALongRunCutShortKeepsWhatWasMovedInAndTheRestOfItsLog) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  // Entries of a megabyte each, so that chunks move into the file while the run goes on;
  // one longer than a chunk.
  const auto big = bigEntry;
  const int count = 14;
  {
    const auto j = JournalFile::create(path, run);
    for (int i = 0; i < count; ++i) j->add(big(i, i == 5 ? 3 << 20 : 1 << 19));
    const qint64 failed = j->add(big(99, 10));
    j->remove(failed);
    // The moving goes on beside the run: wait until some of it is in the file.
    QElapsedTimer waited;
    waited.start();
    while (chunksIn(path) < 2 && waited.elapsed() < 60000) QThread::msleep(10);
    ASSERT_GE(chunksIn(path), 2);
  }
  ASSERT_TRUE(QFile::exists(path + "-log"));
  const auto j = JournalFile::open(path);
  EXPECT_FALSE(QFile::exists(path + "-log"));
  EXPECT_EQ(j->run().outcome, "interrupted");
  EXPECT_EQ(j->counts().updates, count);
  const std::vector<RowChange> entries = j->entries();
  ASSERT_EQ(entries.size(), size_t(count));
  for (int i = 0; i < count; ++i)
    expectSame(entries[size_t(i)], big(i, i == 5 ? 3 << 20 : 1 << 19));
}

// Two runs that pick the same name: the second is refused and leaves the first's log,
// entries and all, as it was.
TEST(JournalFile, ASecondRunOfTheSameNameNeverTouchesTheFirstsLog) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  const auto first = JournalFile::create(path, run);
  first->add(sample("A"));
  const qint64 logSize = QFileInfo(path + "-log").size();
  EXPECT_THROW(JournalFile::create(path, run), platform::Error);
  EXPECT_EQ(QFileInfo(path + "-log").size(), logSize);
  first->add(sample("B"));
  first->finish(true);
  const std::vector<RowChange> entries = JournalFile::open(path)->entries();
  ASSERT_EQ(entries.size(), 2u);
  expectSame(entries[1], sample("B"));
}

// An entry whose post may or may not have reached the POS stays, marked so.
TEST(JournalFile, AnEntryMarkedUncertainReadsBackSo) {
  QTemporaryDir dir;
  const QString path = dir.filePath("j.sqlite");
  JournalRun run{"import", QDateTime::currentDateTime(), "anna", "/opt/x", "pos", {}, {}, {}};
  {
    const auto j = JournalFile::create(path, run);
    j->add(sample("A"));
    j->markUncertain(j->add(sample("B")));
    j->finish(false);
  }
  const std::vector<RowChange> entries = JournalFile::open(path)->entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[0].uncertain);
  EXPECT_TRUE(entries[1].uncertain);
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
}  // namespace journal
