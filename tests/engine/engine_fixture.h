#pragma once
// An engine opened on "comms.dll" against an in-process simulator.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "sim/vxsim.h"
#include "wirecore.h"

namespace enginetest {
// Collects the events an engine delivers to its callback (reader thread).
struct EventLog {
  struct Event {
    int code;
    std::vector<unsigned char> data;
  };
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<Event> events;

  static int callback(intptr_t self, int code, int length, const unsigned char* data) {
    auto* log = reinterpret_cast<EventLog*>(self);
    std::lock_guard lock(log->mutex);
    log->events.push_back({code, std::vector<unsigned char>(data, data + (length > 0 ? length : 0))});
    log->cv.notify_all();
    return 0;
  }
  bool waitCount(std::size_t n, int ms) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return events.size() >= n; });
  }
  std::size_t size() {
    std::lock_guard lock(mutex);
    return events.size();
  }
};

inline EngineHandle openEngine(const vxsim::Simulator& sim, EventLog* log = nullptr, std::int32_t key = 0,
                               const char* transport = "comms.dll") {
  return VXEMBPRO_INIT(transport, reinterpret_cast<intptr_t>("127.0.0.1"), sim.port(), 0,
                       log ? &EventLog::callback : nullptr, reinterpret_cast<intptr_t>(log), key);
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = openEngine(sim, &events);
    ASSERT_NE(engine, nullptr) << "last error " << VXEMBPRO_LASTERROR();
    sim.clearRecords();
  }
  void TearDown() override {
    if (engine) VXEMBPRO_CLOSE(engine);
  }
  // Sends a command without data; returns the outcome code.
  std::uint16_t command(std::uint16_t code, unsigned char* buffer = nullptr, int capacity = 0, int request = 0,
                        int timeoutMs = 1000, int* result = nullptr) {
    const int r = VXEMBPRO_SENDCMD(engine, &code, buffer, capacity, request, timeoutMs);
    if (result) *result = r;
    return code;
  }

  vxsim::Simulator sim;
  EventLog events;
  EngineHandle engine = nullptr;
};
}  // namespace enginetest
