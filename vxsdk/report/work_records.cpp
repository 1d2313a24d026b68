// Codecs of the four work-file records. Reserved fields are written as zero
// and ignored on reading.
#include "vxsdk/report/bytes.h"
#include "vxsdk/report/records.h"

namespace vxreport {

namespace {
void zero(std::span<std::uint8_t> b) {
  for (auto& x : b) x = 0;
}
}  // namespace

PunchRecord PunchRecord::decode(std::span<const std::uint8_t, kSize> b) {
  return PunchRecord{le::i32(b, 0), le::i32(b, 4), le::u8(b, 8), le::u8(b, 9), le::u16(b, 10)};
}

void PunchRecord::encode(std::span<std::uint8_t, kSize> b) const {
  zero(b);
  le::puti32(b, 0, userNumber);
  le::puti32(b, 4, time);
  le::put8(b, 8, status);
  le::put8(b, 9, expected);
  le::put16(b, 10, reason);
}

ExceptionRecord ExceptionRecord::decode(std::span<const std::uint8_t, kSize> b) {
  ExceptionRecord r;
  r.userNumber = le::i32(b, 0);
  r.start = le::i32(b, 4);
  r.end = le::i32(b, 8);
  r.type = le::i32(b, 12);
  r.code = le::i32(b, 16);
  r.scheduledOverlap = le::i32(b, 24);
  r.duration = le::i32(b, 28);
  r.clippedDuration = le::i32(b, 32);
  r.day = le::i32(b, 36);
  r.units = le::f32(b, 44);
  return r;
}

void ExceptionRecord::encode(std::span<std::uint8_t, kSize> b) const {
  zero(b);
  le::puti32(b, 0, userNumber);
  le::puti32(b, 4, start);
  le::puti32(b, 8, end);
  le::puti32(b, 12, type);
  le::puti32(b, 16, code);
  le::puti32(b, 24, scheduledOverlap);
  le::puti32(b, 28, duration);
  le::puti32(b, 32, clippedDuration);
  le::puti32(b, 36, day);
  le::putf32(b, 44, units);
}

PeriodRecord PeriodRecord::decode(std::span<const std::uint8_t, kSize> b) {
  PeriodRecord r;
  r.userNumber = le::i32(b, 0);
  r.periodIndex = le::i32(b, 4);
  r.shift = le::u8(b, 8);
  r.exceptionCode = le::u8(b, 9);
  r.inState = le::u8(b, 11);
  r.outState = le::u8(b, 12);
  r.absent = le::u8(b, 13);
  r.inRequired = le::u8(b, 14);
  r.outRequired = le::u8(b, 15);
  r.day = le::i32(b, 16);
  r.scheduledStart = le::i32(b, 20);
  r.scheduledEnd = le::i32(b, 24);
  r.checkIn = le::i32(b, 28);
  r.checkOut = le::i32(b, 32);
  r.units = le::f32(b, 40);
  r.lateSeconds = le::i32(b, 44);
  r.earlySeconds = le::i32(b, 48);
  r.workSeconds = le::i32(b, 56);
  return r;
}

void PeriodRecord::encode(std::span<std::uint8_t, kSize> b) const {
  zero(b);
  le::puti32(b, 0, userNumber);
  le::puti32(b, 4, periodIndex);
  le::put8(b, 8, shift);
  le::put8(b, 9, exceptionCode);
  le::put8(b, 11, inState);
  le::put8(b, 12, outState);
  le::put8(b, 13, absent);
  le::put8(b, 14, inRequired);
  le::put8(b, 15, outRequired);
  le::puti32(b, 16, day);
  le::puti32(b, 20, scheduledStart);
  le::puti32(b, 24, scheduledEnd);
  le::puti32(b, 28, checkIn);
  le::puti32(b, 32, checkOut);
  le::putf32(b, 40, units);
  le::puti32(b, 44, lateSeconds);
  le::puti32(b, 48, earlySeconds);
  le::puti32(b, 56, workSeconds);
}

UserTotalsRecord UserTotalsRecord::decode(std::span<const std::uint8_t, kSize> b) {
  UserTotalsRecord r;
  r.userNumber = le::i32(b, 0);
  r.scheduledUnitSeconds = le::u32(b, 4);
  r.scheduledSeconds = le::i32(b, 8);
  r.attendedUnitSeconds = le::u32(b, 12);
  r.attendedSeconds = le::i32(b, 16);
  r.lateCount = le::i32(b, 20);
  r.lateSeconds = le::i32(b, 24);
  r.earlyCount = le::i32(b, 28);
  r.earlySeconds = le::i32(b, 32);
  r.absentUnitSeconds = le::u32(b, 36);
  r.absentSeconds = le::i32(b, 40);
  r.absentCount = le::i32(b, 44);
  r.exception1Count = le::i32(b, 48);
  r.exception1Seconds = le::i32(b, 52);
  r.exception0Count = le::i32(b, 56);
  r.exception0Seconds = le::i32(b, 60);
  r.inNotDoneCount = le::u16(b, 72);
  r.outNotDoneCount = le::u16(b, 74);
  r.exception2Count = le::i32(b, 76);
  r.exception2Seconds = le::i32(b, 80);
  r.exception3Count = le::i32(b, 84);
  r.exception3Seconds = le::i32(b, 88);
  r.workSeconds = le::i32(b, 92);
  r.requiredPunches = le::u16(b, 96);
  r.checkInCount = le::u16(b, 98);
  r.checkOutCount = le::u16(b, 100);
  r.workedPeriods = le::u16(b, 102);
  return r;
}

void UserTotalsRecord::encode(std::span<std::uint8_t, kSize> b) const {
  zero(b);
  le::puti32(b, 0, userNumber);
  le::put32(b, 4, scheduledUnitSeconds);
  le::puti32(b, 8, scheduledSeconds);
  le::put32(b, 12, attendedUnitSeconds);
  le::puti32(b, 16, attendedSeconds);
  le::puti32(b, 20, lateCount);
  le::puti32(b, 24, lateSeconds);
  le::puti32(b, 28, earlyCount);
  le::puti32(b, 32, earlySeconds);
  le::put32(b, 36, absentUnitSeconds);
  le::puti32(b, 40, absentSeconds);
  le::puti32(b, 44, absentCount);
  le::puti32(b, 48, exception1Count);
  le::puti32(b, 52, exception1Seconds);
  le::puti32(b, 56, exception0Count);
  le::puti32(b, 60, exception0Seconds);
  le::put16(b, 72, inNotDoneCount);
  le::put16(b, 74, outNotDoneCount);
  le::puti32(b, 76, exception2Count);
  le::puti32(b, 80, exception2Seconds);
  le::puti32(b, 84, exception3Count);
  le::puti32(b, 88, exception3Seconds);
  le::puti32(b, 92, workSeconds);
  le::put16(b, 96, requiredPunches);
  le::put16(b, 98, checkInCount);
  le::put16(b, 100, checkOutCount);
  le::put16(b, 102, workedPeriods);
}

}  // namespace vxreport
