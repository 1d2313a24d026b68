// The four template operations, shrinking, and the exported functions' logic.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "builders.h"

using namespace codectest;
using vxcodec::Minutia;
using vxcodec::TemplateModel;

namespace {

// A realistic template in the token form: n minutiae and a full 30 x 30 grid
// of slowly turning directions.
TokenForm fullTemplate(int n) {
  GridTokens g(30, 30);
  for (int r = 0; r < 30; ++r) {
    g.value(40 + r);
    for (int c = 1; c < 30; c += 2) {
      if (c + 1 < 30) g.deltas({1, 0, 0, 1}), c += 2;
      else g.value((40 + r + c) % 120);
    }
  }
  return TokenForm().quality(60).minutiae(n).singular(singularWord(100, 120, 2, 45)).grid(g);
}

std::size_t templateLengthOfNormalised(std::span<const std::uint8_t> source) {
  Bytes dest(vxcodec::kMaxEncodedLength);
  return vxcodec::normaliseTemplate(source, dest);
}

Bytes padded(Bytes b, std::size_t size = vxcodec::kTemplateArea) {
  b.resize(size, 0);
  return b;
}

TemplateModel decoded(std::span<const std::uint8_t> b) {
  TemplateModel m;
  EXPECT_GT(vxcodec::decodeTemplate(b, m), 0u);
  return m;
}

}  // namespace

TEST(TemplateLength, OfEachForm) {
  const Bytes token = TokenForm().minutiae(12).build();
  const Bytes range = RangeForm().side(2).minutia({1, 2, 3, 4, 5}).row({0, {1, 2}}).build();
  const Bytes old = OldForm().side(2).minutia(1, 2, 3, 4).row({0, {1}}).row({0, {2}}).build();
  EXPECT_EQ(vxcodec::templateLength(padded(token)), token.size());
  EXPECT_EQ(vxcodec::templateLength(padded(range)), range.size());
  EXPECT_EQ(vxcodec::templateLength(padded(old)), 1u);
  EXPECT_EQ(vxcodec::templateLength(padded(Bytes{0x12, 0x34})), 0u);
  EXPECT_EQ(vxcodec::templateLength({}), 0u);
}

TEST(NormaliseTemplate, BringsEachFormIntoTheTokenForm) {
  const Bytes old = OldForm().side(3).quality(8).minutia(5, 9, 90, 3).minutia(6, 1, 0, 2)
                        .singular(singularWord(4, 5, 1, 30)).row({0, {7, E, 8}}).build();
  const Bytes range = RangeForm().side(3).quality(8).minutia({5, 9, 60, 0, 3}).row({1, {7, 8}}).build();
  for (const Bytes& source : {old, range, fullTemplate(45).build()}) {
    Bytes dest(vxcodec::kTemplateArea);
    const std::size_t n = vxcodec::normaliseTemplate(padded(source), dest);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(vxcodec::templateForm(dest), vxcodec::Form::Token);
    EXPECT_EQ(vxcodec::templateLength(dest), n);
    EXPECT_EQ(decoded(dest), decoded(padded(source)));
  }
  Bytes dest(vxcodec::kTemplateArea);
  EXPECT_EQ(vxcodec::normaliseTemplate(padded(Bytes{0xCA, 0xC0}), dest), 0u);
}

TEST(NormaliseTemplate, WorksInPlaceAndNeverWritesPastTheDestination) {
  const Bytes source = padded(fullTemplate(60).build());
  Bytes expected(vxcodec::kTemplateArea);
  const std::size_t n = vxcodec::normaliseTemplate(source, expected);
  ASSERT_GT(n, 0u);
  Bytes buffer = source;
  EXPECT_EQ(vxcodec::normaliseTemplate(buffer, buffer), n);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(n), expected.begin()));

  Bytes small(n + 4, 0xEE);
  EXPECT_EQ(vxcodec::normaliseTemplate(source, std::span(small).first(n - 1)), 0u);
  EXPECT_EQ(small, Bytes(n + 4, 0xEE));
  EXPECT_EQ(vxcodec::normaliseTemplate(source, std::span(small).first(n)), n);
}

