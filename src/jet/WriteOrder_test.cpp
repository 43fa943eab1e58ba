// Crash safety: the write sequence of each operation is stopped after every possible
// page write, and every stopped file must open in the engine's reader and in mdbtools
// with exactly the rows completed before (the row in flight at most, once its data page
// is written). Rows count as completed once the appender has written them out (write());
// appended rows it still holds may be missing, never out of order. A second test kills a
// real writer process at random moments.
// Files past page 1's inline page map are made by extending a file with a hole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "GlobalMapCheck.h"
#include "PageFile.h"
#include "PageWriter.h"
#include "ReferenceReaders.h"
#include "TableDef.h"
#include "TestFiles.h"
#include "UsageMap.h"
#include "jet/Database.h"
#include "jet/DatabaseWriter.h"
#include "jet/Error.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using Row = std::vector<Value>;

using testing::readAll;

// Runs `operation` with the page writes limited to k, for every k until it completes;
// `check` gets k and whether the operation completed.
void forEveryStop(const std::function<void()>& operation,
                  const std::function<void(std::uint64_t, bool)>& check) {
  for (std::uint64_t k = 0;; ++k) {
    PageWriter::setWriteLimit(k);
    bool completed = true;
    try {
      operation();
    } catch (const Error&) {
      completed = false;
    }
    PageWriter::setWriteLimit(std::nullopt);
    SCOPED_TRACE("stopped after " + std::to_string(k) + " page writes");
    check(k, completed);
    if (completed || ::testing::Test::HasFatalFailure()) return;
    ASSERT_LT(k, 10000u);
  }
}

TEST(WriteOrder, CreatingADatabaseLeavesNothingOrAWholeDatabase) {
  testing::ScratchDir dir("order-create");
  const std::string path = dir.file("new.mdb");
  forEveryStop([&] { DatabaseWriter::create(path); },
               [&](std::uint64_t, bool completed) {
                 EXPECT_EQ(fs::exists(path), completed);
                 EXPECT_FALSE(fs::exists(path + ".creating"));
                 if (completed) {
                   EXPECT_TRUE(Database::open(path).tableNames().empty());
                 }
               });
}

TEST(WriteOrder, CreatingATableLeavesAReadableFile) {
  testing::ScratchDir dir("order-table");
  const std::string base = dir.file("base.mdb"), path = dir.file("t.mdb");
  DatabaseWriter::create(base);
  forEveryStop(
      [&] {
        fs::remove(path);
        fs::copy_file(base, path);
        DatabaseWriter db = DatabaseWriter::open(path);
        db.createTable("Item", {{"品名", ColumnType::Text, 40}, {"備註", ColumnType::Memo}});
      },
      [&](std::uint64_t, bool completed) {
        const std::vector<std::string> tables = Database::open(path).tableNames();
        EXPECT_LE(tables.size(), 1u);
        if (completed) {
          EXPECT_EQ(tables, std::vector<std::string>{"Item"});
        }
        if (!tables.empty()) {
          EXPECT_TRUE(readAll(path, "Item").empty());
        }
        EXPECT_EQ(testing::mdbtoolsProblems(path), "");
      });
}

TEST(WriteOrder, AppendingRowsLeavesTheRowsCompletedBefore) {
  testing::ScratchDir dir("order-rows");
  const std::string base = dir.file("base.mdb"), path = dir.file("r.mdb");
  DatabaseWriter::create(base);
  {
    DatabaseWriter db = DatabaseWriter::open(base);
    db.createTable("T", {{"No", ColumnType::Long},
                         {"Name", ColumnType::Text, 255},
                         {"Memo", ColumnType::Memo},
                         {"Ole", ColumnType::Ole}});
  }
  // Small rows, a memo on a long-value page, a memo chained over pages, an OLE value,
  // then enough long rows to need a second data page.
  std::vector<Row> rows;
  for (int i = 0; i < 14; ++i) {
    Row r{Value::integer(i), Value::text(std::string(i < 3 ? 5 : 250, char('a' + i))), Value(),
          Value()};
    if (i == 3) r[2] = Value::text(std::string(1500, 'm'));
    if (i == 4) r[2] = Value::text(std::string(5000, 'n'));
    if (i == 5) r[3] = Value::bytes(Bytes(3000, 0xAB));
    if (i == 6) r[2] = Value::text("short memo");
    rows.push_back(r);
  }
  std::size_t appended = 0;
  forEveryStop(
      [&] {
        appended = 0;
        fs::remove(path);
        fs::copy_file(base, path);
        DatabaseWriter db = DatabaseWriter::open(path);
        TableAppender t = db.appender("T");
        for (const Row& r : rows) {
          t.append(r);
          t.write();
          ++appended;
        }
      },
      [&](std::uint64_t, bool completed) {
        const auto read = readAll(path, "T");
        ASSERT_GE(read.size(), appended);
        ASSERT_LE(read.size(), appended + 1);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), rows.begin()));
        const std::uint32_t count = Database::open(path).table("T").rowCount;
        EXPECT_TRUE(count == read.size() || count + 1 == read.size());
        if (completed) {
          EXPECT_EQ(count, rows.size());
        }
        EXPECT_EQ(testing::mdbtoolsProblems(path, true), "");
        // The next writer counts on from the right number.
        if (!completed && count != read.size()) {
          DatabaseWriter db = DatabaseWriter::open(path);
          db.appender("T");
          EXPECT_EQ(Database::open(path).table("T").rowCount, read.size());
        }
      });
}

