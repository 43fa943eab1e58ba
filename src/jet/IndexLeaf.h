// A one-page index (a leaf that is also the root): its entries as full byte strings
// (key + row id), read from a page and written back in sorted order. The catalog's
// indexes are kept this way; an index that has grown past one page is not handled and
// callers refuse to change it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PageImage.h"

namespace jet {

class IndexLeaf {
 public:
  using Entry = std::vector<std::uint8_t>;

  // True when `page` is a leaf with no neighbours (the whole index).
  static bool isSingleLeaf(const PageImage& page);

  // The entries of a leaf, prefixes restored. Throws the damage error of `pageNo` when
  // the bitmap and the free-space field disagree.
  static std::vector<Entry> read(const PageImage& page, const std::string& file,
                                 std::uint32_t pageNo);

  // True when the entries fit one page.
  static bool fits(const std::vector<Entry>& entries);

  // A leaf page holding `entries` (already sorted) for the table at `tdefPage`; entries
  // are stored whole (shared prefix 0, as Jet stores the catalog's indexes).
  static PageImage build(std::uint32_t tdefPage, const std::vector<Entry>& entries);

  // Inserts `entry` in sorted position (unsigned byte order).
  static void insertSorted(std::vector<Entry>& entries, Entry entry);
};

}  // namespace jet
