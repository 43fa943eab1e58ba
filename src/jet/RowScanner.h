// Forward scan over the stored rows of a table, page by page in the order of the
// table's owned-pages map. Deleted rows are skipped. A row that grew and was moved
// leaves an overflow pointer behind and lives on as a row flagged deleted elsewhere:
// such a moved row is returned once, where it physically lies when that page belongs
// to the table (the order both reference readers give), otherwise at its pointer.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "DataPage.h"
#include "TableDef.h"

namespace jet {

class RowScanner {
 public:
  RowScanner(const PageFile& file, const TableDef& def);

  // The next live row, or false at the end. The view stays valid until the next call.
  bool next(ByteView& row);

  // Where the row last returned by next() is stored.
  RowPointer position() const { return position_; }

  const std::vector<std::uint32_t>& pages() const { return pages_; }

 private:
  bool ownsPage(std::uint32_t page) const;
  // Where the row behind an overflow slot finally lives (following moved-again rows).
  RowPointer resolve(const ByteView& pointerBytes, std::uint32_t fromPage) const;

  const PageFile& file_;
  std::uint32_t owner_;
  std::vector<std::uint32_t> pages_;    // the table's data pages, ascending
  std::vector<std::uint32_t> targets_;  // stored row pointers of moved rows, sorted
  std::size_t pageIndex_ = 0;
  std::optional<DataPage> page_;
  std::uint16_t rowIndex_ = 0;
  PageRef followed_;
  RowPointer position_;
};

}  // namespace jet
