// The list of journals: every way a run can end told apart, an undo's effect on the
// run it took back (completed, stopped halfway, itself taken back), newest first.
#include "import/ImportHistory.h"

#include "import/ImportJournal.h"

#include <platform/ProgramFolder.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

namespace dataimport {
namespace {

using Outcome = HistoryEntry::Outcome;
using Action = journal::RowChange::Action;

class ImportHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setProgramFolderForTesting(dir_.path()); }
  void TearDown() override { platform::setProgramFolderForTesting(QString()); }

  // A run of `rows` updated Classify rows, ended with `outcome` (none: left as a
  // killed program leaves it).
  QString run(const QString& outcome, int rows = 1, const QString& undoes = QString()) {
    ImportJournal j(undoes.isEmpty() ? "import" : "undo", "pos", undoes);
    if (undoes.isEmpty()) j.beginTable("Classify", dir_.filePath("Classify.mdb"));
    for (int i = 0; i < rows; ++i) {
      journal::RowChange c{"Classify", "ClsNo", QString::number(i), Action::Update, {}};
      c.cells.push_back({"ClsName", db::ftString, QStringLiteral("a"), QStringLiteral("b")});
      j.rowReady(c);
      j.rowPosted();
    }
    if (!outcome.isEmpty()) j.finishAs(outcome);
    // Names and start times a millisecond apart keep the order plain.
    QThread::msleep(2);
    return QFileInfo(j.path()).fileName();
  }

  static const HistoryEntry& of(const std::vector<HistoryEntry>& all, const QString& name) {
    for (const HistoryEntry& e : all)
      if (e.name == name) return e;
    static const HistoryEntry none;
    ADD_FAILURE() << "no " << name.toStdString();
    return none;
  }

  QTemporaryDir dir_;
};

TEST_F(ImportHistoryTest, ListsEveryOutcomeNewestFirst) {
  const QString completed = run("completed", 3);
  const QString failed = run("failed", 2);
  const QString cancelled = run("cancelled");
  const QString killed = run(QString(), 2);
  const QString undone = run("completed", 2);
  const QString undo = run("completed", 2, undone);
  const QString partly = run("completed", 4);
  const QString stopped = run("cancelled", 1, partly);
  const QString stoppedEarly = run("cancelled", 0, failed);  // took nothing back
  // An undo taken back in turn leaves its import as it was after the import.
  const QString again = run("completed", 2);
  const QString undoOfAgain = run("completed", 2, again);
  const QString redo = run("completed", 2, undoOfAgain);
  QFile bad(QDir(ImportJournal::folder()).filePath("20000101-000000-000.sqlite"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a journal");
  bad.close();
  ImportJournal running("import", "pos");
  running.beginTable("Item", dir_.filePath("Item.mdb"));

  const std::vector<HistoryEntry> all = ImportHistory::list();
  ASSERT_EQ(all.size(), 14u);
  EXPECT_EQ(all.front().path, running.path());
  for (size_t i = 1; i + 1 < all.size(); ++i) EXPECT_GE(all[i - 1].started, all[i].started) << i;
  EXPECT_EQ(all.back().outcome, Outcome::Unreadable);
  EXPECT_FALSE(all.back().error.isEmpty());

  auto outcome = [&](const QString& name) {
    return ImportHistory::outcomeText(of(all, name).outcome);
  };
  EXPECT_EQ(outcome(completed), "完成");
  EXPECT_EQ(outcome(failed), "失敗");
  EXPECT_EQ(outcome(cancelled), "已取消");
  EXPECT_EQ(outcome(killed), "中斷");
  EXPECT_EQ(outcome(undone), "已還原");
  EXPECT_EQ(of(all, undone).undoneBy, undo);
  EXPECT_EQ(of(all, undone).ended, Outcome::Completed);
  EXPECT_EQ(outcome(undo), "完成");
  EXPECT_EQ(outcome(partly), "部分還原");
  EXPECT_EQ(of(all, partly).undoneBy, stopped);
  EXPECT_EQ(outcome(stoppedEarly), "已取消");
  EXPECT_EQ(outcome(again), "完成");
  EXPECT_EQ(outcome(undoOfAgain), "已還原");
  EXPECT_EQ(outcome(redo), "完成");
  EXPECT_EQ(ImportHistory::outcomeText(all.front().outcome), "執行中");
  EXPECT_EQ(ImportHistory::countsText(all.front()), "");

  const HistoryEntry& c = of(all, completed);
  EXPECT_EQ(ImportHistory::kindText(c), "匯入");
  EXPECT_EQ(c.tables, QStringList("Classify"));
  EXPECT_EQ(ImportHistory::countsText(c), "變更 3 列，新增 0 列，刪除 0 列");
  EXPECT_EQ(of(all, killed).counts.updates, 2);
  EXPECT_FALSE(c.user.isEmpty());
  const HistoryEntry& u = of(all, undo);
  EXPECT_EQ(ImportHistory::kindText(u), "還原");
  EXPECT_EQ(u.undoes, undone);
  EXPECT_EQ(u.tables, QStringList("Classify"));  // those of the run it took back
}

TEST_F(ImportHistoryTest, NoFolderIsAnEmptyList) {
  EXPECT_TRUE(ImportHistory::list().empty());
}

}  // namespace
}  // namespace dataimport
