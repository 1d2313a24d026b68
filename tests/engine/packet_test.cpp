// Packet codec: checksum, authentication key, reply-id test, trace names, buffer hash.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "wirecore/packet.h"

namespace {
using Bytes = std::vector<std::uint8_t>;

TEST(PacketChecksum, ConnectPacketMatchesTheKnownBytes) {
  std::uint8_t packet[8];
  ASSERT_EQ(wire::buildPacket(packet, CMD_CONNECT, 0, 0, {}), 8u);
  EXPECT_EQ(Bytes(packet, packet + 8), (Bytes{0xE8, 0x03, 0x17, 0xFC, 0, 0, 0, 0}));
  EXPECT_EQ(wire::PacketChecksum(Bytes{0xE8, 0x03, 0, 0, 0, 0, 0, 0}), 0xFC17);
}

TEST(PacketChecksum, OddLengthAddsTheLastByteAsIs) {
  // 0x01 0x02 then 0xFF: the last byte counts as 0x00FF, not 0xFF00.
  EXPECT_EQ(wire::PacketChecksum(Bytes{0x01, 0x02, 0xFF}), static_cast<std::uint16_t>(~(0x0201 + 0xFF)));
}

TEST(PacketChecksum, IntactPacketChecksTrueAndOverItselfSumsToZero) {
  std::mt19937 rng(7);
  for (std::size_t size : {0u, 1u, 2u, 7u, 1023u, 1024u}) {
    Bytes data(size);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    std::uint8_t packet[wire::kMaxPacket];
    const std::size_t n = wire::buildPacket(packet, CMD_DATA, 0x1234, 0x5678, data);
    ASSERT_EQ(n, size + 8);
    EXPECT_TRUE(wire::checksumValid({packet, n}));
    EXPECT_EQ(wire::PacketChecksum({packet, n}), 0) << size;  // a packet with its own checksum folds to zero
    packet[n - 1] ^= 0x40;
    EXPECT_FALSE(wire::checksumValid({packet, n}));
  }
}

TEST(PacketCodec, RefusesMoreThan1024DataBytes) {
  std::uint8_t packet[wire::kMaxPacket + 8];
  EXPECT_EQ(wire::buildPacket(packet, CMD_DATA, 0, 0, Bytes(1024)), 1032u);
  EXPECT_EQ(wire::buildPacket(packet, CMD_DATA, 0, 0, Bytes(1025)), 0u);
}

TEST(AuthKey, DeviceRecomputesWhatTheHostDerived) {
  struct Case {
    std::uint32_t key;
    std::uint16_t session;
  } cases[] = {{0, 0}, {1, 1}, {123456, 0x1234}, {0xFFFFFFFF, 0xFFFF}, {999999, 42}};
  for (const auto& c : cases) {
    for (int tick : {0, 1, 0x7F, 0xFF}) {
      const std::uint32_t k = wire::DeriveAuthKey(c.key, c.session, static_cast<std::uint8_t>(tick));
      EXPECT_EQ((k >> 16) & 0xFF, static_cast<std::uint32_t>(tick)) << "byte 2 carries the tick byte";
      EXPECT_TRUE(wire::authKeyMatches(k, c.key, c.session));
      // Bit 0 of the key ends up in byte 1 of the result, which survives the tick byte.
      EXPECT_FALSE(wire::authKeyMatches(k, c.key ^ 1u, c.session));
    }
  }
}

TEST(AuthKey, StepsByHand) {
  // Key 1: reversed bits 0x80000000, + session 0 -> bytes 00 00 00 80, XOR
  // "VXTR" -> 56 58 54 D2, halves swapped -> 54 D2 56 58; tick byte 0 leaves
  // bytes 0, 1, 3 and puts 0 in byte 2.
  EXPECT_EQ(wire::DeriveAuthKey(1, 0, 0), 0x5800D254u);
  // Tick byte 0x11 flips bytes 0, 1, 3 and is stored in byte 2.
  EXPECT_EQ(wire::DeriveAuthKey(1, 0, 0x11), 0x4911C345u);
}

TEST(ReplyId, AcceptsFromCounterMinusOneAndEverythingAfterTheWrap) {
  struct Case {
    std::uint16_t counter, replyId;
    bool accepted;
  } cases[] = {
      {10, 9, true}, {10, 8, false}, {10, 10, true}, {10, 500, true},
      {0, 0, true},  {0, 65535, true}, {1, 0, true}, {2, 0, false}, {65535, 65534, true}, {65535, 65533, false},
  };
  for (const auto& c : cases) EXPECT_EQ(wire::replyIdAccepted(c.counter, c.replyId), c.accepted) << c.counter << "/" << c.replyId;
}

TEST(TraceName, KnownCodesByNameOthersInDecimal) {
  struct Case {
    std::uint16_t code;
    const char* name;
  } cases[] = {{7, "CMD_DB_RRQ"},      {13, "CMD_ATTLOG_RRQ"}, {18, "CMD_DELETE_USER"}, {50, "CMD_GET_FREE_SIZES"},
               {1000, "CMD_CONNECT"},  {1003, "CMD_DISABLEDEVICE"}, {1102, "CMD_AUTH"}, {1504, "CMD_READ_DATA"},
               {2005, "CMD_ACK_UNAUTH"}, {0xFFFB, "CMD_ACK_ERROR_DATA"}, {0xFFFF, "CMD_ACK_UNKNOWN"},
               {14, "14"},             {19, "19"},  {1004, "1004"}, {500, "500"}, {0, "0"}};
  for (const auto& c : cases) EXPECT_STREQ(wire::traceName(c.code), c.name);
}

TEST(BufferHash, KnownValues) {
  Bytes sixteen;
  for (int i = 1; i <= 16; ++i) sixteen.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(wire::BufferHash(sixteen), 1459537u);
  const std::string abc = "abc";
  EXPECT_EQ(wire::BufferHash({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()}), 26499u);
  EXPECT_EQ(wire::BufferHash({}), 0u);
}
}  // namespace
