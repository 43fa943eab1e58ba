#include "PartParser.h"

#include <libxml/parser.h>

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "Package.h"
#include "PartDevice.h"
#include "ReadErrors.h"
#include "platform/Handoff.h"

namespace xlsx {
namespace {

// The state the callbacks share. A callback must not let an exception through the
// parser's C frames: it keeps it and stops the parser, and parse() throws it once the
// parser returns.
struct Context {
  explicit Context(PartParser::Handler& h, xmlParserCtxtPtr p) : handler(h), parser(p) {}

  PartParser::Handler& handler;
  xmlParserCtxtPtr parser = nullptr;
  std::exception_ptr failure;
  bool doctype = false;
  bool rootSeen = false;
  long depth = 0;
  // The first error the parser met, its line and text.
  bool malformed = false;
  int code = 0;
  bool atEnd = false;  // the parser had read all it was given
  int line = 0;
  QString message;

  void fail() {
    if (!failure) failure = std::current_exception();
    xmlStopParser(parser);
  }
};

Context& contextOf(void* data) {
  return *static_cast<Context*>(static_cast<xmlParserCtxtPtr>(data)->_private);
}

void onStart(void* data, const xmlChar* name, const xmlChar*, const xmlChar*, int, const xmlChar**,
             int attributeCount, int, const xmlChar** attributes) {
  Context& c = contextOf(data);
  c.rootSeen = true;
  ++c.depth;
  try {
    c.handler.startElement(reinterpret_cast<const char*>(name),
                           Attributes(attributes, attributeCount));
  } catch (...) {
    c.fail();
  }
}

void onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
  Context& c = contextOf(data);
  --c.depth;
  try {
    c.handler.endElement();
  } catch (...) {
    c.fail();
  }
}

void onCharacters(void* data, const xmlChar* text, int length) {
  Context& c = contextOf(data);
  try {
    c.handler.characters(std::string_view(reinterpret_cast<const char*>(text), size_t(length)));
  } catch (...) {
    c.fail();
  }
}

// Excel never writes a document type, and one may declare entities that expand to far
// more than the part holds: the part is refused at the declaration's name, before any
// entity of it is declared or used.
void onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
  Context& c = contextOf(data);
  c.doctype = true;
  xmlStopParser(c.parser);
}

void onError(void* data, xmlErrorPtr error) {
  if (!data || !error || error->level < XML_ERR_ERROR) return;
  Context& c = contextOf(data);
  if (c.malformed || c.doctype || c.failure) return;
  c.malformed = true;
  c.code = error->code;
  const xmlParserInputPtr input = c.parser->input;
  c.atEnd = input && input->cur && input->end && input->cur >= input->end;
  c.line = error->line;
  c.message = QString::fromUtf8(error->message).trimmed();
}

xmlSAXHandler makeHandler() {
  xmlSAXHandler h;
  std::memset(&h, 0, sizeof h);
  h.initialized = XML_SAX2_MAGIC;
  h.startElementNs = onStart;
  h.endElementNs = onEnd;
  h.characters = onCharacters;
  h.cdataBlock = onCharacters;
  h.ignorableWhitespace = onCharacters;
  h.internalSubset = onDoctype;
  h.serror = onError;
  return h;
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

// The part's bytes block by block, for the parser to pull as it goes: the parser reads
// its input itself more cheaply than it takes pieces pushed to it, which it must scan
// ahead for the end of each element. The device is the caller's again once the feed is
// gone.
class BlockFeed {
 public:
  BlockFeed(PartDevice& device, bool ahead) : device_(device) {
    if (!ahead) {
      current_.data = std::make_unique<char[]>(kChunk);
      return;
    }
    filled_.emplace(kBlocksAhead);
    spare_.emplace(kBlocksAhead);
    for (size_t i = 0; i < kBlocksAhead; ++i) spare_->push(Block{std::make_unique<char[]>(kChunk)});
    unpacker_ = std::thread([this] {
      try {
        while (std::optional<Block> block = spare_->pop()) {
          block->size = device_.read(block->data.get(), kChunk);
          const bool last = block->size <= 0;
          if (!filled_->push(std::move(*block)) || last) break;
        }
        filled_->close();
      } catch (...) {
        filled_->fail(std::current_exception());
      }
    });
  }
  ~BlockFeed() {
    if (!unpacker_.joinable()) return;
    filled_->stop();
    spare_->close();
    unpacker_.join();
  }
  BlockFeed(const BlockFeed&) = delete;
  BlockFeed& operator=(const BlockFeed&) = delete;

  // Up to `length` bytes of the part into `buffer`; 0 at its end. Throws the unpacking's
  // failure.
  int read(char* buffer, int length) {
    while (at_ == current_.size && !ended_) next();
    const int n = int(std::min<qint64>(length, current_.size - at_));
    if (n > 0) std::memcpy(buffer, current_.data.get() + at_, size_t(n));
    at_ += n;
    return n;
  }

 private:
  void next() {
    at_ = 0;
    if (!filled_) {
      current_.size = device_.read(current_.data.get(), kChunk);
    } else {
      if (current_.data) spare_->push(std::move(current_));
      std::optional<Block> block = filled_->pop();
      current_ = block ? std::move(*block) : Block{};
    }
    if (current_.size <= 0) {
      current_.size = 0;
      ended_ = true;
    }
  }

  PartDevice& device_;
  Block current_;
  qint64 at_ = 0;
  bool ended_ = false;
  std::optional<platform::Handoff<Block>> filled_;
  std::optional<platform::Handoff<Block>> spare_;
  std::thread unpacker_;
};

struct Feed {
  BlockFeed& blocks;
  Context* context = nullptr;
};

// The parser's input. An exception must not cross the parser's C frames: it is kept,
// and the parser sees a failed read.
int onRead(void* data, char* buffer, int length) {
  Feed& feed = *static_cast<Feed*>(data);
  try {
    return feed.blocks.read(buffer, length);
  } catch (...) {
    if (feed.context && !feed.context->failure) feed.context->failure = std::current_exception();
    return -1;
  }
}

}  // namespace

