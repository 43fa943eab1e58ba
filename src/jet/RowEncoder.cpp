#include "RowEncoder.h"

#include <algorithm>
#include <cstring>

#include "PageImage.h"

namespace jet {

RowEncoder::RowEncoder(const TableDef& def)
    : maxColumns_(def.maxColumns), varColumns_(def.varColumns), fixedSize_(0) {
  for (const auto& c : def.columns)
    if (c.isFixed() && c.type != fmt::kTypeBoolean)
      fixedSize_ = std::max<std::size_t>(fixedSize_, std::size_t(c.fixedOffset) + c.length);
  fixed_.resize(fixedSize_);
  mask_.resize((maxColumns_ + 7) / 8);
  slots_.resize(varColumns_);
  reset();
}

void RowEncoder::reset() {
  std::fill(fixed_.begin(), fixed_.end(), 0);
  std::fill(mask_.begin(), mask_.end(), 0);
  for (auto& s : slots_) s.clear();
}

void RowEncoder::setFixed(const ColumnDef& column, std::span<const std::uint8_t> bytes) {
  std::memcpy(fixed_.data() + column.fixedOffset, bytes.data(),
              std::min<std::size_t>(bytes.size(), column.length));
  mask_[column.number / 8] |= std::uint8_t(1u << (column.number % 8));
}

void RowEncoder::setVariable(const ColumnDef& column, std::span<const std::uint8_t> bytes) {
  slots_[column.varSlot].assign(bytes.begin(), bytes.end());
  mask_[column.number / 8] |= std::uint8_t(1u << (column.number % 8));
}

void RowEncoder::setBoolean(const ColumnDef& column, bool value) {
  const std::uint8_t bit = std::uint8_t(1u << (column.number % 8));
  if (value) {
    mask_[column.number / 8] |= bit;
  } else {
    mask_[column.number / 8] &= std::uint8_t(~bit);
  }
}

std::size_t RowEncoder::size() const {
  std::size_t n = 2 + fixedSize_ + mask_.size();
  if (varColumns_ > 0) {
    n += 2 + 2 * std::size_t(varColumns_) + 2;
    for (const auto& s : slots_) n += s.size();
  }
  return n;
}

const std::vector<std::uint8_t>& RowEncoder::encode() {
  row_.clear();
  row_.reserve(size());
  appendU16(row_, maxColumns_);
  row_.insert(row_.end(), fixed_.begin(), fixed_.end());
  if (varColumns_ > 0) {
    std::vector<std::uint16_t>& starts = starts_;
    starts.resize(varColumns_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      starts[i] = std::uint16_t(row_.size());
      row_.insert(row_.end(), slots_[i].begin(), slots_[i].end());
    }
    appendU16(row_, std::uint32_t(row_.size()));  // end of variable data
    for (std::size_t i = starts.size(); i-- > 0;) appendU16(row_, starts[i]);
    appendU16(row_, varColumns_);
  }
  row_.insert(row_.end(), mask_.begin(), mask_.end());
  return row_;
}

}  // namespace jet
