// Report data downloads, saving downloaded data sets, and the exported report
// run against the simulated terminal, ending with a whole month of a company.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sdk_fixture.h"
#include "sim/model_report.h"
#include "vxsdk/api/devicetime.h"
#include "vxsdk/report/records.h"

namespace {
using vxsim::Bytes;
using vxsdk::ViewKind;
namespace fs = std::filesystem;

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

Bytes readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
std::string readText(const fs::path& p) {
  const Bytes b = readFile(p);
  return std::string(b.begin(), b.end());
}

class ReportTest : public sdktest::SdkTest {
 protected:
  void SetUp() override {
    SdkTest::SetUp();
    std::string tmpl = (fs::temp_directory_path() / "vxreport-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    SdkTest::TearDown();
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string file(const char* name) const { return (dir / name).string(); }
  std::string prefix() const { return dir.string() + "/"; }

  // Saves the company's five data sets the way an application does: each
  // download followed at once by its save.
  void downloadAndSave(const vxsim::SampleCompany& company) {
    vxsim::installSampleCompany(sim, company);
    ASSERT_EQ(VX_ReadLog(handle, 1), 1);
    ASSERT_EQ(VX_SSR_SaveDate(handle, file("log.dat").c_str(), 1), 1);
    ASSERT_EQ(VX_ReadUserInfo(handle), 1);
    ASSERT_EQ(VX_SSR_SaveDate(handle, file("user.dat").c_str(), 2), 1);
    ASSERT_EQ(VX_SSR_ReadDPT(handle), 1);
    ASSERT_EQ(VX_SSR_SaveDate(handle, file("dept.dat").c_str(), 4), 1);
    ASSERT_EQ(VX_SSR_ReadTurn(handle), 1);
    ASSERT_EQ(VX_SSR_SaveDate(handle, file("turn.dat").c_str(), 5), 1);
    ASSERT_EQ(VX_SSR_ReadAttRule(handle), 1);
    ASSERT_EQ(VX_SSR_SaveDate(handle, file("rule.dat").c_str(), 3), 1);
  }

  // A report over the saved files for March 2008 (the month the company's punches cover).
  int report(void* h, const char* userId, int kind, const char* output = "report.html") {
    return VX_SSR_OutPutHtml(h, userId, file("log.dat").c_str(), file("user.dat").c_str(), file("dept.dat").c_str(),
                             file("turn.dat").c_str(), 2008, 3, 1, 0, 0, 0, 2008, 3, 31, 23, 59, 59,
                             file(output).c_str(), prefix().c_str(), file("rule.dat").c_str(), kind, "Punches");
  }
  std::size_t periods() const { return fs::file_size(dir / "AttAbnormite.dat") / vxreport::PeriodRecord::kSize; }
  std::size_t totals() const { return fs::file_size(dir / "AttDay.dat") / vxreport::UserTotalsRecord::kSize; }

  fs::path dir;
};

struct ReportSet {
  const char* name;
  int (*download)(void*);
  std::uint16_t command;
  int kind;
  ViewKind view;
  std::size_t bytes;
};
const ReportSet kSets[] = {
    {"rules", VX_SSR_ReadAttRule, CMD_ATTRULE_RRQ, 3, ViewKind::AttRule, 136},
    {"departments", VX_SSR_ReadDPT, CMD_DEPT_RRQ, 4, ViewKind::Department, 36 * 5},
    // Larger than one data packet, so it arrives in several blocks.
    {"shifts", VX_SSR_ReadTurn, CMD_TURN_RRQ, 5, ViewKind::Shift, 20 * 300},
};

TEST_F(ReportTest, EachDownloadSetsItsViewAndSavesExactlyWhatTheTerminalServed) {
  for (const ReportSet& s : kSets) {
    SCOPED_TRACE(s.name);
    const Bytes records = pattern(s.bytes, static_cast<std::uint8_t>(s.kind));
    sim.setDataSet(s.command, {}, vxsim::withByteCount(records));
    ASSERT_EQ(s.download(handle), 1);
    const vxsdk::View& v = conn().view(s.view);
    EXPECT_EQ(v.start, 4u);
    EXPECT_EQ(v.cursor, 4u);
    EXPECT_EQ(v.length, static_cast<std::int32_t>(s.bytes));
    ASSERT_EQ(VX_SSR_SaveDate(handle, file(s.name).c_str(), s.kind), 1);
    EXPECT_EQ(readFile(file(s.name)), records);
  }
}

TEST_F(ReportTest, ADownloadEmptiesTheViewsItOverwritesAndLeavesTheUsers) {
  sim.setDataSet(CMD_ATTRULE_RRQ, {}, vxsim::withByteCount(pattern(136, 1)));
  sim.setDataSet(CMD_DEPT_RRQ, {}, vxsim::withByteCount(pattern(72, 2)));
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, vxsim::withByteCount(pattern(80, 3)));
  sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5}, vxsim::withByteCount(pattern(144, 4)));
  ASSERT_EQ(VX_ReadUserInfo(handle), 1);
  ASSERT_EQ(VX_ReadLog(handle, 0), 1);
  ASSERT_EQ(VX_SSR_ReadAttRule(handle), 1);
  ASSERT_EQ(VX_SSR_ReadDPT(handle), 1);
  // The rules and the log now lie under the departments: nothing of them is
  // left to save, rather than department bytes under their names.
  EXPECT_EQ(VX_SSR_SaveDate(handle, file("rule.dat").c_str(), 3), 0);
  EXPECT_EQ(VX_SSR_SaveDate(handle, file("log.dat").c_str(), 1), 0);
  EXPECT_FALSE(fs::exists(file("rule.dat")));
  EXPECT_EQ(VX_SSR_SaveDate(handle, file("dept.dat").c_str(), 4), 1);
  EXPECT_EQ(readFile(file("dept.dat")), pattern(72, 2));
  EXPECT_EQ(VX_SSR_SaveDate(handle, file("user.dat").c_str(), 2), 1);
  EXPECT_EQ(readFile(file("user.dat")), pattern(144, 4));
}

