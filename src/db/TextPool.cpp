#include "TextPool.h"

#include "db/ValueText.h"

namespace db {

void TextPool::share(size_t column, QVariant& cell) {
  Column& c = columns_[column];
  if (c.off || typeIdOf(cell) != QMetaType::QString) return;
  const QString& text = *static_cast<const QString*>(cell.constData());
  if (text.size() > kLongest) return;
  if (++c.seen == kTrial && c.found < kTrial / 2) {
    // Mostly distinct: not worth a lookup per cell.
    c.off = true;
    QSet<QString>().swap(c.texts);
    return;
  }
  const auto it = c.texts.constFind(text);
  if (it != c.texts.constEnd()) {
    ++c.found;
    if (it->constData() != text.constData()) cell = QVariant(*it);
    return;
  }
  if (c.texts.size() < kMostTexts) c.texts.insert(text);
}

}  // namespace db
