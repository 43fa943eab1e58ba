// Changes usage maps (the rows listing an object's pages): inline maps are rewritten in
// place, moved to a new window or turned into reference maps when they outgrow it;
// reference maps get new bitmap pages as needed. A map row never changes length.
//
// Order: a page is marked used in the global map (WriteSession::markUsed) before any map
// links it; bitmap pages a map needs are written and marked before the map points at
// them.
#pragma once

#include <cstdint>
#include <vector>

#include "DataPage.h"
#include "WriteSession.h"

namespace jet {

class UsageMapWriter {
 public:
  // A new inline map row listing `pages` (which must fit one 512-page window).
  static std::vector<std::uint8_t> inlineRow(const std::vector<std::uint32_t>& pages,
                                             std::size_t rowSize = fmt::kUsageMapRowSize);
  // A new, empty reference map row.
  static std::vector<std::uint8_t> referenceRow(std::size_t rowSize = fmt::kUsageMapRowSize);

  // Adds `page` to the map at `map` and writes what changed.
  static void add(WriteSession& session, RowPointer map, std::uint32_t page);
  // Makes the map list `page` instead of `previous` (0: none); for free-space maps,
  // which are advisory: pages that no longer fit an inline window are dropped.
  static void replace(WriteSession& session, RowPointer map, std::uint32_t previous,
                      std::uint32_t page);
  // The pages a map lists, ascending.
  static std::vector<std::uint32_t> pages(WriteSession& session, RowPointer map);
};

}  // namespace jet