TEST_F(ReportTest, DownloadResultsForNoDataFailureAndNullHandle) {
  sim.setDataSet(CMD_DEPT_RRQ, {}, vxsim::withByteCount(pattern(36, 9)));
  ASSERT_EQ(VX_SSR_ReadDPT(handle), 1);
  for (const ReportSet& s : kSets) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(s.download(nullptr), -1);
    if (s.command == CMD_DEPT_RRQ) continue;
    EXPECT_EQ(s.download(handle), 0) << "a terminal without the data answers that it has none";
    sim.setReply(s.command, {CMD_ACK_UNKNOWN, 0, {}}, vxsim::kAlways);
    EXPECT_EQ(s.download(handle), -2);
    sim.clearScripts();
  }
  // Neither an empty answer nor a failure touched the departments.
  EXPECT_EQ(conn().reportViews[1].length, 36);
  EXPECT_EQ(VX_SSR_SaveDate(handle, file("dept.dat").c_str(), 4), 1);
  EXPECT_EQ(readFile(file("dept.dat")), pattern(36, 9));
}

TEST_F(ReportTest, SaveWritesLogsAndUsersFromTheirCursorAndRefusesWhatItCannotSave) {
  // Nothing downloaded yet: every kind has nothing to save, unknown kinds never do.
  for (int kind : {0, 1, 2, 3, 4, 5, 6, -1}) EXPECT_EQ(VX_SSR_SaveDate(handle, file("x.dat").c_str(), kind), 0);
  EXPECT_FALSE(fs::exists(file("x.dat")));
  EXPECT_EQ(VX_SSR_SaveDate(nullptr, file("x.dat").c_str(), 1), -1);

  const Bytes log = pattern(400, 5), users = pattern(720, 6);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, vxsim::withByteCount(log));
  sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5}, vxsim::withByteCount(users));
  ASSERT_EQ(VX_ReadLog(handle, 0), 1);
  ASSERT_EQ(VX_ReadUserInfo(handle), 1);

  // A file that exists is replaced, not appended to.
  { std::ofstream(file("log.dat"), std::ios::binary) << std::string(1000, 'x'); }
  ASSERT_EQ(VX_SSR_SaveDate(handle, file("log.dat").c_str(), 1), 1);
  EXPECT_EQ(readFile(file("log.dat")), log);
  ASSERT_EQ(VX_SSR_SaveDate(handle, file("user.dat").c_str(), 2), 1);
  EXPECT_EQ(readFile(file("user.dat")), users);

  // Records already handed out are not saved again, and nothing beyond the view is.
  conn().attLogView.cursor += 40 * 3;
  conn().userView.cursor += 72;
  ASSERT_EQ(VX_SSR_SaveDate(handle, file("log.dat").c_str(), 1), 1);
  EXPECT_EQ(readFile(file("log.dat")), Bytes(log.begin() + 120, log.end()));
  ASSERT_EQ(VX_SSR_SaveDate(handle, file("user.dat").c_str(), 2), 1);
  EXPECT_EQ(readFile(file("user.dat")), Bytes(users.begin() + 72, users.end()));

  EXPECT_EQ(VX_SSR_SaveDate(handle, file("missing/log.dat").c_str(), 1), -2);
  EXPECT_EQ(VX_SSR_SaveDate(handle, "", 1), -2);
  EXPECT_EQ(VX_SSR_SaveDate(handle, nullptr, 1), -2);
}

TEST_F(ReportTest, AllUsersResultsNullHandleNoUsersAndFailedDownload) {
  const auto company = vxsim::buildSampleCompany();
  downloadAndSave(company);
  const char* workFiles[] = {"RecAbnormite.dat", "attexception.dat", "AttAbnormite.dat", "AttDay.dat"};

  EXPECT_EQ(report(nullptr, "", 3), -1);
  for (const char* w : workFiles) {
    ASSERT_TRUE(fs::exists(dir / w)) << w;
    EXPECT_EQ(fs::file_size(dir / w), 0u) << w;
  }
  EXPECT_FALSE(fs::exists(file("report.html")));

  // The user view is emptied, so the run downloads the users itself.
  conn().userView.reset();
  sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5}, vxsim::withByteCount({}));
  EXPECT_EQ(report(handle, "", 3), 0) << "the terminal has no users";
  EXPECT_EQ(periods(), 0u);

  sim.clearDataSets();  // the user download now fails
  EXPECT_EQ(report(handle, "", 3), -2);
  EXPECT_FALSE(fs::exists(file("report.html")));
}

