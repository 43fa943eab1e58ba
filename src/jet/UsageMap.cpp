#include "UsageMap.h"

namespace jet {

UsageMap UsageMap::read(const PageFile& file, RowPointer where, std::uint32_t fromPage) {
  UsageMap map;
  map.location_ = where;
  PageRef holder;
  const ByteView row = DataPage::rowAt(file, where, holder, fromPage, "bad usage map pointer");
  const std::uint8_t type = row.u8(0, "bad usage map");
  if (type == fmt::kUsageMapInline) {
    const std::uint32_t start = row.u32(fmt::kUsageMapInlineStartOffset, "bad usage map");
    row.require(fmt::kUsageMapInlineBitmapOffset, 0, "bad usage map");
    map.addBits(row.sub(fmt::kUsageMapInlineBitmapOffset,
                        row.size() - fmt::kUsageMapInlineBitmapOffset, "bad usage map"),
                start, file, row);
  } else if (type == fmt::kUsageMapReference) {
    map.reference_ = true;
    const std::size_t count = (row.size() - 1) / 4;
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint32_t bitmapPage =
          row.u32(fmt::kUsageMapReferencePointersOffset + 4 * k, "bad usage map");
      if (bitmapPage == 0) continue;
      if (bitmapPage >= file.pageCount()) row.fail("usage map points beyond the end of the file");
      map.bitmapPages_.push_back(bitmapPage);
      PageRef bp = file.readPage(bitmapPage);
      const ByteView bits = bp->view();
      if (bits.u8(0, "bad usage map page") != fmt::kPageUsageBitmap) {
        bits.fail("not a usage map page");
      }
      map.addBits(bits.sub(fmt::kUsageBitmapPageHeaderSize,
                           fmt::kPageSize - fmt::kUsageBitmapPageHeaderSize, "bad usage map page"),
                  std::uint64_t{k} * fmt::kUsageBitmapPageBits, file, bits);
    }
  } else {
    row.fail("unknown usage map type");
  }
  return map;
}

void UsageMap::addBits(const ByteView& bitmap, std::uint64_t firstPage, const PageFile& file,
                       const ByteView& owner) {
  const std::uint8_t* b = bitmap.data();
  for (std::size_t i = 0; i < bitmap.size(); ++i) {
    if (b[i] == 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if (!(b[i] >> bit & 1)) continue;
      const std::uint64_t page = firstPage + i * 8 + static_cast<unsigned>(bit);
      if (page >= file.pageCount()) owner.fail("usage map lists a page beyond the end of the file");
      pages_.push_back(static_cast<std::uint32_t>(page));
    }
  }
}

}  // namespace jet
