// What the engine tells about a table: its columns (in column order) and indexes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

// Column types with their stored type codes.
enum class ColumnType : std::uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,  // 16-bit
  Long = 0x04,     // 32-bit
  Currency = 0x05,
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  Ole = 0x0B,
  Memo = 0x0C,
  Guid = 0x0F,     // Replication ID
  Decimal = 0x10,  // Numeric
  Complex = 0x11,  // Access-private data of system tables
};

// Access's name of a type ("Text", "Long Integer", "Replication ID", ...).
const char* typeName(ColumnType type);

struct ColumnInfo {
  std::string name;
  ColumnType type = ColumnType::Text;
  int size = 0;            // bytes as stored: Text(50) is 100; memo, OLE and boolean 0
  int order = 0;           // position in the table, from 0
  int number = 0;          // stored column number (gaps where columns were deleted)
  std::uint8_t flags = 0;  // stored flags, see the predicates below
  int precision = 0;       // Decimal only
  int scale = 0;           // Decimal only
  bool fixedLength = false;
  bool autoNumber = false;         // Long AutoNumber or GUID AutoNumber
  bool compressedUnicode = false;  // Unicode compression allowed (text, memo)
  bool hyperlink = false;          // memo shown as a hyperlink
  bool required = false;           // Access's "Required" property (NOT NULL); always for booleans
  // Characters for text columns (size / 2), 0 otherwise.
  int maxChars() const { return type == ColumnType::Text ? size / 2 : 0; }
};

struct IndexInfo {
  std::string name;
  std::vector<std::string> columns;  // names; a deleted column shows as "#<number>"
  std::vector<bool> ascending;
  bool primaryKey = false;
  bool foreignKey = false;
  bool unique = false;
  bool ignoreNulls = false;
  bool required = false;
};

struct TableInfo {
  std::string name;
  std::uint32_t id = 0;        // catalog Id = first page of the table definition
  std::uint32_t rowCount = 0;  // as stored in the table definition
  std::vector<ColumnInfo> columns;
  std::vector<IndexInfo> indexes;

  // The column called `name` (case-insensitive), or null.
  const ColumnInfo* column(const std::string& name) const;
};

}  // namespace jet
