#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include "platform/export.h"

namespace vxp {
constexpr std::int64_t kWaitForever = -1;

// A manual-reset event: stays set until reset, wakes every waiter.
class VXP_API ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void set();
  void reset();
  bool isSet() const;
  // Waits until the event is set or the time-out (ms, kWaitForever for none)
  // runs out; true when it is set.
  bool wait(std::int64_t timeoutMs) const;
  // Waits like wait() and, when the event is set, clears it in the same step.
  bool waitAndReset(std::int64_t timeoutMs);

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool set_;
  // Counts set() calls, so that a waiter is released by a set that is
  // followed at once by a reset, as waiters on a manual-reset event are.
  std::uint64_t sets_ = 0;
};

// Stand-in for suspending and resuming a thread: the thread calls pass() at its
// safe point and stays there while the gate is closed.
class VXP_API Gate {
 public:
  void close();
  void open();
  // Returns when the gate is open or abort() is true after a wake-up.
  template <class Abort>
  void pass(Abort abort) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return open_ || abort(); });
  }
  // Wakes a thread held in pass() so that it re-checks its abort condition.
  void poke();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = true;
};
}  // namespace vxp