// Rows held by the appender reach the file a page at a time: a stop anywhere in a run
// of appends without write() leaves a readable file holding a prefix of the rows, with a
// count that is at most short (never ahead), and the appender's end writes them all.
TEST(WriteOrder, RowsHeldInMemoryReachTheFileInOrder) {
  testing::ScratchDir dir("order-held");
  const std::string base = dir.file("base.mdb"), path = dir.file("h.mdb");
  DatabaseWriter::create(base);
  {
    DatabaseWriter db = DatabaseWriter::open(base);
    db.createTable(
        "T",
        {{"No", ColumnType::Long}, {"Name", ColumnType::Text, 255}, {"Memo", ColumnType::Memo}});
  }
  // Enough rows for three data pages; memos on long-value pages in between, written
  // while rows before them are still held.
  std::vector<Row> rows;
  for (int i = 0; i < 60; ++i) {
    Row r{Value::integer(i), Value::text(std::string(200, char('a' + i % 26))), Value()};
    if (i % 9 == 4) r[2] = Value::text(std::string(3000 + i, 'm'));
    rows.push_back(r);
  }
  std::size_t appended = 0;
  int stopsWithRowsHeld = 0;
  forEveryStop(
      [&] {
        appended = 0;
        fs::remove(path);
        fs::copy_file(base, path);
        DatabaseWriter db = DatabaseWriter::open(path);
        TableAppender t = db.appender("T");
        for (const Row& r : rows) {
          t.append(r);
          ++appended;
        }
        t.flush();
      },
      [&](std::uint64_t, bool completed) {
        const auto read = readAll(path, "T");
        ASSERT_LE(read.size(), appended + 1);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), rows.begin()));
        const std::uint32_t count = Database::open(path).table("T").rowCount;
        EXPECT_LE(count, read.size());
        if (read.size() + 1 < appended) ++stopsWithRowsHeld;
        if (completed) {
          EXPECT_EQ(read.size(), rows.size());
          EXPECT_EQ(count, rows.size());
        }
        EXPECT_EQ(testing::mdbtoolsProblems(path, long(read.size()) - long(count)), "");
        if (!completed && count != read.size()) {
          DatabaseWriter db = DatabaseWriter::open(path);
          db.appender("T");
          EXPECT_EQ(Database::open(path).table("T").rowCount, read.size());
        }
      });
  EXPECT_GT(stopsWithRowsHeld, 0);
}

// The appender's end writes what it holds; so does the database's flush() while an
// appender is open, and a reader opened afterwards sees every row.
TEST(WriteOrder, HeldRowsAreWrittenByTheEndAndByTheDatabasesFlush) {
  testing::ScratchDir dir("order-end");
  const std::string path = dir.file("e.mdb");
  DatabaseWriter::create(path);
  DatabaseWriter db = DatabaseWriter::open(path);
  db.createTable("A", {{"No", ColumnType::Long}});
  db.createTable("B", {{"No", ColumnType::Long}});
  {
    TableAppender a = db.appender("A");
    // What the file holds while rows are being appended is only settled by write(): the
    // pages go out behind the appender.
    for (int i = 0; i < 5; ++i) a.append({Value::integer(i)});
  }
  EXPECT_EQ(readAll(path, "A").size(), 5u);
  EXPECT_EQ(Database::open(path).table("A").rowCount, 5u);
  TableAppender b = db.appender("B");
  b.append({Value::integer(7)});
  db.flush();
  const auto read = readAll(path, "B");
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0][0].asInt(), 7);
  EXPECT_EQ(Database::open(path).table("B").rowCount, 1u);
}

