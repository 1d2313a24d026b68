#pragma once
// Attendance, operation and real-time records as the terminal sends them.
#include <cstddef>
#include <vector>

#include "sim/terminal.h"

namespace vxsim::detail {

// The attendance table in the given form (records only, no byte count).
// Compressed: a record within 1023 seconds after the last full time is a
// 4-byte delta record, any other an 8-byte record with the full time, so the
// stream always starts with a full time.
Bytes attendanceTable(const std::vector<AttendanceRecord>& records, LogForm form);
// 16-byte operation records.
Bytes operationTable(const std::vector<OperationRecord>& records);
// One real-time record of `size` bytes: the number, then the event bytes cut
// or zero-padded.
void appendRealTime(Bytes& out, const RealTimeRecord& record, std::size_t size);

}  // namespace vxsim::detail
