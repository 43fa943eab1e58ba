// The window of the import history: the journals, newest first, and for the one
// selected what taking it back would do (a dry run of its undo against the POS as it
// is now), with "還原" to do it, under a progress window the operator can cancel, and
// its own report after.
#pragma once

#include <import/ImportHistory.h>

#include <QDialog>
#include <QSet>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace posdb {
class TDmMSSQL;
}

namespace app {

class ImportHistoryWindow : public QDialog {
  Q_OBJECT
 public:
  ImportHistoryWindow(posdb::TDmMSSQL& pos, QWidget* parent = nullptr);

  // Reads the journal folder again, keeping the selection where it can.
  void reload();
  // Selects the journal at `path` (no change when it is not listed).
  void select(const QString& path);
  QString selectedPath() const;

  // "還原": asks, takes the selected journal back and reports.
  void undoSelected();
  // The report of the last undo run from this window, as it was shown.
  const QString& lastReport() const { return lastReport_; }

  QTableWidget* list() const { return list_; }
  QPlainTextEdit* detail() const { return detail_; }
  QPushButton* undoButton() const { return undo_; }

 private:
  void showSelected();
  bool posStarted() const;
  const dataimport::HistoryEntry* selected() const;

  posdb::TDmMSSQL& pos_;
  std::vector<dataimport::HistoryEntry> entries_;
  QTableWidget* list_;
  QPlainTextEdit* detail_;
  QPushButton* undo_;
  QPushButton* close_;
  QString lastReport_;
  QSet<QString> fresh_;  // tables read again from the POS since the window opened
};

// The entry points of the main window and of the import's report.
void showImportHistory(posdb::TDmMSSQL& pos, QWidget* parent);
void showUndoOf(posdb::TDmMSSQL& pos, const QString& journalPath, QWidget* parent);

}  // namespace app
