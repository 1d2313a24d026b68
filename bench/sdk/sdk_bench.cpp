// Opening and closing a connection; downloading and walking 100,000 attendance records in each record form and
// 10,000 users in the 28- and 72-byte forms, from an in-process simulated
// terminal over loopback. Per run: records per second, the time of one
// download and walk, the share of it spent in the transfer, and what the
// connection holds in resident memory afterwards. Medians of repetitions;
// every repetition opens a new connection, as an application that connects
// again would.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/vxsim.h"
#include "vxsdk.h"
#include "vxsdk/api/connection.h"

namespace {
using Clock = std::chrono::steady_clock;

constexpr std::size_t kRecords = 100000;
constexpr std::size_t kUsers = 10000;

// Bytes of [p, p + n) that are resident.
std::size_t residentBytes(const void* p, std::size_t n) {
  if (p == nullptr || n == 0) return 0;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + n + page - 1) & ~(page - 1);
  std::vector<unsigned char> pages((end - start) / page);
  if (mincore(reinterpret_cast<void*>(start), end - start, pages.data()) != 0) return 0;
  std::size_t resident = 0;
  for (unsigned char v : pages) resident += (v & 1) ? page : 0;
  return resident;
}

// What a connection holds in memory: its record and its buffers, counting
// only the pages that are resident.
double connectionMiB(void* handle) {
  const vxsdk::Connection& c = *vxsdk::fromHandle(handle);
  std::size_t bytes = residentBytes(&c, sizeof c);
  for (const vxsdk::LazyBuffer* b :
       {&c.bulkBuffer, &c.userBuffer, &c.batchIndex, &c.batchUsers, &c.batchTemplates, &c.batchUserCache})
    bytes += residentBytes(b->data(), b->size());
  return static_cast<double>(bytes) / (1 << 20);
}

enum Form { Compressed, Extended, StringId };

struct Run {
  double transfer = 0, total = 0;
};

// A terminal and one connection kept for every iteration of a benchmark.
struct Bench {
  Bench(vxsim::Personality p, vxsim::TerminalData data, bool extendFormat) : sim(p) {
    sim.setTerminal(std::move(data));
    if (extendFormat) sim.setOption("~ExtendFmt", "1");
    handle = VX_Connect_NET("127.0.0.1", sim.port(), nullptr, 0, 0);
  }
  ~Bench() {
    if (handle) VX_Close(handle);
  }
  vxsim::Simulator sim;
  void* handle = nullptr;
};

void report(benchmark::State& state, const Run& run, std::size_t items, void* handle) {
  state.SetItemsProcessed(static_cast<std::int64_t>(items * state.iterations()));
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(items * state.iterations()), benchmark::Counter::kIsRate);
  state.counters["walk_ms"] = run.total * 1000 / static_cast<double>(state.iterations());
  state.counters["transfer_share"] = run.total > 0 ? run.transfer / run.total : 0;
  state.counters["connection_MiB"] = connectionMiB(handle);
}

void BM_Attendance(benchmark::State& state) {
  const auto form = static_cast<Form>(state.range(0));
  vxsim::Personality p;
  p.tft = form == StringId;
  Bench b(p, vxsim::makeTerminal({.seed = 1, .users = 1000, .attendance = kRecords}), form == Extended);
  if (b.handle == nullptr) {
    state.SkipWithError("connection failed");
    return;
  }
  // The string-ID walk copies whole user IDs; the others hand out internal
  // numbers (a PIN width above 5 adds a user look-up per record).
  if (form == StringId) vxsdk::fromHandle(b.handle)->pinWidth = 24;
  Run run;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (VX_ReadLog(b.handle, 1) != 1) {
      state.SkipWithError("download failed");
      return;
    }
    const auto downloaded = Clock::now();
    int number = 0, y, mo, d, h, mi, s, workCode;
    unsigned char verify, inOut;
    char userId[25];
    std::size_t walked = 0;
    if (form == StringId) {
      while (VX_SSR_GetLog(b.handle, userId, &verify, &inOut, &y, &mo, &d, &h, &mi, &s, &workCode) == 1) ++walked;
    } else {
      while (VX_GetLog(b.handle, &number, &verify, &inOut, &y, &mo, &d, &h, &mi, &s) == 1) ++walked;
    }
    const auto end = Clock::now();
    if (walked != kRecords) {
      state.SkipWithError("records lost");
      return;
    }
    run.transfer += std::chrono::duration<double>(downloaded - start).count();
    run.total += std::chrono::duration<double>(end - start).count();
  }
  report(state, run, kRecords, b.handle);
}

void BM_Users(benchmark::State& state) {
  const bool stringIds = state.range(0) != 0;
  vxsim::Personality p;
  p.tft = stringIds;
  Bench b(p, vxsim::makeTerminal({.seed = 1, .users = kUsers}), false);
  if (b.handle == nullptr) {
    state.SkipWithError("connection failed");
    return;
  }
  vxsdk::fromHandle(b.handle)->pinWidth = 24;
  Run run;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (VX_ReadUserInfo(b.handle) != 1) {
      state.SkipWithError("download failed");
      return;
    }
    const auto downloaded = Clock::now();
    int number, privilege, enabled, pin2, group, card, department;
    int zones[4], shifts[4];
    char userId[25], name[25], password[9];
    unsigned char cardBytes[5];
    std::size_t walked = 0;
    if (stringIds) {
      while (SSR_VX_GetUserInfo(b.handle, &number, userId, name, &privilege, &enabled, password, &card, &department,
                                shifts) == 1)
        ++walked;
    } else {
      while (VX_GetUserInfo(b.handle, &number, name, &privilege, &enabled, password, cardBytes, &pin2, &group,
                            zones) == 1)
        ++walked;
    }
    const auto end = Clock::now();
    if (walked != kUsers) {
      state.SkipWithError("users lost");
      return;
    }
    run.transfer += std::chrono::duration<double>(downloaded - start).count();
    run.total += std::chrono::duration<double>(end - start).count();
  }
  report(state, run, kUsers, b.handle);
}

// Opening a connection (version read and option probes) and closing it.
void BM_ConnectAndClose(benchmark::State& state) {
  vxsim::Simulator sim;
  for (auto _ : state) {
    void* handle = VX_Connect_NET("127.0.0.1", sim.port(), nullptr, 0, 0);
    if (handle == nullptr) {
      state.SkipWithError("connection failed");
      return;
    }
    VX_Close(handle);
  }
}
}  // namespace

BENCHMARK(BM_ConnectAndClose)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Attendance)
    ->ArgName("form")  // 0 compressed, 1 extended, 2 string ID
    ->Arg(Compressed)
    ->Arg(Extended)
    ->Arg(StringId)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Users)
    ->ArgName("stringIds")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
