#include "HeldPosts.h"

#include <db/Dataset.h>

#include <utility>

namespace dataimport {

void HeldPosts::post(db::Dataset& ds) {
  using Queue = db::Dataset::Queue;
  Queue queued = Queue::Single;
  try {
    if (ds_ != &ds) flush();
    ds_ = &ds;
    queued = ds.queuePost(batchRows_);
    if (queued == Queue::Full) {
      flush();
      queued = ds.queuePost(batchRows_);
    }
    if (queued != Queue::Queued) flush();
  } catch (...) {
    // Not sent: a held row before it failed, or its own statement could not be made.
    ds.cancel();
    observer_.rowFailed(false);
    throw;
  }
  switch (queued) {
    case Queue::Queued:
      if (++held_ >= batchRows_) flush();
      return;
    case Queue::Nothing:
      observer_.rowPosted();
      return;
    default:
      break;
  }
  try {
    ds.post();
  } catch (...) {
    ds.cancel();
    observer_.rowFailed(postMayHaveWritten(std::current_exception()));
    throw;
  }
  observer_.rowPosted();
}

void HeldPosts::flush() {
  if (held_ == 0 || !ds_) return;
  const int held = std::exchange(held_, 0);
  const db::Dataset::Flushed flushed = ds_->flushPosts();
  for (int i = 0; i < flushed.written; ++i) observer_.rowPosted();
  if (!flushed.failure) return;
  if (flushed.unknown) {
    // The link failed while the batch was out: each of its rows may have been written.
    for (int i = flushed.written; i < held; ++i) observer_.rowFailed(true);
  } else {
    observer_.rowFailed(postMayHaveWritten(flushed.failure));
    for (int i = flushed.written + 1; i < held; ++i) observer_.rowFailed(false);
  }
  std::rethrow_exception(flushed.failure);
}

}  // namespace dataimport
