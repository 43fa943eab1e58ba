// The one exception type of the Access engine. Its message is the text the operator
// sees: it names the file and, for a damaged file, the page number.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace jet {

class Error : public std::runtime_error {
 public:
  // "<file>: <reason>", e.g. "C:/x/Item.mdb: not an Access database".
  Error(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason), file_(file), reason_(reason) {}

  // "<file>: page <n> is damaged (<what>)".
  static Error damaged(const std::string& file, std::uint32_t page, const std::string& what) {
    Error e(file, "page " + std::to_string(page) + " is damaged (" + what + ")");
    e.page_ = page;
    return e;
  }

  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }
  // The damaged page, when the error is about one.
  std::optional<std::uint32_t> page() const { return page_; }

 private:
  std::string file_;
  std::string reason_;
  std::optional<std::uint32_t> page_;
};

}  // namespace jet
