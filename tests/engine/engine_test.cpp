// Opening, command exchange, events and closing against the simulator.
#include <vector>

#include "engine_fixture.h"
#include "platform/trace.h"

namespace {
using enginetest::EngineTest;
using enginetest::EventLog;
using enginetest::openEngine;
using vxsim::Bytes;

// An unassigned command code the simulator does not know on its own.
constexpr std::uint16_t kProbe = 4000;

TEST(EngineOpening, ConnectsAndAdoptsTheSessionId) {
  vxsim::Simulator sim;
  EngineHandle engine = openEngine(sim);
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), 0);
  std::uint16_t code = kProbe;
  VXEMBPRO_SENDCMD(engine, &code, nullptr, 0, 0, 1000);
  EXPECT_EQ(code, CMD_ACK_UNKNOWN);
  auto probe = sim.waitFor(kProbe, 1000);
  ASSERT_TRUE(probe);
  EXPECT_EQ(probe->sessionId, sim.sessionId());
  EXPECT_EQ(probe->replyId, 1) << "the first request after connecting carries reply id 1";
  VXEMBPRO_CLOSE(engine);
  EXPECT_TRUE(sim.waitFor(CMD_EXIT, 1000));
}

TEST(EngineOpening, AuthenticatesWithTheCommKey) {
  vxsim::Personality p;
  p.commKey = 123456;
  vxsim::Simulator sim(p);
  EngineHandle engine = openEngine(sim, nullptr, 123456);
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), 0);
  EXPECT_EQ(sim.count(CMD_AUTH), 1u);
  VXEMBPRO_CLOSE(engine);

  EXPECT_EQ(openEngine(sim, nullptr, 654321), nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), -6);
}

TEST(EngineOpening, FailuresLeaveTheirStepInTheLastError) {
  vxsim::Simulator sim;
  // A library that exists but is no transport.
  EXPECT_EQ(VXEMBPRO_INIT("vxplatform.dll", reinterpret_cast<intptr_t>("127.0.0.1"), sim.port(), 0, nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), -1);
  // The transport cannot open the link.
  EXPECT_EQ(VXEMBPRO_INIT("comms.dll", reinterpret_cast<intptr_t>("no-such-host.invalid"), sim.port(), 0, nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), -2);
  // A library that cannot be loaded leaves the last error as it was.
  EXPECT_EQ(VXEMBPRO_INIT("no-such-transport.dll", 0, 0, 0, nullptr, 0, 0), nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), -2);
}

TEST(EngineOpening, UnansweredConnectIsTriedTwiceThenFails) {
  vxsim::Simulator sim;
  sim.dropRequests(CMD_CONNECT, 100);
  EXPECT_EQ(openEngine(sim), nullptr);
  EXPECT_EQ(VXEMBPRO_LASTERROR(), -7);
  EXPECT_EQ(sim.count(CMD_CONNECT), 2u);
  EXPECT_EQ(sim.count(CMD_EXIT), 0u);
}

TEST_F(EngineTest, TimeoutZeroSendsExactlyOnePacket) {
  sim.setHandler(kProbe, [](const vxsim::Request&) { return std::vector<vxsim::Packet>{}; });
  int result = 0;
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 0, &result), CMD_ACK_NO);
  EXPECT_EQ(result, -2);
  // The call returns without waiting, so the packet may still be on its way.
  ASSERT_TRUE(sim.waitFor(kProbe, 2000));
  EXPECT_EQ(sim.count(kProbe), 1u);
}

TEST_F(EngineTest, UnansweredCommandIsSentFourTimesOrEightWithAReplyBuffer) {
  sim.setHandler(kProbe, [](const vxsim::Request&) { return std::vector<vxsim::Packet>{}; });
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 50), CMD_ACK_NO);
  EXPECT_EQ(sim.count(kProbe), 4u);
  unsigned char reply[8];
  EXPECT_EQ(command(kProbe, reply, sizeof reply, 0, 50), CMD_ACK_NO);
  EXPECT_EQ(sim.count(kProbe), 12u);
}

