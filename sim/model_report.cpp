// The sample company's records, encoded with the report engine's record codecs.
#include "sim/model_report.h"

#include <algorithm>
#include <array>

#include "vxsdk/report/devtime.h"
#include "vxsdk/report/records.h"

namespace vxsim {
namespace {
template <class R>
void append(Bytes& out, const R& record) {
  const auto bytes = vxreport::encodeRecord(record);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

vxreport::TurnRecord shift(std::uint16_t number, const char* name, int startHour, int endHour) {
  vxreport::TurnRecord t;
  t.number = number;
  t.name = name;
  t.startHour = static_cast<std::uint8_t>(startHour);
  t.endHour = static_cast<std::uint8_t>(endHour);
  return t;
}

struct ShiftHours {
  int start, end;
};
constexpr std::array<ShiftHours, 3> kShiftHours = {{{9, 18}, {7, 15}, {14, 22}}};

// How one person behaves on one day of the month.
enum class Day { OnTime, Late, EarlyLeave, Absent, NoCheckOut, Exception };

Day dayOf(std::size_t person, int day) {
  const int k = (day + static_cast<int>(person) * 5) % 12;
  switch (k) {
    case 2: return Day::Late;
    case 5: return Day::EarlyLeave;
    case 7: return person % 2 == 0 ? Day::Absent : Day::OnTime;
    case 9: return Day::Exception;
    case 11: return person % 3 == 0 ? Day::NoCheckOut : Day::OnTime;
    default: return Day::OnTime;
  }
}
}  // namespace

Bytes withByteCount(const Bytes& records) {
  Bytes out(4 + records.size());
  const auto n = static_cast<std::uint32_t>(records.size());
  for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(n >> (8 * i));
  std::copy(records.begin(), records.end(), out.begin() + 4);
  return out;
}

void setReportData(Simulator& sim, const ReportData& data) {
  const std::pair<std::uint16_t, const Bytes*> sets[] = {
      {CMD_ATTRULE_RRQ, &data.rule}, {CMD_DEPT_RRQ, &data.departments}, {CMD_TURN_RRQ, &data.shifts}};
  for (const auto& [command, records] : sets) {
    if (!records->empty()) sim.setDataSet(command, {}, withByteCount(*records));
  }
}

SampleCompany buildSampleCompany() {
  SampleCompany c;
  const char* departments[] = {"Office", "Workshop", "Warehouse"};
  for (std::uint8_t i = 0; i < 3; ++i) append(c.report.departments, vxreport::DepartmentRecord{std::uint8_t(i + 1), departments[i]});
  append(c.report.shifts, shift(1, "Day", 9, 18));
  append(c.report.shifts, shift(2, "Early", 7, 15));
  append(c.report.shifts, shift(3, "Late", 14, 22));

  vxreport::AttRuleRecord rule;
  rule.title = "Sample Company Rule";
  rule.graceMinutes = 5;
  rule.minPunchGapMinutes = 3;
  rule.exceptionLimitMinutes = 240;
  rule.exceptionRuleA = 1;
  rule.lateAsAbsent = 1;
  rule.lateAbsentMinutes = 120;
  rule.earlyAsAbsent = 1;
  rule.earlyAbsentMinutes = 120;
  rule.workUnitMinutes = 60;
  rule.scheduleUnit = 2;
  rule.lateUnit = 1;
  rule.earlyUnit = 1;
  rule.absentUnit = 3;
  append(c.report.rule, rule);

  c.people = {{1, "1001", "Li Ming", 1, 1},    {2, "1002", "Wang Fang", 1, 1}, {3, "1003", "Zhang Wei", 2, 2},
              {4, "1004", "Liu Yang", 2, 2},   {5, "1005", "Chen Jing", 2, 3}, {6, "1006", "Yang Lei", 3, 3},
              {7, "1007", "Zhao Min", 3, 1},   {8, "1008", "Huang Tao", 3, 2}};
  for (const SamplePerson& p : c.people) {
    vxreport::UserRecord u;
    u.userNumber = p.number;
    u.userId = p.userId;
    u.name = p.name;
    u.department = p.department;
    u.shifts = {p.shift, 0, 0, 0};
    append(c.users, u);
  }

  // Punches day by day, each person in turn, so the log is in time order
  // within a day like a terminal's.
  auto punch = [&](const SamplePerson& p, int day, int hour, int minute, std::uint8_t status) {
    vxreport::AttLogRecord r;
    r.userNumber = p.number;
    r.userId = p.userId;
    r.verifyMode = 1;
    r.time = vxreport::encodeDeviceTime(c.year, c.month, day, hour, minute, 0);
    r.status = status;
    append(c.attLog, r);
  };
  for (int day = 1; day <= c.days; ++day) {
    for (std::size_t i = 0; i < c.people.size(); ++i) {
      const SamplePerson& p = c.people[i];
      const ShiftHours h = kShiftHours[p.shift - 1];
      switch (dayOf(i, day)) {
        case Day::Absent: break;
        case Day::Late:
          punch(p, day, h.start, 25, 0);  // 25 minutes late
          punch(p, day, h.end, 2, 1);
          break;
        case Day::EarlyLeave:
          punch(p, day, h.start - 1, 52, 0);
          punch(p, day, h.end - 1, 20, 1);  // 40 minutes early
          break;
        case Day::NoCheckOut:
          punch(p, day, h.start - 1, 55, 0);
          punch(p, day, h.start - 1, 56, 0);  // a second punch a minute later
          break;
        case Day::Exception:
          punch(p, day, h.start - 1, 50, 0);
          // Out on business in the second half of the shift, back before its end.
          punch(p, day, h.start + 5, 0, 4);
          punch(p, day, h.start + 6, 30, 5);
          punch(p, day, h.end, 5, 1);
          break;
        case Day::OnTime:
          punch(p, day, h.start - 1, 45 + static_cast<int>(i), 0);
          punch(p, day, h.end, static_cast<int>(i) * 2, 1);
          break;
      }
    }
  }
  return c;
}

void installSampleCompany(Simulator& sim, const SampleCompany& company) {
  setReportData(sim, company.report);
  sim.setDataSet(CMD_USERTEMP_RRQ, Bytes{5}, withByteCount(company.users));
  const Bytes log = withByteCount(company.attLog);
  sim.setDataSet(CMD_ATTLOG_RRQ, {}, log);
  sim.setDataSet(CMD_NEWLOG_RRQ, Bytes{1}, log);
}

}  // namespace vxsim
