#include "DataPageWriter.h"

#include <algorithm>

#include "Format.h"

namespace jet {

PageImage DataPageWriter::empty(std::uint32_t owner) {
  PageImage p;
  p[0] = fmt::kPageData;
  p[1] = fmt::kPageMarker;
  p.put16(fmt::kDataFreeSpaceOffset, fmt::kPageSize - fmt::kDataHeaderSize);
  p.put32(fmt::kDataOwnerOffset, owner);
  return p;
}

PageImage DataPageWriter::emptyLongValuePage() {
  PageImage p = empty(0);
  p.put(fmt::kDataOwnerOffset, fmt::kLvalOwner);
  return p;
}

bool DataPageWriter::fits(const PageImage& page, std::size_t size) {
  return rowCount(page) < fmt::kMaxRowsPerPage && size + 2 <= freeSpace(page);
}

std::optional<std::uint8_t> DataPageWriter::append(PageImage& page,
                                                   std::span<const std::uint8_t> row) {
  if (!fits(page, row.size())) return std::nullopt;
  const std::uint16_t n = rowCount(page);
  // Rows lie packed below the lowest row start (shrunk deleted rows may point higher).
  std::size_t top = fmt::kPageSize;
  for (std::uint16_t i = 0; i < n; ++i)
    top = std::min<std::size_t>(top,
                                page.u16(fmt::kDataRowTableOffset + 2 * i) & fmt::kRowOffsetMask);
  const std::size_t start = top - row.size();
  page.put(start, row);
  page.put16(fmt::kDataRowTableOffset + 2 * n, std::uint32_t(start));
  page.put16(fmt::kDataRowCountOffset, n + 1u);
  page.put16(fmt::kDataFreeSpaceOffset, std::uint32_t(freeSpace(page) - row.size() - 2));
  return std::uint8_t(n);
}

bool DataPageWriter::isConsistent(const PageImage& page) {
  const std::uint16_t n = rowCount(page);
  if (n > fmt::kMaxRowsPerPage) return false;
  std::size_t prev = fmt::kPageSize;
  for (std::uint16_t i = 0; i < n; ++i) {
    const std::uint16_t slot = page.u16(fmt::kDataRowTableOffset + 2 * i);
    const std::size_t off = slot & fmt::kRowOffsetMask;
    if ((slot & fmt::kRowDeletedFlag) && off >= prev) continue;  // shrunk deleted row
    if (off > prev || off < fmt::kDataHeaderSize + 2u * n) return false;
    prev = off;
  }
  const std::size_t expected = prev - (fmt::kDataHeaderSize + 2u * n);
  return freeSpace(page) == expected;
}

std::pair<std::size_t, std::size_t> DataPageWriter::rowExtent(const PageImage& page,
                                                              std::uint16_t i) {
  const std::size_t end =
      i == 0 ? fmt::kPageSize
             : (page.u16(fmt::kDataRowTableOffset + 2 * (i - 1)) & fmt::kRowOffsetMask);
  const std::size_t start = page.u16(fmt::kDataRowTableOffset + 2 * i) & fmt::kRowOffsetMask;
  return {start, end - start};
}

}  // namespace jet
