#include "app/ErrorHandler.h"

#include <platform/UiServices.h>

namespace app {

void showException(const QString& text) {
  // The driver's own words go to the box's details, under the operator's line.
  const platform::SplitText split = platform::splitDetails(withFullStop(text));
  platform::UiServices::instance().errorBox(split.text, split.details, applicationTitle());
}

}  // namespace app
