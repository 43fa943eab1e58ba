// Places memo and OLE values: in the row when small, else as one row of a long-value
// (LVAL) page of the column, else as a chain of pages of their own. The writer plans
// the pages; TableWriter writes them in the safe order (new pages, global map, column
// maps, then the row that points at them).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "DataPage.h"
#include "PageImage.h"
#include "TableDef.h"
#include "WriteSession.h"

namespace jet {

class LongValueWriter {
 public:
  LongValueWriter(WriteSession& session, const LongValueMaps& maps);

  // Pages of one append, in allocation order.
  struct Pending {
    std::vector<std::pair<std::uint32_t, PageImage>> fresh;  // new pages and their content
    std::vector<std::uint32_t> changed;                      // existing pages to rewrite
    std::optional<std::uint32_t> newCurrent;                 // new current LVAL page
  };

  // The 12-byte header (plus data when inline) the row holds for `data`. Out-of-row
  // data is put on pages recorded in `pending`; `nextPage` is the number the next new
  // page of this append will get and is advanced.
  std::vector<std::uint8_t> place(std::span<const std::uint8_t> data, bool inlineAllowed,
                                  Pending& pending, std::uint32_t& nextPage);

  // Writes the existing LVAL page that received values (before the row points at them).
  void writeChanged(const Pending& pending);
  // After the pages are written and marked used: links them in the column's maps.
  void link(const Pending& pending);
  // After a failed or abandoned append: forget planned changes to the current page.
  void discard(const Pending& pending);

  const LongValueMaps& maps() const { return maps_; }

 private:
  WriteSession& session_;
  LongValueMaps maps_;
  std::uint32_t current_ = 0;  // LVAL page taking single-row values (0: none yet)
  PageImage currentImage_;     // its content including planned rows
  PageImage committedImage_;   // its content as on disk
};

}  // namespace jet
