// The seam between logic and the windowing toolkit for message boxes, the
// information dialog and the hourglass cursor. The application installs a widget
// implementation; tests install one that records and answers.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

class UiServices {
 public:
  enum class Icon { None, Information, Warning, Error };
  virtual ~UiServices() = default;

  // A modal message box with one OK button.
  virtual void messageBox(const QString& text, const QString& caption, Icon icon) = 0;
  // A modal error box whose `details` (the driver's or the system's own words, kept for
  // support) are shown on request below `text`. By default: one box with both.
  virtual void errorBox(const QString& text, const QString& details, const QString& caption);
  // A modal question with the buttons Yes and No (No the default); true for Yes. Where no
  // one can answer (the silent default), the answer is No.
  virtual bool question(const QString& text, const QString& caption);
  // A modal choice among `buttons` (their captions), `defaultButton` the one Enter
  // presses; the index of the button pressed, or -1 when the box was closed. Where no
  // one can answer (the silent default), -1.
  virtual int choose(const QString& text, const QString& caption, const QStringList& buttons,
                     int defaultButton);
  // The platform's information dialog: caption "Information", information icon, "OK".
  virtual void showInformation(const QString& text) = 0;
  virtual void setBusyCursor(bool busy) = 0;
  // Lets the windows repaint during a long loop.
  virtual void processEvents() = 0;

  static UiServices& instance();
  // The previous instance is returned; nullptr restores the silent default.
  static UiServices* install(UiServices* services);
};

// Shows the hourglass for its lifetime and restores the default cursor whatever the
// outcome.
class BusyCursor {
 public:
  BusyCursor() { UiServices::instance().setBusyCursor(true); }
  ~BusyCursor() { UiServices::instance().setBusyCursor(false); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace platform
