#pragma once
// Report data of the simulated terminal (attendance rules, departments,
// shifts) and a sample company to report on: departments, shifts, a rule,
// users with shifts and a month of punches. Everything is served through the
// simulator's data sets, so a test can still replace any part of it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/vxsim.h"

namespace vxsim {

// The records of the three report data sets, without their leading byte
// count: one 136-byte rule, 36-byte departments, 20-byte shifts.
struct ReportData {
  Bytes rule;
  Bytes departments;
  Bytes shifts;
};

// A data set answer as a terminal sends it: the 32-bit byte count, then the records.
Bytes withByteCount(const Bytes& records);

// Serves the report data for CMD_ATTRULE_RRQ, CMD_DEPT_RRQ and CMD_TURN_RRQ.
// An empty part is not served, so the terminal answers that it has none.
void setReportData(Simulator& sim, const ReportData& data);

// One employee of the sample company.
struct SamplePerson {
  std::uint16_t number = 0;  // internal user number
  std::string userId;        // the ID text
  std::string name;
  std::uint8_t department = 0;
  std::uint16_t shift = 0;
};

// A company of eight people in three departments on three shifts, with the
// punches of March 2008 (all 31 days of the terminal's calendar): on time,
// late, leaving early, absent, a forgotten check-out, punches too close
// together, and exception punches (statuses 4 and 5) around the midday break.
struct SampleCompany {
  ReportData report;
  Bytes users;   // 72-byte user records with text IDs
  Bytes attLog;  // 40-byte attendance records with text IDs
  std::vector<SamplePerson> people;
  int year = 2008, month = 3, days = 31;  // the month the punches cover
};

SampleCompany buildSampleCompany();

// Serves the whole company: the report data, the users (CMD_USERTEMP_RRQ
// with kind 5) and the attendance log (CMD_ATTLOG_RRQ, and CMD_NEWLOG_RRQ
// with kind 1).
void installSampleCompany(Simulator& sim, const SampleCompany& company);

namespace detail {
class CommandFamily;
// Answers the three report data commands that no data set was registered
// for: the terminal holds no such data (CMD_ACK_ERROR).
std::unique_ptr<CommandFamily> makeReportFamily();
}  // namespace detail

}  // namespace vxsim
