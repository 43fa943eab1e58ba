// Streaming one part of a workbook through expat, for the parts that grow with the
// data (worksheets and shared texts): Qt's XML reader takes several times as long as
// unzipping them does, expat little more. The small parts stay with Package::readPart.
//
// The defences are the same as readPart's: a part declaring a document type is refused
// before anything in it is used (so no entity is ever declared, let alone expanded),
// the part is never unpacked past kMaxPartSize, and a damaged archive or malformed XML
// is the damaged-file error naming the part.
#pragma once

#include <zip.h>

#include <QString>
#include <string_view>

namespace xlsx {

class Package;

class PartParser {
 public:
  // What the parser hands out, in document order. Element names are local names: the
  // parts' readers know their elements by those alone, whatever prefix or namespace
  // they come under, as Excel itself does. An exception thrown here stops the
  // parse and leaves parse() as it is.
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void startElement(std::string_view name, const char** attributes) = 0;
    virtual void endElement() = 0;
    // Character data in pieces of any size: an element's text may come in several.
    virtual void characters(std::string_view text) = 0;
  };

  // A name as written without its prefix: "c" for "x:c".
  static std::string_view localName(const char* name);
  // "xmlns" or "xmlns:x", which declare namespaces rather than being attributes.
  static bool isNamespaceDeclaration(const char* name);
  // The value of the attribute of that local name in expat's name-value list, or null.
  // `anyNamespace` also takes a prefixed one; otherwise only the unprefixed.
  static const char* attribute(const char** attributes, std::string_view name,
                               bool anyNamespace = true);

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
  void* parser_ = nullptr;
  bool stopped_ = false;
};

}  // namespace xlsx
