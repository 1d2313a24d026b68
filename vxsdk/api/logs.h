#pragma once
// Attendance, operation and real-time records: their layouts and the
// downloads that fill the attendance and operation views of the shared
// download buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vxsdk/api/connection.h"
#include "vxsdk/report/records.h"

namespace vxsdk {

// A negative full time in a compressed record is corrected by this much.
constexpr std::int32_t kNegativeTimeCorrection = 147527411;

// Compressed attendance record (used while "~ExtendFmt" is 0): 4 bytes in the
// short form (a delta of 0 to 1023 seconds on the last full time), 8 in the
// long form (a full time).
struct CompressedAttRecord {
  static constexpr std::size_t kShortSize = 4;
  static constexpr std::size_t kLongSize = 8;
  std::uint16_t number = 0;  // 65535 marks a record to skip
  std::uint8_t state = 0;       // bits 7-5 of byte 2
  std::uint8_t verifyMode = 0;  // bits 4-3 of byte 2
  bool shortForm = false;       // bit 2 of byte 2
  // Short form: the delta; long form: the full time, a negative one corrected.
  std::int32_t value = 0;

  // Size of the record whose first three bytes are given.
  static std::size_t sizeOf(std::span<const std::uint8_t> head) { return (head[2] & 0x04) ? kShortSize : kLongSize; }
  // Reads a record of sizeOf() bytes.
  static CompressedAttRecord decode(std::span<const std::uint8_t> bytes);
};

// Extended attendance record (used while "~ExtendFmt" is not 0).
struct ExtendedAttRecord {
  static constexpr std::size_t kSize = 16;
  std::int32_t number = 0;
  std::int32_t time = 0;
  std::uint8_t state = 0;
  std::uint8_t verifyMode = 0;
  std::uint16_t reserved = 0;
  std::uint32_t workCode = 0;
  static ExtendedAttRecord decode(std::span<const std::uint8_t, kSize> bytes);
};

// The 40-byte attendance record of string-ID users; the report engine reads
// its attendance file with the same codec.
using IdAttRecord = vxreport::AttLogRecord;

// What an administrator did on the device.
struct OpLogRecord {
  static constexpr std::size_t kSize = 16;
  std::uint16_t admin = 0;  // 65535 marks a record to skip
  std::uint8_t operation = 0;
  std::uint8_t reserved = 0;
  std::int32_t time = 0;
  std::array<std::uint16_t, 4> parameters{};
  static OpLogRecord decode(std::span<const std::uint8_t, kSize> bytes);
};

// Real-time records of this connection: 38 bytes on a TFT device, else 18
// with the newer real-time format, else 16.
std::size_t realTimeRecordSize(const Connection& c);

// Attendance download into attLogView (through CMD_NEWLOG_RRQ and its release
// from "Ver 6.01" on when viaDataSet is set, CMD_ATTLOG_RRQ otherwise): 1, 0
// the device has none, -2 failed, -100 no memory.
int readAttendance(Connection& c, int viaDataSet);
// Operation download into opLogView; 0 without any exchange below "Ver 5.04".
int readOperations(Connection& c, int viaDataSet);

}  // namespace vxsdk
