#include "vxsdk/report/html.h"

#include <algorithm>
#include <array>
#include <vector>

#include "vxsdk/report/devtime.h"

namespace vxreport {

namespace {

// GB2312 bytes of the page labels.
namespace gb {
constexpr std::string_view PunchListing = "\xc1\xf7\xcb\xae\xbc\xcd\xc2\xbc";     // 流水纪录
constexpr std::string_view Exceptions = "\xbf\xbc\xc7\xda\xd2\xec\xb3\xa3";       // 考勤异常
constexpr std::string_view Statistics = "\xbf\xbc\xc7\xda\xcd\xb3\xbc\xc6";       // 考勤统计
constexpr std::string_view Date = "\xc8\xd5\xc6\xda";                             // 日期
constexpr std::string_view To = "\xd6\xc1";                                       // 至
constexpr std::string_view UserNo = "\xb9\xa4\xba\xc5";                           // 工号
constexpr std::string_view Name = "\xd0\xd5\xc3\xfb";                             // 姓名
constexpr std::string_view Department = "\xb2\xbf\xc3\xc5";                       // 部门
constexpr std::string_view Shift = "\xb0\xe0\xb4\xce";                            // 班次
constexpr std::string_view OnDutyTime = "\xc9\xcf\xb0\xe0\xca\xb1\xbc\xe4";       // 上班时间
constexpr std::string_view SignInTime = "\xc7\xa9\xb5\xbd\xca\xb1\xbc\xe4";       // 签到时间
constexpr std::string_view Irregular = "\xd2\xec\xb3\xa3";                        // 异常
constexpr std::string_view WorkTime = "\xb9\xa4\xd7\xf7\xca\xb1\xb3\xa4";         // 工作时长
constexpr std::string_view Overtime = "\xbc\xd3\xb0\xe0";                         // 加班
constexpr std::string_view OvertimeHeading = "\xbc\xd3\xb0\xe0 ";                 // "加班 ", trailing space
constexpr std::string_view Leave = "\xc7\xeb\xbc\xd9";                            // 请假
constexpr std::string_view Other = "\xc6\xe4\xcb\xfc";                            // 其它
constexpr std::string_view NotSet = "\xce\xb4\xc9\xe8\xb6\xa8";                   // 未设定
constexpr std::string_view Absent = "\xbf\xf5\xb9\xa4";                           // 旷工
constexpr std::string_view Late = "\xb3\xd9\xb5\xbd";                             // 迟到
constexpr std::string_view Early = "\xd4\xe7\xcd\xcb";                            // 早退
constexpr std::string_view Due = "\xd3\xa6\xb5\xbd";                              // 应到
constexpr std::string_view Attended = "\xca\xb5\xb5\xbd";                         // 实到
constexpr std::string_view Count = "\xb4\xce";                                    // 次
constexpr std::string_view Minutes = "\xb7\xd6\xd6\xd3";                          // 分钟
constexpr std::string_view Hours = "\xd0\xa1\xca\xb1";                            // 小时
constexpr std::string_view Days = "\xcc\xec";                                     // 天
constexpr std::string_view Space = "\xa1\xa1";                                    // ideographic space
}  // namespace gb

constexpr std::size_t kFlushAt = 100000;
constexpr std::size_t kMaxPunchesPerDayCell = 128;
constexpr std::size_t kDaysShown = 31;

// The page text, handed to the file whenever enough has accumulated after a
// complete row, and at the end.
class Page {
 public:
  explicit Page(std::FILE* out) : out_(out) {}
  Page& operator<<(std::string_view s) {
    text_ += s;
    return *this;
  }
  Page& operator<<(long v) {
    text_ += std::to_string(v);
    return *this;
  }
  void rowDone() {
    if (text_.size() >= kFlushAt) flush();
  }
  bool finish() {
    flush();
    if (out_) std::fflush(out_);
    return ok_;
  }

