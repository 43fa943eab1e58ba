// The system catalog (MSysObjects, whose definition is always on page 2): every
// object of the database with its Id, parent, name, type and flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PageFile.h"
#include "TableDef.h"
#include "jet/Value.h"

namespace jet {

struct CatalogEntry {
  std::int32_t id = 0;
  std::int32_t parentId = 0;
  std::string name;
  std::int16_t type = 0;
  std::uint32_t flags = 0;
  RowPointer location;  // where the catalog row lives (page, row)

  bool isUserTable() const;
};

class Catalog {
 public:
  static Catalog read(const PageFile& file);

  const std::vector<CatalogEntry>& entries() const { return entries_; }
  const TableDef& definition() const { return def_; }

  // User tables in catalog order.
  std::vector<const CatalogEntry*> userTables() const;
  // The user table called `name`, compared without regard to case; null if none.
  const CatalogEntry* findUserTable(const std::string& name) const;

  // The LvProp blob (object and column properties) of `entry`; empty when it has none.
  Bytes properties(const PageFile& file, const CatalogEntry& entry) const;

  // Case-insensitive comparison of object names (ASCII and Latin-1 letters).
  static bool sameName(const std::string& a, const std::string& b);

 private:
  TableDef def_;
  int propertiesColumn_ = -1;  // LvProp, when the catalog has it
  std::vector<CatalogEntry> entries_;
};

}  // namespace jet
