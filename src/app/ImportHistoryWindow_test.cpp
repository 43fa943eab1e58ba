// The import history window on scratch POS databases: the list and the preview of the
// selected journal's undo, the undo asked for, run and reported as its preview said,
// an undo the operator cancels (the POS and the undo's journal checked after), and the
// window without a started POS.
#include "app/ImportHistoryWindow.h"

#include "ImportTestSupport.h"
#include "TestSupport.h"
#include "app/ProgressWindow.h"

#include <import/ImportDriver.h>
#include <import/ImportJournal.h>
#include <journal/JournalFile.h>
#include <platform/RegionalSettings.h>

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

namespace app {
namespace {

using dataimport::test::ScratchPos;
using dataimport::test::TestDatabase;
using Action = journal::RowChange::Action;
using Cell = journal::RowChange::Cell;

class HistoryWindowTest : public test::ProgramFolderTest,
                          public ::testing::WithParamInterface<TestDatabase::Engine> {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    platform::RegionalSettings::setCurrentForTesting(platform::RegionalSettings{});
    pos_ = std::make_unique<ScratchPos>(GetParam());
    if (!pos_->available()) GTEST_SKIP() << pos_->unavailableReason().toStdString();
    pos_->exec("INSERT INTO Classify (ClsNo, ClsName, Flag) VALUES ('001', '感冒藥', " +
               pos_->booleanLiteral(true) + "), ('002', '維他命', " + pos_->booleanLiteral(false) +
               ")");
    pos_->start();
    older_ = journalOf({update("002", "維他命", "維他命")});
    // The import: 003 appended and then renamed, 001 renamed twice, 002 renamed and
    // afterwards renamed again at a till.
    pos_->exec("INSERT INTO Classify (ClsNo, ClsName) VALUES ('003', '乙')");
    pos_->exec("UPDATE Classify SET ClsName = '丁' WHERE ClsNo = '001'");
    pos_->exec("UPDATE Classify SET ClsName = '櫃台' WHERE ClsNo = '002'");
    journal::RowChange add{"Classify", "ClsNo", "003", Action::Append, {}};
    add.cells.push_back(Cell{"ClsNo", db::ftString, QVariant(), QStringLiteral("003")});
    add.cells.push_back(Cell{"ClsName", db::ftString, QVariant(), QStringLiteral("甲")});
    journal_ = journalOf({add, update("003", "甲", "乙"), update("001", "感冒藥", "丙"),
                          update("002", "維他命", "戊"), update("001", "丙", "丁")});
  }
  void TearDown() override {
    ProgressWindow::setStepHookForTesting(nullptr);
    pos_.reset();
    ProgramFolderTest::TearDown();
  }

  static journal::RowChange update(const QString& key, const QString& from, const QString& to) {
    journal::RowChange c{"Classify", "ClsNo", key, Action::Update, {}};
    c.cells.push_back(Cell{"ClsName", db::ftString, from, to});
    return c;
  }
  QString journalOf(const std::vector<journal::RowChange>& entries) {
    dataimport::ImportJournal j("import",
                                dataimport::ImportDriver::posDescription(pos_->connectionString()));
    j.beginTable("Classify", path("Classify.mdb"));
    for (const auto& e : entries) {
      j.rowReady(e);
      j.rowPosted();
    }
    j.finish(true);
    return j.path();
  }
  QString name(const QString& key) {
    return pos_->value("Classify", "ClsNo", key, "ClsName").toString().trimmed();
  }
  static QString outcomeOf(const ImportHistoryWindow& w, const QString& journal) {
    for (int i = 0; i < w.list()->rowCount(); ++i) {
      w.list()->selectRow(i);
      if (w.selectedPath() == journal) return w.list()->item(i, 5)->text();
    }
    return QString();
  }
  QString lastQuestion() const {
    for (auto it = ui_.messages.rbegin(); it != ui_.messages.rend(); ++it)
      if (it->kind == test::ShownMessage::Kind::Question) return it->text;
    return QString();
  }

