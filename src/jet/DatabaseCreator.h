// Creates a new, empty Jet 4 database from nothing: the header, the global page map and
// the four system tables with their catalog rows, access-control entries, usage maps and
// index leaves, page for page as the Jet engine lays out a database it creates.
//
// The few values nobody has decoded (the header's creation date, the field at 0x6A, the
// password mask derived from the date, and the security IDs that belong to them) are
// one consistent set copied from a database Jet created; they must never be mixed with
// another file's or changed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "PageImage.h"

namespace jet {

class DatabaseCreator {
 public:
  // Writes the database to `path`, which must not exist. The file is built under a
  // temporary name, flushed and then moved into place, so `path` either does not exist
  // or holds a complete database. `catalogDate` (an Access date) stamps the system
  // rows; default: now.
  static void create(const std::string& path, std::optional<double> catalogDate = {});

  // The pages of a new database (for the structural tests).
  static std::vector<PageImage> pages(double catalogDate);

  // Security IDs of the set used for new databases.
  static const std::vector<std::uint8_t>& engineSid();
  static const std::vector<std::uint8_t>& adminSid();
};

}  // namespace jet
