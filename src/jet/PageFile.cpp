#include "PageFile.h"

#include "WriteBehind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jet {

namespace {

// Enough for the catalog, a table definition and the pages a scan is on; the cache is
// simply emptied when it fills, so memory stays bounded whatever the file holds.
constexpr std::size_t kCacheLimit = 512;

std::string systemReason(const char* action) {
  return std::string(action) + " (" + std::strerror(errno) + ")";
}

}  // namespace

PageFile::PageFile(std::string path, Mode mode) : path_(std::move(path)), mode_(mode) {
  const int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  fd_ = ::open(path_.c_str(), flags);
  if (fd_ < 0) throw Error(path_, systemReason("cannot open the file"));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const Error e(path_, systemReason("cannot read the file"));
    ::close(fd_);
    throw e;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw Error(path_, "not a regular file");
  }
  fileSize_ = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t pages = fileSize_ / fmt::kPageSize;
  // Jet addresses pages with 24 bits (row pointers); larger files are not Access files.
  pageCount_ = static_cast<std::uint32_t>(pages > 0xFFFFFF ? 0xFFFFFF : pages);
}

PageFile::~PageFile() {
  behind_.reset();  // the queued writes first
  if (fd_ >= 0) ::close(fd_);
}

PageRef PageFile::readPage(std::uint32_t n) const {
  if (auto it = cache_.find(n); it != cache_.end()) return it->second;
  if (n >= pageCount_) damaged(n, "beyond the end of the file");
  if (behind_) behind_->drain();
  auto page = std::make_shared<Page>(n, &path_);
  std::size_t done = 0;
  const off_t base = static_cast<off_t>(n) * static_cast<off_t>(fmt::kPageSize);
  while (done < fmt::kPageSize) {
    const ssize_t got =
        ::pread(fd_, page->bytes_.data() + done, fmt::kPageSize - done, base + off_t(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw Error(path_, systemReason("cannot read the file"));
    if (got == 0) damaged(n, "beyond the end of the file");
    done += static_cast<std::size_t>(got);
  }
  remember(page);
  return page;
}

std::size_t PageFile::readPrefix(std::uint8_t* out, std::size_t size) const {
  if (behind_) behind_->drain();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd_, out + done, size - done, off_t(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void PageFile::remember(const std::shared_ptr<Page>& page) const {
  if (cache_.size() >= kCacheLimit) cache_.clear();
  cache_[page->number_] = page;
}

void PageFile::damaged(std::uint32_t n, const std::string& what) const {
  throw Error::damaged(path_, n, what);
}

void PageFile::requireWritable() const {
  if (mode_ != Mode::ReadWrite) throw Error(path_, "the file is open for reading only");
}

void PageFile::writePage(std::uint32_t n, const PageBytes& bytes) {
  requireWritable();
  if (n >= pageCount_)
    throw Error(path_, "cannot write page " + std::to_string(n) + ": beyond the end of the file");
  put(static_cast<off_t>(n) * static_cast<off_t>(fmt::kPageSize), bytes.data(), bytes.size());
  // Dropped rather than modified: holders of the old snapshot keep what they read, and
  // the next read takes the page from the file. Writers keep their own images, so a
  // copy here would mostly go unread.
  cache_.erase(n);
}

std::uint32_t PageFile::appendPage(const PageBytes& bytes) {
  requireWritable();
  if (pageCount_ >= 0xFFFFFF) throw Error(path_, "the database is full");
  const std::uint32_t n = pageCount_;
  ++pageCount_;
  try {
    writePage(n, bytes);
  } catch (...) {
    --pageCount_;
    throw;
  }
  fileSize_ = std::uint64_t{pageCount_} * fmt::kPageSize;
  return n;
}

void PageFile::writeLastAndAppend(std::uint32_t n, const PageBytes& bytes, const PageBytes& next) {
  requireWritable();
  if (n + 1 != pageCount_)
    throw Error(path_, "cannot write page " + std::to_string(n) + ": not the last page");
  if (pageCount_ >= 0xFFFFFF) throw Error(path_, "the database is full");
  put(static_cast<off_t>(n) * static_cast<off_t>(fmt::kPageSize), bytes.data(), bytes.size(),
      next.data(), next.size());
  cache_.erase(n);
  cache_.erase(n + 1);
  ++pageCount_;
  fileSize_ = std::uint64_t{pageCount_} * fmt::kPageSize;
}

void PageFile::put(off_t offset, const std::uint8_t* first, std::size_t firstSize,
                   const std::uint8_t* second, std::size_t secondSize) {
  if (behind_) {
    behind_->write(offset, first, firstSize, second, secondSize);
    return;
  }
  std::array<std::uint8_t, 2 * fmt::kPageSize> both;
  const std::uint8_t* bytes = first;
  if (secondSize > 0) {
    std::memcpy(both.data(), first, firstSize);
    std::memcpy(both.data() + firstSize, second, secondSize);
    bytes = both.data();
  }
  const std::size_t size = firstSize + secondSize;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::pwrite(fd_, bytes + done, size - done, offset + off_t(done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) throw Error(path_, systemReason("cannot write the file"));
    done += static_cast<std::size_t>(put);
  }
}

void PageFile::setWriteBehind(bool on) {
  requireWritable();
  if (on && !behind_) behind_ = std::make_unique<WriteBehind>(fd_, path_);
  if (!on && behind_) {
    std::unique_ptr<WriteBehind> behind = std::move(behind_);
    behind->drain();
  }
}

void PageFile::drain() {
  if (behind_) behind_->drain();
}

void PageFile::sync() {
  requireWritable();
  drain();
  if (::fsync(fd_) != 0) throw Error(path_, systemReason("cannot write the file"));
}

}  // namespace jet