TEST_F(EngineTest, ExitReportsOkEvenWhenUnanswered) {
  sim.dropRequests(CMD_EXIT, 1);
  EXPECT_EQ(command(CMD_EXIT, nullptr, 0, 0, 10), CMD_ACK_OK);
  ASSERT_TRUE(sim.waitFor(CMD_EXIT, 2000));
  EXPECT_EQ(sim.count(CMD_EXIT), 1u);
}

TEST_F(EngineTest, RetryOnEveryTryEndsWithNoReply) {
  sim.retryFirst(kProbe, 100);
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 500), CMD_ACK_NO);
  // Two attempts of two tries; every CMD_ACK_RETRY costs a 200 ms pause.
  EXPECT_EQ(sim.count(kProbe), 4u);
  const auto got = sim.received();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].replyId, got[1].replyId) << "a try repeats the packet byte for byte";
  EXPECT_GE(static_cast<std::uint32_t>(got[1].tick - got[0].tick), 190u);
}

TEST_F(EngineTest, RetryThenAnswerSucceedsWithinOneExchange) {
  sim.retryFirst(kProbe, 1);
  sim.setReply(kProbe, {CMD_ACK_OK, 42, {}}, vxsim::kAlways);
  int result = 0;
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 1000, &result), CMD_ACK_OK);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(sim.count(kProbe), 2u);
}

TEST_F(EngineTest, RepeatIsSuccessWithoutReplyDataAndRetriedWithIt) {
  sim.setReply(kProbe, {CMD_ACK_REPEAT, 0, {}}, vxsim::kOnce);
  EXPECT_EQ(command(kProbe), CMD_ACK_OK);
  EXPECT_EQ(sim.count(kProbe), 1u);

  sim.setReply(kProbe, {CMD_ACK_REPEAT, 0, {}}, vxsim::kOnce);
  sim.setReply(kProbe, {CMD_ACK_OK, 7, {1, 2, 3}}, vxsim::kOnce);
  unsigned char reply[8] = {};
  int result = 0;
  EXPECT_EQ(command(kProbe, reply, sizeof reply, 0, 1000, &result), CMD_ACK_OK);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(reply[2], 3);
  EXPECT_EQ(sim.count(kProbe), 3u);
}

TEST_F(EngineTest, ReplyIsCutToTheCapacity) {
  Bytes data(100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
  sim.setReply(kProbe, {CMD_ACK_OK, 0, data}, vxsim::kAlways);
  unsigned char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(command(kProbe, buffer, 10, 0), CMD_ACK_OK);
  EXPECT_EQ(buffer[9], 10);
  EXPECT_EQ(buffer[10], 0xEE);
}

TEST_F(EngineTest, RequestDataTravelsAndOversizedRequestsNeverReachTheTransport) {
  std::vector<unsigned char> request(1025, 0x5A);
  int result = 1;
  EXPECT_EQ(command(kProbe, request.data(), 0, 1025, 1000, &result), CMD_ACK_ERROR_CMD);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(command(kProbe, request.data(), 0, 1024, 1000), CMD_ACK_UNKNOWN);
  auto got = sim.received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].data.size(), 1024u);
  EXPECT_TRUE(got[0].checksumOk);
}

TEST_F(EngineTest, RepeatedEventIsDeliveredOnceAndAcknowledgedEachTime) {
  const Bytes payload = {1, 2, 3, 4, 5};
  ASSERT_TRUE(sim.sendEvent(8, payload, 777));
  ASSERT_TRUE(sim.waitEventAck(777, 2000, 1));
  ASSERT_TRUE(sim.sendEvent(8, payload, 777));
  ASSERT_TRUE(sim.waitEventAck(777, 2000, 2));
  ASSERT_TRUE(events.waitCount(1, 1000));
  EXPECT_EQ(events.size(), 1u);
  EXPECT_EQ(events.events[0].code, 8);
  EXPECT_EQ(events.events[0].data, (std::vector<unsigned char>{1, 2, 3, 4, 5}));
  // A new sequence number is a new event; sequence number 0 is always new.
  ASSERT_TRUE(sim.sendEvent(9, {}, 778));
  ASSERT_TRUE(events.waitCount(2, 2000));
  ASSERT_TRUE(sim.sendEvent(10, {}, 0));
  ASSERT_TRUE(events.waitCount(3, 2000));
  ASSERT_TRUE(sim.sendEvent(10, {}, 0));
  ASSERT_TRUE(events.waitCount(4, 2000));
  EXPECT_TRUE(sim.waitEventAck(0, 2000, 2));
  // Commands keep working between events.
  EXPECT_EQ(command(kProbe), CMD_ACK_UNKNOWN);
}

