#pragma once
// The report run behind the exported report function, free of the SDK's
// connection record: the caller hands in the connection's 72-byte user records,
// their cursor and a way to download them, and wires the exported function on top.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vxreport {

struct ReportTime {
  std::int32_t year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

struct ReportRequest {
  std::string userId;  // empty: every user of the connection from its cursor on
  std::string logFile, userFile, departmentFile, shiftFile;
  ReportTime start, end;
  std::string outputFile;
  std::string workDirectory;  // prefix put directly in front of the work file names
  std::string ruleFile;
  std::int32_t reportKind = 0;  // 1 punch listing, 2 exceptions, 3 statistics
  std::string label;            // title and field label of the punch listing
};

// The connection's user records (72 bytes each) and the byte offset of the
// next record to calculate.
struct UserList {
  std::span<const std::uint8_t> records;
  std::size_t cursor = 0;
};

// Downloads the users now: returns the download's result (1 on success) and
// points the list at the fresh records.
using DownloadUsers = std::function<int(UserList&)>;

// One complete report run. `users` null stands for a null connection handle.
// Results: 1 the run completed (also for a report kind other than 1 to 3,
// which writes no page); 0 no user to calculate (all users selected and the
// connection has none, or the named user ID is not among its records); -1 null
// handle; -2 the user download failed. Every result leaves the engine files
// closed; the work files exist (empty on an early return).
int runReport(const ReportRequest& request, UserList* users, const DownloadUsers& downloadUsers);

// Writes a downloaded data set to a file: deletes it, creates it anew and
// writes the bytes in one piece. 1 saved; -2 the file cannot be created or
// written completely; 0 nothing to save or a kind other than 1 to 5.
int saveDataSet(const std::string& fileName, std::span<const std::uint8_t> data, std::int32_t dataKind);

}  // namespace vxreport
