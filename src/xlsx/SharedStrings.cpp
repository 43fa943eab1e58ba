#include "SharedStrings.h"

#include <QXmlStreamReader>
#include <algorithm>

#include "Package.h"
#include "ReadErrors.h"
#include "ValueText.h"
#include "XmlText.h"

namespace xlsx {

SharedStrings::SharedStrings(const Package& package, const QString& part,
                             SharedStringsBudget budget) {
  const zip_int64_t index = package.locate(part);
  if (index < 0) return;
  const auto overBudget = [&] {
    failDamaged(package.path(), QStringLiteral("%1：共用文字超過 %2 項或 %3 個字")
                                    .arg(part)
                                    .arg(budget.items)
                                    .arg(budget.characters));
  };
  // Each item takes some bytes of the part, so the part's size bounds what the count
  // attribute may claim; the budget bounds both.
  const qint64 partSize = package.declaredSize(index);
  package.readPart(index, part, [&](QXmlStreamReader& xml) {
    if (!xml.isStartElement()) return;
    const std::optional<qint64> count =
        parseWhole(xml.attributes().value(QLatin1StringView("uniqueCount")));
    if (count && *count > 0)
      texts_.reserve(size_t(std::min({*count, partSize / 8, qint64(budget.items)})));
    while (xml.readNextStartElement()) {
      if (xml.name() != u"si") {
        xml.skipCurrentElement();
        continue;
      }
      if (qsizetype(texts_.size()) >= budget.items) overBudget();
      QString text = readStringItem(xml);
      characters_ += text.size();
      if (characters_ > budget.characters) overBudget();
      texts_.push_back(std::move(text));
    }
  });
}

}  // namespace xlsx
