#include "vxsdk/report/entry.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "vxsdk/report/bytes.h"
#include "vxsdk/report/calc.h"
#include "vxsdk/report/devtime.h"
#include "vxsdk/report/html.h"

namespace vxreport {

namespace {

std::int32_t deviceTime(const ReportTime& t) {
  return encodeDeviceTime(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

constexpr std::size_t kUserSize = UserRecord::kSize;

std::uint16_t userNumberAt(std::span<const std::uint8_t> records, std::size_t at) { return le::u16(records, at); }

// Offset of the first whole record whose user ID equals the text, or npos.
std::size_t findUserId(std::span<const std::uint8_t> records, const std::string& userId) {
  for (std::size_t at = 0; at + kUserSize <= records.size(); at += kUserSize)
    if (le::text(records, at + 48, 24) == userId) return at;
  return std::string::npos;
}

}  // namespace

int runReport(const ReportRequest& q, UserList* users, const DownloadUsers& downloadUsers) {
  Run run(openEngineFiles(EnginePaths{q.workDirectory, q.ruleFile, q.logFile, q.userFile, q.departmentFile,
                                      q.shiftFile}));
  run.prepareRun();
  const std::int32_t start = deviceTime(q.start), end = deviceTime(q.end);

  auto stop = [&](int result) {
    run.finishRun();
    return result;
  };
  if (!users) return stop(-1);
  if (q.userId.empty()) {
    if (users->records.empty()) {
      if (!downloadUsers || downloadUsers(*users) != 1) return stop(-2);
      if (users->records.empty()) return stop(0);
    }
    const auto records = users->records;
    std::size_t at = std::min(users->cursor, records.size());
    for (; at + kUserSize <= records.size(); at += kUserSize) {
      run.calculateUser(userNumberAt(records, at), start, end);
      users->cursor = at + kUserSize;
    }
    users->cursor = records.size();
  } else {
    const std::size_t at = findUserId(users->records, q.userId);
    if (at == std::string::npos) return stop(0);
    run.calculateUser(userNumberAt(users->records, at), start, end);
  }

  // The writers' own copy of the rule record, read as stored.
  std::array<std::uint8_t, AttRuleRecord::kSize> ruleBytes{};
  run.files().rule.readPrefix(ruleBytes);
  const AttRuleRecord rule = AttRuleRecord::decode(ruleBytes);
  const ReportContext context{run.inputs(), rule, start, end};

  if (q.reportKind >= 1 && q.reportKind <= 3) {
    File out = createEmpty(q.outputFile);
    if (q.reportKind == 1)
      writePunchListing(out.get(), context, q.label);
    else if (q.reportKind == 2)
      writeExceptionReport(out.get(), context, run.files().periods);
    else
      writeStatisticsReport(out.get(), context, run.files().totals);
  } else {
    std::fputs("maybe I finish it", stdout);
  }
  return stop(1);
}

int saveDataSet(const std::string& fileName, std::span<const std::uint8_t> data, std::int32_t dataKind) {
  if (data.empty() || dataKind < 1 || dataKind > 5) return 0;
  if (fileName.empty()) return -2;
  std::remove(fileName.c_str());
  std::FILE* f = std::fopen(fileName.c_str(), "wb");
  if (!f) return -2;
  const bool whole = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  const bool closed = std::fclose(f) == 0;
  return whole && closed ? 1 : -2;
}

}  // namespace vxreport
