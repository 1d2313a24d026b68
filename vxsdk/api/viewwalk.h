#pragma once
// Walking a download view record by record. The view's numbers come from the
// device, so every step is bounded by the view and by what the buffer really
// holds: a record cut off at either end is never handed out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "vxsdk/api/connection.h"

namespace vxsdk {
// The bytes from the cursor to the end of the view (or of the buffer, if it
// ends first); empty when the view is exhausted or the buffer is missing.
inline std::span<const std::uint8_t> viewRemainder(const View& v, const LazyBuffer& buffer) {
  if (!buffer.allocated() || v.length <= 0) return {};
  const std::size_t end = std::min(v.start + static_cast<std::size_t>(v.length), buffer.size());
  if (v.cursor >= end) return {};
  return buffer.span().subspan(v.cursor, end - v.cursor);
}

// Takes `size` bytes at the cursor and moves past them. A record cut off at
// the end is not handed out: the cursor goes to the end of the view instead,
// so the walk is over.
inline std::optional<std::span<const std::uint8_t>> takeRecord(View& v, const LazyBuffer& buffer,
                                                               std::size_t size) {
  const auto rest = viewRemainder(v, buffer);
  if (rest.empty()) return std::nullopt;
  if (rest.size() < size) {
    v.cursor += rest.size();
    return std::nullopt;
  }
  v.cursor += size;
  return rest.first(size);
}

// The text of a zero-padded field: up to its first zero, or the whole field
// when it has none.
inline std::string_view fieldText(std::span<const std::uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
  return {reinterpret_cast<const char*>(field.data()), static_cast<std::size_t>(end - field.begin())};
}

// Copies at most `limit` characters of a text and a terminator into a
// caller's buffer of `limit` + 1 bytes.
inline void copyText(char* out, std::string_view text, std::size_t limit) {
  if (out == nullptr) return;
  const std::size_t n = std::min(text.size(), limit);
  std::copy_n(text.data(), n, out);
  out[n] = '\0';
}

// Fills exactly `width` bytes of a caller's buffer with the text, zero-padded;
// a text of `width` characters or more gets no terminator.
inline void copyPadded(char* out, std::string_view text, std::size_t width) {
  if (out == nullptr) return;
  const std::size_t n = std::min(text.size(), width);
  std::copy_n(text.data(), n, out);
  std::fill(out + n, out + width, '\0');
}

template <class T, class V>
inline void put(T* out, V value) {
  if (out != nullptr) *out = static_cast<T>(value);
}
}  // namespace vxsdk
