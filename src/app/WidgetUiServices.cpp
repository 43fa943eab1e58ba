#include "app/WidgetUiServices.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <vector>

namespace app {
namespace {

QWidget* ownerWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

QMessageBox::Icon boxIcon(platform::UiServices::Icon icon) {
  switch (icon) {
    case platform::UiServices::Icon::Information:
      return QMessageBox::Information;
    case platform::UiServices::Icon::Warning:
      return QMessageBox::Warning;
    case platform::UiServices::Icon::Error:
      return QMessageBox::Critical;
    case platform::UiServices::Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

void runBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, ownerWindow());
  box.setTextFormat(Qt::PlainText);
  // The box is modal; a busy cursor left by the caller must not hide the arrow.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QApplication::restoreOverrideCursor();
}

}  // namespace

void WidgetUiServices::messageBox(const QString& text, const QString& caption, Icon icon) {
  runBox(boxIcon(icon), caption, text);
}

bool WidgetUiServices::question(const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                  ownerWindow());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  if (busy) QApplication::restoreOverrideCursor();
  return answer == QMessageBox::Yes;
}

int WidgetUiServices::choose(const QString& text, const QString& caption,
                             const QStringList& buttons, int defaultButton) {
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, ownerWindow());
  box.setTextFormat(Qt::PlainText);
  std::vector<QAbstractButton*> made;
  for (int i = 0; i < buttons.size(); ++i) {
    QPushButton* b = box.addButton(buttons[i], QMessageBox::ActionRole);
    made.push_back(b);
    if (i == defaultButton) box.setDefaultButton(b);
  }
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QApplication::restoreOverrideCursor();
  for (size_t i = 0; i < made.size(); ++i)
    if (box.clickedButton() == made[i]) return int(i);
  return -1;
}

void WidgetUiServices::showInformation(const QString& text) {
  runBox(QMessageBox::Information, QStringLiteral("Information"), text);
}

void WidgetUiServices::setBusyCursor(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void WidgetUiServices::processEvents() {
  QCoreApplication::processEvents();
}

}  // namespace app