 private:
  void flush() {
    if (text_.empty()) return;
    ok_ = out_ && std::fwrite(text_.data(), 1, text_.size(), out_) == text_.size();
    text_.clear();
  }
  std::FILE* out_;
  std::string text_;
  bool ok_ = true;
};

void pageHead(Page& p, std::string_view title, std::string_view heading) {
  p << "<html>\r\n" << "<head>\r\n" << "<meta http-equiv=Content-Type content=text/html; charset=gb2312>\r\n"
    << "<title>" << title << "</title>\r\n" << "</head>\r\n" << "<body>\r\n" << "<p align=center>" << heading
    << "</p>\r\n";
}

void periodLines(Page& p, const ReportContext& c) {
  p << "<p align=left>" << htmlText(c.rule.title) << "</p>\r\n";
  p << "<p align=left>" << gb::Date << ":" << formatDate(c.start) << "&nbsp;" << gb::To << "&nbsp;"
    << formatDate(c.end) << "</p>\r\n";
}

void pageEnd(Page& p) { p << "</body>\r\n" << "</html>\r\n"; }

std::string departmentName(const ReportContext& c, const UserRecord* user) {
  const DepartmentRecord* d = user ? c.inputs.findDepartment(user->department) : nullptr;
  return d ? htmlText(d->name) : std::string("&nbsp");
}

std::string userIdCell(const UserRecord* user) { return user ? htmlText(paddedUserId(user->userId)) : "&nbsp"; }
std::string userNameCell(const UserRecord* user) { return user ? htmlText(user->name) : "&nbsp"; }

// "hh:mm" line of a kind 2 time cell, or "&nbsp" when hour plus minute is 0.
std::string clockLine(std::int32_t t, bool withLineEnd) {
  const int hour = (t / 3600) % 24, minute = (t / 60) % 60;
  if (hour + minute == 0) return "&nbsp\r\n";
  return withLineEnd ? formatClock(t) + "\r\n" : formatClock(t);
}

void timePairCell(Page& p, std::int32_t first, std::int32_t second) {
  p << "<td width=11%>" << clockLine(first, true) << "<p>" << clockLine(second, false) << "</td>\r\n";
}

std::string unitValue(long value, std::string_view label) {
  std::string s = std::to_string(value);
  s += "(";
  s += label;
  s += ")";
  return s;
}

}  // namespace

std::string formatDate(std::int32_t t) {
  const CalendarTime c = decodeDeviceTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d-%02d", c.month, c.day);
  return buf;
}

std::string formatClock(std::int32_t t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d", (t / 3600) % 24, (t / 60) % 60);
  return buf;
}

std::string paddedUserId(std::string_view userId) {
  if (userId.size() >= 5) return std::string(userId);
  return std::string(5 - userId.size(), '0') + std::string(userId);
}

std::string htmlText(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      default: s += ch;
    }
  }
  return s;
}

DisplayUnit displayUnit(std::int32_t unit) {
  switch (unit) {
    case 1: return {60, gb::Minutes};
    case 2: return {3600, gb::Hours};
    case 3: return {86400, gb::Days};
    default: return {1, gb::Count};
  }
}

