// A forward cursor over the rows of one table.
#pragma once

#include <memory>
#include <vector>

#include "jet/TableInfo.h"
#include "jet/Value.h"

namespace jet {

class TableReader {
 public:
  TableReader(TableReader&&) noexcept;
  TableReader& operator=(TableReader&&) noexcept;
  ~TableReader();

  const TableInfo& info() const;

  // Reads the next row into `row` (one value per column, in column order); false at
  // the end. Throws jet::Error when the file is damaged.
  bool next(std::vector<Value>& row);

  struct State;

 private:
  friend class Database;
  explicit TableReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace jet
