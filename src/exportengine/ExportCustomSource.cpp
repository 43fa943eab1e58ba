#include "exportengine/ExportCustomSource.h"

#include <db/ValueText.h>

#include <QDateTime>

namespace exportengine {

namespace {

bool sameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A handler's value as the rest of the program writes such a value: dates in the
// regional short date and time, numbers with the regional decimal separator.
QString variantText(const QVariant& value) {
  if (!value.isValid() || value.isNull()) return QString();
  switch (value.typeId()) {
    case QMetaType::QDateTime:
      return db::ValueText::plain(db::ValueText::normalize(value, db::ftDateTime), db::ftDateTime);
    case QMetaType::QDate:
      return db::ValueText::plain(db::ValueText::normalize(value, db::ftDate), db::ftDate);
    case QMetaType::QTime:
      return db::ValueText::plain(db::ValueText::normalize(value, db::ftTime), db::ftTime);
    case QMetaType::Double:
    case QMetaType::Float:
      return db::ValueText::plain(QVariant(value.toDouble()), db::ftFloat);
    case QMetaType::Bool:
      return db::ValueText::plain(value, db::ftBoolean);
    default:
      return value.toString();
  }
}

}  // namespace

// --- TCustomExportColumn ---

TCustomExportColumn::TCustomExportColumn(TCustomExportColumns* collection)
    : collection_(collection) {
  int n = 0;
  QString name = QStringLiteral("Column%1").arg(n);
  while (collection_ && collection_->IndexOf(name) >= 0) name = QStringLiteral("Column%1").arg(++n);
  columnName_ = name;
  caption_ = name;
}

void TCustomExportColumn::SetColumnName(const QString& name) {
  if (name == columnName_ || name.isEmpty()) return;
  if (collection_ && collection_->IndexOf(name) >= 0) return;
  columnName_ = name;
}

int TCustomExportColumn::Index() const {
  if (!collection_) return -1;
  for (int i = 0; i < collection_->Count(); ++i)
    if (&collection_->Items(i) == this) return i;
  return -1;
}

QString TCustomExportColumn::ValueText() {
  TCustomExportSource* source = collection_ ? collection_->Owner() : nullptr;
  if (!source || !source->OnGetColumnValue) return QString();
  QVariant value;
  source->OnGetColumnValue(*source, source->RecNo(), *this, value);
  return variantText(value);
}

// --- TCustomExportColumns ---

TCustomExportColumns::TCustomExportColumns(TCustomExportSource* owner) : owner_(owner) {}

TCustomExportColumn& TCustomExportColumns::Add() {
  items_.push_back(std::make_unique<TCustomExportColumn>(this));
  return *items_.back();
}

void TCustomExportColumns::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
}

void TCustomExportColumns::Clear() {
  items_.clear();
}

int TCustomExportColumns::IndexOf(const QString& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (sameName(items_[i]->columnName_, name)) return int(i);
  return -1;
}

void TCustomExportColumns::Assign(const TCustomExportColumns& source) {
  if (&source == this) return;
  std::vector<std::unique_ptr<TCustomExportColumn>> copies;
  copies.reserve(source.items_.size());
  for (const auto& item : source.items_) {
    auto copy = std::make_unique<TCustomExportColumn>(*item);
    copy->collection_ = this;
    copies.push_back(std::move(copy));
  }
  items_ = std::move(copies);
}

// --- TCustomExportSource ---

TCustomExportSource::TCustomExportSource(QObject* owner) : QObject(owner), columns_(this) {}

TCustomExportSource::~TCustomExportSource() = default;

TCustomExportColumn* TCustomExportSource::FindColumn(const QString& name) const {
  const int i = columns_.IndexOf(name);
  return i < 0 ? nullptr : &columns_.Items(i);
}

void TCustomExportSource::First() {
  recNo_ = 1;
  eof_ = false;
}

void TCustomExportSource::Next() {
  if (eof_) return;
  bool eof = false;
  if (OnGetNextRecord) OnGetNextRecord(*this, recNo_, eof);
  if (eof)
    eof_ = true;
  else
    ++recNo_;
}

}  // namespace exportengine
