// Test helper: the strict consistency check of a written file's catalog: every
// MSysObjects and MSysACEs row has exactly its index entries, in order, and the row and
// distinct-key counts are exact.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "Catalog.h"
#include "CatalogRows.h"
#include "IndexLeaf.h"
#include "RowDecoder.h"
#include "RowScanner.h"
#include "TextEncoder.h"

namespace jet::testing {

inline PageImage pageImage(const PageFile& file, std::uint32_t page) {
  PageImage p;
  p.bytes = file.readPage(page)->bytes();
  return p;
}

// `exactCounts`: also check row and distinct-key counts (Access itself leaves them off
// in some files, so files it made are checked for entries only).
inline void expectCatalogConsistent(const std::string& path, bool exactCounts = true) {
  SCOPED_TRACE(path);
  PageFile file(path, Mode::ReadOnly);
  const Catalog catalog = Catalog::read(file);
  const TableDef& def = catalog.definition();
  std::vector<IndexLeaf::Entry> byName, byId;
  std::set<std::int32_t> ids;
  for (const CatalogEntry& e : catalog.entries()) {
    const auto u = TextEncoder::toUtf16(e.name);
    ASSERT_TRUE(u);
    byName.push_back(CatalogRows::nameEntry(e.parentId, *u, e.location.page, e.location.row));
    byId.push_back(CatalogRows::idEntry(e.id, e.location.page, e.location.row));
    ids.insert(e.id);
  }
  std::sort(byName.begin(), byName.end());
  std::sort(byId.begin(), byId.end());
  if (exactCounts) {
    EXPECT_EQ(def.rowCount, catalog.entries().size());
  }
  for (const auto& ri : def.realIndexes) {
    const auto entries = IndexLeaf::read(pageImage(file, ri.rootPage), path, ri.rootPage);
    EXPECT_EQ(entries, ri.keys.size() == 2 ? byName : byId);
    if (exactCounts) {
      EXPECT_EQ(ri.distinctKeys, catalog.entries().size());
    }
  }
  const TableDef aces = TableDef::read(file, 3);
  RowScanner scan(file, aces);
  RowDecoder decoder(aces, file);
  ByteView row;
  std::vector<Value> values;
  std::vector<IndexLeaf::Entry> byObject;
  std::set<std::int64_t> objects;
  while (scan.next(row)) {
    decoder.decode(row, values);
    objects.insert(values[0].asInt());
    byObject.push_back(CatalogRows::idEntry(std::int32_t(values[0].asInt()), scan.position().page,
                                            scan.position().row));
  }
  std::sort(byObject.begin(), byObject.end());
  if (exactCounts) {
    EXPECT_EQ(aces.rowCount, byObject.size());
    EXPECT_EQ(aces.realIndexes[0].distinctKeys, objects.size());
  }
  EXPECT_EQ(IndexLeaf::read(pageImage(file, aces.realIndexes[0].rootPage), path,
                            aces.realIndexes[0].rootPage),
            byObject);
}

}  // namespace jet::testing
