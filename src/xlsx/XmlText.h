// Reading element texts out of a part: a value's text, and a string item's text with
// its rich text runs joined.
#pragma once

#include <QString>
#include <QXmlStreamReader>

namespace xlsx {

// The text of the element the reader stands on, into `out`, whose storage serves again
// (most values are numbers and shared text indexes, read and done with at once).
void readTextInto(QXmlStreamReader& xml, QString& out);

// The text of a string item (<si> of the shared strings, <is> of a cell) or of its rich
// text runs, leaving out phonetic guides; the reader stands on the item's start.
QString readStringItem(QXmlStreamReader& xml);

}  // namespace xlsx
