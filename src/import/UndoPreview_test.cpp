// An undo's dry run against the undo it precedes, on real POS engines: the preview
// must say, row by row, what the undo then does, also where the journal wrote a row
// more than once (a row appended and then changed, a row changed twice), where rows
// were changed since, after an earlier undo stopped halfway, and for the undo of an
// undo that adds deleted rows again. And an undo the operator stops.
#include "import/JournalUndo.h"

#include "ImportTestSupport.h"
#include "import/ImportDriver.h"
#include "import/ImportJournal.h"

#include <config/Configs.h>
#include <journal/JournalFile.h>
#include <platform/Cancelled.h>
#include <platform/ProgramFolder.h>
#include <platform/RegionalSettings.h>

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

namespace dataimport {
namespace {

using test::ScratchPos;
using test::TestDatabase;
using Action = journal::RowChange::Action;
using Cell = journal::RowChange::Cell;

// Stops the work at the step that reports `at` units done.
class CancelAt : public platform::Progress {
 public:
  explicit CancelAt(int at) : at_(at) {}
  void start(int) override {}
  void step(int done, int) override {
    if (done == at_) throw platform::Cancelled();
  }
  void finish() override { finished = true; }
  bool finished = false;

 private:
  int at_;
};

// One line a step, readable in a failure's message.
std::string described(const UndoResult& r) {
  QStringList out;
  for (const UndoStep& s : r.steps)
    out << QStringLiteral("%1 %2 %3 %4")
               .arg(s.entry.key)
               .arg(int(s.outcome))
               .arg(int(s.entry.action))
               .arg(s.detail);
  return out.join(u'\n').toStdString();
}

std::vector<int> counts(const UndoResult& r) {
  return {r.restored, r.deleted, r.readded, r.notApplied, r.conflicts, r.undoneBefore, r.uncertain};
}

class UndoPreviewTest : public ::testing::TestWithParam<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    platform::setProgramFolderForTesting(dir_.path());
    config::createConfig();
    pos_ = std::make_unique<ScratchPos>(GetParam());
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
    pos_->exec("INSERT INTO Classify (ClsNo, ClsName, Flag) VALUES ('001', '感冒藥', " +
               pos_->booleanLiteral(true) + "), ('002', '維他命', " + pos_->booleanLiteral(false) +
               ")");
  }
  void TearDown() override {
    pos_.reset();
    config::freeConfig();
    platform::setProgramFolderForTesting(QString());
  }

  // A finished import's journal of `entries`, whose writes the test makes itself.
  QString journalOf(const std::vector<journal::RowChange>& entries) {
    pos_->start();
    ImportJournal j("import", ImportDriver::posDescription(pos_->connectionString()));
    j.beginTable("Classify", dir_.filePath("Classify.mdb"));
    for (const auto& e : entries) {
      j.rowReady(e);
      j.rowPosted();
    }
    j.finish(true);
    return j.path();
  }

  UndoResult undo(const QString& journal, bool dryRun, platform::Progress& progress) {
    pos_->start();
    return JournalUndo(pos_->dm, journal).run(dryRun, progress);
  }

  // The preview, then the undo: they must agree step by step.
  UndoResult previewThenUndo(const QString& journal) {
    platform::NoProgress none;
    const UndoResult preview = undo(journal, true, none);
    const auto rowsBefore = pos_->rows("Classify", "ClsNo");
    const UndoResult done = undo(journal, false, none);
    EXPECT_EQ(described(preview), described(done));
    EXPECT_EQ(counts(preview), counts(done));
    EXPECT_NE(pos_->rows("Classify", "ClsNo"), rowsBefore);
    return done;
  }

  QString name(const QString& key) {
    return pos_->value("Classify", "ClsNo", key, "ClsName").toString().trimmed();
  }

