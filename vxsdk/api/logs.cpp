// Attendance, operation and real-time records: downloads into the shared
// download buffer, the sequential getters that decode them one record at a
// time, the raw table read, and clearing logs and data on the device.
#include "vxsdk/api/logs.h"

#include <algorithm>
#include <array>

#include "platform/export.h"
#include "vxsdk.h"
#include "vxsdk/api/devicetime.h"
#include "vxsdk/api/users.h"
#include "vxsdk/api/viewwalk.h"
#include "wirecore/packet.h"

namespace vxsdk {
namespace {
constexpr char kOpLogFirmware[] = "Ver 5.04";
constexpr char kDataSetFirmware[] = "Ver 6.01";
constexpr std::uint8_t kAttendanceKind = 1;
constexpr std::uint8_t kOperationKind = 4;
constexpr int kReleaseReply = 16;
constexpr int kRealTimeReply = 1024;
constexpr int kSelectorExtraMs = 2000;
constexpr int kClearLogExtraMs = 2000;
constexpr int kClearDataExtraMs = 3000;
constexpr int kRefreshExtraMs = 1000;

// Releases a data set read through CMD_NEWLOG_RRQ; the release's reply code
// then stands for the download.
AfterRead releaseDataSet(Connection& c, std::uint8_t kind) {
  return [&c, kind](std::uint16_t& code) {
    std::array<std::uint8_t, kReleaseReply> buffer{kind};
    code = CMD_NEWLOG_DONE;
    VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), kReleaseReply, 1, c.shortTimeout);
  };
}

int command(Connection& c, std::uint16_t code, const std::uint8_t* data, int length, int replyCapacity, int extraMs) {
  std::array<std::uint8_t, VX_MAX_DATA> buffer{};
  std::copy_n(data, length, buffer.begin());
  VXEMBPRO_SENDCMD(c.engine, &code, buffer.data(), replyCapacity, length, c.shortTimeout + extraMs);
  return code == CMD_ACK_OK ? 1 : -2;
}

// After the device cleared data: the shared buffer is released (its capacity
// value stays, so the next download allocates a full one again), every bulk
// view is reset, and the user view is emptied.
void releaseDownloads(Connection& c) {
  c.bulkBuffer.release();
  for (ViewKind kind : {ViewKind::Template, ViewKind::AttLog, ViewKind::OpLog, ViewKind::AttRule,
                        ViewKind::Department, ViewKind::Shift}) {
    c.view(kind).reset();
  }
  if (c.userBuffer.allocated()) c.userView.length = 0;
}

// A getter's own download when its view is empty: 1 ready, 0 none, -2 failed.
int ready(Connection& c, const View& view, int (*download)(Connection&, int)) {
  if (view.length > 0 && c.bulkBuffer.allocated()) return 1;
  const int result = download(c, 1);
  return result == 1 ? 1 : result == 0 ? 0 : -2;
}

struct TimeOut {
  int *year, *month, *day, *hour, *minute, *second;
  void handOut(std::int32_t t) const {
    const CalendarTime ct = decodeDeviceTime(t);
    put(year, ct.year);
    put(month, ct.month);
    put(day, ct.day);
    put(hour, ct.hour);
    put(minute, ct.minute);
    put(second, ct.second);
  }
};

// Where the attendance getters put a record.
struct AttOut {
  int* number;
  unsigned char* verifyMode;
  unsigned char* state;
  TimeOut time;
  int* workCode;
  int* reserved;
};

