// What a jet::Database holds: the page file, the decoded header and the catalog.
// Cursors keep it alive through a shared pointer.
#pragma once

#include <memory>

#include "Catalog.h"
#include "Header.h"
#include "PageFile.h"
#include "jet/Database.h"

namespace jet {

struct Database::Impl {
  Impl(const std::string& path, Mode mode) : file(path, mode) {}
  PageFile file;
  Header header;
  Catalog catalog;

  // The definition of the user table `entry`, checked for types the engine can read.
  TableDef tableDef(const CatalogEntry& entry) const;
  TableInfo tableInfo(const CatalogEntry& entry, const TableDef& def) const;
};

}  // namespace jet
