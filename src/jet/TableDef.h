// A table definition (tdef): columns, indexes and usage-map pointers, parsed from the
// byte string spread over the tdef's page chain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DataPage.h"
#include "PageFile.h"

namespace jet {

struct ColumnDef {
  std::string name;
  std::uint8_t type = 0;
  std::uint16_t number = 0;   // null-mask bit; deleted columns keep theirs
  std::uint16_t varSlot = 0;  // variable-length columns
  std::uint16_t fixedOffset = 0;
  std::uint16_t length = 0;  // bytes (text: 2 x characters; memo/OLE/boolean 0 or 1)
  std::uint8_t flags = 0;
  std::uint8_t extraFlags = 0;
  std::uint8_t precision = 0;  // numeric
  std::uint8_t scale = 0;      // numeric
  bool isFixed() const { return (flags & fmt::kColFlagFixed) != 0; }
};

struct RealIndexDef {
  struct Key {
    std::uint16_t column = 0;  // column number
    bool ascending = true;
  };
  std::vector<Key> keys;
  RowPointer usageMap;
  std::uint32_t rootPage = 0;
  std::uint8_t flags = 0;  // 0x01 unique, 0x02 ignore nulls, 0x08 required
  std::uint32_t distinctKeys = 0;
};

struct LogicalIndexDef {
  std::string name;
  std::uint32_t number = 0;
  std::uint32_t realIndex = 0;
  std::uint8_t kind = 0;  // 0 plain, 1 primary key, 2 foreign key
};

struct LongValueMaps {
  std::uint16_t column = 0;
  RowPointer owned;
  RowPointer free;
};

class TableDef {
 public:
  // Reads the tdef starting at `page`; throws the damage error of the offending page.
  static TableDef read(const PageFile& file, std::uint32_t page);

  // Parses an assembled tdef byte string (for tests and the reader above).
  static TableDef parse(const ByteView& bytes, std::uint32_t firstPage);

  std::uint32_t page = 0;  // first tdef page (= the table's catalog Id)
  std::uint32_t length = 0;
  std::uint32_t rowCount = 0;
  std::uint32_t autonumber = 0;
  std::uint8_t tableType = 0;
  std::uint16_t maxColumns = 0;
  std::uint16_t varColumns = 0;
  RowPointer ownedMap;
  RowPointer freeMap;
  std::vector<ColumnDef> columns;  // live columns, by column number
  std::vector<RealIndexDef> realIndexes;
  std::vector<LogicalIndexDef> logicalIndexes;
  std::vector<LongValueMaps> longValueMaps;
  std::vector<std::uint32_t> pages;  // the tdef's page chain
  // The assembled byte string (page headers of continuation pages left out).
  std::vector<std::uint8_t> bytes;
};

}  // namespace jet