int nextAttendance(Connection& c, const AttOut& out) {
  if (const int r = ready(c, c.attLogView, readAttendance); r != 1) return r;
  if (c.extendFormat != 0) {
    const auto bytes = takeRecord(c.attLogView, c.bulkBuffer, ExtendedAttRecord::kSize);
    if (!bytes) return 0;
    const ExtendedAttRecord r = ExtendedAttRecord::decode(bytes->first<ExtendedAttRecord::kSize>());
    put(out.number, r.number);
    put(out.verifyMode, r.verifyMode);
    put(out.state, r.state);
    out.time.handOut(r.time);
    put(out.workCode, r.workCode);
    put(out.reserved, r.reserved);
    return 1;
  }
  const auto rest = viewRemainder(c.attLogView, c.bulkBuffer);
  const std::size_t size = rest.size() >= 3 ? CompressedAttRecord::sizeOf(rest) : CompressedAttRecord::kShortSize;
  const auto bytes = takeRecord(c.attLogView, c.bulkBuffer, size);
  if (!bytes) return 0;
  const CompressedAttRecord r = CompressedAttRecord::decode(*bytes);
  // The deltas that follow a full time count from it, also when its own
  // record is one to skip.
  if (!r.shortForm) c.lastLogTime = r.value;
  if (r.number == 0xFFFF) return 0;
  put(out.number, c.pinWidth > 5 ? toPin2(c, r.number) : r.number);
  put(out.verifyMode, r.verifyMode);
  put(out.state, r.state);
  out.time.handOut(r.shortForm ? c.lastLogTime + r.value : r.value);
  put(out.workCode, 0);
  put(out.reserved, 0);
  return 1;
}

// Operations whose first parameter is an internal user number.
bool namesUser(int operation) { return (operation >= 6 && operation <= 12) || operation == 30; }
}  // namespace

CompressedAttRecord CompressedAttRecord::decode(std::span<const std::uint8_t> b) {
  CompressedAttRecord r;
  r.number = wire::readU16(&b[0]);
  r.state = static_cast<std::uint8_t>(b[2] >> 5);
  r.verifyMode = static_cast<std::uint8_t>((b[2] >> 3) & 0x03);
  r.shortForm = (b[2] & 0x04) != 0;
  if (r.shortForm) {
    r.value = ((b[2] & 0x03) << 8) | b[3];
  } else {
    r.value = static_cast<std::int32_t>(wire::readU32(&b[4]));
    if (r.value < 0) r.value += kNegativeTimeCorrection;
  }
  return r;
}

ExtendedAttRecord ExtendedAttRecord::decode(std::span<const std::uint8_t, kSize> b) {
  ExtendedAttRecord r;
  r.number = static_cast<std::int32_t>(wire::readU32(&b[0]));
  r.time = static_cast<std::int32_t>(wire::readU32(&b[4]));
  r.state = b[8];
  r.verifyMode = b[9];
  r.reserved = wire::readU16(&b[10]);
  r.workCode = wire::readU32(&b[12]);
  return r;
}

OpLogRecord OpLogRecord::decode(std::span<const std::uint8_t, kSize> b) {
  OpLogRecord r;
  r.admin = wire::readU16(&b[0]);
  r.operation = b[2];
  r.reserved = b[3];
  r.time = static_cast<std::int32_t>(wire::readU32(&b[4]));
  for (std::size_t i = 0; i < r.parameters.size(); ++i) r.parameters[i] = wire::readU16(&b[8 + 2 * i]);
  return r;
}

std::size_t realTimeRecordSize(const Connection& c) {
  if (c.tftMachine) return 38;
  return c.newRtLogFormat ? 18 : 16;
}

int readAttendance(Connection& c, int viaDataSet) {
  if (viaDataSet != 0 && versionAtLeast(c, kDataSetFirmware))
    return downloadDataSet(c, kAttendanceKind, CMD_NEWLOG_RRQ, 1, ViewKind::AttLog, true,
                           releaseDataSet(c, kAttendanceKind));
  return downloadDataSet(c, kAttendanceKind, CMD_ATTLOG_RRQ, 0, ViewKind::AttLog, true);
}

int readOperations(Connection& c, int viaDataSet) {
  if (versionBelow(c, kOpLogFirmware)) return 0;
  if (viaDataSet != 0 && versionAtLeast(c, kDataSetFirmware))
    return downloadDataSet(c, kOperationKind, CMD_NEWLOG_RRQ, 1, ViewKind::OpLog, false,
                           releaseDataSet(c, kOperationKind));
  return downloadDataSet(c, kOperationKind, CMD_OPLOG_RRQ, 0, ViewKind::OpLog, false);
}
}  // namespace vxsdk

