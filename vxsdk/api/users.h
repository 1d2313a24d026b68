#pragma once
// Users: the record forms of the user table, its download into the
// connection's user buffer, and the look-ups that go between the numbers an
// application knows (PIN2, user ID text, card) and the device's internal
// 16-bit user numbers. Every API area that names users uses these.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "vxsdk/api/connection.h"
#include "vxsdk/report/records.h"

namespace vxsdk {

constexpr std::int32_t kUserBufferSize = 6291456;

// The 28-byte user record of firmware from "Ver 5.04" on; older firmware
// sends only its first 16 bytes (number, privilege, password, name).
struct UserRecord {
  static constexpr std::size_t kShortSize = 16;
  static constexpr std::size_t kSize = 28;
  std::uint16_t number = 0;
  std::uint8_t privilege = 0;            // bit 0: disabled; the rest: privilege code
  std::array<std::uint8_t, 5> password{};  // text, zero-padded, no terminator when full
  std::array<std::uint8_t, 8> name{};      // text, zero-padded, no terminator when full
  std::array<std::uint8_t, 5> card{};    // raw card bytes
  std::uint8_t groupByte = 0;            // bits 3-0 group, bit 7 own time zones, bits 5-4 top of the third zone
  std::uint16_t timeZoneField = 0;       // first (5-0), second (11-6), low bits of the third (15-12)
  std::int32_t pin2 = 0;                 // 0: none

  // Reads a record of 16 or 28 bytes (the span's size); the fields a 16-byte
  // record lacks stay zero.
  static UserRecord decode(std::span<const std::uint8_t> bytes);
  // Writes the first bytes.size() bytes (16 or 28) of the record.
  void encode(std::span<std::uint8_t> bytes) const;
  int group() const { return groupByte & 0x0F; }
};

// The 72-byte record of string-ID users; the report engine's user file has
// the same layout, so both read it with one codec.
using IdUserRecord = vxreport::UserRecord;

// Privilege byte to the application's level: 14 -> 3, 10 -> 4, 6 -> 2, 2 -> 1,
// below 2 -> 0 (bit 0, the disabled bit, ignored); nothing for other codes.
// The string-ID records do not know code 10.
std::optional<int> privilegeLevel(std::uint8_t privilegeByte, bool knowsCode10 = true);
inline bool userEnabled(std::uint8_t privilegeByte) { return (privilegeByte & 1) == 0; }

// The up to three time zones of a 28-byte record. count -1: the user has no
// time zones of its own (the group's apply).
struct UserTimeZones {
  int count = -1;
  std::array<int, 3> zones{};
};
UserTimeZones unpackTimeZones(std::uint16_t field, std::uint8_t groupByte);
// Writes the zones to a four-int32 area as the getters hand them out: -1 in
// the first element when there are none of the user's own; otherwise the
// three zones, and a 0 in the fourth when all three are set.
void handOutTimeZones(const UserTimeZones& zones, int* area);

// ---- User view ------------------------------------------------------------
// Record size of the 16- or 28-byte form this firmware sends.
std::size_t userRecordSize(const Connection& c);
// The bytes of the user view, cut to what the user buffer holds.
std::span<const std::uint8_t> userViewBytes(const Connection& c);
// Downloads the user table into userBuffer and sets userView: 1, 0 the device
// has no users, -2 the download failed, -100 no memory. Other views stay.
int readUsers(Connection& c);
// Whether an exported user call downloads first: no user buffer, or an empty view.
bool userViewEmpty(const Connection& c);

// Records of `recordSize` bytes laid end to end: the offset of the first one
// the predicate accepts. A record cut off at the end is not looked at.
template <class Predicate>
std::optional<std::size_t> findRecord(std::span<const std::uint8_t> records, std::size_t recordSize,
                                      Predicate&& accepts) {
  for (std::size_t at = 0; recordSize > 0 && records.size() - at >= recordSize; at += recordSize) {
    if (accepts(records.subspan(at, recordSize))) return at;
  }
  return std::nullopt;
}

// ---- Look-ups ---------------------------------------------------------------
// Each downloads the users first when no user buffer exists (its outcome is
// not examined: an empty view finds nothing). A found record is given as its
// offset in userBuffer.
std::optional<std::size_t> findUserByNumber(Connection& c, int number);  // 16- or 28-byte records
std::optional<std::size_t> findUserByPin2(Connection& c, int pin2);      // nothing below "Ver 5.04"
std::optional<std::size_t> findUserByCard(Connection& c, std::span<const std::uint8_t, 5> card);
std::optional<std::size_t> findUserById(Connection& c, const char* userId);  // 72-byte records

// Internal number to the PIN2 shown to people: the record's PIN2 when it has
// one, else the number itself (always the number below "Ver 5.04").
int toPin2(Connection& c, int number);
// A number from the application to the internal number: unchanged below
// "Ver 5.04" and, with a PIN width of 5 or less, below 65535; otherwise looked
// up as a PIN2 (in the user view, then in the batch's user cache while a batch
// is collected with a PIN width above 5), unchanged when not found.
int fromPin2(Connection& c, int pin2);
// User ID text to the internal number; when unknown, the number most recently
// given to a new string-ID user (lastUserNumber) if any, else -1.
int userIdToNumber(Connection& c, const char* userId);

// The records a batch has added (batchUserCache): they begin 4 bytes into the
// cache, batchUserCacheLength bytes of 28-byte records.
std::span<const std::uint8_t> batchUserCacheRecords(const Connection& c);

}  // namespace vxsdk
