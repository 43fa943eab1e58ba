// The operator stopped long work (an import, a preview, an export, an undo). Thrown from
// a progress report (Progress::step) at a unit's boundary, so the work ends between two
// units: what was written stays, the files stay readable, and the caller reports the
// work as cancelled with its counts so far.
#pragma once

#include "platform/Error.h"

namespace platform {

class Cancelled : public Error {
 public:
  Cancelled() : Error(QStringLiteral("已取消。")) {}
};

}  // namespace platform
