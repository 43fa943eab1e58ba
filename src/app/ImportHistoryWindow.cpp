#include "app/ImportHistoryWindow.h"

#include "app/DialogRunner.h"
#include "app/Fonts.h"

#include <config/PosTables.h>
#include "app/ProgressWindow.h"

#include <import/JournalUndo.h>
#include <import/UndoText.h>
#include <platform/Error.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace app {
namespace {

using dataimport::HistoryEntry;
using dataimport::ImportHistory;

const QString kCaption = QStringLiteral("匯入紀錄");
const QString kUndoCaption = QStringLiteral("還原");
// A preview or report lists at most so many rows; the counts cover them all.
constexpr int kRowsShown = 2000;

enum Column { Started, User, Kind, Tables, Counts, Outcome, ColumnCount };

// The rows a preview or report lists: all of a preview, the ones left alone of a report.
QString rowLines(const dataimport::UndoResult& r, bool all) {
  QStringList lines;
  int left = 0;
  for (const dataimport::UndoStep& s : r.steps) {
    if (!all && s.outcome != dataimport::UndoStep::Outcome::Conflict &&
        s.outcome != dataimport::UndoStep::Outcome::Uncertain)
      continue;
    if (lines.size() < kRowsShown)
      lines << dataimport::undotext::step(s);
    else
      ++left;
  }
  if (left) lines << QStringLiteral("……另有 %1 列沒有列出").arg(left);
  return lines.join(u'\n');
}

// The undo compares the rows with what the POS holds now, not with what it held when
// the database was started: tills keep changing them.
QString tableWords(const QStringList& tables) {
  QStringList words;
  for (const QString& t : tables) words << config::tableWordOf(t);
  return words.join(QStringLiteral("、"));
}

void refreshTables(posdb::TDmMSSQL& pos, const QStringList& tables) {
  for (const QString& t : tables) pos.refresh(t);
}

}  // namespace

