// The UI services of the running program, with Qt widgets: modal message boxes over
// the active window, the information dialog and the hourglass cursor.
#pragma once

#include <platform/UiServices.h>

namespace app {

class WidgetUiServices : public platform::UiServices {
 public:
  void messageBox(const QString& text, const QString& caption, Icon icon) override;
  bool question(const QString& text, const QString& caption) override;
  int choose(const QString& text, const QString& caption, const QStringList& buttons,
             int defaultButton) override;
  void showInformation(const QString& text) override;
  void setBusyCursor(bool busy) override;
  void processEvents() override;
};

}  // namespace app
