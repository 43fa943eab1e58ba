// The values of a query's rows, row-major, in chunks of 4096 values (128 KB) that are
// never moved once allocated: growing the store copies nothing that was fetched, a row
// lies in one piece of memory (or two, at a chunk's end), and finding a value is one
// shift and one mask into a table of chunks small enough to stay in the processor's
// cache even for millions of rows (a deque's blocks of 16 values need a table of
// millions of entries there, and a cache miss on it before every value).
#pragma once

#include <QVariant>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace db {

class CellStore {
 public:
  static constexpr size_t kChunkBits = 12;
  static constexpr size_t kChunkSize = size_t(1) << kChunkBits;

  CellStore() = default;
  CellStore(const CellStore&) = delete;
  CellStore& operator=(const CellStore&) = delete;
  CellStore(CellStore&& other) noexcept { swap(other); }
  CellStore& operator=(CellStore&& other) noexcept {
    if (this != &other) {
      clear();
      swap(other);
    }
    return *this;
  }
  ~CellStore() { clear(); }

  void swap(CellStore& other) noexcept {
    chunks_.swap(other.chunks_);
    std::swap(size_, other.size_);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  QVariant& operator[](size_t i) { return chunks_[i >> kChunkBits][i & (kChunkSize - 1)]; }
  const QVariant& operator[](size_t i) const {
    return chunks_[i >> kChunkBits][i & (kChunkSize - 1)];
  }
  QVariant& at(size_t i) {
    if (i >= size_) throw std::out_of_range("CellStore::at");
    return (*this)[i];
  }
  const QVariant& at(size_t i) const {
    if (i >= size_) throw std::out_of_range("CellStore::at");
    return (*this)[i];
  }
  QVariant& front() { return (*this)[0]; }
  const QVariant& front() const { return (*this)[0]; }

  template <typename... Args>
  QVariant& emplace_back(Args&&... args) {
    if ((size_ & (kChunkSize - 1)) == 0 && (size_ >> kChunkBits) == chunks_.size())
      chunks_.push_back(allocateChunk());
    QVariant* cell = &chunks_[size_ >> kChunkBits][size_ & (kChunkSize - 1)];
    new (cell) QVariant(std::forward<Args>(args)...);
    ++size_;
    return *cell;
  }
  void push_back(const QVariant& value) { emplace_back(value); }
  void push_back(QVariant&& value) { emplace_back(std::move(value)); }

  // Drops the values past `count`, or adds null ones up to it.
  void resize(size_t count);
  // Drops every value and gives the memory back.
  void clear();

  // Asks the processor to start loading the characters of the texts among the values
  // [first, first + count): a reader walking rows whose texts lie elsewhere (a sorted
  // dataset's) calls it a row ahead.
  void prefetchTexts(size_t first, size_t count) const;

 private:
  static QVariant* allocateChunk();

  std::vector<QVariant*> chunks_;
  size_t size_ = 0;
};

}  // namespace db
