// Each report kind rendered by headless Chromium: the page is parsed by a real
// browser from its GB2312 bytes, and the text it reads back must show the
// expected labels and values.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "support.h"

namespace vxtest {
namespace {

std::string chromiumPath() {
  for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

// Kills and reaps every process left below this one (Chromium's helpers are
// handed to us as their subreaper).
void reapDescendants() {
  for (int round = 0; round < 100; ++round) {
    bool any = false;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream status(entry.path() / "status");
      std::string line;
      while (std::getline(status, line)) {
        if (line.rfind("PPid:", 0) == 0) {
          if (std::stol(line.substr(5)) == getpid()) {
            kill(static_cast<pid_t>(std::stol(name)), SIGKILL);
            any = true;
          }
          break;
        }
      }
    }
    while (waitpid(-1, nullptr, WNOHANG) > 0) any = true;
    if (!any) return;
    usleep(50 * 1000);
  }
}

// The DOM Chromium builds from the file, serialised as UTF-8; nothing on time-out.
std::optional<std::string> dumpDom(const std::string& chromium, const std::string& file) {
  TempDir profile;
  int out[2];
  if (pipe(out) != 0) return std::nullopt;
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    dup2(out[1], STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(out[0]);
    const std::string dataDir = "--user-data-dir=" + profile.path().string();
    const std::string url = "file://" + file;
    execl(chromium.c_str(), chromium.c_str(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
          "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
          dataDir.c_str(), "--dump-dom", url.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return std::nullopt;
  }
  setpgid(pid, pid);
  std::string dom;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[65536];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    dom.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  reapDescendants();
  if (timedOut) return std::nullopt;
  return dom;
}

// The text a reader sees: tags dropped, entities decoded, every run of
// white space (no-break and ideographic spaces included) made one space.
std::string pageText(std::string_view html) {
  std::string raw;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (html[i] == '<') {
      const std::size_t close = html.find('>', i);
      if (close == std::string_view::npos) break;
      i = close;
      raw += ' ';
      continue;
    }
    if (html[i] == '&') {
      const std::pair<std::string_view, std::string_view> entities[] = {
          {"&nbsp;", " "}, {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}};
      bool done = false;
      for (auto [entity, text] : entities)
        if (html.substr(i, entity.size()) == entity) {
          raw += text;
          i += entity.size() - 1;
          done = true;
          break;
        }
      if (done) continue;
    }
    raw += html[i];
  }
  std::string out;
  bool space = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    std::size_t width = 0;
    if (raw[i] == ' ' || raw[i] == '\n' || raw[i] == '\r' || raw[i] == '\t') width = 1;
    else if (raw.compare(i, 2, "\xc2\xa0") == 0) width = 2;
    else if (raw.compare(i, 3, "\xe3\x80\x80") == 0) width = 3;
    if (width) {
      space = !out.empty();
      i += width - 1;
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += raw[i];
  }
  return out;
}

// Cell texts of each table row of the page, in order.
std::vector<std::vector<std::string>> tableRows(const std::string& dom) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t at = dom.find("<tr"); at != std::string::npos; at = dom.find("<tr", at + 1)) {
    const std::size_t end = dom.find("</tr>", at);
    std::vector<std::string> cells;
    for (std::size_t td = dom.find("<td", at); td != std::string::npos && td < end; td = dom.find("<td", td + 1)) {
      const std::size_t open = dom.find('>', td) + 1;
      cells.push_back(pageText(dom.substr(open, dom.find("</td>", open) - open)));
    }
    rows.push_back(cells);
  }
  return rows;
}

std::string between(const std::string& dom, const std::string& open, const std::string& close) {
  const std::size_t a = dom.find(open);
  if (a == std::string::npos) return {};
  const std::size_t b = dom.find(close, a + open.size());
  return pageText(dom.substr(a + open.size(), b - a - open.size()));
}

std::string two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}
std::string date(std::int32_t t) {
  const CalendarTime c = decodeDeviceTime(t);
  return two(c.month) + "-" + two(c.day);
}
std::string clock(std::int32_t t) { return two((t / 3600) % 24) + ":" + two((t / 60) % 60); }
std::string clockOrBlank(std::int32_t t) { return (t / 3600) % 24 + (t / 60) % 60 == 0 ? "" : clock(t); }
std::string joined(const std::string& a, const std::string& b) { return a.empty() ? b : b.empty() ? a : a + " " + b; }