using vxsdk::Connection;
using vxsdk::put;

VX_EXPORT int VX_ReadLog(void* handle, int viaDataSet) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::readAttendance(*c, viaDataSet);
}

VX_EXPORT int VX_ReadLogExt(void* handle, int selector, int viaDataSet) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (selector == 0) return vxsdk::readAttendance(*c, viaDataSet);
  if (vxsdk::ensureBulkBuffer(*c, vxsdk::kBulkSize) != 1) return -100;
  std::uint8_t* buffer = c->bulkBuffer.data();
  wire::writeU32(buffer, static_cast<std::uint32_t>(selector));
  wire::writeU32(buffer + 4, 0);
  const int capacity = static_cast<int>(std::min<std::size_t>(c->bulkCapacity, c->bulkBuffer.size()));
  std::uint16_t code = CMD_ATTLOG_RRQ;
  const int count = VXEMBPRO_READDATA(c->engine, &code, buffer, capacity, 8, c->blockSize,
                                      c->longTimeout + vxsdk::kSelectorExtraMs);
  if (code == CMD_ACK_OK && count >= 0) {
    vxsdk::setView(*c, vxsdk::ViewKind::AttLog, 0, std::min(count, capacity));
    return 1;
  }
  return code == CMD_ACK_ERROR && count == 0 ? 0 : -2;
}

VX_EXPORT int VX_ReadOpLog(void* handle, int viaDataSet) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::readOperations(*c, viaDataSet);
}

VX_EXPORT int VX_GetLog(void* handle, int* number, unsigned char* verifyMode, unsigned char* state, int* year,
                        int* month, int* day, int* hour, int* minute, int* second) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::nextAttendance(*c, {number, verifyMode, state, {year, month, day, hour, minute, second}, nullptr,
                                    nullptr});
}

VX_EXPORT int VX_GetExtLog(void* handle, int* number, unsigned char* verifyMode, unsigned char* state, int* year,
                           int* month, int* day, int* hour, int* minute, int* second, int* workCode, int* reserved) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::nextAttendance(*c, {number, verifyMode, state, {year, month, day, hour, minute, second}, workCode,
                                    reserved});
}

VX_EXPORT int VX_SSR_GetLog(void* handle, char* userId, unsigned char* verifyMode, unsigned char* state, int* year,
                            int* month, int* day, int* hour, int* minute, int* second, int* workCode) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (const int r = vxsdk::ready(*c, c->attLogView, vxsdk::readAttendance); r != 1) return r;
  const auto bytes = vxsdk::takeRecord(c->attLogView, c->bulkBuffer, vxsdk::IdAttRecord::kSize);
  if (!bytes) return 0;
  const vxsdk::IdAttRecord r = vxsdk::IdAttRecord::decode(bytes->first<vxsdk::IdAttRecord::kSize>());
  // The application sizes its buffer by the PIN width; the field has 24 bytes.
  const auto limit = static_cast<std::size_t>(std::clamp(c->pinWidth, 0, 24));
  if (limit > 0) vxsdk::copyPadded(userId, r.userId, limit);
  put(verifyMode, r.verifyMode);
  put(state, r.status);
  vxsdk::TimeOut{year, month, day, hour, minute, second}.handOut(r.time);
  put(workCode, r.workCode);
  return 1;
}

VX_EXPORT int VX_GetOpLog(void* handle, int* adminNumber, int* operation, int* parameters, int* year, int* month,
                          int* day, int* hour, int* minute, int* second) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (vxsdk::versionBelow(*c, vxsdk::kOpLogFirmware)) return 0;
  if (const int r = vxsdk::ready(*c, c->opLogView, vxsdk::readOperations); r != 1) return r;
  const auto bytes = vxsdk::takeRecord(c->opLogView, c->bulkBuffer, vxsdk::OpLogRecord::kSize);
  if (!bytes) return 0;
  const vxsdk::OpLogRecord r = vxsdk::OpLogRecord::decode(bytes->first<vxsdk::OpLogRecord::kSize>());
  if (r.admin == 0xFFFF) return 0;
  const bool translate = c->pinWidth > 5;
  put(adminNumber, translate ? vxsdk::toPin2(*c, r.admin) : r.admin);
  put(operation, r.operation);
  if (parameters != nullptr) {
    const int first = r.parameters[0];
    parameters[0] = translate && first != 0 && vxsdk::namesUser(r.operation) ? vxsdk::toPin2(*c, first) : first;
    std::copy(r.parameters.begin() + 1, r.parameters.end(), parameters + 1);
  }
  vxsdk::TimeOut{year, month, day, hour, minute, second}.handOut(r.time);
  return 1;
}

