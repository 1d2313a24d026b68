// The run encoder against the plain recursive search it replaces, and its
// output read back through the grid decoder.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "builders.h"

using namespace codectest;

namespace {

int delta(int v, int previous) {
  int d = v - previous;
  if (d > 59) d -= 120;
  if (d < -60) d += 120;
  return d;
}

// The search written as the plain recursion over the three candidates, tried
// in order, a later one kept only when strictly shorter. Exponential: the
// oracle for short runs.
Bytes plainRun(std::span<const std::uint8_t> v, int p) {
  if (v.empty()) return {};
  const std::size_t m = v.size();
  std::optional<Bytes> best;
  const auto offer = [&](Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    if (!best || head.size() < best->size()) best = std::move(head);
  };
  if (p < 120) {
    std::size_t q = 0;
    while (q < m && v[q] == p) ++q;
    if (q >= 2 && m <= 32 && q == m) return {static_cast<std::uint8_t>(0x80 + m - 1)};
    for (std::size_t k = 2; k <= std::min<std::size_t>(q, 32); ++k)
      offer({static_cast<std::uint8_t>(0x80 + k - 1)}, plainRun(v.subspan(k), p));
    std::size_t deltas = 0;
    for (int prev = p; deltas < m; prev = v[deltas++]) {
      const int t = delta(v[deltas], prev);
      if (t < -8 || t > 7) break;
    }
    for (std::size_t l = 2; l <= std::min<std::size_t>(deltas / 2, 32); ++l) {
      Bytes head{static_cast<std::uint8_t>(0xA0 + l - 1)};
      for (std::size_t j = 0; j < l; ++j) {
        const int prev = j == 0 ? p : v[2 * j - 1];
        head.push_back(static_cast<std::uint8_t>((delta(v[2 * j], prev) + 8) * 16 +
                                                 delta(v[2 * j + 1], v[2 * j]) + 8));
      }
      offer(head, plainRun(v.subspan(2 * l), v[2 * l - 1]));
    }
  }
  offer({v[0]}, plainRun(v.subspan(1), v[0]));
  return *best;
}

// Reads a run back: a one-row grid whose first cell sets the running value.
Bytes decodeRun(const Bytes& tokens, int p, std::size_t m) {
  const bool lead = p < 120 || p == 120 || p == 127;
  Bytes grid{static_cast<std::uint8_t>(m + (lead ? 1 : 0) - 1), 0};
  if (lead) grid.push_back(static_cast<std::uint8_t>(p));
  grid.insert(grid.end(), tokens.begin(), tokens.end());
  vxcodec::Grid g;
  EXPECT_EQ(vxcodec::decodeCompressedGrid(grid, g), grid.size());
  Bytes cells(g.cells[0].begin() + (lead ? 1 : 0), g.cells[0].begin() + g.width);
  return cells;
}

struct RunCase {
  std::string name;
  Bytes values;
  int last;
};

std::vector<RunCase> adversarialRuns() {
  std::vector<RunCase> cases;
  const auto add = [&](std::string name, Bytes v, int last) { cases.push_back({std::move(name), std::move(v), last}); };
  add("ThirtyTwoEqualAfterTheSame", Bytes(32, 40), 40);
  add("ThirtyTwoEqualAfterAnother", Bytes(32, 40), 41);
  add("ThirtyTwoEqualFromRowStart", Bytes(32, 40), 126);
  add("ThirtyOneEqualAfterTheSame", Bytes(31, 0), 0);
  // Runs where every cut is a candidate; the plain search grows quickly with
  // their length, so the mixed kinds are kept shorter.
  const auto run = [](int n, auto value) {
    Bytes v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(value(i)));
    return v;
  };
  add("SmallStepWalk", run(30, [](int i) { return 50 + i; }), 49);
  add("StepsAcrossTheWrap", run(28, [](int i) { return (116 + 3 * i) % 120; }), 113);
  add("ZigzagAtTheDeltaLimits", run(28, [](int i) { return i % 2 ? 60 : 53; }), 60);
  add("StairsOfThree", run(24, [](int i) { return 20 + i / 3; }), 20);
  add("EqualAndDeltaMixed", run(24, [](int i) { return i % 7 < 3 ? 90 : 90 + i % 5; }), 90);
  add("PlateausOfFour", run(32, [](int i) { return 10 + 8 * (i / 4); }), 10);
  add("Empty", {}, 5);
  add("SingleValue", {7}, 7);
  add("TwoEqualAfterTheSame", {7, 7}, 7);
  return cases;
}

}  // namespace

TEST(RunEncoder, ThirtyTwoEqualValuesFollowingTheSameAreOneToken) {
  EXPECT_EQ(vxcodec::encodeRun(Bytes(32, 40), 40), (Bytes{0x9F}));
  // Thirty-three: the first two-byte split found wins over later equal ones.
  EXPECT_EQ(vxcodec::encodeRun(Bytes(33, 40), 40), (Bytes{0x81, 0x9E}));
}

TEST(RunEncoder, MatchesThePlainRecursionOnAdversarialRuns) {
  for (const auto& c : adversarialRuns()) {
    const Bytes got = vxcodec::encodeRun(c.values, c.last);
    EXPECT_EQ(got, plainRun(c.values, c.last)) << c.name;
    if (!c.values.empty() && c.values.size() < 32) {
      EXPECT_EQ(decodeRun(got, c.last, c.values.size()), c.values) << c.name;
    }
  }
}

TEST(RunEncoder, MatchesThePlainRecursionOnRandomRuns) {
  ModelGenerator gen(5);
  for (int i = 0; i < 3000; ++i) {
    const std::size_t m = static_cast<std::size_t>(gen.uniform(1, 20));
    Bytes v(m);
    // Values that often repeat or step by a little, so that every kind of
    // token competes.
    int x = gen.uniform(0, 119);
    for (auto& b : v) {
      switch (gen.uniform(0, 3)) {
        case 0: break;
        case 1: x = (x + gen.uniform(-8, 7) + 120) % 120; break;
        case 2: x = (x + gen.uniform(-2, 2) + 120) % 120; break;
        default: x = gen.uniform(0, 119); break;
      }
      b = static_cast<std::uint8_t>(x);
    }
    const int last = gen.uniform(0, 5) == 0 ? 126 : (gen.uniform(0, 1) ? v[0] : gen.uniform(0, 119));
    const Bytes got = vxcodec::encodeRun(v, last);
    ASSERT_EQ(got, plainRun(v, last)) << i;
    ASSERT_EQ(decodeRun(got, last, m), v) << i;
  }
}
