#include "RowIndex.h"

#include <QDateTime>

namespace db {

QString RowIndex::keyOf(const QVariant& value) const {
  switch (value.typeId()) {
    case QMetaType::QString:
      return rules_.keyForm(value.toString(), fixedChar_);  // mostly the row's text, shared
    case QMetaType::Double:
      return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QDateTime:
      return QString::number(value.toDateTime().toMSecsSinceEpoch());
    case QMetaType::Bool:
      return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
      return value.toString();
  }
}

void RowIndex::add(int row, const QVariant& value) {
  if (size_t(row) >= next_.size()) next_.resize(size_t(row) + 1, -1);
  if (!value.isValid() || value.isNull()) {
    next_[size_t(row)] = nullHead_;
    nullHead_ = row;
    return;
  }
  auto it = heads_.find(keyOf(value));
  if (it == heads_.end()) {
    next_[size_t(row)] = -1;
    heads_.insert(keyOf(value), row);
  } else {
    next_[size_t(row)] = it.value();
    it.value() = row;
  }
}

void RowIndex::remove(int row, const QVariant& value) {
  const bool isNull = !value.isValid() || value.isNull();
  int* link = nullptr;
  QHash<QString, int>::iterator it;
  if (isNull) {
    link = &nullHead_;
  } else {
    it = heads_.find(keyOf(value));
    if (it == heads_.end()) return;
    link = &it.value();
  }
  while (*link != -1 && *link != row) link = &next_[size_t(*link)];
  if (*link == row) *link = next_[size_t(row)];
  if (!isNull && it.value() == -1) heads_.erase(it);
}

int RowIndex::head(const QVariant& value) const {
  if (!value.isValid() || value.isNull()) return nullHead_;
  return heads_.value(keyOf(value), -1);
}

}  // namespace db
