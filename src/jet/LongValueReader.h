// Reads memo and OLE values: inline in the row, one row of a long-value (LVAL) page,
// or a chain of LVAL rows each starting with a pointer to the next.
#pragma once

#include <cstdint>

#include "ByteView.h"
#include "PageFile.h"
#include "jet/Value.h"

namespace jet {

class LongValueReader {
 public:
  explicit LongValueReader(const PageFile& file) : file_(file) {}

  // Appends the value whose 12-byte header (followed by the data when inline) is
  // `field`, a slice of a row on page field.page(). The stored length must match the
  // data found; a value can never be larger than the file, and a looping chain ends in
  // the damage error instead of going round.
  void read(const ByteView& field, Bytes& out) const;

 private:
  const PageFile& file_;
};

}  // namespace jet
