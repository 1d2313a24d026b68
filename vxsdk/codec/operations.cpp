// The codec's operations on template bytes, the shrinking of a model, and the
// logic of the exported template functions.
#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "codec.h"

namespace vxcodec {
namespace {

using WorkArea = std::array<std::uint8_t, kMaxEncodedLength>;

// Copies an encoding into the destination; 0 when it does not fit. memmove,
// because callers may hand the source buffer as the destination.
std::size_t deliver(std::span<const std::uint8_t> encoded, std::span<std::uint8_t> dest) {
  if (encoded.empty() || encoded.size() > dest.size()) return 0;
  std::memmove(dest.data(), encoded.data(), encoded.size());
  return encoded.size();
}

}  // namespace

bool shrinkTemplate(TemplateModel& model, int k) {
  const int n = std::clamp(model.minutiaCount, 0, kMaxMinutiae);
  if (k <= 0) return true;
  if (k >= n) return false;

  // Centre: the mean and the middle of the extent, averaged.
  long long sumX = 0, sumY = 0;
  int minX = model.minutiae[0].x, maxX = minX, minY = model.minutiae[0].y, maxY = minY;
  for (int i = 0; i < n; ++i) {
    const Minutia& m = model.minutiae[i];
    sumX += m.x;
    sumY += m.y;
    minX = std::min(minX, m.x);
    maxX = std::max(maxX, m.x);
    minY = std::min(minY, m.y);
    maxY = std::max(maxY, m.y);
  }
  const long long cx = (sumX / n + (static_cast<long long>(minX) + maxX) / 2) / 2;
  const long long cy = (sumY / n + (static_cast<long long>(minY) + maxY) / 2) / 2;

  std::array<long long, kMaxMinutiae> distance{};
  for (int i = 0; i < n; ++i) {
    const long long dx = model.minutiae[i].x - cx, dy = model.minutiae[i].y - cy;
    distance[i] = dy * dy + dx * dx;
  }
  std::array<int, kMaxMinutiae> order{};
  std::iota(order.begin(), order.begin() + n, 0);
  // k bubble passes move the k farthest minutiae to the end; equal distances
  // keep their order.
  for (int pass = 0; pass < k; ++pass)
    for (int j = 1; j < n - pass; ++j)
      if (distance[order[j - 1]] > distance[order[j]]) std::swap(order[j - 1], order[j]);

  const int kept = n - k;
  std::array<Minutia, kMaxMinutiae> minutiae{};
  for (int i = 0; i < kept; ++i) minutiae[i] = model.minutiae[order[i]];
  model.minutiae = minutiae;
  model.minutiaCount = kept;
  return true;
}

std::size_t templateLength(std::span<const std::uint8_t> bytes) {
  TemplateModel model;
  return decodeTemplate(bytes, model);
}

std::size_t normaliseTemplate(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) {
  TemplateModel model;
  if (decodeTemplate(source, model) == 0) return 0;
  WorkArea work;
  const std::size_t n = encodeTokenForm(model, true, work);
  return deliver(std::span(work).first(n), dest);
}

std::size_t convertTemplate(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) {
  TemplateModel model;
  if (decodeTemplate(source, model) == 0) return 0;
  WorkArea work;
  const std::size_t n = encodeRangeForm(model, 1, true, work);
  return deliver(std::span(work).first(n), dest);
}

std::size_t fitTemplate(std::span<std::uint8_t> buffer, int maxLength) {
  TemplateModel model;
  if (decodeTemplate(buffer, model) == 0) return 0;
  // The result is copied over the template, so the buffer bounds it as well.
  const long long limit = std::min<long long>(maxLength, static_cast<long long>(buffer.size()));
  WorkArea work;
  auto length = static_cast<long long>(encodeTokenForm(model, true, work));
  if (length > limit) {
    length = static_cast<long long>(encodeTokenForm(model, false, work));
    if (length > limit) {
      // Each minutia takes 5 bytes: drop just enough of them.
      const long long drop = (length - limit + 4) / 5;
      if (drop >= model.minutiaCount || !shrinkTemplate(model, static_cast<int>(drop))) return 0;
      length = static_cast<long long>(encodeTokenForm(model, false, work));
    }
  }
  return deliver(std::span(work).first(static_cast<std::size_t>(length)), buffer);
}

// ---- Exported SDK functions ---------------------------------------------------

namespace {
constexpr int kOk = 1;
constexpr int kFailed = 4;
constexpr int kNullArgument = -1;
constexpr int kSmallestConverted = 51;   // range-form results below this are refused
constexpr int kSmallestNormalised = 51;  // token-form results of 50 bytes or less are refused
constexpr int kShortenAbove = 100;       // wanted maxima at or below this are ignored

std::span<const std::uint8_t> area(const unsigned char* p) { return {p, kTemplateArea}; }
std::span<std::uint8_t> area(unsigned char* p) { return {p, kTemplateArea}; }
}  // namespace

int fpTempLength(const unsigned char* templateData, int* length) {
  if (templateData == nullptr) return kNullArgument;
  const auto n = static_cast<int>(templateLength(area(templateData)));
  if (length != nullptr) *length = n;
  return n > 0 ? kOk : kFailed;
}

int setFpTempLength(unsigned char* templateData, int maxLength) {
  if (templateData == nullptr) return kNullArgument;
  return fitTemplate(area(templateData), maxLength) > 0 ? kOk : kFailed;
}

int fpTempConvert(const unsigned char* source, unsigned char* destination, int* length) {
  if (source == nullptr || destination == nullptr) return kNullArgument;
  const auto n = static_cast<int>(convertTemplate(area(source), area(destination)));
  if (n < kSmallestConverted) return kFailed;
  if (length != nullptr) *length = n;
  return kOk;
}

int fpTempConvertNew(const unsigned char* source, unsigned char* destination, int* length) {
  if (source == nullptr || destination == nullptr) return kNullArgument;
  auto n = static_cast<int>(normaliseTemplate(area(source), area(destination)));
  if (n < kSmallestNormalised) return kFailed;
  if (length != nullptr) {
    const int wanted = *length;
    if (wanted > kShortenAbove && wanted < static_cast<int>(kTemplateArea) && wanted < n) {
      n = static_cast<int>(fitTemplate(area(destination), wanted));
      if (n == 0) return kFailed;
    }
    *length = n;
  }
  return kOk;
}

}  // namespace vxcodec
