#include "app/ReportWindow.h"

#include "app/ErrorHandler.h"
#include "app/Fonts.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {
namespace {

QString caption(const config::RunOutcome& outcome) {
  switch (outcome.kind) {
    case config::RunOutcome::Kind::Export:
      return QStringLiteral("匯出結果");
    case config::RunOutcome::Kind::Undo:
      return QStringLiteral("還原結果");
    case config::RunOutcome::Kind::Import:
      break;
  }
  return QStringLiteral("匯入結果");
}

}  // namespace

ReportWindow::ReportWindow(const config::RunOutcome& outcome, std::function<void()> undo,
                           QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ReportWindow"));
  setWindowTitle(caption(outcome));
  setFont(fonts::newMingLiU(13));
  resize(600, 320);
  auto* layout = new QVBoxLayout(this);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("memReport"));
  text_->setReadOnly(true);
  text_->setPlainText(QString(config::outcomeReport(outcome))
                          .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  layout->addWidget(text_, 1);

  auto* buttons = new QHBoxLayout;
  int written = 0;
  for (const config::TableOutcome& t : outcome.tables) written += t.written();
  if (undo && !outcome.journal.isEmpty() && written > 0) {
    undo_ = new QPushButton(QStringLiteral("還原這次匯入…"), this);
    undo_->setObjectName(QStringLiteral("btnUndo"));
    undo_->setAutoDefault(false);
    connect(undo_, &QPushButton::clicked, this, [this, undo] {
      accept();
      guard(undo);
    });
    buttons->addWidget(undo_);
  }
  buttons->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("確定"), this);
  ok->setObjectName(QStringLiteral("btnOk"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(ok);
  layout->addLayout(buttons);
}

QString ReportWindow::text() const {
  return text_->toPlainText();
}

}  // namespace app
