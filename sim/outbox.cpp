#include "sim/outbox.h"

#include <algorithm>

#include "wirecore/packet.h"

namespace vxsim::detail {
namespace {
bool applies(const FaultRule& rule, const Packet& packet) {
  if (!rule.codes.empty() && std::find(rule.codes.begin(), rule.codes.end(), packet.code) == rule.codes.end())
    return false;
  return !rule.match || rule.match(packet);
}

Bytes encode(const Packet& packet) {
  // Data beyond one packet's capacity is cut: a datagram never exceeds 1032 bytes.
  const std::size_t length = std::min(packet.data.size(), wire::kMaxData);
  Bytes out(wire::kHeaderSize + length);
  wire::buildPacket(out, packet.code, packet.sessionId, packet.replyId,
                    std::span<const std::uint8_t>(packet.data.data(), length));
  return out;
}
}  // namespace

void Outbox::setPlan(FaultPlan plan) {
  std::lock_guard lock(mutex_);
  rng_.seed(plan.seed);
  fired_.assign(plan.rules.size(), 0);
  plan_ = std::move(plan);
}

std::vector<FaultRecord> Outbox::faultLog() const {
  std::lock_guard lock(mutex_);
  return log_;
}

double Outbox::draw() { return static_cast<double>(rng_()) / 4294967296.0; }

void Outbox::queue(Key key, Datagram datagram) { queue_.emplace(key, std::move(datagram)); }

void Outbox::post(const Packet& packet, const sockaddr_in& to, Clock::time_point due) {
  std::lock_guard lock(mutex_);
  const std::uint64_t number = packets_++;
  Datagram datagram{encode(packet), to};
  bool duplicate = false;
  bool reorder = false;
  for (std::size_t i = 0; i < plan_.rules.size(); ++i) {
    const FaultRule& rule = plan_.rules[i];
    if (!applies(rule, packet) || (rule.limit >= 0 && fired_[i] >= rule.limit)) continue;
    if (draw() >= rule.share) continue;
    if (rule.kind == FaultKind::Reorder && held_) continue;  // one packet is held at a time
    ++fired_[i];
    log_.push_back(FaultRecord{rule.kind, number, packet.code, packet.sessionId, packet.replyId});
    switch (rule.kind) {
      case FaultKind::Drop:
        return;  // a dropped packet is not examined further
      case FaultKind::Duplicate:
        duplicate = true;
        break;
      case FaultKind::Corrupt: {
        // Flip bits of one byte after the checksum was computed.
        const std::size_t at = rng_() % datagram.wire.size();
        datagram.wire[at] ^= static_cast<std::uint8_t>(1 + rng_() % 255);
        break;
      }
      case FaultKind::Delay:
        due += std::chrono::milliseconds(std::max(rule.delayMs, 0));
        break;
      case FaultKind::Reorder:
        reorder = true;
        break;
    }
  }

  if (reorder) {
    const Key key{due + kHoldLimit, order_++};
    held_ = key;
    if (duplicate) queue({due, order_++}, datagram);
    queue(key, std::move(datagram));
    return;
  }
  Key last{due, order_++};
  if (duplicate) {
    queue(last, datagram);
    last = {due, order_++};
  }
  queue(last, std::move(datagram));
  if (held_) {
    // Release the held packet right after this one.
    if (auto node = queue_.extract(*held_)) {
      node.key() = {last.first, order_++};
      queue_.insert(std::move(node));
    }
    held_.reset();
  }
}

std::vector<Outbox::Datagram> Outbox::takeDue(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  std::vector<Datagram> due;
  while (!queue_.empty() && queue_.begin()->first.first <= now) {
    if (held_ && queue_.begin()->first == *held_) held_.reset();
    due.push_back(std::move(queue_.begin()->second));
    queue_.erase(queue_.begin());
  }
  return due;
}

std::optional<Outbox::Clock::time_point> Outbox::nextDue() const {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  return queue_.begin()->first.first;
}

void Outbox::clear() {
  std::lock_guard lock(mutex_);
  queue_.clear();
  held_.reset();
}

}  // namespace vxsim::detail