VX_EXPORT int VX_ReadRTLog(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (vxsdk::versionBelow(*c, vxsdk::kDataSetFirmware)) return -100;
  if (vxsdk::ensureBulkBuffer(*c, vxsdk::kRealTimeBulkSize) != 1) return -100;
  // The reply area is cleared first, so a count that claims more than the
  // device sent hands out zeros, never records of an earlier read.
  std::uint8_t* buffer = c->bulkBuffer.data();
  std::fill_n(buffer, vxsdk::kRealTimeReply, 0);
  wire::writeU32(buffer, static_cast<std::uint32_t>(c->rtLogCounter));
  std::uint16_t code = CMD_RTLOG_RRQ;
  VXEMBPRO_SENDCMD(c->engine, &code, buffer, vxsdk::kRealTimeReply, 4, c->shortTimeout);
  if (code != CMD_ACK_OK) return -2;
  const std::int32_t count = vxsdk::leadingCount(buffer, vxsdk::kRealTimeReply);
  vxsdk::setView(*c, vxsdk::ViewKind::AttLog, 4, count);
  if (count > 0) ++c->rtLogCounter;
  return 1;
}

VX_EXPORT int VX_GetRTLog(void* handle, int* number, unsigned char* raw) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  const auto bytes = vxsdk::takeRecord(c->attLogView, c->bulkBuffer, vxsdk::realTimeRecordSize(*c));
  if (!bytes) return 0;
  put(number, wire::readU16(bytes->data()));
  if (raw != nullptr) std::copy(bytes->begin() + 2, bytes->end(), raw);
  return 1;
}

VX_EXPORT int VX_ReadData(void* handle, unsigned char* buffer, int size) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr || buffer == nullptr || size < 1) return -1;
  std::uint16_t code = CMD_DB_RRQ;
  VXEMBPRO_READDATA(c->engine, &code, buffer, size, 1, c->blockSize, c->longTimeout);
  return code == CMD_ACK_OK ? 1 : -2;
}

VX_EXPORT int VX_ClearLogData(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::command(*c, CMD_CLEAR_ATTLOG, nullptr, 0, 0, vxsdk::kClearLogExtraMs);
}

VX_EXPORT int VX_ClearOpLogData(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::command(*c, CMD_CLEAR_OPLOG, nullptr, 0, 0, vxsdk::kClearLogExtraMs);
}

VX_EXPORT int VX_ClearData(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  if (vxsdk::command(*c, CMD_CLEAR_DATA, nullptr, 0, 0, vxsdk::kClearDataExtraMs) != 1) return -2;
  vxsdk::releaseDownloads(*c);
  return 1;
}

VX_EXPORT int VX_ClearDataEx(void* handle, int kind) {
  const auto k = static_cast<std::uint8_t>(kind);
  if (k == 0 || k > 5) return 4;
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  // The release follows whatever the device answered.
  vxsdk::command(*c, CMD_CLEAR_DATA, &k, 1, 1, vxsdk::kClearDataExtraMs);
  vxsdk::releaseDownloads(*c);
  return 1;
}

VX_EXPORT int VX_RefreshData(void* handle) {
  Connection* c = vxsdk::fromHandle(handle);
  if (c == nullptr) return -1;
  return vxsdk::command(*c, CMD_REFRESH_DATA, nullptr, 0, 0, vxsdk::kRefreshExtraMs);
}
