#pragma once
// Builders and helpers for the report engine tests: temporary folders, record
// files, GB2312 text from UTF-8, and a generated company.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "vxsdk/report/devtime.h"
#include "vxsdk/report/entry.h"
#include "vxsdk/report/records.h"

namespace vxtest {

using namespace vxreport;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  // The folder as a work-file prefix (with a trailing separator).
  std::string prefix() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// GB2312 bytes of a UTF-8 text, converted with iconv.
std::string gb(std::string_view utf8);
// UTF-8 text of GB2312 bytes.
std::string utf8FromGb(std::string_view gb2312);

std::vector<std::uint8_t> readBytes(const std::string& path);
std::string readText(const std::string& path);
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

template <class R>
std::vector<std::uint8_t> recordBytes(const std::vector<R>& records) {
  std::vector<std::uint8_t> out;
  for (const R& r : records) {
    const auto b = encodeRecord(r);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

template <class R>
void writeRecords(const std::string& path, const std::vector<R>& records) {
  writeBytes(path, recordBytes(records));
}

template <class R>
std::vector<R> readRecords(const std::string& path) {
  const auto bytes = readBytes(path);
  std::vector<R> out;
  for (std::size_t at = 0; at + R::kSize <= bytes.size(); at += R::kSize)
    out.push_back(R::decode(std::span<const std::uint8_t, R::kSize>(bytes.data() + at, R::kSize)));
  return out;
}

// Device time of a day of the report calendar plus a clock time.
inline std::int32_t at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return encodeDeviceTime(year, month, day, hour, minute, second);
}

inline TurnRecord turn(std::uint16_t number, std::string name, int startHour, int startMinute, int endHour,
                       int endMinute) {
  TurnRecord t;
  t.number = number;
  t.name = std::move(name);
  t.startHour = static_cast<std::uint8_t>(startHour);
  t.startMinute = static_cast<std::uint8_t>(startMinute);
  t.endHour = static_cast<std::uint8_t>(endHour);
  t.endMinute = static_cast<std::uint8_t>(endMinute);
  return t;
}

inline UserRecord user(std::uint16_t number, std::string userId, std::string name, std::uint8_t department,
                       std::array<std::uint16_t, 4> shifts) {
  UserRecord u;
  u.userNumber = number;
  u.userId = std::move(userId);
  u.name = std::move(name);
  u.department = department;
  u.shifts = shifts;
  return u;
}

inline AttLogRecord punch(std::uint16_t userNumber, std::int32_t time, std::uint8_t status = 0) {
  AttLogRecord r;
  r.userNumber = userNumber;
  r.userId = std::to_string(userNumber);
  r.time = time;
  r.status = status;
  return r;
}

// A rule with a one-hour work unit and everything else off.
inline AttRuleRecord baseRule() {
  AttRuleRecord r;
  r.title = "Rule";
  r.workUnitMinutes = 60;
  return r;
}

// The five input files of a report, written into a folder.
struct Company {
  AttRuleRecord rule = baseRule();
  std::vector<UserRecord> users;
  std::vector<DepartmentRecord> departments;
  std::vector<TurnRecord> turns;
  std::vector<AttLogRecord> log;

  // Writes the inputs into `dir` and returns a request over them whose work
  // files and page go to `out` (by default the same folder).
  ReportRequest write(const TempDir& dir) const;
  ReportRequest write(const TempDir& dir, const std::string& workPrefix) const;
  std::vector<std::uint8_t> userBytes() const { return recordBytes(users); }
};

inline ReportTime reportTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return ReportTime{year, month, day, hour, minute, second};
}

// A generated company: `users` users with shifts drawn from a varied table
// (adjacent shifts, a night shift, odd windows), `punchesPerUser` punches each
// around the scheduled times over `days` days starting 2008-03-01, with
// exception statuses, duplicates and out-of-range times mixed in.
Company generateCompany(std::uint32_t seed, int users, int punchesPerUser, int days);

}  // namespace vxtest
