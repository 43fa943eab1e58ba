// Reads a usage map: the set of pages an object owns (a table's data pages, a
// long-value column's pages, ...). The map is a row on a data page, either inline
// (start page + bitmap) or a reference map (pointers to bitmap pages of type 0x05).
#pragma once

#include <cstdint>
#include <vector>

#include "DataPage.h"
#include "PageFile.h"

namespace jet {

class UsageMap {
 public:
  // Reads the map at `where`; `fromPage` is the page holding the pointer (named in
  // errors when the pointer leads nowhere). Pages listed beyond the end of the file are
  // reported as damage of the map's page.
  static UsageMap read(const PageFile& file, RowPointer where, std::uint32_t fromPage);

  // The pages whose bit is set, ascending.
  const std::vector<std::uint32_t>& pages() const { return pages_; }
  bool isReference() const { return reference_; }
  // Reference maps: the bitmap pages the row points at.
  const std::vector<std::uint32_t>& bitmapPages() const { return bitmapPages_; }
  RowPointer location() const { return location_; }

 private:
  void addBits(const ByteView& bitmap, std::uint64_t firstPage, const PageFile& file,
               const ByteView& owner);

  std::vector<std::uint32_t> pages_;
  std::vector<std::uint32_t> bitmapPages_;
  bool reference_ = false;
  RowPointer location_;
};

}  // namespace jet
