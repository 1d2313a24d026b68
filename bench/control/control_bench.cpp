// Options and device control against the in-process simulated terminal: an
// option read and a scrambled write (one exchange each), a 640 x 480
// fingerprint capture with and without its bitmap file, and the scrambling
// itself.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "sim/vxsim.h"
#include "vxsdk.h"
#include "vxsdk/api/options.h"

namespace {
struct Session {
  vxsim::Simulator sim;
  void* handle = nullptr;
  Session() { handle = VX_Connect_NET("127.0.0.1", sim.port(), nullptr, 0, 0); }
  ~Session() {
    if (handle) VX_Close(handle);
  }
};

void BM_OptionRead(benchmark::State& state) {
  Session s;
  s.sim.setOption("~SerialNumber", "VX5-0000042");
  char value[100];
  for (auto _ : state) {
    if (VX_GetSerialNumber(s.handle, value) != 1) state.SkipWithError("read failed");
  }
}
BENCHMARK(BM_OptionRead)->UseRealTime();

void BM_ScrambledWrite(benchmark::State& state) {
  Session s;
  for (auto _ : state) {
    if (VX_SetSysOption(s.handle, "~ProductTime", "2010-04-28 12:00:00") != 1) state.SkipWithError("write failed");
  }
}
BENCHMARK(BM_ScrambledWrite)->UseRealTime();

void BM_Scramble51(benchmark::State& state) {
  const std::string value(51, '7');
  for (auto _ : state) benchmark::DoNotOptimize(vxsdk::scrambleValue(value, 0x28));
}
BENCHMARK(BM_Scramble51);

void BM_Capture640x480(benchmark::State& state) {
  Session s;
  vxsim::Bytes pixels(640 * 480);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
  s.sim.setCaptureImage(vxsim::CaptureImage{640, 480, pixels, true});
  const std::string file = "/tmp/control_bench_" + std::to_string(::getpid()) + ".bmp";
  const bool toFile = state.range(0) != 0;
  std::vector<unsigned char> image(pixels.size());
  for (auto _ : state) {
    int width = 0, height = 0;
    if (VX_CaptureImage(s.handle, 1, &width, &height, image.data(), toFile ? file.c_str() : nullptr) != 1)
      state.SkipWithError("capture failed");
  }
  std::remove(file.c_str());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(pixels.size()));
}
BENCHMARK(BM_Capture640x480)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
