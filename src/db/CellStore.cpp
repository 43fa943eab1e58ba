#include "db/CellStore.h"

#include "db/ValueText.h"

#include <QString>
#include <algorithm>

namespace db {

QVariant* CellStore::allocateChunk() {
  return static_cast<QVariant*>(
      ::operator new(kChunkSize * sizeof(QVariant), std::align_val_t(alignof(QVariant))));
}

void CellStore::resize(size_t count) {
  while (size_ > count) {
    --size_;
    (*this)[size_].~QVariant();
  }
  while (size_ < count) emplace_back();
  // Chunks past the last value go at once, so that a shrunk store holds no more than
  // it needs.
  const size_t needed = (size_ + kChunkSize - 1) >> kChunkBits;
  while (chunks_.size() > needed) {
    ::operator delete(chunks_.back(), std::align_val_t(alignof(QVariant)));
    chunks_.pop_back();
  }
}

void CellStore::clear() {
  resize(0);
  std::vector<QVariant*>().swap(chunks_);
}

void CellStore::prefetchTexts(size_t first, size_t count) const {
  const size_t last = std::min(size_, first + count);
  for (size_t i = first; i < last; ++i) {
    const QVariant& v = (*this)[i];
    if (typeIdOf(v) == QMetaType::QString)
      __builtin_prefetch(static_cast<const QString*>(v.constData())->constData());
  }
}

}  // namespace db
