#include "PageWriter.h"

#include <atomic>

namespace jet {

namespace {
std::atomic<std::uint64_t> gWritesDone{0};
std::atomic<std::int64_t> gWriteLimit{-1};
}  // namespace

void PageWriter::setWriteLimit(std::optional<std::uint64_t> limit) {
  gWritesDone = 0;
  gWriteLimit = limit ? static_cast<std::int64_t>(*limit) : -1;
}

std::uint64_t PageWriter::writesDone() {
  return gWritesDone;
}

PageImage PageWriter::read(std::uint32_t number) const {
  PageImage img;
  img.bytes = file_.readPage(number)->bytes();
  return img;
}

void PageWriter::write(std::uint32_t number, const PageImage& page) {
  const std::int64_t limit = gWriteLimit;
  if (limit >= 0 && gWritesDone >= static_cast<std::uint64_t>(limit)) {
    file_.drain();  // the writes before the stop are in the file, as after a crash
    throw Error(file_.path(), "write sequence stopped");
  }
  if (number == file_.pageCount()) {
    file_.appendPage(page.bytes);
  } else {
    file_.writePage(number, page.bytes);
  }
  ++gWritesDone;
}

void PageWriter::writeLastAndAppend(std::uint32_t number, const PageImage& page,
                                    const PageImage& next) {
  const std::int64_t limit = gWriteLimit;
  if (limit >= 0 && gWritesDone + 2 > static_cast<std::uint64_t>(limit)) {
    // A stop between the two: the first reaches the file, the second does not.
    write(number, page);
    write(number + 1, next);
    return;
  }
  file_.writeLastAndAppend(number, page.bytes, next.bytes);
  gWritesDone += 2;
}

}  // namespace jet
