// The simulator's session handling, scripting, events and fault injection,
// driven over a plain UDP socket.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>

#include "host_socket.h"
#include "sim/vxsim.h"

namespace vxsim::test {
namespace {

constexpr std::uint16_t kUnknownCommand = 4242;

TEST(SimSession, ConnectAssignsSessionsAndRepliesCarryTheRequestIds) {
  Simulator sim;
  HostSocket host(sim.port());

  auto connect = host.exchange(CMD_CONNECT, 0);
  ASSERT_TRUE(connect);
  EXPECT_TRUE(connect->checksumOk);
  EXPECT_EQ(connect->header.code, CMD_ACK_OK);
  EXPECT_EQ(connect->header.sessionId, 0x1234);
  EXPECT_EQ(connect->header.replyId, 0);
  EXPECT_EQ(sim.sessionId(), 0x1234);

  auto version = host.exchange(CMD_VERSION_RRQ, 517);
  ASSERT_TRUE(version);
  EXPECT_EQ(version->header.code, CMD_ACK_OK);
  EXPECT_EQ(version->header.replyId, 517);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(version->data.data())), "Ver 6.60 Apr 28 2010");
  EXPECT_EQ(version->data.back(), 0);

  auto exit = host.exchange(CMD_EXIT, 518);
  ASSERT_TRUE(exit);
  EXPECT_EQ(exit->header.code, CMD_ACK_OK);
  EXPECT_EQ(exit->header.replyId, 518);

  auto again = host.exchange(CMD_CONNECT, 0);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->header.sessionId, 0x1235);

  const auto log = sim.received();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].code, CMD_VERSION_RRQ);
  EXPECT_EQ(log[1].replyId, 517);
  EXPECT_TRUE(log[1].checksumOk);
  EXPECT_LE(log[0].tick, log[3].tick);
  EXPECT_EQ(sim.count(CMD_CONNECT), 2u);
}

TEST(SimSession, AuthenticationWithTheCommKey) {
  constexpr std::uint32_t kKey = 123456;
  struct Case {
    const char* name;
    std::uint32_t keyUsed;
    std::uint8_t tickByte;
    bool shortKey;
    std::uint16_t expected;
  };
  const Case cases[] = {
      {"right key", kKey, 0x00, false, CMD_ACK_OK},
      {"right key, other tick byte", kKey, 0xA7, false, CMD_ACK_OK},
      {"wrong key", kKey + 1, 0x11, false, CMD_ACK_ERROR},
      {"key shorter than 4 bytes", kKey, 0x00, true, CMD_ACK_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Personality personality;
    personality.commKey = kKey;
    Simulator sim(personality);
    HostSocket host(sim.port());

    auto connect = host.exchange(CMD_CONNECT, 0);
    ASSERT_TRUE(connect);
    ASSERT_EQ(connect->header.code, CMD_ACK_UNAUTH);
    const std::uint16_t session = connect->header.sessionId;

    // Nothing else is served before the key was accepted.
    auto early = host.exchange(CMD_VERSION_RRQ, 1);
    ASSERT_TRUE(early);
    EXPECT_EQ(early->header.code, CMD_ACK_UNAUTH);

    Bytes key = u32le(wire::DeriveAuthKey(c.keyUsed, session, c.tickByte));
    if (c.shortKey) key.resize(2);
    auto auth = host.exchange(CMD_AUTH, 2, key);
    ASSERT_TRUE(auth);
    EXPECT_EQ(auth->header.code, c.expected);
    EXPECT_EQ(auth->header.replyId, 2);

    auto after = host.exchange(CMD_VERSION_RRQ, 3);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->header.code, c.expected == CMD_ACK_OK ? CMD_ACK_OK : CMD_ACK_UNAUTH);
  }
}

TEST(SimSession, UnknownCommandsAreNamedAndCorruptPacketsIgnored) {
  Simulator sim;
  HostSocket host(sim.port());

  std::uint8_t packet[wire::kMaxPacket];
  const std::uint8_t payload[] = {1, 2, 3};
  const std::size_t length = wire::buildPacket(packet, CMD_VERSION_RRQ, 0, 5, payload);
  packet[length - 1] ^= 0x40;  // damaged after the checksum was computed
  host.sendRaw(std::span<const std::uint8_t>(packet, length));
  const std::uint8_t runt[] = {0xE8, 0x03, 0x17};
  host.sendRaw(runt);
  host.send(kUnknownCommand, 6);

  // The corrupt packet and the runt get no answer: the first reply is the one to id 6.
  auto reply = host.receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->header.code, CMD_ACK_UNKNOWN);
  EXPECT_EQ(reply->header.replyId, 6);

  const auto log = sim.received();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_FALSE(log[0].checksumOk);
  EXPECT_EQ(log[0].replyId, 5);
  EXPECT_FALSE(log[1].checksumOk);
  EXPECT_EQ(log[1].data.size(), 3u);
  EXPECT_TRUE(log[2].checksumOk);
  EXPECT_EQ(sim.count(CMD_VERSION_RRQ), 0u);
}

