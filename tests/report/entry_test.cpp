// The report run as the exported function drives it: result codes, the user
// cursor, the files it creates, and saving downloaded data sets.
#include <gtest/gtest.h>

#include <filesystem>

#include "support.h"

namespace vxtest {
namespace {

const std::int32_t D = at(2008, 3, 3);
std::int32_t t(int hour, int minute = 0) { return D + (hour * 60 + minute) * 60; }

Company twoUsers() {
  Company c;
  c.turns = {turn(1, "Day", 8, 0, 17, 0)};
  c.departments = {DepartmentRecord{1, "Ops"}};
  c.users = {user(1, "A1", "Li", 1, {1, 0, 0, 0}), user(2, "B2", "Wang", 1, {1, 0, 0, 0})};
  c.log = {punch(1, t(7, 58)), punch(1, t(17), 1), punch(2, t(8, 30)), punch(2, t(17), 1)};
  return c;
}

ReportRequest requestFor(const Company& c, const TempDir& dir, int kind) {
  ReportRequest q = c.write(dir);
  q.start = reportTime(2008, 3, 3);
  q.end = reportTime(2008, 3, 3, 23, 59, 59);
  q.reportKind = kind;
  return q;
}

// Data rows of a kind 2 or kind 3 page (the kind 3 header row starts the same way).
std::size_t rowsOf(const std::string& page) {
  std::size_t n = page.find("<table border=1 width=100%>") != std::string::npos ? std::size_t(-1) : 0;
  for (std::size_t at = page.find("<tr>\r\n<td width=8%>"); at != std::string::npos;
       at = page.find("<tr>\r\n<td width=8%>", at + 1))
    ++n;
  return n;
}

TEST(ReportRun, AllUsersFromTheCursorAndASecondCallFindsItAtTheEnd) {
  TempDir dir;
  const Company c = twoUsers();
  const ReportRequest q = requestFor(c, dir, 3);
  const auto bytes = c.userBytes();
  UserList users{bytes, UserRecord::kSize};  // the first user was already walked past
  EXPECT_EQ(runReport(q, &users, nullptr), 1);
  EXPECT_EQ(users.cursor, bytes.size());
  const auto totals = readRecords<UserTotalsRecord>(dir.file("AttDay.dat"));
  ASSERT_EQ(totals.size(), 1u);
  EXPECT_EQ(totals[0].userNumber, 2);
  EXPECT_EQ(rowsOf(readText(q.outputFile)), 1u);

  EXPECT_EQ(runReport(q, &users, nullptr), 1);
  EXPECT_EQ(users.cursor, bytes.size());
  EXPECT_TRUE(readRecords<UserTotalsRecord>(dir.file("AttDay.dat")).empty());
  EXPECT_EQ(rowsOf(readText(q.outputFile)), 0u);

  // The punch listing reads the files directly and still lists both users.
  ReportRequest listing = q;
  listing.reportKind = 1;
  EXPECT_EQ(runReport(listing, &users, nullptr), 1);
  const std::string page = readText(listing.outputFile);
  EXPECT_NE(page.find(":A1&nbsp;"), std::string::npos);
  EXPECT_NE(page.find(":B2&nbsp;"), std::string::npos);
}

TEST(ReportRun, DownloadsUsersWhenTheConnectionHasNone) {
  TempDir dir;
  const Company c = twoUsers();
  const ReportRequest q = requestFor(c, dir, 2);
  const auto bytes = c.userBytes();
  struct Case {
    int downloadResult;
    bool giveRecords;
    int result;
  };
  for (const Case& k : {Case{1, true, 1}, Case{0, false, -2}, Case{-2, false, -2}, Case{1, false, 0}}) {
    SCOPED_TRACE(k.downloadResult);
    UserList users;
    int calls = 0;
    const int result = runReport(q, &users, [&](UserList& list) {
      ++calls;
      if (k.giveRecords) list = UserList{bytes, 0};
      return k.downloadResult;
    });
    EXPECT_EQ(result, k.result);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(readRecords<PeriodRecord>(dir.file("AttAbnormite.dat")).size(), k.result == 1 ? 4u : 0u);
    EXPECT_TRUE(std::filesystem::exists(dir.file("RecAbnormite.dat")));
  }
}

TEST(ReportRun, NullHandleAndOneUserById) {
  TempDir dir;
  const Company c = twoUsers();
  ReportRequest q = requestFor(c, dir, 2);
  EXPECT_EQ(runReport(q, nullptr, nullptr), -1);
  EXPECT_FALSE(std::filesystem::exists(q.outputFile));
  EXPECT_TRUE(std::filesystem::exists(dir.file("AttDay.dat")));  // the engine files were opened first

  q.userId = "B2";
  EXPECT_EQ(runReport(q, nullptr, nullptr), -1);
  const auto bytes = c.userBytes();
  UserList users{bytes, bytes.size()};
  EXPECT_EQ(runReport(q, &users, nullptr), 1);
  const auto periods = readRecords<PeriodRecord>(dir.file("AttAbnormite.dat"));
  ASSERT_EQ(periods.size(), 2u);
  EXPECT_EQ(periods[0].userNumber, 2);
  EXPECT_EQ(periods[0].lateSeconds, 1800);
  EXPECT_EQ(users.cursor, bytes.size());  // not moved by a single-user run

  q.userId = "C3";
  std::filesystem::remove(q.outputFile);
  EXPECT_EQ(runReport(q, &users, nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(q.outputFile));
}

TEST(ReportRun, KindFourCalculatesButWritesNoPage) {
  TempDir dir;
  const Company c = twoUsers();
  const ReportRequest q = requestFor(c, dir, 4);
  writeBytes(q.outputFile, {'k', 'e', 'e', 'p'});
  const auto bytes = c.userBytes();
  UserList users{bytes, 0};
  testing::internal::CaptureStdout();
  const int result = runReport(q, &users, nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(readText(q.outputFile), "keep");
  EXPECT_EQ(readRecords<UserTotalsRecord>(dir.file("AttDay.dat")).size(), 2u);
  EXPECT_EQ(out.substr(out.size() - 17), "maybe I finish it");
}

TEST(ReportRun, WorkDirectoryIsAPlainPrefixAndMissingInputsReadAsEmpty) {
  TempDir dir;
  Company c = twoUsers();
  ReportRequest q = requestFor(c, dir, 3);
  q.workDirectory = dir.file("run");  // no trailing separator
  q.shiftFile = dir.file("missing-turns.dat");
  std::filesystem::remove(q.shiftFile);
  const auto bytes = c.userBytes();
  UserList users{bytes, 0};
  EXPECT_EQ(runReport(q, &users, nullptr), 1);
  for (const char* name : {"runRecAbnormite.dat", "runattexception.dat", "runAttAbnormite.dat", "runAttDay.dat"})
    EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
  // No shifts: every punch is extra and each user still gets an all-zero total.
  EXPECT_EQ(readRecords<UserTotalsRecord>(dir.file("runAttDay.dat")).size(), 2u);
  EXPECT_EQ(readRecords<PunchRecord>(dir.file("runRecAbnormite.dat")).size(), 4u);
}

TEST(ReportRun, OverlongWorkPathsAreNotCreated) {
  TempDir dir;
  const Company c = twoUsers();
  ReportRequest q = requestFor(c, dir, 2);
  q.workDirectory = dir.prefix() + std::string(1100, 'x');
  const auto bytes = c.userBytes();
  UserList users{bytes, 0};
  EXPECT_EQ(runReport(q, &users, nullptr), 1);
  EXPECT_EQ(rowsOf(readText(q.outputFile)), 0u);
}

TEST(ReportRun, StartOn31FebruaryIsAccepted) {
  TempDir dir;
  Company c = twoUsers();
  c.log = {punch(1, at(2008, 2, 31, 7, 58)), punch(1, at(2008, 2, 31, 17), 1)};
  ReportRequest q = requestFor(c, dir, 2);
  q.start = reportTime(2008, 2, 31);
  q.end = reportTime(2008, 2, 31, 23, 59, 59);
  const auto bytes = c.userBytes();
  UserList users{bytes, 0};
  EXPECT_EQ(runReport(q, &users, nullptr), 1);
  EXPECT_NE(readText(q.outputFile).find("<td width=8%>02-31</td>"), std::string::npos);
}

TEST(SaveDataSet, ResultsByKindAndData) {
  TempDir dir;
  const std::vector<std::uint8_t> data{1, 0x0A, 0x0D, 0x1A, 0};
  const std::string file = dir.file("saved.dat");
  writeBytes(file, std::vector<std::uint8_t>(100, 7));
  EXPECT_EQ(saveDataSet(file, data, 3), 1);
  EXPECT_EQ(readBytes(file), data);  // replaced whole, raw bytes
  EXPECT_EQ(saveDataSet(file, {}, 1), 0);
  EXPECT_EQ(saveDataSet(file, data, 0), 0);
  EXPECT_EQ(saveDataSet(file, data, 6), 0);
  EXPECT_EQ(saveDataSet(dir.file("no/such/folder/x.dat"), data, 1), -2);
  EXPECT_EQ(readBytes(file), data);
}

}  // namespace
}  // namespace vxtest
