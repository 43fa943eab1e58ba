// Text as Jet stores it: UTF-16LE, or "compressed Unicode" (FF FE, then one byte per
// character with a single 00 byte switching between one-byte and UTF-16LE runs).
// Text leaves the engine as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet {

class TextCodec {
 public:
  // Appends the UTF-8 form of stored text: compressed when it starts with FF FE
  // (whatever the column's flag says), UTF-16LE otherwise. A lone surrogate becomes
  // U+FFFD; a trailing odd byte is ignored.
  static void decode(const std::uint8_t* data, std::size_t size, std::string& out);
  static std::string decode(const std::uint8_t* data, std::size_t size) {
    std::string s;
    decode(data, size, s);
    return s;
  }

  // Appends the UTF-8 form of UTF-16LE bytes.
  static void decodeUtf16(const std::uint8_t* data, std::size_t size, std::string& out);

  static void appendUtf8(std::string& out, char32_t cp);
};

}  // namespace jet
