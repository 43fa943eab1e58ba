// The four system tables of a new Jet 4 database (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships): their columns, indexes and the places of their usage maps and
// index roots, laid out as the Jet engine lays out a database it creates.
#pragma once

#include <cstdint>
#include <vector>

#include "TableDef.h"

namespace jet {

class SystemTables {
 public:
  // Page roles in a new database.
  static constexpr std::uint32_t kObjectsTdef = 2;
  static constexpr std::uint32_t kAcesTdef = 3;
  static constexpr std::uint32_t kQueriesTdef = 4;
  static constexpr std::uint32_t kRelationshipsTdef = 5;
  static constexpr std::uint32_t kMapPage = 6;
  static constexpr std::uint32_t kObjectsByNameLeaf = 7;
  static constexpr std::uint32_t kObjectsByIdLeaf = 8;
  static constexpr std::uint32_t kAcesLeaf = 9;
  static constexpr std::uint32_t kQueriesLeaf = 10;
  static constexpr std::uint32_t kRelationshipsLeaves[3] = {11, 12, 13};
  static constexpr std::uint32_t kObjectsData = 14;
  static constexpr std::uint32_t kAcesData = 15;
  static constexpr std::uint32_t kPageCount = 16;

  static TableDef objects();
  static TableDef aces();
  static TableDef queries();
  static TableDef relationships();

  // The map rows of page 6, in row order: the pages each map lists.
  static std::vector<std::vector<std::uint32_t>> mapRows();

  // Column numbers of MSysObjects and MSysACEs the writer fills.
  struct Objects {
    static constexpr std::uint16_t kId = 0, kParentId = 1, kName = 2, kType = 3, kDateCreate = 4,
                                   kDateUpdate = 5, kOwner = 6, kFlags = 7;
  };
  struct Aces {
    static constexpr std::uint16_t kObjectId = 0, kSid = 1, kAcm = 2, kInheritable = 3;
  };
};

}  // namespace jet
