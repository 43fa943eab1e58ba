#include "SystemTables.h"

#include "Format.h"
#include "TableDefWriter.h"

namespace jet {

namespace {

// Column flags Jet gives system columns: fixed 0x13, variable 0x12, SIDs 0x32.
constexpr std::uint8_t kSysFixed = 0x13;
constexpr std::uint8_t kSysVariable = 0x12;
constexpr std::uint8_t kSysSid = 0x32;
constexpr std::uint16_t kTextBytes = 510;
constexpr std::uint8_t kIndexPrimary = 0x81;  // unique, Access 2000+ bit
constexpr std::uint8_t kIndexIgnoreNulls = 0x82;
constexpr std::uint8_t kIndexRequired = 0x88;

ColumnDef column(const char* name, std::uint8_t type, std::uint8_t flags, std::uint16_t length) {
  ColumnDef c;
  c.name = name;
  c.type = type;
  c.flags = flags;
  c.length = length;
  return c;
}

TableDef table(std::vector<ColumnDef> columns, RowPointer owned, RowPointer free) {
  TableDef def;
  def.tableType = fmt::kTableTypeSystem;
  def.columns = std::move(columns);
  def.ownedMap = owned;
  def.freeMap = free;
  TableDefWriter::assignPositions(def);
  return def;
}

RealIndexDef index(std::vector<std::uint16_t> columns, std::uint8_t mapRow, std::uint32_t root,
                   std::uint8_t flags) {
  RealIndexDef ri;
  for (auto c : columns) ri.keys.push_back({c, true});
  ri.usageMap = {SystemTables::kMapPage, mapRow};
  ri.rootPage = root;
  ri.flags = flags;
  return ri;
}

LogicalIndexDef logical(const char* name, std::uint32_t number, std::uint8_t kind) {
  LogicalIndexDef li;
  li.name = name;
  li.number = number;
  li.realIndex = number;
  li.kind = kind;
  return li;
}

RowPointer mapRow(std::uint8_t row) {
  return {SystemTables::kMapPage, row};
}

}  // namespace

TableDef SystemTables::objects() {
  using fmt::kTypeBinary, fmt::kTypeDateTime, fmt::kTypeInteger, fmt::kTypeLong, fmt::kTypeMemo,
      fmt::kTypeOle, fmt::kTypeText;
  TableDef def = table(
      {column("Id", kTypeLong, kSysFixed, 4), column("ParentId", kTypeLong, kSysFixed, 4),
       column("Name", kTypeText, kSysVariable, kTextBytes),
       column("Type", kTypeInteger, kSysFixed, 2),
       column("DateCreate", kTypeDateTime, kSysFixed, 8),
       column("DateUpdate", kTypeDateTime, kSysFixed, 8),
       column("Owner", kTypeBinary, kSysSid, kTextBytes), column("Flags", kTypeLong, kSysFixed, 4),
       column("Database", kTypeMemo, kSysVariable, 0),
       column("Connect", kTypeMemo, kSysVariable, 0),
       column("ForeignName", kTypeText, kSysVariable, kTextBytes),
       column("RmtInfoShort", kTypeBinary, kSysVariable, kTextBytes),
       column("RmtInfoLong", kTypeOle, kSysVariable, 0), column("Lv", kTypeOle, kSysVariable, 0),
       column("LvProp", kTypeOle, kSysVariable, 0), column("LvModule", kTypeOle, kSysVariable, 0),
       column("LvExtra", kTypeOle, kSysVariable, 0)},
      mapRow(0), mapRow(1));
  def.realIndexes = {
      index({Objects::kParentId, Objects::kName}, 16, kObjectsByNameLeaf, kIndexPrimary),
      index({Objects::kId}, 17, kObjectsByIdLeaf, kIndexPrimary)};
  def.logicalIndexes = {logical("Id", 1, 1), logical("ParentIdName", 0, 0)};
  // Long-value maps: rows 2..15 in column order, listed in name order.
  const std::pair<std::uint16_t, std::uint8_t> lv[] = {{9, 4},   {8, 2},   {13, 8}, {16, 14},
                                                       {15, 12}, {14, 10}, {12, 6}};
  for (auto [col, row] : lv) def.longValueMaps.push_back({col, mapRow(row), mapRow(row + 1)});
  return def;
}

TableDef SystemTables::aces() {
  TableDef def = table({column("ObjectId", fmt::kTypeLong, kSysFixed, 4),
                        column("SID", fmt::kTypeBinary, kSysSid, kTextBytes),
                        column("ACM", fmt::kTypeLong, kSysFixed, 4),
                        column("FInheritable", fmt::kTypeBoolean, kSysFixed, 1)},
                       mapRow(18), mapRow(19));
  def.realIndexes = {index({Aces::kObjectId}, 20, kAcesLeaf, kIndexRequired)};
  def.logicalIndexes = {logical("ObjectId", 0, 0)};
  return def;
}

TableDef SystemTables::queries() {
  TableDef def = table({column("ObjectId", fmt::kTypeLong, kSysFixed, 4),
                        column("Attribute", fmt::kTypeByte, kSysFixed, 1),
                        column("Order", fmt::kTypeBinary, kSysVariable, kTextBytes),
                        column("Name1", fmt::kTypeText, kSysVariable, kTextBytes),
                        column("Name2", fmt::kTypeText, kSysVariable, kTextBytes),
                        column("Expression", fmt::kTypeMemo, kSysVariable, 0),
                        column("Flag", fmt::kTypeInteger, kSysFixed, 2),
                        column("LvExtra", fmt::kTypeLong, kSysFixed, 4)},
                       mapRow(21), mapRow(22));
  def.realIndexes = {index({0, 1, 2}, 25, kQueriesLeaf, kIndexPrimary)};
  def.logicalIndexes = {logical("ObjectIdAttribute", 0, 1)};
  def.longValueMaps = {{5, mapRow(23), mapRow(24)}};
  return def;
}

TableDef SystemTables::relationships() {
  using fmt::kTypeLong, fmt::kTypeText;
  TableDef def =
      table({column("szRelationship", kTypeText, kSysVariable, kTextBytes),
             column("grbit", kTypeLong, kSysFixed, 4), column("ccolumn", kTypeLong, kSysFixed, 4),
             column("icolumn", kTypeLong, kSysFixed, 4),
             column("szObject", kTypeText, kSysVariable, kTextBytes),
             column("szColumn", kTypeText, kSysVariable, kTextBytes),
             column("szReferencedObject", kTypeText, kSysVariable, kTextBytes),
             column("szReferencedColumn", kTypeText, kSysVariable, kTextBytes)},
            mapRow(26), mapRow(27));
  def.realIndexes = {index({0}, 28, kRelationshipsLeaves[0], kIndexIgnoreNulls),
                     index({4}, 29, kRelationshipsLeaves[1], kIndexIgnoreNulls),
                     index({6}, 30, kRelationshipsLeaves[2], kIndexIgnoreNulls)};
  def.logicalIndexes = {logical("szObject", 1, 0), logical("szReferencedObject", 2, 0),
                        logical("szRelationship", 0, 0)};
  return def;
}

std::vector<std::vector<std::uint32_t>> SystemTables::mapRows() {
  std::vector<std::vector<std::uint32_t>> rows(31);
  rows[0] = rows[1] = {kObjectsData};
  rows[16] = {kObjectsByNameLeaf};
  rows[17] = {kObjectsByIdLeaf};
  rows[18] = rows[19] = {kAcesData};
  rows[20] = {kAcesLeaf};
  rows[25] = {kQueriesLeaf};
  rows[28] = {kRelationshipsLeaves[0]};
  rows[29] = {kRelationshipsLeaves[1]};
  rows[30] = {kRelationshipsLeaves[2]};
  return rows;
}

}  // namespace jet
