// Driver over the Access file engine.
#include "Driver.h"

#include <platform/Error.h>

namespace db {

std::unique_ptr<Driver> makeJetDriver(const QString& path) {
  throw platform::Error(QStringLiteral("Access files are not supported yet: %1").arg(path));
}

}  // namespace db
