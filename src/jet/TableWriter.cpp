#include "TableWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "DataPageWriter.h"
#include "Format.h"
#include "RowScanner.h"
#include "TextEncoder.h"
#include "UsageMapWriter.h"
#include "jet/Error.h"

namespace jet {

namespace {

// Access dates run from year 100 to year 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.999999;

const char* kindName(Value::Kind k) {
  switch (k) {
    case Value::Kind::Null:
      return "NULL";
    case Value::Kind::Bool:
      return "a Boolean";
    case Value::Kind::Int:
      return "a whole number";
    case Value::Kind::Float:
    case Value::Kind::Double:
      return "a number";
    case Value::Kind::Currency:
      return "a currency amount";
    case Value::Kind::DateTime:
      return "a date";
    case Value::Kind::Text:
      return "text";
    case Value::Kind::Bytes:
      return "binary data";
    case Value::Kind::Guid:
      return "a GUID";
    case Value::Kind::Decimal:
      return "a decimal";
  }
  return "a value";
}

template <typename T>
void putLe(std::vector<std::uint8_t>& out, T v) {
  using U = std::make_unsigned_t<T>;
  const U u = static_cast<U>(v);
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(std::uint8_t(u >> (8 * i)));
}

void putDouble(std::vector<std::uint8_t>& out, double d) {
  putLe(out, static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(d)));
}

bool writable(const ColumnDef& c) {
  switch (c.type) {
    case fmt::kTypeBoolean:
    case fmt::kTypeByte:
    case fmt::kTypeInteger:
    case fmt::kTypeLong:
    case fmt::kTypeCurrency:
    case fmt::kTypeSingle:
    case fmt::kTypeDouble:
    case fmt::kTypeDateTime:
    case fmt::kTypeMemo:
    case fmt::kTypeOle:
      return true;
    case fmt::kTypeText:
    case fmt::kTypeBinary:
      return !c.isFixed();
    default:
      return false;
  }
}

}  // namespace

TableWriter::TableWriter(WriteSession& session, std::string tableName, TableDef def)
    : session_(session), name_(std::move(tableName)), def_(std::move(def)), encoder_(def_) {
  const std::string& file = session_.path();
  if (!def_.realIndexes.empty() || !def_.logicalIndexes.empty()) {
    throw Error(file, "table \"" + name_ +
                          "\" has indexes, which this program cannot keep up to date; no rows "
                          "were added");
  }
  for (const auto& c : def_.columns) {
    if (c.flags & (fmt::kColFlagAutoLong | fmt::kColFlagAutoGuid)) {
      throw Error(file, "table \"" + name_ + "\", column \"" + c.name +
                            "\" is an AutoNumber, which this program cannot fill; no rows were "
                            "added");
    }
    if (!writable(c)) {
      throw Error(file, "table \"" + name_ + "\", column \"" + c.name +
                            "\" has a type this program cannot write; no rows were added");
    }
    if (c.number >= def_.maxColumns || (!c.isFixed() && c.varSlot >= def_.varColumns))
      throw Error::damaged(file, def_.page, "column numbering out of range");
  }
  longValueOf_.assign(def_.columns.size(), -1);
  for (std::size_t i = 0; i < def_.columns.size(); ++i) {
    const ColumnDef& c = def_.columns[i];
    if (c.type != fmt::kTypeMemo && c.type != fmt::kTypeOle) continue;
    auto it = std::find_if(def_.longValueMaps.begin(), def_.longValueMaps.end(),
                           [&](const LongValueMaps& m) { return m.column == c.number; });
    if (it == def_.longValueMaps.end())
      throw Error::damaged(file, def_.page, "memo column without long-value maps");
    longValueOf_[i] = int(longValues_.size());
    longValues_.emplace_back(session_, *it);
  }
  cells_.resize(def_.columns.size());
  findCurrentPage();
}

