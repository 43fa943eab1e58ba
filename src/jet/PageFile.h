// The file as an array of 4096-byte pages. Reads go through a small cache of page
// snapshots; a snapshot stays valid (and unchanged) for as long as someone holds it,
// even after the page is rewritten or dropped from the cache.
//
// Writing (ReadWrite mode only) is the place for everything that changes the file:
// writePage() overwrites an existing page, appendPage() adds one at the end, sync()
// makes written pages durable. Both keep the cache coherent. With write-behind on,
// writes are queued to a thread of their own (see WriteBehind) and everything that
// looks at the file (a read that misses the cache, sync) waits for them first.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include <sys/types.h>

#include "ByteView.h"
#include "Format.h"
#include "jet/OpenMode.h"

namespace jet {

class WriteBehind;

using PageBytes = std::array<std::uint8_t, fmt::kPageSize>;

// An immutable copy of one page.
class Page {
 public:
  Page(std::uint32_t number, const std::string* file) : number_(number), file_(file) {}
  std::uint32_t number() const { return number_; }
  const PageBytes& bytes() const { return bytes_; }
  std::uint8_t type() const { return bytes_[0]; }
  ByteView view() const { return ByteView(bytes_.data(), bytes_.size(), file_, number_); }

 private:
  friend class PageFile;
  std::uint32_t number_;
  const std::string* file_;
  PageBytes bytes_{};
};

using PageRef = std::shared_ptr<const Page>;

class PageFile {
 public:
  // Opens `path`; throws jet::Error when the file cannot be opened. The file must hold
  // at least one page; a partial last page is ignored (reading it reports damage).
  PageFile(std::string path, Mode mode);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  const std::string& path() const { return path_; }
  Mode mode() const { return mode_; }
  std::uint32_t pageCount() const { return pageCount_; }
  std::uint64_t fileSize() const { return fileSize_; }

  // Reads up to `size` bytes from the start of the file, for files too short to hold a
  // page; returns how many were read.
  std::size_t readPrefix(std::uint8_t* out, std::size_t size) const;

  // Page `n`; throws "page n is damaged (beyond the end of the file)" when absent.
  PageRef readPage(std::uint32_t n) const;

  // Throws the damage error for page `n`.
  [[noreturn]] void damaged(std::uint32_t n, const std::string& what) const;

  // ---- writing (ReadWrite only; throws jet::Error otherwise) ----
  void writePage(std::uint32_t n, const PageBytes& bytes);
  std::uint32_t appendPage(const PageBytes& bytes);  // returns the new page's number
  // Overwrites the last page `n` and appends `next` after it, in one write.
  void writeLastAndAppend(std::uint32_t n, const PageBytes& bytes, const PageBytes& next);
  void sync();
  // Turning it off waits for the queued writes and throws their failure, if any.
  void setWriteBehind(bool on);
  // Returns once every write so far is in the file (not yet durable); throws the
  // failure of a queued write.
  void drain();

 private:
  void requireWritable() const;
  void put(off_t offset, const std::uint8_t* first, std::size_t firstSize,
           const std::uint8_t* second = nullptr, std::size_t secondSize = 0);
  void remember(const std::shared_ptr<Page>& page) const;

  std::string path_;
  Mode mode_;
  int fd_ = -1;
  std::uint64_t fileSize_ = 0;
  std::uint32_t pageCount_ = 0;
  mutable std::unordered_map<std::uint32_t, std::shared_ptr<Page>> cache_;
  std::unique_ptr<WriteBehind> behind_;
};

}  // namespace jet
