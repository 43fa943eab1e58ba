// Builds table definitions: assigns column numbers, variable slots and fixed offsets the
// way Access does, and serializes a TableDef into its tdef pages.
#pragma once

#include <cstdint>
#include <vector>

#include "PageImage.h"
#include "TableDef.h"

namespace jet {

class TableDefWriter {
 public:
  // Given columns in column order (type, flags, length, name), numbers them 0..n-1,
  // gives variable columns their slots in order and fixed non-boolean columns their
  // offsets in order, and sets maxColumns and varColumns.
  static void assignPositions(TableDef& def);

  // The tdef byte string. System tables (type 0x53) list their descriptors in
  // case-insensitive name order with byte 9 zero, as Jet does; user tables in column
  // order with byte 9 = column number. Logical indexes are written in the given order.
  static std::vector<std::uint8_t> serialize(const TableDef& def);

  static std::size_t pagesNeeded(std::size_t tdefLength);
  // Spreads a tdef byte string over `pages` (pagesNeeded of them), chaining them.
  static std::vector<PageImage> toPages(const std::vector<std::uint8_t>& tdef,
                                        const std::vector<std::uint32_t>& pages);
};

}  // namespace jet
