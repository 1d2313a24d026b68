// Decoding the three template forms, the compressed grid, and bytes that are
// not (or no longer) a template.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "builders.h"

using namespace codectest;
using vxcodec::Form;
using vxcodec::Minutia;
using vxcodec::SingularPoint;
using vxcodec::TemplateModel;

TEST(TemplateForm, MagicSelectsTheForm) {
  struct Case {
    int magic;
    Form form;
  };
  const Case cases[] = {
      {0x432A, Form::Old},   {0x432B, Form::None},  {0xCA00, Form::Range}, {0xCA20, Form::Range},
      {0xCA21, Form::None},  {0xCA7F, Form::None},  {0xCA80, Form::Range}, {0xCAA0, Form::Range},
      {0xCAA1, Form::Token}, {0xCABF, Form::Token}, {0xCAC0, Form::None},  {0xCAE5, Form::None},
      {0xCB00, Form::None},  {0x0000, Form::None},
  };
  for (const auto& c : cases) {
    Bytes b;
    put16(b, c.magic);
    EXPECT_EQ(vxcodec::templateForm(b), c.form) << std::hex << c.magic;
  }
  EXPECT_EQ(vxcodec::templateForm(Bytes{0x2A}), Form::None);
}

TEST(OldForm, DecodesExtendedDeltaRowsAngleConversionAndCentreOutRows) {
  // Side 5: the stored rows are rows 2 and 3 (model rows 1 and 2), the first
  // two of the order 2, 3, 1, 4, 5.
  const Bytes bytes = OldForm()
                          .side(5)
                          .quality(77)
                          .minutia(10, 300, 0, 5)     // y 300 needs extension bits
                          .minutia(20, 5, 180, 127)   // y = 300 + 5
                          .minutia(511, 200, 511, 0)  // y = 305 + 200
                          .singular(singularWord(7, 9, 2, 90))
                          .row({1, {10, 20}})
                          .row({0, {E}})
                          .build();
  TemplateModel m;
  ASSERT_EQ(vxcodec::decodeTemplate(bytes, m), 1u);  // the old form answers 1
  EXPECT_EQ(vxcodec::templateLength(bytes), 1u);
  EXPECT_EQ(m.quality, 77);
  ASSERT_EQ(m.minutiaCount, 3);
  // Directions: 120 - degrees * 120 / 180, plus 240 when negative.
  EXPECT_EQ(m.minutiae[0], (Minutia{10, 300, 120, 0, 5}));
  EXPECT_EQ(m.minutiae[1], (Minutia{20, 305, 0, 0, 127}));
  EXPECT_EQ(m.minutiae[2], (Minutia{511, 505, 20, 0, 0}));
  ASSERT_EQ(m.singularCount, 1);
  EXPECT_EQ(m.singularPoints[0], (SingularPoint{7, 9, 60, 1}));
  EXPECT_EQ(gridRows(m.grid), (Rows{{E, E, E, E, E}, {E, 10, 20, E, E}, {E, E, E, E, E},
                                    {E, E, E, E, E}, {E, E, E, E, E}}));
}

TEST(OldForm, ExtensionSlotsFollowTheListOrder) {
  // Slot 0 names minutia 2; minutia 1 is not extended even with bits present.
  Bytes bytes = OldForm().minutia(1, 3, 0, 0).minutia(2, 130, 0, 0).build();
  TemplateModel m;
  ASSERT_EQ(vxcodec::decodeTemplate(bytes, m), 1u);
  EXPECT_EQ(m.minutiae[0].y, 3);
  EXPECT_EQ(m.minutiae[1].y, 3 + 130);
}

