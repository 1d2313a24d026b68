#pragma once
// Device time: seconds on a calendar of 12 months of 31 days from 2000-01-01.
// Every day has exactly 86400 seconds; nothing here touches the host clock.
#include <cstdint>

namespace vxreport {

// Marks "no further time" in the calculation's streams; every real device time is smaller.
inline constexpr std::int32_t NoMoreTime = 1924790400;
inline constexpr std::int64_t kDay = 86400;

struct CalendarTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  bool operator==(const CalendarTime&) const = default;
};

// The year counts modulo 100; month and day are not checked (31 February is
// accepted). Out-of-range arguments wrap like the device's 32-bit arithmetic.
std::int32_t encodeDeviceTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                              std::int32_t minute, std::int32_t second);
CalendarTime decodeDeviceTime(std::int32_t t);

// Day start and time of day with C's truncating remainder, as the device computes them.
inline std::int64_t dayStart(std::int64_t t) { return t - t % kDay; }

}  // namespace vxreport