TEST_F(ReportTest, AllUsersRunWalksFromTheCursorAndASecondRunFindsNoneLeft) {
  const auto company = vxsim::buildSampleCompany();
  downloadAndSave(company);
  // Start behind the first user: the walk begins at the cursor.
  conn().userView.cursor = conn().userView.start + 72;
  ASSERT_EQ(report(handle, "", 3, "first.html"), 1);
  EXPECT_EQ(conn().userView.cursor, conn().userView.start + company.users.size());
  EXPECT_EQ(totals(), company.people.size() - 1);

  ASSERT_EQ(report(handle, "", 3, "second.html"), 1);
  EXPECT_EQ(totals(), 0u);
  EXPECT_EQ(periods(), 0u);
  // The punch listing still shows every user of the user file with punches.
  ASSERT_EQ(report(handle, "", 1, "listing.html"), 1);
  const std::string listing = readText(file("listing.html"));
  for (const auto& p : company.people) EXPECT_NE(listing.find(p.userId), std::string::npos) << p.userId;
}

TEST_F(ReportTest, OneUserByIdAndAnUnknownId) {
  const auto company = vxsim::buildSampleCompany();
  downloadAndSave(company);
  const std::size_t cursor = conn().userView.cursor;
  ASSERT_EQ(report(handle, "1003", 3), 1);
  EXPECT_EQ(totals(), 1u);
  const Bytes totalsBytes = readFile(dir / "AttDay.dat");
  const auto t = vxreport::UserTotalsRecord::decode(std::span<const std::uint8_t, 104>(totalsBytes.data(), 104));
  EXPECT_EQ(t.userNumber, 3);
  EXPECT_EQ(conn().userView.cursor, cursor) << "a run for one user leaves the cursor";
  EXPECT_EQ(report(handle, "9999", 3), 0);
  EXPECT_EQ(totals(), 0u);
}

TEST_F(ReportTest, ReportKindFourCalculatesButWritesNoPage) {
  const auto company = vxsim::buildSampleCompany();
  downloadAndSave(company);
  testing::internal::CaptureStdout();
  const int result = report(handle, "", 4);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 1);
  EXPECT_NE(out.find("maybe I finish it"), std::string::npos);
  EXPECT_FALSE(fs::exists(file("report.html")));
  EXPECT_EQ(totals(), company.people.size());
  EXPECT_GT(periods(), 0u);
}

TEST_F(ReportTest, SampleCompanyFromTheTerminalToThreeReports) {
  const auto company = vxsim::buildSampleCompany();
  downloadAndSave(company);
  // The saved files are the terminal's records, byte for byte.
  EXPECT_EQ(readFile(file("log.dat")), company.attLog);
  EXPECT_EQ(readFile(file("user.dat")), company.users);
  EXPECT_EQ(readFile(file("dept.dat")), company.report.departments);
  EXPECT_EQ(readFile(file("turn.dat")), company.report.shifts);
  EXPECT_EQ(readFile(file("rule.dat")), company.report.rule);

  const char* pages[] = {"", "punches.html", "exceptions.html", "totals.html"};
  for (int kind = 1; kind <= 3; ++kind) {
    SCOPED_TRACE(kind);
    conn().userView.cursor = conn().userView.start;  // every run covers every user
    ASSERT_EQ(report(handle, "", kind, pages[kind]), 1);
    const std::string page = readText(file(pages[kind]));
    ASSERT_FALSE(page.empty());
    for (const auto& p : company.people) {
      EXPECT_NE(page.find(p.userId), std::string::npos) << p.userId;
      EXPECT_NE(page.find(p.name), std::string::npos) << p.name;
    }
  }
  // The month holds lateness, early leave, absence and exception pairs.
  vxreport::UserTotalsRecord sum;
  const Bytes bytes = readFile(dir / "AttDay.dat");
  for (std::size_t at = 0; at + 104 <= bytes.size(); at += 104) {
    const auto t = vxreport::UserTotalsRecord::decode(std::span<const std::uint8_t, 104>(bytes.data() + at, 104));
    sum.lateCount += t.lateCount;
    sum.earlyCount += t.earlyCount;
    sum.absentCount += t.absentCount;
    sum.exception1Count += t.exception1Count;
  }
  EXPECT_GT(sum.lateCount, 0);
  EXPECT_GT(sum.earlyCount, 0);
  EXPECT_GT(sum.absentCount, 0);
  EXPECT_GT(sum.exception1Count, 0);
}
}  // namespace
