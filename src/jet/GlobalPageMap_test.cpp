// The global page map as the file grows: the inline row lengthens, then turns into a
// reference map, and the file is refused at 2 GB. Large files are simulated by
// extending the file with a hole (pages of zeros that nothing links), so the tests
// write only a few megabytes.
#include "GlobalPageMap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "GlobalMapCheck.h"
#include "PageImage.h"
#include "ReferenceReaders.h"
#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/DatabaseWriter.h"
#include "jet/TableReader.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using Row = std::vector<Value>;
using testing::PageState;

void extendTo(const std::string& path, std::uint32_t pages) {
  fs::resize_file(path, std::uint64_t{pages} * fmt::kPageSize);
}

Row blobRow(std::int64_t i, std::size_t bytes) {
  return {Value::integer(i), Value::bytes(Bytes(bytes, std::uint8_t(i)))};
}

std::vector<std::uint8_t> page1Row(const std::string& path, std::uint8_t row) {
  PageFile file(path, Mode::ReadOnly);
  PageRef holder;
  const ByteView v = DataPage::rowAt(file, {fmt::kGlobalMapPage, row}, holder, 1, "row");
  return {v.data(), v.data() + v.size()};
}

class GlobalPageMapTest : public ::testing::Test {
 protected:
  GlobalPageMapTest() : dir_("global-map"), path_(dir_.file("g.mdb")) {
    DatabaseWriter::create(path_);
    DatabaseWriter db = DatabaseWriter::open(path_);
    db.createTable("T", {{"No", ColumnType::Long}, {"Data", ColumnType::Ole}});
  }

  // Appends rows numbered on from the rows already there.
  void append(std::size_t rows, std::size_t bytes) {
    DatabaseWriter db = DatabaseWriter::open(path_);
    TableAppender t = db.appender("T");
    for (std::size_t i = 0; i < rows; ++i) {
      written_.push_back(blobRow(std::int64_t(written_.size()), bytes));
      t.append(written_.back());
    }
  }

  testing::ScratchDir dir_;
  std::string path_;
  std::vector<Row> written_;
};

TEST_F(GlobalPageMapTest, GrowsInlineThenTurnsIntoAReferenceMapThatListsEveryPage) {
  append(3, 3000);
  const auto row1 = page1Row(path_, 1);
  {
    SCOPED_TRACE("inline, lengthened");
    extendTo(path_, 20000);
    append(3, 3000);
    PageFile file(path_, Mode::ReadOnly);
    const auto map = testing::readGlobalMap(file);
    EXPECT_FALSE(map.reference);
    EXPECT_GE(map.bits.size() * 8, file.pageCount());
    EXPECT_EQ(map.bits.size() % 4, 0u);            // steps of 32 pages
    EXPECT_EQ(map.state(12345), PageState::Used);  // in the file, unknown: kept from Access
    testing::expectGlobalMapSound(path_);
  }
  {
    SCOPED_TRACE("reference");
    extendTo(path_, 40000);
    append(3, 3000);
    PageFile file(path_, Mode::ReadOnly);
    const auto map = testing::readGlobalMap(file);
    ASSERT_TRUE(map.reference);
    EXPECT_EQ(map.pointers.size(), 17u);
    EXPECT_NE(map.pointers[0], 0u);
    EXPECT_NE(map.pointers[1], 0u);
    EXPECT_EQ(map.pointers[2], 0u);
    EXPECT_EQ(map.state(30000), PageState::Used);  // not listed before: used
    EXPECT_EQ(map.state(file.pageCount()), PageState::Free);
    testing::expectGlobalMapSound(path_);
  }
  EXPECT_EQ(page1Row(path_, 1), row1);  // page 1's other row is carried over
  {
    SCOPED_TRACE("a range of its own gets a bitmap page");
    extendTo(path_, 2 * 32736 - 1);
    append(3, 3000);
    PageFile file(path_, Mode::ReadOnly);
    const auto map = testing::readGlobalMap(file);
    EXPECT_NE(map.pointers[2], 0u);
    EXPECT_EQ(map.pointers[3], 0u);
    testing::expectGlobalMapSound(path_);
  }
  EXPECT_EQ(testing::readAll(path_, "T"), written_);
  EXPECT_EQ(testing::mdbtoolsProblems(path_), "");
}