ImportHistoryWindow::ImportHistoryWindow(posdb::TDmMSSQL& pos, QWidget* parent)
    : QDialog(parent), pos_(pos) {
  setWindowTitle(kCaption);
  setObjectName(QStringLiteral("frmImportHistory"));
  setFont(fonts::newMingLiU(13));
  resize(860, 560);

  list_ = new QTableWidget(0, ColumnCount, this);
  list_->setObjectName(QStringLiteral("lvJournals"));
  list_->setHorizontalHeaderLabels({QStringLiteral("開始時間"), QStringLiteral("使用者"),
                                    QStringLiteral("類別"), QStringLiteral("資料表"),
                                    QStringLiteral("列數"), QStringLiteral("結果")});
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->verticalHeader()->hide();
  list_->horizontalHeader()->setStretchLastSection(true);

  detail_ = new QPlainTextEdit(this);
  detail_->setObjectName(QStringLiteral("memUndoPreview"));
  detail_->setReadOnly(true);
  detail_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(list_);
  split->addWidget(detail_);

  undo_ = new QPushButton(kUndoCaption, this);
  undo_->setObjectName(QStringLiteral("btnUndo"));
  close_ = new QPushButton(QStringLiteral("關閉"), this);
  close_->setObjectName(QStringLiteral("btnClose"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(undo_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  layout->addLayout(buttons);

  connect(list_, &QTableWidget::itemSelectionChanged, this, &ImportHistoryWindow::showSelected);
  connect(undo_, &QPushButton::clicked, this, &ImportHistoryWindow::undoSelected);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  reload();
}

bool ImportHistoryWindow::posStarted() const {
  return pos_.cnKAROS.isConnected() && pos_.qryClassify.isOpen();
}

void ImportHistoryWindow::reload() {
  const QString was = selectedPath();
  {
    platform::BusyCursor busy;
    entries_ = ImportHistory::list();
  }
  const QSignalBlocker quiet(list_);
  list_->clearContents();
  list_->setRowCount(int(entries_.size()));
  for (int i = 0; i < int(entries_.size()); ++i) {
    const HistoryEntry& e = entries_[size_t(i)];
    const QString kind =
        e.isUndo ? QStringLiteral("還原 %1").arg(e.undoes) : ImportHistory::kindText(e);
    const QStringList cells{e.started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            e.user,
                            kind,
                            tableWords(e.tables),
                            ImportHistory::countsText(e),
                            ImportHistory::outcomeText(e.outcome)};
    for (int c = 0; c < ColumnCount; ++c) list_->setItem(i, c, new QTableWidgetItem(cells[c]));
  }
  list_->resizeColumnsToContents();
  if (!was.isEmpty()) select(was);
  if (!selected() && !entries_.empty()) list_->selectRow(0);
  // One preview for the selection made here, not one for each step of making it.
  showSelected();
}

void ImportHistoryWindow::select(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  for (int i = 0; i < int(entries_.size()); ++i)
    if (entries_[size_t(i)].name == name) {
      list_->selectRow(i);
      return;
    }
}

const HistoryEntry* ImportHistoryWindow::selected() const {
  const QList<QTableWidgetItem*> items = list_->selectedItems();
  if (items.isEmpty()) return nullptr;
  const int row = items.first()->row();
  return row >= 0 && row < int(entries_.size()) ? &entries_[size_t(row)] : nullptr;
}

QString ImportHistoryWindow::selectedPath() const {
  const HistoryEntry* e = selected();
  return e ? e->path : QString();
}

void ImportHistoryWindow::showSelected() {
  const HistoryEntry* e = selected();
  undo_->setEnabled(e && e->outcome != HistoryEntry::Outcome::Running &&
                    e->outcome != HistoryEntry::Outcome::Unreadable);
  if (!e) {
    detail_->setPlainText(entries_.empty() ? QStringLiteral("還沒有匯入紀錄。") : QString());
    return;
  }
  QStringList text;
  text << QStringLiteral("%1：%2，%3，%4")
              .arg(e->name, ImportHistory::kindText(*e), ImportHistory::outcomeText(e->outcome),
                   e->started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
  if (e->outcome == HistoryEntry::Outcome::Unreadable) {
    detail_->setPlainText(text.first() + u'\n' + e->error);
    return;
  }
  if (e->outcome == HistoryEntry::Outcome::Running) {
    text << QStringLiteral("它的執行還沒有結束；結束後才能預覽及還原。");
    detail_->setPlainText(text.join(u'\n'));
    return;
  }
  if (!e->undoneBy.isEmpty())
    text << (e->outcome == HistoryEntry::Outcome::Undone
                 ? QStringLiteral("已由 %1 還原。").arg(e->undoneBy)
                 : QStringLiteral("%1 還原了其中一部分。").arg(e->undoneBy));
  if (!posStarted()) {
    text << QStringLiteral("要預覽還原，請先按「啟動資料庫」。");
    detail_->setPlainText(text.join(u'\n'));
    return;
  }
  try {
    platform::BusyCursor busy;
    dataimport::JournalUndo undo(pos_, e->path);
    // Once a window is enough for a preview: stepping through the list must not read
    // whole tables at every row. The undo reads them again in any case.
    QStringList stale;
    for (const QString& t : undo.tables())
      if (!fresh_.contains(t.toLower())) stale << t;
    refreshTables(pos_, stale);
    for (const QString& t : stale) fresh_.insert(t.toLower());
    platform::NoProgress none;
    const dataimport::UndoResult preview = undo.run(true, none);
    const QString note = dataimport::undotext::runNote(e->name, undo.runOutcome());
    if (!note.isEmpty()) text << note;
    text << QStringLiteral("還原預覽：") + dataimport::undotext::counts(preview, true);
    text << rowLines(preview, true);
  } catch (const platform::Error& error) {
    text << error.message();
  }
  detail_->setPlainText(text.join(u'\n'));
}

void ImportHistoryWindow::undoSelected() {
  const HistoryEntry* e = selected();
  if (!e) return;
  platform::UiServices& ui = platform::UiServices::instance();
  if (!posStarted()) {
    ui.messageBox(QStringLiteral("還原要寫入 POS 資料庫：請先按「啟動資料庫」，再還原。"),
                  kUndoCaption, platform::UiServices::Icon::Warning);
    return;
  }
  const QString path = e->path, name = e->name;
  try {
    dataimport::JournalUndo undo(pos_, path);
    // What the question says is what the undo then does: the preview is made on the
    // rows read now, and the undo follows it at once.
    dataimport::UndoResult preview;
    {
      platform::BusyCursor busy;
      refreshTables(pos_, undo.tables());
      platform::NoProgress none;
      preview = undo.run(true, none);
    }
    QString question =
        QStringLiteral("要還原 %1 嗎？\n%2").arg(name, dataimport::undotext::counts(preview, true));
    const QString note = dataimport::undotext::runNote(name, undo.runOutcome());
    if (!note.isEmpty()) question += u'\n' + note;
    if (!ui.question(question, kUndoCaption)) return;

    dataimport::UndoResult result;
    ProgressWindow progress(kUndoCaption, this);
    progress.run([&](ProgressWindow& window) {
      // The window follows it with the rows: "正在還原 …：3 / 10 列".
      window.setText(QStringLiteral("正在還原 %1").arg(name));
      result = undo.run(false, window);
    });
    refreshTables(pos_, undo.tables());
    QString report =
        (result.cancelled ? QStringLiteral("還原 %1 已取消。") : QStringLiteral("還原 %1 完成。"))
            .arg(name) +
        u'\n' + dataimport::undotext::counts(result, false);
    const QString left = rowLines(result, false);
    if (!left.isEmpty()) report += u'\n' + left;
    report += QStringLiteral("\n還原記錄：%1").arg(QDir::toNativeSeparators(result.journal));
    lastReport_ = report;
    reload();
    ui.messageBox(report, kUndoCaption,
                  result.conflicts || result.uncertain || result.cancelled
                      ? platform::UiServices::Icon::Warning
                      : platform::UiServices::Icon::Information);
  } catch (const platform::Error& error) {
    lastReport_ = QStringLiteral("還原 %1 失敗：%2").arg(name, error.message());
    reload();
    ui.messageBox(lastReport_, kUndoCaption, platform::UiServices::Icon::Error);
  }
}

void showImportHistory(posdb::TDmMSSQL& pos, QWidget* parent) {
  ImportHistoryWindow window(pos, parent);
  execDialog(window);
}

void showUndoOf(posdb::TDmMSSQL& pos, const QString& journalPath, QWidget* parent) {
  ImportHistoryWindow window(pos, parent);
  window.select(journalPath);
  execDialog(window);
}

}  // namespace app
