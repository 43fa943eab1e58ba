#include "UsageMap.h"

#include <gtest/gtest.h>

#include "LongValueReader.h"
#include "TestFiles.h"

namespace jet {
namespace {

using namespace std::string_literals;

// A file of hand-made pages: page 0 blank, then what each test puts there.
class PagesTest : public ::testing::Test {
 protected:
  PagesTest() : dir_("pages"), pages_(8) {}

  // Makes page `n` a data page holding `rows` (row 0 at the end of the page).
  void dataPage(std::size_t n, const std::vector<std::vector<std::uint8_t>>& rows) {
    PageBytes& p = pages_[n];
    p.fill(0);
    p[0] = fmt::kPageData;
    p[1] = fmt::kPageMarker;
    p[12] = static_cast<std::uint8_t>(rows.size());
    std::size_t end = fmt::kPageSize;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::size_t start = end - rows[i].size();
      std::copy(rows[i].begin(), rows[i].end(), p.begin() + static_cast<std::ptrdiff_t>(start));
      p[14 + 2 * i] = static_cast<std::uint8_t>(start);
      p[15 + 2 * i] = static_cast<std::uint8_t>(start >> 8);
      end = start;
    }
  }
  PageFile& file() {
    std::vector<std::uint8_t> bytes;
    for (const auto& p : pages_) bytes.insert(bytes.end(), p.begin(), p.end());
    jet::testing::writeFile(dir_.file("pages.mdb"), bytes);
    file_ = std::make_unique<PageFile>(dir_.file("pages.mdb"), Mode::ReadOnly);
    return *file_;
  }

  jet::testing::ScratchDir dir_;
  std::vector<PageBytes> pages_;
  std::unique_ptr<PageFile> file_;
};

TEST_F(PagesTest, InlineMapListsPagesFromItsStart) {
  // Type 0, start page 0, bits for pages 3 and 5; a longer-than-usual bitmap is fine.
  std::vector<std::uint8_t> map = {0x00, 0, 0, 0, 0, 0x28};
  map.resize(105, 0);
  dataPage(1, {map});
  EXPECT_EQ(UsageMap::read(file(), {1, 0}, 2).pages(), (std::vector<std::uint32_t>{3, 5}));
}

TEST_F(PagesTest, ReferenceMapReadsItsBitmapPages) {
  std::vector<std::uint8_t> map(69, 0);
  map[0] = fmt::kUsageMapReference;
  map[1] = 2;  // bitmap page 2 covers pages 0..32735
  dataPage(1, {map});
  pages_[2].fill(0);
  pages_[2][0] = fmt::kPageUsageBitmap;
  pages_[2][1] = fmt::kPageMarker;
  pages_[2][4] = 0xC0;  // pages 6 and 7
  const UsageMap m = UsageMap::read(file(), {1, 0}, 2);
  EXPECT_TRUE(m.isReference());
  EXPECT_EQ(m.pages(), (std::vector<std::uint32_t>{6, 7}));
}

TEST_F(PagesTest, MapsListingPagesBeyondTheFileAreDamage) {
  dataPage(1, {{0x00, 0, 0, 0, 0, 0x00, 0x01}});  // page 8 of an 8-page file
  EXPECT_THROW(UsageMap::read(file(), {1, 0}, 2), Error);
  // A pointer to a row that does not exist names the page holding the pointer.
  try {
    UsageMap::read(file(), {1, 9}, 2);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.page(), 2u);
  }
}

std::vector<std::uint8_t> longValueHeader(std::uint32_t lengthAndKind, std::uint32_t pointer) {
  std::vector<std::uint8_t> h(12, 0);
  for (int i = 0; i < 4; ++i) {
    h[i] = static_cast<std::uint8_t>(lengthAndKind >> (8 * i));
    h[4 + i] = static_cast<std::uint8_t>(pointer >> (8 * i));
  }
  return h;
}

TEST_F(PagesTest, LongValueChainsAreFollowedAndLoopsStop) {
  // Piece 1: row 0 of page 3 -> row 0 of page 4; piece 2 ends the chain.
  dataPage(3, {{0x00, 0x04, 0x00, 0x00, 'a', 'b', 'c'}});
  dataPage(4, {{0, 0, 0, 0, 'd', 'e'}});
  // A loop: page 5 row 0 points to itself.
  dataPage(5, {{0x00, 0x05, 0x00, 0x00, 'x'}});
  PageFile& f = file();
  LongValueReader reader(f);
  const std::string name = "x.mdb";
  auto read = [&](const std::vector<std::uint8_t>& h) {
    Bytes out;
    reader.read(ByteView(h.data(), h.size(), &name, 1), out);
    return std::string(out.begin(), out.end());
  };
  EXPECT_EQ(read(longValueHeader(5, 3 << 8)), "abcde");
  EXPECT_EQ(read(longValueHeader(fmt::kLongValueSingleRow | 3, 4 << 8)), "\0\0\0"s.substr(0, 3));
  EXPECT_THROW(read(longValueHeader(6, 3 << 8)), Error);           // shorter than its length
  EXPECT_THROW(read(longValueHeader(1000, 5 << 8)), Error);        // loop
  EXPECT_THROW(read(longValueHeader(0x3FFFFFFF, 3 << 8)), Error);  // longer than the file
  EXPECT_THROW(read(longValueHeader(5, 7 << 8)), Error);           // not a data page
}

}  // namespace
}  // namespace jet
