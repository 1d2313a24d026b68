#pragma once
// Little-endian field access for the fixed-size records of the report files.
// Every accessor works on a span whose size the caller has already checked.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vxreport::le {

inline std::uint8_t u8(std::span<const std::uint8_t> b, std::size_t at) { return b[at]; }

inline std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

inline std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline std::int32_t i32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int32_t>(u32(b, at));
}

inline float f32(std::span<const std::uint8_t> b, std::size_t at) { return std::bit_cast<float>(u32(b, at)); }

// A zero-terminated text field of `width` bytes; a field without a terminator
// is taken whole, never read past its width.
inline std::string text(std::span<const std::uint8_t> b, std::size_t at, std::size_t width) {
  std::size_t n = 0;
  while (n < width && b[at + n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

inline void put8(std::span<std::uint8_t> b, std::size_t at, std::uint8_t v) { b[at] = v; }

inline void put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void puti32(std::span<std::uint8_t> b, std::size_t at, std::int32_t v) {
  put32(b, at, static_cast<std::uint32_t>(v));
}

inline void putf32(std::span<std::uint8_t> b, std::size_t at, float v) { put32(b, at, std::bit_cast<std::uint32_t>(v)); }

// Writes at most `width` bytes of the text and zero-fills the rest of the field.
inline void putText(std::span<std::uint8_t> b, std::size_t at, std::size_t width, std::string_view s) {
  for (std::size_t i = 0; i < width; ++i) b[at + i] = i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0;
}

}  // namespace vxreport::le
