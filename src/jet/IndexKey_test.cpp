#include "IndexKey.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Catalog.h"
#include "CatalogRows.h"
#include "IndexLeaf.h"
#include "RowDecoder.h"
#include "RowScanner.h"
#include "TestFiles.h"
#include "TextEncoder.h"

namespace jet {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

Bytes8 textKey(const std::u16string& s) {
  Bytes8 k;
  EXPECT_TRUE(IndexKey::appendText(k, s));
  return Bytes8(k.begin() + 1, k.end());  // without the column flag
}

TEST(IndexKey, TextCodesOfTheGeneralSortOrder) {
  EXPECT_EQ(textKey(u"a"), (Bytes8{0x4A, 0x01, 0x00}));
  EXPECT_EQ(textKey(u"A"), textKey(u"a"));
  EXPECT_EQ(textKey(u"ab c"), (Bytes8{0x4A, 0x4C, 0x07, 0x4D, 0x01, 0x00}));
  EXPECT_EQ(textKey(u"Tbl 1"), (Bytes8{0x6D, 0x4C, 0x5E, 0x07, 0x38, 0x01, 0x00}));
  EXPECT_EQ(textKey(u"x_y"), (Bytes8{0x75, 0x2B, 0x03, 0x76, 0x01, 0x00}));
  // Unprintable characters go after the codes with their position.
  EXPECT_EQ(textKey(u"-1"), (Bytes8{0x38, 0x01, 0x01, 0x01, 0x01, 0x80, 0x07, 0x06, 0x82, 0x00}));
  EXPECT_EQ(textKey(u"A\u00f1o"), (Bytes8{0x4A, 0x62, 0x64, 0x01, 0x02, 0x19, 0x00}));
  EXPECT_EQ(textKey(u"\u00e9-a"),
            (Bytes8{0x51, 0x4A, 0x01, 0x0E, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x82, 0x00}));
}

TEST(IndexKey, RefusesCharactersWithoutAKnownCode) {
  Bytes8 k{0x7F};
  EXPECT_FALSE(IndexKey::appendText(k, u"品名"));
  EXPECT_FALSE(IndexKey::appendText(k, u"Stra\u00dfe"));  // sharp s sorts as two letters
  EXPECT_EQ(k, Bytes8{0x7F});
  EXPECT_TRUE(IndexKey::canEncode(u"Item 2024 (copy)"));
}

TEST(IndexKey, LongKeysFlipTheSignBit) {
  Bytes8 k;
  IndexKey::appendLong(k, 2);
  IndexKey::appendLong(k, 0x0F000001);
  IndexKey::appendLong(k, INT32_MIN);
  IndexKey::appendLong(k, -1);
  EXPECT_EQ(k, (Bytes8{0x7F, 0x80, 0, 0, 2, 0x7F, 0x8F, 0,    0,    1,
                       0x7F, 0,    0, 0, 0, 0x7F, 0x7F, 0xFF, 0xFF, 0xFF}));
}

PageImage image(const PageFile& file, std::uint32_t page) {
  PageImage p;
  p.bytes = file.readPage(page)->bytes();
  return p;
}

// Every catalog index entry of real Access files, recomputed from the catalog's rows.
TEST(IndexKey, RecomputesTheCatalogIndexesOfAccessFiles) {
  for (const char* name :
       {"adox_jet4.mdb", "empty.mdb", "empty2003.mdb", "testV2003.mdb", "indexTestV2000.mdb",
        "delColTestV2000.mdb", "test2V2000.mdb", "testUnicodeCompV2003.mdb"}) {
    SCOPED_TRACE(name);
    PageFile file(testing::fixture(name), Mode::ReadOnly);
    const Catalog catalog = Catalog::read(file);
    const TableDef& def = catalog.definition();
    ASSERT_EQ(def.realIndexes.size(), 2u);
    std::vector<IndexLeaf::Entry> byName, byId;
    for (const CatalogEntry& e : catalog.entries()) {
      const auto u = TextEncoder::toUtf16(e.name);
      ASSERT_TRUE(u);
      byName.push_back(CatalogRows::nameEntry(e.parentId, *u, e.location.page, e.location.row));
      byId.push_back(CatalogRows::idEntry(e.id, e.location.page, e.location.row));
    }
    std::sort(byName.begin(), byName.end());
    std::sort(byId.begin(), byId.end());
    const auto leafOf = [&](std::size_t keyColumns) {
      for (const auto& ri : def.realIndexes)
        if (ri.keys.size() == keyColumns)
          return IndexLeaf::read(image(file, ri.rootPage), name, ri.rootPage);
      return std::vector<IndexLeaf::Entry>();
    };
    EXPECT_EQ(leafOf(2), byName);
    EXPECT_EQ(leafOf(1), byId);

    const TableDef aces = TableDef::read(file, 3);
    RowScanner scan(file, aces);
    RowDecoder decoder(aces, file);
    ByteView row;
    std::vector<Value> values;
    std::vector<IndexLeaf::Entry> byObject;
    while (scan.next(row)) {
      decoder.decode(row, values);
      byObject.push_back(CatalogRows::idEntry(std::int32_t(values[0].asInt()), scan.position().page,
                                              scan.position().row));
    }
    std::sort(byObject.begin(), byObject.end());
    EXPECT_EQ(IndexLeaf::read(image(file, aces.realIndexes[0].rootPage), name,
                              aces.realIndexes[0].rootPage),
              byObject);
  }
}

TEST(IndexLeaf, BuildsWhatItReads) {
  PageFile file(testing::fixture("adox_jet4.mdb"), Mode::ReadOnly);
  for (std::uint32_t leaf : {7u, 8u, 9u, 10u}) {
    const PageImage original = image(file, leaf);
    const auto entries = IndexLeaf::read(original, "adox", leaf);
    EXPECT_EQ(IndexLeaf::build(original.u32(4), entries).bytes, original.bytes) << leaf;
  }
}

}  // namespace
}  // namespace jet
