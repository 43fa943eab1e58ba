// "匯入檔案" in the window as the operator meets it: the preview before anything is
// written, the import it starts, the report of every table, and cancel at each stage.
#include "PosTestDatabase.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "app/ImportHistoryWindow.h"
#include "app/Main.h"
#include "app/PreviewWindow.h"
#include "app/Program.h"
#include "app/ProgressWindow.h"
#include "app/ReportWindow.h"

#include <config/ColumnMap.h>
#include <db/Connection.h>
#include <import/ImportHistory.h>
#include <import/ImportJournal.h>
#include <import/ImportMdb.h>
#include <import/ImportPreview.h>
#include <journal/JournalFile.h>
#include <platform/Progress.h>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>

namespace app {
namespace {

using test::ShownMessage;

class ImportFlowTest : public test::ProgramFolderTest {
 protected:
  ImportFlowTest() { createConfig_ = false; }

  void TearDown() override {
    ProgressWindow::setStepHookForTesting({});
    program_.reset();
    test::ProgramFolderTest::TearDown();
  }

  // The SQLite POS (Classify: B02 感冒用藥, A01 保健食品, C03 醫療器材), and the files
  // the operator edited: B02 renamed, A01 as it was, D04 new, a key too long for the
  // POS; C03 left out. Item: a price the settings keep and a name changed.
  void makeFiles(const QString& pos = QStringLiteral("pos.sqlite")) {
    QFile(path(pos)).open(QIODevice::WriteOnly | QIODevice::Truncate);
    db::Connection c;
    c.setConnectionString("Provider=SQLite;Data Source=" + path(pos));
    c.open();
    test::createPosTables(c, test::SqlDialect::SQLite);
    QFile::remove(path("Classify.mdb"));
    QFile::remove(path("Item.mdb"));
    test::writeClassifyFiles(
        folder_.path(),
        {{"B02", "感冒藥"}, {"A01", "保健食品"}, {"D04", "新分類"}, {"E0555", "太長"}});
    config::ColumnMap item;
    item.setKey("ItemNo", "管理貨號");
    item.addPair("ItemNo", "管理貨號");
    item.addPair("PtName", "品名");
    item.addPair("Price", "售價");
    item.write(path("Item.ini"));
    test::writeAccessTable(path("Item.mdb"), "Item", {"管理貨號", "品名", "售價"},
                           {{"20000027", "維他命C", "99"}, {"10000018", "口罩（盒）", ""}});
  }

  void start(const QByteArray& more = {}, const QString& pos = QStringLiteral("pos.sqlite")) {
    writeConfig("[MSSQL]\r\nProvider=SQLite\r\nDatabase=" + pos.toUtf8() +
                "\r\n[Export Import]\r\nClassify=1\r\nItem=1\r\n" + more);
    program_ = std::make_unique<Program>();
    program_->frmMain().show();
    click("bbtnStartSQL");
    ui_.messages.clear();
  }

  void click(const char* name) {
    auto* b = program_->frmMain().findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }

  QStringList classify(const QString& pos = QStringLiteral("pos.sqlite")) {
    QStringList rows;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "classify-check");
      db.setDatabaseName(path(pos));
      EXPECT_TRUE(db.open());
      QSqlQuery q(db);
      EXPECT_TRUE(q.exec("select ClsNo, ClsName from Classify order by ClsNo"));
      while (q.next()) rows << q.value(0).toString() + '=' + q.value(1).toString();
    }
    QSqlDatabase::removeDatabase("classify-check");
    return rows;
  }

  static std::vector<journal::RowChange> lastJournal() {
    const QStringList journals = dataimport::ImportJournal::list();
    if (journals.isEmpty()) return {};
    return journal::JournalFile::open(journals.back())->entries();
  }

  std::vector<ShownMessage> kind(ShownMessage::Kind k) const {
    std::vector<ShownMessage> found;
    for (const ShownMessage& m : ui_.messages)
      if (m.kind == k) found.push_back(m);
    return found;
  }

  std::unique_ptr<Program> program_;
};

QString cellText(const QAbstractItemModel* model, int row, int column) {
  return model->data(model->index(row, column)).toString();
}

