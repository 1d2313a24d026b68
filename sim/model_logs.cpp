// Log records as the terminal sends them.
#include "sim/model_logs.h"

#include <algorithm>
#include <optional>

#include "sim/families.h"
#include "vxsdk/report/records.h"

namespace vxsim::detail {
namespace {
constexpr std::int32_t kMaxDelta = 1023;

// Byte 2 of a compressed record: state (7-5), verify mode (4-3), short form (2).
std::uint8_t stateByte(const AttendanceRecord& r, bool shortForm) {
  return static_cast<std::uint8_t>((r.state & 0x07) << 5 | (r.verifyMode & 0x03) << 3 | (shortForm ? 0x04 : 0));
}

void appendCompressed(Bytes& out, const std::vector<AttendanceRecord>& records) {
  std::optional<std::int32_t> fullTime;
  for (const AttendanceRecord& r : records) {
    appendU16(out, static_cast<std::uint16_t>(r.number));
    const std::int64_t delta = fullTime ? static_cast<std::int64_t>(r.time) - *fullTime : -1;
    if (delta >= 0 && delta <= kMaxDelta) {
      appendU8(out, static_cast<std::uint8_t>(stateByte(r, true) | (delta >> 8)));
      appendU8(out, static_cast<std::uint8_t>(delta));
      continue;
    }
    appendU8(out, stateByte(r, false));
    appendU8(out, 0);
    appendU32(out, static_cast<std::uint32_t>(r.time));
    fullTime = r.time;
  }
}

void appendExtended(Bytes& out, const AttendanceRecord& r) {
  appendU32(out, static_cast<std::uint32_t>(r.number));
  appendU32(out, static_cast<std::uint32_t>(r.time));
  appendU8(out, r.state);
  appendU8(out, r.verifyMode);
  appendU16(out, r.reserved);
  appendU32(out, r.workCode);
}

void appendStringId(Bytes& out, const AttendanceRecord& r) {
  vxreport::AttLogRecord record;
  record.userNumber = static_cast<std::uint16_t>(r.number);
  record.userId = r.userId;
  record.verifyMode = r.verifyMode;
  record.time = r.time;
  record.status = r.state;
  record.workCode = r.workCode;
  const std::size_t at = out.size();
  out.resize(at + vxreport::AttLogRecord::kSize);
  record.encode(std::span(out).subspan(at).first<vxreport::AttLogRecord::kSize>());
}
}  // namespace

Bytes attendanceTable(const std::vector<AttendanceRecord>& records, LogForm form) {
  Bytes out;
  switch (form) {
    case LogForm::Extended:
      out.reserve(records.size() * 16);
      for (const auto& r : records) appendExtended(out, r);
      break;
    case LogForm::StringId:
      out.reserve(records.size() * vxreport::AttLogRecord::kSize);
      for (const auto& r : records) appendStringId(out, r);
      break;
    default:
      out.reserve(records.size() * 6);
      appendCompressed(out, records);
      break;
  }
  return out;
}

Bytes operationTable(const std::vector<OperationRecord>& records) {
  Bytes out;
  out.reserve(records.size() * 16);
  for (const OperationRecord& r : records) {
    appendU16(out, r.admin);
    appendU8(out, r.operation);
    appendU8(out, 0);
    appendU32(out, static_cast<std::uint32_t>(r.time));
    for (std::uint16_t p : r.parameters) appendU16(out, p);
  }
  return out;
}

void appendRealTime(Bytes& out, const RealTimeRecord& record, std::size_t size) {
  appendU16(out, record.number);
  for (std::size_t i = 0; i + 2 < size; ++i) out.push_back(i < record.event.size() ? record.event[i] : 0);
}

}  // namespace vxsim::detail
