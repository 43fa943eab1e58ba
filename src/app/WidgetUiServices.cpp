#include "app/WidgetUiServices.h"

#include "app/ErrorHandler.h"

#include <QApplication>
#include <QCursor>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
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

// A box without a caption of its own carries the program's.
QString captionOr(const QString& caption) {
  return caption.isEmpty() ? applicationTitle() : caption;
}

// The box is modal; a busy cursor left by the caller must not hide the arrow.
int execWithArrow(QMessageBox& box) {
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int result = box.exec();
  if (busy) QApplication::restoreOverrideCursor();
  return result;
}

}  // namespace

bool WidgetUiServices::installTranslations() {
  // The program speaks Traditional Chinese whatever the machine's locale: the
  // toolkit's own words (standard buttons, "Show Details...", the edit menus) too.
  static QTranslator* translator = nullptr;
  if (translator) return true;
  auto* loaded = new QTranslator(qApp);
  if (!loaded->load(QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan),
                    QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete loaded;
    return false;
  }
  QCoreApplication::installTranslator(loaded);
  translator = loaded;
  return true;
}

void WidgetUiServices::messageBox(const QString& text, const QString& caption, Icon icon) {
  QMessageBox box(boxIcon(icon), captionOr(caption), text, QMessageBox::Ok, ownerWindow());
  box.setTextFormat(Qt::PlainText);
  execWithArrow(box);
}

void WidgetUiServices::errorBox(const QString& text, const QString& details,
                                const QString& caption) {
  QMessageBox box(QMessageBox::Critical, captionOr(caption), text, QMessageBox::Ok, ownerWindow());
  box.setTextFormat(Qt::PlainText);
  if (!details.isEmpty()) box.setDetailedText(details);
  execWithArrow(box);
}

bool WidgetUiServices::question(const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Question, captionOr(caption), text,
                  QMessageBox::Yes | QMessageBox::No, ownerWindow());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return execWithArrow(box) == QMessageBox::Yes;
}

int WidgetUiServices::choose(const QString& text, const QString& caption,
                             const QStringList& buttons, int defaultButton) {
  QMessageBox box(QMessageBox::Question, captionOr(caption), text, QMessageBox::NoButton,
                  ownerWindow());
  box.setTextFormat(Qt::PlainText);
  std::vector<QAbstractButton*> made;
  for (int i = 0; i < buttons.size(); ++i) {
    QPushButton* b = box.addButton(buttons[i], QMessageBox::ActionRole);
    made.push_back(b);
    if (i == defaultButton) box.setDefaultButton(b);
  }
  execWithArrow(box);
  for (size_t i = 0; i < made.size(); ++i)
    if (box.clickedButton() == made[i]) return int(i);
  return -1;
}

void WidgetUiServices::showInformation(const QString& text) {
  // The platform's information dialog as the operators know it: its caption and its
  // button keep their own words even where the toolkit's are translated.
  QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok,
                  ownerWindow());
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
  execWithArrow(box);
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
