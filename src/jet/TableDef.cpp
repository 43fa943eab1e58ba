#include "TableDef.h"

#include <algorithm>

#include "TextCodec.h"

namespace jet {

namespace {

// Far above any table Access can define (255 columns, 32 indexes need about 60 KB).
constexpr std::uint32_t kMaxTdefLength = 1 << 20;

std::string readName(const ByteView& v, std::size_t& pos) {
  const std::uint16_t len = v.u16(pos, "bad table definition (name)");
  const ByteView name = v.sub(pos + 2, len, "bad table definition (name)");
  pos += 2 + std::size_t{len};
  return TextCodec::decode(name.data(), name.size());
}

}  // namespace

TableDef TableDef::read(const PageFile& file, std::uint32_t page) {
  TableDef def;
  def.page = page;
  if (page == 0 || page >= file.pageCount()) {
    throw Error::damaged(file.path(), page, "table definition beyond the end of the file");
  }
  std::uint32_t next = page;
  std::uint32_t length = 0;
  while (true) {
    PageRef p = file.readPage(next);
    const ByteView v = p->view();
    if (v.u8(0, "not a table definition page") != fmt::kPageTableDef) {
      v.fail("not a table definition page");
    }
    def.pages.push_back(next);
    if (def.bytes.empty()) {
      length = v.u32(fmt::kTdefLengthOffset, "bad table definition");
      if (length < fmt::kTdefHeaderSize || length > kMaxTdefLength) {
        v.fail("bad table definition length");
      }
      def.bytes.reserve(length);
      def.bytes.insert(def.bytes.end(), v.data(), v.data() + v.size());
    } else {
      def.bytes.insert(def.bytes.end(), v.data() + fmt::kTdefPageHeaderSize, v.data() + v.size());
    }
    if (def.bytes.size() >= length) break;
    next = v.u32(fmt::kTdefNextPageOffset, "bad table definition");
    // A chain can only be as long as its length needs; this also stops loops.
    if (next == 0 || next >= file.pageCount() ||
        def.pages.size() > length / (fmt::kPageSize - fmt::kTdefPageHeaderSize) + 1) {
      v.fail("table definition chain is broken");
    }
  }
  def.bytes.resize(length);
  const ByteView whole(def.bytes.data(), def.bytes.size(), &file.path(), page);
  TableDef parsed = parse(whole, page);
  parsed.pages = std::move(def.pages);
  parsed.bytes = std::move(def.bytes);
  return parsed;
}

TableDef TableDef::parse(const ByteView& v, std::uint32_t firstPage) {
  TableDef def;
  def.page = firstPage;
  def.length = static_cast<std::uint32_t>(v.size());
  const char* bad = "bad table definition";
  def.rowCount = v.u32(fmt::kTdefRowCountOffset, bad);
  def.autonumber = v.u32(fmt::kTdefAutonumberOffset, bad);
  def.tableType = v.u8(fmt::kTdefTableTypeOffset, bad);
  def.maxColumns = v.u16(fmt::kTdefMaxColumnsOffset, bad);
  def.varColumns = v.u16(fmt::kTdefVarColumnsOffset, bad);
  const std::uint16_t columnCount = v.u16(fmt::kTdefColumnCountOffset, bad);
  const std::uint32_t logicalCount = v.u32(fmt::kTdefLogicalIndexCountOffset, bad);
  const std::uint32_t realCount = v.u32(fmt::kTdefRealIndexCountOffset, bad);
  def.ownedMap = RowPointer::fromStored(v.u32(fmt::kTdefOwnedMapOffset, bad));
  def.freeMap = RowPointer::fromStored(v.u32(fmt::kTdefFreeMapOffset, bad));

  // Every count must fit in the bytes present before anything is allocated for it.
  std::size_t pos = fmt::kTdefHeaderSize;
  if (realCount > v.size() / fmt::kRealIndexSize ||
      logicalCount > v.size() / fmt::kLogicalIndexSize ||
      columnCount > v.size() / fmt::kColumnDescriptorSize) {
    v.fail("bad table definition (counts)");
  }
  std::vector<std::uint32_t> distinct(realCount);
  for (std::uint32_t i = 0; i < realCount; ++i) {
    distinct[i] = v.u32(pos + fmt::kRealIndexDistinctKeysOffset, bad);
    pos += fmt::kTdefRealIndexInfoSize;
  }

  def.columns.resize(columnCount);
  for (auto& c : def.columns) {
    const ByteView d = v.sub(pos, fmt::kColumnDescriptorSize, "bad column descriptor");
    c.type = d.u8(fmt::kColTypeOffset, bad);
    c.number = d.u16(fmt::kColNumberOffset, bad);
    c.varSlot = d.u16(fmt::kColVarSlotOffset, bad);
    c.precision = d.u8(fmt::kColPrecisionOffset, bad);
    c.scale = d.u8(fmt::kColScaleOffset, bad);
    c.flags = d.u8(fmt::kColFlagsOffset, bad);
    c.extraFlags = d.u8(fmt::kColExtraFlagsOffset, bad);
    c.fixedOffset = d.u16(fmt::kColFixedOffsetOffset, bad);
    c.length = d.u16(fmt::kColLengthOffset, bad);
    pos += fmt::kColumnDescriptorSize;
  }
  for (auto& c : def.columns) c.name = readName(v, pos);

  for (std::uint32_t i = 0; i < realCount; ++i) {
    const ByteView d = v.sub(pos, fmt::kRealIndexSize, "bad index definition");
    RealIndexDef idx;
    for (std::size_t k = 0; k < fmt::kRealIndexColumnSlots; ++k) {
      const std::size_t at = fmt::kRealIndexColumnsOffset + fmt::kRealIndexColumnEntrySize * k;
      const std::uint16_t col = d.u16(at, bad);
      if (col == fmt::kRealIndexUnusedColumn) continue;
      idx.keys.push_back({col, d.u8(at + 2, bad) == fmt::kRealIndexAscending});
    }
    idx.usageMap = RowPointer::fromStored(d.u32(fmt::kRealIndexUsageMapOffset, bad));
    idx.rootPage = d.u32(fmt::kRealIndexRootPageOffset, bad);
    idx.flags = d.u8(fmt::kRealIndexFlagsOffset, bad);
    idx.distinctKeys = distinct[i];
    def.realIndexes.push_back(std::move(idx));
    pos += fmt::kRealIndexSize;
  }
  def.logicalIndexes.resize(logicalCount);
  for (auto& li : def.logicalIndexes) {
    const ByteView d = v.sub(pos, fmt::kLogicalIndexSize, "bad index definition");
    li.number = d.u32(fmt::kLogicalIndexNumberOffset, bad);
    li.realIndex = d.u32(fmt::kLogicalIndexRealIndexOffset, bad);
    li.kind = d.u8(fmt::kLogicalIndexKindOffset, bad);
    pos += fmt::kLogicalIndexSize;
  }
  for (auto& li : def.logicalIndexes) li.name = readName(v, pos);

  // The long-value list runs up to the closing FF FF.
  while (v.has(pos, fmt::kLongValueListEntrySize) && v.u16(pos, bad) != fmt::kTdefEndMarker) {
    LongValueMaps m;
    m.column = v.u16(pos, bad);
    m.owned = RowPointer::fromStored(v.u32(pos + 2, bad));
    m.free = RowPointer::fromStored(v.u32(pos + 6, bad));
    def.longValueMaps.push_back(m);
    pos += fmt::kLongValueListEntrySize;
  }

  std::stable_sort(def.columns.begin(), def.columns.end(),
                   [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
  return def;
}

}  // namespace jet
