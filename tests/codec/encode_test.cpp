// Writing the token form, the range form and the compressed grid; round trips
// of generated models through both forms.
#include <gtest/gtest.h>

#include <string>

#include "builders.h"

using namespace codectest;
using vxcodec::Minutia;
using vxcodec::SingularPoint;
using vxcodec::TemplateModel;

namespace {

Bytes tokenForm(const TemplateModel& m, bool withGrid) {
  Bytes out(vxcodec::kMaxEncodedLength);
  out.resize(vxcodec::encodeTokenForm(m, withGrid, out));
  return out;
}

Bytes rangeForm(const TemplateModel& m) {
  Bytes out(vxcodec::kMaxEncodedLength);
  out.resize(vxcodec::encodeRangeForm(m, 1, true, out));
  return out;
}

// Rows 1 to n in centre-out order.
std::vector<int> centreOut(int n) {
  std::vector<int> order;
  for (int i = 0; static_cast<int>(order.size()) < n; ++i) {
    const int below = n / 2 - i, above = n / 2 + 1 + i;
    if (below >= 1) order.push_back(below);
    if (above <= n && static_cast<int>(order.size()) < n) order.push_back(above);
  }
  return order;
}

}  // namespace

TEST(TokenFormWriter, LimitsFieldsToWhatTheLayoutHolds) {
  TemplateModel m;
  m.quality = 9;
  m.minutiaCount = 2;
  m.minutiae[0] = {600, 700, 255, 62, 200};
  m.minutiae[1] = {3, 6, 1, -1, 0};
  m.singularCount = 1;
  m.singularPoints[0] = {600, -5, 400, 9};
  const Bytes expected = TokenForm()
                             .quality(9)
                             .minutia({511, 511, 255, 62, 200})
                             .minutia({3, 6, 1, -1, 0})
                             .singular(singularWord(511, 0, 7, 359))
                             .build();
  EXPECT_EQ(tokenForm(m, false), expected);
  // No grid to write: asking for one changes nothing.
  EXPECT_EQ(tokenForm(m, true), expected);
}

TEST(TokenFormWriter, StopsCleanlyWhenTheOutputIsTooSmall) {
  ModelGenerator gen(7);
  TemplateModel m;
  gen.tokenModel(m);
  const Bytes full = tokenForm(m, true);
  Bytes out(full.size() + 8, 0xEE);
  EXPECT_EQ(vxcodec::encodeTokenForm(m, true, std::span(out).first(full.size() - 1)), 0u);
  for (std::size_t i = full.size() - 1; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << i;
  EXPECT_EQ(vxcodec::encodeTokenForm(m, true, std::span(out).first(full.size())), full.size());
}

TEST(TokenFormWriter, WidestEncodingFitsTheWorkArea) {
  TemplateModel m;
  m.minutiaCount = vxcodec::kMaxMinutiae;
  m.singularCount = vxcodec::kMaxSingularPoints;
  vxcodec::Grid& g = m.grid;
  g.width = g.height = 32;
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c) g.cells[r][c] = static_cast<std::uint8_t>((r * 32 + c) * 53 % 120);
  Bytes out(vxcodec::kMaxEncodedLength);
  EXPECT_EQ(vxcodec::encodeTokenForm(m, true, out), vxcodec::kMaxEncodedLength);
}

struct GridWriteCase {
  std::string name;
  int width, height;
  Rows rows;
  GridTokens tokens;
};

class GridWriter : public testing::TestWithParam<GridWriteCase> {};

