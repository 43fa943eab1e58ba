#include "LongValueReader.h"

#include "DataPage.h"

namespace jet {

void LongValueReader::read(const ByteView& field, Bytes& out) const {
  const char* bad = "bad long value";
  const std::uint32_t head = field.u32(0, bad);
  const std::uint32_t length = head & fmt::kLongValueLengthMask;
  const std::uint32_t kind = head & ~fmt::kLongValueLengthMask;
  const std::size_t start = out.size();

  if (kind == fmt::kLongValueInline) {
    const ByteView data = field.sub(fmt::kLongValueHeaderSize, length, bad);
    out.insert(out.end(), data.data(), data.data() + data.size());
    return;
  }
  if (kind != fmt::kLongValueSingleRow && kind != 0) field.fail("unknown long value kind");
  if (length == 0) return;
  if (std::uint64_t{length} > file_.fileSize()) field.fail("long value longer than the file");

  RowPointer at = RowPointer::fromStored(field.u32(fmt::kLongValuePointerOffset, bad));
  std::uint32_t fromPage = field.page();
  PageRef holder;
  if (kind == fmt::kLongValueSingleRow) {
    const ByteView row = DataPage::rowAt(file_, at, holder, fromPage, "bad long value pointer");
    const ByteView data = row.sub(0, length, "long value shorter than its length");
    out.insert(out.end(), data.data(), data.data() + data.size());
    return;
  }
  // Chain: every piece but the last carries data, so a loop overruns `length`.
  while (true) {
    const ByteView row = DataPage::rowAt(file_, at, holder, fromPage, "bad long value pointer");
    const RowPointer next = RowPointer::fromStored(row.u32(0, "bad long value piece"));
    const std::size_t piece = row.size() - fmt::kLongValueChainLinkSize;
    if (out.size() - start + piece > length) {
      if (!next.isNull()) row.fail("long value chain longer than its length");
      // The last piece may carry junk past the value's end.
      out.insert(out.end(), row.data() + fmt::kLongValueChainLinkSize,
                 row.data() + fmt::kLongValueChainLinkSize + (length - (out.size() - start)));
      return;
    }
    out.insert(out.end(), row.data() + fmt::kLongValueChainLinkSize, row.data() + row.size());
    if (next.isNull()) break;
    if (piece == 0) row.fail("empty long value piece");
    fromPage = at.page;
    at = next;
  }
  if (out.size() - start != length) {
    throw Error::damaged(file_.path(), at.page, "long value shorter than its length");
  }
}

}  // namespace jet
