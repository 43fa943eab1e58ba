// Reads thousands of damaged variants of the fixtures: every one must either read or
// fail with a jet::Error, never crash, hang, read out of bounds (the sanitizer build
// checks that) or allocate without bound. Mutants come from fixed seeds, so a failure
// reproduces: the message names the fixture, the mutant number and the kind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>

#include <sys/mman.h>
#include <unistd.h>

#include "Format.h"
#include "TestFiles.h"
#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/ValueText.h"

namespace jet {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

// Fixture and mutant count: testV2003.mdb (multi-page table definition, reference usage
// map) is 3 MiB, so it gets fewer.
const std::pair<const char*, int> kFixtures[] = {{"compIndexTestV2000.mdb", 800},
                                                 {"delColTestV2000.mdb", 800},
                                                 {"delTestV2000.mdb", 800},
                                                 {"fixedNumericTestV2000.mdb", 800},
                                                 {"fixedTextTestV2000.mdb", 800},
                                                 {"indexTestV2000.mdb", 800},
                                                 {"overflowTestV2000.mdb", 800},
                                                 {"test2V2000.mdb", 800},
                                                 {"testUnicodeCompV2003.mdb", 800},
                                                 {"empty.mdb", 300},
                                                 {"adox_jet4.mdb", 300},
                                                 {"testV2003.mdb", 400}};

class Mutator {
 public:
  Mutator(const Bytes8& original, std::uint32_t seed) : rng_(seed), bytes_(original) {
    const std::size_t pages = bytes_.size() / fmt::kPageSize;
    // Pages the reader walks: tdefs, data and map pages (not long-value data).
    for (std::size_t p = 1; p < pages; ++p) {
      const std::uint8_t* page = bytes_.data() + p * fmt::kPageSize;
      const bool lval = std::memcmp(page + 4, "LVAL", 4) == 0;
      if ((page[0] == fmt::kPageData && !lval) || page[0] == fmt::kPageTableDef ||
          page[0] == fmt::kPageUsageBitmap) {
        structural_.push_back(p);
      }
    }
  }

  std::string mutate() {
    switch (below(6)) {
      case 0:
        return flipBytes();
      case 1:
        return truncate();
      case 2:
        return swapPages();
      case 3:
        return absurdField(2);
      case 4:
        return absurdField(4);
      default:
        return pointerToNowhere();
    }
  }
  const Bytes8& bytes() const { return bytes_; }

