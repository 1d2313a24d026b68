// Template codec throughput: normaliseTemplate and fitTemplate on generated
// realistic templates and on grids that are worst cases for the run encoder,
// and the run encoder alone on long runs.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "vxsdk/codec/codec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class GridKind { Smooth, EqualRuns, SmallDeltas };

// A token-form template: 40 to 80 minutiae, a few singular points and a full
// 32 x 32 grid.
Bytes makeTemplate(std::mt19937& rng, GridKind kind) {
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  vxcodec::TemplateModel m;
  m.quality = static_cast<std::uint8_t>(uniform(30, 90));
  m.minutiaCount = uniform(40, 80);
  for (int i = 0; i < m.minutiaCount; ++i)
    m.minutiae[i] = {uniform(40, 470), uniform(40, 470), uniform(0, 239), uniform(-1, 62), uniform(0, 255)};
  m.singularCount = uniform(0, 3);
  for (int i = 0; i < m.singularCount; ++i)
    m.singularPoints[i] = {uniform(100, 400), uniform(100, 400), uniform(0, 359), uniform(0, 2)};
  vxcodec::Grid& g = m.grid;
  g.width = g.height = 32;
  const int base = uniform(0, 119);
  for (int r = 0; r < 32; ++r) {
    int v = (base + 3 * r) % 120;
    for (int c = 0; c < 32; ++c) {
      switch (kind) {
        case GridKind::Smooth:  // a ridge flow: mostly small turns, some repeats
          if (uniform(0, 2) != 0) v = (v + uniform(-3, 3) + 120) % 120;
          break;
        case GridKind::EqualRuns:  // whole rows of one value
          break;
        case GridKind::SmallDeltas:  // every step a small delta, no repeats
          v = (v + (uniform(0, 1) ? uniform(1, 7) : -uniform(1, 8)) + 120) % 120;
          break;
      }
      g.cells[r][c] = static_cast<std::uint8_t>(v);
    }
  }
  Bytes out(vxcodec::kMaxEncodedLength);
  out.resize(vxcodec::encodeTokenForm(m, true, out));
  out.resize(vxcodec::kTemplateArea, 0);
  return out;
}

std::vector<Bytes> pool(GridKind kind) {
  std::mt19937 rng(static_cast<unsigned>(kind) + 1);
  std::vector<Bytes> templates;
  for (int i = 0; i < 64; ++i) templates.push_back(makeTemplate(rng, kind));
  return templates;
}

void normalise(benchmark::State& state, GridKind kind) {
  const auto templates = pool(kind);
  Bytes dest(vxcodec::kTemplateArea);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vxcodec::normaliseTemplate(templates[i++ % templates.size()], dest));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// Fitting to a limit that needs the grid dropped and minutiae removed.
void fit(benchmark::State& state, GridKind kind) {
  const auto templates = pool(kind);
  Bytes buffer;
  std::size_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    buffer = templates[i++ % templates.size()];
    state.ResumeTiming();
    benchmark::DoNotOptimize(vxcodec::fitTemplate(buffer, static_cast<int>(state.range(0))));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void encodeRun(benchmark::State& state, bool equal) {
  const auto m = static_cast<std::size_t>(state.range(0));
  Bytes run(m);
  std::mt19937 rng(3);
  for (std::size_t i = 0; i < m; ++i)
    run[i] = static_cast<std::uint8_t>(equal ? 60 : (60 + std::uniform_int_distribution<int>(-3, 3)(rng)));
  for (auto _ : state) benchmark::DoNotOptimize(vxcodec::encodeRun(run, 60));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK_CAPTURE(normalise, realistic, GridKind::Smooth);
BENCHMARK_CAPTURE(normalise, equal_runs, GridKind::EqualRuns);
BENCHMARK_CAPTURE(normalise, small_deltas, GridKind::SmallDeltas);
BENCHMARK_CAPTURE(fit, realistic, GridKind::Smooth)->Arg(1011)->Arg(300);
BENCHMARK_CAPTURE(fit, small_deltas, GridKind::SmallDeltas)->Arg(1011)->Arg(300);
BENCHMARK_CAPTURE(encodeRun, equal, true)->Arg(32)->Arg(4096);
BENCHMARK_CAPTURE(encodeRun, small_deltas, false)->Arg(32)->Arg(4096);

BENCHMARK_MAIN();