TEST_F(EngineTest, CorruptAndStaleRepliesAreDroppedAndSurfaceAsTimeouts) {
  vxsim::FaultPlan plan;
  plan.seed = 3;
  plan.rules.push_back({vxsim::FaultKind::Corrupt, 1.0, {CMD_ACK_UNKNOWN}, {}, 1, 0});
  sim.setFaults(plan);
  // The first answer is corrupted, the repeat of the try gets through.
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 300), CMD_ACK_UNKNOWN);
  EXPECT_EQ(sim.count(kProbe), 2u);
}

TEST_F(EngineTest, LateAnswerToAnEarlierRequestIsNotTakenForTheNextOne) {
  sim.answerLate(kProbe, 400);
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 100, nullptr), CMD_ACK_NO);
  sim.answerLate(kProbe, 0);
  sim.setReply(kProbe, {CMD_ACK_OK, 99, {}}, vxsim::kAlways);
  int result = 0;
  EXPECT_EQ(command(kProbe, nullptr, 0, 0, 2000, &result), CMD_ACK_OK);
  EXPECT_EQ(result, 99);
}

TEST(EngineTransport, WorksWithoutACancellableRead) {
  vxsim::Simulator sim;
  EventLog events;
  EngineHandle engine = openEngine(sim, &events, 0, "commsnt.dll");
  ASSERT_NE(engine, nullptr);
  for (int i = 0; i < 5; ++i) {
    std::uint16_t code = kProbe;
    VXEMBPRO_SENDCMD(engine, &code, nullptr, 0, 0, 1000);
    EXPECT_EQ(code, CMD_ACK_UNKNOWN);
  }
  ASSERT_TRUE(sim.sendEvent(3, {}, 4242));
  EXPECT_TRUE(events.waitCount(1, 2000));
  VXEMBPRO_CLOSE(engine);
  EXPECT_TRUE(sim.waitFor(CMD_EXIT, 1000));
}

TEST(EngineTrace, ExchangeWritesItsTraceLines) {
  std::mutex m;
  std::string text;
  vxp::setTraceSink([&](std::string_view line) {
    std::lock_guard lock(m);
    text.append(line);
  });
  {
    vxsim::Simulator sim;
    EngineHandle engine = openEngine(sim);
    ASSERT_NE(engine, nullptr);
    VXEMBPRO_CLOSE(engine);
  }
  vxp::setTraceSink({});
  std::lock_guard lock(m);
  EXPECT_NE(text.find("---------[0] Try(1) SendCmd:CMD_CONNECT------------\n"), std::string::npos);
  EXPECT_NE(text.find("###################3send cmd=1000 to   firmware###################\n"), std::string::npos);
  EXPECT_NE(text.find("Reply CMD_ACK_OK(Length=0)\n"), std::string::npos);
  EXPECT_NE(text.find("->Finish Read Thread.\n"), std::string::npos);
}

TEST(EngineHandleChecks, NullEngineIsRefused) {
  std::uint16_t code = kProbe;
  EXPECT_EQ(VXEMBPRO_SENDCMD(nullptr, &code, nullptr, 0, 0, 10), -1);
  EXPECT_EQ(code, CMD_ACK_ERROR_CMD);
  VXEMBPRO_CLOSE(nullptr);
}
}  // namespace
