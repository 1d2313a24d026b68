#pragma once
// Builders for template fixtures: each writes the byte layout of one form from
// named fields, so that a test reads as the template it describes.
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "vxsdk/codec/codec.h"

namespace codectest {

using Bytes = std::vector<std::uint8_t>;
constexpr int E = -1;  // an empty grid cell in the row tables of the tests

inline void put8(Bytes& b, int v) { b.push_back(static_cast<std::uint8_t>(v)); }
inline void put16(Bytes& b, int v) {
  put8(b, v & 0xFF);
  put8(b, (v >> 8) & 0xFF);
}
inline void put32(Bytes& b, std::uint32_t v) {
  put16(b, static_cast<int>(v & 0xFFFF));
  put16(b, static_cast<int>(v >> 16));
}

// 5-byte minutia of the range and token forms.
inline void putMinutia(Bytes& b, const vxcodec::Minutia& m) {
  put16(b, m.x * 128 + m.y / 4);
  put8(b, (m.y % 4) * 64 + (m.auxA + 1));
  put8(b, m.auxB);
  put8(b, m.direction);
}

// 32-bit singular point word: x 11 bits, y 9, type + 1 3, angle 9.
inline std::uint32_t singularWord(int x, int y, int typePlusOne, int angle) {
  return static_cast<std::uint32_t>(x) << 21 | static_cast<std::uint32_t>(y) << 12 |
         static_cast<std::uint32_t>(typePlusOne) << 9 | static_cast<std::uint32_t>(angle);
}

// Tokens of a compressed grid, named after what they mean.
class GridTokens {
 public:
  GridTokens(int width, int height) {
    put8(bytes_, width - 1);
    put8(bytes_, height - 1);
  }
  GridTokens& value(int v) { return raw(v); }                // one cell (0x00 to 0x7D, 0x7F)
  GridTokens& empty() { return raw(0x7E); }                  // one empty cell
  GridTokens& repeat(int cells) { return raw(0x80 + cells - 1); }  // copies of the running value
  GridTokens& deltas(std::initializer_list<int> ds) {        // pairs of deltas -8 to 7
    raw(0xA0 + static_cast<int>(ds.size()) / 2 - 1);
    for (auto it = ds.begin(); it != ds.end(); it += 2) raw((*it + 8) * 16 + (*(it + 1) + 8));
    return *this;
  }
  GridTokens& emptyCells(int n) { return raw(0xC0 + n - 1); }  // n >= 2
  GridTokens& restOfRowEmpty() { return raw(0xC0); }
  GridTokens& restOfGridEmpty() { return raw(0xE0); }
  GridTokens& rowsEmpty(int k) { return raw(0xE0 + k); }  // rest of this row and k more
  GridTokens& raw(int b) {
    put8(bytes_, b);
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Token form (magic 0xCAA1).
class TokenForm {
 public:
  TokenForm& quality(int q) { quality_ = q; return *this; }
  TokenForm& minutia(const vxcodec::Minutia& m) { minutiae_.push_back(m); return *this; }
  TokenForm& minutiae(int n) {  // n distinct, plausible minutiae
    for (int i = 0; i < n; ++i) minutia({(i * 37) % 512, (i * 91) % 512, (i * 13) % 256, i % 64 - 1, i % 256});
    return *this;
  }
  TokenForm& claimedCount(int n) { claimed_ = n; return *this; }  // header count differing from the list
  TokenForm& singular(std::uint32_t word) { singular_.push_back(word); return *this; }
  TokenForm& grid(const GridTokens& g) { grid_ = g.bytes(); hasGrid_ = true; return *this; }
  TokenForm& magic(int m) { magic_ = m; return *this; }

  std::size_t gridStart() const { return 5 + 5 * minutiae_.size() + 4 * singular_.size(); }
  Bytes build() const {
    Bytes b;
    const int n = claimed_ >= 0 ? claimed_ : static_cast<int>(minutiae_.size());
    put16(b, magic_);
    put8(b, n & 0xFF);
    put8(b, ((n >> 8) & 3) << 5 | (hasGrid_ ? 0x80 : 0) | static_cast<int>(singular_.size()));
    put8(b, quality_);
    for (const auto& m : minutiae_) putMinutia(b, m);
    for (auto w : singular_) put32(b, w);
    b.insert(b.end(), grid_.begin(), grid_.end());
    return b;
  }

 private:
  int magic_ = 0xCAA1, quality_ = 0, claimed_ = -1;
  std::vector<vxcodec::Minutia> minutiae_;
  std::vector<std::uint32_t> singular_;
  Bytes grid_;
  bool hasGrid_ = false;
};

// A stored row of a row-range grid: first column and the cells from there.
struct StoredRow {
  int first;
  std::vector<int> cells;  // E for an empty cell
};

inline void putRows(Bytes& b, const std::vector<StoredRow>& rows) {
  for (const auto& r : rows) {
    put8(b, r.first);
    put8(b, r.first + static_cast<int>(r.cells.size()) - 1);
    for (int c : r.cells) put8(b, c == E ? 255 : c);
  }
}

// Range form (magic 0xCAA0 unless set); rows are given in centre-out order.
class RangeForm {
 public:
  RangeForm& side(int n) { side_ = n; return *this; }
  RangeForm& mode(int m) { mode_ = m; return *this; }
  RangeForm& quality(int q) { quality_ = q; return *this; }
  RangeForm& minutia(const vxcodec::Minutia& m) { minutiae_.push_back(m); return *this; }
  RangeForm& singular(std::uint32_t word) { singular_.push_back(word); return *this; }
  RangeForm& row(StoredRow r) { rows_.push_back(std::move(r)); return *this; }
  RangeForm& magic(int m) { magic_ = m; return *this; }

  Bytes build() const {
    Bytes b;
    put16(b, magic_);
    put8(b, side_ * 4 | mode_);
    put16(b, 0);
    put8(b, static_cast<int>(minutiae_.size()) << 2 | static_cast<int>(singular_.size()));
    put8(b, quality_);
    for (const auto& m : minutiae_) putMinutia(b, m);
    for (auto w : singular_) put32(b, w);
    if (side_ != 0) putRows(b, rows_);
    const int field = static_cast<int>(b.size()) * 64 + static_cast<int>(rows_.size());
    b[3] = static_cast<std::uint8_t>(field);
    b[4] = static_cast<std::uint8_t>(field >> 8);
    return b;
  }

 private:
  int magic_ = 0xCAA0, side_ = 0, mode_ = 1, quality_ = 0;
  std::vector<vxcodec::Minutia> minutiae_;
  std::vector<std::uint32_t> singular_;
  std::vector<StoredRow> rows_;
};

// Old form (magic 0x432A). A minutia gives its column step from the previous
// one (0 to 511); steps of 128 and more take one of the four extension slots.
class OldForm {
 public:
  OldForm& side(int n) { side_ = n; return *this; }
  OldForm& quality(int q) { quality_ = q; return *this; }
  OldForm& minutia(int x, int yStep, int degrees, int auxB) {
    const int number = static_cast<int>(raw_.size()) / 4 + 1;
    if (yStep >= 128) {
      extensionBits_ |= (yStep >> 7) << (2 * extended_.size());
      extended_.push_back(number);
    }
    put16(raw_, x << 7 | (yStep & 0x7F));
    put16(raw_, degrees << 7 | auxB);
    return *this;
  }
  OldForm& singular(std::uint32_t word) { singular_.push_back(word); return *this; }
  OldForm& row(StoredRow r) { rows_.push_back(std::move(r)); return *this; }

  Bytes build() const {
    Bytes b;
    put16(b, 0x432A);
    put8(b, side_ << 2);
    put8(b, static_cast<int>(raw_.size()) / 4 << 2 | static_cast<int>(singular_.size()));
    put8(b, quality_);
    for (std::size_t i = 0; i < 4; ++i) put8(b, i < extended_.size() ? extended_[i] : 0);
    put8(b, extensionBits_);
    b.insert(b.end(), raw_.begin(), raw_.end());
    for (auto w : singular_) put32(b, w);
    if (side_ != 0) {
      put8(b, static_cast<int>(rows_.size()));
      putRows(b, rows_);
    }
    return b;
  }

 private:
  int side_ = 0, quality_ = 0, extensionBits_ = 0;
  std::vector<int> extended_;
  Bytes raw_;
  std::vector<std::uint32_t> singular_;
  std::vector<StoredRow> rows_;
};

// Grid rows as tables (E for empty) for building and checking models.
using Rows = std::vector<std::vector<int>>;

inline void setGrid(vxcodec::Grid& g, int width, int height, const Rows& rows) {
  g.clear();
  g.width = width;
  g.height = height;
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c)
      g.cells[r][c] = static_cast<std::uint8_t>(rows[r][c] == E ? 255 : rows[r][c]);
}

inline Rows gridRows(const vxcodec::Grid& g) {
  Rows rows(static_cast<std::size_t>(g.height));
  for (int r = 0; r < g.height; ++r)
    for (int c = 0; c < g.width; ++c) rows[r].push_back(g.cells[r][c] == 255 ? E : g.cells[r][c]);
  return rows;
}

// Random models whose every field survives the token form unchanged.
class ModelGenerator {
 public:
  explicit ModelGenerator(unsigned seed) : rng_(seed) {}
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  vxcodec::Minutia minutia() {
    return {uniform(0, 511), uniform(0, 511), uniform(0, 255), uniform(-1, 62), uniform(0, 255)};
  }
  vxcodec::SingularPoint singularPoint() {
    return {uniform(0, 511), uniform(0, 511), uniform(0, 359), uniform(-1, 6)};
  }