struct Unit {
  long divisor;
  std::string label;
};
Unit unitOf(int u) {
  switch (u) {
    case 1: return {60, "分钟"};
    case 2: return {3600, "小时"};
    case 3: return {86400, "天"};
    default: return {1, "次"};
  }
}

class Browser : public testing::Test {
 protected:
  void SetUp() override {
    chromium_ = chromiumPath();
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed (apt-get install chromium): browser check skipped";
    company_ = generateCompany(21, 8, 40, 31);
    company_.users.push_back(user(200, "12", gb("李四 R&D"), 1, {1, 2, 0, 0}));
    company_.log.push_back(punch(200, at(2008, 3, 2, 7, 58)));
    company_.log.push_back(punch(200, at(2008, 3, 2, 17, 32), 1));
    request_ = company_.write(dir_);
  }

  // Runs the report of that kind and returns the DOM Chromium reads from it.
  std::string render(int kind) {
    ReportRequest q = request_;
    q.reportKind = kind;
    const auto users = company_.userBytes();
    UserList list{users, 0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(runReport(q, &list, nullptr), 1);
    testing::internal::GetCapturedStdout();
    const auto dom = dumpDom(chromium_, q.outputFile);
    EXPECT_TRUE(dom.has_value()) << "chromium did not finish";
    return dom.value_or("");
  }

  const UserRecord* findUser(std::int32_t number) const {
    for (const auto& u : company_.users)
      if (u.userNumber != 0 && u.userNumber == number) return &u;
    return nullptr;
  }
  std::string department(const UserRecord* u) const {
    if (!u) return "";
    for (std::size_t i = 0; i < company_.departments.size() && i < 16; ++i)
      if (company_.departments[i].number == u->department) return utf8FromGb(company_.departments[i].name);
    return "";
  }
  std::string id(const UserRecord* u) const {
    if (!u) return "";
    return u->userId.size() >= 5 ? u->userId : std::string(5 - u->userId.size(), '0') + u->userId;
  }
  std::string name(const UserRecord* u) const { return u ? utf8FromGb(u->name) : ""; }

  std::string chromium_;
  TempDir dir_;
  Company company_;
  ReportRequest request_;
};

TEST_F(Browser, ExceptionReportShowsEveryPeriod) {
  const std::string dom = render(2);
  EXPECT_EQ(between(dom, "<title>", "</title>"), "考勤异常");
  EXPECT_NE(dom.find(utf8FromGb(company_.rule.title)), std::string::npos);
  const auto rows = tableRows(dom);
  const auto periods = readRecords<PeriodRecord>(dir_.file("AttAbnormite.dat"));
  ASSERT_EQ(rows.size(), periods.size() + 2);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"日期", "工号", "姓名", "部门", "班次", "上班时间", "签到时间", "异常",
                                               "工作时长", "加班", "请假", "其它"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"上班时间", "签到时间"}));
  const Unit late = unitOf(company_.rule.lateUnit), early = unitOf(company_.rule.earlyUnit);
  for (std::size_t i = 0; i < periods.size(); ++i) {
    const PeriodRecord& p = periods[i];
    const UserRecord* u = findUser(p.userNumber);
    std::string shift = "未设定";
    for (const auto& t : company_.turns)
      if (t.number == p.shift) {
        shift = utf8FromGb(t.name);
        break;
      }
    std::string irregular = "旷工";
    if (!p.absent) {
      const long l = p.lateSeconds / late.divisor, e = p.earlySeconds / early.divisor;
      irregular = joined(l >= 1 ? "迟到(" + std::to_string(l) + late.label + ")" : "",
                         e >= 1 ? "早退(" + std::to_string(e) + early.label + ")" : "");
    }
    const std::vector<std::string> want{date(p.day),
                                        id(u),
                                        name(u),
                                        department(u),
                                        shift,
                                        joined(clockOrBlank(p.scheduledStart), clockOrBlank(p.scheduledEnd)),
                                        joined(clockOrBlank(p.checkIn), clockOrBlank(p.checkOut)),
                                        irregular,
                                        std::to_string(p.workSeconds / 3600),
                                        "",
                                        "",
                                        ""};
    EXPECT_EQ(rows[i + 2], want) << "row " << i;
  }
  EXPECT_NE(dom.find("李四 R&amp;D"), std::string::npos);
}

