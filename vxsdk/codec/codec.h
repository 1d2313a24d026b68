#pragma once
// Fingerprint template codec: reads the three byte forms a template can have
// (old, range and token form) into one model, and writes the model back in the
// token form or the range form. Pure computation on byte buffers: no device,
// no shared state. Every decoder reads untrusted bytes and never reads past the
// span it is given; every encoder writes only inside the span it is given.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vxcodec {

inline constexpr int kMaxMinutiae = 512;
inline constexpr int kMaxSingularPoints = 64;
inline constexpr int kGridSide = 128;
inline constexpr std::uint8_t kEmptyCell = 255;

// Size of the SDK's template work areas; the exported functions, which take no
// length, read and write at most this many bytes.
inline constexpr std::size_t kTemplateArea = 2048;

struct Minutia {
  std::int32_t x = 0;          // 0 to 511
  std::int32_t y = 0;          // 0 to 511
  std::int32_t direction = 0;  // 0 to 255
  std::int32_t auxA = 0;       // -1 to 62
  std::int32_t auxB = 0;       // 0 to 255
  bool operator==(const Minutia&) const = default;
};

struct SingularPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;      // 0 to 511
  std::int32_t angle = 0;
  std::int32_t type = 0;   // -1 to 6
  bool operator==(const SingularPoint&) const = default;
};

// Block-direction grid: a cell holds a direction 0 to 119, or kEmptyCell; only
// `height` rows and `width` columns are in use.
struct Grid {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::array<std::array<std::uint8_t, kGridSide>, kGridSide> cells;

  Grid() { clear(); }
  void clear();
  bool operator==(const Grid&) const = default;
};

struct TemplateModel {
  std::uint8_t quality = 0;
  std::int32_t minutiaCount = 0;
  std::array<Minutia, kMaxMinutiae> minutiae{};
  std::int32_t singularCount = 0;
  std::array<SingularPoint, kMaxSingularPoints> singularPoints{};
  Grid grid;

  // Back to a freshly decoded state: all zero, every grid cell empty.
  void clear();
  bool operator==(const TemplateModel&) const = default;
};

enum class Form { None, Old, Range, Token };

// The form selected by the first two bytes (little-endian magic).
Form templateForm(std::span<const std::uint8_t> bytes);

// ---- Decoding -----------------------------------------------------------------
// Each decoder starts from a cleared model. The result is the number of bytes
// the template occupies (the old form answers 1), or 0 when the bytes are not a
// template of that form (wrong magic, or truncated within the span).
std::size_t decodeOldForm(std::span<const std::uint8_t> bytes, TemplateModel& model);
std::size_t decodeRangeForm(std::span<const std::uint8_t> bytes, TemplateModel& model);
std::size_t decodeTokenForm(std::span<const std::uint8_t> bytes, TemplateModel& model);
std::size_t decodeTemplate(std::span<const std::uint8_t> bytes, TemplateModel& model);

// Reads a compressed grid (token form) into `grid`. Returns the bytes used, or
// 0 when the grid is malformed or truncated; the grid then keeps the cells
// decoded so far (none, with width and height 0, when a side is above 32).
std::size_t decodeCompressedGrid(std::span<const std::uint8_t> bytes, Grid& grid);

// ---- Encoding -----------------------------------------------------------------
// Widest encodings of any model, so that a work area of this size never stops
// an encoder.
inline constexpr int kMaxTokenGridSide = 32;
inline constexpr std::size_t kMaxCompressedGrid = 2 + kMaxTokenGridSide * kMaxTokenGridSide;
inline constexpr std::size_t kMaxTokenLength = 5 + 5 * kMaxMinutiae + 4 * 7 + kMaxCompressedGrid;
// The range form is kept to what its 16-bit length field (length × 64 + rows)
// can describe.
inline constexpr std::size_t kMaxRangeLength = 1023;
inline constexpr std::size_t kMaxEncodedLength = kMaxTokenLength;

// The encoders write into `out` and return the length, or 0 when the encoding
// does not fit `out` (nothing is written past its end). They never change the
// model, so repeated encodings are identical.
std::size_t encodeTokenForm(const TemplateModel& model, bool withGrid, std::span<std::uint8_t> out);
std::size_t encodeRangeForm(const TemplateModel& model, int mode, bool withGrid,
                            std::span<std::uint8_t> out);
// The compressed grid alone (the model's grid must be 1 to 32 on each side).
std::size_t encodeCompressedGrid(const Grid& grid, std::span<std::uint8_t> out);

// Shortest token sequence for a run of values below 120, given the running
// value `last` before it. Ties go to the earlier candidate: equal-value runs,
// then delta pairs, then a literal. Works on runs of any length in time linear
// in the length.
std::vector<std::uint8_t> encodeRun(std::span<const std::uint8_t> values, int last);

// Drops `k` minutiae farthest from the centre of the minutiae. k <= 0 changes
// nothing; false (model unchanged) when k >= minutiaCount.
bool shrinkTemplate(TemplateModel& model, int k);

// ---- Operations ---------------------------------------------------------------
// Bytes the template occupies (1 for the old form), 0 when it is not one.
std::size_t templateLength(std::span<const std::uint8_t> bytes);
// The source rewritten in token form with its grid into `dest`; 0 when the
// source is not a template or the result does not fit `dest`. Source and
// destination may overlap.
std::size_t normaliseTemplate(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest);
// The source rewritten in range form (mode 1, with grid) into `dest`; 0 as above.
std::size_t convertTemplate(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest);
// Re-encodes the template held in `buffer` in token form so that it fits
// maxLength bytes: first with its grid, then without, then without the grid and
// with the minutiae farthest from the centre dropped. The buffer's size is the
// upper limit too. Returns the new length, 0 when the bytes are not a template
// or cannot be shrunk enough (the buffer is then unchanged).
std::size_t fitTemplate(std::span<std::uint8_t> buffer, int maxLength);

// ---- Exported SDK functions ---------------------------------------------------
// The logic of VX_FPTempLength, VX_SetFPTempLength, VX_FPTempConvert and
// VX_FPTempConvertNew: template buffers are kTemplateArea bytes. Results: 1
// success, 4 failed, -1 a null template or destination.
int fpTempLength(const unsigned char* templateData, int* length);
int setFpTempLength(unsigned char* templateData, int maxLength);
int fpTempConvert(const unsigned char* source, unsigned char* destination, int* length);
int fpTempConvertNew(const unsigned char* source, unsigned char* destination, int* length);

}  // namespace vxcodec
