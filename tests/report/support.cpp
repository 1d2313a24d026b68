#include "support.h"

#include <iconv.h>
#include <stdlib.h>

#include <random>
#include <stdexcept>

namespace vxtest {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vxreport-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

namespace {
std::string convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string in(text), out(text.size() * 4 + 8, '\0');
  char* inp = in.data();
  char* outp = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const std::size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
  out.resize(out.size() - outLeft);
  return out;
}
}  // namespace

std::string gb(std::string_view utf8) { return convert(utf8, "GB2312", "UTF-8"); }
std::string utf8FromGb(std::string_view gb2312) { return convert(gb2312, "UTF-8", "GB2312"); }

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const std::string& path) {
  const auto b = readBytes(path);
  return std::string(b.begin(), b.end());
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ReportRequest Company::write(const TempDir& dir) const { return write(dir, dir.prefix()); }

ReportRequest Company::write(const TempDir& dir, const std::string& workPrefix) const {
  ReportRequest q;
  q.ruleFile = dir.file("rule.dat");
  q.logFile = dir.file("log.dat");
  q.userFile = dir.file("user.dat");
  q.departmentFile = dir.file("dept.dat");
  q.shiftFile = dir.file("turn.dat");
  writeRecords(q.ruleFile, std::vector<AttRuleRecord>{rule});
  writeRecords(q.logFile, log);
  writeRecords(q.userFile, users);
  writeRecords(q.departmentFile, departments);
  writeRecords(q.shiftFile, turns);
  q.workDirectory = workPrefix;
  q.outputFile = workPrefix + "report.html";
  q.start = reportTime(2008, 3, 1);
  q.end = reportTime(2008, 3, 31, 23, 59, 59);
  q.reportKind = 2;
  q.label = gb("员工");
  return q;
}

Company generateCompany(std::uint32_t seed, int users, int punchesPerUser, int days) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Company c;
  c.rule = baseRule();
  c.rule.title = gb("总公司考勤规则");
  c.rule.graceMinutes = 5;
  c.rule.minPunchGapMinutes = 3;
  c.rule.exceptionLimitMinutes = 240;
  c.rule.exceptionRuleA = 1;
  c.rule.lateAsAbsent = 1;
  c.rule.lateAbsentMinutes = 120;
  c.rule.earlyAsAbsent = 1;
  c.rule.earlyAbsentMinutes = 90;
  c.rule.crossMidnight = 1;
  c.rule.scheduleUnit = 2;
  c.rule.lateUnit = 1;
  c.rule.earlyUnit = 0;
  c.rule.absentUnit = 3;
  c.turns = {turn(1, gb("早班"), 8, 0, 12, 0),  turn(2, gb("午班"), 13, 0, 17, 30), turn(3, "Day", 9, 0, 18, 0),
             turn(4, gb("夜班"), 22, 0, 6, 0), turn(5, "Eve", 18, 30, 21, 0),       turn(6, "Short", 7, 0, 7, 30),
             turn(7, "Dup", 9, 0, 18, 0)};
  for (int d = 0; d < 20; ++d) c.departments.push_back(DepartmentRecord{static_cast<std::uint8_t>(d + 1), gb("部门") + std::to_string(d + 1)});
  const std::array<std::array<std::uint16_t, 4>, 7> plans{{{1, 2, 0, 0}, {3, 0, 0, 0}, {4, 0, 0, 0}, {1, 2, 5, 0},
                                                            {0, 3, 0, 0}, {6, 1, 9, 2}, {0, 0, 0, 0}}};
  const std::int32_t first = at(2008, 3, 1);
  for (int u = 0; u < users; ++u) {
    const auto number = static_cast<std::uint16_t>(u + 1);
    const auto& plan = plans[static_cast<std::size_t>(pick(0, static_cast<int>(plans.size()) - 1))];
    std::string id = std::to_string(number);
    if (u % 13 == 7) id = "EMP-" + id + "-LONG";
    c.users.push_back(user(number, id, gb("员工") + std::to_string(number), static_cast<std::uint8_t>(pick(0, 22)), plan));
    for (int p = 0; p < punchesPerUser; ++p) {
      const int day = pick(0, days);  // one day past the period now and then
      const int slot = pick(0, 3);
      const TurnRecord* t = nullptr;
      for (const auto& tr : c.turns)
        if (plan[static_cast<std::size_t>(slot)] != 0 && tr.number == plan[static_cast<std::size_t>(slot)]) t = &tr;
      std::int32_t base = first + day * 86400;
      if (t && pick(0, 8) == 0) {
        // A leave pair: out 'i' then back 'o', inside the shift or starting
        // right at its start together with a check-in of the same second.
        const std::int32_t startAt = base + t->startSeconds();
        const bool atStart = pick(0, 2) == 0;
        const std::int32_t leave = atStart ? startAt : startAt + (t->endSeconds() - t->startSeconds()) / 2 + pick(-30, 30) * 60;
        c.log.push_back(punch(number, leave, 4));
        if (atStart) c.log.push_back(punch(number, startAt, 0));
        c.log.push_back(punch(number, leave + pick(20, 300) * 60, 5));
        continue;
      }
      if (t) base += (pick(0, 1) ? t->startSeconds() : t->endSeconds());
      else base += pick(6, 20) * 3600;
      std::int32_t time = base + pick(-150, 150) * 60 + pick(0, 59);
      if (pick(0, 40) == 0) time = 0;                 // ignored record
      std::uint8_t status = static_cast<std::uint8_t>(pick(0, 9) < 7 ? pick(0, 1) : pick(0, 7));
      c.log.push_back(punch(number, time, status));
      if (pick(0, 30) == 0) c.log.push_back(punch(number, time, static_cast<std::uint8_t>(pick(0, 5))));  // same time
    }
  }
  std::shuffle(c.log.begin(), c.log.end(), rng);
  return c;
}

}  // namespace vxtest
