// Index entry keys in Jet 4's General sort order: the bytes an index leaf holds for a
// column value. Keys compare as unsigned byte strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

class IndexKey {
 public:
  // Ascending Long column: 7F + big-endian value with the sign bit flipped.
  static void appendLong(std::vector<std::uint8_t>& key, std::int32_t value);

  // Ascending Text column: 7F + the sort codes of the text. Returns false, leaving `key`
  // unchanged, for a character whose code is not known (anything beyond Latin-1, and the
  // Latin-1 letters that sort as two letters, such as German sharp s): such a key cannot
  // be computed reliably, so the caller must refuse rather than guess.
  static bool appendText(std::vector<std::uint8_t>& key, const std::u16string& text);

  // Index row id: page (3 bytes, big-endian) then row.
  static void appendRowId(std::vector<std::uint8_t>& key, std::uint32_t page, std::uint8_t row);

  // True when every character of `text` has a known sort code.
  static bool canEncode(const std::u16string& text);
};

}  // namespace jet
