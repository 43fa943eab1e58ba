// Decodes one stored row into typed values, column by column:
//   num_cols | fixed area | variable data | eod | slots (reversed) | nv | null mask
// Columns are found through their number (null-mask bit), fixed offset and variable
// slot, so rows written before a column was added (fewer columns) or holding the
// data of deleted columns read correctly.
#pragma once

#include <vector>

#include "ByteView.h"
#include "LongValueReader.h"
#include "TableDef.h"
#include "jet/Value.h"

namespace jet {

class RowDecoder {
 public:
  RowDecoder(const TableDef& def, const PageFile& file);

  // Fills `out` (resized to the live column count, in column-number order) from `row`.
  // With `wanted`, columns whose flag is false are left NULL and not decoded.
  void decode(const ByteView& row, std::vector<Value>& out,
              const std::vector<bool>* wanted = nullptr) const;

  // Decodes one value of column type `type` from its stored bytes (fixed or variable
  // data; for memo/OLE the long-value header). Used by decode() and the tests.
  Value decodeValue(const ColumnDef& column, const ByteView& data) const;

  // The fixed storage size of a column type, 0 for variable or mask-only types.
  static std::size_t fixedSize(const ColumnDef& column);

  static bool isKnownType(std::uint8_t type);

 private:
  const std::vector<ColumnDef>& columns_;
  std::uint16_t varColumns_;
  LongValueReader longValues_;
};

}  // namespace jet
