#include "GlobalPageMap.h"

#include <algorithm>
#include <map>

#include "DataPageWriter.h"
#include "Format.h"
#include "UsageMapWriter.h"

namespace jet {

namespace {

constexpr std::uint16_t kMapRow = 0;
// Access sizes the inline bitmap in steps of 32 pages.
constexpr std::uint32_t kInlineStepPages = 32;
constexpr std::uint32_t kPagesPerBitmap = std::uint32_t(fmt::kUsageBitmapPageBits);
constexpr std::size_t kReferenceRowSize = fmt::kUsageMapRowSize;
constexpr std::size_t kReferencePointers =
    (kReferenceRowSize - fmt::kUsageMapReferencePointersOffset) / 4;
static_assert(std::uint64_t{kReferencePointers} * kPagesPerBitmap >= fmt::kMaxPages,
              "a reference row must be able to list every page of a 2 GB file");

const char* const kOddForm = "the database's page map has a form this program cannot extend";

bool bitSet(const std::uint8_t* bitmap, std::uint64_t i) {
  return bitmap[i / 8] >> (i % 8) & 1;
}
void setBit(std::uint8_t* bitmap, std::uint64_t i) {
  bitmap[i / 8] |= std::uint8_t(1u << (i % 8));
}
void clearBit(std::uint8_t* bitmap, std::uint64_t i) {
  bitmap[i / 8] &= std::uint8_t(~(1u << (i % 8)));
}

std::size_t pointerOffset(std::size_t rowStart, std::uint32_t k) {
  return rowStart + fmt::kUsageMapReferencePointersOffset + 4 * std::size_t(k);
}

PageImage emptyBitmapPage() {
  PageImage img;
  img[0] = fmt::kPageUsageBitmap;
  img[1] = fmt::kPageMarker;
  return img;
}

}  // namespace

Error GlobalPageMap::tooLarge(const std::string& path) {
  return Error(path,
               "the database has reached the largest size an Access database can have (2 GB)");
}

GlobalPageMap::Layout GlobalPageMap::layout() {
  const std::string& path = session_.path();
  PageImage& p1 = session_.page(fmt::kGlobalMapPage);
  const std::uint16_t rows = DataPageWriter::rowCount(p1);
  if (p1[0] != fmt::kPageData || rows <= kMapRow || rows > fmt::kMaxRowsPerPage)
    throw Error::damaged(path, fmt::kGlobalMapPage, "no global usage map");
  const std::uint16_t slot = p1.u16(fmt::kDataRowTableOffset + 2 * kMapRow);
  if (slot & (fmt::kRowDeletedFlag | fmt::kRowOverflowFlag)) throw Error(path, kOddForm);
  Layout map;
  const std::size_t end =
      kMapRow == 0 ? fmt::kPageSize
                   : p1.u16(fmt::kDataRowTableOffset + 2 * (kMapRow - 1)) & fmt::kRowOffsetMask;
  map.start = slot & fmt::kRowOffsetMask;
  if (map.start < fmt::kDataHeaderSize + 2u * rows || map.start > end ||
      end - map.start < fmt::kUsageMapInlineBitmapOffset)
    throw Error::damaged(path, fmt::kGlobalMapPage, "bad global usage map");
  map.length = end - map.start;
  if (p1[map.start] == fmt::kUsageMapInline) {
    map.first = p1.u32(map.start + fmt::kUsageMapInlineStartOffset);
    map.capacity = std::uint64_t(map.length - fmt::kUsageMapInlineBitmapOffset) * 8;
  } else if (p1[map.start] == fmt::kUsageMapReference) {
    map.reference = true;
    map.capacity =
        std::uint64_t((map.length - fmt::kUsageMapReferencePointersOffset) / 4) * kPagesPerBitmap;
    for (std::uint32_t k = 0; std::uint64_t{k} * kPagesPerBitmap < map.capacity; ++k) {
      const std::uint32_t bp = p1.u32(pointerOffset(map.start, k));
      if (bp != 0 && session_.page(bp)[0] != fmt::kPageUsageBitmap)
        throw Error::damaged(path, bp, "not a usage bitmap page");
    }
  } else {
    throw Error(path, kOddForm);
  }
  return map;
}

std::uint32_t GlobalPageMap::pointer(const Layout& map, std::uint32_t k) {
  if (std::uint64_t{k} * kPagesPerBitmap >= map.capacity) return 0;
  return session_.page(fmt::kGlobalMapPage).u32(pointerOffset(map.start, k));
}

bool GlobalPageMap::canGrowInline(const Layout& map, std::uint32_t pageCount) {
  if (map.reference || map.first != 0) return false;
  const std::uint64_t covered =
      (std::uint64_t{pageCount} + kInlineStepPages - 1) / kInlineStepPages * kInlineStepPages;
  const std::uint64_t grownRow = fmt::kUsageMapInlineBitmapOffset + covered / 8;
  return grownRow <= map.length + DataPageWriter::freeSpace(session_.page(fmt::kGlobalMapPage));
}

std::uint32_t GlobalPageMap::bitmapPagesNeeded(const Layout& map, std::uint32_t pageCount) {
  // The bitmap pages go at the end of the file and must be covered too.
  std::uint32_t n = 0;
  for (;;) {
    const std::uint64_t ranges =
        (std::uint64_t{pageCount} + n + kPagesPerBitmap - 1) / kPagesPerBitmap;
    std::uint32_t missing = 0;
    for (std::uint32_t k = 0; k < ranges; ++k)
      if (!map.reference || pointer(map, k) == 0) ++missing;
    if (missing == n) return n;
    n = missing;
  }
}

void GlobalPageMap::requireRoomFor(std::uint32_t pageCount) {
  const Layout map = layout();
  if (!map.reference && std::uint64_t{pageCount} <= map.first + map.capacity) {
    if (pageCount <= fmt::kMaxPages) return;
    throw tooLarge(session_.path());
  }
  if (canGrowInline(map, pageCount)) return;
  const std::uint32_t extra = bitmapPagesNeeded(map, pageCount);
  const std::uint64_t total = std::uint64_t{pageCount} + extra;
  // An inline map turns into a row of 17 pointers; a reference map keeps its row.
  const std::uint64_t listable =
      map.reference ? map.capacity : std::uint64_t{kReferencePointers} * kPagesPerBitmap;
  if (total > fmt::kMaxPages || total > listable) throw tooLarge(session_.path());
}

void GlobalPageMap::markUsed(const std::vector<std::uint32_t>& pages) {
  if (pages.empty()) return;
  for (std::uint32_t pg : pages) {
    if (pg >= session_.pageCount())
      throw Error(session_.path(), "internal error: a page is marked used before it is written");
  }
  const Layout map = layout();
  if (map.reference) {
    markUsedInBitmaps(map, pages);
    return;
  }
  const bool fits = std::all_of(pages.begin(), pages.end(), [&](std::uint32_t pg) {
    return pg >= map.first && pg - map.first < map.capacity;
  });
  if (fits) {
    PageImage& p1 = session_.page(fmt::kGlobalMapPage);
    for (std::uint32_t pg : pages)
      clearBit(p1.data() + map.start + fmt::kUsageMapInlineBitmapOffset, pg - map.first);
    session_.write(fmt::kGlobalMapPage);
  } else if (canGrowInline(map, session_.pageCount())) {
    growInline(map, pages);
  } else {
    turnIntoReference(map, pages);
  }
}

void GlobalPageMap::growInline(const Layout& map, const std::vector<std::uint32_t>& pages) {
  const std::uint32_t count = session_.pageCount();
  const std::uint32_t covered =
      (count + kInlineStepPages - 1) / kInlineStepPages * kInlineStepPages;
  const PageImage& p1 = session_.page(fmt::kGlobalMapPage);
  const std::uint8_t* old = p1.data() + map.start + fmt::kUsageMapInlineBitmapOffset;
  std::vector<std::uint8_t> row(fmt::kUsageMapInlineBitmapOffset + covered / 8, 0);
  row[0] = fmt::kUsageMapInline;
  std::uint8_t* bits = row.data() + fmt::kUsageMapInlineBitmapOffset;
  for (std::uint32_t pg = 0; pg < covered; ++pg) {
    const bool free = pg < map.capacity ? bitSet(old, pg) : pg >= count;
    if (free) setBit(bits, pg);
  }
  for (std::uint32_t pg : pages) clearBit(bits, pg);
  writePage1(rebuiltPage1(row));
}

void GlobalPageMap::turnIntoReference(const Layout& map, const std::vector<std::uint32_t>& pages) {
  const std::string& path = session_.path();
  const std::uint32_t count = session_.pageCount();
  const std::uint32_t n = bitmapPagesNeeded(map, count);
  if (n > kReferencePointers || std::uint64_t{count} + n > fmt::kMaxPages) throw tooLarge(path);
  const std::uint64_t end = std::uint64_t{count} + n;  // the bitmap pages included
  const std::uint8_t* old =
      session_.page(fmt::kGlobalMapPage).data() + map.start + fmt::kUsageMapInlineBitmapOffset;
  std::vector<PageImage> bitmaps(n, emptyBitmapPage());
  for (std::uint32_t k = 0; k < n; ++k) {
    std::uint8_t* bits = bitmaps[k].data() + fmt::kUsageBitmapPageHeaderSize;
    for (std::uint32_t i = 0; i < kPagesPerBitmap; ++i) {
      const std::uint64_t pg = std::uint64_t{k} * kPagesPerBitmap + i;
      bool free;
      if (pg >= end) {
        free = true;  // beyond the end of the file
      } else if (pg < count && pg >= map.first && pg - map.first < map.capacity) {
        free = bitSet(old, pg - map.first);
      } else {
        free = false;  // not listed before, or one of the bitmap pages
      }
      if (free) setBit(bits, i);
    }
  }
  for (std::uint32_t pg : pages)
    clearBit(bitmaps[pg / kPagesPerBitmap].data() + fmt::kUsageBitmapPageHeaderSize,
             pg % kPagesPerBitmap);

  // First the bitmap pages, linked by nothing yet; then page 1, in one write.
  std::vector<std::uint8_t> row = UsageMapWriter::referenceRow(kReferenceRowSize);
  for (std::uint32_t k = 0; k < n; ++k)
    writeU32(row.data() + fmt::kUsageMapReferencePointersOffset + 4 * k, count + k);
  const PageImage page1 = rebuiltPage1(row);  // refuses an odd page 1 before writing
  for (std::uint32_t k = 0; k < n; ++k) {
    if (session_.append(bitmaps[k]) != count + k)
      throw Error(path, "internal error: page numbering");
  }
  writePage1(page1);
}

void GlobalPageMap::markUsedInBitmaps(const Layout& map, const std::vector<std::uint32_t>& pages) {
  const std::string& path = session_.path();
  const std::uint32_t count = session_.pageCount();
  // Ranges without a bitmap page get one at the end of the file, which may in turn fall
  // into a range without one.
  std::map<std::uint32_t, PageImage> fresh;  // range -> new bitmap page
  std::vector<std::uint32_t> used = pages;
  for (std::size_t i = 0; i < used.size(); ++i) {
    const std::uint32_t k = used[i] / kPagesPerBitmap;
    if (std::uint64_t{k} * kPagesPerBitmap >= map.capacity) throw tooLarge(path);
    if (pointer(map, k) != 0 || fresh.count(k)) continue;
    fresh.emplace(k, emptyBitmapPage());
    used.push_back(count + std::uint32_t(fresh.size()) - 1);
  }
  const std::uint64_t end = std::uint64_t{count} + fresh.size();
  if (end > fmt::kMaxPages) throw tooLarge(path);
  for (auto& [k, img] : fresh) {
    // A range without a bitmap page lists none of its pages: those in the file count as
    // used, the rest is free.
    std::uint8_t* bits = img.data() + fmt::kUsageBitmapPageHeaderSize;
    for (std::uint32_t i = 0; i < kPagesPerBitmap; ++i)
      if (std::uint64_t{k} * kPagesPerBitmap + i >= end) setBit(bits, i);
  }

  std::vector<std::uint32_t> changed;
  for (std::uint32_t pg : used) {
    const std::uint32_t k = pg / kPagesPerBitmap;
    if (fresh.count(k)) continue;  // listed as used already
    const std::uint32_t bp = pointer(map, k);
    if (std::find(changed.begin(), changed.end(), bp) == changed.end()) changed.push_back(bp);
  }
  for (std::uint32_t pg : used) {
    const std::uint32_t k = pg / kPagesPerBitmap;
    if (!fresh.count(k))
      clearBit(session_.page(pointer(map, k)).data() + fmt::kUsageBitmapPageHeaderSize,
               pg % kPagesPerBitmap);
  }

  // New bitmap pages, then the existing ones (a page only ever goes from free to used),
  // then page 1 linking the new ones.
  std::uint32_t next = count;
  for (auto& [k, img] : fresh) {
    if (session_.append(img) != next++) throw Error(path, "internal error: page numbering");
  }
  for (std::uint32_t bp : changed) session_.write(bp);
  if (fresh.empty()) return;
  PageImage& p1 = session_.page(fmt::kGlobalMapPage);
  next = count;
  for (auto& [k, img] : fresh) p1.put32(pointerOffset(map.start, k), next++);
  session_.write(fmt::kGlobalMapPage);
}

PageImage GlobalPageMap::rebuiltPage1(const std::vector<std::uint8_t>& row0) {
  const PageImage& p1 = session_.page(fmt::kGlobalMapPage);
  PageImage rebuilt = DataPageWriter::empty(p1.u32(fmt::kDataOwnerOffset));
  const std::uint16_t rows = DataPageWriter::rowCount(p1);
  for (std::uint16_t i = 0; i < rows; ++i) {
    const std::uint16_t slot = p1.u16(fmt::kDataRowTableOffset + 2 * i);
    if (slot & (fmt::kRowDeletedFlag | fmt::kRowOverflowFlag))
      throw Error(session_.path(), kOddForm);
    auto [start, length] = DataPageWriter::rowExtent(p1, i);
    if (length > fmt::kPageSize || start + length > fmt::kPageSize ||
        start < fmt::kDataHeaderSize + 2u * rows)
      throw Error::damaged(session_.path(), fmt::kGlobalMapPage, "bad row offsets");
    const bool placed =
        i == kMapRow
            ? DataPageWriter::append(rebuilt, row0).has_value()
            : DataPageWriter::append(rebuilt, std::span(p1.data() + start, length)).has_value();
    if (!placed) throw Error(session_.path(), kOddForm);
  }
  return rebuilt;
}

void GlobalPageMap::writePage1(const PageImage& image) {
  session_.page(fmt::kGlobalMapPage) = image;
  session_.write(fmt::kGlobalMapPage);
}

}  // namespace jet