void TableWriter::findCurrentPage() {
  const std::vector<std::uint32_t> pages = UsageMapWriter::pages(session_, def_.ownedMap);
  for (std::uint32_t pg : pages) {
    if (pg >= session_.pageCount())
      throw Error::damaged(session_.path(), pg, "listed page beyond the end");
  }
  if (!pages.empty()) {
    const std::uint32_t last = pages.back();
    const PageImage& p = session_.page(last);
    if (p[0] != fmt::kPageData || p.u32(fmt::kDataOwnerOffset) != def_.page)
      throw Error::damaged(session_.path(), last,
                           "page of the table's map is not one of its data pages");
    if (DataPageWriter::isConsistent(p)) current_ = last;
  }
  UsageMapWriter::pages(session_, def_.freeMap);  // refuse an unreadable free-space map now

  // A writer stopped between a row and the row count leaves the count one short; set it
  // right before counting on from it.
  RowScanner scan(session_.file(), def_);
  ByteView row;
  std::uint32_t live = 0;
  while (scan.next(row)) ++live;
  if (live != def_.rowCount) {
    PageImage& tdef = session_.page(def_.page);
    tdef.put32(fmt::kTdefRowCountOffset, live);
    session_.write(def_.page);
    def_.rowCount = live;
  }
}

void TableWriter::refuse(const ColumnDef& column, const std::string& why) const {
  throw Error(session_.path(), "table \"" + name_ + "\", column \"" + column.name + "\": " + why);
}

void TableWriter::convert(const ColumnDef& c, const Value& v, Cell& cell, std::size_t) {
  cell.bytes.clear();
  cell.present = false;
  cell.inlineLongValue = false;
  if (v.isNull()) {
    if (c.type == fmt::kTypeBoolean) encoder_.setBoolean(c, false);  // Jet booleans are never NULL
    return;
  }
  const auto mismatch = [&] {
    refuse(c, std::string(kindName(v.kind())) + " does not fit this column");
  };
  const auto wholeNumber = [&](std::int64_t lo, std::int64_t hi) -> std::int64_t {
    std::int64_t i;
    if (v.kind() == Value::Kind::Int) {
      i = v.asInt();
    } else {
      mismatch();
    }
    if (i < lo || i > hi)
      refuse(c, std::to_string(i) + " is out of range (" + std::to_string(lo) + " to " +
                    std::to_string(hi) + ")");
    return i;
  };
  const auto realNumber = [&]() -> double {
    double d;
    switch (v.kind()) {
      case Value::Kind::Double:
        d = v.asDouble();
        break;
      case Value::Kind::Float:
        d = v.asSingle();
        break;
      case Value::Kind::Int:
        d = double(v.asInt());
        break;
      default:
        mismatch();
    }
    if (!std::isfinite(d)) refuse(c, "the number is not finite");
    return d;
  };
  std::vector<std::uint8_t>& b = cell.bytes;
  switch (c.type) {
    case fmt::kTypeBoolean:
      if (v.kind() == Value::Kind::Bool) {
        encoder_.setBoolean(c, v.asBool());
      } else {
        encoder_.setBoolean(c, wholeNumber(0, 1) != 0);
      }
      return;
    case fmt::kTypeByte:
      putLe(b, std::uint8_t(wholeNumber(0, 255)));
      break;
    case fmt::kTypeInteger:
      putLe(b, std::int16_t(wholeNumber(-32768, 32767)));
      break;
    case fmt::kTypeLong:
      putLe(b, std::int32_t(wholeNumber(std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max())));
      break;
    case fmt::kTypeCurrency: {
      std::int64_t units;
      if (v.kind() == Value::Kind::Currency) {
        units = v.asCurrency().tenThousandths;
      } else if (v.kind() == Value::Kind::Int) {
        if (v.asInt() > INT64_MAX / 10000 || v.asInt() < INT64_MIN / 10000)
          refuse(c, "amount out of range");
        units = v.asInt() * 10000;
      } else {
        const double d = realNumber() * 10000.0;
        if (std::fabs(d) >= 9.2e18) refuse(c, "amount out of range");
        units = std::llround(d);
      }
      putLe(b, units);
      break;
    }
    case fmt::kTypeSingle: {
      const double d = realNumber();
      if (std::fabs(d) > double(std::numeric_limits<float>::max()))
        refuse(c, "number out of range");
      putLe(b, static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(float(d))));
      break;
    }
    case fmt::kTypeDouble:
      putDouble(b, realNumber());
      break;
    case fmt::kTypeDateTime: {
      if (v.kind() != Value::Kind::DateTime) mismatch();
      const double d = v.asDateTime().days;
      if (!std::isfinite(d) || d < kMinDate || d > kMaxDate)
        refuse(c, "the date is outside the years 100 to 9999");
      putDouble(b, d);
      break;
    }
    case fmt::kTypeText:
    case fmt::kTypeMemo: {
      if (v.kind() != Value::Kind::Text) mismatch();
      if (!TextEncoder::toUtf16(v.asText(), text_)) refuse(c, "the text is not valid UTF-8");
      if (c.type == fmt::kTypeText && text_.size() > c.length / 2u) {
        refuse(c, "the text has " + std::to_string(text_.size()) +
                      " characters, more than the column's " + std::to_string(c.length / 2));
      }
      TextEncoder::encode(text_, c.extraFlags & fmt::kColExtraCompressedUnicode,
                          c.type == fmt::kTypeMemo, b);
      if (c.type == fmt::kTypeMemo && b.size() > fmt::kLongValueLengthMask)
        refuse(c, "the text is too long");
      break;
    }
    case fmt::kTypeBinary:
    case fmt::kTypeOle:
      if (v.kind() != Value::Kind::Bytes) mismatch();
      b = v.asBytes();
      if (c.type == fmt::kTypeBinary && b.size() > c.length)
        refuse(c, "the data is longer than the column");
      if (b.size() > fmt::kLongValueLengthMask) refuse(c, "the data is too long");
      break;
    default:
      refuse(c, "this type cannot be written");
  }
  cell.present = true;
}