TEST(RangeForm, DecodesMinutiaeSingularPointsAndRows) {
  const Minutia a{300, 257, 200, -1, 9}, b{0, 511, 0, 62, 255};
  const Bytes bytes = RangeForm()
                          .side(3)
                          .quality(5)
                          .minutia(a)
                          .minutia(b)
                          .singular(singularWord(2047, 511, 7, 511))
                          .row({0, {1, E, 3}})  // row 1 (model row 0)
                          .row({2, {119}})      // row 2
                          .build();
  TemplateModel m;
  ASSERT_EQ(vxcodec::decodeTemplate(bytes, m), bytes.size());
  EXPECT_EQ(m.quality, 5);
  ASSERT_EQ(m.minutiaCount, 2);
  EXPECT_EQ(m.minutiae[0], a);
  EXPECT_EQ(m.minutiae[1], b);
  EXPECT_EQ(m.singularPoints[0], (SingularPoint{2047, 511, 511, 6}));
  EXPECT_EQ(gridRows(m.grid), (Rows{{1, E, 3}, {E, E, 119}, {E, E, E}}));
}

TEST(TokenForm, MinutiaCountAbove250IsNotATemplate) {
  EXPECT_EQ(vxcodec::templateLength(TokenForm().minutiae(250).build()), 5u + 250 * 5);
  EXPECT_EQ(vxcodec::templateLength(TokenForm().minutiae(251).build()), 0u);
  // The count's two high bits live in byte 3: 2 + 256.
  EXPECT_EQ(vxcodec::templateLength(TokenForm().minutiae(2).claimedCount(2 + 256).build()), 0u);
}

// ---- Compressed grid ----------------------------------------------------------

struct GridCase {
  std::string name;
  GridTokens tokens;
  Rows cells;         // expected cells (for failures: those decoded before)
  bool ok;
};

class CompressedGrid : public testing::TestWithParam<GridCase> {};

TEST_P(CompressedGrid, Decodes) {
  const GridCase& c = GetParam();
  const Bytes bytes = TokenForm().minutiae(1).grid(c.tokens).build();
  const std::size_t gridStart = 5 + 5;
  TemplateModel m;
  const std::size_t n = vxcodec::decodeTemplate(bytes, m);
  // A grid that cannot be read ends the template where the grid began, and
  // keeps the cells read so far.
  EXPECT_EQ(n, c.ok ? bytes.size() : gridStart);
  EXPECT_EQ(gridRows(m.grid), c.cells);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, CompressedGrid,
    testing::Values(
        GridCase{"LiteralsAndOneEmptyCell", GridTokens(3, 1).value(5).empty().value(0x7F), {{5, E, 127}}, true},
        GridCase{"RepeatOfTheRunningValue", GridTokens(4, 1).value(5).repeat(3), {{5, 5, 5, 5}}, true},
        GridCase{"RepeatAtRowStartRepeats126", GridTokens(2, 1).repeat(2), {{126, 126}}, true},
        GridCase{"DeltasWrapInto0To119", GridTokens(5, 1).value(118).deltas({5, -8}).deltas({-5, 7}),
                 {{118, 3, 115, 110, 117}}, true},
        GridCase{"DeltaPairsPastTheCells", GridTokens(3, 1).value(1).deltas({1, 1, 1, 1}), {{1, E, E}}, false},
        GridCase{"DeltasThenLiteral", GridTokens(6, 1).value(2).deltas({-5, 1, 7, 0}).value(9),
                 {{2, 117, 118, 5, 5, 9}}, true},
        GridCase{"DeltasAfterAnEmptyCellStartFrom126", GridTokens(3, 1).empty().deltas({1, 0}),
                 {{E, 7, 7}}, true},
        GridCase{"RestOfGridEmptyEndsIt", GridTokens(2, 3).value(1).restOfGridEmpty(),
                 {{1, E}, {E, E}, {E, E}}, true},
        // A row skip longer than the width, as the encoder writes for narrow grids.
        GridCase{"RowSkipsOnANarrowTallGrid",
                 GridTokens(2, 12).value(1).value(2).rowsEmpty(9).value(3).value(4),
                 {{1, 2}, {E, E}, {E, E}, {E, E}, {E, E}, {E, E}, {E, E}, {E, E}, {E, E}, {E, E},
                  {E, E}, {3, 4}},
                 true},
        GridCase{"SideAbove32", GridTokens(33, 1).value(1), {}, false},
        GridCase{"CountAboveTheWidth", GridTokens(2, 2).value(1).value(2).repeat(4), {{1, 2}, {E, E}}, false},
        GridCase{"RunPastTheCells", GridTokens(2, 2).value(1).value(2).value(3).repeat(2),
                 {{1, 2}, {3, E}}, false},
        GridCase{"RowsPastTheHeight", GridTokens(2, 2).value(1).rowsEmpty(2), {{1, E}, {E, E}}, false},
        GridCase{"Truncated", GridTokens(3, 2).value(1).value(2), {{1, 2, E}, {E, E, E}}, false}),
    [](const auto& info) { return info.param.name; });