// What the window's preview shows is what the batch's dry run counts, cell by cell, and
// what the import then does.
TEST_F(ImportFlowTest, ThePreviewShowsWhatTheDryRunCountsAndTheImportThenDoes) {
  makeFiles();
  start();
  // The dry run, as the batch command runs it.
  struct Quiet : dataimport::PreviewFrontEnd {
    dataimport::TableImport::Preview previewTable(const dataimport::ImportTable&,
                                                  dataimport::TableImport& import,
                                                  const dataimport::ChangeSink& sink) override {
      platform::NoProgress none;
      return import.preview(none, sink);
    }
    void tableUnreadable(const dataimport::ImportTable&, const QString&) override {}
  } quiet;
  const auto dryRun =
      dataimport::ImportPreview(program_->DmAccess(), program_->DmMSSQL(), quiet).run();
  ASSERT_EQ(dryRun.size(), 2u);

  QStringList seen;
  QStringList cells;
  QStringList failures;
  int itemCells = -1;
  ui_.onDialog = [&](QDialog& dialog) {
    auto* preview = qobject_cast<PreviewWindow*>(&dialog);
    if (!preview) return int(QDialog::Accepted);
    const QTableWidget* summary = preview->summary();
    for (int row = 0; row < summary->rowCount(); ++row) {
      const auto& counts = *dryRun[size_t(row)].counts;
      EXPECT_EQ(summary->item(row, 2)->text().toInt(), counts.added);
      EXPECT_EQ(summary->item(row, 3)->text().toInt(), counts.changed);
      EXPECT_EQ(summary->item(row, 4)->text().toInt(), counts.unchanged);
      EXPECT_EQ(summary->item(row, 5)->text().toInt(), int(counts.failures.size()));
      EXPECT_EQ(summary->item(row, 6)->text().toInt(),
                counts.keptBySettings.empty() ? 0 : counts.keptBySettings[0].cells);
    }
    const QAbstractItemModel* grid = preview->cells()->model();
    for (int row = 0; row < grid->rowCount(); ++row) {
      QStringList line;
      for (int c = 0; c < grid->columnCount(); ++c) line << cellText(grid, row, c);
      cells << line.join('|');
    }
    preview->tableFilter()->setCurrentIndex(2);  // 商品資料
    itemCells = preview->shownCells();
    const QTableWidget* failing = preview->failures();
    for (int row = 0; row < failing->rowCount(); ++row)
      failures << failing->item(row, 0)->text() + '|' + failing->item(row, 1)->text();
    EXPECT_TRUE(preview->startButton()->isEnabled());
    // C03 is not in the file: the operator hears of it, and the import leaves it.
    EXPECT_TRUE(summary->item(0, 8)->text().contains("檔案中少了 1 列：C03"))
        << summary->item(0, 8)->text().toStdString();
    seen << dialog.windowTitle();
    return int(QDialog::Accepted);
  };
  click("bbtnImport");

  ASSERT_EQ(seen.size(), 1);
  EXPECT_EQ(cells, QStringList({"分類資料|B02|變更|小分類名稱|ClsName|感冒用藥|感冒藥",
                                "分類資料|D04|新增|小分類編號|ClsNo||D04",
                                "分類資料|D04|新增|小分類名稱|ClsName||新分類",
                                "商品資料|10000018|變更|品名|PtName|口罩|口罩（盒）"}));
  EXPECT_EQ(itemCells, 1);
  EXPECT_EQ(failures, QStringList({"分類資料|第 4 列"}));
  // The import did what was previewed: the row that fails fails there too.
  EXPECT_EQ(classify(), QStringList({"A01=保健食品", "B02=感冒藥", "C03=醫療器材", "D04=新分類"}));
  const auto report = kind(ShownMessage::Kind::Dialog).back();
  EXPECT_TRUE(report.text.startsWith(
      "匯入結果：\n分類資料：部分完成，停在 Classify.mdb 第 4 列；之前已新增 1 列、變更 1 列。"))
      << report.text.toStdString();
  // A failing row ends its table only; the cells the settings kept are named.
  EXPECT_TRUE(
      report.text.contains("商品資料：完成，新增 0 列、變更 1 列（Item.mdb）。\n"
                           "  售價 1 筆未更新：參數設定未勾選「更新售價」"))
      << report.text.toStdString();
}

// Starting from the preview imports exactly what a direct import does: the same journal.
TEST_F(ImportFlowTest, StartingFromThePreviewWritesWhatADirectImportWrites) {
  makeFiles();
  start();
  click("bbtnImport");
  ASSERT_EQ(kind(ShownMessage::Kind::Dialog).size(), 2u);  // the preview, the report
  const auto previewed = lastJournal();
  program_.reset();
  QFile::remove(dataimport::ImportJournal::list().back());

  makeFiles(QStringLiteral("pos2.sqlite"));
  start("Preview=0\r\n", QStringLiteral("pos2.sqlite"));
  click("bbtnImport");
  ASSERT_EQ(kind(ShownMessage::Kind::Dialog).size(), 1u);  // the report alone
  const auto direct = lastJournal();
  ASSERT_EQ(previewed.size(), direct.size());
  ASSERT_FALSE(direct.empty());
  for (size_t i = 0; i < direct.size(); ++i) {
    EXPECT_EQ(previewed[i].key, direct[i].key);
    EXPECT_EQ(previewed[i].cells.size(), direct[i].cells.size());
  }
  EXPECT_EQ(classify(), classify(QStringLiteral("pos2.sqlite")));
}

