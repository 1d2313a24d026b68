// Fuzz target of the template codec: the four operations and the exported
// functions' logic on arbitrary bytes, with the properties every result must
// have checked as it goes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "vxsdk/codec/codec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool ok) {
  if (!ok) std::abort();
}

// The first byte steers the input towards one form (or none), and gives the
// size limit for fitTemplate with the next two.
struct Input {
  Bytes bytes;
  int maxLength = 0;
};

Input shape(const std::uint8_t* data, std::size_t size) {
  Input in;
  if (size < 3) {
    in.bytes.assign(data, data + size);
    return in;
  }
  const std::uint8_t mode = data[0];
  in.maxLength = static_cast<std::int16_t>(data[1] | data[2] << 8);
  if (mode & 0x80) in.maxLength = data[1] | (data[2] & 0x07) << 8;  // mostly 0 to 2047
  static constexpr std::uint8_t prefixes[4][2] = {{0, 0}, {0xA1, 0xCA}, {0xA0, 0xCA}, {0x2A, 0x43}};
  if ((mode & 3) != 0) in.bytes.assign(prefixes[mode & 3], prefixes[mode & 3] + 2);
  in.bytes.insert(in.bytes.end(), data + 3, data + size);
  return in;
}

void checkOperations(const Bytes& t, int maxLength) {
  const std::size_t length = vxcodec::templateLength(t);
  const bool isTemplate = length > 0;
  if (vxcodec::templateForm(t) != vxcodec::Form::Old) check(length <= t.size());

  // Normalising gives a token-form template that normalises to itself.
  Bytes normal(vxcodec::kMaxEncodedLength);
  const std::size_t n = vxcodec::normaliseTemplate(t, normal);
  check((n > 0) == isTemplate);
  if (n > 0) {
    normal.resize(n);
    check(vxcodec::templateLength(normal) == n);
    Bytes again(vxcodec::kMaxEncodedLength);
    check(vxcodec::normaliseTemplate(normal, again) == n);
    check(std::memcmp(again.data(), normal.data(), n) == 0);
  }

  // The range form stays within its length field.
  Bytes range(vxcodec::kMaxEncodedLength);
  const std::size_t r = vxcodec::convertTemplate(t, range);
  check((r > 0) == isTemplate);
  check(r <= vxcodec::kMaxRangeLength);
  if (r > 0) check(vxcodec::templateLength(std::span(range).first(r)) == r);

  // Fitting stays within the limit and the buffer.
  Bytes buffer = t;
  const std::size_t f = vxcodec::fitTemplate(buffer, maxLength);
  if (f > 0) {
    check(isTemplate);
    check(static_cast<long long>(f) <= maxLength && f <= t.size());
    check(vxcodec::templateLength(std::span(buffer).first(f)) == f);
  } else {
    check(buffer == t);
  }
}

void checkExports(const Bytes& t, int maxLength) {
  Bytes area(vxcodec::kTemplateArea, 0);
  if (!t.empty()) std::memcpy(area.data(), t.data(), std::min(t.size(), area.size()));
  Bytes dest(vxcodec::kTemplateArea);
  int length = 0;
  const int lengthResult = vxcodec::fpTempLength(area.data(), &length);
  check(lengthResult == 1 || lengthResult == 4);
  const int converted = vxcodec::fpTempConvert(area.data(), dest.data(), &length);
  check(converted == 1 || converted == 4);
  length = maxLength;
  const int normalised = vxcodec::fpTempConvertNew(area.data(), dest.data(), &length);
  check(normalised == 1 || normalised == 4);
  if (normalised == 1) check(length > 0 && length <= static_cast<int>(vxcodec::kTemplateArea));
  const int fitted = vxcodec::setFpTempLength(area.data(), maxLength);
  check(fitted == 1 || fitted == 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Input in = shape(data, size);
  checkOperations(in.bytes, in.maxLength);
  checkExports(in.bytes, in.maxLength);
  return 0;
}