TEST(CompressedGrid, RowTokensAcrossRows) {
  // Rest of row, k empty cells, and row skips together; each row restarts the
  // running value at 126.
  const Bytes grid = GridTokens(4, 6)
                         .value(1).emptyCells(2).value(2)   // row 0
                         .value(3).restOfRowEmpty()          // row 1
                         .rowsEmpty(2)                       // rows 2 to 4
                         .repeat(2).value(9).restOfGridEmpty()  // row 5
                         .bytes();
  vxcodec::Grid g;
  EXPECT_EQ(vxcodec::decodeCompressedGrid(grid, g), grid.size());
  EXPECT_EQ(gridRows(g), (Rows{{1, E, E, 2}, {3, E, E, E}, {E, E, E, E}, {E, E, E, E},
                               {E, E, E, E}, {126, 126, 9, E}}));
}

// ---- Truncated and hostile bytes ----------------------------------------------

TEST(Decoding, EveryTruncationIsRejectedOrEndsAtTheGrid) {
  const Bytes old = OldForm().side(4).minutia(1, 200, 9, 1).minutia(2, 3, 4, 5)
                        .singular(singularWord(1, 2, 3, 4)).row({1, {1, 2}}).row({0, {3}}).build();
  const Bytes range = RangeForm().side(4).minutia({1, 2, 3, 4, 5}).singular(singularWord(1, 2, 3, 4))
                          .row({1, {1, 2}}).row({0, {3}}).build();
  const TokenForm token = TokenForm().minutiae(3).singular(singularWord(1, 2, 3, 4))
                              .grid(GridTokens(3, 3).value(1).deltas({1, 1, 2, 2}).value(7).restOfGridEmpty());
  const Bytes tokenBytes = token.build();

  ASSERT_EQ(vxcodec::templateLength(old), 1u);
  ASSERT_EQ(vxcodec::templateLength(range), range.size());
  ASSERT_EQ(vxcodec::templateLength(tokenBytes), tokenBytes.size());
  for (std::size_t n = 0; n < old.size(); ++n)
    EXPECT_EQ(vxcodec::templateLength(std::span(old).first(n)), 0u) << n;
  for (std::size_t n = 0; n < range.size(); ++n)
    EXPECT_EQ(vxcodec::templateLength(std::span(range).first(n)), 0u) << n;
  for (std::size_t n = 0; n < tokenBytes.size(); ++n)
    EXPECT_EQ(vxcodec::templateLength(std::span(tokenBytes).first(n)), n < token.gridStart() ? 0u : token.gridStart())
        << n;
}

TEST(Decoding, RowWhoseLastColumnPrecedesItsFirstIsNotATemplate) {
  Bytes bytes = RangeForm().side(2).row({1, {5}}).build();
  bytes[7] = 1;  // first column 1
  bytes[8] = 0;  // last column 0
  EXPECT_EQ(vxcodec::templateLength(bytes), 0u);
}

TEST(Decoding, CellsBeyondTheSideAreReadButNotKept) {
  // Side 2, a row stored from column 1 to 4: columns 2 to 4 lie outside.
  const Bytes bytes = RangeForm().side(2).row({1, {5, 6, 7, 8}}).build();
  TemplateModel m;
  EXPECT_EQ(vxcodec::decodeTemplate(bytes, m), bytes.size());
  EXPECT_EQ(gridRows(m.grid), (Rows{{E, 5}, {E, E}}));
}
