#pragma once
// Packet layout, checksum, authentication key and trace names of the device
// protocol. Shared by the engine and the simulator.
#include <cstddef>
#include <cstdint>
#include <span>

#include "vxproto.h"

namespace wire {
constexpr std::size_t kHeaderSize = VX_HEADER_SIZE;
constexpr std::size_t kMaxData = VX_MAX_DATA;
constexpr std::size_t kMaxPacket = VX_MAX_PACKET;

inline std::uint16_t readU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t readU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void writeU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void writeU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The four header fields.
struct Header {
  std::uint16_t code = 0;
  std::uint16_t checksum = 0;
  std::uint16_t sessionId = 0;  // result word in replies, event code, block index
  std::uint16_t replyId = 0;    // request counter, event sequence number

  static Header decode(std::span<const std::uint8_t> packet);  // needs >= 8 bytes
  void encode(std::span<std::uint8_t> out) const;              // writes 8 bytes
};

// Internet checksum (RFC 1071) over little-endian 16-bit words.
std::uint16_t PacketChecksum(std::span<const std::uint8_t> bytes);

// Builds a packet: header with a fresh checksum, then the data. Returns the
// packet length, or 0 when it does not fit `out` or exceeds 1032 bytes.
std::size_t buildPacket(std::span<std::uint8_t> out, std::uint16_t code, std::uint16_t sessionId,
                        std::uint16_t replyId, std::span<const std::uint8_t> data);

// Recomputes the checksum of a whole received packet (field zeroed) and
// compares it with the stored one.
bool checksumValid(std::span<const std::uint8_t> packet);

// Rewrites the checksum field of a packet in place.
void sealPacket(std::span<std::uint8_t> packet);

// Key sent with CMD_AUTH; `tickByte` is the low byte of the tick count.
std::uint32_t DeriveAuthKey(std::uint32_t commKey, std::uint16_t sessionId, std::uint8_t tickByte);
// DeriveAuthKey reading the tick counter itself, and emitting its trace line.
std::uint32_t DeriveAuthKey(std::uint32_t commKey, std::uint16_t sessionId);
// Device side: byte 2 of an auth key carries the tick byte used, so the device
// recomputes the key from its own comm key and compares.
bool authKeyMatches(std::uint32_t authKey, std::uint32_t commKey, std::uint16_t sessionId);

// Hash of a bulk data set (upload buffer check, query answers).
std::uint32_t BufferHash(std::span<const std::uint8_t> bytes);

// Name of a code for trace lines; unknown codes are printed in decimal.
// The result stays valid until the next call on the same thread.
const char* traceName(std::uint16_t code);

// Reply-id test: a received reply is accepted when its reply id is at least
// the request counter minus one, compared as ordinary signed integers.
inline bool replyIdAccepted(std::uint16_t counter, std::uint16_t replyId) {
  return static_cast<int>(replyId) >= static_cast<int>(counter) - 1;
}
}  // namespace wire