 private:
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(rng_() % n); }
  // An offset in a structural page, mostly in the parts that hold headers and offsets.
  std::size_t structuralOffset(std::size_t width) {
    if (structural_.empty()) return below(static_cast<std::uint32_t>(bytes_.size() - width));
    const std::size_t page = structural_[below(static_cast<std::uint32_t>(structural_.size()))];
    std::size_t off;
    switch (below(3)) {
      case 0:
        off = below(96);
        break;  // page and tdef headers
      case 1:
        off = fmt::kPageSize - 1 - below(512);
        break;  // rows end at the page end
      default:
        off = below(fmt::kPageSize);
        break;
    }
    off = std::min(off, fmt::kPageSize - width);
    return page * fmt::kPageSize + off;
  }
  std::string flipBytes() {
    const int n = 1 + static_cast<int>(below(8));
    for (int i = 0; i < n; ++i) {
      const std::size_t at =
          below(2) ? structuralOffset(1) : below(static_cast<std::uint32_t>(bytes_.size()));
      bytes_[at] ^= static_cast<std::uint8_t>(1 + below(255));
    }
    return "byte flips";
  }
  std::string truncate() {
    const std::size_t pages = bytes_.size() / fmt::kPageSize;
    std::size_t keep = below(static_cast<std::uint32_t>(pages)) * fmt::kPageSize;
    if (below(4) == 0) keep += below(fmt::kPageSize);
    bytes_.resize(keep);
    return "truncation at " + std::to_string(keep);
  }
  std::string swapPages() {
    const std::size_t pages = bytes_.size() / fmt::kPageSize;
    const std::size_t a = below(static_cast<std::uint32_t>(pages));
    const std::size_t b = structural_.empty()
                              ? below(static_cast<std::uint32_t>(pages))
                              : structural_[below(static_cast<std::uint32_t>(structural_.size()))];
    std::swap_ranges(bytes_.begin() + a * fmt::kPageSize, bytes_.begin() + (a + 1) * fmt::kPageSize,
                     bytes_.begin() + b * fmt::kPageSize);
    return "swapped pages " + std::to_string(a) + " and " + std::to_string(b);
  }
  std::string absurdField(std::size_t width) {
    static const std::uint32_t values[] = {
        0,     1,          0xFF,       0x7FFF,     0x8000,     0xFFFF,     0x1000,
        0xFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x3FFFFFFF, 0x40000000, 0xC0000000};
    const std::uint32_t v = values[below(std::size(values))];
    const std::size_t at = structuralOffset(width);
    for (std::size_t i = 0; i < width; ++i)
      bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return "absurd " + std::to_string(width) + "-byte value at " + std::to_string(at);
  }
  std::string pointerToNowhere() {
    const std::size_t pages = bytes_.size() / fmt::kPageSize;
    std::uint32_t page;
    switch (below(3)) {
      case 0:
        page = 0xFFFFFF;
        break;
      case 1:
        page = static_cast<std::uint32_t>(pages + below(4));
        break;
      default:
        page = below(static_cast<std::uint32_t>(pages));
        break;
    }
    const std::uint32_t v = page << 8 | below(256);
    const std::size_t at = structuralOffset(4);
    for (std::size_t i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return "row pointer to page " + std::to_string(page) + " at " + std::to_string(at);
  }

  std::mt19937 rng_;
  Bytes8 bytes_;
  std::vector<std::size_t> structural_;
};

// Opens and reads everything; returns "" when the file read or was refused cleanly
// (counting the refusals).
std::string readEverything(const std::string& path, int& refused) {
  try {
    const Database db = Database::open(path);
    for (const std::string& name : db.tableNames()) {
      const TableInfo info = db.table(name);
      TableReader reader = db.read(name);
      std::vector<Value> row;
      std::string text;
      while (reader.next(row)) {
        for (const Value& v : row) ValueText::append(text, v);
        text.clear();
      }
    }
  } catch (const Error& e) {
    ++refused;
    if (std::string(e.what()).rfind(path + ": ", 0) != 0)
      return std::string("error without the file name: ") + e.what();
  } catch (const std::exception& e) {
    return std::string("unexpected exception: ") + e.what();
  }
  return "";
}

TEST(Mutation, DamagedFilesFailCleanly) {
  // Mutants live in memory (a memfd opened by path), sparing the disk 40 MB of writes.
  const int fd = ::memfd_create("mutant.mdb", 0);
  ASSERT_GE(fd, 0);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  int refused = 0, total = 0;
  auto slowest = std::chrono::steady_clock::duration::zero();
  for (const auto& [name, mutants] : kFixtures) {
    const Bytes8 original = jet::testing::readFile(jet::testing::fixture(name));
    ASSERT_FALSE(original.empty()) << name;
    for (int i = 0; i < mutants; ++i) {
      Mutator m(original, static_cast<std::uint32_t>(i * 7919 + std::strlen(name)));
      const std::string kind = m.mutate();
      ASSERT_EQ(::ftruncate(fd, 0), 0);
      ASSERT_EQ(::pwrite(fd, m.bytes().data(), m.bytes().size(), 0),
                static_cast<ssize_t>(m.bytes().size()));
      const auto start = std::chrono::steady_clock::now();
      const std::string problem = readEverything(path, refused);
      ++total;
      slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
      ASSERT_EQ(problem, "") << name << " mutant " << i << " (" << kind << ")";
    }
  }
  ::close(fd);
  std::printf("mutants: %d read, %d refused as damaged; slowest %.1f ms\n", total - refused,
              refused, std::chrono::duration<double, std::milli>(slowest).count());
}

}  // namespace
}  // namespace jet