TEST(ConvertTemplate, WritesTheRangeFormWithMode1) {
  Bytes dest(vxcodec::kTemplateArea);
  const Bytes source = TokenForm().minutiae(70).grid(GridTokens(3, 2).value(1).deltas({1, 1}).value(5).restOfGridEmpty()).build();
  const std::size_t n = vxcodec::convertTemplate(padded(source), dest);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(vxcodec::templateForm(dest), vxcodec::Form::Range);
  EXPECT_EQ(dest[2] & 3, 1);
  EXPECT_EQ(vxcodec::templateLength(dest), n);
  const TemplateModel m = decoded(dest), original = decoded(source);
  ASSERT_EQ(m.minutiaCount, 63);
  for (int i = 0; i < 63; ++i) EXPECT_EQ(m.minutiae[i], original.minutiae[i + 3]);
  // The range form's grid is square.
  EXPECT_EQ(gridRows(m.grid), (Rows{{1, 2, 3}, {5, E, E}, {E, E, E}}));
}

// ---- fitTemplate --------------------------------------------------------------

struct FitCase {
  std::string name;
  int maxLength;     // relative values are resolved against the template below
  bool keepsGrid;
  int minutiae;      // minutiae kept; 0 for a failure
};

TEST(FitTemplate, ReachesItsLimit) {
  const Bytes source = padded(fullTemplate(80).build());
  const int withGrid = static_cast<int>(templateLengthOfNormalised(source));
  const int withoutGrid = 5 + 80 * 5 + 4;
  const FitCase cases[] = {
      {"RoomForTheGrid", withGrid, true, 80},
      {"OneByteShortDropsTheGrid", withGrid - 1, false, 80},
      {"ExactlyWithoutGrid", withoutGrid, false, 80},
      {"OneByteShortDropsAMinutia", withoutGrid - 1, false, 79},
      {"FiveBytesShortDropsOne", withoutGrid - 5, false, 79},
      {"SixBytesShortDropsTwo", withoutGrid - 6, false, 78},
      {"RoomForOneMinutia", 5 + 5 + 4, false, 1},
      {"NoRoomForAnyMinutia", 5 + 4, false, 0},
      {"Negative", -1, false, 0},
      {"Lowest", INT_MIN, false, 0},
  };
  for (const auto& c : cases) {
    Bytes buffer = source;
    const std::size_t n = vxcodec::fitTemplate(buffer, c.maxLength);
    if (c.minutiae == 0) {
      EXPECT_EQ(n, 0u) << c.name;
      EXPECT_EQ(buffer, source) << c.name;
      continue;
    }
    ASSERT_GT(n, 0u) << c.name;
    EXPECT_LE(static_cast<int>(n), c.maxLength) << c.name;
    EXPECT_EQ(vxcodec::templateLength(buffer), n) << c.name;
    const TemplateModel m = decoded(buffer);
    EXPECT_EQ(m.minutiaCount, c.minutiae) << c.name;
    EXPECT_EQ(m.grid.width > 0, c.keepsGrid) << c.name;
  }
}

TEST(FitTemplate, NeverWritesPastItsBuffer) {
  // Equal directions run across row ends in this source; written row by row
  // they take more room than it has.
  GridTokens g(32, 32);
  g.value(5);
  for (int i = 0; i < 31; ++i) g.repeat(32);
  g.repeat(31);
  const Bytes source = TokenForm().minutiae(250).grid(g).build();
  ASSERT_EQ(vxcodec::templateLength(source), source.size());
  Bytes buffer = source;
  const std::size_t n = vxcodec::fitTemplate(buffer, 100000);
  EXPECT_EQ(n, 5u + 250 * 5);  // the grid did not fit the buffer
  Bytes dest(source.size());
  EXPECT_EQ(vxcodec::normaliseTemplate(source, dest), 0u);
}

