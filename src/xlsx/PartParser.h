// Streaming one part of a workbook through libxml2's SAX parser, for the parts that grow
// with the data (worksheets and shared texts): Qt's XML reader takes several times as
// long as unzipping them does. The small parts stay with Package::readPart.
//
// The defences are the same as readPart's: a part declaring a document type is refused
// before anything in it is used (so no entity is ever declared, let alone expanded, and
// nothing outside the part is ever loaded), the part is never unpacked past
// kMaxPartSize, and a damaged archive or malformed XML is the damaged-file error naming
// the part.
#pragma once

#include <zip.h>

#include <QString>
#include <optional>
#include <string_view>

namespace xlsx {

class Package;

// An element's attributes as the parser hands them out, namespace declarations apart.
class Attributes {
 public:
  Attributes(const unsigned char** data, int count) : data_(data), count_(count) {}
  int size() const { return count_; }
  // The name without its prefix: "r" for "x:r".
  std::string_view name(int i) const { return reinterpret_cast<const char*>(data_[5 * i]); }
  bool prefixed(int i) const { return data_[5 * i + 1] != nullptr; }
  std::string_view value(int i) const {
    const unsigned char* begin = data_[5 * i + 3];
    return {reinterpret_cast<const char*>(begin), size_t(data_[5 * i + 4] - begin)};
  }
  // The value of the attribute of that name; `anyPrefix` also takes a prefixed one.
  std::optional<std::string_view> find(std::string_view name, bool anyPrefix = true) const;

 private:
  const unsigned char** data_;
  int count_;
};

class PartParser {
 public:
  // What the parser hands out, in document order. Element names are local names: the
  // parts' readers know their elements by those alone, whatever prefix or namespace
  // they come under. An exception thrown here stops the parse and leaves parse() as it
  // is.
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void startElement(std::string_view name, const Attributes& attributes) = 0;
    virtual void endElement() = 0;
    // Character data in pieces of any size: an element's text may come in several.
    virtual void characters(std::string_view text) = 0;
  };

  PartParser(const Package& package, zip_int64_t index, const QString& name)
      : package_(package), index_(index), name_(name) {}

  // Streams the part through `handler`. The handler may end the parse early with
  // stop(); the rest of the part is then unpacked unparsed, so that its check sum is
  // still compared. Throws platform::Error when the archive or the XML is damaged.
  void parse(Handler& handler);
  // From within a handler's call: the part holds nothing more of interest.
  void stop();

 private:
  const Package& package_;
  zip_int64_t index_;
  QString name_;
  void* context_ = nullptr;
  bool stopped_ = false;
};

}  // namespace xlsx