bool writeExceptionReport(std::FILE* out, const ReportContext& c, const File& periods) {
  Page p(out);
  pageHead(p, gb::Exceptions, gb::Exceptions);
  periodLines(p, c);
  p << "<table border=1 width=98%>\r\n" << "<tr>\r\n";
  const std::array<std::pair<std::string_view, std::string_view>, 12> header{{
      {" <td width=8% rowspan=2>", gb::Date},
      {" <td width=8% rowspan=2>", gb::UserNo},
      {" <td width=8% rowspan=2>", gb::Name},
      {" <td width=8% rowspan=2>", gb::Department},
      {" <td width=8% rowspan=2>", gb::Shift},
      {" <td width=11%>", gb::OnDutyTime},
      {" <td width=11%>", gb::SignInTime},
      {" <td width=12% rowspan=2>", gb::Irregular},
      {" <td width=8% rowspan=2>", gb::WorkTime},
      {" <td width=3% rowspan=2>", gb::OvertimeHeading},
      {" <td width=7% rowspan=2>", gb::Leave},
      {" <td width=9% rowspan=2>", gb::Other},
  }};
  for (const auto& [opening, label] : header) p << opening << label << "</td>\r\n";
  p << "</tr>\r\n" << "<tr>\r\n" << " <td width=11%>" << gb::OnDutyTime << "</td>\r\n" << " <td width=11%>"
    << gb::SignInTime << "</td>\r\n" << "</tr>\r\n";
  p.rowDone();

  const DisplayUnit lateUnit = displayUnit(c.rule.lateUnit), earlyUnit = displayUnit(c.rule.earlyUnit);
  periods.forEachRecord<PeriodRecord::kSize>([&](auto bytes) {
    const PeriodRecord r = PeriodRecord::decode(bytes);
    const UserRecord* user = c.inputs.findUser(r.userNumber);
    const TurnRecord* turn = c.inputs.findTurn(r.shift);
    p << "<tr>\r\n";
    p << "<td width=8%>" << formatDate(r.day) << "</td>\r\n";
    p << "<td width=8%>" << userIdCell(user) << "</td>\r\n";
    p << "<td width=8%>" << userNameCell(user) << "</td>\r\n";
    p << "<td width=8%>" << departmentName(c, user) << "</td>\r\n";
    p << "<td width=8%>";
    if (turn)
      p << htmlText(turn->name);
    else
      p << gb::NotSet;
    p << "</td>\r\n";
    timePairCell(p, r.scheduledStart, r.scheduledEnd);
    timePairCell(p, r.checkIn, r.checkOut);
    if (r.absent != 0) {
      p << "<td width=12%>" << gb::Absent << "</td>\r\n";
    } else {
      p << "<td width=12%>";
      const long late = static_cast<long>(r.lateSeconds / lateUnit.divisor);
      if (late >= 1)
        p << gb::Late << "(" << late << lateUnit.label << ")\r\n";
      else
        p << "&nbsp\r\n";
      const long early = static_cast<long>(r.earlySeconds / earlyUnit.divisor);
      if (early >= 1)
        p << "<p>" << gb::Early << "(" << early << earlyUnit.label << ")</td>\r\n";
      else
        p << "<p>&nbsp</td>\r\n";
    }
    p << "<td width=8%>" << static_cast<long>(r.workSeconds / 3600) << "</td>\r\n";
    p << "<td width=7%>" << gb::Space << "</td>\r\n" << "<td width=7%>" << gb::Space << "</td>\r\n"
      << "<td width=9%>" << gb::Space << "</td>\r\n";
    p << "</tr>\r\n";
    p.rowDone();
  });
  p << "</table>\r\n";
  pageEnd(p);
  return p.finish();
}

bool writeStatisticsReport(std::FILE* out, const ReportContext& c, const File& totals) {
  Page p(out);
  pageHead(p, gb::Statistics, gb::Statistics);
  periodLines(p, c);
  p << "<table border=1 width=100%>\r\n" << "<tr>\r\n";
  const std::array<std::pair<std::string_view, std::string_view>, 12> header{{
      {"<td width=8%>", gb::UserNo},
      {"<td width=8%>", gb::Name},
      {"<td width=8%>", gb::Department},
      {"<td width=8%>", gb::Due},
      {"<td width=8%>", gb::Attended},
      {"<td width=8%>", gb::Late},
      {"<td width=8%>", gb::Early},
      {"<td width=8%>", gb::Absent},
      {"<td width=9%>", gb::WorkTime},
      {"<td width=8%>", gb::Leave},
      {"<td width=9%>", gb::Overtime},
      {"<td width=9%>", gb::Other},
  }};
  for (const auto& [opening, label] : header) p << opening << label << "</td>\r\n";
  p << "</tr>\r\n";
  p.rowDone();

  const std::int32_t scheduleUnitNumber = c.rule.scheduleUnit;
  const DisplayUnit schedule = displayUnit(scheduleUnitNumber);
  const DisplayUnit late = displayUnit(c.rule.lateUnit), early = displayUnit(c.rule.earlyUnit),
                    absent = displayUnit(c.rule.absentUnit);
  // Unsigned 32-bit quotient shown as the 32-bit number it is stored as.
  auto unsignedValue = [](std::int32_t v, std::int64_t divisor) {
    return static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) / divisor));
  };
  // A count unit shows the number of periods, any other unit the seconds converted.
  auto countOrDuration = [](std::int32_t seconds, std::int32_t count, const DisplayUnit& u) {
    return static_cast<long>((u.divisor == 1 ? count : seconds) / u.divisor);
  };
  auto cell = [&](std::string_view width, const std::string& text) {
    p << "<td width=" << width << "%>" << text << "</td>\r\n";
  };
  totals.forEachRecord<UserTotalsRecord::kSize>([&](auto bytes) {
    const UserTotalsRecord r = UserTotalsRecord::decode(bytes);
    const UserRecord* user = c.inputs.findUser(r.userNumber);
    p << "<tr>\r\n";
    cell("8", userIdCell(user));
    cell("8", userNameCell(user));
    cell("8", departmentName(c, user));
    cell("8", unitValue(unsignedValue(r.scheduledSeconds, schedule.divisor), schedule.label));
    cell("8", unitValue(unsignedValue(r.attendedSeconds, schedule.divisor), schedule.label));
    cell("8", unitValue(countOrDuration(r.lateSeconds, r.lateCount, late), late.label));
    cell("8", unitValue(countOrDuration(r.earlySeconds, r.earlyCount, early), early.label));
    cell("8", unitValue(countOrDuration(r.absentSeconds, r.absentCount, absent), absent.label));
    cell("8", std::to_string(unsignedValue(r.workSeconds, 3600)));
    cell("8", "&nbsp");
    cell("9", "&nbsp");
    cell("9", "&nbsp");
    p << "</tr>\r\n";
    p.rowDone();
  });
  p << "</table>\r\n";
  pageEnd(p);
  return p.finish();
}

