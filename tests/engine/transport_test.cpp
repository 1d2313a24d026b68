// The UDP transport, loaded by name as the engine loads it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "embudp.h"
#include "platform/dynload.h"
#include "platform/msgbox.h"

namespace {
struct Transport {
  std::unique_ptr<vxp::Library> lib = vxp::Library::load("comms.dll", nullptr);
  EMBUDP_INIT_FN init = fn<EMBUDP_INIT_FN>("EMBUDP_INIT");
  EMBUDP_CLOSE_FN close = fn<EMBUDP_CLOSE_FN>("EMBUDP_CLOSE");
  EMBUDP_SEND_FN send = fn<EMBUDP_SEND_FN>("EMBUDP_SEND");
  EMBUDP_READ_FN read = fn<EMBUDP_READ_FN>("EMBUDP_READ");
  EMBUDP_TERMINALREAD_FN terminalRead = fn<EMBUDP_TERMINALREAD_FN>("EMBUDP_TERMINALREAD");
  EMBUDP_PREREAD_FN preRead = fn<EMBUDP_PREREAD_FN>("EMBUDP_PREREAD");
  EMBUDP_SENDBROADCAST_FN broadcast = fn<EMBUDP_SENDBROADCAST_FN>("EMBUDP_SendBroadCast");

  template <class F>
  F fn(const char* name) {
    return lib ? reinterpret_cast<F>(lib->symbol(name)) : nullptr;
  }
};

// A plain UDP socket on 127.0.0.1 standing in for the device.
struct Peer {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  std::uint16_t port = 0;
  Peer() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~Peer() { ::close(fd); }
  // Receives one datagram; returns its source port (0 on time-out).
  std::uint16_t receive(std::string* text = nullptr) {
    char buf[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return 0;
    if (text) text->assign(buf, static_cast<size_t>(n));
    return ntohs(from.sin_port);
  }
  void sendTo(std::uint16_t to, const std::string& bytes) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(to);
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
};

const unsigned char kHello[] = {'h', 'e', 'l', 'l', 'o'};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.lib) << "comms.dll maps to libcomms.so next to the test";
    ASSERT_TRUE(t.init && t.close && t.send && t.read && t.terminalRead && t.preRead && t.broadcast);
    link = t.init(reinterpret_cast<intptr_t>("127.0.0.1"), peer.port, 0);
    ASSERT_NE(link, 0);
  }
  void TearDown() override {
    if (link) t.close(link);
  }
  // The local port a link sends from, learnt by sending one datagram.
  std::uint16_t localPort(EmbLink l) {
    EXPECT_EQ(t.send(l, kHello, 5), 5);
    return peer.receive();
  }
  Transport t;
  Peer peer;
  EmbLink link = 0;
};

TEST_F(TransportTest, SecondLinkToTheSamePortBindsAHigherPort) {
  const std::uint16_t first = localPort(link);
  EmbLink second = t.init(reinterpret_cast<intptr_t>("127.0.0.1"), peer.port, 0);
  ASSERT_NE(second, 0);
  const std::uint16_t next = localPort(second);
  // The device's own port is taken by the peer, so both links stepped up.
  EXPECT_GT(first, peer.port);
  EXPECT_GT(next, first);
  t.close(second);
}

TEST_F(TransportTest, UnresolvableHostGivesNoLink) {
  EXPECT_EQ(t.init(reinterpret_cast<intptr_t>("no-such-host.invalid"), peer.port, 0), 0);
  EXPECT_EQ(t.init(0, peer.port, 0), 0);
}

TEST_F(TransportTest, ReadsOneDatagramFromAnySender) {
  const std::uint16_t local = localPort(link);
  Peer other;
  other.sendTo(local, "abc");
  unsigned char buf[16];
  EXPECT_EQ(t.read(link, buf, sizeof buf, 1000), 3);
  EXPECT_EQ(std::memcmp(buf, "abc", 3), 0);
}

TEST_F(TransportTest, ReadWithTimeoutZeroReturnsAtOnceWhenNothingWaits) {
  unsigned char buf[16];
  EXPECT_EQ(t.read(link, buf, sizeof buf, 0), 0);
  EXPECT_EQ(t.preRead(link), 0);
}

TEST_F(TransportTest, OversizedDatagramIsReportedAndLost) {
  const std::uint16_t local = localPort(link);
  peer.sendTo(local, std::string(100, 'x'));
  unsigned char buf[16];
  EXPECT_EQ(t.read(link, buf, sizeof buf, 1000), -1);
  EXPECT_EQ(t.read(link, buf, sizeof buf, 0), 0);
  // PREREAD takes a waiting datagram off the socket and discards it.
  peer.sendTo(local, "y");
  EXPECT_EQ(t.read(link, nullptr, 0, 1000), -1);
}

TEST_F(TransportTest, SendWaitsForAHeldLinkThenFails) {
  auto reading = std::async(std::launch::async, [&] {
    unsigned char buf[16];
    return t.read(link, buf, sizeof buf, 8000);
  });
  // Once the read holds the link a send gives up after its 1000 ms wait.
  int sent = 1;
  for (int i = 0; i < 3000 && sent != 0; ++i) {
    sent = t.send(link, kHello, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(sent, 0);
  // Cancelling frees the link: the read returns 0 well before its time-out.
  const auto start = std::chrono::steady_clock::now();
  t.terminalRead(link);
  EXPECT_EQ(reading.get(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(t.send(link, kHello, 5), 5);
}

TEST_F(TransportTest, CancelWithNoReadInProgressChangesNothing) {
  const std::uint16_t local = localPort(link);
  t.terminalRead(link);
  peer.sendTo(local, "later");
  unsigned char buf[16];
  EXPECT_EQ(t.read(link, buf, sizeof buf, 1000), 5);
}

// Broadcasts are sent only inside a network namespace of the test's own, with
// a veth pair: nothing reaches the machine's real interfaces.
TEST(Broadcast, ReachesTheLocalNetworkInsideAPrivateNamespace) {
  Transport t;
  ASSERT_TRUE(t.broadcast);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(77);
    if (std::system("ip link set lo up && ip link add vxb0 type veth peer name vxb1 && ip addr add 10.254.0.1/24 dev vxb0 && "
                    "ip link set vxb0 up && ip link set vxb1 up && ip route add default dev vxb0") != 0)
      _exit(77);
    int rx = ::socket(AF_INET, SOCK_DGRAM, 0);
    int on = 1;
    setsockopt(rx, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(65535);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(3);
    timeval tv{2, 0};
    setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (t.broadcast("#VXT*1*2*#") != 1) _exit(4);
    char buf[64];
    ssize_t n = ::recv(rx, buf, sizeof buf, 0);
    if (n != 10 || std::memcmp(buf, "#VXT*1*2*#", 10) != 0) _exit(5);
    if (t.broadcast("") != 1) _exit(6);
    n = ::recv(rx, buf, sizeof buf, 0);
    _exit(n == 0 ? 0 : 7);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot create a network namespace here (needs root and iproute2)";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
}  // namespace
