// Record layouts: every field lands at its offset with its width, and decoding
// gives back what was encoded.
#include <gtest/gtest.h>

#include "support.h"
#include "vxsdk/report/bytes.h"

namespace vxtest {
namespace {

std::uint32_t field(std::span<const std::uint8_t> b, std::size_t offset, int width) {
  std::uint32_t v = 0;
  for (int i = 0; i < width; ++i) v |= static_cast<std::uint32_t>(b[offset + i]) << (8 * i);
  return v;
}

struct FieldCase {
  std::size_t offset;
  int width;
  std::uint32_t value;
};

void expectFields(std::span<const std::uint8_t> bytes, std::initializer_list<FieldCase> cases) {
  for (const auto& c : cases) EXPECT_EQ(field(bytes, c.offset, c.width), c.value) << "offset " << c.offset;
}

TEST(DeviceTime, EncodesTheDeviceCalendar) {
  EXPECT_EQ(at(2007, 8, 7, 12, 30, 45), ((((7 * 12 + 7) * 31 + 6) * 24 + 12) * 60 + 30) * 60 + 45);
  EXPECT_EQ(at(2107, 8, 7, 12, 30, 45), at(2007, 8, 7, 12, 30, 45));
  const CalendarTime zero = decodeDeviceTime(0);
  EXPECT_EQ(zero.year, 2000);
  EXPECT_EQ(zero.month, 1);
  EXPECT_EQ(zero.day, 1);
  const CalendarTime feb31 = decodeDeviceTime(at(2009, 2, 31, 23, 59, 58));
  EXPECT_EQ(feb31.year, 2009);
  EXPECT_EQ(feb31.month, 2);
  EXPECT_EQ(feb31.day, 31);
  EXPECT_EQ(feb31.hour, 23);
  EXPECT_EQ(feb31.minute, 59);
  EXPECT_EQ(feb31.second, 58);
  EXPECT_EQ(dayStart(at(2009, 2, 31, 23, 59, 58)), at(2009, 2, 31));
}

TEST(StatusCharacter, MapsTheSixStatesAndEverythingElseToN) {
  const std::pair<int, char> table[] = {{0, 'I'}, {1, 'O'}, {2, 'T'}, {3, 'B'}, {4, 'i'}, {5, 'o'},
                                        {6, 'N'}, {48, 'N'}, {255, 'N'}};
  for (auto [status, kind] : table) EXPECT_EQ(statusCharacter(static_cast<std::uint8_t>(status)), kind) << status;
}

TEST(InputRecords, FieldsSitAtTheirOffsets) {
  AttLogRecord log = punch(0x1234, 0x0A0D1A0B, 5);
  log.userId = "A1";
  log.verifyMode = 7;
  log.workCode = 99;
  const auto lb = encodeRecord(log);
  expectFields(lb, {{0, 2, 0x1234}, {2, 2, 'A' | ('1' << 8)}, {26, 1, 7}, {27, 4, 0x0A0D1A0B}, {31, 1, 5}, {32, 4, 99}});
  const LogPunch p = LogPunch::decode(lb);
  EXPECT_EQ(p.userNumber, 0x1234);
  EXPECT_EQ(p.time, 0x0A0D1A0B);
  EXPECT_EQ(p.status, 5);

  UserRecord u = user(513, "00042", "Zhang", 9, {1, 2, 3, 0xBEEF});
  u.card = 0xCAFEBABE;
  const auto ub = encodeRecord(u);
  expectFields(ub, {{0, 2, 513}, {11, 1, 'Z'}, {35, 4, 0xCAFEBABE}, {39, 1, 9}, {40, 2, 1}, {42, 2, 2}, {44, 2, 3},
                    {46, 2, 0xBEEF}, {48, 1, '0'}, {52, 1, '2'}});
  const UserRecord ud = UserRecord::decode(ub);
  EXPECT_EQ(ud.name, "Zhang");
  EXPECT_EQ(ud.userId, "00042");
  EXPECT_EQ(ud.shifts, u.shifts);

  const auto db = encodeRecord(DepartmentRecord{200, "Sales"});
  expectFields(db, {{0, 1, 200}, {1, 3, 0}, {4, 1, 'S'}});
  EXPECT_EQ(DepartmentRecord::decode(db).name, "Sales");

  const auto tb = encodeRecord(turn(0x0102, "Night", 22, 30, 6, 15));
  expectFields(tb, {{0, 2, 0x0102}, {2, 1, 'N'}, {12, 2, 22 * 256 + 30}, {16, 2, 6 * 256 + 15}});
  const TurnRecord td = TurnRecord::decode(tb);
  EXPECT_EQ(td.startSeconds(), (22 * 60 + 30) * 60);
  EXPECT_EQ(td.endSeconds(), (6 * 60 + 15) * 60);

  AttRuleRecord r;
  r.title = "T";
  r.earlyAsAbsent = 1, r.lateAsAbsent = 2, r.exceptionLimitMinutes = 3, r.minPunchGapMinutes = 4;
  r.earlyAbsentMinutes = 5, r.graceMinutes = 6, r.lateAbsentMinutes = 7, r.workUnitMinutes = 8;
  r.exceptionRuleA = 9, r.exceptionRuleB = 10, r.crossMidnight = 11;
  r.scheduleUnit = 12, r.lateUnit = 13, r.earlyUnit = 14, r.absentUnit = -1;
  const auto rb = encodeRecord(r);
  expectFields(rb, {{48, 4, 1}, {52, 4, 2}, {56, 4, 3}, {60, 4, 4}, {68, 4, 5}, {76, 4, 6}, {80, 4, 7}, {96, 4, 8},
                    {102, 1, 9}, {103, 1, 10}, {108, 4, 11}, {120, 4, 12}, {124, 4, 13}, {128, 4, 14},
                    {132, 4, 0xFFFFFFFF}});
  EXPECT_EQ(AttRuleRecord::decode(rb).absentUnit, -1);
}

TEST(InputRecords, TextWithoutTerminatorStopsAtTheFieldWidth) {
  std::array<std::uint8_t, UserRecord::kSize> b{};
  b.fill('x');
  const UserRecord u = UserRecord::decode(b);
  EXPECT_EQ(u.name, std::string(24, 'x'));
  EXPECT_EQ(u.userId, std::string(24, 'x'));
  EXPECT_EQ(u.password, std::string(8, 'x'));
  std::array<std::uint8_t, AttRuleRecord::kSize> rb{};
  rb.fill('y');
  EXPECT_EQ(AttRuleRecord::decode(rb).title, std::string(48, 'y'));
}

TEST(WorkRecords, FieldsSitAtTheirOffsetsAndRoundTrip) {
  const PunchRecord p{7, 123456, 'i', 'o', 5};
  const auto pb = encodeRecord(p);
  expectFields(pb, {{0, 4, 7}, {4, 4, 123456}, {8, 1, 'i'}, {9, 1, 'o'}, {10, 2, 5}, {12, 4, 0}});
  EXPECT_EQ(PunchRecord::decode(pb), p);

  ExceptionRecord x;
  x.userNumber = 1, x.start = 2, x.end = 3, x.type = 4, x.code = 5, x.scheduledOverlap = 6, x.duration = 7;
  x.clippedDuration = 8, x.day = 9, x.units = 1.5f;
  const auto xb = encodeRecord(x);
  expectFields(xb, {{0, 4, 1}, {4, 4, 2}, {8, 4, 3}, {12, 4, 4}, {16, 4, 5}, {20, 4, 0}, {24, 4, 6}, {28, 4, 7},
                    {32, 4, 8}, {36, 4, 9}, {40, 4, 0}, {44, 4, 0x3FC00000}});
  EXPECT_EQ(ExceptionRecord::decode(xb), x);

  PeriodRecord r;
  r.userNumber = 1, r.periodIndex = 2, r.shift = 3, r.exceptionCode = 4, r.inState = 5, r.outState = 6;
  r.absent = 7, r.inRequired = 8, r.outRequired = 9, r.day = 10, r.scheduledStart = 11, r.scheduledEnd = 12;
  r.checkIn = 13, r.checkOut = 14, r.units = 2.0f, r.lateSeconds = 15, r.earlySeconds = 16, r.workSeconds = 17;
  const auto rb = encodeRecord(r);
  expectFields(rb, {{0, 4, 1}, {4, 4, 2}, {8, 1, 3}, {9, 1, 4}, {10, 1, 0}, {11, 1, 5}, {12, 1, 6}, {13, 1, 7},
                    {14, 1, 8}, {15, 1, 9}, {16, 4, 10}, {20, 4, 11}, {24, 4, 12}, {28, 4, 13}, {32, 4, 14},
                    {36, 4, 0}, {40, 4, 0x40000000}, {44, 4, 15}, {48, 4, 16}, {52, 4, 0}, {56, 4, 17}});
  EXPECT_EQ(PeriodRecord::decode(rb), r);

  UserTotalsRecord t;
  std::int32_t n = 1;
  for (std::int32_t* f : {&t.userNumber, &t.scheduledSeconds, &t.attendedSeconds, &t.lateCount, &t.lateSeconds,
                          &t.earlyCount, &t.earlySeconds, &t.absentSeconds, &t.absentCount, &t.exception1Count,
                          &t.exception1Seconds, &t.exception0Count, &t.exception0Seconds, &t.exception2Count,
                          &t.exception2Seconds, &t.exception3Count, &t.exception3Seconds, &t.workSeconds})
    *f = n++;
  t.scheduledUnitSeconds = 101, t.attendedUnitSeconds = 102, t.absentUnitSeconds = 103;
  t.inNotDoneCount = 104, t.outNotDoneCount = 105, t.requiredPunches = 106, t.checkInCount = 107;
  t.checkOutCount = 108, t.workedPeriods = 109;
  const auto tb = encodeRecord(t);
  expectFields(tb, {{0, 4, 1},   {4, 4, 101},  {8, 4, 2},    {12, 4, 102}, {16, 4, 3},   {20, 4, 4},
                    {24, 4, 5},  {28, 4, 6},   {32, 4, 7},   {36, 4, 103}, {40, 4, 8},   {44, 4, 9},
                    {48, 4, 10}, {52, 4, 11},  {56, 4, 12},  {60, 4, 13},  {64, 4, 0},   {68, 4, 0},
                    {72, 2, 104}, {74, 2, 105}, {76, 4, 14}, {80, 4, 15},  {84, 4, 16},  {88, 4, 17},
                    {92, 4, 18}, {96, 2, 106}, {98, 2, 107}, {100, 2, 108}, {102, 2, 109}});
  EXPECT_EQ(UserTotalsRecord::decode(tb), t);
}

}  // namespace
}  // namespace vxtest
