// Helpers for tests: fixture paths and scratch copies of fixtures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "jet/Database.h"
#include "jet/TableReader.h"

namespace jet::testing {

inline std::string fixture(const std::string& name) {
  return std::string(DATACONV_SHARED_DIR) + "/fixtures/jet4/" + name;
}

inline std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    path_ = std::filesystem::temp_directory_path() /
            ("dataconv-" + tag + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Every row of `table`, in the order a forward scan gives them.
inline std::vector<std::vector<Value>> readAll(const std::string& path, const std::string& table) {
  const Database db = Database::open(path);
  TableReader reader = db.read(table);
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (reader.next(row)) rows.push_back(row);
  return rows;
}

}  // namespace jet::testing
