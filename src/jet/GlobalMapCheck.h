// Test helper: reads the global page map (page 1, row 0) independently of the writer,
// and checks it against the pages the database links: every linked page must be listed
// as used (Access would hand out a page listed free), pages past the end of the file
// as free.
#pragma once

#include <gtest/gtest.h>

#include <set>

#include "Catalog.h"
#include "DataPage.h"
#include "PageFile.h"
#include "TableDef.h"
#include "UsageMap.h"

namespace jet::testing {

enum class PageState { Free, Used, NotListed };

struct GlobalMapView {
  bool reference = false;
  std::uint32_t first = 0;              // inline
  std::vector<std::uint8_t> bits;       // inline: the bitmap
  std::vector<std::uint32_t> pointers;  // reference: bitmap page per range (0 = none)
  const PageFile* file = nullptr;

  PageState state(std::uint32_t page) const {
    if (!reference) {
      if (page < first || page - first >= bits.size() * 8) return PageState::NotListed;
      const std::uint32_t i = page - first;
      return bits[i / 8] >> (i % 8) & 1 ? PageState::Free : PageState::Used;
    }
    const std::uint32_t k = page / std::uint32_t(fmt::kUsageBitmapPageBits);
    if (k >= pointers.size() || pointers[k] == 0) return PageState::NotListed;
    const PageRef bp = file->readPage(pointers[k]);
    const std::uint32_t i = page % std::uint32_t(fmt::kUsageBitmapPageBits);
    return bp->bytes()[fmt::kUsageBitmapPageHeaderSize + i / 8] >> (i % 8) & 1 ? PageState::Free
                                                                               : PageState::Used;
  }
};

inline GlobalMapView readGlobalMap(const PageFile& file) {
  GlobalMapView map;
  map.file = &file;
  PageRef holder;
  const ByteView row =
      DataPage::rowAt(file, {fmt::kGlobalMapPage, 0}, holder, fmt::kGlobalMapPage, "no map");
  map.reference = row.u8(0, "map") == fmt::kUsageMapReference;
  if (map.reference) {
    for (std::size_t off = 1; off + 4 <= row.size(); off += 4) {
      map.pointers.push_back(row.u32(off, "map"));
      if (map.pointers.back() != 0) {
        EXPECT_EQ(file.readPage(map.pointers.back())->type(), fmt::kPageUsageBitmap);
      }
    }
  } else {
    map.first = row.u32(fmt::kUsageMapInlineStartOffset, "map");
    map.bits.assign(row.data() + fmt::kUsageMapInlineBitmapOffset, row.data() + row.size());
  }
  return map;
}

// Every page the database links: the system pages of a new file, each table's
// definition, its usage maps with the pages they list and their bitmap pages, the
// global map's own bitmap pages.
inline std::set<std::uint32_t> linkedPages(const PageFile& file) {
  std::set<std::uint32_t> pages;
  constexpr std::uint32_t kSystemPages = 16;
  for (std::uint32_t p = 0; p < kSystemPages; ++p) pages.insert(p);
  const auto addMap = [&](RowPointer where, std::uint32_t from) {
    if (where.isNull()) return;
    pages.insert(where.page);
    const UsageMap map = UsageMap::read(file, where, from);
    pages.insert(map.pages().begin(), map.pages().end());
    pages.insert(map.bitmapPages().begin(), map.bitmapPages().end());
  };
  const Catalog catalog = Catalog::read(file);
  for (const CatalogEntry& e : catalog.entries()) {
    if (e.type != fmt::kObjectTypeTable) continue;
    const TableDef def = TableDef::read(file, std::uint32_t(e.id));
    pages.insert(def.pages.begin(), def.pages.end());
    addMap(def.ownedMap, def.page);
    addMap(def.freeMap, def.page);
    for (const auto& lv : def.longValueMaps) {
      addMap(lv.owned, def.page);
      addMap(lv.free, def.page);
    }
    for (const auto& index : def.realIndexes) addMap(index.usageMap, def.page);
  }
  for (std::uint32_t p : readGlobalMap(file).pointers)
    if (p != 0) pages.insert(p);
  return pages;
}

// Linked pages are listed used; pages past the end that the map covers are listed
// free. `complete`: every page of the file is listed (after a finished write).
inline void expectGlobalMapSound(const std::string& path, bool complete = true) {
  SCOPED_TRACE(path);
  PageFile file(path, Mode::ReadOnly);
  const GlobalMapView map = readGlobalMap(file);
  for (std::uint32_t p : linkedPages(file)) {
    ASSERT_LT(p, file.pageCount());
    ASSERT_EQ(map.state(p), PageState::Used) << "page " << p;
  }
  const std::uint32_t count = file.pageCount();
  for (std::uint32_t p = count; p < count + 64; ++p) {
    ASSERT_NE(map.state(p), PageState::Used) << "page " << p << " past the end";
  }
  if (complete) {
    for (std::uint32_t p = 0; p < count; ++p)
      ASSERT_NE(map.state(p), PageState::NotListed) << "page " << p;
  }
}

}  // namespace jet::testing
