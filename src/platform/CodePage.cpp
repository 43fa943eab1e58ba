// Big5 conversion through ICU's "windows-950-2000" table, which is Windows code page
// 950 itself: the Euro sign at 0xA3E1, the ETEN extensions 0xF9D6-0xF9FE (seven
// hanzi and the box drawing set), the user-defined rows mapped to the private use
// area as Windows maps them, 0x80 and 0xFF as single bytes, and U+2550/U+255E/
// U+256A/U+2561 written as 0xF9F9/0xF9E9/0xF9EA/0xF9EB.
//
// Why ICU and not QStringDecoder("Big5"): Qt reaches the same table only when it is
// built with ICU, and its stateless decoding silently drops a lead byte at the end of
// the input (the half of a character that a cut or a damaged file leaves behind).
// glibc's iconv "CP950" lacks the user-defined rows. Converters are opened once per
// thread: the conversion runs per field for every row.
#include "platform/CodePage.h"

#include <unicode/ucnv.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

UConverter* big5Converter() {
  thread_local std::unique_ptr<UConverter, ConverterCloser> converter = [] {
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> c(ucnv_open("windows-950-2000", &err));
    if (U_FAILURE(err) || !c) throw std::runtime_error("ICU has no code page 950 table");
    // Unmappable characters become '?', one byte each; bad input becomes U+FFFD.
    err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                          &err);
    err = U_ZERO_ERROR;
    ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
    return c;
  }();
  return converter.get();
}

bool isAscii(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 0x80) return false;
  return true;
}

bool isAscii(const QByteArray& bytes) {
  for (char b : bytes)
    if (static_cast<unsigned char>(b) >= 0x80) return false;
  return true;
}

bool isLeadByte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}
bool isTrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
}

// Encodes `text`; with `offsets`, records for every output byte the index of the
// UTF-16 unit it came from.
QByteArray encode(const QString& text, std::vector<int32_t>* offsets) {
  UConverter* conv = big5Converter();
  ucnv_resetFromUnicode(conv);
  // Every UTF-16 unit gives at most two bytes (a surrogate pair gives one '?').
  QByteArray out(text.size() * 2, Qt::Uninitialized);
  if (offsets) offsets->assign(out.size(), 0);
  const UChar* src = reinterpret_cast<const UChar*>(text.constData());
  const UChar* srcEnd = src + text.size();
  char* dst = out.data();
  UErrorCode err = U_ZERO_ERROR;
  ucnv_fromUnicode(conv, &dst, out.data() + out.size(), &src, srcEnd,
                   offsets ? offsets->data() : nullptr, true, &err);
  if (U_FAILURE(err)) throw std::runtime_error("code page 950 conversion failed");
  out.truncate(dst - out.data());
  if (offsets) offsets->resize(out.size());
  return out;
}

}  // namespace

QByteArray toBig5(const QString& text) {
  if (isAscii(text)) return text.toLatin1();
  return encode(text, nullptr);
}

QString fromBig5(const QByteArray& bytes) {
  if (isAscii(bytes)) return QString::fromLatin1(bytes);
  UConverter* conv = big5Converter();
  ucnv_resetToUnicode(conv);
  // Code page 950 maps into the BMP only: at most one UTF-16 unit per byte.
  QString out(bytes.size(), Qt::Uninitialized);
  UChar* dst = reinterpret_cast<UChar*>(out.data());
  const char* src = bytes.constData();
  UErrorCode err = U_ZERO_ERROR;
  // flush = true: a lead byte left at the end becomes U+FFFD instead of vanishing.
  ucnv_toUnicode(conv, &dst, dst + out.size(), &src, src + bytes.size(), nullptr, true, &err);
  if (U_FAILURE(err)) throw std::runtime_error("code page 950 conversion failed");
  out.truncate(dst - reinterpret_cast<UChar*>(out.data()));
  return out;
}

int big5Length(const QString& text) {
  if (isAscii(text)) return text.size();
  return encode(text, nullptr).size();
}

QString cutToBig5Bytes(const QString& text, int maxBytes) {
  if (maxBytes <= 0) return QString();
  if (isAscii(text)) return text.left(maxBytes);
  std::vector<int32_t> offsets;
  const QByteArray bytes = encode(text, &offsets);
  if (bytes.size() <= maxBytes) return text;
  const int kept = cutBig5Bytes(bytes, maxBytes).size();
  // The first byte left out belongs to the first character left out.
  return text.left(offsets[kept]);
}

QByteArray cutBig5Bytes(const QByteArray& bytes, int maxBytes) {
  if (maxBytes <= 0) return QByteArray();
  if (bytes.size() <= maxBytes) return bytes;
  // Trail bytes overlap ASCII (0x40-0x7E), so boundaries are only known by walking
  // from the start.
  int i = 0;
  while (i < maxBytes) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const int width = isLeadByte(b) && i + 1 < bytes.size() &&
                              isTrailByte(static_cast<unsigned char>(bytes[i + 1]))
                          ? 2
                          : 1;
    if (i + width > maxBytes) break;
    i += width;
  }
  return bytes.left(i);
}

namespace {

// Converters that stop at a character they cannot map, one per code page and thread.
UConverter* strictConverter(int codePage) {
  thread_local std::vector<std::pair<int, std::unique_ptr<UConverter, ConverterCloser>>> open;
  for (auto& [page, c] : open)
    if (page == codePage) return c.get();
  UErrorCode err = U_ZERO_ERROR;
  const std::string name = "windows-" + std::to_string(codePage);
  std::unique_ptr<UConverter, ConverterCloser> c(ucnv_open(name.c_str(), &err));
  if (U_FAILURE(err)) c.reset();
  if (c) {
    err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  }
  open.emplace_back(codePage, std::move(c));
  return open.back().second.get();
}

}  // namespace

int codePageLength(const QString& text, int codePage, QString* unmappable) {
  if (isAscii(text)) return int(text.size());
  UConverter* conv = strictConverter(codePage);
  if (!conv) return int(text.size());
  char buffer[4096];
  int total = 0;
  const UChar* src = reinterpret_cast<const UChar*>(text.constData());
  const UChar* const srcEnd = src + text.size();
  ucnv_resetFromUnicode(conv);
  for (;;) {
    char* dst = buffer;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_fromUnicode(conv, &dst, buffer + sizeof buffer, &src, srcEnd, nullptr, true, &err);
    total += int(dst - buffer);
    if (err == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_SUCCESS(err)) return total;
    if (unmappable) {
      // The converter stopped just past the character it could not map.
      qsizetype at = qsizetype(src - reinterpret_cast<const UChar*>(text.constData()));
      if (at > 0) --at;
      if (at > 0 && QChar::isLowSurrogate(text.at(at).unicode()) &&
          QChar::isHighSurrogate(text.at(at - 1).unicode()))
        --at;
      *unmappable = text.mid(at, QChar::isHighSurrogate(text.at(at).unicode()) ? 2 : 1);
    }
    return -1;
  }
}

}  // namespace platform
