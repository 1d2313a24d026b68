// Report runs of kinds 2 and 3 over generated companies of 100, 1,000 and
// 5,000 users with 100 punches each in a 31-day period: the indexed engine
// (median of repetitions, and the peak resident memory of one run in a child
// process) and the rescanning reference on the smaller sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
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

long statusKiB(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long value = -1;
  const std::size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, n) == 0) value = std::atol(line + n);
  std::fclose(f);
  return value;
}

// Memory of one run, measured in a child: the peak resident size since the
// run began (the kernel's high-water mark is reset first), and how much of it
// the run added to what the child inherited.
struct Peak {
  double peakMiB = -1, addedMiB = -1;
};
Peak childPeak(const ReportRequest& q, const std::vector<std::uint8_t>& users) {
  malloc_trim(0);  // hand back the heap earlier runs left, so the child's growth shows
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (std::FILE* c = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", c);
      std::fclose(c);
    }
    const long before = statusKiB("VmRSS:");
    runOnce(q, users);
    const long values[2] = {statusKiB("VmHWM:"), statusKiB("VmHWM:") - before};
    (void)!write(fds[1], values, sizeof values);
    _exit(0);
  }
  close(fds[1]);
  long values[2] = {-1024, -1024};
  (void)!read(fds[0], values, sizeof values);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return Peak{values[0] / 1024.0, values[1] / 1024.0};
}

void BM_Report(benchmark::State& state) {
  Prepared& p = prepared(static_cast<int>(state.range(0)));
  ReportRequest q = p.request;
  q.reportKind = static_cast<std::int32_t>(state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(runOnce(q, p.users));
  const Peak peak = childPeak(q, p.users);
  state.counters["peak_MiB"] = peak.peakMiB;
  state.counters["run_MiB"] = peak.addedMiB;
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
