// The report data downloads (attendance rules, departments, shifts), saving a
// downloaded data set to a file, and the exported report run.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "platform/export.h"
#include "vxsdk.h"
#include "vxsdk/api/connection.h"
#include "vxsdk/api/devicetime.h"
#include "vxsdk/api/viewwalk.h"
#include "vxsdk/report/entry.h"
#include "wirecore/packet.h"

namespace vxsdk {
namespace {

// Downloads one report data set into the shared buffer and points its view
// at the records behind the 4-byte length word. Every other view into the
// shared buffer is emptied, because the new data overwrites what they
// described: saving one of them afterwards finds nothing instead of writing
// this set's bytes under another set's name. The user view lies in its own
// buffer and stays.
int readReportData(void* handle, std::uint16_t command, ViewKind view) {
  Connection* c = fromHandle(handle);
  if (c == nullptr) return -1;
  const int result = downloadDataSet(*c, 0, command, 0, view, false);
  // 1 downloaded, 0 the device has none; a refused size or missing memory is
  // a failed download like any other.
  return result == 1 || result == 0 ? result : -2;
}

// The bytes of a view from its start over its length, cut to what the buffer holds.
std::span<const std::uint8_t> wholeView(const View& v, const LazyBuffer& buffer) {
  if (!buffer.allocated() || v.length <= 0 || v.start >= buffer.size()) return {};
  return buffer.span().subspan(v.start, std::min<std::size_t>(v.length, buffer.size() - v.start));
}

// What VX_SSR_SaveDate writes for a kind. The log and user views are saved
// from their cursor to their end: the records not yet handed out, and never
// bytes beyond the view.
std::span<const std::uint8_t> dataOfKind(const Connection& c, std::int32_t kind) {
  switch (kind) {
    case 1: return viewRemainder(c.attLogView, c.bulkBuffer);
    case 2: return viewRemainder(c.userView, c.userBuffer);
    case 3: return wholeView(c.reportViews[0], c.bulkBuffer);
    case 4: return wholeView(c.reportViews[1], c.bulkBuffer);
    case 5: return wholeView(c.reportViews[2], c.bulkBuffer);
    default: return {};
  }
}

// The connection's user records as the report run sees them: the bytes of
// the user view and the cursor as an offset into them.
vxreport::UserList userList(const Connection& c) {
  vxreport::UserList list;
  const View& v = c.userView;
  list.records = wholeView(v, c.userBuffer);
  list.cursor = v.cursor > v.start ? std::min(v.cursor - v.start, list.records.size()) : 0;
  return list;
}

std::string text(const char* s) { return s != nullptr ? std::string(s) : std::string(); }
}  // namespace
}  // namespace vxsdk

using vxsdk::Connection;

VX_EXPORT int VX_SSR_ReadAttRule(void* handle) {
  return vxsdk::readReportData(handle, CMD_ATTRULE_RRQ, vxsdk::ViewKind::AttRule);
}

VX_EXPORT int VX_SSR_ReadDPT(void* handle) {
  return vxsdk::readReportData(handle, CMD_DEPT_RRQ, vxsdk::ViewKind::Department);
}

VX_EXPORT int VX_SSR_ReadTurn(void* handle) {
  return vxsdk::readReportData(handle, CMD_TURN_RRQ, vxsdk::ViewKind::Shift);
}

VX_EXPORT int VX_SSR_SaveDate(void* handle, const char* fileName, int dataKind) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  const auto data = vxsdk::dataOfKind(*c, dataKind);
  if (data.empty()) return 0;
  if (fileName == nullptr || fileName[0] == '\0') return -2;
  return vxreport::saveDataSet(fileName, data, dataKind);
}

VX_EXPORT int VX_SSR_OutPutHtml(void* handle, const char* userId, const char* logFile, const char* userFile,
                                const char* departmentFile, const char* shiftFile, int startYear, int startMonth,
                                int startDay, int startHour, int startMinute, int startSecond, int endYear,
                                int endMonth, int endDay, int endHour, int endMinute, int endSecond,
                                const char* outputFile, const char* workDirectory, const char* ruleFile,
                                int reportKind, const char* label) {
  using vxsdk::text;
  vxreport::ReportRequest request;
  request.userId = text(userId);
  request.logFile = text(logFile);
  request.userFile = text(userFile);
  request.departmentFile = text(departmentFile);
  request.shiftFile = text(shiftFile);
  request.start = {startYear, startMonth, startDay, startHour, startMinute, startSecond};
  request.end = {endYear, endMonth, endDay, endHour, endMinute, endSecond};
  request.outputFile = text(outputFile);
  request.workDirectory = text(workDirectory);
  request.ruleFile = text(ruleFile);
  request.reportKind = reportKind;
  request.label = text(label);

  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return vxreport::runReport(request, nullptr, {});
  vxreport::UserList users = vxsdk::userList(*c);
  const vxreport::DownloadUsers download = [c](vxreport::UserList& list) {
    const int result = VX_ReadUserInfo(c);
    list = vxsdk::userList(*c);
    return result;
  };
  const int result = vxreport::runReport(request, &users, download);
  // The walk moved the cursor; the view keeps it, as an offset into its buffer.
  if (!users.records.empty()) c->userView.cursor = c->userView.start + users.cursor;
  return result;
}
