#include "LongValueWriter.h"

#include <algorithm>

#include "DataPageWriter.h"
#include "Format.h"
#include "UsageMapWriter.h"

namespace jet {

LongValueWriter::LongValueWriter(WriteSession& session, const LongValueMaps& maps)
    : session_(session), maps_(maps) {}

std::vector<std::uint8_t> LongValueWriter::place(std::span<const std::uint8_t> data,
                                                 bool inlineAllowed, Pending& pending,
                                                 std::uint32_t& nextPage) {
  std::vector<std::uint8_t> header;
  header.reserve(fmt::kLongValueHeaderSize + (inlineAllowed ? data.size() : 0));
  const auto length = std::uint32_t(data.size());
  if (inlineAllowed) {
    appendU32(header, length | fmt::kLongValueInline);
    appendU32(header, 0);
    appendU32(header, 0);
    header.insert(header.end(), data.begin(), data.end());
    return header;
  }
  if (data.size() <= fmt::kMaxSingleRowLongValue) {
    // One row, on the current LVAL page when it has room, else on a new one.
    std::optional<std::uint8_t> row;
    std::uint32_t page = current_;
    if (current_ != 0) row = DataPageWriter::append(currentImage_, data);
    if (row) {
      if (std::find(pending.changed.begin(), pending.changed.end(), current_) ==
          pending.changed.end())
        pending.changed.push_back(current_);
    } else {
      page = nextPage++;
      PageImage img = DataPageWriter::emptyLongValuePage();
      row = DataPageWriter::append(img, data);
      pending.fresh.emplace_back(page, img);
      pending.newCurrent = page;
    }
    appendU32(header, length | fmt::kLongValueSingleRow);
    appendU32(header, RowPointer{page, *row}.stored());
    appendU32(header, 0);
    return header;
  }
  // A chain: one page per piece, each piece pointing at the next.
  const std::size_t pieces =
      (data.size() + fmt::kLongValueChainPieceData - 1) / fmt::kLongValueChainPieceData;
  const std::uint32_t first = nextPage;
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::size_t from = i * fmt::kLongValueChainPieceData;
    const std::size_t take = std::min(fmt::kLongValueChainPieceData, data.size() - from);
    std::vector<std::uint8_t> row;
    row.reserve(4 + take);
    appendU32(row, i + 1 < pieces ? RowPointer{first + std::uint32_t(i) + 1, 0}.stored() : 0);
    row.insert(row.end(), data.begin() + std::ptrdiff_t(from),
               data.begin() + std::ptrdiff_t(from + take));
    PageImage img = DataPageWriter::emptyLongValuePage();
    DataPageWriter::append(img, row);
    pending.fresh.emplace_back(nextPage++, img);
  }
  appendU32(header, length);
  appendU32(header, RowPointer{first, 0}.stored());
  appendU32(header, 0);
  return header;
}

void LongValueWriter::writeChanged(const Pending& pending) {
  for (std::uint32_t page : pending.changed) {
    session_.page(page) = currentImage_;
    session_.write(page);
  }
  committedImage_ = currentImage_;
}

void LongValueWriter::link(const Pending& pending) {
  const std::uint32_t previous = current_;
  for (const auto& [page, img] : pending.fresh) {
    UsageMapWriter::add(session_, maps_.owned, page);
    if (pending.newCurrent && *pending.newCurrent == page) {
      current_ = page;
      currentImage_ = img;
    }
  }
  if (pending.newCurrent) {
    UsageMapWriter::replace(session_, maps_.free, previous, current_);
    if (previous != 0) session_.forget(previous);  // full: no more values go there
  }
  committedImage_ = currentImage_;
}

void LongValueWriter::discard(const Pending&) {
  currentImage_ = committedImage_;
}

}  // namespace jet
