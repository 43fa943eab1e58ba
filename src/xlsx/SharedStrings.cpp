#include "SharedStrings.h"

#include <QXmlStreamReader>
#include <algorithm>

#include "Package.h"
#include "ValueText.h"
#include "XmlText.h"

namespace xlsx {

SharedStrings::SharedStrings(const Package& package, const QString& part) {
  const zip_int64_t index = package.locate(part);
  if (index < 0) return;
  // Each item takes some bytes of the part, so the part's size bounds what the count
  // attribute may claim.
  const qint64 partSize = package.declaredSize(index);
  package.readPart(index, part, [&](QXmlStreamReader& xml) {
    if (!xml.isStartElement()) return;
    const std::optional<qint64> count =
        parseWhole(xml.attributes().value(QLatin1StringView("uniqueCount")));
    if (count && *count > 0) texts_.reserve(size_t(std::min(*count, partSize / 8)));
    while (xml.readNextStartElement()) {
      if (xml.name() == u"si")
        texts_.push_back(readStringItem(xml));
      else
        xml.skipCurrentElement();
    }
  });
}

}  // namespace xlsx
