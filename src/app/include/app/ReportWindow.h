// The report after an import, an export or an undo: every table asked for, with what
// became of it (see config::RunOutcome), and for an import its journal with
// "還原這次匯入".
#pragma once

#include <config/RunOutcome.h>

#include <QDialog>
#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace app {

class ReportWindow : public QDialog {
  Q_OBJECT
 public:
  // `undo`, when given and the run wrote something, is offered as "還原這次匯入".
  ReportWindow(const config::RunOutcome& outcome, std::function<void()> undo,
               QWidget* parent = nullptr);

  QString text() const;
  QPushButton* undoButton() const { return undo_; }

 private:
  QPlainTextEdit* text_ = nullptr;
  QPushButton* undo_ = nullptr;
};

}  // namespace app
