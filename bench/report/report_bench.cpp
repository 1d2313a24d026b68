// Report runs of kinds 2 and 3 over generated companies of 100, 1,000 and
// 5,000 users with 100 punches each in a 31-day period: the indexed engine
// (median of repetitions, and the peak resident memory of one run in a child
// process) and the rescanning reference on the smaller sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "oracle.h"
#include "support.h"

namespace {

using namespace vxtest;

struct Prepared {
  std::unique_ptr<TempDir> dir;
  ReportRequest request;
  std::vector<std::uint8_t> users;
};

// Inputs written once per size; the generated records are freed afterwards.
Prepared& prepared(int users) {
  static std::map<int, Prepared> cache;
  auto found = cache.find(users);
  if (found != cache.end()) return found->second;
  Prepared p;
  p.dir = std::make_unique<TempDir>();
  {
    const Company c = generateCompany(42, users, 100, 31);
    p.request = c.write(*p.dir);
    p.users = c.userBytes();
  }
  return cache.emplace(users, std::move(p)).first->second;
}

// Progress lines go to /dev/null while the engine runs.
class QuietStdout {
 public:
  QuietStdout() : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

int runOnce(const ReportRequest& q, const std::vector<std::uint8_t>& users) {
  UserList list{users, 0};
  QuietStdout quiet;
  return runReport(q, &list, nullptr);
}

// Peak resident memory of one run, measured in a child so that earlier runs do not count.
double childPeakMiB(const ReportRequest& q, const std::vector<std::uint8_t>& users) {
  const pid_t pid = fork();
  if (pid == 0) _exit(runOnce(q, users) == 1 ? 0 : 1);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Report(benchmark::State& state) {
  Prepared& p = prepared(static_cast<int>(state.range(0)));
  ReportRequest q = p.request;
  q.reportKind = static_cast<std::int32_t>(state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(runOnce(q, p.users));
  state.counters["peak_MiB"] = childPeakMiB(q, p.users);
  state.counters["users"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_Report)
    ->ArgsProduct({{100, 1000, 5000}, {2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

void BM_Reference(benchmark::State& state) {
  Prepared& p = prepared(static_cast<int>(state.range(0)));
  ReportRequest q = p.request;
  q.reportKind = static_cast<std::int32_t>(state.range(1));
  TempDir out;
  q.workDirectory = out.prefix();
  q.outputFile = out.file("page.html");
  for (auto _ : state) oracleRun(q, p.users);
}
BENCHMARK(BM_Reference)->ArgsProduct({{100, 1000}, {2, 3}})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