TEST(SimScripting, QueuedRepliesThenHandlers) {
  Simulator sim;
  HostSocket host(sim.port());
  sim.setReply(CMD_ENABLEDEVICE, {CMD_ACK_ERROR, 7, {}}, 2);
  sim.setReply(CMD_ENABLEDEVICE, {CMD_ACK_OK, 9, {0xAA, 0xBB}}, kAlways);

  const std::uint16_t expectedCodes[] = {CMD_ACK_ERROR, CMD_ACK_ERROR, CMD_ACK_OK, CMD_ACK_OK};
  const std::uint16_t expectedResults[] = {7, 7, 9, 9};
  for (int i = 0; i < 4; ++i) {
    auto reply = host.exchange(CMD_ENABLEDEVICE, static_cast<std::uint16_t>(10 + i));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.code, expectedCodes[i]);
    EXPECT_EQ(reply->header.sessionId, expectedResults[i]);
    EXPECT_EQ(reply->header.replyId, 10 + i);
  }

  // A handler answering with two packets, one staying silent, one deferring.
  sim.setHandler(kUnknownCommand, [](const Request& r) -> std::optional<std::vector<Packet>> {
    return std::vector<Packet>{r.reply(CMD_ACK_RETRY), r.reply(CMD_ACK_OK, 3, r.data)};
  });
  sim.setHandler(CMD_BEEP, [](const Request&) -> std::optional<std::vector<Packet>> { return std::vector<Packet>{}; });
  sim.setHandler(CMD_VERSION_RRQ, [](const Request&) -> std::optional<std::vector<Packet>> { return std::nullopt; });

  const std::uint8_t echo[] = {4, 5};
  host.send(kUnknownCommand, 20, echo);
  host.send(CMD_BEEP, 21);
  host.send(CMD_VERSION_RRQ, 22);
  auto first = host.receive();
  auto second = host.receive();
  auto third = host.receive();
  ASSERT_TRUE(first && second && third);
  EXPECT_EQ(first->header.code, CMD_ACK_RETRY);
  EXPECT_EQ(second->header.code, CMD_ACK_OK);
  EXPECT_EQ(second->header.sessionId, 3);
  EXPECT_EQ(second->data, Bytes(echo, echo + 2));
  // CMD_BEEP stayed silent; the version request was answered as usual.
  EXPECT_EQ(third->header.replyId, 22);
  EXPECT_EQ(third->header.code, CMD_ACK_OK);
}

TEST(SimEvents, EventsGoToTheLastHostAndAcksAreCounted) {
  Simulator sim;
  const std::uint8_t payload[] = {1, 0, 0, 0, 9};
  EXPECT_FALSE(sim.sendEvent(8, payload, 3));  // nobody has talked yet

  HostSocket host(sim.port());
  ASSERT_TRUE(host.exchange(CMD_CONNECT, 0));
  ASSERT_TRUE(sim.sendEvent(8, payload, 3));
  auto event = host.receive();
  ASSERT_TRUE(event);
  EXPECT_TRUE(event->checksumOk);
  EXPECT_EQ(event->header.code, CMD_EVENT);
  EXPECT_EQ(event->header.sessionId, 8);
  EXPECT_EQ(event->header.replyId, 3);
  EXPECT_EQ(event->data, Bytes(payload, payload + 5));

  EXPECT_FALSE(sim.waitEventAck(3, 0));
  host.send(CMD_ACK_OK, 3, {}, 0x1234);
  host.send(CMD_ACK_OK, 3, {}, 0x1234);
  EXPECT_TRUE(sim.waitEventAck(3, 2000, 2));
  EXPECT_EQ(sim.eventAckCount(3), 2u);
  EXPECT_EQ(sim.eventAckCount(4), 0u);

  // Acknowledgements are never answered: the next datagram is the reply to id 1.
  auto next = host.exchange(kUnknownCommand, 1);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->header.replyId, 1);
}

// What the host saw of a run of requests under a fault plan.
struct Observation {
  std::vector<std::pair<std::uint16_t, bool>> arrivals;  // reply id, checksum ok
  std::vector<std::pair<FaultKind, std::uint16_t>> faults;
  bool operator==(const Observation&) const = default;
};

