// The three report pages, byte for byte, on small hand-built inputs. Expected
// labels are converted from UTF-8 with iconv here, never pasted as bytes.
#include <gtest/gtest.h>

#include "support.h"
#include "vxsdk/report/html.h"
#include "vxsdk/report/inputs.h"

namespace vxtest {
namespace {

const std::int32_t D = at(2008, 3, 3);
std::int32_t t(int hour, int minute = 0, int second = 0) { return D + (hour * 60 + minute) * 60 + second; }

// Renders one page from the company's inputs and the given work records.
struct Render {
  Company company;
  std::vector<PeriodRecord> periods;
  std::vector<UserTotalsRecord> totals;
  std::int32_t start = D, end = D + 86399;

  std::string page(int kind, const std::string& label = "") const {
    TempDir dir;
    const ReportRequest q = company.write(dir);
    EngineFiles files =
        openEngineFiles(EnginePaths{q.workDirectory, q.ruleFile, q.logFile, q.userFile, q.departmentFile, q.shiftFile});
    for (const auto& r : periods) files.periods.appendRecord(r);
    for (const auto& r : totals) files.totals.appendRecord(r);
    InputIndex inputs;
    inputs.load(files);
    const ReportContext context{inputs, company.rule, start, end};
    File out = createEmpty(dir.file("page.html"));
    bool ok = false;
    if (kind == 1) ok = writePunchListing(out.get(), context, label);
    if (kind == 2) ok = writeExceptionReport(out.get(), context, files.periods);
    if (kind == 3) ok = writeStatisticsReport(out.get(), context, files.totals);
    EXPECT_TRUE(ok);
    out.close();
    return readText(dir.file("page.html"));
  }
};

std::string head(const std::string& title, const std::string& heading) {
  return "<html>\r\n<head>\r\n<meta http-equiv=Content-Type content=text/html; charset=gb2312>\r\n<title>" + title +
         "</title>\r\n</head>\r\n<body>\r\n<p align=center>" + heading + "</p>\r\n";
}

std::string periodLines(const std::string& title, const std::string& from, const std::string& to) {
  return "<p align=left>" + title + "</p>\r\n<p align=left>" + gb("日期") + ":" + from + "&nbsp;" + gb("至") + "&nbsp;" +
         to + "</p>\r\n";
}

Company smallCompany() {
  Company c;
  c.rule.title = gb("考勤规则");
  c.departments = {DepartmentRecord{1, gb("销售部")}};
  c.turns = {turn(1, gb("白班"), 8, 0, 17, 0)};
  c.users = {user(1, "12", gb("李四"), 1, {1, 0, 0, 0}), user(2, "ABCDEFG", "R&D <x>", 7, {1, 0, 0, 0})};
  return c;
}

PeriodRecord period(std::int32_t user, std::int32_t day, std::int32_t in, std::int32_t out) {
  PeriodRecord r;
  r.userNumber = user;
  r.shift = 1;
  r.day = day;
  r.scheduledStart = t(8);
  r.scheduledEnd = t(17);
  r.checkIn = in;
  r.checkOut = out;
  return r;
}

TEST(ExceptionPage, WholePage) {
  Render r;
  r.company = smallCompany();
  r.company.rule.lateUnit = 1;
  r.company.rule.earlyUnit = 0;
  PeriodRecord late = period(1, D, t(8, 1, 30), t(16, 59));
  late.lateSeconds = 90;
  late.earlySeconds = 60;
  late.workSeconds = 7 * 3600 + 3599;
  PeriodRecord absent = period(2, D + 86400, 0, 0);
  absent.absent = 2;
  absent.shift = 9;  // not in the shift file
  absent.scheduledStart = D;  // 00:00 shows as &nbsp
  r.periods = {late, absent};

  const std::string space = gb("　");
  std::string want = head(gb("考勤异常"), gb("考勤异常")) + periodLines(gb("考勤规则"), "03-03", "03-03") +
                     "<table border=1 width=98%>\r\n<tr>\r\n";
  const std::pair<const char*, const char*> header[] = {
      {" <td width=8% rowspan=2>", "日期"},     {" <td width=8% rowspan=2>", "工号"},
      {" <td width=8% rowspan=2>", "姓名"},     {" <td width=8% rowspan=2>", "部门"},
      {" <td width=8% rowspan=2>", "班次"},     {" <td width=11%>", "上班时间"},
      {" <td width=11%>", "签到时间"},          {" <td width=12% rowspan=2>", "异常"},
      {" <td width=8% rowspan=2>", "工作时长"}, {" <td width=3% rowspan=2>", "加班 "},
      {" <td width=7% rowspan=2>", "请假"},     {" <td width=9% rowspan=2>", "其它"}};
  for (auto [open, label] : header) want += open + gb(label) + "</td>\r\n";
  want += "</tr>\r\n<tr>\r\n <td width=11%>" + gb("上班时间") + "</td>\r\n <td width=11%>" + gb("签到时间") +
          "</td>\r\n</tr>\r\n";
  const std::string tail = "<td width=7%>" + space + "</td>\r\n<td width=7%>" + space + "</td>\r\n<td width=9%>" +
                           space + "</td>\r\n</tr>\r\n";
  want += "<tr>\r\n<td width=8%>03-03</td>\r\n<td width=8%>00012</td>\r\n<td width=8%>" + gb("李四") +
          "</td>\r\n<td width=8%>" + gb("销售部") + "</td>\r\n<td width=8%>" + gb("白班") +
          "</td>\r\n<td width=11%>08:00\r\n<p>17:00</td>\r\n<td width=11%>08:01\r\n<p>16:59</td>\r\n"
          "<td width=12%>" + gb("迟到") + "(1" + gb("分钟") + ")\r\n<p>" + gb("早退") + "(60" + gb("次") +
          ")</td>\r\n<td width=8%>7</td>\r\n" + tail;
  want += "<tr>\r\n<td width=8%>03-04</td>\r\n<td width=8%>ABCDEFG</td>\r\n<td width=8%>R&amp;D &lt;x&gt;</td>\r\n"
          "<td width=8%>&nbsp</td>\r\n<td width=8%>" + gb("未设定") +
          "</td>\r\n<td width=11%>&nbsp\r\n<p>17:00</td>\r\n<td width=11%>&nbsp\r\n<p>&nbsp\r\n</td>\r\n"
          "<td width=12%>" + gb("旷工") + "</td>\r\n<td width=8%>0</td>\r\n" + tail;
  want += "</table>\r\n</body>\r\n</html>\r\n";
  EXPECT_EQ(r.page(2), want);
}

TEST(ExceptionPage, LateAndEarlyCells) {
  struct Case {
    std::int32_t lateUnit, late, earlyUnit, early;
    std::string cell;
  };
  const Case cases[] = {
      {1, 90, 1, 0, gb("迟到") + "(1" + gb("分钟") + ")\r\n<p>&nbsp</td>\r\n"},
      {0, 90, 0, 0, gb("迟到") + "(90" + gb("次") + ")\r\n<p>&nbsp</td>\r\n"},
      {1, 59, 2, 7200, "&nbsp\r\n<p>" + gb("早退") + "(2" + gb("小时") + ")</td>\r\n"},
      {3, 86400, 3, 86399, gb("迟到") + "(1" + gb("天") + ")\r\n<p>&nbsp</td>\r\n"},
      {9, 30, -1, 5, gb("迟到") + "(30" + gb("次") + ")\r\n<p>" + gb("早退") + "(5" + gb("次") + ")</td>\r\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.lateUnit);
    Render r;
  r.company = smallCompany();
    r.company.rule.lateUnit = k.lateUnit;
    r.company.rule.earlyUnit = k.earlyUnit;
    PeriodRecord p = period(1, D, t(8), t(17));
    p.lateSeconds = k.late;
    p.earlySeconds = k.early;
    r.periods = {p};
    EXPECT_NE(r.page(2).find("<td width=12%>" + k.cell), std::string::npos);
  }
}

TEST(StatisticsPage, WholePage) {
  Render r;
  r.company = smallCompany();
  r.company.rule.scheduleUnit = 2;
  r.company.rule.lateUnit = 0;
  r.company.rule.earlyUnit = 1;
  r.company.rule.absentUnit = 3;
  UserTotalsRecord u;
  u.userNumber = 1;
  u.scheduledSeconds = 2 * 9 * 3600;
  u.attendedSeconds = 9 * 3600 + 1800;
  u.lateCount = 3;
  u.lateSeconds = 4000;
  u.earlyCount = 1;
  u.earlySeconds = 150;
  u.absentCount = 1;
  u.absentSeconds = 9 * 3600;
  u.workSeconds = 8 * 3600 + 3599;
  UserTotalsRecord unknown;  // a user without periods: its number stays 0
  r.totals = {u, unknown};

  std::string want = head(gb("考勤统计"), gb("考勤统计")) + periodLines(gb("考勤规则"), "03-03", "03-03") +
                     "<table border=1 width=100%>\r\n<tr>\r\n";
  const std::pair<int, const char*> header[] = {{8, "工号"}, {8, "姓名"}, {8, "部门"},     {8, "应到"},
                                                {8, "实到"}, {8, "迟到"}, {8, "早退"},     {8, "旷工"},
                                                {9, "工作时长"}, {8, "请假"}, {9, "加班"}, {9, "其它"}};
  for (auto [width, label] : header) want += "<td width=" + std::to_string(width) + "%>" + gb(label) + "</td>\r\n";
  want += "</tr>\r\n";
  auto row = [](std::vector<std::string> cells) {
    std::string s = "<tr>\r\n";
    for (std::size_t i = 0; i < cells.size(); ++i)
      s += std::string(i >= 10 ? "<td width=9%>" : "<td width=8%>") + cells[i] + "</td>\r\n";
    return s + "</tr>\r\n";
  };
  const std::string hours = gb("小时"), count = gb("次"), minutes = gb("分钟"), days = gb("天");
  want += row({"00012", gb("李四"), gb("销售部"), "18(" + hours + ")", "9(" + hours + ")", "3(" + count + ")",
               "2(" + minutes + ")", "0(" + days + ")", "8", "&nbsp", "&nbsp", "&nbsp"});
  want += row({"&nbsp", "&nbsp", "&nbsp", "0(" + hours + ")", "0(" + hours + ")", "0(" + count + ")",
               "0(" + minutes + ")", "0(" + days + ")", "0", "&nbsp", "&nbsp", "&nbsp"});
  want += "</table>\r\n</body>\r\n</html>\r\n";
  EXPECT_EQ(r.page(3), want);
}

TEST(StatisticsPage, CountUnitShowsPeriodsOtherUnitsShowTime) {
  struct Case {
    std::int32_t unit;
    std::string cell;
  };
  for (const Case& k : {Case{0, "2(" + gb("次") + ")"}, Case{1, "1(" + gb("分钟") + ")"},
                        Case{7, "2(" + gb("次") + ")"}}) {
    SCOPED_TRACE(k.unit);
    Render r;
  r.company = smallCompany();
    r.company.rule.lateUnit = k.unit;
    UserTotalsRecord u;
    u.userNumber = 1;
    u.lateCount = 2;
    u.lateSeconds = 90;
    r.totals = {u};
    EXPECT_NE(r.page(3).find("<td width=8%>" + k.cell + "</td>\r\n<td width=8%>0("), std::string::npos);
  }
}

std::string numberCells(int from, int to) {
  std::string s;
  char buf[64];
  for (int n = from; n <= to; ++n) {
    std::snprintf(buf, sizeof buf, "<td width=6%% height=32 align=center>%02d</td>", n);
    s += buf;
  }
  return s;
}

std::string dayCell(const std::vector<std::string>& clocks) {
  std::string s = "<td width=6% height=1 align=center>\r\n<table border=0 cellpadding=0 cellspacing=0 width=59%>\r\n";
  for (const auto& c : clocks) s += "<tr>\r\n<td width=100% align=left>" + c + "</td>\r\n</tr>\r\n";
  if (clocks.empty()) s += "<tr>\r\n<td width=100% align=left>&nbsp;</td>\r\n</tr>\r\n";
  return s + "</table>\r\n</td>\r\n";
}

TEST(PunchListingPage, WholePage) {
  Render r;
  r.company = smallCompany();
  r.company.users.push_back(user(3, "3", "Idle", 1, {0, 0, 0, 0}));  // no punches: no block
  r.company.log = {punch(1, t(17, 2), 1), punch(1, t(7, 58)), punch(1, t(24 + 9)), punch(3, t(72)),
                   punch(1, 0)};
  r.start = D;
  r.end = D + 2 * 86400;  // three days, 00:00 of the last
  const std::string label = gb("员工");
  std::string want = head(label, gb("流水纪录")) + "<p align=left>" + label + ":</p>\r\n<p>" + gb("　") + "</p>\r\n";
  want += "<table border=1 width=102% height=1 cellspacing=1 cellpadding=0>\r\n<tr>\r\n"
          "<td width=100% height=32 align=center colspan=16>\r\n<p align = left>" +
          label + ":12&nbsp;&nbsp;" + label + ":" + gb("李四") + "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;" + label + ":" +
          gb("销售部") + "</p>\r\n</td>\r\n</tr>\r\n";
  want += "<tr>\r\n" + numberCells(1, 16) + "</tr>\r\n<tr>\r\n" + dayCell({"07:58", "17:02"}) + dayCell({"09:00"}) +
          dayCell({}) + "</tr>\r\n";
  want += "<tr>\r\n" + numberCells(17, 31) + "<td width=6% height=32 align=center>&nbsp;</td></tr>\r\n<tr>\r\n" +
          "<td width=6% height=1 align=center>\r\n<p align=left>&nbsp;</p>\r\n</td>\r\n</tr>\r\n";
  want += "</table>\r\n<p>" + gb("　") + "</p>\r\n</body>\r\n</html>\r\n";
  EXPECT_EQ(r.page(1, label), want);
}

TEST(PunchListingPage, FortyDaysShowThirtyOneAndPunchesPastThemStillListTheUser) {
  Render r;
  r.company = smallCompany();
  r.company.log = {punch(1, D + 35 * 86400 + 3600), punch(2, D + 20 * 86400 + 7200)};
  r.start = D;
  r.end = D + 39 * 86400;
  const std::string page = r.page(1, "L");
  auto count = [&](const std::string& s) {
    std::size_t n = 0;
    for (std::size_t at = page.find(s); at != std::string::npos; at = page.find(s, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<table border=1 "), 2u);  // both users, one only beyond the 31st day
  EXPECT_EQ(count("<table border=0 "), 2u * 31);
  EXPECT_EQ(count("<td width=100% align=left>02:00</td>"), 1u);
  EXPECT_EQ(count("<td width=100% align=left>01:00</td>"), 0u);
  EXPECT_NE(page.find("L:ABCDEFG&nbsp;&nbsp;L:R&amp;D &lt;x&gt;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;L:&nbsp</p>"),
            std::string::npos);
}

TEST(PunchListingPage, DayCellsHoldAtMost128SortedPunches) {
  Render r;
  r.company = smallCompany();
  for (int i = 0; i < 130; ++i) r.company.log.push_back(punch(1, t(23) - i * 60));
  const std::string page = r.page(1, "L");
  std::size_t n = 0;
  for (std::size_t at = page.find("align=left>2"); at != std::string::npos; at = page.find("align=left>2", at + 1)) ++n;
  EXPECT_EQ(n, 128u);  // the first 128 of the file: 23:00 back to 20:53
  EXPECT_LT(page.find("20:53"), page.find("23:00"));
  EXPECT_EQ(page.find("20:51"), std::string::npos);
}

TEST(CellFormats, PaddedIdsDatesAndClocks) {
  const std::pair<std::string, std::string> ids[] = {{"12", "00012"}, {"", "00000"}, {"12345", "12345"},
                                                     {"1234567", "1234567"}};
  for (const auto& [id, shown] : ids) EXPECT_EQ(paddedUserId(id), shown);
  EXPECT_EQ(formatDate(at(2009, 2, 31, 23, 59)), "02-31");
  EXPECT_EQ(formatClock(at(2009, 2, 31, 23, 59, 59)), "23:59");
  EXPECT_EQ(htmlText("a&b<c>d\xb0\xa1"), "a&amp;b&lt;c&gt;d\xb0\xa1");
}

TEST(Pages, LargePagesAreWrittenWhole) {
  Render r;
  r.company = smallCompany();
  for (int i = 0; i < 3000; ++i) r.periods.push_back(period(1, D, t(8), t(17)));
  const std::string page = r.page(2);
  EXPECT_GT(page.size(), 100000u * 3);
  EXPECT_EQ(page.substr(page.size() - 28), "</table>\r\n</body>\r\n</html>\r\n");
  std::size_t rows = 0;
  for (std::size_t at = page.find("<td width=8%>00012"); at != std::string::npos; at = page.find("<td width=8%>00012", at + 1)) ++rows;
  EXPECT_EQ(rows, 3000u);
}

}  // namespace
}  // namespace vxtest
