#pragma once
// A connection opened with VX_Connect_NET against an in-process simulator.
#include <gtest/gtest.h>

#include "sim/vxsim.h"
#include "vxsdk.h"
#include "vxsdk/api/connection.h"

namespace sdktest {
inline void* connect(const vxsim::Simulator& sim, int key = 0) {
  return VX_Connect_NET("127.0.0.1", sim.port(), nullptr, 0, key);
}

class SdkTest : public ::testing::Test {
 protected:
  explicit SdkTest(vxsim::Personality p = {}) : sim(p) {}
  void SetUp() override {
    handle = connect(sim);
    ASSERT_NE(handle, nullptr) << "last error " << VX_LastError();
    sim.clearRecords();
  }
  void TearDown() override {
    if (handle) VX_Close(handle);
  }
  vxsdk::Connection& conn() { return *vxsdk::fromHandle(handle); }

  vxsim::Simulator sim;
  void* handle = nullptr;
};
}  // namespace sdktest
