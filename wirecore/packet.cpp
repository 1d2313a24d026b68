#include "wirecore/packet.h"

#include <cstdio>

#include "platform/tick.h"
#include "platform/trace.h"

namespace wire {
using vxp::trace;
Header Header::decode(std::span<const std::uint8_t> packet) {
  Header h;
  if (packet.size() < kHeaderSize) return h;
  h.code = readU16(&packet[0]);
  h.checksum = readU16(&packet[2]);
  h.sessionId = readU16(&packet[4]);
  h.replyId = readU16(&packet[6]);
  return h;
}

void Header::encode(std::span<std::uint8_t> out) const {
  writeU16(&out[0], code);
  writeU16(&out[2], checksum);
  writeU16(&out[4], sessionId);
  writeU16(&out[6], replyId);
}

std::uint16_t PacketChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    sum += static_cast<std::uint32_t>(bytes[i] | (bytes[i + 1] << 8));
    if (sum & 0x80000000u) sum = (sum & 0xFFFF) + (sum >> 16);
  }
  if (i < bytes.size()) sum += bytes[i];
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

void sealPacket(std::span<std::uint8_t> packet) {
  if (packet.size() < kHeaderSize) return;
  writeU16(&packet[2], 0);
  writeU16(&packet[2], PacketChecksum(packet));
}

std::size_t buildPacket(std::span<std::uint8_t> out, std::uint16_t code, std::uint16_t sessionId,
                        std::uint16_t replyId, std::span<const std::uint8_t> data) {
  const std::size_t length = kHeaderSize + data.size();
  if (length > kMaxPacket || length > out.size()) return 0;
  Header{code, 0, sessionId, replyId}.encode(out);
  for (std::size_t i = 0; i < data.size(); ++i) out[kHeaderSize + i] = data[i];
  sealPacket(out.first(length));
  return length;
}

bool checksumValid(std::span<const std::uint8_t> packet) {
  if (packet.size() < kHeaderSize || packet.size() > kMaxPacket) return false;
  std::uint8_t copy[kMaxPacket];
  for (std::size_t i = 0; i < packet.size(); ++i) copy[i] = packet[i];
  const std::uint16_t stored = readU16(&copy[2]);
  writeU16(&copy[2], 0);
  return PacketChecksum(std::span<const std::uint8_t>(copy, packet.size())) == stored;
}

namespace {
constexpr char kMask[4] = {'V', 'X', 'T', 'R'};

std::uint32_t reverseBits(std::uint32_t v) {
  std::uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

std::uint32_t maskAndSwap(std::uint32_t k) {
  std::uint8_t b[4];
  writeU32(b, k);
  for (int i = 0; i < 4; ++i) b[i] ^= static_cast<std::uint8_t>(kMask[i]);
  const std::uint32_t masked = readU32(b);
  return (masked >> 16) | (masked << 16);
}

// Steps 1 to 4: reverse the bits, add the session id, mask with "VXTR", swap halves.
std::uint32_t baseKey(std::uint32_t commKey, std::uint16_t sessionId) {
  return maskAndSwap(reverseBits(commKey) + sessionId);
}

std::uint32_t applyTickByte(std::uint32_t k, std::uint8_t tickByte) {
  std::uint8_t b[4];
  writeU32(b, k);
  b[0] ^= tickByte;
  b[1] ^= tickByte;
  b[3] ^= tickByte;
  b[2] = tickByte;
  return readU32(b);
}
}  // namespace

std::uint32_t DeriveAuthKey(std::uint32_t commKey, std::uint16_t sessionId, std::uint8_t tickByte) {
  const std::uint32_t k = baseKey(commKey, sessionId);
  trace("Key: %d,%d->%d \n", static_cast<int>(commKey), static_cast<int>(sessionId), static_cast<int>(k));
  return applyTickByte(k, tickByte);
}

std::uint32_t DeriveAuthKey(std::uint32_t commKey, std::uint16_t sessionId) {
  return DeriveAuthKey(commKey, sessionId, static_cast<std::uint8_t>(vxp::tickCount() & 0xFF));
}

bool authKeyMatches(std::uint32_t authKey, std::uint32_t commKey, std::uint16_t sessionId) {
  const auto tickByte = static_cast<std::uint8_t>(authKey >> 16);
  return applyTickByte(baseKey(commKey, sessionId), tickByte) == authKey;
}

std::uint32_t BufferHash(std::span<const std::uint8_t> bytes) {
  std::uint32_t h = 0;
  for (std::uint8_t b : bytes) {
    h = (h << 4) + b;
    const std::uint32_t g = h & 0xF0000000u;
    if (g != 0) {
      // The top bits fold back in with an arithmetic shift: the sign spreads.
      h ^= static_cast<std::uint32_t>(static_cast<std::int32_t>(g) >> 24);
      h ^= g;
    }
  }
  return h % 16711679u;
}

const char* traceName(std::uint16_t code) {
  switch (code) {
    case CMD_DB_RRQ: return "CMD_DB_RRQ";
    case CMD_USER_WRQ: return "CMD_USER_WRQ";
    case CMD_USERTEMP_RRQ: return "CMD_USERTEMP_RRQ";
    case CMD_USERTEMP_WRQ: return "CMD_USERTEMP_WRQ";
    case CMD_OPTIONS_RRQ: return "CMD_OPTIONS_RRQ";
    case CMD_OPTIONS_WRQ: return "CMD_OPTIONS_WRQ";
    case CMD_ATTLOG_RRQ: return "CMD_ATTLOG_RRQ";
    case CMD_APPEND_USER: return "CMD_APPEND_USER";
    case CMD_APPEND_USERTEMP: return "CMD_APPEND_USERTEMP";
    case CMD_DELETE_USER: return "CMD_DELETE_USER";
    case CMD_GET_FREE_SIZES: return "CMD_GET_FREE_SIZES";
    case CMD_CONNECT: return "CMD_CONNECT";
    case CMD_EXIT: return "CMD_EXIT";
    case CMD_ENABLEDEVICE: return "CMD_ENABLEDEVICE";
    case CMD_DISABLEDEVICE: return "CMD_DISABLEDEVICE";
    case CMD_AUTH: return "CMD_AUTH";
    case CMD_PREPARE_DATA: return "CMD_PREPARE_DATA";
    case CMD_DATA: return "CMD_DATA";
    case CMD_FREE_DATA: return "CMD_FREE_DATA";
    case CMD_QUERY_DATA: return "CMD_QUERY_DATA";
    case CMD_READ_DATA: return "CMD_READ_DATA";
    case CMD_ACK_OK: return "CMD_ACK_OK";
    case CMD_ACK_ERROR: return "CMD_ACK_ERROR";
    case CMD_ACK_DATA: return "CMD_ACK_DATA";
    case CMD_ACK_RETRY: return "CMD_ACK_RETRY";
    case CMD_ACK_REPEAT: return "CMD_ACK_REPEAT";
    case CMD_ACK_UNAUTH: return "CMD_ACK_UNAUTH";
    case CMD_ACK_ERROR_DATA: return "CMD_ACK_ERROR_DATA";
    case CMD_ACK_ERROR_INIT: return "CMD_ACK_ERROR_INIT";
    case CMD_ACK_ERROR_CMD: return "CMD_ACK_ERROR_CMD";
    case CMD_ACK_NO: return "CMD_ACK_NO";
    case CMD_ACK_UNKNOWN: return "CMD_ACK_UNKNOWN";
    default: break;
  }
  thread_local char decimal[8];
  std::snprintf(decimal, sizeof decimal, "%d", static_cast<int>(code));
  return decimal;
}
}  // namespace wire
