#include "TextCodec.h"

#include "Format.h"

namespace jet {

namespace {

// Decodes UTF-16 code units one at a time, pairing surrogates across calls.
class Utf16Sink {
 public:
  explicit Utf16Sink(std::string& out) : out_(out) {}
  ~Utf16Sink() { flush(); }

  void unit(char16_t u) {
    if (u >= 0xDC00 && u <= 0xDFFF) {
      if (high_) {
        TextCodec::appendUtf8(out_, 0x10000 + ((char32_t(high_) - 0xD800) << 10) + (u - 0xDC00));
        high_ = 0;
      } else {
        TextCodec::appendUtf8(out_, 0xFFFD);
      }
      return;
    }
    flush();
    if (u >= 0xD800 && u <= 0xDBFF) {
      high_ = u;
    } else if (u < 0x80) {
      out_.push_back(static_cast<char>(u));
    } else {
      TextCodec::appendUtf8(out_, u);
    }
  }
  void flush() {
    if (high_) TextCodec::appendUtf8(out_, 0xFFFD);
    high_ = 0;
  }

 private:
  std::string& out_;
  char16_t high_ = 0;
};

}  // namespace

void TextCodec::appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void TextCodec::decodeUtf16(const std::uint8_t* data, std::size_t size, std::string& out) {
  out.reserve(out.size() + size / 2);
  Utf16Sink sink(out);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    sink.unit(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
}

void TextCodec::decode(const std::uint8_t* data, std::size_t size, std::string& out) {
  if (size < 2 || data[0] != fmt::kCompressedTextMarker0 ||
      data[1] != fmt::kCompressedTextMarker1) {
    decodeUtf16(data, size, out);
    return;
  }
  out.reserve(out.size() + size);
  Utf16Sink sink(out);
  bool compressed = true;
  std::size_t i = 2;
  while (i < size) {
    if (data[i] == 0) {  // mode switch, honoured where a character would begin
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      sink.unit(data[i]);
      ++i;
    } else if (i + 1 < size) {
      sink.unit(static_cast<char16_t>(data[i] | data[i + 1] << 8));
      i += 2;
    } else {
      break;
    }
  }
}

}  // namespace jet
