// What a table import tells about each row it posts: the journal's way in.
#pragma once

#include <journal/RowChange.h>

#include <exception>

namespace dataimport {

// Receives each row an import is about to post: rowReady() before the POS is
// written, then rowPosted() once it is, or rowFailed() when the post failed. A failed
// post `mayHaveWritten` the row unless the database refused its statement or found the
// row changed by someone else (a lost link or a timeout leaves it unknown; an update
// that reached more than one row did write). Rows the post leaves as they were are not
// reported.
class ImportObserver {
 public:
  virtual ~ImportObserver() = default;
  virtual void rowReady(const journal::RowChange& change) = 0;
  virtual void rowPosted() = 0;
  virtual void rowFailed(bool mayHaveWritten) = 0;
};

// Whether the failure of a post may have left its row written, as above.
bool postMayHaveWritten(const std::exception_ptr& failure);

}  // namespace dataimport
