// A bounds-checked window on bytes read from the file. Every read of file data in
// jet/ goes through one: an offset or length outside the window throws a jet::Error
// naming the file and the page the bytes came from, never reads past a buffer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "jet/Error.h"

namespace jet {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::uint8_t* data, std::size_t size, const std::string* file, std::uint32_t page)
      : data_(data), size_(size), file_(file), page_(page) {}

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::uint32_t page() const { return page_; }
  const std::string& file() const { return *file_; }

  bool has(std::size_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  void require(std::size_t offset, std::size_t length, const char* what) const {
    if (!has(offset, length)) fail(what);
  }
  // The bytes [offset, offset + length); `what` names the structure in the error.
  ByteView sub(std::size_t offset, std::size_t length, const char* what) const {
    require(offset, length, what);
    return ByteView(data_ + offset, length, file_, page_);
  }

  std::uint8_t u8(std::size_t offset, const char* what) const {
    require(offset, 1, what);
    return data_[offset];
  }
  std::uint16_t u16(std::size_t offset, const char* what) const {
    require(offset, 2, what);
    return static_cast<std::uint16_t>(data_[offset] | data_[offset + 1] << 8);
  }
  std::uint32_t u24(std::size_t offset, const char* what) const {
    require(offset, 3, what);
    return std::uint32_t{data_[offset]} | std::uint32_t{data_[offset + 1]} << 8 |
           std::uint32_t{data_[offset + 2]} << 16;
  }
  std::uint32_t u32(std::size_t offset, const char* what) const {
    require(offset, 4, what);
    return load32(data_ + offset);
  }
  std::uint64_t u64(std::size_t offset, const char* what) const {
    require(offset, 8, what);
    return std::uint64_t{load32(data_ + offset)} | std::uint64_t{load32(data_ + offset + 4)} << 32;
  }
  std::int16_t i16(std::size_t offset, const char* what) const {
    return static_cast<std::int16_t>(u16(offset, what));
  }
  std::int32_t i32(std::size_t offset, const char* what) const {
    return static_cast<std::int32_t>(u32(offset, what));
  }
  std::int64_t i64(std::size_t offset, const char* what) const {
    return static_cast<std::int64_t>(u64(offset, what));
  }
  float f32(std::size_t offset, const char* what) const {
    return std::bit_cast<float>(u32(offset, what));
  }
  double f64(std::size_t offset, const char* what) const {
    return std::bit_cast<double>(u64(offset, what));
  }

  [[noreturn]] void fail(const char* what) const {
    throw Error::damaged(file_ ? *file_ : std::string("?"), page_, what);
  }

 private:
  static std::uint32_t load32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
  }

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  const std::string* file_ = nullptr;
  std::uint32_t page_ = 0;
};

}  // namespace jet
