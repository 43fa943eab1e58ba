#include "app/ErrorHandler.h"

#include <platform/UiServices.h>

namespace app {

void showException(const QString& text) {
  platform::UiServices::instance().messageBox(withFullStop(text), applicationTitle(),
                                              platform::UiServices::Icon::Error);
}

}  // namespace app