TEST(WriteOrder, AKilledWriterLeavesAReadableFileWithItsRows) {
  testing::ScratchDir dir("order-kill");
  const std::string path = dir.file("k.mdb");
  DatabaseWriter::create(path);
  {
    DatabaseWriter db = DatabaseWriter::open(path);
    db.createTable("T", {{"No", ColumnType::Long}, {"Text", ColumnType::Memo}});
  }
  // The kill points are random, but tied to the writer's progress rather than to a
  // clock: the child reports once it has appended a random number of rows, goes on
  // appending a bounded number more, then waits to be killed. However fast or slow the
  // machine, it is always killed by the signal, and never runs into a size limit.
  std::mt19937 random(12345);
  std::size_t before = 0;
  for (int round = 0; round < 6; ++round) {
    const std::size_t reportAfter = 1 + random() % 1500;
    const auto lingerMicros = std::chrono::microseconds(random() % 3000);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      try {
        DatabaseWriter db = DatabaseWriter::open(path);
        TableAppender t = db.appender("T");
        const auto first = std::int64_t(t.table().rowCount);
        for (std::int64_t i = first; i < first + std::int64_t(reportAfter) + 2000; ++i) {
          if (i == first + std::int64_t(reportAfter)) {
            t.write();
            const char done = 1;
            if (::write(pipeFds[1], &done, 1) != 1) ::_exit(2);
          }
          t.append({Value::integer(i),
                    Value::text(std::string(std::size_t(i % 7 == 0 ? 5000 : 30), 'k'))});
        }
        for (;;) ::pause();
      } catch (...) {
      }
      ::_exit(1);
    }
    ::close(pipeFds[1]);
    char done = 0;
    const ssize_t got = ::read(pipeFds[0], &done, 1);
    ::close(pipeFds[0]);
    if (got == 1) std::this_thread::sleep_for(lingerMicros);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(got, 1) << "the writer stopped before it had appended its rows";
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto read = readAll(path, "T");
    EXPECT_GE(read.size(), before + reportAfter);
    for (std::size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i][0].asInt(), std::int64_t(i));
    // Rows reach the file a data page at a time, the row count after them: a kill
    // between the two leaves the count short by at most the rows of one page (fewer
    // than 128 of these), which the next writer sets right.
    EXPECT_EQ(testing::mdbtoolsProblems(path, 128), "");
    before = read.size();
  }
  EXPECT_GT(before, 0u);
}

// An Access table's inline page map outgrows its window and becomes a reference map:
// every stop inside that append leaves a readable file.
TEST(WriteOrder, AnAccessTablesPageMapTurnsIntoAReferenceMapSafely) {
  testing::ScratchDir dir("order-map");
  const std::string base = dir.file("base.mdb"), path = dir.file("m.mdb");
  fs::copy_file(testing::fixture("overflowTestV2000.mdb"), base);
  fs::permissions(base, fs::perms::owner_write, fs::perm_options::add);
  const std::size_t original = readAll(base, "Table1").size();
  const auto row = [](std::size_t i) {
    return Row(9, Value::text(std::string(50, char('a' + i % 26))));
  };
  // A dry run finds the append that converts the map: the only one that adds a bitmap
  // page besides its data page.
  std::uint64_t from = 0, to = 0;
  std::size_t rowsBefore = 0;
  {
    fs::copy_file(base, path);
    DatabaseWriter db = DatabaseWriter::open(path);
    TableAppender t = db.appender("Table1");
    PageWriter::setWriteLimit(std::nullopt);
    for (std::size_t i = 0; to == 0 && i < 100000; ++i) {
      const auto size = fs::file_size(path);
      const std::uint64_t writes = PageWriter::writesDone();
      t.append(row(i));
      t.write();
      if (fs::file_size(path) >= size + 2 * 4096) {
        from = writes;
        to = PageWriter::writesDone();
        rowsBefore = i;
      }
    }
    fs::remove(path);
  }
  ASSERT_GT(to, from);
  for (std::uint64_t k = from; k <= to; ++k) {
    SCOPED_TRACE("stopped after " + std::to_string(k) + " page writes");
    fs::copy_file(base, path, fs::copy_options::overwrite_existing);
    std::size_t appended = 0;
    PageWriter::setWriteLimit(k);
    try {
      DatabaseWriter db = DatabaseWriter::open(path);
      TableAppender t = db.appender("Table1");
      for (std::size_t i = 0; i <= rowsBefore; ++i) {
        t.append(row(i));
        t.write();
        ++appended;
      }
    } catch (const Error&) {
    }
    PageWriter::setWriteLimit(std::nullopt);
    const auto read = readAll(path, "Table1");
    EXPECT_GE(read.size(), original + appended);
    EXPECT_LE(read.size(), original + appended + 1);
    EXPECT_EQ(read.back(), row(read.size() - original - 1));
    EXPECT_EQ(testing::mdbtoolsProblems(path, true), "");
  }
  PageFile file(path, Mode::ReadOnly);
  const TableDef def = TableDef::read(file, 24);
  EXPECT_TRUE(UsageMap::read(file, def.ownedMap, def.page).isReference());
}

