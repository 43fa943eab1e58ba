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

void reportFlushed(ImportObserver* observer, const db::Dataset::Flushed& flushed, size_t held) {
  if (!observer) return;
  const size_t written = size_t(flushed.written);
  for (size_t i = 0; i < written; ++i) observer->rowPosted();
  if (!flushed.failure) return;
  if (flushed.unknown) {
    // The link failed while the batch was out: each of its rows may have been written.
    for (size_t i = written; i < held; ++i) observer->rowFailed(true);
    return;
  }
  observer->rowFailed(postMayHaveWritten(flushed.failure));
  for (size_t i = written + 1; i < held; ++i) observer->rowFailed(false);
}

void HeldPosts::flush() {
  if (held_ == 0 || !ds_) return;
  const int held = std::exchange(held_, 0);
  const db::Dataset::Flushed flushed = ds_->flushPosts();
  reportFlushed(&observer_, flushed, size_t(held));
  if (flushed.failure) std::rethrow_exception(flushed.failure);
}

}  // namespace dataimport
