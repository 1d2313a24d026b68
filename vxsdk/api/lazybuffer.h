#pragma once
// A byte buffer whose pages cost nothing until they are written: it is a
// private anonymous mapping of its own, so its pages are zero-filled by the
// kernel on first touch and a connection that never fills its 6 MB download
// buffer or its batch areas does not hold them in resident memory. (calloc
// is not enough: once the C library has recycled a freed large block it
// clears the block by writing zeros, which makes every page resident.)
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxsdk {
class LazyBuffer {
 public:
  LazyBuffer() = default;
  ~LazyBuffer() { release(); }
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
    if (size > kLargest) return false;
    void* p = ::mmap(nullptr, mappedSize(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<std::uint8_t*>(p);
    size_ = size;
    return true;
  }
  // Grows to `size` bytes keeping the contents; the new bytes are zero.
  // False (and unchanged) when the memory is not available.
  bool grow(std::size_t size) {
    if (size <= size_) return true;
    if (size > kLargest) return false;
    if (data_ == nullptr) return allocate(size);
    void* p = ::mremap(data_, mappedSize(size_), mappedSize(size), MREMAP_MAYMOVE);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<std::uint8_t*>(p);
    size_ = size;
    return true;
  }
  void release() {
    if (data_ != nullptr) ::munmap(data_, mappedSize(size_));
    data_ = nullptr;
    size_ = 0;
  }

 private:
  // A mapping covers whole pages and at least one byte, so that an empty
  // allocation still yields a valid, distinct address.
  static constexpr std::size_t kPage = 4096;
  static constexpr std::size_t kLargest = std::size_t{1} << 40;
  static std::size_t mappedSize(std::size_t size) {
    const std::size_t bytes = size > 0 ? size : 1;
    return (bytes + kPage - 1) / kPage * kPage;
  }

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};
}  // namespace vxsdk
