#include "IndexLeaf.h"

#include <algorithm>

#include "Format.h"
#include "jet/Error.h"

namespace jet {

namespace {
constexpr std::size_t kEntryArea = fmt::kPageSize - fmt::kLeafEntriesOffset;
}

bool IndexLeaf::isSingleLeaf(const PageImage& page) {
  return page[0] == fmt::kPageIndexLeaf && page.u32(fmt::kLeafPrevOffset) == 0 &&
         page.u32(fmt::kLeafNextOffset) == 0 && page.u32(fmt::kLeafTailOffset) == 0;
}

std::vector<IndexLeaf::Entry> IndexLeaf::read(const PageImage& page, const std::string& file,
                                              std::uint32_t pageNo) {
  const std::size_t free = page.u16(fmt::kLeafFreeSpaceOffset);
  if (free > kEntryArea) throw Error::damaged(file, pageNo, "bad index page free space");
  const std::size_t used = kEntryArea - free;
  const std::size_t prefix = page.u16(fmt::kLeafPrefixOffset);
  std::vector<Entry> entries;
  std::size_t start = 0;
  for (std::size_t k = 1; k <= used; ++k) {
    const std::uint8_t bits = page[fmt::kLeafBitmapOffset + k / 8];
    if (!(bits & (1u << (k % 8)))) continue;
    Entry e;
    if (!entries.empty()) {
      if (prefix > entries.front().size())
        throw Error::damaged(file, pageNo, "bad index prefix length");
      e.assign(entries.front().begin(), entries.front().begin() + std::ptrdiff_t(prefix));
    }
    e.insert(e.end(), page.data() + fmt::kLeafEntriesOffset + start,
             page.data() + fmt::kLeafEntriesOffset + k);
    entries.push_back(std::move(e));
    start = k;
  }
  if (start != used) throw Error::damaged(file, pageNo, "index entries and free space disagree");
  return entries;
}

bool IndexLeaf::fits(const std::vector<Entry>& entries) {
  std::size_t total = 0;
  for (const auto& e : entries) total += e.size();
  return total <= kEntryArea;
}

PageImage IndexLeaf::build(std::uint32_t tdefPage, const std::vector<Entry>& entries) {
  PageImage p;
  p[0] = fmt::kPageIndexLeaf;
  p[1] = fmt::kPageMarker;
  p.put32(fmt::kLeafTdefOffset, tdefPage);
  std::size_t pos = 0;
  for (const auto& e : entries) {
    p.put(fmt::kLeafEntriesOffset + pos, e);
    pos += e.size();
    p[fmt::kLeafBitmapOffset + pos / 8] |= std::uint8_t(1u << (pos % 8));
  }
  p.put16(fmt::kLeafFreeSpaceOffset, std::uint32_t(kEntryArea - pos));
  return p;
}

void IndexLeaf::insertSorted(std::vector<Entry>& entries, Entry entry) {
  auto at = std::upper_bound(entries.begin(), entries.end(), entry);
  entries.insert(at, std::move(entry));
}

}  // namespace jet
