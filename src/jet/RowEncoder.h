// Encodes one row of a table in Jet 4 layout: fixed area, variable data in slot order,
// end-of-data offset, reversed slot offsets, slot count, null mask. The encoder is reused
// row after row: reset(), set the present values, encode().
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "TableDef.h"

namespace jet {

class RowEncoder {
 public:
  explicit RowEncoder(const TableDef& def);

  // All columns NULL (booleans false).
  void reset();
  // A fixed column's value: exactly column.length bytes.
  void setFixed(const ColumnDef& column, std::span<const std::uint8_t> bytes);
  // A variable column's stored bytes (text, binary, long-value header and inline data).
  void setVariable(const ColumnDef& column, std::span<const std::uint8_t> bytes);
  // A Boolean column: its null-mask bit is its value.
  void setBoolean(const ColumnDef& column, bool value);

  // The row bytes; valid until the next call on this encoder.
  const std::vector<std::uint8_t>& encode();
  // Size the row would have with the values set so far.
  std::size_t size() const;

 private:
  std::uint16_t maxColumns_;
  std::uint16_t varColumns_;
  std::size_t fixedSize_;
  std::vector<std::uint8_t> fixed_;
  std::vector<std::uint8_t> mask_;
  std::vector<std::vector<std::uint8_t>> slots_;
  std::vector<std::uint8_t> row_;
  std::vector<std::uint16_t> starts_;  // where each slot's data begins, reused
};

}  // namespace jet
