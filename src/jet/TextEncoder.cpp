#include "TextEncoder.h"

#include "Format.h"

namespace jet {

namespace {
constexpr std::size_t kMaxCompressedMemoChars = 1024;
}

std::optional<std::u16string> TextEncoder::toUtf16(std::string_view s) {
  std::u16string out;
  if (!toUtf16(s, out)) return std::nullopt;
  return out;
}

bool TextEncoder::toUtf16(std::string_view s, std::u16string& out) {
  // No character takes more UTF-16 units than it has UTF-8 bytes.
  out.resize(s.size());
  char16_t* o = out.data();
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    std::size_t n;
    if (c < 0x80) {
      *o++ = char16_t(c);
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      n = 4;
    } else {
      return false;
    }
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = cp << 6 | (cc & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = char16_t(0xD800 + (cp >> 10));
      *o++ = char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = char16_t(cp);
    }
    i += n;
  }
  out.resize(std::size_t(o - out.data()));
  return true;
}

std::vector<std::uint8_t> TextEncoder::encode(const std::u16string& text, bool compressible,
                                              bool isMemo) {
  std::vector<std::uint8_t> out;
  encode(text, compressible, isMemo, out);
  return out;
}

void TextEncoder::encode(const std::u16string& text, bool compressible, bool isMemo,
                         std::vector<std::uint8_t>& out) {
  bool compress =
      compressible && text.size() > 2 && !(isMemo && text.size() > kMaxCompressedMemoChars);
  if (compress) {
    for (char16_t ch : text) {
      if (ch == 0 || ch > 0xFF) {
        compress = false;
        break;
      }
    }
  }
  if (compress) {
    out.resize(text.size() + 2);
    std::uint8_t* o = out.data();
    *o++ = fmt::kCompressedTextMarker0;
    *o++ = fmt::kCompressedTextMarker1;
    for (char16_t ch : text) *o++ = std::uint8_t(ch);
  } else {
    out.resize(text.size() * 2);
    std::uint8_t* o = out.data();
    for (char16_t ch : text) {
      *o++ = std::uint8_t(ch);
      *o++ = std::uint8_t(ch >> 8);
    }
  }
}

std::u16string TextEncoder::foldCase(const std::u16string& text) {
  std::u16string out = text;
  for (char16_t& ch : out) {
    if ((ch >= u'A' && ch <= u'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7)) ch += 0x20;
  }
  return out;
}

}  // namespace jet
