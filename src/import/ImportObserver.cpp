#include "import/ImportObserver.h"

#include <db/ServerError.h>

namespace dataimport {

bool postMayHaveWritten(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const db::ConflictError&) {
    return false;
  } catch (const db::ServerError&) {
    return false;
  } catch (...) {
    return true;
  }
}

}  // namespace dataimport