// The global page map outgrows page 1 and becomes a reference map in the middle of an
// append: every stop of the appends around the switch leaves a readable file in which
// every linked page is listed as used, and the next writer carries on from it.
TEST(WriteOrder, TheGlobalPageMapTurnsIntoAReferenceMapSafely) {
  testing::ScratchDir dir("order-global");
  const std::string path = dir.file("g.mdb");
  const auto row = [](int i, std::size_t chars) {
    return Row{Value::integer(i), Value::text(std::string(chars, char('a' + i % 26)))};
  };
  // Rows 2 and 3 go in during the stopped appends: a memo chained over new pages (the
  // switch), then one on a new long-value page of its own.
  const std::vector<Row> rows = {row(0, 300), row(1, 300), row(2, 9000), row(3, 3000)};
  const auto extendTo = [&](std::uint32_t pages) {
    fs::resize_file(path, std::uint64_t{pages} * fmt::kPageSize);
  };
  // The inline map lengthened to 20,000 pages, then the file extended to 40,000.
  const auto build = [&] {
    fs::remove(path);
    DatabaseWriter::create(path);
    {
      DatabaseWriter db = DatabaseWriter::open(path);
      db.createTable("T", {{"No", ColumnType::Long}, {"Memo", ColumnType::Memo}});
      db.appender("T").append(rows[0]);
    }
    extendTo(20000);
    DatabaseWriter::open(path).appender("T").append(rows[1]);
    extendTo(40000);
  };
  int stopsBeforeSwitch = 0, stopsAfterSwitch = 0;
  for (std::uint64_t k = 0;; ++k) {
    SCOPED_TRACE("stopped after " + std::to_string(k) + " page writes");
    build();
    std::size_t appended = 2;
    bool completed = true;
    PageWriter::setWriteLimit(k);
    try {
      DatabaseWriter db = DatabaseWriter::open(path);
      TableAppender t = db.appender("T");
      for (std::size_t i = appended; i < rows.size(); ++i) {
        t.append(rows[i]);
        t.write();
        ++appended;
      }
    } catch (const Error&) {
      completed = false;
    }
    PageWriter::setWriteLimit(std::nullopt);
    auto read = readAll(path, "T");
    ASSERT_GE(read.size(), appended);
    ASSERT_LE(read.size(), appended + 1);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), rows.begin()));
    EXPECT_EQ(testing::mdbtoolsProblems(path, true), "");
    testing::expectGlobalMapSound(path, completed);
    {
      PageFile file(path, Mode::ReadOnly);
      (testing::readGlobalMap(file).reference ? stopsAfterSwitch : stopsBeforeSwitch) +=
          completed ? 0 : 1;
    }
    // The next writer: a row on new pages, and the map lists every page of the file.
    const Row next = row(99, 5000);
    DatabaseWriter::open(path).appender("T").append(next);
    read = readAll(path, "T");
    EXPECT_EQ(read.back(), next);
    testing::expectGlobalMapSound(path, true);
    if (completed || ::testing::Test::HasFatalFailure()) {
      EXPECT_GT(stopsBeforeSwitch, 2);
      EXPECT_GT(stopsAfterSwitch, 2);
      return;
    }
    ASSERT_LT(k, 1000u);
  }
}

}  // namespace
}  // namespace jet
