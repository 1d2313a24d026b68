// Encoders of the token form and the range form, and the grid compressor.
// All of them write through a ByteWriter and so never past the output span.
#include <algorithm>

#include "bytes.h"
#include "codec.h"
#include "runcode.h"

namespace vxcodec {
namespace {

constexpr int kStartValue = 126;
constexpr int kMaxTokenCount = 1023;  // ten bits in the token-form header
constexpr int kMaxTokenSingular = 7;
constexpr int kMaxRangeCount = 63;
constexpr int kMaxRangeSingular = 3;
constexpr int kMaxRangeSide = 63;  // six bits in the range-form header

int clampTo(int v, int lo, int hi) { return std::clamp(v, lo, hi); }

// 5-byte minutia: x * 128 + y / 4 (16 bits), then the low bits of y with
// auxA + 1, auxB and the direction.
void writeMinutia(const Minutia& m, ByteWriter& out) {
  const int x = clampTo(m.x, 0, 511), y = clampTo(m.y, 0, 511);
  out.u16(static_cast<std::uint16_t>(x * 128 + y / 4));
  out.u8(static_cast<std::uint8_t>((y % 4) * 64 + ((m.auxA + 1) & 0x3F)));
  out.u8(static_cast<std::uint8_t>(m.auxB));
  out.u8(static_cast<std::uint8_t>(m.direction));
}

// 4-byte singular point: x (11 bits), y (9), type + 1 (3), angle (9).
void writeSingularPoint(const SingularPoint& p, ByteWriter& out) {
  const auto x = static_cast<std::uint32_t>(clampTo(p.x, 0, 511));
  const auto y = static_cast<std::uint32_t>(clampTo(p.y, 0, 511));
  const auto type = static_cast<std::uint32_t>(clampTo(p.type + 1, 0, 7));
  const auto angle = static_cast<std::uint32_t>(clampTo(p.angle, 0, 359));
  out.u32(((((x << 9) | y) << 3) | type) << 9 | angle);
}

// The `count` minutiae in the middle of the model's list.
void writeMiddleMinutiae(const TemplateModel& model, int total, int count, ByteWriter& out) {
  const int first = (total - count) / 2;
  for (int i = first; i < first + count; ++i) writeMinutia(model.minutiae[i], out);
}

bool rowHasCells(const Grid& grid, int row, int fromCol) {
  for (int c = fromCol; c < grid.width; ++c)
    if (grid.cells[row][c] != kEmptyCell) return true;
  return false;
}

void writeCompressedGrid(const Grid& grid, ByteWriter& out) {
  const int width = grid.width, height = grid.height;
  out.u8(static_cast<std::uint8_t>(width - 1));
  out.u8(static_cast<std::uint8_t>(height - 1));
  std::array<bool, kGridSide> used{};
  for (int r = 0; r < height; ++r) used[r] = rowHasCells(grid, r, 0);

  int r = 0;
  while (r < height) {
    const auto& cells = grid.cells[r];
    int last = kStartValue;
    int c = 0;
    bool rowDone = false;  // the row ended with a token that moves to another row
    while (c < width) {
      int e = c;
      while (e < width && cells[e] == kEmptyCell) ++e;
      if (e == width) {  // the rest of the row is empty
        int next = r + 1;
        while (next < height && !used[next]) ++next;
        if (next == height) {
          out.u8(0xE0);  // so is the rest of the grid
          return;
        }
        if (next == r + 1) {
          out.u8(0xC0);
          r = next;
        } else {
          const int skip = std::min(next - r - 1, 31);
          out.u8(static_cast<std::uint8_t>(0xE0 + skip));
          r += skip + 1;
        }
        rowDone = true;
        break;
      }
      if (e - c >= 2) {  // two or more empty cells
        const int k = std::min(e - c - 1, 31);
        out.u8(static_cast<std::uint8_t>(0xC0 + k));
        c += k + 1;
        last = kStartValue;
        continue;
      }
      int end = c;
      while (end < width && cells[end] < 120) ++end;
      if (end > c) {
        writeRun(std::span<const std::uint8_t>(cells.data() + c, static_cast<std::size_t>(end - c)),
                 last, out);
        last = cells[end - 1];
        c = end;
        continue;
      }
      const std::uint8_t v = cells[c];
      if (v == kEmptyCell) {
        out.u8(0x7E);
        last = kStartValue;
      } else if (v == 120) {
        out.u8(0x78);
        last = 120;
      } else {  // 121 to 254 read back as 127
        out.u8(0x7F);
        last = 0x7F;
      }
      ++c;
    }
    if (!rowDone) ++r;
  }
}

bool gridEncodable(const Grid& grid) {
  return grid.width > 0 && grid.width <= kMaxTokenGridSide && grid.height > 0 &&
         grid.height <= kMaxTokenGridSide;
}

}  // namespace

std::size_t encodeCompressedGrid(const Grid& grid, std::span<std::uint8_t> out) {
  if (!gridEncodable(grid)) return 0;
  ByteWriter w(out);
  writeCompressedGrid(grid, w);
  return w.result();
}

std::size_t encodeTokenForm(const TemplateModel& model, bool withGrid, std::span<std::uint8_t> out) {
  const int total = clampTo(model.minutiaCount, 0, kMaxMinutiae);
  const int n = std::min(total, kMaxTokenCount);
  const int s = std::min(clampTo(model.singularCount, 0, kMaxSingularPoints), kMaxTokenSingular);
  const bool grid = withGrid && gridEncodable(model.grid);

  ByteWriter w(out);
  w.u16(0xCAA1);
  w.u8(static_cast<std::uint8_t>(n & 0xFF));
  w.u8(static_cast<std::uint8_t>(((n >> 8) & 3) << 5 | (grid ? 0x80 : 0) | s));
  w.u8(model.quality);
  writeMiddleMinutiae(model, total, n, w);
  for (int i = 0; i < s; ++i) writeSingularPoint(model.singularPoints[i], w);
  if (grid) writeCompressedGrid(model.grid, w);
  return w.result();
}

std::size_t encodeRangeForm(const TemplateModel& model, int mode, bool withGrid,
                            std::span<std::uint8_t> out) {
  const int total = clampTo(model.minutiaCount, 0, kMaxMinutiae);
  const int n = std::min(total, kMaxRangeCount);
  const int s = std::min(clampTo(model.singularCount, 0, kMaxSingularPoints), kMaxRangeSingular);
  const Grid& grid = model.grid;
  const int side = clampTo(std::max(grid.width, grid.height), 0, kMaxRangeSide);
  constexpr std::size_t limit = kMaxRangeLength;

  ByteWriter w(out);
  w.u16(0xCAA0);
  w.u8(static_cast<std::uint8_t>(side * 4 | (mode & 3)));
  constexpr std::size_t lengthField = 3;
  w.u16(0);  // length and rows, filled in last
  w.u8(static_cast<std::uint8_t>(n << 2 | s));
  w.u8(model.quality);
  writeMiddleMinutiae(model, total, n, w);
  for (int i = 0; i < s; ++i) writeSingularPoint(model.singularPoints[i], w);

  int rows = 0;
  if (withGrid) {
    // Rows in centre-out order while a row header and one cell still fit.
    int down = side / 2, up = side / 2 + 1;
    for (int step = 1; step <= side + 1 && w.size() + 3 <= limit; ++step) {
      const int row = (step % 2 == 1) ? down-- : up++;
      if (row < 1 || row > side) continue;
      const auto& cells = grid.cells[row - 1];
      int last = side - 1;
      while (last > 0 && cells[last] == kEmptyCell) --last;
      int first = 0;
      while (first < last && cells[first] == kEmptyCell) ++first;
      // A row cut short by the length limit carries the last column written.
      const int room = static_cast<int>(limit - w.size()) - 2;
      last = std::min(last, first + room - 1);
      w.u8(static_cast<std::uint8_t>(first));
      w.u8(static_cast<std::uint8_t>(last));
      for (int c = first; c <= last; ++c) w.u8(cells[c]);
      ++rows;
    }
  }
  w.patchU16(lengthField, static_cast<std::uint16_t>(w.size() * 64 + rows));
  return w.result();
}

}  // namespace vxcodec
