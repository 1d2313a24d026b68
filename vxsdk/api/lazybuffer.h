#pragma once
// A byte buffer whose pages cost nothing until they are written: it is
// obtained zero-filled from the allocator (large blocks are fresh mappings),
// so a connection that never fills its 6 MB download buffer or its batch areas
// does not hold them in resident memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace vxsdk {
class LazyBuffer {
 public:
  LazyBuffer() = default;
  ~LazyBuffer() { std::free(data_); }
  LazyBuffer(const LazyBuffer&) = delete;
  LazyBuffer& operator=(const LazyBuffer&) = delete;

  bool allocated() const { return data_ != nullptr; }
  std::size_t size() const { return size_; }
  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::span<std::uint8_t> span() { return {data_, size_}; }
  std::span<const std::uint8_t> span() const { return {data_, size_}; }

  // Allocates `size` zero-filled bytes, dropping what was there; false when
  // the memory is not available (the buffer is then empty).
  bool allocate(std::size_t size) {
    release();
    data_ = static_cast<std::uint8_t*>(std::calloc(size > 0 ? size : 1, 1));
    size_ = data_ ? size : 0;
    return data_ != nullptr;
  }
  // Grows to `size` bytes keeping the contents; false (and unchanged) when
  // the memory is not available.
  bool grow(std::size_t size) {
    if (size <= size_) return true;
    auto* bigger = static_cast<std::uint8_t*>(std::realloc(data_, size));
    if (bigger == nullptr) return false;
    data_ = bigger;
    size_ = size;
    return true;
  }
  void release() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
  }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};
}  // namespace vxsdk
