#include "RowScanner.h"

#include <algorithm>

#include "UsageMap.h"

namespace jet {

namespace {
constexpr int kMaxOverflowHops = 8;
const char* const kBadOverflow = "bad overflow row pointer";
}  // namespace

RowScanner::RowScanner(const PageFile& file, const TableDef& def) : file_(file), owner_(def.page) {
  const UsageMap map = UsageMap::read(file, def.ownedMap, def.page);
  // Only data pages of this table: a map may still list pages freed since (mdbtools
  // skips them the same way).
  for (std::uint32_t p : map.pages()) {
    PageRef page = file.readPage(p);
    if (page->type() != fmt::kPageData) continue;
    DataPage data(page);
    if (data.owner() != owner_) continue;
    pages_.push_back(p);
    for (std::uint16_t i = 0; i < data.rowCount(); ++i) {
      const RowSlot slot = data.row(i);
      if (slot.overflow && !slot.deleted) targets_.push_back(resolve(slot.bytes, p).stored());
    }
  }
  std::sort(targets_.begin(), targets_.end());
}

bool RowScanner::ownsPage(std::uint32_t page) const {
  return std::binary_search(pages_.begin(), pages_.end(), page);
}

RowPointer RowScanner::resolve(const ByteView& pointerBytes, std::uint32_t fromPage) const {
  RowPointer at = RowPointer::fromStored(pointerBytes.u32(0, kBadOverflow));
  for (int hop = 0; hop < kMaxOverflowHops; ++hop) {
    if (at.page == 0 || at.page >= file_.pageCount()) {
      throw Error::damaged(file_.path(), fromPage, kBadOverflow);
    }
    PageRef holder = file_.readPage(at.page);
    if (holder->type() != fmt::kPageData)
      throw Error::damaged(file_.path(), fromPage, kBadOverflow);
    DataPage page(holder);
    if (at.row >= page.rowCount()) throw Error::damaged(file_.path(), fromPage, kBadOverflow);
    const RowSlot slot = page.row(at.row);
    if (!slot.overflow) return at;
    fromPage = at.page;
    at = RowPointer::fromStored(slot.bytes.u32(0, kBadOverflow));
  }
  throw Error::damaged(file_.path(), fromPage, "overflow rows form a loop");
}

bool RowScanner::next(ByteView& row) {
  while (true) {
    if (!page_ || rowIndex_ >= page_->rowCount()) {
      if (pageIndex_ >= pages_.size()) return false;
      page_.emplace(file_.readPage(pages_[pageIndex_++]));
      rowIndex_ = 0;
      continue;
    }
    const std::uint16_t i = rowIndex_++;
    const RowSlot slot = page_->row(i);
    if (slot.deleted) {
      if (slot.overflow) continue;
      const RowPointer here{page_->number(), static_cast<std::uint8_t>(i)};
      if (!std::binary_search(targets_.begin(), targets_.end(), here.stored())) continue;
      row = slot.bytes;
      position_ = here;
      return true;
    }
    if (!slot.overflow) {
      row = slot.bytes;
      position_ = {page_->number(), static_cast<std::uint8_t>(i)};
      return true;
    }
    const RowPointer target = resolve(slot.bytes, page_->number());
    if (ownsPage(target.page)) continue;  // returned where it lies
    followed_ = file_.readPage(target.page);
    row = DataPage(followed_).row(target.row).bytes;
    position_ = target;
    return true;
  }
}

}  // namespace jet
