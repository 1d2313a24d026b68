// Decoders of the three template forms. Every read is bounded by the span;
// a template that claims more bytes than the span holds is not a template.
#include "bytes.h"
#include "codec.h"

namespace vxcodec {
namespace {

constexpr std::uint16_t kOldMagic = 0x432A;
constexpr int kMaxTokenMinutiae = 250;
constexpr int kStartValue = 126;  // running value at a row start and after empty cells

// Old-form angles and directions are stored in degrees (0 to 511 as read) and
// kept in the model as 120 steps per half turn, counted the other way round.
std::int32_t oldFormAngle(std::uint32_t degrees) {
  std::int32_t a = 120 - static_cast<std::int32_t>(degrees) * 120 / 180;
  if (a < 0) a += 240;
  return a;
}

// 5-byte minutia of the range and token forms.
Minutia readMinutia(ByteReader& in) {
  const std::uint8_t m0 = in.u8(), m1 = in.u8(), m2 = in.u8(), m3 = in.u8(), m4 = in.u8();
  Minutia m;
  m.x = (m1 * 256 + m0) >> 7;
  m.y = (m0 & 0x7F) * 4 + (m2 >> 6);
  m.auxA = (m2 & 0x3F) - 1;
  m.auxB = m3;
  m.direction = m4;
  return m;
}

// 4-byte singular point; the angle is converted by the caller for the old form.
SingularPoint readSingularPoint(std::uint32_t v) {
  SingularPoint p;
  p.x = static_cast<std::int32_t>(v >> 21);
  p.y = static_cast<std::int32_t>((v >> 12) & 0x1FF);
  p.type = static_cast<std::int32_t>((v >> 9) & 7) - 1;
  p.angle = static_cast<std::int32_t>(v & 0x1FF);
  return p;
}

bool readMinutiae(ByteReader& in, TemplateModel& model) {
  if (!in.has(5 * static_cast<std::size_t>(model.minutiaCount))) return false;
  for (int i = 0; i < model.minutiaCount; ++i) model.minutiae[i] = readMinutia(in);
  return true;
}

bool readSingularPoints(ByteReader& in, TemplateModel& model) {
  if (!in.has(4 * static_cast<std::size_t>(model.singularCount))) return false;
  for (int i = 0; i < model.singularCount; ++i) model.singularPoints[i] = readSingularPoint(in.u32());
  return true;
}

// Row-range grid of the old and range forms: `stored` rows, rows 1 to n taken
// in centre-out order (n/2, n/2 + 1, n/2 - 1, ...). Each stored row is a first
// and last column and the cells between them; row r is model row r - 1.
// Columns at or beyond n are read but lie outside the grid in use.
bool readRowRangeGrid(ByteReader& in, int n, int stored, Grid& grid) {
  grid.width = grid.height = n;
  int down = n / 2, up = n / 2 + 1;
  for (int step = 1; step <= n + 1 && stored > 0; ++step) {
    const int row = (step % 2 == 1) ? down-- : up++;
    if (row < 1 || row > n) continue;
    if (!in.has(2)) return false;
    const int first = in.u8(), last = in.u8();
    if (first > last) return false;
    const std::size_t count = static_cast<std::size_t>(last - first + 1);
    if (!in.has(count)) return false;
    for (int c = first; c <= last; ++c) {
      const std::uint8_t v = in.u8();
      if (c < n) grid.cells[row - 1][c] = v;
    }
    --stored;
  }
  return true;
}

}  // namespace

void Grid::clear() {
  width = height = 0;
  for (auto& row : cells) row.fill(kEmptyCell);
}

void TemplateModel::clear() {
  quality = 0;
  minutiaCount = singularCount = 0;
  minutiae.fill(Minutia{});
  singularPoints.fill(SingularPoint{});
  grid.clear();
}

Form templateForm(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return Form::None;
  const unsigned magic = bytes[0] | bytes[1] << 8;
  if (magic == kOldMagic) return Form::Old;
  if ((magic & 0xFF00) == 0xCA00 && (magic & 0x7F) <= 32) return Form::Range;
  if ((magic & 0xFFC0) == 0xCA80 && (magic & 0x7F) >= 33) return Form::Token;
  return Form::None;
}

std::size_t decodeOldForm(std::span<const std::uint8_t> bytes, TemplateModel& model) {
  model.clear();
  if (templateForm(bytes) != Form::Old) return 0;
  ByteReader in(bytes);
  in.skip(2);
  if (!in.has(8)) return 0;
  const int n = in.u8() >> 2;
  const std::uint8_t counts = in.u8();
  model.singularCount = counts & 3;
  model.minutiaCount = counts >> 2;
  model.quality = in.u8();
  // Up to four 1-based minutia numbers whose row needs two more bits, and
  // those bits, two per listed minutia, lowest first.
  std::array<std::uint8_t, 4> extended{};
  for (auto& e : extended) e = in.u8();
  const std::uint8_t extensionBits = in.u8();

  if (!in.has(4 * static_cast<std::size_t>(model.minutiaCount))) return 0;
  std::size_t nextExtended = 0;
  for (int i = 0; i < model.minutiaCount; ++i) {
    const std::uint16_t v = in.u16(), w = in.u16();
    Minutia& m = model.minutiae[i];
    m.x = v >> 7;
    m.y = v & 0x7F;
    if (nextExtended < extended.size() && extended[nextExtended] == i + 1) {
      m.y |= ((extensionBits >> (2 * nextExtended)) & 3) << 7;
      ++nextExtended;
    }
    if (i > 0) m.y += model.minutiae[i - 1].y;  // the row is delta-coded
    m.auxB = w & 0x7F;
    m.direction = oldFormAngle(w >> 7);
    m.auxA = 0;
  }
  if (!in.has(4 * static_cast<std::size_t>(model.singularCount))) return 0;
  for (int i = 0; i < model.singularCount; ++i) {
    const std::uint32_t v = in.u32();
    model.singularPoints[i] = readSingularPoint(v);
    model.singularPoints[i].angle = oldFormAngle(v & 0x1FF);
  }
  if (n != 0) {
    const int stored = in.u8();
    if (!in.ok() || !readRowRangeGrid(in, n, stored, model.grid)) return 0;
  }
  return 1;
}

std::size_t decodeRangeForm(std::span<const std::uint8_t> bytes, TemplateModel& model) {
  model.clear();
  if (templateForm(bytes) != Form::Range) return 0;
  ByteReader in(bytes);
  in.skip(2);
  if (!in.has(5)) return 0;
  const int n = in.u8() >> 2;  // the low two bits are the mode
  const int stored = in.u8() & 0x3F;
  in.skip(1);
  const std::uint8_t counts = in.u8();
  model.singularCount = counts & 3;
  model.minutiaCount = counts >> 2;
  model.quality = in.u8();
  if (!readMinutiae(in, model) || !readSingularPoints(in, model)) return 0;
  if (n != 0 && !readRowRangeGrid(in, n, stored, model.grid)) return 0;
  return in.pos();
}

std::size_t decodeTokenForm(std::span<const std::uint8_t> bytes, TemplateModel& model) {
  model.clear();
  if (templateForm(bytes) != Form::Token) return 0;
  ByteReader in(bytes);
  in.skip(2);
  if (!in.has(3)) return 0;
  const std::uint8_t low = in.u8(), flags = in.u8();
  const int count = low | ((flags >> 5) & 3) << 8;
  if (count > kMaxTokenMinutiae) return 0;
  model.minutiaCount = count;
  model.singularCount = flags & 7;
  model.quality = in.u8();
  if (!readMinutiae(in, model) || !readSingularPoints(in, model)) return 0;
  const std::size_t gridStart = in.pos();
  if ((flags & 0x80) == 0) return gridStart;
  // A grid that cannot be read ends the template where the grid began.
  return gridStart + decodeCompressedGrid(in.rest(), model.grid);
}

std::size_t decodeTemplate(std::span<const std::uint8_t> bytes, TemplateModel& model) {
  switch (templateForm(bytes)) {
    case Form::Old: return decodeOldForm(bytes, model);
    case Form::Range: return decodeRangeForm(bytes, model);
    case Form::Token: return decodeTokenForm(bytes, model);
    case Form::None: break;
  }
  model.clear();
  return 0;
}

std::size_t decodeCompressedGrid(std::span<const std::uint8_t> bytes, Grid& grid) {
  grid.clear();
  ByteReader in(bytes);
  if (!in.has(2)) return 0;
  const int width = in.u8() + 1, height = in.u8() + 1;
  if (width > kMaxTokenGridSide || height > kMaxTokenGridSide) return 0;
  grid.width = width;
  grid.height = height;

  // Cells are filled row by row; a token may carry on into the next row.
  int row = 0, col = 0, last = kStartValue;
  const auto remaining = [&] { return width * height - (row * width + col); };
  const auto put = [&](std::uint8_t v) {
    grid.cells[row][col] = v;
    if (++col == width) {
      col = 0;
      ++row;
      last = kStartValue;
    }
  };

  while (row < height) {
    if (!in.has(1)) return 0;
    const std::uint8_t token = in.u8();
    if (token < 0x80) {
      if (token == 0x7E) {  // one empty cell
        last = kStartValue;
        put(kEmptyCell);
      } else {
        last = token;
        put(token);
      }
      continue;
    }
    const int k = token & 0x1F;
    const int kind = token & 0xE0;
    // Counts of cells cannot exceed the row width. (Row counts of 0xE0 tokens
    // are bounded by the height below: the encoder writes them for narrow
    // grids too.)
    if (kind != 0xE0 && k > width) return 0;
    switch (kind) {
      case 0x80: {  // k + 1 cells with the running value
        if (k + 1 > remaining()) return 0;
        const auto v = static_cast<std::uint8_t>(last);
        for (int i = 0; i <= k; ++i) put(v);
        break;
      }
      case 0xA0: {  // k + 1 bytes, two deltas each
        if (!in.has(static_cast<std::size_t>(k) + 1) || 2 * (k + 1) > remaining()) return 0;
        for (int i = 0; i <= k; ++i) {
          const std::uint8_t pair = in.u8();
          for (const int d : {pair >> 4, pair & 0x0F}) {
            last += d - 8;
            if (last < 0) last += 120;
            else if (last >= 120) last -= 120;
            put(static_cast<std::uint8_t>(last));
          }
        }
        break;
      }
      case 0xC0:
        if (k == 0) {  // the rest of the row is empty
          col = 0;
          ++row;
        } else {  // k + 1 empty cells
          if (k + 1 > remaining()) return 0;
          for (int i = 0; i <= k; ++i) put(kEmptyCell);
        }
        last = kStartValue;
        break;
      default:  // 0xE0
        if (k == 0) return in.pos();  // the rest of the grid is empty
        if (row + k + 1 > height) return 0;
        row += k + 1;
        col = 0;
        last = kStartValue;
        break;
    }
  }
  return in.pos();
}

}  // namespace vxcodec
