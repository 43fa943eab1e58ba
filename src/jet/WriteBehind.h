// Page writes performed on a thread of their own, in the order they were given, while
// the caller goes on preparing the next pages: an append session spends a good part of
// its time in the kernel copying pages into the file, and that time now overlaps with
// encoding rows. The order of writes to the file is exactly the order of the calls, so
// the file passes through the same states as with direct writes (each one readable).
//
// A failed write stops the queue: the writes before it are in the file, the ones after
// it are dropped, as after a crash at that point. Its error is thrown by the next
// write() or drain(), and by every one after.
#pragma once

#include <sys/types.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Format.h"
#include "jet/Error.h"

namespace jet {

class WriteBehind {
 public:
  WriteBehind(int fd, std::string path);
  // Waits for the writes queued (their errors can no longer be reported) and stops.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues `first` then `second` (may be empty) as one write at `offset`; waits while
  // the queue is full. At most two pages.
  void write(off_t offset, const std::uint8_t* first, std::size_t firstSize,
             const std::uint8_t* second = nullptr, std::size_t secondSize = 0);
  // Returns once every queued write is in the file.
  void drain();

 private:
  struct Slot {
    off_t offset = 0;
    std::size_t size = 0;
    std::array<std::uint8_t, 2 * fmt::kPageSize> bytes{};
  };
  // Enough to keep the thread busy while the caller fills a data page, small enough to
  // stay in the processor's cache.
  static constexpr std::size_t kSlots = 32;

  void run();
  void throwIfFailed() const;

  const int fd_;
  const std::string path_;
  std::vector<Slot> ring_;
  std::size_t head_ = 0;   // next to write
  std::size_t count_ = 0;  // queued, not yet written
  bool stop_ = false;
  std::optional<Error> failure_;
  std::mutex mutex_;
  std::condition_variable queued_;   // the thread waits for work
  std::condition_variable written_;  // callers wait for room or for the queue to empty
  std::thread thread_;
};

}  // namespace jet
