#include "IndexKey.h"

#include <array>

#include "Format.h"

namespace jet {

namespace {

// How a character enters a text key (see the format guide's appendix on text codes).
enum class Kind : std::uint8_t { Unknown, Ignored, Simple, Extra, Unprintable };

struct CharCode {
  Kind kind = Kind::Unknown;
  std::uint8_t code[2] = {0, 0};  // inline code bytes (Simple/Extra) or the code (Unprintable)
  std::uint8_t codeLength = 0;
  std::uint8_t extra = 0;  // Extra only
};

CharCode simple(std::uint8_t a) {
  return {Kind::Simple, {a, 0}, 1, 0};
}
CharCode simple2(std::uint8_t a, std::uint8_t b) {
  return {Kind::Simple, {a, b}, 2, 0};
}
CharCode withExtra(std::uint8_t a, std::uint8_t e) {
  return {Kind::Extra, {a, 0}, 1, e};
}
CharCode unprintable(std::uint8_t c) {
  return {Kind::Unprintable, {c, 0}, 1, 0};
}

std::array<CharCode, 256> buildLatin1() {
  std::array<CharCode, 256> t{};
  t[0] = {Kind::Ignored, {0, 0}, 0, 0};
  for (int c = 0x01; c <= 0x08; ++c) t[c] = unprintable(std::uint8_t(0x03 + (c - 0x01)));
  for (int c = 0x09; c <= 0x0D; ++c) t[c] = simple2(0x08, std::uint8_t(0x03 + (c - 0x09)));
  for (int c = 0x0E; c <= 0x1F; ++c) t[c] = unprintable(std::uint8_t(0x0B + (c - 0x0E)));
  t[0x7F] = unprintable(0x1D);
  for (int c = 0x80; c <= 0x9F; ++c) t[c] = unprintable(std::uint8_t(0x1E + (c - 0x80)));
  t[0xAD] = unprintable(0x83);

  const std::pair<char, std::uint8_t> punct[] = {
      {' ', 0x07}, {'!', 0x09}, {'"', 0x0A}, {'#', 0x0C}, {'$', 0x0E},  {'%', 0x10},
      {'&', 0x12}, {'(', 0x14}, {')', 0x16}, {'*', 0x18}, {'+', 0x2C},  {',', 0x1A},
      {'.', 0x1C}, {'/', 0x1E}, {':', 0x20}, {';', 0x22}, {'<', 0x2E},  {'=', 0x30},
      {'>', 0x32}, {'?', 0x24}, {'@', 0x26}, {'[', 0x27}, {'\\', 0x29}, {']', 0x2A}};
  for (auto [ch, code] : punct) t[std::uint8_t(ch)] = simple(code);
  t['\''] = unprintable(0x80);
  t['-'] = unprintable(0x82);
  t['^'] = simple2(0x2B, 0x02);
  t['_'] = simple2(0x2B, 0x03);
  t['`'] = simple2(0x2B, 0x07);
  t['{'] = simple2(0x2B, 0x09);
  t['|'] = simple2(0x2B, 0x0B);
  t['}'] = simple2(0x2B, 0x0D);
  t['~'] = simple2(0x2B, 0x0F);
  for (int d = 0; d <= 9; ++d) t['0' + d] = simple(std::uint8_t(0x36 + 2 * d));
  const std::uint8_t letters[26] = {0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59,
                                    0x5B, 0x5C, 0x5E, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                    0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
  for (int i = 0; i < 26; ++i) {
    t['A' + i] = simple(letters[i]);
    t['a' + i] = simple(letters[i]);
  }

  t[0xA0] = simple2(0x08, 0x02);
  t[0xA1] = simple2(0x2B, 0x10);
  for (int c = 0xA2; c <= 0xA5; ++c) t[c] = simple2(0x34, std::uint8_t(0xA6 + (c - 0xA2)));
  t[0xA6] = simple2(0x2B, 0x11);
  t[0xA7] = simple2(0x34, 0xAA);
  t[0xA8] = simple2(0x2B, 0x12);
  t[0xA9] = simple2(0x34, 0xAB);
  t[0xAA] = withExtra(0x4A, 0x03);
  t[0xAB] = simple2(0x33, 0x05);
  t[0xAC] = simple2(0x34, 0xAC);
  t[0xAE] = simple2(0x34, 0xAD);
  t[0xAF] = simple2(0x2B, 0x13);
  t[0xB0] = simple2(0x34, 0xAE);
  t[0xB1] = simple2(0x33, 0x04);
  t[0xB2] = simple(0x3A);
  t[0xB3] = simple(0x3C);
  t[0xB4] = simple2(0x2B, 0x14);
  for (int c = 0xB5; c <= 0xB7; ++c) t[c] = simple2(0x34, std::uint8_t(0xAF + (c - 0xB5)));
  t[0xB8] = simple2(0x2B, 0x15);
  t[0xB9] = simple(0x38);
  t[0xBA] = withExtra(0x64, 0x03);
  t[0xBB] = simple2(0x33, 0x07);
  t[0xBC] = simple2(0x37, 0x12);
  t[0xBD] = simple2(0x37, 0x16);
  t[0xBE] = simple2(0x37, 0x1A);
  t[0xBF] = simple2(0x2B, 0x16);
  t[0xD7] = simple2(0x33, 0x09);
  t[0xF7] = simple2(0x33, 0x0A);
  // Accented capitals and their small letters share codes. Æ, Þ and ß sort as two
  // letters; how they count for the extra bytes is not known, so they stay Unknown.
  const std::pair<int, CharCode> accented[] = {
      {0xC0, withExtra(0x4A, 0x0F)}, {0xC1, withExtra(0x4A, 0x0E)}, {0xC2, withExtra(0x4A, 0x12)},
      {0xC3, withExtra(0x4A, 0x19)}, {0xC4, withExtra(0x4A, 0x13)}, {0xC5, withExtra(0x4A, 0x1A)},
      {0xC7, withExtra(0x4D, 0x1C)}, {0xC8, withExtra(0x51, 0x0F)}, {0xC9, withExtra(0x51, 0x0E)},
      {0xCA, withExtra(0x51, 0x12)}, {0xCB, withExtra(0x51, 0x13)}, {0xCC, withExtra(0x59, 0x0F)},
      {0xCD, withExtra(0x59, 0x0E)}, {0xCE, withExtra(0x59, 0x12)}, {0xCF, withExtra(0x59, 0x13)},
      {0xD0, withExtra(0x4F, 0x68)}, {0xD1, withExtra(0x62, 0x19)}, {0xD2, withExtra(0x64, 0x0F)},
      {0xD3, withExtra(0x64, 0x0E)}, {0xD4, withExtra(0x64, 0x12)}, {0xD5, withExtra(0x64, 0x19)},
      {0xD6, withExtra(0x64, 0x13)}, {0xD8, withExtra(0x64, 0x21)}, {0xD9, withExtra(0x6F, 0x0F)},
      {0xDA, withExtra(0x6F, 0x0E)}, {0xDB, withExtra(0x6F, 0x12)}, {0xDC, withExtra(0x6F, 0x13)},
      {0xDD, withExtra(0x76, 0x0E)}};
  for (const auto& [c, code] : accented) {
    t[c] = code;
    t[c + 0x20] = code;
  }
  t[0xFF] = withExtra(0x76, 0x13);
  return t;
}

const std::array<CharCode, 256>& latin1() {
  static const std::array<CharCode, 256> table = buildLatin1();
  return table;
}

const CharCode* codeOf(char16_t ch) {
  if (ch > 0xFF) return nullptr;
  const CharCode& c = latin1()[ch];
  return c.kind == Kind::Unknown ? nullptr : &c;
}

constexpr std::uint8_t kAscendingFlag = 0x7F;
constexpr std::uint8_t kTextEnd = 0x01;
constexpr std::uint8_t kExtraPlaceholder = 0x02;
constexpr std::uint8_t kUnprintableMarker = 0x01;
constexpr std::uint8_t kUnprintableSeparator = 0x06;
constexpr std::uint8_t kTextTerminator = 0x00;

}  // namespace

void IndexKey::appendLong(std::vector<std::uint8_t>& key, std::int32_t value) {
  const std::uint32_t v = static_cast<std::uint32_t>(value) ^ 0x80000000u;
  key.push_back(kAscendingFlag);
  for (int shift = 24; shift >= 0; shift -= 8) key.push_back(std::uint8_t(v >> shift));
}

bool IndexKey::canEncode(const std::u16string& text) {
  for (char16_t ch : text)
    if (!codeOf(ch)) return false;
  return true;
}

bool IndexKey::appendText(std::vector<std::uint8_t>& key, const std::u16string& text) {
  if (!canEncode(text)) return false;
  std::vector<std::uint8_t> inlineCodes;
  std::vector<std::uint8_t> extras;
  std::vector<std::uint8_t> unprintables;
  unsigned inlineCount = 0;
  for (char16_t ch : text) {
    const CharCode& c = *codeOf(ch);
    switch (c.kind) {
      case Kind::Simple:
      case Kind::Extra:
        inlineCodes.insert(inlineCodes.end(), c.code, c.code + c.codeLength);
        extras.push_back(c.kind == Kind::Extra ? c.extra : kExtraPlaceholder);
        ++inlineCount;
        break;
      case Kind::Unprintable: {
        const std::uint16_t position = std::uint16_t(0x8000 | (7 + 4 * inlineCount));
        unprintables.push_back(std::uint8_t(position >> 8));
        unprintables.push_back(std::uint8_t(position));
        unprintables.push_back(kUnprintableSeparator);
        unprintables.push_back(c.code[0]);
        break;
      }
      default:
        break;
    }
  }
  while (!extras.empty() && extras.back() <= kExtraPlaceholder) extras.pop_back();
  key.push_back(kAscendingFlag);
  key.insert(key.end(), inlineCodes.begin(), inlineCodes.end());
  key.push_back(kTextEnd);
  key.insert(key.end(), extras.begin(), extras.end());
  if (!unprintables.empty()) {
    key.insert(key.end(), {kUnprintableMarker, kUnprintableMarker, kUnprintableMarker});
    key.insert(key.end(), unprintables.begin(), unprintables.end());
  }
  key.push_back(kTextTerminator);
  return true;
}

void IndexKey::appendRowId(std::vector<std::uint8_t>& key, std::uint32_t page, std::uint8_t row) {
  key.push_back(std::uint8_t(page >> 16));
  key.push_back(std::uint8_t(page >> 8));
  key.push_back(std::uint8_t(page));
  key.push_back(row);
}

}  // namespace jet
