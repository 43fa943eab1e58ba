// The operator's text of an error of the Access engine (see JetDriver.cpp).
#pragma once

#include <jet/Error.h>

#include <QString>

namespace db {

// A file that cannot be written (a full disk, a read-only file) or a damaged page: a
// Chinese line that says what to do, then the engine's own text. Other errors: the
// engine's text, which names the table and the column.
QString jetErrorText(const jet::Error& e);

}  // namespace db
