#pragma once
// Builders of the device's user and log records for tests: each writes its
// fields at their byte offsets, independently of the SDK's decoders and of the
// simulator's encoders.
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "sim/vxsim.h"
#include "wirecore/packet.h"

namespace records {
using vxsim::Bytes;

inline void text(Bytes& b, std::size_t at, std::size_t width, const std::string& s) {
  for (std::size_t i = 0; i < width && i < s.size(); ++i) b[at + i] = static_cast<std::uint8_t>(s[i]);
}

// Records laid end to end.
inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The first n bytes of a record: one cut off by the end of an answer.
inline Bytes prefix(const Bytes& record, std::size_t n) { return Bytes(record.begin(), record.begin() + n); }

// A download answer: the 32-bit byte count, then the records.
inline Bytes counted(const Bytes& records, std::uint32_t claimed = UINT32_MAX) {
  Bytes out(4 + records.size());
  wire::writeU32(out.data(), claimed == UINT32_MAX ? static_cast<std::uint32_t>(records.size()) : claimed);
  std::copy(records.begin(), records.end(), out.begin() + 4);
  return out;
}

struct User28 {
  std::uint16_t number = 0;
  std::uint8_t privilege = 0;
  std::string password = {}, name = {};
  std::array<std::uint8_t, 5> card{};
  std::uint8_t groupByte = 1;
  std::uint16_t timeZones = 0;
  std::int32_t pin2 = 0;
};
inline Bytes user28(const User28& u) {
  Bytes b(28, 0);
  wire::writeU16(&b[0], u.number);
  b[2] = u.privilege;
  text(b, 3, 5, u.password);
  text(b, 8, 8, u.name);
  std::copy(u.card.begin(), u.card.end(), &b[16]);
  b[21] = u.groupByte;
  wire::writeU16(&b[22], u.timeZones);
  wire::writeU32(&b[24], static_cast<std::uint32_t>(u.pin2));
  return b;
}

struct User72 {
  std::uint16_t number = 0;
  std::uint8_t privilege = 0;
  std::string password = {}, name = {};
  std::uint32_t card = 0;
  std::uint8_t department = 0;
  std::array<std::uint16_t, 4> shifts{};
  std::string userId;
};
inline Bytes user72(const User72& u) {
  Bytes b(72, 0);
  wire::writeU16(&b[0], u.number);
  b[2] = u.privilege;
  text(b, 3, 8, u.password);
  text(b, 11, 24, u.name);
  wire::writeU32(&b[35], u.card);
  b[39] = u.department;
  for (int i = 0; i < 4; ++i) wire::writeU16(&b[40 + 2 * i], u.shifts[i]);
  text(b, 48, 24, u.userId);
  return b;
}

// Compressed attendance records: 8 bytes with a full time, 4 with a delta.
inline Bytes longLog(std::uint16_t number, std::int32_t time, std::uint8_t state = 0, std::uint8_t verify = 0) {
  Bytes b(8, 0);
  wire::writeU16(&b[0], number);
  b[2] = static_cast<std::uint8_t>(state << 5 | verify << 3);
  wire::writeU32(&b[4], static_cast<std::uint32_t>(time));
  return b;
}
inline Bytes shortLog(std::uint16_t number, int delta, std::uint8_t state = 0, std::uint8_t verify = 0) {
  Bytes b(4, 0);
  wire::writeU16(&b[0], number);
  b[2] = static_cast<std::uint8_t>(state << 5 | verify << 3 | 0x04 | (delta >> 8));
  b[3] = static_cast<std::uint8_t>(delta);
  return b;
}

inline Bytes extendedLog(std::int32_t number, std::int32_t time, std::uint8_t state, std::uint8_t verify,
                         std::uint16_t reserved, std::uint32_t workCode) {
  Bytes b(16, 0);
  wire::writeU32(&b[0], static_cast<std::uint32_t>(number));
  wire::writeU32(&b[4], static_cast<std::uint32_t>(time));
  b[8] = state;
  b[9] = verify;
  wire::writeU16(&b[10], reserved);
  wire::writeU32(&b[12], workCode);
  return b;
}

inline Bytes idLog(std::uint16_t number, const std::string& userId, std::uint8_t verify, std::int32_t time,
                   std::uint8_t state, std::uint32_t workCode) {
  Bytes b(40, 0);
  wire::writeU16(&b[0], number);
  text(b, 2, 24, userId);
  b[26] = verify;
  wire::writeU32(&b[27], static_cast<std::uint32_t>(time));
  b[31] = state;
  wire::writeU32(&b[32], workCode);
  return b;
}

inline Bytes opLog(std::uint16_t admin, std::uint8_t operation, std::int32_t time,
                   std::array<std::uint16_t, 4> parameters = {}) {
  Bytes b(16, 0);
  wire::writeU16(&b[0], admin);
  b[2] = operation;
  wire::writeU32(&b[4], static_cast<std::uint32_t>(time));
  for (int i = 0; i < 4; ++i) wire::writeU16(&b[8 + 2 * i], parameters[i]);
  return b;
}

// A template table record: size (header included), number, finger, reserved.
inline Bytes templateRecord(std::uint16_t number, std::uint8_t finger, const Bytes& bytes,
                            std::optional<std::uint16_t> size = std::nullopt) {
  Bytes b(6 + bytes.size(), 0);
  wire::writeU16(&b[0], size.value_or(static_cast<std::uint16_t>(bytes.size() + 6)));
  wire::writeU16(&b[2], number);
  b[4] = finger;
  std::copy(bytes.begin(), bytes.end(), b.begin() + 6);
  return b;
}
}  // namespace records
