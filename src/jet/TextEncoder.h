// Text as the writing side stores it: UTF-8 in, UTF-16 or Jet's compressed Unicode out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

class TextEncoder {
 public:
  // UTF-8 to UTF-16. Returns nothing for malformed UTF-8 (overlong forms, surrogate code
  // points, truncated sequences), which a caller reports as a bad value.
  static std::optional<std::u16string> toUtf16(std::string_view utf8);
  // The same into a buffer the caller reuses; false for malformed UTF-8.
  static bool toUtf16(std::string_view utf8, std::u16string& out);

  // Stored bytes of a text or memo value. Compression (FF FE + one byte a character) is
  // used only where Access itself uses it: the column allows it, every character lies in
  // U+0001..U+00FF and the value has more than two characters (and, for memos, at most
  // 1024). Anything else is plain UTF-16LE.
  static std::vector<std::uint8_t> encode(const std::u16string& text, bool compressible,
                                          bool isMemo);
  static void encode(const std::u16string& text, bool compressible, bool isMemo,
                     std::vector<std::uint8_t>& out);

  // Characters of a Text(n) column a value occupies: UTF-16 code units, as Access counts.
  static std::size_t length(const std::u16string& text) { return text.size(); }

  // Simple case folding for catalog names (ASCII and Latin-1 letters); other characters
  // compare as they are.
  static std::u16string foldCase(const std::u16string& text);
};

}  // namespace jet
