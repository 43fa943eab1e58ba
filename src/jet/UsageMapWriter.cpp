#include "UsageMapWriter.h"

#include <algorithm>
#include <map>

#include "DataPageWriter.h"
#include "Format.h"
#include "jet/Error.h"

namespace jet {

namespace {

constexpr std::size_t kBitmapOffset = fmt::kUsageMapInlineBitmapOffset;
constexpr std::uint32_t kInlineWindowAlign = 8;

struct MapRow {
  PageImage* page;
  std::size_t start;
  std::size_t length;
};

MapRow locate(WriteSession& s, RowPointer map) {
  PageImage& p = s.page(map.page);
  if (p[0] != fmt::kPageData || map.row >= DataPageWriter::rowCount(p))
    throw Error::damaged(s.path(), map.page, "usage map not found");
  auto [start, length] = DataPageWriter::rowExtent(p, map.row);
  if (length < kBitmapOffset) throw Error::damaged(s.path(), map.page, "usage map too short");
  return {&p, start, length};
}

std::uint64_t inlineCapacity(std::size_t rowLength) {
  return (rowLength - kBitmapOffset) * 8;
}

std::vector<std::uint32_t> inlinePages(const MapRow& r) {
  std::vector<std::uint32_t> out;
  const std::uint32_t first = r.page->u32(r.start + fmt::kUsageMapInlineStartOffset);
  for (std::size_t i = kBitmapOffset; i < r.length; ++i) {
    const std::uint8_t b = (*r.page)[r.start + i];
    for (int bit = 0; bit < 8; ++bit)
      if (b & (1u << bit)) out.push_back(first + std::uint32_t((i - kBitmapOffset) * 8 + bit));
  }
  return out;
}

// Rewrites the inline row to list exactly `pages`; false when they span too wide.
bool writeInline(const MapRow& r, const std::vector<std::uint32_t>& pages) {
  std::uint32_t first = 0;
  if (!pages.empty()) {
    first = *std::min_element(pages.begin(), pages.end()) / kInlineWindowAlign * kInlineWindowAlign;
    if (*std::max_element(pages.begin(), pages.end()) - first >= inlineCapacity(r.length))
      return false;
  }
  PageImage& p = *r.page;
  std::fill(p.data() + r.start, p.data() + r.start + r.length, 0);
  p[r.start] = fmt::kUsageMapInline;
  p.put32(r.start + fmt::kUsageMapInlineStartOffset, first);
  for (std::uint32_t pg : pages) {
    const std::uint32_t bit = pg - first;
    p[r.start + kBitmapOffset + bit / 8] |= std::uint8_t(1u << (bit % 8));
  }
  return true;
}

std::size_t pointerOffset(const MapRow& r, std::uint32_t k) {
  return r.start + fmt::kUsageMapReferencePointersOffset + 4 * std::size_t(k);
}

}  // namespace

std::vector<std::uint8_t> UsageMapWriter::inlineRow(const std::vector<std::uint32_t>& pages,
                                                    std::size_t rowSize) {
  std::vector<std::uint8_t> row(rowSize, 0);
  row[0] = fmt::kUsageMapInline;
  if (pages.empty()) return row;
  const std::uint32_t first =
      *std::min_element(pages.begin(), pages.end()) / kInlineWindowAlign * kInlineWindowAlign;
  writeU32(row.data() + fmt::kUsageMapInlineStartOffset, first);
  for (std::uint32_t pg : pages) {
    const std::uint32_t bit = pg - first;
    row[kBitmapOffset + bit / 8] |= std::uint8_t(1u << (bit % 8));
  }
  return row;
}

std::vector<std::uint8_t> UsageMapWriter::referenceRow(std::size_t rowSize) {
  std::vector<std::uint8_t> row(rowSize, 0);
  row[0] = fmt::kUsageMapReference;
  return row;
}

std::vector<std::uint32_t> UsageMapWriter::pages(WriteSession& s, RowPointer map) {
  const MapRow r = locate(s, map);
  if ((*r.page)[r.start] == fmt::kUsageMapInline) return inlinePages(r);
  std::vector<std::uint32_t> out;
  for (std::uint32_t k = 0; pointerOffset(r, k) + 4 <= r.start + r.length; ++k) {
    const std::uint32_t bp = r.page->u32(pointerOffset(r, k));
    if (bp == 0) continue;
    const PageImage& b = s.page(bp);
    for (std::size_t i = fmt::kUsageBitmapPageHeaderSize; i < fmt::kPageSize; ++i) {
      if (!b[i]) continue;
      for (int bit = 0; bit < 8; ++bit)
        if (b[i] & (1u << bit))
          out.push_back(std::uint32_t(k * fmt::kUsageBitmapPageBits +
                                      (i - fmt::kUsageBitmapPageHeaderSize) * 8 + bit));
    }
    s.forget(bp);
  }
  return out;
}

void UsageMapWriter::add(WriteSession& s, RowPointer map, std::uint32_t page) {
  MapRow r = locate(s, map);
  PageImage& p = *r.page;
  if (p[r.start] == fmt::kUsageMapInline) {
    std::vector<std::uint32_t> listed = inlinePages(r);
    listed.push_back(page);
    if (writeInline(r, listed)) {
      s.write(map.page);
      return;
    }
    // Outgrown: move every page into bitmap pages first, then switch the row over.
    std::map<std::uint32_t, PageImage> bitmaps;
    for (std::uint32_t pg : listed) {
      const std::uint32_t k = pg / std::uint32_t(fmt::kUsageBitmapPageBits);
      if (pointerOffset(r, k) + 4 > r.start + r.length)
        throw Error(s.path(), "a usage map cannot grow to list page " + std::to_string(pg));
      auto [it, fresh] = bitmaps.try_emplace(k);
      if (fresh) {
        it->second[0] = fmt::kPageUsageBitmap;
        it->second[1] = fmt::kPageMarker;
      }
      const std::uint32_t bit = pg % std::uint32_t(fmt::kUsageBitmapPageBits);
      it->second[fmt::kUsageBitmapPageHeaderSize + bit / 8] |= std::uint8_t(1u << (bit % 8));
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> placed;
    std::vector<std::uint32_t> fresh;
    for (auto& [k, img] : bitmaps) {
      const std::uint32_t n = s.append(img);
      placed.emplace_back(k, n);
      fresh.push_back(n);
    }
    s.markUsed(fresh);
    r = locate(s, map);  // page 1 may share the cache; re-locate after writes
    PageImage& mp = *r.page;
    std::fill(mp.data() + r.start, mp.data() + r.start + r.length, 0);
    mp[r.start] = fmt::kUsageMapReference;
    for (auto [k, n] : placed) mp.put32(pointerOffset(r, k), n);
    s.write(map.page);
    for (std::uint32_t n : fresh) s.forget(n);
    return;
  }
  if (p[r.start] != fmt::kUsageMapReference)
    throw Error::damaged(s.path(), map.page, "unknown usage map type");
  const std::uint32_t k = page / std::uint32_t(fmt::kUsageBitmapPageBits);
  const std::uint32_t bit = page % std::uint32_t(fmt::kUsageBitmapPageBits);
  if (pointerOffset(r, k) + 4 > r.start + r.length)
    throw Error(s.path(), "a usage map cannot grow to list page " + std::to_string(page));
  const std::uint32_t bp = p.u32(pointerOffset(r, k));
  if (bp == 0) {
    PageImage img;
    img[0] = fmt::kPageUsageBitmap;
    img[1] = fmt::kPageMarker;
    img[fmt::kUsageBitmapPageHeaderSize + bit / 8] |= std::uint8_t(1u << (bit % 8));
    const std::uint32_t n = s.append(img);
    s.markUsed({n});
    r = locate(s, map);
    r.page->put32(pointerOffset(r, k), n);
    s.write(map.page);
    return;
  }
  PageImage& b = s.page(bp);
  if (b[0] != fmt::kPageUsageBitmap) throw Error::damaged(s.path(), bp, "not a usage bitmap page");
  b[fmt::kUsageBitmapPageHeaderSize + bit / 8] |= std::uint8_t(1u << (bit % 8));
  s.write(bp);
}

void UsageMapWriter::replace(WriteSession& s, RowPointer map, std::uint32_t previous,
                             std::uint32_t page) {
  MapRow r = locate(s, map);
  PageImage& p = *r.page;
  if (p[r.start] == fmt::kUsageMapInline) {
    std::vector<std::uint32_t> listed = inlinePages(r);
    std::erase(listed, previous);
    listed.push_back(page);
    if (!writeInline(r, listed)) writeInline(r, {page});
    s.write(map.page);
    return;
  }
  if (p[r.start] != fmt::kUsageMapReference)
    throw Error::damaged(s.path(), map.page, "unknown usage map type");
  if (previous != 0) {
    const std::uint32_t k = previous / std::uint32_t(fmt::kUsageBitmapPageBits);
    if (pointerOffset(r, k) + 4 <= r.start + r.length) {
      const std::uint32_t bp = p.u32(pointerOffset(r, k));
      if (bp != 0) {
        PageImage& b = s.page(bp);
        if (b[0] != fmt::kPageUsageBitmap)
          throw Error::damaged(s.path(), bp, "not a usage bitmap page");
        const std::uint32_t bit = previous % std::uint32_t(fmt::kUsageBitmapPageBits);
        b[fmt::kUsageBitmapPageHeaderSize + bit / 8] &= std::uint8_t(~(1u << (bit % 8)));
        // Both pages in the same bitmap page (a table's next data page nearly always):
        // one write makes both changes.
        if (page / std::uint32_t(fmt::kUsageBitmapPageBits) == k) {
          const std::uint32_t set = page % std::uint32_t(fmt::kUsageBitmapPageBits);
          b[fmt::kUsageBitmapPageHeaderSize + set / 8] |= std::uint8_t(1u << (set % 8));
          s.write(bp);
          return;
        }
        s.write(bp);
      }
    }
  }
  add(s, map, page);
}

}  // namespace jet
