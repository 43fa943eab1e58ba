// Rows and index entries of the catalog tables: MSysObjects (objects) and MSysACEs
// (access-control entries), encoded against the table definitions found in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IndexLeaf.h"
#include "TableDef.h"

namespace jet {

struct ObjectRow {
  std::int32_t id = 0;
  std::int32_t parentId = 0;
  std::u16string name;
  std::int16_t type = 0;
  double dateCreate = 0;
  double dateUpdate = 0;
  std::vector<std::uint8_t> owner;
  std::uint32_t flags = 0;
};

struct AceRow {
  std::int32_t objectId = 0;
  std::vector<std::uint8_t> sid;
  std::uint32_t acm = 0;
  bool inheritable = false;
};

class CatalogRows {
 public:
  // Throw jet::Error when the definitions lack the expected columns.
  static std::vector<std::uint8_t> encode(const TableDef& objects, const ObjectRow& row,
                                          const std::string& file);
  static std::vector<std::uint8_t> encode(const TableDef& aces, const AceRow& row,
                                          const std::string& file);

  // Index entries: MSysObjects by (ParentId, Name) and by Id; MSysACEs by ObjectId.
  // nameEntry returns an empty entry when the name has no known sort code.
  static IndexLeaf::Entry nameEntry(std::int32_t parentId, const std::u16string& name,
                                    std::uint32_t page, std::uint8_t row);
  static IndexLeaf::Entry idEntry(std::int32_t id, std::uint32_t page, std::uint8_t row);

  // The current time as an Access date (local time).
  static double now();
};

}  // namespace jet
