#include "DataPage.h"

#include <cstring>

namespace jet {

DataPage::DataPage(PageRef page) : page_(std::move(page)) {
  const ByteView v = page_->view();
  if (v.u8(0, "not a data page") != fmt::kPageData) v.fail("not a data page");
  owner_ = v.u32(fmt::kDataOwnerOffset, "bad page header");
  rowCount_ = v.u16(fmt::kDataRowCountOffset, "bad page header");
  if (rowCount_ > fmt::kMaxRowsPerPage ||
      fmt::kDataRowTableOffset + 2 * std::size_t{rowCount_} > fmt::kPageSize) {
    v.fail("bad row count");
  }
}

bool DataPage::isLongValuePage() const {
  return std::memcmp(page_->bytes().data() + fmt::kDataOwnerOffset, fmt::kLvalOwner.data(),
                     fmt::kLvalOwner.size()) == 0;
}

RowSlot DataPage::row(std::uint16_t i) const {
  const ByteView v = page_->view();
  if (i >= rowCount_) v.fail("row number out of range");
  const std::uint16_t raw = v.u16(fmt::kDataRowTableOffset + 2 * std::size_t{i}, "bad row offset");
  RowSlot slot;
  slot.deleted = (raw & fmt::kRowDeletedFlag) != 0;
  slot.overflow = (raw & fmt::kRowOverflowFlag) != 0;
  const std::size_t start = raw & fmt::kRowOffsetMask;
  std::size_t end = fmt::kPageSize;
  if (i > 0) {
    end = v.u16(fmt::kDataRowTableOffset + 2 * (std::size_t{i} - 1), "bad row offset") &
          fmt::kRowOffsetMask;
  }
  const std::size_t tableEnd = fmt::kDataRowTableOffset + 2 * std::size_t{rowCount_};
  if (start < tableEnd || start > end || end > fmt::kPageSize) {
    if (slot.deleted) {  // shrunk or stale: nothing to read anyway
      slot.bytes = v.sub(0, 0, "bad row offset");
      return slot;
    }
    v.fail("bad row offset");
  }
  slot.bytes = v.sub(start, end - start, "bad row offset");
  return slot;
}

ByteView DataPage::rowAt(const PageFile& file, RowPointer pointer, PageRef& holder,
                         std::uint32_t fromPage, const char* what) {
  if (pointer.page == 0 || pointer.page >= file.pageCount()) {
    throw Error::damaged(file.path(), fromPage, what);
  }
  holder = file.readPage(pointer.page);
  if (holder->type() != fmt::kPageData) throw Error::damaged(file.path(), fromPage, what);
  DataPage page(holder);
  if (pointer.row >= page.rowCount()) throw Error::damaged(file.path(), fromPage, what);
  RowSlot slot = page.row(pointer.row);
  return slot.bytes;
}

}  // namespace jet
