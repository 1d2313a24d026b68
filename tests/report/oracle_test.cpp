// The indexed engine against the rescanning reference on generated companies:
// the four work files and every page must be byte-identical.
#include <gtest/gtest.h>

#include <random>

#include "oracle.h"
#include "support.h"

namespace vxtest {
namespace {

const char* const kWorkFiles[] = {"RecAbnormite.dat", "attexception.dat", "AttAbnormite.dat", "AttDay.dat"};

// Runs both implementations for each report kind and compares every output.
void expectSameOutputs(const Company& c, ReportRequest base, std::vector<std::uint8_t> users) {
  TempDir inputs, engine, reference;
  ReportRequest q = c.write(inputs);
  q.start = base.start;
  q.end = base.end;
  q.label = base.label;
  for (int kind = 1; kind <= 3; ++kind) {
    SCOPED_TRACE(kind);
    q.reportKind = kind;
    ReportRequest e = q, r = q;
    e.workDirectory = engine.prefix();
    e.outputFile = engine.file("page.html");
    r.workDirectory = reference.prefix();
    r.outputFile = reference.file("page.html");
    UserList list{users, 0};
    testing::internal::CaptureStdout();
    const int result = runReport(e, &list, nullptr);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, users.empty() ? -2 : 1);
    if (users.empty()) return;
    oracleRun(r, users);
    for (const char* name : kWorkFiles) {
      const auto mine = readBytes(engine.file(name)), theirs = readBytes(reference.file(name));
      EXPECT_EQ(mine.size(), theirs.size()) << name;
      EXPECT_TRUE(mine == theirs) << name;
    }
    const std::string mine = readText(e.outputFile), theirs = readText(r.outputFile);
    EXPECT_EQ(mine.size(), theirs.size());
    EXPECT_TRUE(mine == theirs);
  }
}

ReportRequest period(ReportTime start, ReportTime end) {
  ReportRequest q;
  q.start = start;
  q.end = end;
  q.label = gb("员工");
  return q;
}

TEST(AgainstReference, GeneratedCompaniesUnderVariedRules) {
  struct Variant {
    const char* what;
    void (*apply)(AttRuleRecord&);
  };
  const Variant variants[] = {
      {"generated rule", [](AttRuleRecord&) {}},
      {"no cross-midnight, no spacing", [](AttRuleRecord& r) { r.crossMidnight = 0, r.minPunchGapMinutes = 0; }},
      {"rule A type 0 and rule B", [](AttRuleRecord& r) { r.exceptionRuleA = 2, r.exceptionRuleB = 2; }},
      {"grace and absence off, odd units", [](AttRuleRecord& r) {
         r.graceMinutes = 0, r.lateAsAbsent = 0, r.earlyAsAbsent = 0, r.workUnitMinutes = 45;
         r.scheduleUnit = 1, r.lateUnit = 5, r.earlyUnit = 3, r.absentUnit = 0;
       }},
  };
  std::uint32_t seed = 11;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.what);
    Company c = generateCompany(seed++, 40, 60, 31);
    v.apply(c.rule);
    expectSameOutputs(c, period(reportTime(2008, 3, 1), reportTime(2008, 3, 31, 23, 59, 59)), c.userBytes());
  }
}

TEST(AgainstReference, OddPeriodsAndUserLists) {
  Company c = generateCompany(7, 30, 50, 31);
  // Noon start puts periods across midnight; a 40-day period; one day ending at 00:00.
  expectSameOutputs(c, period(reportTime(2008, 3, 1, 12), reportTime(2008, 3, 20, 12)), c.userBytes());
  expectSameOutputs(c, period(reportTime(2008, 3, 1), reportTime(2008, 4, 9, 23, 59, 59)), c.userBytes());
  expectSameOutputs(c, period(reportTime(2008, 3, 5), reportTime(2008, 3, 5)), c.userBytes());
  // Users calculated twice see the exceptions of their first pass; number 0 takes every punch.
  std::vector<std::uint8_t> users = c.userBytes();
  const auto again = c.userBytes();
  users.insert(users.end(), again.begin(), again.begin() + 10 * 72);
  const auto zero = encodeRecord(user(0, "", "", 0, {1, 0, 0, 0}));
  users.insert(users.end(), zero.begin(), zero.end());
  c.users.push_back(user(3, "dup", "Dup", 1, {2, 0, 0, 0}));  // a second record of number 3 is never found
  expectSameOutputs(c, period(reportTime(2008, 3, 1), reportTime(2008, 3, 31, 23, 59, 59)), users);
}

TEST(AgainstReference, HostileInputFilesNeitherCrashNorDiverge) {
  std::mt19937 rng(5);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    Company c = generateCompany(100 + round, 12, 30, 10);
    // Random shift hours and minutes beyond the day, random rule fields and user slots.
    for (auto& t : c.turns) {
      t.startHour = static_cast<std::uint8_t>(rng());
      t.endMinute = static_cast<std::uint8_t>(rng());
    }
    for (auto& u : c.users) u.shifts[rng() % 4] = static_cast<std::uint16_t>(rng() % 9);
    c.rule.minPunchGapMinutes = static_cast<std::int32_t>(rng());
    c.rule.graceMinutes = static_cast<std::int32_t>(rng() % 200) - 100;
    c.rule.lateAbsentMinutes = static_cast<std::int32_t>(rng());
    c.rule.exceptionLimitMinutes = static_cast<std::int32_t>(rng() % 2000);
    c.rule.workUnitMinutes = rng() % 3 == 0 ? 0 : static_cast<std::uint32_t>(rng());
    c.rule.exceptionRuleB = 1;
    c.rule.scheduleUnit = static_cast<std::int32_t>(rng());
    c.log.push_back(punch(1, NoMoreTime));
    c.log.push_back(punch(1, -5));
    TempDir dir;
    expectSameOutputs(c, period(reportTime(2008, 3, 1), reportTime(2008, 3, 10, 23, 59, 59)), c.userBytes());
  }
}

TEST(AgainstReference, TruncatedAndGarbageFiles) {
  TempDir dir;
  Company c = generateCompany(3, 10, 20, 5);
  ReportRequest q = c.write(dir);
  std::mt19937 rng(9);
  for (const std::string& f : {q.logFile, q.userFile, q.shiftFile, q.departmentFile, q.ruleFile}) {
    auto bytes = readBytes(f);
    bytes.resize(bytes.size() * 2 / 3 + 1);  // a partial record at the end
    for (std::size_t i = 0; i < bytes.size(); i += 7) bytes[i] = static_cast<std::uint8_t>(rng());
    writeBytes(f, bytes);
  }
  const auto users = readBytes(q.userFile);
  for (int kind = 1; kind <= 3; ++kind) {
    TempDir a, b;
    ReportRequest e = q, r = q;
    e.reportKind = r.reportKind = kind;
    e.workDirectory = a.prefix();
    e.outputFile = a.file("p.html");
    r.workDirectory = b.prefix();
    r.outputFile = b.file("p.html");
    UserList list{users, 0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(runReport(e, &list, nullptr), 1);
    testing::internal::GetCapturedStdout();
    oracleRun(r, users);
    for (const char* name : kWorkFiles) EXPECT_TRUE(readBytes(a.file(name)) == readBytes(b.file(name))) << name;
    EXPECT_TRUE(readText(e.outputFile) == readText(r.outputFile)) << kind;
  }
}

}  // namespace
}  // namespace vxtest