TEST_F(Browser, StatisticsReportShowsEveryUser) {
  const std::string dom = render(3);
  EXPECT_EQ(between(dom, "<title>", "</title>"), "考勤统计");
  const auto rows = tableRows(dom);
  const auto totals = readRecords<UserTotalsRecord>(dir_.file("AttDay.dat"));
  ASSERT_EQ(rows.size(), totals.size() + 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"工号", "姓名", "部门", "应到", "实到", "迟到", "早退", "旷工",
                                               "工作时长", "请假", "加班", "其它"}));
  const Unit schedule = unitOf(company_.rule.scheduleUnit), late = unitOf(company_.rule.lateUnit),
             early = unitOf(company_.rule.earlyUnit), absent = unitOf(company_.rule.absentUnit);
  auto value = [](long v, const Unit& u) { return std::to_string(v / u.divisor) + "(" + u.label + ")"; };
  // Scheduled, attended and work time divide the stored 32-bit value as unsigned.
  auto unsignedValue = [](std::int32_t v, long divisor) {
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) / static_cast<std::uint32_t>(divisor)));
  };
  for (std::size_t i = 0; i < totals.size(); ++i) {
    const UserTotalsRecord& r = totals[i];
    const UserRecord* u = findUser(r.userNumber);
    const std::vector<std::string> want{
        id(u), name(u), department(u), unsignedValue(r.scheduledSeconds, schedule.divisor) + "(" + schedule.label + ")",
        unsignedValue(r.attendedSeconds, schedule.divisor) + "(" + schedule.label + ")",
        value(late.divisor == 1 ? r.lateCount : r.lateSeconds, late),
        value(early.divisor == 1 ? r.earlyCount : r.earlySeconds, early),
        value(absent.divisor == 1 ? r.absentCount : r.absentSeconds, absent), unsignedValue(r.workSeconds, 3600),
        "", "", ""};
    EXPECT_EQ(rows[i + 1], want) << "row " << i;
  }
}

TEST_F(Browser, PunchListingShowsEachUsersDays) {
  const std::string dom = render(1);
  const std::string label = "员工";
  EXPECT_EQ(between(dom, "<title>", "</title>"), label);
  EXPECT_EQ(between(dom, "<p align=\"center\">", "</p>"), "流水纪录");
  std::vector<std::string> blocks;
  const std::string open = "<table border=\"1\"";
  for (std::size_t at = dom.find(open); at != std::string::npos;) {
    const std::size_t next = dom.find(open, at + 1);
    blocks.push_back(pageText(dom.substr(at, next == std::string::npos ? std::string::npos : next - at)));
    at = next;
  }
  const std::int32_t start = at(2008, 3, 1);
  std::vector<std::string> want;
  for (const auto& u : company_.users) {
    std::vector<std::vector<std::int32_t>> days(31);
    bool any = false;
    for (const auto& p : company_.log)
      if (p.userNumber == u.userNumber && p.time > 0 && p.time >= start && p.time < start + 31 * 86400) {
        any = true;
        days[static_cast<std::size_t>((p.time - start) / 86400)].push_back(p.time);
      }
    if (!any) continue;
    std::string text = label + ":" + u.userId + " " + label + ":" + name(&u) + " " + label + ":" + department(&u);
    text = pageText(text);
    auto word = [&](const std::string& w) {
      text += ' ';
      text += w;
    };
    for (int d = 0; d < 31; ++d) {
      if (d == 0)
        for (int n = 1; n <= 16; ++n) word(two(n));
      if (d == 16)
        for (int n = 17; n <= 31; ++n) word(two(n));
      std::sort(days[static_cast<std::size_t>(d)].begin(), days[static_cast<std::size_t>(d)].end());
      for (std::int32_t t : days[static_cast<std::size_t>(d)]) word(clock(t));
    }
    want.push_back(text);
  }
  EXPECT_EQ(blocks, want);
}

}  // namespace
}  // namespace vxtest
