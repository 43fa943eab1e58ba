#include "db/Field.h"

#include "db/Dataset.h"
#include "db/ValueText.h"

#include <platform/CodePage.h>
#include <platform/Error.h>

#include <limits>

namespace db {

namespace {

bool rangeOf(FieldType type, qint64& low, qint64& high) {
  switch (type) {
    case ftSmallint:
      low = -32768;
      high = 32767;
      return true;
    case ftWord:
      low = 0;
      high = 65535;
      return true;
    case ftInteger:
    case ftAutoInc:
      low = std::numeric_limits<qint32>::min();
      high = std::numeric_limits<qint32>::max();
      return true;
    default:
      return false;
  }
}

}  // namespace

Field::Field(Dataset& dataset, FieldDef def, int index)
    : dataset_(&dataset), def_(std::move(def)), index_(index) {}

int Field::displayWidth() const {
  if (def_.displayWidth > 0) return def_.displayWidth;
  switch (def_.type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      return def_.size > 0 ? def_.size : 20;
    case ftSmallint:
    case ftWord:
      return 6;
    case ftInteger:
    case ftAutoInc:
      return 11;
    case ftLargeint:
      return 15;
    case ftBoolean:
      return 5;
    case ftDate:
    case ftTime:
      return 10;
    case ftDateTime:
      return 18;
    case ftGuid:
      return 38;
    default:
      return 10;
  }
}

QVariant Field::value() const {
  return dataset_->currentValue(*this);
}

bool Field::isNull() const {
  const QVariant v = value();
  return !v.isValid() || v.isNull();
}

QString Field::asString() const {
  if (const QVariant* v = dataset_->currentCell(*this)) return ValueText::plain(*v, def_.type);
  return ValueText::plain(value(), def_.type);
}

QString Field::displayText() const {
  return ValueText::display(value(), def_.type, def_.displayFormat);
}

QVariant Field::valueAt(int position) const {
  return dataset_->valueAt(position, *this);
}

QString Field::displayTextAt(int position) const {
  return ValueText::display(valueAt(position), def_.type, def_.displayFormat);
}

void Field::setAsString(const QString& text) {
  // What parse returns is canonical already.
  assign(ValueText::parse(text, def_.type));
}

void Field::setValue(const QVariant& value) {
  const BasicKind kind = basicKind(def_.type);
  assign(value.typeId() == QMetaType::QString && kind != BasicKind::Text
             ? ValueText::parse(value.toString(), def_.type)
             : ValueText::normalize(value, def_.type));
}

void Field::assign(QVariant v) {
  const BasicKind kind = basicKind(def_.type);
  if (kind == BasicKind::Text && v.typeId() == QMetaType::QString && def_.size > 0 &&
      def_.type != ftMemo) {
    // The column holds size() Big5 bytes; never cut inside a double-byte character.
    const QString text = v.toString();
    if (text.size() * 2 > def_.size && platform::big5Length(text) > def_.size)
      v = platform::cutToBig5Bytes(text, def_.size);
  }
  qint64 low = 0, high = 0;
  if (kind == BasicKind::Whole && v.typeId() == QMetaType::LongLong &&
      rangeOf(def_.type, low, high)) {
    const qint64 n = v.toLongLong();
    if (n < low || n > high)
      throw platform::Error(
          QStringLiteral("%1 超出欄位「%2」能存放的範圍：這個欄位只能填 %3 到 %4 之間的整數")
              .arg(n)
              .arg(displayLabel())
              .arg(low)
              .arg(high));
  }
  dataset_->setCurrentValue(*this, std::move(v));
}

void Field::clear() {
  dataset_->setCurrentValue(*this, QVariant());
}

}  // namespace db
