// The writing side's view of an open database: mutable images of the pages it is
// changing, page allocation at the end of the file, and the global usage map (page 1,
// row 0: bit set = page free; see GlobalPageMap). Every write goes through the
// PageWriter seam.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "PageFile.h"
#include "PageImage.h"
#include "PageWriter.h"

namespace jet {

class WriteSession {
 public:
  explicit WriteSession(PageFile& file) : file_(file), writer_(file) {}

  const std::string& path() const { return file_.path(); }
  PageFile& file() { return file_; }
  std::uint32_t pageCount() const { return file_.pageCount(); }

  // The image of page `n`, read on first use and kept until forgotten.
  PageImage& page(std::uint32_t n);
  // Writes the (changed) image of page `n`.
  void write(std::uint32_t n);
  // Writes `image` as a new page at the end of the file and returns its number. The
  // page is not yet marked used: call markUsed once it may be linked. Refuses a page
  // past 2 GB (callers check requireRoomFor first; this is the last guard).
  std::uint32_t append(const PageImage& image);
  // write(n) then append(image) for the last page n, as one write to the file.
  std::uint32_t writeLastAndAppend(std::uint32_t n, const PageImage& image);
  // Drops a page image the caller is done with (keeps memory flat on long loads).
  void forget(std::uint32_t n) { pages_.erase(n); }

  // Clears the free bits of `pages` (pages already written) in the global map.
  void markUsed(const std::vector<std::uint32_t>& pages);
  // Refuses (jet::Error), before anything is written, a file that would grow past 2 GB
  // or past what the global map can list.
  void requireRoomFor(std::uint32_t pageCount);

  void sync() { writer_.sync(); }

 private:
  PageFile& file_;
  PageWriter writer_;
  std::unordered_map<std::uint32_t, PageImage> pages_;
};

}  // namespace jet
