#pragma once
// Outgoing packets: the fault stage and the send queue. Every packet the
// simulator sends passes post(); the worker takes what is due with takeDue().
// Fault decisions are drawn from one std::mt19937 in the order packets are
// posted, so a run with the same seed and the same traffic repeats exactly.
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "sim/vxsim.h"

namespace vxsim::detail {

class Outbox {
 public:
  using Clock = std::chrono::steady_clock;

  struct Datagram {
    Bytes wire;
    sockaddr_in to{};
  };

  // How long a packet held back for reordering waits for a successor before
  // it is sent anyway.
  static constexpr std::chrono::milliseconds kHoldLimit{200};

  void setPlan(FaultPlan plan);
  std::vector<FaultRecord> faultLog() const;

  // Encodes the packet, applies the plan and queues it for `due`.
  void post(const Packet& packet, const sockaddr_in& to, Clock::time_point due);
  // Removes and returns the datagrams due at `now`, in sending order.
  std::vector<Datagram> takeDue(Clock::time_point now);
  std::optional<Clock::time_point> nextDue() const;
  void clear();  // drops everything queued

 private:
  using Key = std::pair<Clock::time_point, std::uint64_t>;  // due, posting order
  double draw();  // uniform in [0, 1)
  void queue(Key key, Datagram datagram);

  mutable std::mutex mutex_;
  std::map<Key, Datagram> queue_;
  std::optional<Key> held_;  // the packet held back for reordering
  std::uint64_t order_ = 0;
  std::uint64_t packets_ = 0;
  FaultPlan plan_;
  std::vector<int> fired_;  // per rule
  std::mt19937 rng_{1};
  std::vector<FaultRecord> log_;
};

}  // namespace vxsim::detail
