// Command latency, bulk throughput against the pacing limits, and the memory
// of idle connections, all against the in-process simulator on loopback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>
#include <random>
#include <vector>

#include "sim/vxsim.h"
#include "vxsdk.h"
#include "wirecore.h"

namespace {
EngineHandle open(const vxsim::Simulator& sim) {
  return VXEMBPRO_INIT("comms.dll", reinterpret_cast<intptr_t>("127.0.0.1"), sim.port(), 0, nullptr, 0, 0);
}

void Command(benchmark::State& state) {
  vxsim::Simulator sim;
  EngineHandle engine = open(sim);
  const int requestBytes = static_cast<int>(state.range(0));
  std::vector<unsigned char> buffer(1024, 0x42);
  for (auto _ : state) {
    std::uint16_t code = CMD_ENABLEDEVICE;
    VXEMBPRO_SENDCMD(engine, &code, buffer.data(), 0, requestBytes, 1000);
    if (code != CMD_ACK_OK) state.SkipWithError("no answer");
  }
  VXEMBPRO_CLOSE(engine);
}
BENCHMARK(Command)->Arg(0)->Arg(100)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same round trip with two plain sockets: the floor a command can reach.
void RawUdpRoundTrip(benchmark::State& state) {
  auto bound = [] {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return std::pair{fd, a};
  };
  auto [host, hostAddr] = bound();
  auto [device, deviceAddr] = bound();
  std::atomic<bool> stop{false};
  std::thread echo([&, device = device] {
    char buf[2048];
    timeval tv{0, 100000};
    setsockopt(device, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    while (!stop) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = ::recvfrom(device, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n > 0) ::sendto(device, buf, 8, 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  });
  char packet[8] = {};
  for (auto _ : state) {
    ::sendto(host, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&deviceAddr), sizeof deviceAddr);
    ::recv(host, packet, sizeof packet, 0);
  }
  stop = true;
  echo.join();
  ::close(host);
  ::close(device);
}
BENCHMARK(RawUdpRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

std::vector<std::uint8_t> dataSet(std::size_t size) {
  std::mt19937 rng(1);
  std::vector<std::uint8_t> b(size);
  // Attendance-like: repeating structure with some noise, so compression has a real job.
  for (std::size_t i = 0; i < size; ++i) b[i] = (i % 8 < 4) ? static_cast<std::uint8_t>(i / 8 % 97) : static_cast<std::uint8_t>(rng() % 4);
  return b;
}

// A 6 MB data set through the query path with the SDK's network block size.
// The pacing limit is one 10 ms pause per CMD_READ_DATA request.
void Download6MB(benchmark::State& state) {
  vxsim::Personality p;
  p.compress = state.range(0) != 0;
  vxsim::Simulator sim(p);
  const auto set = dataSet(6u << 20);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, set);
  EngineHandle engine = open(sim);
  constexpr int kBlock = 16384;
  std::vector<unsigned char> out(set.size() + 1024);
  for (auto _ : state) {
    std::uint16_t code = CMD_ATTLOG_RRQ;
    const int got = VXEMBPRO_READDATA(engine, &code, out.data(), static_cast<int>(out.size()), 0, kBlock, 12000);
    if (got != static_cast<int>(set.size())) state.SkipWithError("download failed");
  }
  const auto stats = state.iterations();
  VXEMBPRO_CLOSE(engine);
  const double requests = std::ceil(static_cast<double>(p.compress ? sim.count(CMD_READ_DATA) / std::max<double>(1, stats)
                                                                   : set.size() / double(kBlock)));
  state.counters["MB/s"] = benchmark::Counter(double(set.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["limit_s"] = requests * 0.010;
}
BENCHMARK(Download6MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 1 MB into the device's transfer buffer; the pacing limit is one 10 ms
// pause per 1024-byte chunk.
void Upload1MB(benchmark::State& state) {
  vxsim::Simulator sim;
  EngineHandle engine = open(sim);
  const auto data = dataSet(1u << 20);
  for (auto _ : state) {
    if (VXEMBPRO_SENDDATA(engine, data.data(), static_cast<int>(data.size()), 2000) != 1) state.SkipWithError("upload failed");
  }
  VXEMBPRO_CLOSE(engine);
  state.counters["KB/s"] = benchmark::Counter(double(data.size()) / 1024, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["limit_s"] = (data.size() / 1024) * 0.010;
}
BENCHMARK(Upload1MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

long residentKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Resident memory that 100 open, idle SDK connections add to the process.
void IdleConnections(benchmark::State& state) {
  vxsim::Simulator sim;
  for (auto _ : state) {
    const long before = residentKb();
    std::vector<void*> handles;
    for (int i = 0; i < 100; ++i) handles.push_back(VX_Connect_NET("127.0.0.1", sim.port(), nullptr, 0, 0));
    const long after = residentKb();
    state.counters["KB_per_connection"] = double(after - before) / 100;
    for (void* h : handles) VX_Close(h);
  }
}
BENCHMARK(IdleConnections)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
}  // namespace

BENCHMARK_MAIN();