void TableWriter::append(const std::vector<Value>& row) {
  const std::string& file = session_.path();
  if (broken_) throw Error(file, "an earlier write to this table failed; reopen the database");
  if (row.size() != def_.columns.size()) {
    throw Error(file, "table \"" + name_ + "\" has " + std::to_string(def_.columns.size()) +
                          " columns, the row has " + std::to_string(row.size()) + " values");
  }
  // 1. Check and convert every value; nothing is written if one is refused.
  encoder_.reset();
  for (std::size_t i = 0; i < row.size(); ++i) convert(def_.columns[i], row[i], cells_[i], i);

  // 2. Small long values stay in the row unless the row would grow too large.
  for (std::size_t i = 0; i < row.size(); ++i) {
    const ColumnDef& c = def_.columns[i];
    if (!cells_[i].present || c.type == fmt::kTypeBoolean) continue;
    if (c.isFixed()) {
      encoder_.setFixed(c, cells_[i].bytes);
    } else if (longValueOf_[i] >= 0) {
      cells_[i].inlineLongValue = cells_[i].bytes.size() <= fmt::kMaxInlineLongValue;
      std::vector<std::uint8_t> header(fmt::kLongValueHeaderSize +
                                       (cells_[i].inlineLongValue ? cells_[i].bytes.size() : 0));
      encoder_.setVariable(c, header);  // placeholder of the final size
    } else {
      encoder_.setVariable(c, cells_[i].bytes);
    }
  }
  while (encoder_.size() > fmt::kMaxWrittenRowSize) {
    std::size_t biggest = row.size();
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (cells_[i].inlineLongValue && !cells_[i].bytes.empty() &&
          (biggest == row.size() || cells_[i].bytes.size() > cells_[biggest].bytes.size()))
        biggest = i;
    }
    if (biggest == row.size()) {
      throw Error(file, "table \"" + name_ + "\": the row needs " +
                            std::to_string(encoder_.size()) + " bytes, more than the " +
                            std::to_string(fmt::kMaxWrittenRowSize) + " a row can hold");
    }
    cells_[biggest].inlineLongValue = false;
    encoder_.setVariable(def_.columns[biggest],
                         std::vector<std::uint8_t>(fmt::kLongValueHeaderSize));
  }

  // 3. Plan the pages: long values, then the data page.
  std::uint32_t nextPage = session_.pageCount();
  std::vector<LongValueWriter::Pending> pending(longValues_.size());
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (longValueOf_[i] < 0 || !cells_[i].present) continue;
    const int lv = longValueOf_[i];
    encoder_.setVariable(
        def_.columns[i],
        longValues_[lv].place(cells_[i].bytes, cells_[i].inlineLongValue, pending[lv], nextPage));
  }
  const std::vector<std::uint8_t>& bytes = encoder_.encode();
  std::uint32_t target = current_;
  std::optional<PageImage> freshData;
  if (current_ == 0 || !DataPageWriter::fits(session_.page(current_), bytes.size())) {
    target = nextPage++;
    freshData = DataPageWriter::empty(def_.page);
    DataPageWriter::append(*freshData, bytes);
  }

  // 4. Write in the safe order. Room is checked for a few pages more: each map this
  // append extends (the table's, one per memo/OLE column) may need a new bitmap page or
  // two when its pages cross into the next 32,736-page range.
  const auto mapPagesReserve = std::uint32_t(4 + 2 * longValues_.size());
  try {
    if (nextPage != session_.pageCount()) session_.requireRoomFor(nextPage + mapPagesReserve);
  } catch (const Error&) {
    for (std::size_t k = 0; k < longValues_.size(); ++k) longValues_[k].discard(pending[k]);
    throw;
  }
  try {
    std::vector<std::pair<std::uint32_t, const PageImage*>> fresh;
    for (auto& p : pending)
      for (auto& [n, img] : p.fresh) fresh.emplace_back(n, &img);
    if (freshData) fresh.emplace_back(target, &*freshData);
    std::sort(fresh.begin(), fresh.end());
    std::vector<std::uint32_t> freshNumbers;
    // The rows kept in the current page go first, so that the file never holds a row
    // without the rows appended before it; the row count written last covers them. When
    // the new data page is the one right after it, one write carries both.
    if (freshData && unwritten_ > 0) {
      if (fresh.size() == 1 && current_ + 1 == target && target == session_.pageCount()) {
        if (session_.writeLastAndAppend(current_, *freshData) != target)
          throw Error(file, "internal error: page numbering");
        freshNumbers.push_back(target);
        fresh.clear();
      } else {
        session_.write(current_);
      }
      unwritten_ = 0;
    }
    for (auto [n, img] : fresh) {
      if (session_.append(*img) != n) throw Error(file, "internal error: page numbering");
      freshNumbers.push_back(n);
      if (n != target) session_.forget(n);
    }
    for (std::size_t k = 0; k < longValues_.size(); ++k) longValues_[k].writeChanged(pending[k]);
    session_.markUsed(freshNumbers);
    for (std::size_t k = 0; k < longValues_.size(); ++k) longValues_[k].link(pending[k]);
    if (freshData) {
      UsageMapWriter::add(session_, def_.ownedMap, target);
      UsageMapWriter::replace(session_, def_.freeMap, current_, target);
      if (current_ != 0) session_.forget(current_);
      current_ = target;
    } else {
      DataPageWriter::append(session_.page(current_), bytes);
    }
    PageImage& tdef = session_.page(def_.page);
    tdef.put32(fmt::kTdefRowCountOffset, tdef.u32(fmt::kTdefRowCountOffset) + 1);
    if (freshData) {
      session_.write(def_.page);
    } else {
      ++unwritten_;
    }
  } catch (...) {
    broken_ = true;
    throw;
  }
  ++def_.rowCount;
  ++appended_;
}

void TableWriter::flush() {
  // Also after a failed append: the page image holds only rows whose every other page
  // is already written, so the rows appended before the failure still reach the file.
  if (unwritten_ == 0) return;
  try {
    session_.write(current_);
    session_.write(def_.page);
  } catch (...) {
    broken_ = true;
    throw;
  }
  unwritten_ = 0;
}

}  // namespace jet