TEST(ShrinkTemplate, DropsTheMinutiaeFarthestFromTheCentre) {
  // Centre x: (133 / 5 + (0 + 100) / 2) / 2 = 38; distances 1444, 784, 3844,
  // 676, 729. Two bubble passes move the two largest to the end.
  TemplateModel m;
  m.minutiaCount = 5;
  const int xs[] = {0, 10, 100, 12, 11};
  for (int i = 0; i < 5; ++i) m.minutiae[i] = {xs[i], 0, i, 0, 0};
  ASSERT_TRUE(vxcodec::shrinkTemplate(m, 2));
  ASSERT_EQ(m.minutiaCount, 3);
  EXPECT_EQ(m.minutiae[0].x, 10);
  EXPECT_EQ(m.minutiae[1].x, 12);
  EXPECT_EQ(m.minutiae[2].x, 11);
  EXPECT_EQ(m.minutiae[3], Minutia{});

  TemplateModel same;
  same.minutiaCount = 4;
  for (int i = 0; i < 4; ++i) same.minutiae[i] = {i % 2 ? 10 : 0, 0, i, 0, 0};  // equal distances
  ASSERT_TRUE(vxcodec::shrinkTemplate(same, 1));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(same.minutiae[i].direction, i);

  TemplateModel unchanged = m;
  EXPECT_TRUE(vxcodec::shrinkTemplate(unchanged, 0));
  EXPECT_EQ(unchanged, m);
  EXPECT_FALSE(vxcodec::shrinkTemplate(unchanged, 3));
  EXPECT_EQ(unchanged, m);
}

// ---- Exported functions -------------------------------------------------------

TEST(ExportedLogic, ResultsAndOutputs) {
  Bytes dest(vxcodec::kTemplateArea);
  int length = -7;
  // Nine minutiae: 50 bytes in the token form, 52 in the range form.
  const Bytes nine = padded(TokenForm().minutiae(9).build());
  const Bytes ten = padded(TokenForm().minutiae(10).build());
  EXPECT_EQ(vxcodec::fpTempConvertNew(nine.data(), dest.data(), &length), 4);
  EXPECT_EQ(length, -7);
  length = 0;
  EXPECT_EQ(vxcodec::fpTempConvertNew(ten.data(), dest.data(), &length), 1);
  EXPECT_EQ(length, 55);
  EXPECT_EQ(vxcodec::fpTempConvert(nine.data(), dest.data(), &length), 1);
  EXPECT_EQ(length, 52);
  const Bytes eight = padded(TokenForm().minutiae(8).build());
  EXPECT_EQ(vxcodec::fpTempConvert(eight.data(), dest.data(), &length), 4);  // 47 bytes

  EXPECT_EQ(vxcodec::fpTempLength(nine.data(), &length), 1);
  EXPECT_EQ(length, 50);
  const Bytes none = padded(Bytes{1, 2, 3});
  EXPECT_EQ(vxcodec::fpTempLength(none.data(), &length), 4);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(vxcodec::fpTempLength(nine.data(), nullptr), 1);

  Bytes t = nine;
  EXPECT_EQ(vxcodec::setFpTempLength(t.data(), 45), 1);
  EXPECT_EQ(vxcodec::templateLength(t), 45u);
  EXPECT_EQ(vxcodec::setFpTempLength(t.data(), 5), 4);

  EXPECT_EQ(vxcodec::fpTempLength(nullptr, &length), -1);
  EXPECT_EQ(vxcodec::setFpTempLength(nullptr, 100), -1);
  EXPECT_EQ(vxcodec::fpTempConvert(nine.data(), nullptr, &length), -1);
  EXPECT_EQ(vxcodec::fpTempConvertNew(nullptr, dest.data(), &length), -1);
}

TEST(ExportedLogic, ConvertNewShortensOnlyToAWantedMaximumAbove100) {
  // 119 minutiae and no grid: 600 bytes in the token form.
  const Bytes source = padded(TokenForm().minutiae(119).build());
  Bytes dest(vxcodec::kTemplateArea);
  struct Case {
    int wanted, expected;
  };
  const Case cases[] = {
      {100, 600},   // at or below 100: not applied
      {2048, 600},  // at or above 2048: not applied
      {0, 600},
      {600, 600},   // not below the result
      {599, 595},   // one minutia dropped
      {101, 100},
  };
  for (const auto& c : cases) {
    int length = c.wanted;
    ASSERT_EQ(vxcodec::fpTempConvertNew(source.data(), dest.data(), &length), 1) << c.wanted;
    EXPECT_EQ(length, c.expected) << c.wanted;
    EXPECT_EQ(static_cast<int>(vxcodec::templateLength(dest)), c.expected) << c.wanted;
  }
  // A grid is dropped before any minutia.
  const Bytes withGrid = padded(fullTemplate(80).build());
  int length = 600;
  ASSERT_EQ(vxcodec::fpTempConvertNew(withGrid.data(), dest.data(), &length), 1);
  EXPECT_EQ(length, 5 + 80 * 5 + 4);
}