  // The import: 003 appended and then renamed, 001 renamed twice, 002 renamed and
  // afterwards renamed again at a till.
  QString importWritingRowsTwice() {
    pos_->exec("INSERT INTO Classify (ClsNo, ClsName) VALUES ('003', '乙')");
    pos_->exec("UPDATE Classify SET ClsName = '丁' WHERE ClsNo = '001'");
    pos_->exec("UPDATE Classify SET ClsName = '櫃台' WHERE ClsNo = '002'");
    journal::RowChange add{"Classify", "ClsNo", "003", Action::Append, {}};
    add.cells.push_back(Cell{"ClsNo", db::ftString, QVariant(), QStringLiteral("003")});
    add.cells.push_back(Cell{"ClsName", db::ftString, QVariant(), QStringLiteral("甲")});
    return journalOf({add, update("003", "甲", "乙"), update("001", "感冒藥", "丙"),
                      update("002", "維他命", "戊"), update("001", "丙", "丁")});
  }
  static journal::RowChange update(const QString& key, const QString& from, const QString& to) {
    journal::RowChange c{"Classify", "ClsNo", key, Action::Update, {}};
    c.cells.push_back(Cell{"ClsName", db::ftString, from, to});
    return c;
  }

  QTemporaryDir dir_;
  std::unique_ptr<ScratchPos> pos_;
};

TEST_P(UndoPreviewTest, APreviewSaysWhatTheUndoThenDoesForRowsWrittenTwice) {
  const QString journal = importWritingRowsTwice();
  const UndoResult r = previewThenUndo(journal);
  EXPECT_EQ(r.restored, 3);
  EXPECT_EQ(r.deleted, 1);
  EXPECT_EQ(r.conflicts, 1);
  EXPECT_EQ(name("001"), "感冒藥");
  EXPECT_EQ(name("002"), "櫃台");
  EXPECT_FALSE(pos_->value("Classify", "ClsNo", "003", "ClsName").isValid());

  // Its undo adds the deleted row again and renames it twice: previewed alike.
  const UndoResult again = previewThenUndo(r.journal);
  EXPECT_EQ(again.readded, 1);
  EXPECT_EQ(again.restored, 3);
  EXPECT_EQ(name("003"), "乙");
  EXPECT_EQ(name("001"), "丁");
}

TEST_P(UndoPreviewTest, AStoppedUndoKeepsWhatItTookBackJournaledAndTheNextUndoDoesTheRest) {
  const QString journal = importWritingRowsTwice();
  // Stopped after its second row: 001 back to 丙 (the newest entry first), 002 left.
  CancelAt cancel(2);
  const UndoResult stopped = undo(journal, false, cancel);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_FALSE(cancel.finished);
  EXPECT_EQ(stopped.steps.size(), 2u);
  EXPECT_EQ(stopped.restored, 1);
  EXPECT_EQ(stopped.conflicts, 1);
  EXPECT_EQ(name("001"), "丙");
  EXPECT_EQ(name("003"), "乙");
  const auto file = journal::JournalFile::open(stopped.journal);
  EXPECT_EQ(file->run().outcome, "cancelled");
  EXPECT_EQ(file->run().undoes, QFileInfo(journal).fileName());
  ASSERT_EQ(file->entries().size(), 1u);
  EXPECT_EQ(file->entries()[0].key, "001");

  // The preview after it and the undo agree; the row taken back is not taken again.
  const UndoResult rest = previewThenUndo(journal);
  EXPECT_FALSE(rest.cancelled);
  EXPECT_EQ(rest.undoneBefore, 1);
  EXPECT_EQ(rest.restored, 2);
  EXPECT_EQ(rest.deleted, 1);
  EXPECT_EQ(name("001"), "感冒藥");
  EXPECT_FALSE(pos_->value("Classify", "ClsNo", "003", "ClsName").isValid());
}

TEST_P(UndoPreviewTest, AStopAtTheLastRowIsACompletedUndo) {
  const QString journal = journalOf({update("001", "感冒藥", "丙")});
  pos_->exec("UPDATE Classify SET ClsName = '丙' WHERE ClsNo = '001'");
  CancelAt cancel(2);  // never reached: one row
  const UndoResult r = undo(journal, false, cancel);
  EXPECT_FALSE(r.cancelled);
  EXPECT_TRUE(cancel.finished);
  EXPECT_EQ(journal::JournalFile::open(r.journal)->run().outcome, "completed");
}

INSTANTIATE_TEST_SUITE_P(Engines, UndoPreviewTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) { return std::string(engineName(info.param)); });

}  // namespace
}  // namespace dataimport
