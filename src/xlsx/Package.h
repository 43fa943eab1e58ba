// A workbook's package: the zip archive of its XML parts and the relationships that
// lead from one part to another. Opening it tells a workbook from what only looks like
// one (an old .xls, a workbook Excel encrypted, any other file) and refuses an archive
// whose parts cannot be told apart.
#pragma once

#include <zip.h>

#include <QHash>
#include <QString>
#include <QXmlStreamReader>
#include <functional>

namespace xlsx {

// A relationship of a part: what kind of part it leads to, and that part's name.
struct Relationship {
  QString type;
  QString target;  // the package path, no leading slash
};
using Relationships = QHash<QString, Relationship>;  // by id, external ones left out

class Package {
 public:
  // Throws platform::Error when the file cannot be read as a zip package of parts.
  explicit Package(const QString& path);
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  const QString& path() const { return path_; }

  // A part by name, ignoring case as part names do, or -1.
  zip_int64_t locate(const QString& name) const;
  // A part's size unpacked as the archive's directory declares it (not to be trusted
  // beyond kMaxPartSize, which reading enforces), 0 when it declares none.
  qint64 declaredSize(zip_int64_t index) const;

  // Streams the part at `index` through `body`, which gets a reader standing on the
  // root element (or past the end of a part without one). Throws when the archive or
  // the XML is damaged, and refuses any document type declaration.
  void readPart(zip_int64_t index, const QString& name,
                const std::function<void(QXmlStreamReader&)>& body) const;

  // The relationships of `part` ("" for the package's own), none without its .rels part.
  Relationships relationships(const QString& part) const;
  // The part a relationship of the given kind points at ("officeDocument", "styles"), by
  // the last word of its type, which the transitional and the strict forms share.
  static QString targetOfType(const Relationships& rels, const QString& kind);
  // "xl/" for "xl/workbook.xml".
  static QString folderOf(const QString& part);

 private:
  friend class PartParser;  // streams the largest parts through a faster parser
  void refuseDuplicateNames() const;

  QString path_;
  zip_t* zip_ = nullptr;
};

}  // namespace xlsx
