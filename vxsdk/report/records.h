#pragma once
// Codecs of every record the report engine reads or writes. Each record is
// decoded and encoded field by field, little-endian, from a span of exactly
// its size; nothing is ever cast onto the bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vxreport {

// ---- Input records --------------------------------------------------------

// 40-byte attendance record with a text user ID.
struct AttLogRecord {
  static constexpr std::size_t kSize = 40;
  std::uint16_t userNumber = 0;
  std::string userId;  // 24 bytes
  std::uint8_t verifyMode = 0;
  std::int32_t time = 0;  // unaligned at offset 27
  std::uint8_t status = 0;
  std::uint32_t workCode = 0;
  std::uint32_t reserved = 0;

  static AttLogRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
};

// The three fields of an attendance record the calculation uses, read without
// building the whole record.
struct LogPunch {
  std::int32_t time = 0;
  std::uint16_t userNumber = 0;
  std::uint8_t status = 0;
  static LogPunch decode(std::span<const std::uint8_t, AttLogRecord::kSize> b);
};

// Status byte of an attendance record to its status character ("IOTBio", else 'N').
char statusCharacter(std::uint8_t status);

// 72-byte user record with a text user ID.
struct UserRecord {
  static constexpr std::size_t kSize = 72;
  std::uint16_t userNumber = 0;
  std::uint8_t privilege = 0;
  std::string password;  // 8 bytes
  std::string name;      // 24 bytes
  std::uint32_t card = 0;
  std::uint8_t department = 0;
  std::array<std::uint16_t, 4> shifts{};
  std::string userId;  // 24 bytes

  static UserRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
};

struct DepartmentRecord {
  static constexpr std::size_t kSize = 36;
  std::uint8_t number = 0;
  std::string name;  // 32 bytes

  static DepartmentRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
};

struct TurnRecord {
  static constexpr std::size_t kSize = 20;
  std::uint16_t number = 0;
  std::string name;  // 10 bytes
  std::uint8_t startMinute = 0, startHour = 0;
  std::uint8_t endMinute = 0, endHour = 0;

  // Start and end as seconds of the day, (hour * 60 + minute) * 60.
  std::int32_t startSeconds() const { return (startHour * 60 + startMinute) * 60; }
  std::int32_t endSeconds() const { return (endHour * 60 + endMinute) * 60; }

  static TurnRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
};

// The attendance rule: the first 136 bytes of the rule file; a shorter file
// leaves the missing fields zero.
struct AttRuleRecord {
  static constexpr std::size_t kSize = 136;
  std::string title;  // 48 bytes
  std::int32_t earlyAsAbsent = 0;
  std::int32_t lateAsAbsent = 0;
  std::int32_t exceptionLimitMinutes = 0;
  std::int32_t minPunchGapMinutes = 0;
  std::int32_t periodCopy = 0;  // offset 64, carried but not used
  std::int32_t earlyAbsentMinutes = 0;
  std::int32_t graceMinutes = 0;
  std::int32_t lateAbsentMinutes = 0;
  std::uint32_t workUnitMinutes = 0;
  std::uint8_t flag100 = 0, flag101 = 0;  // not used; the calculation clears them
  std::uint8_t exceptionRuleA = 0;
  std::uint8_t exceptionRuleB = 0;
  std::int32_t crossMidnight = 0;
  std::int32_t scheduleUnit = 0;
  std::int32_t lateUnit = 0;
  std::int32_t earlyUnit = 0;
  std::int32_t absentUnit = 0;

  static AttRuleRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
};

// ---- Work-file records ----------------------------------------------------

// "RecAbnormite.dat": one classified punch.
struct PunchRecord {
  static constexpr std::size_t kSize = 16;
  std::int32_t userNumber = 0;
  std::int32_t time = 0;
  std::uint8_t status = 0;
  std::uint8_t expected = ' ';
  std::uint16_t reason = 0;

  static PunchRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
  bool operator==(const PunchRecord&) const = default;
};

// "attexception.dat": one exception pair.
struct ExceptionRecord {
  static constexpr std::size_t kSize = 48;
  std::int32_t userNumber = 0;
  std::int32_t start = 0;
  std::int32_t end = 0;
  std::int32_t type = 0;
  std::int32_t code = 0;
  std::int32_t scheduledOverlap = 0;
  std::int32_t duration = 0;
  std::int32_t clippedDuration = 0;
  std::int32_t day = 0;
  float units = 0;

  static ExceptionRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
  bool operator==(const ExceptionRecord&) const = default;
};

// "AttAbnormite.dat": one scheduled work period.
struct PeriodRecord {
  static constexpr std::size_t kSize = 60;
  std::int32_t userNumber = 0;
  std::int32_t periodIndex = 0;
  std::uint8_t shift = 0;
  std::uint8_t exceptionCode = 0;
  std::uint8_t inState = 0;
  std::uint8_t outState = 0;
  std::uint8_t absent = 0;
  std::uint8_t inRequired = 0;
  std::uint8_t outRequired = 0;
  std::int32_t day = 0;
  std::int32_t scheduledStart = 0;
  std::int32_t scheduledEnd = 0;
  std::int32_t checkIn = 0;
  std::int32_t checkOut = 0;
  float units = 0;
  std::int32_t lateSeconds = 0;
  std::int32_t earlySeconds = 0;
  std::int32_t workSeconds = 0;

  static PeriodRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
  bool operator==(const PeriodRecord&) const = default;
};

// "AttDay.dat": the totals of one user.
struct UserTotalsRecord {
  static constexpr std::size_t kSize = 104;
  std::int32_t userNumber = 0;
  std::uint32_t scheduledUnitSeconds = 0;
  std::int32_t scheduledSeconds = 0;
  std::uint32_t attendedUnitSeconds = 0;
  std::int32_t attendedSeconds = 0;
  std::int32_t lateCount = 0;
  std::int32_t lateSeconds = 0;
  std::int32_t earlyCount = 0;
  std::int32_t earlySeconds = 0;
  std::uint32_t absentUnitSeconds = 0;
  std::int32_t absentSeconds = 0;
  std::int32_t absentCount = 0;
  std::int32_t exception1Count = 0;
  std::int32_t exception1Seconds = 0;
  std::int32_t exception0Count = 0;
  std::int32_t exception0Seconds = 0;
  std::uint16_t inNotDoneCount = 0;
  std::uint16_t outNotDoneCount = 0;
  std::int32_t exception2Count = 0;
  std::int32_t exception2Seconds = 0;
  std::int32_t exception3Count = 0;
  std::int32_t exception3Seconds = 0;
  std::int32_t workSeconds = 0;
  std::uint16_t requiredPunches = 0;
  std::uint16_t checkInCount = 0;
  std::uint16_t checkOutCount = 0;
  std::uint16_t workedPeriods = 0;

  static UserTotalsRecord decode(std::span<const std::uint8_t, kSize> b);
  void encode(std::span<std::uint8_t, kSize> b) const;
  bool operator==(const UserTotalsRecord&) const = default;
};

// Encodes any record into a fresh array of its size.
template <class R>
std::array<std::uint8_t, R::kSize> encodeRecord(const R& r) {
  std::array<std::uint8_t, R::kSize> bytes{};
  r.encode(bytes);
  return bytes;
}

}  // namespace vxreport