TEST_F(GlobalPageMapTest, AFileAtTwoGigabytesIsRefusedBeforeAnythingIsWritten) {
  append(2, 100);
  extendTo(path_, fmt::kMaxPages - 3000);
  DatabaseWriter db = DatabaseWriter::open(path_);
  TableAppender t = db.appender("T");
  // Rows of about 1,000 pages, then rows of one page, each until refused.
  for (const std::size_t bytes : {std::size_t{4} << 20, std::size_t{3000}}) {
    SCOPED_TRACE(std::to_string(bytes) + "-byte rows");
    std::string refusal;
    const std::size_t before = written_.size();
    while (refusal.empty() && written_.size() < before + 3000) {
      t.write();  // the file settled, pages written behind included, before measuring it
      const auto size = fs::file_size(path_);
      const Row row = blobRow(std::int64_t(written_.size()), bytes);
      try {
        t.append(row);
        written_.push_back(row);
      } catch (const Error& e) {
        refusal = e.what();
        EXPECT_EQ(fs::file_size(path_), size);
      }
    }
    EXPECT_NE(refusal.find("the largest size an Access database can have (2 GB)"),
              std::string::npos)
        << refusal;
    EXPECT_GT(written_.size(), before);
  }
  const auto size = fs::file_size(path_);
  EXPECT_THROW(db.createTable("U", {{"Data", ColumnType::Memo}}), Error);
  EXPECT_EQ(fs::file_size(path_), size);
  EXPECT_FALSE(db.hasTable("U"));
  written_.push_back(blobRow(std::int64_t(written_.size()), 10));
  t.append(written_.back());  // a row that fits the current page still goes in
  t.write();

  EXPECT_LE(fs::file_size(path_), std::uint64_t{fmt::kMaxPages} * fmt::kPageSize);
  EXPECT_GT(fs::file_size(path_), std::uint64_t{fmt::kMaxPages - 20} * fmt::kPageSize);
  EXPECT_EQ(testing::readAll(path_, "T"), written_);
  testing::expectGlobalMapSound(path_);
  EXPECT_EQ(testing::mdbtoolsProblems(path_), "");
}

// Other writers slide a 512-page inline window along the file and leave the pages
// before it unlisted. Such a map is extended as it is while new pages fit its window,
// then becomes a reference map in which the pages it left out count as used.
TEST_F(GlobalPageMapTest, AnInlineWindowThatSlidAlongTheFileBecomesAReferenceMap) {
  append(2, 3000);
  {
    // Move the window to start at page 8, keeping what it says of pages 8 and on.
    std::vector<std::uint8_t> bytes = testing::readFile(path_);
    std::uint8_t* p1 = bytes.data() + fmt::kPageSize;
    const std::size_t start = readU16(p1 + fmt::kDataRowTableOffset);
    std::uint8_t* bits = p1 + start + fmt::kUsageMapInlineBitmapOffset;
    const std::size_t size = fmt::kUsageMapRowSize - fmt::kUsageMapInlineBitmapOffset;
    std::copy(bits + 1, bits + size, bits);
    bits[size - 1] = 0xFF;
    writeU32(p1 + start + fmt::kUsageMapInlineStartOffset, 8);
    testing::writeFile(path_, bytes);
  }
  append(2, 3000);
  {
    PageFile file(path_, Mode::ReadOnly);
    const auto map = testing::readGlobalMap(file);
    EXPECT_FALSE(map.reference);
    EXPECT_EQ(map.first, 8u);
    EXPECT_EQ(map.state(file.pageCount() - 1), PageState::Used);
    EXPECT_EQ(map.state(file.pageCount()), PageState::Free);
  }
  extendTo(path_, 600);
  append(2, 3000);
  PageFile file(path_, Mode::ReadOnly);
  const auto map = testing::readGlobalMap(file);
  ASSERT_TRUE(map.reference);
  for (std::uint32_t p = 0; p < 8; ++p) EXPECT_EQ(map.state(p), PageState::Used) << p;
  testing::expectGlobalMapSound(path_);
  EXPECT_EQ(testing::readAll(path_, "T"), written_);
}

