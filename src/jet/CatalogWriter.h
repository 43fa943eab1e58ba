// Registers a new table in the catalog: its MSysObjects row with both index entries,
// and its access-control entries in MSysACEs with theirs, keeping row counts and
// distinct-key counts exact.
//
// prepare() checks everything and refuses (jet::Error, nothing written) what cannot be
// done correctly: a name already taken (without regard to case), a name the catalog's
// index cannot sort, a catalog index grown beyond one page or without room, an
// unexpected catalog layout. apply() then writes, in this order: catalog data page (new
// pages first, marked used, then linked), the name index, the Id index, the MSysObjects
// row count; then the ACE rows, their index and the MSysACEs counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Catalog.h"
#include "CatalogRows.h"
#include "WriteSession.h"

namespace jet {

class CatalogWriter {
 public:
  CatalogWriter(WriteSession& session, const Catalog& catalog);

  void prepare(const std::string& name, std::uint32_t tdefPage, double date);
  void apply();

 private:
  struct IndexPlace {
    std::uint32_t leaf = 0;
    std::size_t realIndex = 0;
  };
  struct TablePlan {
    TableDef def;
    std::vector<std::vector<std::uint8_t>> rows;
  };

  // Appends `rows` to the table's data pages (new pages as needed) and returns where
  // each landed. Writes in the safe order.
  std::vector<RowPointer> placeRows(TablePlan& table);
  void writeCounts(const TableDef& def, std::uint32_t addedRows,
                   const std::vector<std::pair<std::size_t, std::uint32_t>>& addedKeys);
  IndexPlace singleLeafIndex(const TableDef& def, std::vector<std::uint16_t> columns);

  WriteSession& session_;
  const Catalog& catalog_;
  TablePlan objects_;
  TablePlan aces_;
  ObjectRow object_;
  std::vector<AceRow> aceRows_;
  IndexPlace byName_, byId_, byObject_;
  bool aceObjectIsNew_ = true;
};

}  // namespace jet
