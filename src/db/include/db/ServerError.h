// A statement the database refused for what it was given (a value out of the column's
// range, a text too long, a broken constraint), as opposed to a timeout, a cancel or a
// lost link: what an import reports as the failing row's own error, naming the row.
#pragma once

#include <platform/Error.h>

namespace db {

class ServerError : public platform::Error {
 public:
  using platform::Error::Error;
};

// A row that another user changed or deleted since it was read: the post wrote nothing.
class ConflictError : public platform::Error {
 public:
  using platform::Error::Error;
};

}  // namespace db