  // A row of directions: stretches of equal values, of small steps, of jumps
  // and of empty cells, with now and then 120 or 127 (kept by the token form).
  void fillRow(std::uint8_t* row, int width) {
    int v = uniform(0, 119);
    for (int c = 0; c < width;) {
      const int kind = uniform(0, 5), len = uniform(1, 12);
      for (int i = 0; i < len && c < width; ++i, ++c) {
        switch (kind) {
          case 0: row[c] = 255; break;
          case 1: row[c] = static_cast<std::uint8_t>(v); break;
          case 2: v = (v + uniform(-8, 7) + 120) % 120; row[c] = static_cast<std::uint8_t>(v); break;
          case 3: v = uniform(0, 119); row[c] = static_cast<std::uint8_t>(v); break;
          case 4: v = (v + uniform(-3, 3) + 120) % 120; row[c] = static_cast<std::uint8_t>(v); break;
          default: row[c] = uniform(0, 9) == 0 ? (uniform(0, 1) ? 120 : 127) : static_cast<std::uint8_t>(v); break;
        }
      }
    }
  }

  void grid(vxcodec::Grid& g, int width, int height) {
    g.clear();
    g.width = width;
    g.height = height;
    for (int r = 0; r < height; ++r) {
      if (uniform(0, 7) == 0) continue;  // an empty row
      fillRow(g.cells[r].data(), width);
    }
  }

  void tokenModel(vxcodec::TemplateModel& m, int maxMinutiae = 250) {
    m.clear();
    m.quality = static_cast<std::uint8_t>(uniform(0, 255));
    m.minutiaCount = uniform(0, maxMinutiae);
    for (int i = 0; i < m.minutiaCount; ++i) m.minutiae[i] = minutia();
    m.singularCount = uniform(0, 7);
    for (int i = 0; i < m.singularCount; ++i) m.singularPoints[i] = singularPoint();
    if (uniform(0, 5) != 0) grid(m.grid, uniform(1, 32), uniform(1, 32));
  }

 private:
  std::mt19937 rng_;
};

}  // namespace codectest
