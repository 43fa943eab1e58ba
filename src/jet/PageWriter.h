// The page writer: every page the writing side changes reaches the file through here,
// one whole page per write, in the order the caller chose so that the file is
// consistent after each write (see TableWriter and CatalogWriter for the orders).
//
// Test seam: setWriteLimit(k) lets only k more page writes through in this process; the
// next one throws, exactly as if the process had died just before it.
#pragma once

#include <cstdint>
#include <optional>

#include "PageFile.h"
#include "PageImage.h"

namespace jet {

class PageWriter {
 public:
  explicit PageWriter(PageFile& file) : file_(file) {}

  PageFile& file() { return file_; }
  const std::string& path() const { return file_.path(); }
  std::uint32_t pageCount() const { return file_.pageCount(); }

  PageImage read(std::uint32_t number) const;
  // Writes page `number`; number == pageCount() appends a page to the file.
  void write(std::uint32_t number, const PageImage& page);
  // write(number, page) then write(number + 1, next) for the last page `number`, in one
  // write to the file (two for the write limit).
  void writeLastAndAppend(std::uint32_t number, const PageImage& page, const PageImage& next);
  void sync() { file_.sync(); }

  static void setWriteLimit(std::optional<std::uint64_t> limit);
  static std::uint64_t writesDone();

 private:
  PageFile& file_;
};

}  // namespace jet
