// Run encoder of the compressed grid. A run of values below 120 can be written
// with three kinds of tokens: 0x80 + k (k + 1 copies of the running value),
// 0xA0 + k (k + 1 bytes of two small deltas each) and a literal byte. The
// shortest sequence is searched over all ways of cutting the run into such
// tokens. Candidates are tried in a fixed order (copies of 2 to 32 cells,
// delta tokens of 2 to 32 bytes, a literal) and a later one replaces the best
// so far only when strictly shorter, which settles every tie.
//
// After any token the running value is the last value the token wrote, so the
// value before position i is values[i - 1] (or `last` for i = 0): the best
// encoding of the tail from i depends on i alone. That turns the search into a
// dynamic programme over the position, from the end of the run backwards, in
// time linear in the run length (at most 32 + 31 candidates per position).
#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "codec.h"
#include "runcode.h"

namespace vxcodec {
namespace {

constexpr int kMaxRepeat = 32;    // cells of one 0x80 + k token
constexpr int kMaxDeltaBytes = 32;  // bytes of one 0xA0 + k token
constexpr int kDirections = 120;

enum class Kind : std::uint8_t { Repeat, Deltas, Literal };

struct Step {
  std::uint32_t cost = 0;  // bytes from this position to the end of the run
  Kind kind = Kind::Literal;
  std::uint8_t count = 1;  // cells of a repeat, bytes of a delta token
};

// Difference of two directions brought into -60 to 59.
int directionDelta(int value, int previous) {
  int d = value - previous;
  if (d > 59) d -= kDirections;
  else if (d < -60) d += kDirections;
  return d;
}

bool smallDelta(int d) { return d >= -8 && d <= 7; }

void plan(std::span<const std::uint8_t> v, int last, std::span<Step> steps) {
  const std::size_t m = v.size();
  steps[m] = Step{0, Kind::Literal, 0};
  // Leading values equal to the running value, and leading small deltas, at
  // position i + 1 (where the running value is v[i]): each follows from the
  // next position's count, so the plan never rescans the run.
  std::size_t equalNext = 0, smallNext = 0;
  for (std::size_t i = m; i-- > 0;) {
    const int p = i == 0 ? last : v[i - 1];
    const std::size_t rest = m - i;
    const std::size_t equal = v[i] == p ? 1 + equalNext : 0;
    const std::size_t small = smallDelta(directionDelta(v[i], p)) ? 1 + smallNext : 0;
    equalNext = equal;
    smallNext = small;

    Step best{std::numeric_limits<std::uint32_t>::max(), Kind::Literal, 1};
    if (p < kDirections) {
      // Copies of the running value.
      if (equal >= 2 && rest <= kMaxRepeat && equal == rest) {
        steps[i] = Step{1, Kind::Repeat, static_cast<std::uint8_t>(rest)};
        continue;
      }
      const std::size_t repeats = std::min<std::size_t>(equal, kMaxRepeat);
      for (std::size_t k = 2; k <= repeats; ++k) {
        const std::uint32_t cost = 1 + steps[i + k].cost;
        if (cost < best.cost) best = Step{cost, Kind::Repeat, static_cast<std::uint8_t>(k)};
      }
      // Pairs of small deltas.
      const std::size_t pairs = std::min<std::size_t>(small / 2, kMaxDeltaBytes);
      for (std::size_t l = 2; l <= pairs; ++l) {
        const std::uint32_t cost = static_cast<std::uint32_t>(1 + l) + steps[i + 2 * l].cost;
        if (cost < best.cost) best = Step{cost, Kind::Deltas, static_cast<std::uint8_t>(l)};
      }
    }
    const std::uint32_t literal = 1 + steps[i + 1].cost;
    if (literal < best.cost) best = Step{literal, Kind::Literal, 1};
    steps[i] = best;
  }
}

void emit(std::span<const std::uint8_t> v, int last, std::span<const Step> steps, ByteWriter& out) {
  std::size_t i = 0;
  int p = last;
  while (i < v.size()) {
    const Step& s = steps[i];
    switch (s.kind) {
      case Kind::Repeat:
        out.u8(static_cast<std::uint8_t>(0x80 + s.count - 1));
        i += s.count;
        break;
      case Kind::Deltas:
        out.u8(static_cast<std::uint8_t>(0xA0 + s.count - 1));
        for (int j = 0; j < s.count; ++j) {
          const int hi = directionDelta(v[i], p) + 8;
          const int lo = directionDelta(v[i + 1], v[i]) + 8;
          out.u8(static_cast<std::uint8_t>(hi * 16 + lo));
          p = v[i + 1];
          i += 2;
        }
        break;
      case Kind::Literal:
        out.u8(v[i]);
        p = v[i];
        ++i;
        break;
    }
  }
}

}  // namespace

void writeRun(std::span<const std::uint8_t> values, int last, ByteWriter& out) {
  // Grid rows hold at most 32 cells: plan those on the stack.
  constexpr std::size_t kStackRun = kMaxTokenGridSide;
  if (values.size() <= kStackRun) {
    std::array<Step, kStackRun + 1> steps;
    plan(values, last, steps);
    emit(values, last, steps, out);
  } else {
    std::vector<Step> steps(values.size() + 1);
    plan(values, last, steps);
    emit(values, last, steps, out);
  }
}

std::vector<std::uint8_t> encodeRun(std::span<const std::uint8_t> values, int last) {
  // No token is longer than the value it replaces: the run's length bounds it.
  std::vector<std::uint8_t> out(values.size());
  ByteWriter writer(out);
  writeRun(values, last, writer);
  out.resize(writer.size());
  return out;
}

}  // namespace vxcodec
