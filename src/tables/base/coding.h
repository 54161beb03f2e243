// Fixed-width integer and float coding for the engine's file formats.
//
// Files store integers little-endian; index keys store values big-endian so
// that unsigned byte-wise comparison orders them. Every function reads or
// writes exactly sizeof(T) bytes at `p`; the caller guarantees the room.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quoldex::tables {

template <typename T>
inline T GetLE(const uint8_t* p) {
  static_assert(std::is_trivially_copyable_v<T>);
  T v;
  std::memcpy(&v, p, sizeof(T));
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    auto* b = reinterpret_cast<uint8_t*>(&v);
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
  }
  return v;
}

template <typename T>
inline void PutLE(uint8_t* p, T v) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(p, &v, sizeof(T));
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(p[i], p[sizeof(T) - 1 - i]);
  }
}

inline void PutBE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void PutBE32(uint8_t* p, uint32_t v) {
  for (int i = 3; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}
inline void PutBE64(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}
inline uint32_t GetBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// A "short string" field: one length byte then up to `capacity` characters,
// the whole field being capacity + 1 bytes. Reading clamps a length byte that
// exceeds the capacity (a damaged file must not make us read past the field).
inline std::string GetShortString(const uint8_t* p, size_t capacity) {
  size_t n = p[0] < capacity ? p[0] : capacity;
  return std::string(reinterpret_cast<const char*>(p + 1), n);
}
// Writes `s` cut to `capacity` characters and zero-fills the rest of the field.
inline void PutShortString(uint8_t* p, size_t capacity, std::string_view s) {
  size_t n = s.size() < capacity ? s.size() : capacity;
  std::memset(p, 0, capacity + 1);
  p[0] = static_cast<uint8_t>(n);
  std::memcpy(p + 1, s.data(), n);
}

}  // namespace quoldex::tables
