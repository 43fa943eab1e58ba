#include "app/DialogRunner.h"

#include <QDialog>
#include <QFileDialog>

namespace app {
namespace {

std::function<int(QDialog&)>& runner() {
  static std::function<int(QDialog&)> hook;
  return hook;
}

std::function<QString(const QString&)>& saveAnswer() {
  static std::function<QString(const QString&)> hook;
  return hook;
}

}  // namespace

int execDialog(QDialog& dialog) {
  if (const auto& hook = runner()) return hook(dialog);
  return dialog.exec();
}

QString askSaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                        const QString& filter) {
  if (const auto& hook = saveAnswer()) return hook(suggested);
  return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void setDialogRunnerForTesting(std::function<int(QDialog&)> hook) {
  runner() = std::move(hook);
}

void setSaveFileNameForTesting(std::function<QString(const QString&)> answer) {
  saveAnswer() = std::move(answer);
}

}  // namespace app
