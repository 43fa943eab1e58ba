#include "Styles.h"

#include <QHash>
#include <QXmlStreamReader>

#include "Package.h"
#include "ValueText.h"

namespace xlsx {

Styles::Styles(const Package& package, const QString& part) {
  const zip_int64_t index = package.locate(part);
  if (index < 0) return;
  QHash<int, QString> codes;
  std::vector<int> formatIds;
  package.readPart(index, part, [&](QXmlStreamReader& xml) {
    if (!xml.isStartElement()) return;
    while (xml.readNextStartElement()) {
      const QStringView section = xml.name();
      if (section == u"numFmts") {
        while (xml.readNextStartElement()) {
          if (xml.name() == u"numFmt") {
            const QXmlStreamAttributes a = xml.attributes();
            if (const auto id = parseWhole(a.value(QLatin1StringView("numFmtId")));
                id && *id >= 0 && *id < 1 << 30)
              codes.insert(int(*id), a.value(QLatin1StringView("formatCode")).toString());
          }
          xml.skipCurrentElement();
        }
      } else if (section == u"cellXfs") {
        while (xml.readNextStartElement()) {
          if (xml.name() == u"xf") {
            const auto id = parseWhole(xml.attributes().value(QLatin1StringView("numFmtId")));
            formatIds.push_back(id && *id >= 0 && *id < 1 << 30 ? int(*id) : 0);
          }
          xml.skipCurrentElement();
        }
      } else {
        xml.skipCurrentElement();
      }
    }
  });
  showsDate_.reserve(formatIds.size());
  for (const int id : formatIds) {
    const auto code = codes.constFind(id);
    showsDate_.push_back(code != codes.cend() ? formatCodeShowsDate(*code)
                                              : builtInFormatShowsDate(id));
  }
}

bool Styles::builtInFormatShowsDate(int id) {
  return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
         (id >= 50 && id <= 58);
}

// A format code shows a date or a time when it has a year, month, day, hour, minute or
// second field: y, m, d, h or s outside quoted text, escaped characters and bracketed
// colours, conditions and locales ("[Red]", "[>100]", "[$-404]"); an elapsed time
// "[h]", "[mm]", "[ss]" counts. The word "General" is no field.
bool Styles::formatCodeShowsDate(const QString& code) {
  const QString text = QString(code).remove(QStringLiteral("General"), Qt::CaseInsensitive);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'"') {
      const qsizetype close = text.indexOf(u'"', i + 1);
      if (close < 0) return false;
      i = close;
    } else if (c == u'\\' || c == u'_' || c == u'*') {
      ++i;  // an escaped character, a space as wide as one, a fill character
    } else if (c == u'[') {
      const qsizetype close = text.indexOf(u']', i + 1);
      if (close < 0) return false;
      const QStringView inside = QStringView(text).mid(i + 1, close - i - 1);
      bool elapsed = !inside.isEmpty();
      for (const QChar e : inside) elapsed = elapsed && QStringView(u"hHmMsS").contains(e);
      if (elapsed) return true;
      i = close;
    } else if (QStringView(u"yYmMdDhHsS").contains(c)) {
      return true;
    }
  }
  return false;
}

}  // namespace xlsx
