// The UI services of the running program, with Qt widgets: modal message boxes over
// the active window, the information dialog and the hourglass cursor.
#pragma once

#include <platform/UiServices.h>

namespace app {

class WidgetUiServices : public platform::UiServices {
 public:
  // Loads the toolkit's Traditional Chinese texts (standard buttons read 確定, 取消,
  // 是, 否). False when the translation file is not installed; the boxes then show the
  // toolkit's English button texts. Needs the QApplication; once per process.
  static bool installTranslations();

  // An empty caption: the program's title.
  void messageBox(const QString& text, const QString& caption, Icon icon) override;
  void errorBox(const QString& text, const QString& details, const QString& caption) override;
  bool question(const QString& text, const QString& caption) override;
  int choose(const QString& text, const QString& caption, const QStringList& buttons,
             int defaultButton) override;
  void showInformation(const QString& text) override;
  void setBusyCursor(bool busy) override;
  void processEvents() override;
};

}  // namespace app
