#include "PartParser.h"

#include <expat.h>

#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include "Package.h"
#include "PartDevice.h"
#include "ReadErrors.h"
#include "platform/Handoff.h"

namespace xlsx {
namespace {

// The state the callbacks share. A callback must not let an exception through expat's
// C frames: it keeps it and stops the parser, and parse() throws it once expat returns.
struct Context {
  PartParser::Handler& handler;
  XML_Parser parser;
  std::exception_ptr failure;
  bool doctype = false;

  void fail() {
    if (!failure) failure = std::current_exception();
    XML_StopParser(parser, XML_FALSE);
  }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  Context& c = *static_cast<Context*>(data);
  try {
    c.handler.startElement(PartParser::localName(name), attributes);
  } catch (...) {
    c.fail();
  }
}

void XMLCALL onEnd(void* data, const XML_Char*) {
  Context& c = *static_cast<Context*>(data);
  try {
    c.handler.endElement();
  } catch (...) {
    c.fail();
  }
}

void XMLCALL onCharacters(void* data, const XML_Char* text, int length) {
  Context& c = *static_cast<Context*>(data);
  try {
    c.handler.characters(std::string_view(text, size_t(length)));
  } catch (...) {
    c.fail();
  }
}

// Excel never writes a document type, and one may declare entities that expand to far
// more than the part holds: the part is refused at the declaration's first word,
// before any entity of it is declared or used.
void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Context& c = *static_cast<Context*>(data);
  c.doctype = true;
  XML_StopParser(c.parser, XML_FALSE);
}

bool endedEarly(XML_Error error) {
  return error == XML_ERROR_NO_ELEMENTS || error == XML_ERROR_UNCLOSED_TOKEN ||
         error == XML_ERROR_PARTIAL_CHAR || error == XML_ERROR_UNCLOSED_CDATA_SECTION;
}

constexpr int kChunk = 1 << 18;
// A part this large is unpacked on a thread of its own, a few blocks ahead of the
// parse: inflating and checking the sum are a sixth of the work, which a second core
// then hides. A smaller part is not worth a thread.
constexpr qint64 kUnpackAheadFrom = qint64(1) << 20;
constexpr size_t kBlocksAhead = 4;

struct Block {
  std::unique_ptr<char[]> data;
  qint64 size = 0;  // 0 or less at the part's end
};

// Hands the part's bytes to `parse(data, size, last)` block by block until it returns
// false or the part ends; the device is the caller's again on return.
template <typename Parse>
void unpack(PartDevice& device, bool ahead, Parse parse) {
  if (!ahead) {
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    while (true) {
      const qint64 n = device.read(buffer.get(), kChunk);
      const bool last = n <= 0;
      if (!parse(buffer.get(), last ? 0 : int(n), last) || last) return;
    }
  }
  platform::Handoff<Block> filled(kBlocksAhead);
  platform::Handoff<Block> spare(kBlocksAhead);
  for (size_t i = 0; i < kBlocksAhead; ++i) spare.push(Block{std::make_unique<char[]>(kChunk)});
  std::thread unpacker([&] {
    try {
      while (std::optional<Block> block = spare.pop()) {
        block->size = device.read(block->data.get(), kChunk);
        const bool last = block->size <= 0;
        if (!filled.push(std::move(*block)) || last) break;
      }
      filled.close();
    } catch (...) {
      filled.fail(std::current_exception());
    }
  });
  struct Join {
    platform::Handoff<Block>& filled;
    platform::Handoff<Block>& spare;
    std::thread& unpacker;
    ~Join() {
      filled.stop();
      spare.close();
      unpacker.join();
    }
  } join{filled, spare, unpacker};
  while (std::optional<Block> block = filled.pop()) {
    const bool last = block->size <= 0;
    if (!parse(block->data.get(), last ? 0 : int(block->size), last) || last) return;
    spare.push(std::move(*block));
  }
}

}  // namespace

std::string_view PartParser::localName(const char* name) {
  const char* local = name;
  const char* p = name;
  for (; *p; ++p)
    if (*p == ':') local = p + 1;
  return std::string_view(local, size_t(p - local));
}

bool PartParser::isNamespaceDeclaration(const char* name) {
  return std::strncmp(name, "xmlns", 5) == 0 && (name[5] == '\0' || name[5] == ':');
}

const char* PartParser::attribute(const char** attributes, std::string_view name,
                                  bool anyNamespace) {
  for (const char** a = attributes; *a; a += 2) {
    if (name == a[0]) return a[1];
    if (anyNamespace && !isNamespaceDeclaration(a[0]) && localName(a[0]) == name) return a[1];
  }
  return nullptr;
}

void PartParser::stop() {
  stopped_ = true;
  XML_StopParser(static_cast<XML_Parser>(parser_), XML_FALSE);
}

void PartParser::parse(Handler& handler) {
  const QString& path = package_.path();
  PartDevice device(path, package_.zip_, index_, name_);
  // Without namespace processing: the readers go by local names only, and expanding
  // every name to its namespace's URI costs a good part of the parse.
  const XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) throw std::bad_alloc();
  struct Free {
    XML_Parser p;
    ~Free() { XML_ParserFree(p); }
  } freeParser{parser};
  parser_ = parser;
  stopped_ = false;

  Context context{handler, parser, nullptr};
  XML_SetUserData(parser, &context);
  XML_SetElementHandler(parser, onStart, onEnd);
  XML_SetCharacterDataHandler(parser, onCharacters);
  XML_SetStartDoctypeDeclHandler(parser, onDoctype);
  // Nothing outside the part is ever read, whatever it refers to.
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

  XML_Status status = XML_STATUS_OK;
  unpack(device, package_.declaredSize(index_) >= kUnpackAheadFrom,
         [&](const char* data, int size, bool last) {
           status = XML_Parse(parser, data, size, last);
           return status == XML_STATUS_OK;
         });
  parser_ = nullptr;

  if (context.failure) std::rethrow_exception(context.failure);
  if (context.doctype)
    failDamaged(path, QStringLiteral("%1：含有文件類型宣告（DOCTYPE）").arg(name_));
  if (stopped_) device.drain();
  device.throwIfFailed();
  if (status != XML_STATUS_OK && !stopped_) {
    const XML_Error error = XML_GetErrorCode(parser);
    const QString where =
        QStringLiteral("%1 第 %2 行").arg(name_).arg(quint64(XML_GetCurrentLineNumber(parser)));
    if (endedEarly(error)) failDamaged(path, QStringLiteral("%1：內容不完整").arg(where));
    failDamaged(path, QStringLiteral("%1：XML 格式錯誤，%2")
                          .arg(where, QString::fromUtf8(XML_ErrorString(error))));
  }
}

}  // namespace xlsx
