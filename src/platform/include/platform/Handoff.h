// Work handed from one thread to another through a short queue, so that a producer and
// a consumer run side by side on two cores while the memory between them stays bounded.
// Either side may give up: a producer's failure reaches the consumer as the exception
// it threw, and a consumer that stops releases a producer waiting for room.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {

template <typename T>
class Handoff {
 public:
  explicit Handoff(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}
  Handoff(const Handoff&) = delete;
  Handoff& operator=(const Handoff&) = delete;

  // Producer: waits for room. False when the consumer has stopped; the item is dropped.
  bool push(T item) {
    std::unique_lock lock(mutex_);
    roomOrStop_.wait(lock, [&] { return stopped_ || items_.size() < capacity_; });
    if (stopped_) return false;
    items_.push_back(std::move(item));
    itemOrEnd_.notify_one();
    return true;
  }

  // Producer: nothing more comes; the consumer gets what is queued, then the end.
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    itemOrEnd_.notify_all();
  }

  // Producer: it failed; the consumer gets what is queued, then `error` thrown.
  void fail(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    error_ = std::move(error);
    closed_ = true;
    itemOrEnd_.notify_all();
  }

  // Consumer: waits for an item. Nothing at the end; rethrows the producer's failure.
  std::optional<T> pop() {
    std::unique_lock lock(mutex_);
    itemOrEnd_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) {
      if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
      return std::nullopt;
    }
    T item = std::move(items_.front());
    items_.pop_front();
    roomOrStop_.notify_one();
    return item;
  }

  // Consumer: takes no more; what is queued is dropped and every push from now on fails.
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    items_.clear();
    roomOrStop_.notify_all();
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable roomOrStop_;
  std::condition_variable itemOrEnd_;
  std::deque<T> items_;
  std::exception_ptr error_;
  bool closed_ = false;
  bool stopped_ = false;
};

}  // namespace platform