TEST_P(GridWriter, WritesTheTokens) {
  const auto& c = GetParam();
  vxcodec::Grid g;
  setGrid(g, c.width, c.height, c.rows);
  Bytes out(vxcodec::kMaxCompressedGrid);
  out.resize(vxcodec::encodeCompressedGrid(g, out));
  EXPECT_EQ(out, c.tokens.bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GridWriter,
    testing::Values(
        GridWriteCase{"OneEmptyCellBetweenValues", 3, 1, {{5, E, 7}}, GridTokens(3, 1).value(5).empty().value(7)},
        GridWriteCase{"TwoEmptyCells", 4, 1, {{5, E, E, 7}}, GridTokens(4, 1).value(5).emptyCells(2).value(7)},
        GridWriteCase{"ThirtyEmptyCells", 32, 1, {{1, E, E, E, E, E, E, E, E, E, E, E, E, E, E, E, E, E, E, E, E,
                                                   E, E, E, E, E, E, E, E, E, E, 2}},
                      GridTokens(32, 1).value(1).emptyCells(30).value(2)},
        GridWriteCase{"RemainingRowsEmptyEndWithOneE0", 2, 3, {{5, 6}, {E, E}, {E, E}},
                      GridTokens(2, 3).value(5).value(6).restOfGridEmpty()},
        GridWriteCase{"RestOfRowThenTheNextRow", 2, 2, {{1, E}, {2, E}},
                      GridTokens(2, 2).value(1).restOfRowEmpty().value(2).restOfGridEmpty()},
        GridWriteCase{"EmptyRowsSkipped", 1, 4, {{1}, {E}, {E}, {2}}, GridTokens(1, 4).value(1).rowsEmpty(1).value(2)},
        GridWriteCase{"EmptyGrid", 3, 2, {}, GridTokens(3, 2).restOfGridEmpty()},
        GridWriteCase{"ValuesOf120AndAbove", 5, 1, {{120, 200, 127, 5, 5}},
                      GridTokens(5, 1).value(0x78).value(0x7F).value(0x7F).value(5).value(5)},
        GridWriteCase{"EqualValues", 32, 1, {std::vector<int>(32, 7)}, GridTokens(32, 1).value(7).repeat(31)},
        GridWriteCase{"SmallDeltas", 5, 1, {{10, 11, 12, 13, 14}}, GridTokens(5, 1).value(10).deltas({1, 1, 1, 1})},
        GridWriteCase{"DeltasAcrossTheWrap", 5, 1, {{2, 117, 118, 5, 5}},
                      GridTokens(5, 1).value(2).deltas({-5, 1, 7, 0})}),
    [](const auto& info) { return info.param.name; });

TEST(RangeFormWriter, SeventyMinutiaeKeepTheMiddleSixtyThree) {
  TemplateModel m;
  m.quality = 42;
  m.minutiaCount = 70;
  for (int i = 0; i < 70; ++i) m.minutiae[i] = {i, 2 * i, 3 * i, i % 63, 255 - i};
  m.singularCount = 5;
  const Bytes bytes = rangeForm(m);
  ASSERT_EQ(bytes.size(), 7u + 63 * 5 + 3 * 4);
  EXPECT_EQ(bytes[2], 0 * 4 | 1);  // no grid side, mode 1
  EXPECT_EQ(bytes[3] | bytes[4] << 8, static_cast<int>(bytes.size()) * 64);
  EXPECT_EQ(bytes[5], 63 << 2 | 3);
  EXPECT_EQ(bytes[6], 42);
  TemplateModel back;
  ASSERT_EQ(vxcodec::decodeTemplate(bytes, back), bytes.size());
  ASSERT_EQ(back.minutiaCount, 63);
  for (int i = 0; i < 63; ++i) EXPECT_EQ(back.minutiae[i], m.minutiae[i + 3]) << i;
}

TEST(RangeFormWriter, RowsGoCentreOutFromTheirFirstToTheirLastCell) {
  TemplateModel m;
  // 3 wide, 4 high: the side is 4, the fourth column stays empty.
  setGrid(m.grid, 3, 4, {{1, E, E}, {E, 2, 3}, {E, E, E}, {E, E, 4}});
  const Bytes expected = RangeForm()
                             .side(4)
                             .row({1, {2, 3}})  // row 2
                             .row({0, {E}})     // row 3: nothing stored but one empty cell
                             .row({0, {1}})     // row 1
                             .row({2, {4}})     // row 4
                             .build();
  EXPECT_EQ(rangeForm(m), expected);
}

TEST(RangeFormWriter, StopsAtTheLengthFieldLimitWithAConsistentLastRow) {
  TemplateModel m;
  m.minutiaCount = 63;
  m.singularCount = 3;
  m.grid.width = m.grid.height = 63;
  for (int r = 0; r < 63; ++r)
    for (int c = 0; c < 63; ++c) m.grid.cells[r][c] = static_cast<std::uint8_t>((r + c) % 120);
  const Bytes bytes = rangeForm(m);
  // 334 bytes before the grid, ten rows of 65 bytes, and an eleventh cut to
  // its first 37 cells: 1023 bytes, the most the 16-bit field can describe.
  ASSERT_EQ(bytes.size(), 1023u);
  EXPECT_EQ(bytes[3] | bytes[4] << 8, 1023 * 64 + 11);
  TemplateModel back;
  ASSERT_EQ(vxcodec::decodeTemplate(bytes, back), bytes.size());
  const std::vector<int> order = centreOut(63);
  for (int i = 0; i < 63; ++i) {
    const int row = order[i] - 1;
    for (int c = 0; c < 63; ++c) {
      const int expected = i < 10 || (i == 10 && c <= 36) ? m.grid.cells[row][c] : 255;
      ASSERT_EQ(back.grid.cells[row][c], expected) << "row " << row << " column " << c;
    }
  }
}

TEST(Encoders, RepeatedEncodingsAreIdenticalAndLeaveTheModel) {
  ModelGenerator gen(11);
  for (int i = 0; i < 20; ++i) {
    TemplateModel m;
    gen.tokenModel(m);
    const TemplateModel before = m;
    EXPECT_EQ(tokenForm(m, true), tokenForm(m, true));
    EXPECT_EQ(rangeForm(m), rangeForm(m));
    EXPECT_EQ(m, before);
  }
}

TEST(RoundTrip, TokenFormKeepsEveryField) {
  ModelGenerator gen(1);
  for (int i = 0; i < 300; ++i) {
    TemplateModel m;
    gen.tokenModel(m);
    const Bytes bytes = tokenForm(m, true);
    TemplateModel back;
    ASSERT_EQ(vxcodec::decodeTemplate(bytes, back), bytes.size()) << i;
    ASSERT_EQ(back, m) << i;

    const Bytes withoutGrid = tokenForm(m, false);
    ASSERT_EQ(vxcodec::decodeTemplate(withoutGrid, back), withoutGrid.size());
    m.grid.clear();
    ASSERT_EQ(back, m) << i;
  }
}

TEST(RoundTrip, RangeFormKeepsEveryFieldWithinItsLimits) {
  ModelGenerator gen(2);
  for (int i = 0; i < 200; ++i) {
    TemplateModel m;
    m.quality = static_cast<std::uint8_t>(gen.uniform(0, 255));
    m.minutiaCount = gen.uniform(0, 63);
    for (int k = 0; k < m.minutiaCount; ++k) m.minutiae[k] = gen.minutia();
    m.singularCount = gen.uniform(0, 3);
    for (int k = 0; k < m.singularCount; ++k) m.singularPoints[k] = gen.singularPoint();
    const int side = gen.uniform(0, 20);
    m.grid.width = m.grid.height = side;
    for (int r = 0; r < side; ++r)
      for (int c = 0; c < side; ++c)
        if (gen.uniform(0, 3) != 0) m.grid.cells[r][c] = static_cast<std::uint8_t>(gen.uniform(0, 255));
    const Bytes bytes = rangeForm(m);
    TemplateModel back;
    ASSERT_EQ(vxcodec::decodeTemplate(bytes, back), bytes.size()) << i;
    ASSERT_EQ(back, m) << i;
  }
}
