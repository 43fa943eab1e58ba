#include "XmlText.h"

#include "ValueText.h"

namespace xlsx {

void readTextInto(QXmlStreamReader& xml, QString& out) {
  out.resize(0);
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference)
      out.append(xml.text());
    else if (token == QXmlStreamReader::StartElement)
      xml.skipCurrentElement();
    else if (token == QXmlStreamReader::EndElement)
      return;
  }
}

QString readStringItem(QXmlStreamReader& xml) {
  QString text;
  int depth = 0;
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      const QStringView name = xml.name();
      if (name == u"t")
        text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
      else if (name == u"r")
        ++depth;
      else
        xml.skipCurrentElement();  // run properties, phonetic runs and their settings
    } else if (token == QXmlStreamReader::EndElement) {
      if (depth == 0) break;
      --depth;
    }
  }
  return decodeEscapes(std::move(text));
}

}  // namespace xlsx
