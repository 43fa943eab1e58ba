#include "TableDefWriter.h"

#include <algorithm>

#include "Format.h"
#include "TextEncoder.h"

namespace jet {

namespace {

constexpr std::size_t kRealIndexColumnSlots = 10;
constexpr std::uint16_t kNoColumn = 0xFFFF;
constexpr std::uint16_t kEndOfTdef = 0xFFFF;
constexpr std::uint8_t kTdefByte24 = 0x01;
constexpr std::int32_t kNoRelatedIndex = -1;
constexpr std::uint8_t kCascadeDefault = 0x04;
constexpr std::uint32_t kSortGeneral = 0x0409;  // LCID 1033, General sort order

std::u16string utf16(const std::string& s) {
  auto u = TextEncoder::toUtf16(s);
  return u ? *u : std::u16string();
}

void appendName(std::vector<std::uint8_t>& out, const std::string& name) {
  const std::u16string u = utf16(name);
  appendU16(out, std::uint32_t(u.size() * 2));
  for (char16_t ch : u) appendU16(out, ch);
}

bool isBoolean(const ColumnDef& c) {
  return c.type == fmt::kTypeBoolean;
}

}  // namespace

void TableDefWriter::assignPositions(TableDef& def) {
  std::uint16_t number = 0;
  std::uint16_t slot = 0;
  std::uint16_t offset = 0;
  for (auto& c : def.columns) {
    c.number = number++;
    if (c.isFixed()) {
      c.varSlot = slot;  // variable columns numbered before it, as Jet writes
      c.fixedOffset = isBoolean(c) ? 0 : offset;
      if (!isBoolean(c)) offset = std::uint16_t(offset + c.length);
    } else {
      c.varSlot = slot++;
      c.fixedOffset = 0;
    }
  }
  def.maxColumns = number;
  def.varColumns = slot;
}

std::vector<std::uint8_t> TableDefWriter::serialize(const TableDef& def) {
  const bool system = def.tableType == fmt::kTableTypeSystem;
  std::vector<const ColumnDef*> order;
  for (const auto& c : def.columns) order.push_back(&c);
  if (system) {
    std::stable_sort(order.begin(), order.end(), [](const ColumnDef* a, const ColumnDef* b) {
      return TextEncoder::foldCase(utf16(a->name)) < TextEncoder::foldCase(utf16(b->name));
    });
  }

  std::vector<std::uint8_t> out(fmt::kTdefPageHeaderSize, 0);
  appendU32(out, 0);  // length, patched below
  appendU32(out, fmt::kTdefMagic);
  appendU32(out, def.rowCount);
  appendU32(out, def.autonumber);
  appendU8(out, kTdefByte24);
  out.resize(out.size() + 15, 0);
  appendU8(out, def.tableType);
  appendU16(out, def.maxColumns);
  appendU16(out, def.varColumns);
  appendU16(out, std::uint32_t(def.columns.size()));
  appendU32(out, std::uint32_t(def.logicalIndexes.size()));
  appendU32(out, std::uint32_t(def.realIndexes.size()));
  appendU32(out, def.ownedMap.stored());
  appendU32(out, def.freeMap.stored());
  for (const auto& ri : def.realIndexes) {
    appendU32(out, 0);
    appendU32(out, ri.distinctKeys);
    appendU32(out, 0);
  }
  for (const ColumnDef* c : order) {
    appendU8(out, c->type);
    appendU32(out, fmt::kTdefMagic);
    appendU16(out, c->number);
    appendU16(out, c->varSlot);
    appendU16(out, system ? 0 : c->number);
    if (c->type == fmt::kTypeNumeric) {
      appendU8(out, c->precision);
      appendU8(out, c->scale);
      appendU16(out, 0);
    } else {
      appendU32(out, kSortGeneral);
    }
    appendU8(out, c->flags);
    appendU8(out, c->extraFlags);
    appendU32(out, 0);
    appendU16(out, c->fixedOffset);
    appendU16(out, c->length);
  }
  for (const ColumnDef* c : order) appendName(out, c->name);
  for (const auto& ri : def.realIndexes) {
    appendU32(out, fmt::kRealIndexMagic);
    for (std::size_t k = 0; k < kRealIndexColumnSlots; ++k) {
      if (k < ri.keys.size()) {
        appendU16(out, ri.keys[k].column);
        appendU8(out, ri.keys[k].ascending ? 1 : 0);
      } else {
        appendU16(out, kNoColumn);
        appendU8(out, 0);
      }
    }
    appendU32(out, ri.usageMap.stored());
    appendU32(out, ri.rootPage);
    appendU32(out, 0);
    appendU8(out, ri.flags);
    out.resize(out.size() + 5, 0);
  }
  for (const auto& li : def.logicalIndexes) {
    appendU32(out, fmt::kTdefMagic);
    appendU32(out, li.number);
    appendU32(out, li.realIndex);
    appendU8(out, 0);
    appendU32(out, std::uint32_t(kNoRelatedIndex));
    appendU32(out, 0);
    appendU8(out, kCascadeDefault);
    appendU8(out, kCascadeDefault);
    appendU8(out, li.kind);
    appendU32(out, 0);
  }
  for (const auto& li : def.logicalIndexes) appendName(out, li.name);
  for (const auto& lv : def.longValueMaps) {
    appendU16(out, lv.column);
    appendU32(out, lv.owned.stored());
    appendU32(out, lv.free.stored());
  }
  appendU16(out, kEndOfTdef);
  writeU32(out.data() + fmt::kTdefLengthOffset, std::uint32_t(out.size()));
  return out;
}

std::size_t TableDefWriter::pagesNeeded(std::size_t length) {
  if (length <= fmt::kPageSize) return 1;
  const std::size_t perPage = fmt::kPageSize - fmt::kTdefPageHeaderSize;
  return 1 + (length - fmt::kPageSize + perPage - 1) / perPage;
}

std::vector<PageImage> TableDefWriter::toPages(const std::vector<std::uint8_t>& tdef,
                                               const std::vector<std::uint32_t>& pages) {
  std::vector<PageImage> out(pages.size());
  std::size_t pos = 0;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    PageImage& p = out[i];
    const std::size_t start = i == 0 ? 0 : fmt::kTdefPageHeaderSize;
    const std::size_t take = std::min(fmt::kPageSize - start, tdef.size() - pos);
    p.put(start, std::span(tdef.data() + pos, take));
    pos += take;
    // Free space as Access keeps it: page size less the bytes on the page (header
    // included) less a reserve of 8.
    const std::size_t used = start + take + fmt::kTdefPageHeaderSize;
    p[0] = fmt::kPageTableDef;
    p[1] = fmt::kPageMarker;
    p.put16(fmt::kTdefFreeSpaceOffset,
            std::uint32_t(used >= fmt::kPageSize ? 0 : fmt::kPageSize - used));
    p.put32(fmt::kTdefNextPageOffset, i + 1 < pages.size() ? pages[i + 1] : 0);
  }
  return out;
}

}  // namespace jet
