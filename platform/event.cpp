#include "platform/event.h"

#include <chrono>

namespace vxp {
void ManualResetEvent::set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
    ++sets_;
  }
  cv_.notify_all();
}

void ManualResetEvent::reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool ManualResetEvent::isSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool ManualResetEvent::wait(std::int64_t timeoutMs) const {
  std::unique_lock lock(mutex_);
  const std::uint64_t setsAtStart = sets_;
  auto released = [&] { return set_ || sets_ != setsAtStart; };
  if (timeoutMs < 0) {
    cv_.wait(lock, released);
    return true;
  }
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), released);
}

bool ManualResetEvent::waitAndReset(std::int64_t timeoutMs) {
  std::unique_lock lock(mutex_);
  bool got = timeoutMs < 0
                 ? (cv_.wait(lock, [&] { return set_; }), true)
                 : cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return set_; });
  if (got) set_ = false;
  return got;
}

void Gate::close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

void Gate::open() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  cv_.notify_all();
}

void Gate::poke() {
  { std::lock_guard lock(mutex_); }
  cv_.notify_all();
}
}  // namespace vxp