bool writePunchListing(std::FILE* out, const ReportContext& c, std::string_view label) {
  Page p(out);
  pageHead(p, label, gb::PunchListing);
  p << "<p align=left>" << label << ":" << "</p>\r\n" << "<p>" << gb::Space << "</p>\r\n";
  p.rowDone();

  const std::int64_t start = c.start;
  const std::int64_t days = c.end >= c.start ? (static_cast<std::int64_t>(c.end) - start) / kDay + 1 : 0;
  const std::size_t shown = static_cast<std::size_t>(std::min<std::int64_t>(days, kDaysShown));
  std::array<std::vector<std::int32_t>, kDaysShown> cells;

  auto dayCell = [&](const std::vector<std::int32_t>& punches) {
    p << "<td width=6% height=1 align=center>\r\n" << "<table border=0 cellpadding=0 cellspacing=0 width=59%>\r\n";
    for (std::int32_t t : punches) p << "<tr>\r\n" << "<td width=100% align=left>" << formatClock(t) << "</td>\r\n" << "</tr>\r\n";
    if (punches.empty()) p << "<tr>\r\n" << "<td width=100% align=left>&nbsp;</td>\r\n" << "</tr>\r\n";
    p << "</table>\r\n" << "</td>\r\n";
  };
  auto numberCell = [&](int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "<td width=6%% height=32 align=center>%02d</td>", n);
    p << buf;
  };

  for (const UserRecord& user : c.inputs.users()) {
    if (user.userNumber == 0) continue;
    bool any = false;
    for (auto& v : cells) v.clear();
    c.inputs.forEachPunch(user.userNumber, [&](const Punch& punch) {
      if (punch.time < start) return;
      const std::int64_t day = (punch.time - start) / kDay;
      if (day >= days) return;
      any = true;
      if (day < static_cast<std::int64_t>(shown) && cells[static_cast<std::size_t>(day)].size() < kMaxPunchesPerDayCell)
        cells[static_cast<std::size_t>(day)].push_back(punch.time);
    });
    if (!any) continue;
    for (auto& v : cells) std::sort(v.begin(), v.end());

    const std::string name = htmlText(user.name);
    p << "<table border=1 width=102% height=1 cellspacing=1 cellpadding=0>\r\n" << "<tr>\r\n"
      << "<td width=100% height=32 align=center colspan=16>\r\n";
    p << "<p align = left>" << label << ":" << htmlText(user.userId) << "&nbsp;&nbsp;" << label << ":" << name
      << "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;" << label << ":" << departmentName(c, &user) << "</p>\r\n" << "</td>\r\n"
      << "</tr>\r\n";
    p << "<tr>\r\n";
    for (int n = 1; n <= 16; ++n) numberCell(n);
    p << "</tr>\r\n" << "<tr>\r\n";
    for (std::size_t d = 0; d < std::min<std::size_t>(shown, 16); ++d) dayCell(cells[d]);
    p << "</tr>\r\n" << "<tr>\r\n";
    for (int n = 17; n <= 31; ++n) numberCell(n);
    p << "<td width=6% height=32 align=center>&nbsp;</td>" << "</tr>\r\n" << "<tr>\r\n";
    for (std::size_t d = 16; d < shown; ++d) dayCell(cells[d]);
    p << "<td width=6% height=1 align=center>\r\n" << "<p align=left>&nbsp;</p>\r\n" << "</td>\r\n" << "</tr>\r\n";
    p << "</table>\r\n" << "<p>" << gb::Space << "</p>\r\n";
    p.rowDone();
  }
  pageEnd(p);
  return p.finish();
}

}  // namespace vxreport