// A file saved again after the preview is not imported unseen: the operator is told
// and sees the new preview first.
TEST_F(ImportFlowTest, AFileChangedAfterThePreviewIsPreviewedAgain) {
  makeFiles();
  start();
  int previews = 0;
  ui_.onDialog = [&](QDialog& dialog) {
    if (!qobject_cast<PreviewWindow*>(&dialog)) return int(QDialog::Accepted);
    if (++previews == 1) {
      QFile::remove(path("Classify.mdb"));
      test::writeClassifyFiles(folder_.path(), {{"B02", "感冒藥水"}});
      QFile file(path("Classify.mdb"));
      file.open(QIODevice::ReadWrite);
      file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    }
    return int(QDialog::Accepted);
  };
  click("bbtnImport");
  EXPECT_EQ(previews, 2);
  const auto boxes = kind(ShownMessage::Kind::Box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.contains("Classify.mdb 在預覽之後有修改過"))
      << boxes[0].text.toStdString();
  EXPECT_EQ(classify(), QStringList({"A01=保健食品", "B02=感冒藥水", "C03=醫療器材"}));
}

// Leaving the preview, or cancelling it while it reads, writes nothing: no POS row, no
// journal.
TEST_F(ImportFlowTest, APreviewLeftOrCancelledWritesNothing) {
  makeFiles();
  start();
  ui_.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
  click("bbtnImport");
  EXPECT_EQ(kind(ShownMessage::Kind::Dialog).size(), 1u);

  ui_.messages.clear();
  ProgressWindow::setStepHookForTesting([](ProgressWindow& window, int done) {
    if (done == 2) window.requestCancel();
  });
  click("bbtnImport");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "已取消預覽，沒有匯入任何資料。");
  EXPECT_EQ(classify(), QStringList({"A01=保健食品", "B02=感冒用藥", "C03=醫療器材"}));
  EXPECT_TRUE(dataimport::ImportJournal::list().isEmpty());
}

// "取消" in the import's window stops between two rows: the rows before stay, journaled;
// the report says so and lists the later table as not run.
TEST_F(ImportFlowTest, ACancelledImportKeepsTheRowsBeforeAndSaysSo) {
  makeFiles();
  start("Preview=0\r\n");
  ui_.onProcessEvents = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<dataimport::TImportMdbBox*>(w); box && box->isVisible())
        box->requestCancel();
  };
  click("bbtnImport");
  ui_.onProcessEvents = {};
  EXPECT_TRUE(kind(ShownMessage::Kind::Box).empty());  // a cancel is no error
  const auto report = kind(ShownMessage::Kind::Dialog).back();
  EXPECT_TRUE(
      report.text.startsWith("匯入結果：\n分類資料：已取消；之前已新增 0 列、變更 1 列。\n"
                             "商品資料：未執行：匯入已取消。"))
      << report.text.toStdString();
  EXPECT_TRUE(report.text.contains("可以在「匯入紀錄」中還原")) << report.text.toStdString();
  EXPECT_EQ(classify(), QStringList({"A01=保健食品", "B02=感冒藥", "C03=醫療器材"}));
  const auto entries = lastJournal();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].key, "B02");
  // The history tells a cancelled run from a failed one.
  const auto history = dataimport::ImportHistory::list();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].outcome, dataimport::HistoryEntry::Outcome::Cancelled);
}

// "還原這次匯入" in the report opens the history at the import's journal, and its undo
// brings the POS back to what it held before.
TEST_F(ImportFlowTest, TheReportTakesTheImportBack) {
  makeFiles();
  start();
  ui_.answer = true;  // yes, take it back
  QStringList dialogs;
  ui_.onDialog = [&](QDialog& dialog) {
    dialogs << dialog.windowTitle();
    if (auto* report = qobject_cast<ReportWindow*>(&dialog)) {
      if (report->undoButton() && dialogs.size() == 2) report->undoButton()->click();
    } else if (auto* history = qobject_cast<ImportHistoryWindow*>(&dialog)) {
      history->undoSelected();
    }
    return int(QDialog::Accepted);
  };
  click("bbtnImport");
  ASSERT_GE(dialogs.size(), 3);
  EXPECT_EQ(dialogs[1], "匯入結果");
  EXPECT_EQ(dialogs[2], "匯入紀錄");
  EXPECT_EQ(classify(), QStringList({"A01=保健食品", "B02=感冒用藥", "C03=醫療器材"}));
  const auto history = dataimport::ImportHistory::list();
  ASSERT_EQ(history.size(), 2u);  // the undo, newest first, and the import it took back
  EXPECT_TRUE(history[0].isUndo);
  EXPECT_EQ(history[1].outcome, dataimport::HistoryEntry::Outcome::Undone);
}

// The export stops between two rows too: what the report says matches the files.
TEST_F(ImportFlowTest, ACancelledExportSaysWhatWasWritten) {
  makeFiles();
  QFile::remove(path("Classify.mdb"));
  QFile::remove(path("Item.mdb"));
  start();
  ProgressWindow::setStepHookForTesting([](ProgressWindow& window, int done) {
    if (window.text().startsWith("正在匯出商品資料") && done == 1) window.requestCancel();
  });
  click("bbtnExport");
  const auto report = kind(ShownMessage::Kind::Dialog).back();
  EXPECT_TRUE(
      report.text.startsWith("匯出結果：\n分類資料：完成，匯出 3 列（Classify.mdb）。\n"
                             "商品資料：已取消；之前已匯出 1 列。"))
      << report.text.toStdString();
  EXPECT_TRUE(QFile::exists(path("Classify.mdb")));
}

}  // namespace
}  // namespace app
