// Object and column properties that Access keeps in the catalog row's LvProp blob
// ("MR2\0" + blocks): Required, Description, Format, ... The engine reads the few it
// reports (Required); the others stay available by name.
#pragma once

#include <map>
#include <string>

#include "ByteView.h"
#include "jet/Value.h"

namespace jet {

class Properties {
 public:
  using Set = std::map<std::string, Value>;  // property name -> value

  // Parses a blob; throws the damage error when it is malformed.
  static Properties parse(const ByteView& blob);

  // Properties of the object itself (the table).
  const Set& object() const { return object_; }
  // Properties of column `name`; empty when there are none.
  const Set& column(const std::string& name) const;

 private:
  Set object_;
  std::map<std::string, Set> columns_;
};

}  // namespace jet
