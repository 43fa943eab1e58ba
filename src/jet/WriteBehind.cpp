#include "WriteBehind.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jet {

WriteBehind::WriteBehind(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), ring_(kSlots), thread_([this] { run(); }) {}

WriteBehind::~WriteBehind() {
  {
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return count_ == 0; });
    stop_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

void WriteBehind::throwIfFailed() const {
  if (failure_) throw *failure_;
}

void WriteBehind::write(off_t offset, const std::uint8_t* first, std::size_t firstSize,
                        const std::uint8_t* second, std::size_t secondSize) {
  std::unique_lock lock(mutex_);
  written_.wait(lock, [this] { return count_ < kSlots || failure_; });
  throwIfFailed();
  // The thread only touches slots [head_, head_ + count_): this one is the caller's.
  Slot& slot = ring_[(head_ + count_) % kSlots];
  slot.offset = offset;
  slot.size = firstSize + secondSize;
  std::memcpy(slot.bytes.data(), first, firstSize);
  if (secondSize > 0) std::memcpy(slot.bytes.data() + firstSize, second, secondSize);
  if (++count_ == 1) queued_.notify_one();
}

void WriteBehind::drain() {
  std::unique_lock lock(mutex_);
  written_.wait(lock, [this] { return count_ == 0; });
  throwIfFailed();
}

void WriteBehind::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return count_ > 0 || stop_; });
    if (count_ == 0) return;
    const Slot& slot = ring_[head_];
    lock.unlock();
    std::size_t done = 0;
    int error = 0;
    while (done < slot.size) {
      const ssize_t put =
          ::pwrite(fd_, slot.bytes.data() + done, slot.size - done, slot.offset + off_t(done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error = put < 0 ? errno : EIO;
        break;
      }
      done += std::size_t(put);
    }
    lock.lock();
    if (error != 0) {
      failure_.emplace(path_, std::string("cannot write the file (") + std::strerror(error) + ")");
      count_ = 0;
    } else {
      head_ = (head_ + 1) % kSlots;
      --count_;
    }
    written_.notify_all();
  }
}

}  // namespace jet
