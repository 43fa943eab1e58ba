// The application's top-level error handler and the guard every window handler runs
// through. Qt must never see an exception leave an event handler, so each handler is
// wrapped: an error ends the handler, the operator sees its text in an error box
// captioned with the application title, and the program keeps running.
#pragma once

#include <platform/ErrorText.h>

#include <QString>
#include <exception>
#include <utility>

namespace app {

// Shown in the task bar and as the caption of error boxes.
inline const QString& applicationTitle() {
  static const QString title = QStringLiteral("資料轉換程式");
  return title;
}

// Shared with the command-line front end (platform/ErrorText.h).
using platform::errorText;
using platform::withFullStop;

// The top-level handler: a modal error box with the stop icon and one OK button.
void showException(const QString& text);

// Runs `handler`; an error that escapes it goes to showException. Returns whether
// the handler completed.
template <class Handler>
bool guard(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
    return true;
  } catch (...) {
    try {
      showException(errorText(std::current_exception()));
    } catch (...) {
      // Showing the box itself failed (out of memory): nothing more can be done.
    }
    return false;
  }
}

}  // namespace app
