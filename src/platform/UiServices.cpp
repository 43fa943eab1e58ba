// Below the user interface nothing may pop up a window: until the application installs
// its widget implementation, messages go nowhere and the cursor does not change.
#include "platform/UiServices.h"

namespace platform {
namespace {

class SilentUiServices final : public UiServices {
 public:
  void messageBox(const QString&, const QString&, Icon) override {}
  void showInformation(const QString&) override {}
  void setBusyCursor(bool) override {}
  void processEvents() override {}
};

SilentUiServices silentServices;
UiServices* installed = nullptr;

}  // namespace

void UiServices::errorBox(const QString& text, const QString& details, const QString& caption) {
  messageBox(details.isEmpty() ? text : text + QStringLiteral("\n\n") + details, caption,
             Icon::Error);
}

bool UiServices::question(const QString&, const QString&) {
  return false;
}

int UiServices::choose(const QString&, const QString&, const QStringList&, int) {
  return -1;
}

UiServices& UiServices::instance() {
  return installed ? *installed : silentServices;
}

// Returns nullptr when the silent default was in force, so that installing the
// returned value always restores the previous state.
UiServices* UiServices::install(UiServices* services) {
  UiServices* previous = installed;
  installed = services;
  return previous;
}

}  // namespace platform
