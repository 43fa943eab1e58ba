#include "RowDecoder.h"

#include "TextCodec.h"

namespace jet {

namespace {
const char* const kBadRow = "bad row";
const char* const kBadVar = "bad variable column offset";
}  // namespace

RowDecoder::RowDecoder(const TableDef& def, const PageFile& file)
    : columns_(def.columns), varColumns_(def.varColumns), longValues_(file) {}

bool RowDecoder::isKnownType(std::uint8_t type) {
  switch (type) {
    case fmt::kTypeBoolean:
    case fmt::kTypeByte:
    case fmt::kTypeInteger:
    case fmt::kTypeLong:
    case fmt::kTypeCurrency:
    case fmt::kTypeSingle:
    case fmt::kTypeDouble:
    case fmt::kTypeDateTime:
    case fmt::kTypeBinary:
    case fmt::kTypeText:
    case fmt::kTypeOle:
    case fmt::kTypeMemo:
    case fmt::kTypeGuid:
    case fmt::kTypeNumeric:
      return true;
    default:
      return false;
  }
}

std::size_t RowDecoder::fixedSize(const ColumnDef& c) {
  switch (c.type) {
    case fmt::kTypeBoolean:
      return 0;
    case fmt::kTypeByte:
      return 1;
    case fmt::kTypeInteger:
      return 2;
    case fmt::kTypeLong:
    case fmt::kTypeSingle:
      return 4;
    case fmt::kTypeCurrency:
    case fmt::kTypeDouble:
    case fmt::kTypeDateTime:
      return 8;
    case fmt::kTypeGuid:
      return fmt::kGuidSize;
    case fmt::kTypeNumeric:
      return fmt::kNumericSize;
    default:
      return c.length;  // fixed text or binary, Access-private data
  }
}

Value RowDecoder::decodeValue(const ColumnDef& c, const ByteView& d) const {
  const char* bad = "bad column value";
  if (d.size() == 0) {  // present but empty: a zero-length string or byte string
    switch (c.type) {
      case fmt::kTypeText:
      case fmt::kTypeMemo:
        return Value::text({});
      case fmt::kTypeOle:
      case fmt::kTypeBinary:
        return Value::bytes({});
      default:
        return Value();
    }
  }
  switch (c.type) {
    case fmt::kTypeByte:
      return Value::integer(d.u8(0, bad));
    case fmt::kTypeInteger:
      return Value::integer(d.i16(0, bad));
    case fmt::kTypeLong:
      return Value::integer(d.i32(0, bad));
    case fmt::kTypeCurrency:
      return Value::currency({d.i64(0, bad)});
    case fmt::kTypeSingle:
      return Value::single(d.f32(0, bad));
    case fmt::kTypeDouble:
      return Value::real(d.f64(0, bad));
    case fmt::kTypeDateTime:
      return Value::dateTime({d.f64(0, bad)});
    case fmt::kTypeGuid: {
      Guid g;
      const ByteView b = d.sub(0, fmt::kGuidSize, bad);
      std::copy(b.data(), b.data() + b.size(), g.bytes.begin());
      return Value::guid(g);
    }
    case fmt::kTypeNumeric: {
      Decimal dec;
      d.require(0, fmt::kNumericSize, bad);
      dec.negative = (d.u8(0, bad) & fmt::kNumericNegative) != 0;
      for (std::size_t i = 0; i < 4; ++i) dec.magnitude[i] = d.u32(1 + 4 * i, bad);
      dec.precision = c.precision;
      dec.scale = c.scale;
      return Value::decimal(dec);
    }
    case fmt::kTypeText: {
      std::string s;
      TextCodec::decode(d.data(), d.size(), s);
      return Value::text(std::move(s));
    }
    case fmt::kTypeMemo: {
      Bytes raw;
      longValues_.read(d, raw);
      std::string s;
      TextCodec::decode(raw.data(), raw.size(), s);
      return Value::text(std::move(s));
    }
    case fmt::kTypeOle: {
      Bytes raw;
      longValues_.read(d, raw);
      return Value::bytes(std::move(raw));
    }
    default:  // binary and Access-private data: the bytes as stored
      return Value::bytes(Bytes(d.data(), d.data() + d.size()));
  }
}

void RowDecoder::decode(const ByteView& row, std::vector<Value>& out,
                        const std::vector<bool>* wanted) const {
  out.resize(columns_.size());
  const std::size_t numCols = row.u16(0, kBadRow);
  const std::size_t maskLen = (numCols + 7) / 8;
  if (row.size() < 2 + maskLen) row.fail(kBadRow);
  const std::size_t maskStart = row.size() - maskLen;
  const std::uint8_t* mask = row.data() + maskStart;

  std::size_t nv = 0, slotsEnd = maskStart, eod = 0;
  if (varColumns_ > 0) {
    if (maskStart < 4) row.fail(kBadRow);
    nv = row.u16(maskStart - 2, kBadRow);
    if (maskStart < 4 + 2 * nv) row.fail(kBadVar);
    slotsEnd = maskStart - 4 - 2 * nv;  // where eod is stored
    eod = row.u16(slotsEnd, kBadVar);
    if (eod > slotsEnd || eod < 2) row.fail(kBadVar);
  }
  auto slot = [&](std::size_t i) { return row.u16(maskStart - 4 - 2 * i, kBadVar); };

  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const ColumnDef& c = columns_[i];
    const bool present = c.number < numCols && (mask[c.number / 8] >> (c.number % 8) & 1);
    if (c.type == fmt::kTypeBoolean) {
      out[i] = Value::boolean(present);
      continue;
    }
    if (!present || (wanted && !(*wanted)[i])) {
      out[i] = Value();
      continue;
    }
    if (c.isFixed()) {
      const std::size_t size = fixedSize(c);
      out[i] = decodeValue(c, row.sub(2 + std::size_t{c.fixedOffset}, size, "bad fixed column"));
      continue;
    }
    if (c.varSlot >= nv) {
      out[i] = Value();
      continue;
    }
    const std::size_t start = slot(c.varSlot);
    const std::size_t end = std::size_t{c.varSlot} + 1 < nv ? slot(c.varSlot + 1) : eod;
    if (start < 2 || start > end || end > eod) row.fail(kBadVar);
    out[i] = decodeValue(c, row.sub(start, end - start, kBadVar));
  }
}

}  // namespace jet
