// One 4096-byte page held in memory by the writing side, with little-endian accessors.
// Pages are built or patched here and handed whole to the page writer.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "Format.h"

namespace jet {

struct PageImage {
  std::array<std::uint8_t, fmt::kPageSize> bytes{};

  std::uint8_t* data() { return bytes.data(); }
  const std::uint8_t* data() const { return bytes.data(); }
  std::uint8_t& operator[](std::size_t i) { return bytes[i]; }
  std::uint8_t operator[](std::size_t i) const { return bytes[i]; }

  std::uint16_t u16(std::size_t at) const { return std::uint16_t(bytes[at] | bytes[at + 1] << 8); }
  std::uint32_t u32(std::size_t at) const {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
           std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
  }
  void put16(std::size_t at, std::uint32_t v) {
    bytes[at] = std::uint8_t(v);
    bytes[at + 1] = std::uint8_t(v >> 8);
  }
  void put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = std::uint8_t(v >> (8 * i));
  }
  void put(std::size_t at, std::span<const std::uint8_t> src) {
    if (!src.empty()) std::memcpy(bytes.data() + at, src.data(), src.size());
  }
};

// Little-endian appends to a growing byte string (table definitions, rows).
inline void appendU8(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(std::uint8_t(v));
}
inline void appendU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}
inline void appendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
inline std::uint16_t readU16(const std::uint8_t* p) {
  return std::uint16_t(p[0] | p[1] << 8);
}
inline std::uint32_t readU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
inline void writeU16(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void writeU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

}  // namespace jet