std::optional<std::string_view> Attributes::find(std::string_view name, bool anyPrefix) const {
  for (int i = 0; i < count_; ++i)
    if (this->name(i) == name && (anyPrefix || !prefixed(i))) return value(i);
  return std::nullopt;
}

void PartParser::stop() {
  stopped_ = true;
  xmlStopParser(static_cast<xmlParserCtxtPtr>(context_));
}

void PartParser::parse(Handler& handler) {
  // The parser's global tables are set up once, before any thread parses.
  static std::once_flag initialized;
  std::call_once(initialized, [] { xmlInitParser(); });

  const QString& path = package_.path();
  PartDevice device(path, package_.zip_, index_, name_);
  static const xmlSAXHandler saxHandler = makeHandler();
  xmlSAXHandler sax = saxHandler;
  bool ok = true;
  std::optional<Context> context;
  {
    BlockFeed blocks(device, package_.declaredSize(index_) >= kUnpackAheadFrom);
    Feed feed{blocks};
    const xmlParserCtxtPtr parser =
        xmlCreateIOParserCtxt(&sax, nullptr, onRead, nullptr, &feed, XML_CHAR_ENCODING_NONE);
    if (!parser) throw std::bad_alloc();
    struct Free {
      xmlParserCtxtPtr p;
      ~Free() { xmlFreeParserCtxt(p); }
    } freeParser{parser};
    // Nothing outside the part is ever loaded, and entities are never substituted (the
    // document type that could declare one is refused at its start in any case).
    xmlCtxtUseOptions(parser, XML_PARSE_NONET);
    context.emplace(handler, parser);
    feed.context = &*context;
    parser->_private = &*context;
    context_ = parser;
    stopped_ = false;
    const int status = xmlParseDocument(parser);
    ok = status == 0 && parser->wellFormed && !context->malformed && !context->doctype &&
         !context->failure && !stopped_;
    context_ = nullptr;
    if (!ok && !stopped_ && !context->failure && !context->doctype && !context->malformed)
      onError(parser, xmlCtxtGetLastError(parser));
  }

  if (context->failure) std::rethrow_exception(context->failure);
  if (context->doctype)
    failDamaged(path, QStringLiteral("%1：含有文件類型宣告（DOCTYPE）").arg(name_));
  if (stopped_) device.drain();
  device.throwIfFailed();
  if (!ok && !stopped_) {
    const QString where = QStringLiteral("%1 第 %2 行").arg(name_).arg(context->line);
    // The part ended within an element, or before its root.
    const bool cut = context->code == XML_ERR_DOCUMENT_EMPTY ||
                     context->code == XML_ERR_TAG_NOT_FINISHED ||
                     (context->atEnd && (!context->rootSeen || context->depth > 0));
    if (cut) failDamaged(path, QStringLiteral("%1：內容不完整").arg(where));
    failDamaged(path, QStringLiteral("%1：XML 格式錯誤，%2").arg(where, context->message));
  }
}

}  // namespace xlsx
