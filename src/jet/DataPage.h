// The rows of a data page (type 0x01): slot table, row flags and row bytes. Row i
// ends where row i-1 starts (row 0 at the end of the page), so a row's length comes
// from its neighbour's offset.
#pragma once

#include <cstdint>

#include "ByteView.h"
#include "PageFile.h"

namespace jet {

// A row pointer: row number in the low byte, page number above (as stored, LE).
struct RowPointer {
  std::uint32_t page = 0;
  std::uint8_t row = 0;
  static RowPointer fromStored(std::uint32_t v) {
    return {v >> 8, static_cast<std::uint8_t>(v & 0xFF)};
  }
  std::uint32_t stored() const { return page << 8 | row; }
  bool isNull() const { return page == 0 && row == 0; }
  friend bool operator==(const RowPointer&, const RowPointer&) = default;
};

struct RowSlot {
  ByteView bytes;  // empty for a deleted slot of zero length
  bool deleted = false;
  bool overflow = false;  // bytes hold a row pointer to where the row lives
};

class DataPage {
 public:
  // Checks that `page` is a data page; throws the damage error otherwise.
  explicit DataPage(PageRef page);

  std::uint32_t number() const { return page_->number(); }
  const Page& page() const { return *page_; }
  std::uint32_t owner() const { return owner_; }
  bool isLongValuePage() const;
  std::uint16_t rowCount() const { return rowCount_; }

  // Row `i`; throws the damage error when the slot table is inconsistent (live rows
  // only: deleted rows may hold any offset and come back empty).
  RowSlot row(std::uint16_t i) const;

  // The bytes of row `pointer` (following no overflow pointer). `holder` keeps the page
  // alive for the view; a pointer to nowhere is reported as damage of `fromPage`, the
  // page that holds the pointer.
  static ByteView rowAt(const PageFile& file, RowPointer pointer, PageRef& holder,
                        std::uint32_t fromPage, const char* what);

 private:
  PageRef page_;
  std::uint32_t owner_ = 0;
  std::uint16_t rowCount_ = 0;
};

}  // namespace jet
