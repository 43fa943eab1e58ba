#include "WriteSession.h"

#include <algorithm>

#include "DataPageWriter.h"
#include "Format.h"
#include "jet/Error.h"

namespace jet {

namespace {

constexpr std::uint16_t kGlobalMapRow = 0;
// Access sizes the global bitmap in steps of 32 pages.
constexpr std::uint32_t kGlobalMapStepPages = 32;

}  // namespace

PageImage& WriteSession::page(std::uint32_t n) {
  auto it = pages_.find(n);
  if (it != pages_.end()) return it->second;
  return pages_.emplace(n, writer_.read(n)).first->second;
}

void WriteSession::write(std::uint32_t n) {
  writer_.write(n, page(n));
}

std::uint32_t WriteSession::append(const PageImage& image) {
  const std::uint32_t n = writer_.pageCount();
  writer_.write(n, image);
  pages_[n] = image;
  return n;
}

void WriteSession::markUsed(const std::vector<std::uint32_t>& pages) {
  if (pages.empty()) return;
  PageImage& p1 = page(fmt::kGlobalMapPage);
  if (p1[0] != fmt::kPageData || DataPageWriter::rowCount(p1) <= kGlobalMapRow)
    throw Error::damaged(path(), fmt::kGlobalMapPage, "no global usage map");
  auto [start, length] = DataPageWriter::rowExtent(p1, kGlobalMapRow);
  if (length < fmt::kUsageMapInlineBitmapOffset || p1[start] != fmt::kUsageMapInline)
    throw Error(path(), "the database's page map has a form this program cannot extend");
  const std::uint32_t first = p1.u32(start + fmt::kUsageMapInlineStartOffset);
  const std::uint64_t capacity = std::uint64_t(length - fmt::kUsageMapInlineBitmapOffset) * 8;
  const bool fits = std::all_of(pages.begin(), pages.end(), [&](std::uint32_t pg) {
    return pg >= first && pg - first < capacity;
  });
  if (!fits) {
    growGlobalMap(pages);
    return;
  }
  for (std::uint32_t pg : pages) {
    const std::uint32_t bit = pg - first;
    p1[start + fmt::kUsageMapInlineBitmapOffset + bit / 8] &= std::uint8_t(~(1u << (bit % 8)));
  }
  write(fmt::kGlobalMapPage);
}

void WriteSession::requireRoomFor(std::uint32_t pages) {
  PageImage& p1 = page(fmt::kGlobalMapPage);
  if (p1[0] != fmt::kPageData || DataPageWriter::rowCount(p1) <= kGlobalMapRow)
    throw Error::damaged(path(), fmt::kGlobalMapPage, "no global usage map");
  auto [start, length] = DataPageWriter::rowExtent(p1, kGlobalMapRow);
  const std::uint32_t first = p1.u32(start + fmt::kUsageMapInlineStartOffset);
  const std::uint64_t capacity = std::uint64_t(length - fmt::kUsageMapInlineBitmapOffset) * 8;
  if (first == 0 && pages <= capacity) return;
  // Room on page 1 for a longer row 0 (the other rows stay).
  const std::uint32_t covered =
      (pages + kGlobalMapStepPages - 1) / kGlobalMapStepPages * kGlobalMapStepPages;
  const std::size_t grownRow = fmt::kUsageMapInlineBitmapOffset + covered / 8;
  if (first != 0 || grownRow > length + DataPageWriter::freeSpace(p1)) {
    throw Error(path(),
                "the database has reached the largest size this program can write "
                "(about 125 MB)");
  }
}

void WriteSession::growGlobalMap(const std::vector<std::uint32_t>& pages) {
  // Rebuild page 1 with a longer row 0; the other rows move down unchanged.
  PageImage& p1 = page(fmt::kGlobalMapPage);
  auto [start, length] = DataPageWriter::rowExtent(p1, kGlobalMapRow);
  const std::uint32_t first = p1.u32(start + fmt::kUsageMapInlineStartOffset);
  if (first != 0)
    throw Error(path(), "the database's page map has a form this program cannot extend");
  const std::uint32_t highest =
      std::max(pageCount(), *std::max_element(pages.begin(), pages.end()) + 1);
  const std::uint32_t coveredPages =
      (highest + kGlobalMapStepPages - 1) / kGlobalMapStepPages * kGlobalMapStepPages;
  const std::size_t bitmapBytes = coveredPages / 8;

  std::vector<std::uint8_t> row(fmt::kUsageMapInlineBitmapOffset + bitmapBytes, 0);
  row[0] = fmt::kUsageMapInline;
  const std::size_t oldBits = (length - fmt::kUsageMapInlineBitmapOffset) * 8;
  for (std::uint32_t pg = 0; pg < coveredPages; ++pg) {
    bool free;
    if (pg < oldBits) {
      const std::uint8_t b = p1[start + fmt::kUsageMapInlineBitmapOffset + pg / 8];
      free = (b >> (pg % 8)) & 1;
    } else {
      free = true;  // past the old map: beyond the end of file, or not yet linked
    }
    if (std::find(pages.begin(), pages.end(), pg) != pages.end()) free = false;
    if (free) row[fmt::kUsageMapInlineBitmapOffset + pg / 8] |= std::uint8_t(1u << (pg % 8));
  }

  PageImage rebuilt = DataPageWriter::empty(p1.u32(fmt::kDataOwnerOffset));
  const std::uint16_t rows = DataPageWriter::rowCount(p1);
  for (std::uint16_t i = 0; i < rows; ++i) {
    const std::uint16_t slot = p1.u16(fmt::kDataRowTableOffset + 2 * i);
    auto [s, len] = DataPageWriter::rowExtent(p1, i);
    bool ok;
    if (i == kGlobalMapRow) {
      ok = DataPageWriter::append(rebuilt, row).has_value();
    } else if (slot & (fmt::kRowDeletedFlag | fmt::kRowOverflowFlag)) {
      throw Error(path(), "the database's page map has a form this program cannot extend");
    } else {
      ok = DataPageWriter::append(rebuilt, std::span(p1.data() + s, len)).has_value();
    }
    if (!ok) {
      throw Error(path(),
                  "the database has reached the largest size this program can write "
                  "(about 125 MB)");
    }
  }
  p1 = rebuilt;
  write(fmt::kGlobalMapPage);
}

}  // namespace jet
