#include "vxsdk/report/devtime.h"

namespace vxreport {

std::int32_t encodeDeviceTime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                              std::int32_t minute, std::int32_t second) {
  // Unsigned arithmetic: wraps instead of overflowing on hostile arguments.
  auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
  std::uint32_t t = u(year % 100);
  t = t * 12u + (u(month) - 1u);
  t = t * 31u + (u(day) - 1u);
  t = t * 24u + u(hour);
  t = t * 60u + u(minute);
  t = t * 60u + u(second);
  return static_cast<std::int32_t>(t);
}

CalendarTime decodeDeviceTime(std::int32_t t) {
  CalendarTime c;
  c.second = t % 60;
  c.minute = (t / 60) % 60;
  if (c.minute < 0) c.minute = 0;
  c.hour = (t / 3600) % 24;
  c.day = (t / 86400) % 31 + 1;
  c.month = (t / 86400 / 31) % 12 + 1;
  c.year = t / 86400 / 372 + 2000;
  return c;
}

}  // namespace vxreport