  std::unique_ptr<ScratchPos> pos_;
  QString older_, journal_;
};

TEST_P(HistoryWindowTest, ListsTheJournalsAndPreviewsWhatTheUndoThenDoes) {
  ImportHistoryWindow w(pos_->dm);
  EXPECT_EQ(w.windowTitle(), "匯入紀錄");
  ASSERT_EQ(w.list()->rowCount(), 2);
  EXPECT_EQ(w.selectedPath(), journal_);  // the newest
  EXPECT_EQ(w.list()->item(0, 2)->text(), "匯入");
  EXPECT_EQ(w.list()->item(0, 3)->text(), "分類資料");
  EXPECT_EQ(w.list()->item(0, 4)->text(), "變更 4 列，新增 1 列，刪除 0 列");
  EXPECT_EQ(w.list()->item(0, 5)->text(), "完成");
  const QString preview = w.detail()->toPlainText();
  EXPECT_TRUE(preview.contains(
      "還原預覽：將還原 3 列，刪除 1 列，重新加入 0 列，不需處理 0 列，衝突 1 列。"))
      << preview.toStdString();
  EXPECT_TRUE(preview.contains(
      "衝突 分類資料 002（匯入後已被改過，保留不動）：ClsName 現為「櫃台」，匯入寫入「戊」"))
      << preview.toStdString();
  EXPECT_TRUE(preview.contains("刪除 分類資料 003")) << preview.toStdString();

  // Nothing is written unless the question is answered yes.
  ui_.answer = false;
  w.undoSelected();
  EXPECT_TRUE(lastQuestion().startsWith("要還原 " + QFileInfo(journal_).fileName() +
                                        " 嗎？\n將還原 3 列，刪除 1 列"))
      << lastQuestion().toStdString();
  EXPECT_EQ(name("001"), "丁");
  EXPECT_EQ(w.list()->rowCount(), 2);
}

TEST_P(HistoryWindowTest, TheUndoDoesWhatItsPreviewSaidAndReportsIt) {
  ImportHistoryWindow w(pos_->dm);
  ui_.answer = true;
  w.undoSelected();
  EXPECT_TRUE(w.lastReport().startsWith("還原 " + QFileInfo(journal_).fileName() +
                                        " 完成。\n還原 3 列，刪除 1 列，重新加入 0 列，不需處理 0 "
                                        "列，衝突 1 列。"))
      << w.lastReport().toStdString();
  EXPECT_TRUE(w.lastReport().contains("衝突 分類資料 002")) << w.lastReport().toStdString();
  EXPECT_TRUE(w.lastReport().contains("還原記錄：")) << w.lastReport().toStdString();
  ASSERT_FALSE(ui_.messages.empty());
  EXPECT_EQ(ui_.messages.back().text, w.lastReport());
  EXPECT_EQ(name("001"), "感冒藥");
  EXPECT_EQ(name("002"), "櫃台");
  EXPECT_FALSE(pos_->value("Classify", "ClsNo", "003", "ClsName").isValid());
  // The grids follow: the query no longer holds the deleted row.
  EXPECT_FALSE(pos_->dm.qryClassify.locate("ClsNo", "003"));

  ASSERT_EQ(w.list()->rowCount(), 3);
  EXPECT_EQ(w.list()->item(0, 2)->text(), "還原 " + QFileInfo(journal_).fileName());
  EXPECT_EQ(w.list()->item(0, 5)->text(), "完成");
  EXPECT_EQ(outcomeOf(w, journal_), "已還原");
}

TEST_P(HistoryWindowTest, ACancelledUndoKeepsWhatItTookBackJournaledAndReportsIt) {
  ProgressWindow::setStepHookForTesting([](ProgressWindow& window, int done) {
    if (done == 2) window.requestCancel();
  });
  ImportHistoryWindow w(pos_->dm);
  ui_.answer = true;
  w.undoSelected();
  ProgressWindow::setStepHookForTesting(nullptr);
  EXPECT_TRUE(w.lastReport().startsWith("還原 " + QFileInfo(journal_).fileName() +
                                        " 已取消。\n已取消。已還原 "))
      << w.lastReport().toStdString();

  // The undo's journal holds exactly the rows it wrote, and the POS holds them.
  const auto undos = dataimport::ImportHistory::list();
  ASSERT_EQ(undos.size(), 3u);
  ASSERT_TRUE(undos.front().isUndo);
  const auto file = journal::JournalFile::open(undos.front().path);
  EXPECT_EQ(file->run().outcome, "cancelled");
  const auto written = file->entries();
  ASSERT_GE(written.size(), 1u);
  ASSERT_LE(written.size(), 2u);
  EXPECT_EQ(written[0].key, "001");
  EXPECT_EQ(name("001"), written.size() == 2 ? "感冒藥" : "丙");
  EXPECT_EQ(name("003"), "乙");
  EXPECT_EQ(w.list()->item(0, 5)->text(), "已取消");
  EXPECT_EQ(outcomeOf(w, journal_), "部分還原");

  // Undone again, it does the rest, as its preview says.
  w.select(journal_);
  w.undoSelected();
  const QString asked = lastQuestion().section('\n', 1, 1);
  EXPECT_TRUE(asked.startsWith("將還原 ")) << asked.toStdString();
  EXPECT_TRUE(w.lastReport().section('\n', 1, 1).startsWith(asked.mid(1)))
      << w.lastReport().toStdString();
  EXPECT_EQ(name("001"), "感冒藥");
  EXPECT_FALSE(pos_->value("Classify", "ClsNo", "003", "ClsName").isValid());
  EXPECT_EQ(outcomeOf(w, journal_), "已還原");
}

TEST_P(HistoryWindowTest, WithoutTheDatabaseStartedTheListShowsAndUndoSaysToStartIt) {
  pos_->dm.stop();
  ImportHistoryWindow w(pos_->dm);
  ASSERT_EQ(w.list()->rowCount(), 2);
  EXPECT_TRUE(w.detail()->toPlainText().contains("要預覽還原，請先按「啟動資料庫」。"));
  ui_.answer = true;
  w.undoSelected();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].kind, test::ShownMessage::Kind::Box);
  EXPECT_TRUE(ui_.messages[0].text.contains("請先按「啟動資料庫」"));
  EXPECT_EQ(name("001"), "丁");
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryWindowTest,
                         ::testing::Values(TestDatabase::Engine::Sqlite,
                                           TestDatabase::Engine::Postgres,
                                           TestDatabase::Engine::Tds),
                         [](const auto& info) { return std::string(engineName(info.param)); });

}  // namespace
}  // namespace app