Observation runUnderFaults(std::uint32_t seed) {
  Simulator sim;
  FaultPlan plan;
  plan.seed = seed;
  const std::vector<std::uint16_t> onlyUnknown{CMD_ACK_UNKNOWN};
  plan.rules.push_back({FaultKind::Drop, 0.3, onlyUnknown, {}, -1, 0});
  plan.rules.push_back({FaultKind::Duplicate, 0.2, onlyUnknown, {}, -1, 0});
  plan.rules.push_back({FaultKind::Corrupt, 0.2, onlyUnknown, {}, -1, 0});
  sim.setFaults(plan);
  HostSocket host(sim.port());
  constexpr std::uint16_t kRequests = 40;
  for (std::uint16_t id = 1; id <= kRequests; ++id) host.send(kUnknownCommand, id);
  host.send(CMD_VERSION_RRQ, 1000);  // not faulted: marks the end of the run

  Observation seen;
  while (auto reply = host.receive()) {
    if (reply->header.replyId == 1000) break;
    seen.arrivals.emplace_back(reply->header.replyId, reply->checksumOk);
  }
  for (const FaultRecord& f : sim.faultLog()) seen.faults.emplace_back(f.kind, f.replyId);
  return seen;
}

TEST(SimFaults, OutgoingFaultsRepeatFromTheirSeed) {
  const Observation first = runUnderFaults(42);
  const Observation second = runUnderFaults(42);
  EXPECT_EQ(first, second);
  EXPECT_NE(first.faults, runUnderFaults(43).faults);

  // What arrived is what the fault log says.
  std::map<std::uint16_t, int> copies;
  std::map<std::uint16_t, bool> corrupt;
  for (auto [id, ok] : first.arrivals) {
    ++copies[id];
    if (!ok) corrupt[id] = true;
  }
  int drops = 0;
  for (auto [kind, id] : first.faults) {
    switch (kind) {
      case FaultKind::Drop:
        ++drops;
        EXPECT_EQ(copies.count(id), 0u) << id;
        break;
      case FaultKind::Duplicate: EXPECT_EQ(copies[id], 2) << id; break;
      case FaultKind::Corrupt: EXPECT_TRUE(corrupt[id]) << id; break;
      default: ADD_FAILURE();
    }
  }
  EXPECT_GT(drops, 0);
  EXPECT_EQ(copies.size() + static_cast<std::size_t>(drops), 40u);
}

TEST(SimFaults, ReorderDelayAndLateAnswers) {
  Simulator sim;
  HostSocket host(sim.port());
  FaultPlan plan;
  plan.rules.push_back({FaultKind::Reorder, 1.0, {CMD_ACK_UNKNOWN}, {}, 1, 0});
  plan.rules.push_back({FaultKind::Delay, 1.0, {CMD_ACK_ERROR}, {}, -1, 150});
  sim.setFaults(plan);

  host.send(kUnknownCommand, 1);
  host.send(kUnknownCommand, 2);
  auto a = host.receive();
  auto b = host.receive();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->header.replyId, 2);
  EXPECT_EQ(b->header.replyId, 1);

  using Clock = std::chrono::steady_clock;
  sim.setReply(CMD_BEEP, {CMD_ACK_ERROR, 0, {}}, kOnce);
  auto started = Clock::now();
  ASSERT_TRUE(host.exchange(CMD_BEEP, 3));
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(150));

  sim.answerLate(CMD_VERSION_RRQ, 120);
  started = Clock::now();
  auto late = host.exchange(CMD_VERSION_RRQ, 4);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->header.code, CMD_ACK_OK);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(120));
}

TEST(SimFaults, RetriedAndDroppedRequests) {
  Simulator sim;
  HostSocket host(sim.port());
  sim.retryFirst(CMD_VERSION_RRQ, 2);
  for (std::uint16_t id : {7, 7}) {
    auto retry = host.exchange(CMD_VERSION_RRQ, id);
    ASSERT_TRUE(retry);
    EXPECT_EQ(retry->header.code, CMD_ACK_RETRY);
    EXPECT_EQ(retry->header.replyId, 7);
  }
  auto answered = host.exchange(CMD_VERSION_RRQ, 7);
  ASSERT_TRUE(answered);
  EXPECT_EQ(answered->header.code, CMD_ACK_OK);

  sim.dropRequests(CMD_ENABLEDEVICE, 1);
  host.send(CMD_ENABLEDEVICE, 8);  // ignored
  host.send(CMD_ENABLEDEVICE, 9);
  auto reply = host.receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->header.replyId, 9);
  EXPECT_EQ(sim.count(CMD_ENABLEDEVICE), 2u);
}

TEST(SimLifecycle, StopAndStartKeepThePort) {
  Simulator sim;
  const std::uint16_t port = sim.port();
  sim.stop();
  EXPECT_FALSE(sim.running());
  sim.start();
  EXPECT_TRUE(sim.running());
  EXPECT_EQ(sim.port(), port);
  HostSocket host(port);
  EXPECT_TRUE(host.exchange(CMD_CONNECT, 0));
}

}  // namespace
}  // namespace vxsim::test
