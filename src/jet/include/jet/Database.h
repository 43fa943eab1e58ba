// An Access 2000-2003 (Jet 4) database file.
//
//   jet::Database db = jet::Database::open("Item.mdb");
//   for (const std::string& name : db.tableNames()) { ... }
//   jet::TableReader rows = db.read("Item");
//   std::vector<jet::Value> row;
//   while (rows.next(row)) { ... }
//
// Opening refuses, with a jet::Error naming the file and the reason, every file the
// engine cannot read correctly: not an Access file, Access 97, Access 2007+, a
// database with a password or encryption, a damaged catalog.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/OpenMode.h"
#include "jet/TableInfo.h"
#include "jet/TableReader.h"

namespace jet {

class Database {
 public:
  static Database open(const std::string& path, Mode mode = Mode::ReadOnly);

  Database(Database&&) noexcept;
  Database& operator=(Database&&) noexcept;
  ~Database();

  const std::string& path() const;
  Mode mode() const;

  // The user tables (system and hidden tables left out), in catalog order.
  std::vector<std::string> tableNames() const;
  bool hasTable(const std::string& name) const;  // case-insensitive
  // Everything a person made in the file: user tables, queries, linked tables, forms,
  // reports, macros and modules (system and hidden objects left out), in catalog order.
  std::vector<std::string> userObjectNames() const;

  // The table called `name` (case-insensitive); throws jet::Error when there is none.
  TableInfo table(const std::string& name) const;

  // A forward cursor over the table's rows.
  TableReader read(const std::string& name) const;

  // Engine internals (page file, header, catalog) for the other parts of jet/.
  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  explicit Database(std::shared_ptr<Impl> impl);
  std::shared_ptr<Impl> impl_;
};

}  // namespace jet
