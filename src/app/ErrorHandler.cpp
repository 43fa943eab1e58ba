#include "app/ErrorHandler.h"

#include <platform/Error.h>
#include <platform/UiServices.h>

#include <new>
#include <stdexcept>

namespace app {

QString withFullStop(const QString& text) {
  if (!text.isEmpty() && text.back() > QLatin1Char('.')) return text + QLatin1Char('.');
  return text;
}

QString errorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const platform::Error& e) {
    return e.message();
  } catch (const std::bad_alloc&) {
    return QStringLiteral("Out of memory");
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

void showException(const QString& text) {
  platform::UiServices::instance().messageBox(withFullStop(text), applicationTitle(),
                                              platform::UiServices::Icon::Error);
}

}  // namespace app
