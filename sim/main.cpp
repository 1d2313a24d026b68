// vxsim: runs a simulated terminal on 127.0.0.1 until SIGINT or SIGTERM.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "sim/vxsim.h"

namespace {
vxsim::FaultRule shareRule(vxsim::FaultKind kind, double share, int delayMs = 0) {
  vxsim::FaultRule rule;
  rule.kind = kind;
  rule.share = share;
  rule.delayMs = delayMs;
  return rule;
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated time-attendance terminal on 127.0.0.1"};
  int port = 4370;
  vxsim::Personality personality;
  std::uint32_t seed = 1;
  double drop = 0, duplicate = 0, corrupt = 0, reorder = 0, delayShare = 0;
  int delayMs = 0;
  app.add_option("--port", port, "UDP port (0: any free port)")->check(CLI::Range(0, 65535));
  app.add_option("--key", personality.commKey, "communication key (0: none)");
  app.add_option("--firmware", personality.firmwareVersion, "firmware version text");
  app.add_flag("--tft", personality.tft, "TFT platform");
  app.add_flag("--old-firmware", personality.oldFirmware, "no query read path");
  app.add_flag("--compress", personality.compress, "LZO1X-compress data sets on the query path");
  app.add_option("--packet-size", personality.packetSize, "bytes per data block of a bulk read")
      ->check(CLI::Range(1, 1024));
  app.add_option("--seed", seed, "seed of the fault generator");
  app.add_option("--drop", drop, "share of outgoing packets dropped")->check(CLI::Range(0.0, 1.0));
  app.add_option("--duplicate", duplicate, "share of outgoing packets sent twice")->check(CLI::Range(0.0, 1.0));
  app.add_option("--corrupt", corrupt, "share of outgoing packets corrupted")->check(CLI::Range(0.0, 1.0));
  app.add_option("--reorder", reorder, "share of outgoing packets sent after the next one")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--delay", delayMs, "delay in ms for --delay-share of outgoing packets")->check(CLI::Range(0, 60000));
  app.add_option("--delay-share", delayShare, "share of outgoing packets delayed")->check(CLI::Range(0.0, 1.0));
  std::string terminalFile, saveFile;
  vxsim::TerminalRecipe recipe;
  recipe.fingersPerUser = 1;
  std::size_t records = 0;
  auto* load = app.add_option("--terminal", terminalFile, "users and records from a terminal file");
  app.add_option("--users", recipe.users, "generated users")->check(CLI::Range(0, 65534))->excludes(load);
  app.add_option("--records", records, "generated attendance records")->excludes(load);
  app.add_option("--data-seed", recipe.seed, "seed of the generated users and records")->excludes(load);
  app.add_option("--save", saveFile, "write the terminal's users and records to a file");
  CLI11_PARSE(app, argc, argv);
  recipe.attendance = records;
  recipe.operations = records / 10;
  vxsim::TerminalData data;
  if (!terminalFile.empty()) {
    auto loaded = vxsim::loadTerminal(terminalFile);
    if (!loaded) {
      std::fprintf(stderr, "vxsim: %s: not a terminal file\n", terminalFile.c_str());
      return 1;
    }
    data = std::move(*loaded);
  } else {
    data = vxsim::makeTerminal(recipe);
  }
  if (!saveFile.empty() && !vxsim::saveTerminal(data, saveFile)) {
    std::fprintf(stderr, "vxsim: %s: cannot be written\n", saveFile.c_str());
    return 1;
  }

  // Block the stop signals before the worker starts, so that only sigwait sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    vxsim::Simulator sim(vxsim::Simulator::Config{static_cast<std::uint16_t>(port), personality, true});
    sim.setTerminal(std::move(data));
    vxsim::FaultPlan plan;
    plan.seed = seed;
    using vxsim::FaultKind;
    if (drop > 0) plan.rules.push_back(shareRule(FaultKind::Drop, drop));
    if (duplicate > 0) plan.rules.push_back(shareRule(FaultKind::Duplicate, duplicate));
    if (corrupt > 0) plan.rules.push_back(shareRule(FaultKind::Corrupt, corrupt));
    if (reorder > 0) plan.rules.push_back(shareRule(FaultKind::Reorder, reorder));
    if (delayShare > 0 && delayMs > 0) plan.rules.push_back(shareRule(FaultKind::Delay, delayShare, delayMs));
    sim.setFaults(plan);

    std::printf("vxsim listening on 127.0.0.1:%u\n", static_cast<unsigned>(sim.port()));
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::printf("vxsim stopped (signal %d)\n", signal);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vxsim: %s\n", error.what());
    return 1;
  }
  return 0;
}
