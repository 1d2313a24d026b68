// The calculation on hand-built schedules: which punch becomes the check-in
// and check-out of each period, which are extra, and what the periods, the
// exception pairs and the totals record.
#include <gtest/gtest.h>

#include "support.h"
#include "vxsdk/report/calc.h"

namespace vxtest {
namespace {

const std::int32_t D = at(2008, 3, 3);  // the day most scenarios run on
std::int32_t t(int hour, int minute = 0, int second = 0) { return D + (hour * 60 + minute) * 60 + second; }

constexpr std::uint8_t I = 0, O = 1, T = 2, B = 3, In = 4, Out = 5;  // status bytes

struct Outcome {
  std::vector<PunchRecord> punches;
  std::vector<ExceptionRecord> exceptions;
  std::vector<PeriodRecord> periods;
  std::vector<UserTotalsRecord> totals;
};

// Runs the calculation for the given users over [start, end]; with `injected`
// the punches are handed in instead of read from the log.
Outcome calculate(const Company& c, std::int32_t start, std::int32_t end, std::vector<std::int32_t> users = {1},
                  const std::vector<Punch>* injected = nullptr) {
  TempDir dir;
  const ReportRequest q = c.write(dir);
  {
    Run run(openEngineFiles(
        EnginePaths{q.workDirectory, q.ruleFile, q.logFile, q.userFile, q.departmentFile, q.shiftFile}));
    run.prepareRun();
    for (std::int32_t u : users) {
      if (injected)
        run.calculateUser(u, start, end, *injected);
      else
        run.calculateUser(u, start, end);
    }
    run.finishRun();
  }
  return Outcome{readRecords<PunchRecord>(dir.file(kPunchFileName)),
                 readRecords<ExceptionRecord>(dir.file(kExceptionFileName)),
                 readRecords<PeriodRecord>(dir.file(kPeriodFileName)),
                 readRecords<UserTotalsRecord>(dir.file(kTotalsFileName))};
}

// User 1 on shift 1, 08:00 to 17:00, with the given punches.
Company dayShift(std::vector<AttLogRecord> log, AttRuleRecord rule = baseRule()) {
  Company c;
  c.rule = rule;
  c.turns = {turn(1, "Day", 8, 0, 17, 0)};
  c.users = {user(1, "1", "Li", 1, {1, 0, 0, 0})};
  c.log = std::move(log);
  return c;
}

Outcome oneDay(const Company& c) { return calculate(c, D, t(23, 59, 59)); }

PunchRecord rec(std::int32_t time, char status, char expected, std::uint16_t reason, std::int32_t user = 1) {
  return PunchRecord{user, time, static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(expected), reason};
}

TEST(Calculation, RegularDayTakesCheckInAndCheckOutAndTheNextDayIsAbsent) {
  const Outcome r = oneDay(dayShift({punch(1, t(17, 5), O), punch(1, t(7, 55), I)}));
  EXPECT_EQ(r.punches, (std::vector<PunchRecord>{rec(t(7, 55), 'I', 'I', 0), rec(t(17, 5), 'O', 'O', 0)}));
  ASSERT_EQ(r.periods.size(), 2u);  // the schedule reaches one day past the end
  const PeriodRecord& p = r.periods[0];
  EXPECT_EQ(p.userNumber, 1);
  EXPECT_EQ(p.periodIndex, 0);
  EXPECT_EQ(p.shift, 1);
  EXPECT_EQ(p.day, D);
  EXPECT_EQ(p.scheduledStart, t(8));
  EXPECT_EQ(p.scheduledEnd, t(17));
  EXPECT_EQ(p.checkIn, t(7, 55));
  EXPECT_EQ(p.checkOut, t(17, 5));
  EXPECT_EQ(p.inState, 0);
  EXPECT_EQ(p.outState, 0);
  EXPECT_EQ(p.absent, 0);
  EXPECT_EQ(p.inRequired, 1);
  EXPECT_EQ(p.outRequired, 1);
  EXPECT_EQ(p.lateSeconds, 0);
  EXPECT_EQ(p.earlySeconds, 0);
  EXPECT_EQ(p.units, 9.0f);
  EXPECT_EQ(p.workSeconds, 9 * 3600 + 10 * 60);
  const PeriodRecord& next = r.periods[1];
  EXPECT_EQ(next.periodIndex, 1);
  EXPECT_EQ(next.day, D + 86400);
  EXPECT_EQ(next.absent, 1);
  EXPECT_EQ(next.inState, 2);
  EXPECT_EQ(next.outState, 2);
  EXPECT_EQ(next.workSeconds, 0);

  ASSERT_EQ(r.totals.size(), 1u);
  const UserTotalsRecord& u = r.totals[0];
  EXPECT_EQ(u.userNumber, 1);
  EXPECT_EQ(u.scheduledSeconds, 2 * 9 * 3600);
  EXPECT_EQ(u.scheduledUnitSeconds, 2u * 9 * 3600);
  EXPECT_EQ(u.attendedSeconds, 9 * 3600);
  EXPECT_EQ(u.attendedUnitSeconds, 9u * 3600);
  EXPECT_EQ(u.absentSeconds, 9 * 3600);
  EXPECT_EQ(u.absentUnitSeconds, 9u * 3600);
  EXPECT_EQ(u.absentCount, 1);
  EXPECT_EQ(u.inNotDoneCount, 1);
  EXPECT_EQ(u.outNotDoneCount, 1);
  EXPECT_EQ(u.checkInCount, 1);
  EXPECT_EQ(u.checkOutCount, 1);
  EXPECT_EQ(u.requiredPunches, 4);
  EXPECT_EQ(u.workSeconds, 9 * 3600 + 10 * 60);
  EXPECT_EQ(u.workedPeriods, 1);
  EXPECT_EQ(u.lateCount + u.earlyCount + u.exception0Count + u.exception1Count, 0);
}

TEST(Calculation, MergeVerdicts) {
  struct Case {
    const char* what;
    std::vector<AttLogRecord> log;
    std::vector<PunchRecord> punches;
    std::int32_t checkIn, checkOut;
  };
  const Case cases[] = {
      {"two punches in the check-out window: the later is taken",
       {punch(1, t(7, 55)), punch(1, t(16, 50), O), punch(1, t(17, 10), O)},
       {rec(t(7, 55), 'I', 'I', 0), rec(t(16, 50), 'O', ' ', 1), rec(t(17, 10), 'O', 'O', 0)},
       t(7, 55), t(17, 10)},
      {"a second punch in the check-in window lies before the check-out window",
       {punch(1, t(7, 55)), punch(1, t(8, 30)), punch(1, t(17))},
       {rec(t(7, 55), 'I', 'I', 0), rec(t(8, 30), 'I', ' ', 1), rec(t(17), 'I', 'O', 0)},
       t(7, 55), t(17)},
      {"a punch before the check-in window is extra",
       {punch(1, t(3, 29, 59)), punch(1, t(3, 30))},
       {rec(t(3, 29, 59), 'I', ' ', 1), rec(t(3, 30), 'I', 'I', 0)},
       t(3, 30), 0},
      {"a punch past the check-in window passes it and becomes the check-out",
       {punch(1, t(12, 30))},
       {rec(t(12, 30), 'I', 'O', 0)},
       0, t(12, 30)},
      {"a punch past the check-out window is extra against the next day",
       {punch(1, t(7, 59)), punch(1, t(21, 30), O)},
       {rec(t(7, 59), 'I', 'I', 0), rec(t(21, 30), 'O', ' ', 1)},
       t(7, 59), 0},
      {"kind repair: a check-in followed by another kind in the window swaps kinds",
       {punch(1, t(7, 50), I), punch(1, t(7, 58), O)},
       {rec(t(7, 50), 'O', 'I', 0), rec(t(7, 58), 'I', ' ', 1)},
       t(7, 50), 0},
      {"same kinds: no repair",
       {punch(1, t(7, 50), I), punch(1, t(7, 58), I)},
       {rec(t(7, 50), 'I', 'I', 0), rec(t(7, 58), 'I', ' ', 1)},
       t(7, 50), 0},
      {"in the check-out window the punch after next becomes an O unless it is an I",
       {punch(1, t(7, 55)), punch(1, t(16, 50), T), punch(1, t(17, 10), T), punch(1, t(17, 20), B)},
       {rec(t(7, 55), 'I', 'I', 0), rec(t(16, 50), 'T', ' ', 1), rec(t(17, 10), 'T', ' ', 1),
        rec(t(17, 20), 'O', 'O', 0)},
       t(7, 55), t(17, 20)},
      {"status bytes beyond the table read as N",
       {punch(1, t(7, 55), 9), punch(1, t(17), 6)},
       {rec(t(7, 55), 'N', 'I', 0), rec(t(17), 'N', 'O', 0)},
       t(7, 55), t(17)},
      {"equal times: the later record of the file goes first",
       {punch(1, t(7, 55)), punch(1, t(16, 50), T), punch(1, t(16, 50), B)},
       {rec(t(7, 55), 'I', 'I', 0), rec(t(16, 50), 'B', ' ', 1), rec(t(16, 50), 'T', 'O', 0)},
       t(7, 55), t(16, 50)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome r = oneDay(dayShift(c.log));
    EXPECT_EQ(r.punches, c.punches);
    ASSERT_FALSE(r.periods.empty());
    EXPECT_EQ(r.periods[0].checkIn, c.checkIn);
    EXPECT_EQ(r.periods[0].checkOut, c.checkOut);
  }
}

TEST(Calculation, LongShiftPassesItsCheckOutToTheNextDaysCheckIn) {
  // 08:00 to 22:00: the check-out window reaches 05:00 next day and overlaps
  // the next check-in window (from 01:00); a punch at 02:00 followed by one
  // beyond the next start belongs to the next day.
  Company c = dayShift({punch(1, t(7, 58)), punch(1, t(26), O), punch(1, t(47), O)});
  c.turns = {turn(1, "Long", 8, 0, 22, 0)};
  const Outcome r = calculate(c, D, t(47, 59, 59));
  EXPECT_EQ(r.punches, (std::vector<PunchRecord>{rec(t(7, 58), 'I', 'I', 0), rec(t(26), 'I', 'I', 0),
                                                 rec(t(47), 'O', 'O', 0)}));
  ASSERT_GE(r.periods.size(), 2u);
  EXPECT_EQ(r.periods[0].checkOut, 0);
  EXPECT_EQ(r.periods[0].outState, 1);
  EXPECT_EQ(r.periods[1].checkIn, t(26));
  EXPECT_EQ(r.periods[1].lateSeconds, 0);
  EXPECT_EQ(r.periods[1].earlySeconds, 0);
}

TEST(Calculation, WindowsBetweenAdjacentShiftsAreCutHalfway) {
  // 08:00-12:00 and 13:00-17:00: the first check-out window ends at 12:29,
  // the second check-in window starts at 12:30.
  struct Case {
    std::int32_t punch;
    std::int32_t firstCheckOut, secondCheckIn;
    std::uint16_t reason;
  };
  const Case cases[] = {{t(12, 28, 59), t(12, 28, 59), 0, 0},
                        {t(12, 29), 0, 0, 1},
                        {t(12, 30), 0, t(12, 30), 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.punch - D);
    Company c = dayShift({punch(1, t(7, 58)), punch(1, k.punch, O), punch(1, t(17))});
    c.turns = {turn(1, "AM", 8, 0, 12, 0), turn(2, "PM", 13, 0, 17, 0)};
    c.users = {user(1, "1", "Li", 1, {1, 2, 0, 0})};
    const Outcome r = oneDay(c);
    ASSERT_EQ(r.periods.size(), 4u);
    EXPECT_EQ(r.periods[0].checkOut, k.firstCheckOut);
    EXPECT_EQ(r.periods[1].checkIn, k.secondCheckIn);
    EXPECT_EQ(r.periods[1].checkOut, t(17));
    ASSERT_EQ(r.punches.size(), 3u);
    EXPECT_EQ(r.punches[1].reason, k.reason);
  }
}

TEST(Calculation, GraceIsExclusiveAtTheLimit) {
  AttRuleRecord rule = baseRule();
  rule.graceMinutes = 5;
  struct Case {
    std::int32_t in, out;
    std::int32_t late, early;
  };
  const Case cases[] = {{t(8, 5), t(16, 55), 0, 0},
                        {t(8, 5, 1), t(16, 54, 59), 301, 301},
                        {t(7, 0), t(18, 0), 0, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.late);
    const Outcome r = oneDay(dayShift({punch(1, k.in), punch(1, k.out, O)}, rule));
    ASSERT_FALSE(r.periods.empty());
    EXPECT_EQ(r.periods[0].lateSeconds, k.late);
    EXPECT_EQ(r.periods[0].earlySeconds, k.early);
    EXPECT_EQ(r.periods[0].workSeconds, k.out - k.in);
    EXPECT_EQ(r.totals[0].lateCount, k.late ? 1 : 0);
    EXPECT_EQ(r.totals[0].lateSeconds, k.late);
    EXPECT_EQ(r.totals[0].earlyCount, k.early ? 1 : 0);
    EXPECT_EQ(r.totals[0].earlySeconds, k.early);
  }
}

TEST(Calculation, LateAndEarlyAbsenceRules) {
  struct Case {
    bool lateRule, earlyRule;
    std::int32_t in, out;
    std::uint8_t absent;
    std::int32_t late, early, work;
  };
  const Case cases[] = {
      {true, false, t(8, 30), t(17), 0, 1800, 0, t(17) - t(8, 30)},
      {true, false, t(8, 30, 1), t(17), 1, 0, 0, 0},
      {false, false, t(8, 30, 1), t(17), 0, 1801, 0, t(17) - t(8, 30, 1)},
      {false, true, t(8), t(16, 30), 0, 0, 1800, t(16, 30) - t(8)},
      {false, true, t(8), t(16, 29, 59), 1, 0, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.in - D);
    SCOPED_TRACE(k.out - D);
    AttRuleRecord rule = baseRule();
    rule.lateAsAbsent = k.lateRule;
    rule.lateAbsentMinutes = 30;
    rule.earlyAsAbsent = k.earlyRule;
    rule.earlyAbsentMinutes = 30;
    const Outcome r = oneDay(dayShift({punch(1, k.in), punch(1, k.out, O)}, rule));
    const PeriodRecord& p = r.periods.at(0);
    EXPECT_EQ(p.absent, k.absent);
    EXPECT_EQ(p.lateSeconds, k.late);
    EXPECT_EQ(p.earlySeconds, k.early);
    EXPECT_EQ(p.workSeconds, k.work);
    EXPECT_EQ(p.checkIn, k.in);  // the punches stay recorded
    EXPECT_EQ(r.totals[0].absentCount, 1 + k.absent);  // the next day is absent too
  }
}

TEST(Calculation, PunchSpacing) {
  struct Case {
    std::int32_t gapMinutes;
    std::uint16_t reason;
  };
  for (const Case& k : {Case{5, 2}, Case{0, 1}, Case{2, 1}}) {
    SCOPED_TRACE(k.gapMinutes);
    AttRuleRecord rule = baseRule();
    rule.minPunchGapMinutes = k.gapMinutes;
    const Outcome r = oneDay(dayShift({punch(1, t(7, 58)), punch(1, t(8, 1)), punch(1, t(17))}, rule));
    ASSERT_EQ(r.punches.size(), 3u);
    EXPECT_EQ(r.punches[1], rec(t(8, 1), 'I', ' ', k.reason));
  }
}

TEST(Calculation, ExceptionPairsOfBothRules) {
  // A pair inside the afternoon: reason, type, expected characters, overlap.
  struct Case {
    const char* what;
    std::uint8_t ruleA, ruleB;
    char first, second;
    std::int32_t type;
    std::uint16_t reason;
    char c1, c2;
  };
  const Case cases[] = {
      {"rule A, byte 1", 1, 0, 'i', 'o', 1, 5, '0', '1'},
      {"rule A, other byte", 3, 0, 'i', 'o', 0, 5, 'i', 'o'},
      {"rule B, byte 1", 0, 1, '0', '1', 2, 4, 'i', 'o'},
      {"rule B, byte 2", 0, 2, '0', '1', 3, 4, '0', '1'},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    AttRuleRecord rule = baseRule();
    rule.exceptionRuleA = k.ruleA;
    rule.exceptionRuleB = k.ruleB;
    rule.exceptionLimitMinutes = 60;
    const Company c = dayShift({}, rule);
    const std::vector<Punch> punches{{t(7, 58), 'I'}, {t(13), k.first}, {t(14), k.second}, {t(17), 'O'}};
    const Outcome r = calculate(c, D, t(23, 59, 59), {1}, &punches);
    EXPECT_EQ(r.punches, (std::vector<PunchRecord>{rec(t(7, 58), 'I', 'I', 0), rec(t(13), k.first, k.c1, k.reason),
                                                   rec(t(14), k.second, k.c2, k.reason), rec(t(17), 'O', 'O', 0)}));
    ASSERT_EQ(r.exceptions.size(), 1u);
    const ExceptionRecord& x = r.exceptions[0];
    EXPECT_EQ(x.userNumber, 1);
    EXPECT_EQ(x.start, t(13));
    EXPECT_EQ(x.end, t(14));
    EXPECT_EQ(x.type, k.type);
    EXPECT_EQ(x.code, k.type);
    EXPECT_EQ(x.duration, 3600);
    EXPECT_EQ(x.clippedDuration, 3600);
    EXPECT_EQ(x.scheduledOverlap, 3600);
    EXPECT_EQ(x.units, 9.0f);
    EXPECT_EQ(x.day, D);
    const UserTotalsRecord& u = r.totals.at(0);
    const std::int32_t counts[] = {u.exception0Count, u.exception1Count, u.exception2Count, u.exception3Count};
    const std::int32_t seconds[] = {u.exception0Seconds, u.exception1Seconds, u.exception2Seconds,
                                    u.exception3Seconds};
    for (int type = 0; type < 4; ++type) {
      EXPECT_EQ(counts[type], type == k.type ? 1 : 0);
      EXPECT_EQ(seconds[type], type == k.type ? 3600 : 0);
    }
    // A pair inside the period leaves it as it was.
    EXPECT_EQ(r.periods.at(0).exceptionCode, 0);
    EXPECT_EQ(r.periods[0].checkOut, t(17));
  }
}

TEST(Calculation, ExceptionLimitAcceptsGapsUpToTheLimit) {
  AttRuleRecord rule = baseRule();
  rule.exceptionRuleA = 1;
  rule.exceptionLimitMinutes = 60;
  const auto run = [&](std::int32_t secondPunch) {
    return oneDay(dayShift({punch(1, t(7, 58)), punch(1, t(13), In), punch(1, secondPunch, Out), punch(1, t(17), O)},
                           rule));
  };
  const Outcome atLimit = run(t(14));
  EXPECT_EQ(atLimit.exceptions.size(), 1u);
  const Outcome over = run(t(14, 0, 1));
  EXPECT_TRUE(over.exceptions.empty());
  ASSERT_EQ(over.punches.size(), 4u);
  EXPECT_EQ(over.punches[1], rec(t(13), 'i', ' ', 1));  // exception kinds stay extra
  EXPECT_EQ(over.punches[2], rec(t(14, 0, 1), 'o', ' ', 1));
}

TEST(Calculation, ExceptionCoveringTheStartExcusesTheCheckIn) {
  AttRuleRecord rule = baseRule();
  rule.exceptionRuleA = 1;
  rule.exceptionLimitMinutes = 240;
  // The leave punch shares the check-in's second; the later file record goes first.
  const Outcome r = oneDay(dayShift({punch(1, t(8), In), punch(1, t(8), I), punch(1, t(10), Out), punch(1, t(17), O)},
                                    rule));
  ASSERT_EQ(r.exceptions.size(), 1u);
  const PeriodRecord& p = r.periods.at(0);
  EXPECT_EQ(p.checkIn, t(8));
  EXPECT_EQ(p.inState, 2);
  EXPECT_EQ(p.outState, 0);
  EXPECT_EQ(p.exceptionCode, 1);
  EXPECT_EQ(p.absent, 0);
  EXPECT_EQ(r.totals[0].inNotDoneCount, 2);  // this period and the absent next day
}

TEST(Calculation, NightShiftEndingBeforeItStarts) {
  // 22:00 to 06:00 on one day: the windows turn inside out and the unit count
  // comes from the unsigned difference. A leave pair between end and start
  // covers the inverted period and excuses it.
  AttRuleRecord rule = baseRule();
  rule.exceptionRuleA = 1;
  rule.exceptionLimitMinutes = 240;
  Company c = dayShift({punch(1, t(7), In), punch(1, t(10), Out)}, rule);
  c.turns = {turn(1, "Night", 22, 0, 6, 0)};
  const Outcome r = oneDay(c);
  const float units = static_cast<float>(static_cast<std::uint32_t>(6 * 3600 - 22 * 3600) / 3600u);
  EXPECT_EQ(units, 1193030.0f);
  EXPECT_EQ(r.punches, (std::vector<PunchRecord>{rec(t(7), 'i', '0', 5), rec(t(10), 'o', '1', 5)}));
  ASSERT_EQ(r.exceptions.size(), 1u);
  EXPECT_EQ(r.exceptions[0].scheduledOverlap, 0);
  ASSERT_EQ(r.periods.size(), 2u);
  const PeriodRecord& p = r.periods[0];
  EXPECT_EQ(p.scheduledStart, t(22));
  EXPECT_EQ(p.scheduledEnd, t(6));
  EXPECT_EQ(p.units, units);
  EXPECT_EQ(p.absent, 2);
  EXPECT_EQ(p.exceptionCode, 1);
  EXPECT_EQ(p.inState, 2);
  EXPECT_EQ(p.outState, 2);
  EXPECT_EQ(p.workSeconds, t(6) - t(22));
  EXPECT_EQ(r.periods[1].absent, 1);
  const UserTotalsRecord& u = r.totals.at(0);
  EXPECT_EQ(u.scheduledSeconds, 2 * (t(6) - t(22)));
  EXPECT_EQ(u.scheduledUnitSeconds, static_cast<std::uint32_t>(2ull * 1193030 * 3600 % 4294967296ull));
  EXPECT_EQ(u.exception1Count, 1);
  EXPECT_EQ(u.exception1Seconds, 3 * 3600);
  EXPECT_EQ(u.workSeconds, 0);
}

TEST(Calculation, ApplyingExceptionsToAPeriod) {
  const std::int64_t a = 1000, b = 2000;
  struct Case {
    const char* what;
    std::vector<ExceptionSpan> exceptions;
    std::uint8_t code, inState, outState, absent;
    std::int32_t late, early;
  };
  // The period starts late (100 s) and leaves early (100 s).
  const Case cases[] = {
      {"whole period", {{900, 2100, 1, 1}}, 1, 2, 2, 2, 0, 0},
      {"exactly the period", {{1000, 2000, 3, 3}}, 3, 2, 2, 2, 0, 0},
      {"its start", {{900, 1500, 2, 2}}, 2, 2, 0, 0, 0, 100},
      {"its end", {{1500, 2100, 1, 1}}, 1, 0, 2, 0, 100, 0},
      {"start then end: the first code stays", {{900, 1000, 3, 3}, {2000, 2500, 1, 1}}, 3, 2, 2, 0, 0, 0},
      {"inside", {{1200, 1800, 1, 1}}, 0, 0, 0, 0, 100, 100},
      {"before", {{100, 999, 1, 1}}, 0, 0, 0, 0, 100, 100},
      {"type 0 changes nothing", {{900, 2100, 0, 0}}, 0, 0, 0, 0, 100, 100},
      {"code -1 changes nothing", {{900, 2100, 1, -1}}, 0, 0, 0, 0, 100, 100},
      {"code 0 falls back to the type", {{900, 2100, 2, 0}}, 2, 2, 2, 2, 0, 0},
      {"whole cover ends the search", {{900, 2100, 1, 1}, {900, 2100, 3, 3}}, 1, 2, 2, 2, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    PeriodRecord r;
    r.lateSeconds = 100;
    r.earlySeconds = 100;
    applyExceptions(r, a, b, k.exceptions);
    EXPECT_EQ(r.exceptionCode, k.code);
    EXPECT_EQ(r.inState, k.inState);
    EXPECT_EQ(r.outState, k.outState);
    EXPECT_EQ(r.absent, k.absent);
    EXPECT_EQ(r.lateSeconds, k.late);
    EXPECT_EQ(r.earlySeconds, k.early);
  }
}

TEST(Calculation, CrossMidnightPeriodsBelongToTheLaterDay) {
  // A report starting at noon puts a 10:00-14:00 shift at 22:00-02:00.
  for (int cross : {0, 1}) {
    SCOPED_TRACE(cross);
    AttRuleRecord rule = baseRule();
    rule.crossMidnight = cross;
    Company c = dayShift({punch(1, t(21, 58)), punch(1, t(26, 3), O)}, rule);
    c.turns = {turn(1, "Late", 10, 0, 14, 0)};
    const Outcome r = calculate(c, t(12), t(36));
    ASSERT_EQ(r.periods.size(), 2u);
    EXPECT_EQ(r.periods[0].scheduledStart, t(22));
    EXPECT_EQ(r.periods[0].scheduledEnd, t(26));
    EXPECT_EQ(r.periods[0].checkIn, t(21, 58));
    EXPECT_EQ(r.periods[0].checkOut, t(26, 3));
    EXPECT_EQ(r.periods[0].day, cross ? D + 86400 : D);
  }
}

TEST(Calculation, CrossMidnightExceptionDayDependsOnTheType) {
  // Noon start: shifts 08:00-10:00 and 14:00-16:00 fall at 20:00-22:00 and
  // 02:00-04:00; a leave pair from 23:59:30 to 01:00 crosses midnight.
  struct Case {
    int cross;
    char first, second;
    std::uint8_t ruleA, ruleB;
    std::int32_t day;
  };
  const Case cases[] = {{1, 'i', 'o', 1, 0, D + 86400}, {0, 'i', 'o', 1, 0, D}, {1, '0', '1', 0, 2, D}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.first);
    SCOPED_TRACE(k.cross);
    AttRuleRecord rule = baseRule();
    rule.crossMidnight = k.cross;
    rule.exceptionRuleA = k.ruleA;
    rule.exceptionRuleB = k.ruleB;
    rule.exceptionLimitMinutes = 120;
    Company c = dayShift({}, rule);
    c.turns = {turn(1, "A", 8, 0, 10, 0), turn(2, "B", 14, 0, 16, 0)};
    c.users = {user(1, "1", "Li", 1, {1, 2, 0, 0})};
    // No check-out for A: a punch in its window would turn the pair's second kind into 'O'.
    const std::vector<Punch> punches{{t(19, 58), 'I'}, {t(23, 59, 30), k.first},
                                     {t(25), k.second}, {t(25, 58), 'I'}, {t(28, 5), 'O'}};
    const Outcome r = calculate(c, t(12), t(36), {1}, &punches);
    ASSERT_EQ(r.exceptions.size(), 1u);
    EXPECT_EQ(r.exceptions[0].day, k.day);
    EXPECT_EQ(r.periods.at(1).checkIn, t(25, 58));
    EXPECT_EQ(r.periods.at(0).checkIn, t(19, 58));
  }
}

TEST(Calculation, EndOfPeriodAtMidnightAndJustBefore) {
  const Company c = dayShift({punch(1, t(7, 58)), punch(1, t(17, 2), O), punch(1, t(24)), punch(1, t(31, 58))});
  // 23:59:59: the next day is scheduled but none of its punches is loaded.
  const Outcome before = calculate(c, D, t(23, 59, 59));
  ASSERT_EQ(before.periods.size(), 2u);
  EXPECT_EQ(before.periods[1].absent, 1);
  EXPECT_EQ(before.punches.size(), 2u);
  // 00:00:00 of the next day: the same schedule, plus the punch of exactly midnight.
  const Outcome midnight = calculate(c, D, t(24));
  ASSERT_EQ(midnight.periods.size(), 2u);
  EXPECT_EQ(midnight.periods[1].absent, 1);
  EXPECT_EQ(midnight.punches.size(), 3u);
  EXPECT_EQ(midnight.punches[2], rec(t(24), 'I', ' ', 1));
  // The last day of a period at 00:00:00 has its schedule built but no punch after midnight.
  const Outcome lastDay = calculate(c, D, D);
  EXPECT_TRUE(lastDay.punches.empty());
  EXPECT_TRUE(lastDay.periods.empty());
}

TEST(Calculation, UsersWithoutScheduleOrPunchesWriteNothing) {
  Company c = dayShift({punch(1, t(7, 58)), punch(2, t(7, 58)), punch(4, t(7, 58))});
  c.users.push_back(user(2, "2", "Wang", 1, {0, 0, 0, 0}));
  c.users.push_back(user(3, "3", "Zhao", 1, {1, 0, 0, 0}));
  const Outcome r = calculate(c, D, t(23, 59, 59), {2, 3, 4});  // no shifts; no punches; not in the user file
  EXPECT_TRUE(r.punches.empty());
  EXPECT_TRUE(r.periods.empty());
  EXPECT_TRUE(r.totals.empty());
}

TEST(Calculation, MissingShiftFileLeavesEveryPunchExtraAndAnEmptyTotal) {
  AttRuleRecord rule = baseRule();
  rule.minPunchGapMinutes = 5;
  Company c = dayShift({punch(1, t(7, 58)), punch(1, t(8)), punch(1, t(17))}, rule);
  c.turns.clear();
  const Outcome r = oneDay(c);
  // Spacing looks at the last punch taken (none here) and the next one.
  EXPECT_EQ(r.punches, (std::vector<PunchRecord>{rec(t(7, 58), 'I', ' ', 2), rec(t(8), 'I', ' ', 1),
                                                 rec(t(17), 'I', ' ', 1)}));
  EXPECT_TRUE(r.periods.empty());
  ASSERT_EQ(r.totals.size(), 1u);
  EXPECT_EQ(r.totals[0], UserTotalsRecord{});
}

TEST(Calculation, AtMostAThousandPunchesPerUser) {
  Company c = dayShift({});
  for (int i = 0; i < 1005; ++i) c.log.push_back(punch(1, t(9) + i * 10, T));
  const Outcome r = oneDay(c);
  EXPECT_EQ(r.punches.size(), 1000u);
  EXPECT_EQ(r.punches.back().time, t(9) + 999 * 10);
}

TEST(Calculation, ZeroWorkUnitGivesZeroUnitsInsteadOfDividingByZero) {
  AttRuleRecord rule = baseRule();
  rule.workUnitMinutes = 0;
  const Outcome r = oneDay(dayShift({punch(1, t(7, 58)), punch(1, t(17), O)}, rule));
  ASSERT_FALSE(r.periods.empty());
  EXPECT_EQ(r.periods[0].units, 0.0f);
  EXPECT_EQ(r.totals[0].scheduledUnitSeconds, 0u);
  EXPECT_EQ(r.totals[0].workedPeriods, 0);
  EXPECT_EQ(r.totals[0].workSeconds, t(17) - t(7, 58));
}

TEST(Calculation, ProgressLines) {
  const Company c = dayShift({punch(1, t(7, 58)), punch(1, t(17), O)});
  testing::internal::CaptureStdout();
  calculate(c, D, t(23, 59, 59), {1, 9});
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string d12 = "d1: " + std::to_string(D) + "\td2: " + std::to_string(t(23, 59, 59)) + "\n";
  EXPECT_EQ(out, d12 + "logcount: 2\nuser.tineszone: 1\t0\t0\t0\nafter GetEasyWorkTime User: 1\nafter prepare!\n" + d12);
}

}  // namespace
}  // namespace vxtest
