// Appends rows to one table. Each append either completes or, for a value that does not
// fit its column, is refused before anything is written.
//
// Rows that fit the table's current data page are kept in its image and reach the file
// with the page: when a row needs a new page, at flush() and at the writer's end. One
// page write then carries a page's worth of rows rather than one.
//
// Write order of one append that needs pages (every prefix leaves a consistent file):
// the current data page with its rows not yet written; new pages with their content
// (long-value pages, a new data page already holding the row); an existing long-value
// page receiving a value; the global map marking new pages used; the column maps linking
// new long-value pages; the table's maps linking a new data page; last the row count. A
// flush writes the current data page, then the row count. A stop before a row count
// leaves the rows in place and the count short, which readers tolerate; the next writer
// of the table sets the count right when it opens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LongValueWriter.h"
#include "RowEncoder.h"
#include "TableDef.h"
#include "WriteSession.h"
#include "jet/Value.h"

namespace jet {

class TableWriter {
 public:
  // Refuses (jet::Error) tables it cannot append to correctly: tables with indexes,
  // AutoNumber, fixed-length text, Decimal, GUID or Access-private columns, damaged maps.
  TableWriter(WriteSession& session, std::string tableName, TableDef def);

  const TableDef& definition() const { return def_; }
  // `row` holds one value per live column, in column order.
  void append(const std::vector<Value>& row);
  std::uint64_t appended() const { return appended_; }
  // Writes the rows kept in the current data page, then the row count (no fsync); after
  // a failed append too, so that the rows appended before it are kept.
  void flush();

 private:
  struct Cell {
    std::vector<std::uint8_t> bytes;  // stored bytes (text, binary, long-value data)
    bool present = false;
    bool inlineLongValue = false;
  };

  void convert(const ColumnDef& column, const Value& value, Cell& cell, std::size_t index);
  [[noreturn]] void refuse(const ColumnDef& column, const std::string& why) const;
  void findCurrentPage();

  WriteSession& session_;
  std::string name_;
  TableDef def_;
  RowEncoder encoder_;
  std::vector<LongValueWriter> longValues_;  // one per memo/OLE column
  std::vector<int> longValueOf_;             // column index -> longValues_ index or -1
  std::vector<Cell> cells_;
  std::u16string text_;          // conversion buffer, reused row after row
  std::uint32_t current_ = 0;    // data page taking rows (0: none yet)
  std::uint32_t unwritten_ = 0;  // rows in current_'s image not yet in the file
  std::uint64_t appended_ = 0;
  bool broken_ = false;
};

}  // namespace jet
