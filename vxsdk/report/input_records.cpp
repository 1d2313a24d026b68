// Codecs of the five input records: attendance log, user, department, shift, rule.
#include "vxsdk/report/bytes.h"
#include "vxsdk/report/records.h"

namespace vxreport {

char statusCharacter(std::uint8_t status) {
  static constexpr char kTable[] = "IOTBio";
  return status < 6 ? kTable[status] : 'N';
}

AttLogRecord AttLogRecord::decode(std::span<const std::uint8_t, kSize> b) {
  AttLogRecord r;
  r.userNumber = le::u16(b, 0);
  r.userId = le::text(b, 2, 24);
  r.verifyMode = le::u8(b, 26);
  r.time = le::i32(b, 27);
  r.status = le::u8(b, 31);
  r.workCode = le::u32(b, 32);
  r.reserved = le::u32(b, 36);
  return r;
}

void AttLogRecord::encode(std::span<std::uint8_t, kSize> b) const {
  le::put16(b, 0, userNumber);
  le::putText(b, 2, 24, userId);
  le::put8(b, 26, verifyMode);
  le::puti32(b, 27, time);
  le::put8(b, 31, status);
  le::put32(b, 32, workCode);
  le::put32(b, 36, reserved);
}

LogPunch LogPunch::decode(std::span<const std::uint8_t, AttLogRecord::kSize> b) {
  return LogPunch{le::i32(b, 27), le::u16(b, 0), le::u8(b, 31)};
}

UserRecord UserRecord::decode(std::span<const std::uint8_t, kSize> b) {
  UserRecord r;
  r.userNumber = le::u16(b, 0);
  r.privilege = le::u8(b, 2);
  r.password = le::text(b, 3, 8);
  r.name = le::text(b, 11, 24);
  r.card = le::u32(b, 35);
  r.department = le::u8(b, 39);
  for (std::size_t k = 0; k < 4; ++k) r.shifts[k] = le::u16(b, 40 + 2 * k);
  r.userId = le::text(b, 48, 24);
  return r;
}

void UserRecord::encode(std::span<std::uint8_t, kSize> b) const {
  le::put16(b, 0, userNumber);
  le::put8(b, 2, privilege);
  le::putText(b, 3, 8, password);
  le::putText(b, 11, 24, name);
  le::put32(b, 35, card);
  le::put8(b, 39, department);
  for (std::size_t k = 0; k < 4; ++k) le::put16(b, 40 + 2 * k, shifts[k]);
  le::putText(b, 48, 24, userId);
}

DepartmentRecord DepartmentRecord::decode(std::span<const std::uint8_t, kSize> b) {
  return DepartmentRecord{le::u8(b, 0), le::text(b, 4, 32)};
}

void DepartmentRecord::encode(std::span<std::uint8_t, kSize> b) const {
  le::put8(b, 0, number);
  for (std::size_t i = 1; i < 4; ++i) le::put8(b, i, 0);
  le::putText(b, 4, 32, name);
}

TurnRecord TurnRecord::decode(std::span<const std::uint8_t, kSize> b) {
  TurnRecord r;
  r.number = le::u16(b, 0);
  r.name = le::text(b, 2, 10);
  r.startMinute = le::u8(b, 12);
  r.startHour = le::u8(b, 13);
  r.endMinute = le::u8(b, 16);
  r.endHour = le::u8(b, 17);
  return r;
}

void TurnRecord::encode(std::span<std::uint8_t, kSize> b) const {
  for (auto& x : b) x = 0;
  le::put16(b, 0, number);
  le::putText(b, 2, 10, name);
  le::put8(b, 12, startMinute);
  le::put8(b, 13, startHour);
  le::put8(b, 16, endMinute);
  le::put8(b, 17, endHour);
}

AttRuleRecord AttRuleRecord::decode(std::span<const std::uint8_t, kSize> b) {
  AttRuleRecord r;
  r.title = le::text(b, 0, 48);
  r.earlyAsAbsent = le::i32(b, 48);
  r.lateAsAbsent = le::i32(b, 52);
  r.exceptionLimitMinutes = le::i32(b, 56);
  r.minPunchGapMinutes = le::i32(b, 60);
  r.periodCopy = le::i32(b, 64);
  r.earlyAbsentMinutes = le::i32(b, 68);
  r.graceMinutes = le::i32(b, 76);
  r.lateAbsentMinutes = le::i32(b, 80);
  r.workUnitMinutes = le::u32(b, 96);
  r.flag100 = le::u8(b, 100);
  r.flag101 = le::u8(b, 101);
  r.exceptionRuleA = le::u8(b, 102);
  r.exceptionRuleB = le::u8(b, 103);
  r.crossMidnight = le::i32(b, 108);
  r.scheduleUnit = le::i32(b, 120);
  r.lateUnit = le::i32(b, 124);
  r.earlyUnit = le::i32(b, 128);
  r.absentUnit = le::i32(b, 132);
  return r;
}

void AttRuleRecord::encode(std::span<std::uint8_t, kSize> b) const {
  for (auto& x : b) x = 0;
  le::putText(b, 0, 48, title);
  le::puti32(b, 48, earlyAsAbsent);
  le::puti32(b, 52, lateAsAbsent);
  le::puti32(b, 56, exceptionLimitMinutes);
  le::puti32(b, 60, minPunchGapMinutes);
  le::puti32(b, 64, periodCopy);
  le::puti32(b, 68, earlyAbsentMinutes);
  le::puti32(b, 76, graceMinutes);
  le::puti32(b, 80, lateAbsentMinutes);
  le::put32(b, 96, workUnitMinutes);
  le::put8(b, 100, flag100);
  le::put8(b, 101, flag101);
  le::put8(b, 102, exceptionRuleA);
  le::put8(b, 103, exceptionRuleB);
  le::puti32(b, 108, crossMidnight);
  le::puti32(b, 120, scheduleUnit);
  le::puti32(b, 124, lateUnit);
  le::puti32(b, 128, earlyUnit);
  le::puti32(b, 132, absentUnit);
}

}  // namespace vxreport
