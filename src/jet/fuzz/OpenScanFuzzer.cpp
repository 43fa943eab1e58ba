// libFuzzer target: open arbitrary bytes as a database and read every table. Any
// outcome but a clean read or a jet::Error is a finding (the sanitizers report the rest).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "jet/Database.h"
#include "jet/Error.h"
#include "jet/ValueText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The engine reads files: hand it an in-memory one.
  static const int fd = ::memfd_create("fuzz.mdb", 0);
  if (fd < 0) std::abort();
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (::ftruncate(fd, 0) != 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  try {
    const jet::Database db = jet::Database::open(path);
    for (const std::string& name : db.tableNames()) {
      jet::TableReader reader = db.read(name);
      std::vector<jet::Value> row;
      std::string text;
      while (reader.next(row)) {
        for (const jet::Value& v : row) jet::ValueText::append(text, v);
        text.clear();
      }
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
