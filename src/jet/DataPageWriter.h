// Builds and extends data pages (type 0x01): rows packed downward from the end of the
// page, slot table after the 14-byte header, free space kept exact.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "PageImage.h"

namespace jet {

class DataPageWriter {
 public:
  // An empty data page of `owner` (a tdef page, the LVAL tag, 0 for usage maps, 1 for
  // page 1).
  static PageImage empty(std::uint32_t owner);
  static PageImage emptyLongValuePage();

  // Free space as the page records it.
  static std::size_t freeSpace(const PageImage& page) {
    return page.u16(fmt::kDataFreeSpaceOffset);
  }
  static std::uint16_t rowCount(const PageImage& page) {
    return page.u16(fmt::kDataRowCountOffset);
  }
  // True when a row of `size` bytes fits (its slot included).
  static bool fits(const PageImage& page, std::size_t size);

  // Appends a row; returns its row number, or nothing when it does not fit.
  static std::optional<std::uint8_t> append(PageImage& page, std::span<const std::uint8_t> row);

  // Checks the slot table and free space of a page the writer is about to extend, so
  // that a damaged page is refused rather than extended. Returns false when they
  // disagree.
  static bool isConsistent(const PageImage& page);

  // Start offset and length of row `i`.
  static std::pair<std::size_t, std::size_t> rowExtent(const PageImage& page, std::uint16_t i);
};

}  // namespace jet
