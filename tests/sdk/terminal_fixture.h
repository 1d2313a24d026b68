#pragma once
// A connection to a simulated terminal holding given users and records.
#include <gtest/gtest.h>

#include "sdk_fixture.h"
#include "sim/vxsim.h"

namespace sdktest {
inline vxsim::Personality firmware(const char* version, bool tft = false) {
  vxsim::Personality p;
  p.firmwareVersion = version;
  p.tft = tft;
  return p;
}
inline const vxsim::Personality kDefault = firmware("Ver 6.60 Apr 28 2010");
inline const vxsim::Personality kOldFirmware = firmware("Ver 5.03 Jan 10 2005");
inline const vxsim::Personality kTft = firmware("Ver 6.60 Apr 28 2010", true);

struct Terminal {
  // Options are set before connecting, since the connection reads some of
  // them once.
  explicit Terminal(vxsim::Personality p = {}, vxsim::TerminalData data = {},
                    std::vector<std::pair<std::string, std::string>> options = {})
      : sim(p) {
    sim.setTerminal(std::move(data));
    for (const auto& [name, value] : options) sim.setOption(name, value);
    handle = connect(sim);
    EXPECT_NE(handle, nullptr) << "last error " << VX_LastError();
    sim.clearRecords();
  }
  ~Terminal() {
    if (handle) VX_Close(handle);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  vxsdk::Connection& conn() { return *vxsdk::fromHandle(handle); }
  // Requests of a command the terminal received, and of bulk reads naming it.
  std::size_t reads(std::uint16_t command) const {
    std::size_t n = sim.count(command);
    for (const auto& p : sim.received())
      if (p.checksumOk && p.code == CMD_QUERY_DATA && p.data.size() >= 3 && (p.data[1] | p.data[2] << 8) == command) ++n;
    return n;
  }

  vxsim::Simulator sim;
  void* handle = nullptr;
};
}  // namespace sdktest
