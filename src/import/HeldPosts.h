// Rows an undo puts back, sent to the POS in batches where the database takes them
// (see db::Dataset::queuePost): over a slow link a round trip a row is what makes a
// long undo slow. Each row's entry is made before the batch that writes it goes out;
// a batch that fails leaves the rows before the failing one written and reported
// posted, that one failed, and the rows after it reported not written, as single posts
// would have.
#pragma once

#include "import/ImportObserver.h"

#include <db/Dataset.h>

namespace dataimport {

// Tells `observer` (when there is one) what a flush of `held` rows did: the rows written
// posted; then, after a failure, each row left as written or not as the failure says.
void reportFlushed(ImportObserver* observer, const db::Dataset::Flushed& flushed, size_t held);

class HeldPosts {
 public:
  HeldPosts(ImportObserver& observer, int batchRows) : observer_(observer), batchRows_(batchRows) {}

  // Finishes the edit or append under way on `ds`, whose entry was made: held for the
  // next batch, or posted at once (after the rows held) where it cannot be held. The
  // rows held on another dataset are sent first. Throws what the post or an earlier
  // held row met; the row is then reported.
  void post(db::Dataset& ds);
  // Sends the rows held. Throws the first failure, reported as above.
  void flush();
  bool empty() const { return held_ == 0; }

 private:
  ImportObserver& observer_;
  const int batchRows_;
  db::Dataset* ds_ = nullptr;
  int held_ = 0;
};

}  // namespace dataimport