// A damaged page 1 (a row offset past the end of the page, a bitmap pointer to a page
// of another kind) is refused as damage, and nothing is written.
TEST_F(GlobalPageMapTest, ADamagedMapIsRefusedWithoutWriting) {
  append(1, 3000);
  const auto original = testing::readFile(path_);
  const auto refusal = [&](const std::function<void(std::uint8_t * page1)>& damage) {
    std::vector<std::uint8_t> bytes = original;
    damage(bytes.data() + fmt::kPageSize);
    testing::writeFile(path_, bytes);
    try {
      append(1, 3000);
    } catch (const Error& e) {
      EXPECT_EQ(testing::readFile(path_), bytes);
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(refusal([](std::uint8_t* p1) {
              writeU16(p1 + fmt::kDataRowTableOffset, 0x1800);
            }).find("page 1 is damaged"),
            std::string::npos);
  EXPECT_NE(refusal([](std::uint8_t* p1) {
              writeU16(p1 + fmt::kDataRowCountOffset, 0);
            }).find("page 1 is damaged"),
            std::string::npos);
  EXPECT_NE(refusal([](std::uint8_t* p1) {
              const std::size_t start = readU16(p1 + fmt::kDataRowTableOffset);
              p1[start] = fmt::kUsageMapReference;
              writeU32(p1 + start + fmt::kUsageMapReferencePointersOffset, 2);  // a tdef page
            }).find("page 2 is damaged"),
            std::string::npos);
}

// A file grown for real past what page 1 lists inline (about 125 MB), of long values
// chained over many pages, read back by the engine and mdbtools.
TEST(GlobalPageMap, AFileGrownPast125MegabytesReadsBack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "minutes under the sanitizer; the tests on files extended with a hole "
                  "take the same paths";
#endif
  testing::ScratchDir dir("global-map-big");
  const std::string path = dir.file("big.mdb");
  const auto blob = [](std::uint32_t i) {
    Bytes b(std::size_t{1} << 20, std::uint8_t(i));
    b[i % b.size()] = 0xFF;
    return b;
  };
  constexpr std::uint32_t kRows = 132;  // 1 MB each
  DatabaseWriter::create(path);
  {
    DatabaseWriter db = DatabaseWriter::open(path);
    db.createTable("Blobs", {{"No", ColumnType::Long}, {"Data", ColumnType::Ole}});
    TableAppender t = db.appender("Blobs");
    for (std::uint32_t i = 0; i < kRows; ++i) t.append({Value::integer(i), Value::bytes(blob(i))});
  }
  EXPECT_GT(fs::file_size(path), std::uint64_t{130} << 20);
  {
    PageFile file(path, Mode::ReadOnly);
    EXPECT_TRUE(testing::readGlobalMap(file).reference);
  }
  testing::expectGlobalMapSound(path);
  const Database db = Database::open(path);
  TableReader reader = db.read("Blobs");
  std::vector<Value> row;
  std::uint32_t n = 0;
  for (; reader.next(row); ++n) {
    ASSERT_EQ(row[0].asInt(), std::int64_t(n));
    ASSERT_EQ(row[1].asBytes(), blob(n));
  }
  EXPECT_EQ(n, kRows);
  EXPECT_EQ(testing::mdbtoolsProblems(path), "");
}

}  // namespace
}  // namespace jet
