#pragma once
// Bounded little-endian reading and writing over spans, for the codec's
// decoders and encoders.
#include <cstddef>
#include <cstdint>
#include <span>

namespace vxcodec {

// Reads from a span; a read past its end yields 0 and marks the reader failed.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool has(std::size_t n) const { return bytes_.size() - pos_ >= n; }
  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  std::span<const std::uint8_t> rest() const { return bytes_.subspan(pos_); }
  void skip(std::size_t n) {
    if (!has(n)) {
      fail();
      return;
    }
    pos_ += n;
  }

  std::uint8_t u8() {
    if (!has(1)) {
      fail();
      return 0;
    }
    return bytes_[pos_++];
  }
  std::uint16_t u16() {
    if (!has(2)) {
      fail();
      return 0;
    }
    const std::uint16_t v = static_cast<std::uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  std::uint32_t u32() {
    if (!has(4)) {
      fail();
      return 0;
    }
    const std::uint32_t v = static_cast<std::uint32_t>(bytes_[pos_]) |
                            static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
                            static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 16 |
                            static_cast<std::uint32_t>(bytes_[pos_ + 3]) << 24;
    pos_ += 4;
    return v;
  }

 private:
  void fail() {
    ok_ = false;
    pos_ = bytes_.size();
  }
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Writes into a span. Past its end nothing is written, the writer keeps
// counting the length the encoding would have, and ok() turns false.
class ByteWriter {
 public:
  explicit ByteWriter(std::span<std::uint8_t> out) : out_(out) {}

  bool ok() const { return pos_ <= out_.size(); }
  std::size_t size() const { return pos_; }
  std::size_t result() const { return ok() ? pos_ : 0; }

  void u8(std::uint8_t v) {
    if (pos_ < out_.size()) out_[pos_] = v;
    ++pos_;
  }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  // Overwrites two bytes already written (a field filled in last).
  void patchU16(std::size_t at, std::uint16_t v) {
    if (at + 2 <= out_.size()) {
      out_[at] = static_cast<std::uint8_t>(v);
      out_[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
  }

 private:
  std::span<std::uint8_t> out_;
  std::size_t pos_ = 0;
};

}  // namespace vxcodec
