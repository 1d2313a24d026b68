#pragma once
// Device time encoding and the connection's shared download buffer with its views.
#include <cstdint>
#include <functional>

#include "vxsdk/api/connection.h"
#include "vxsdk/report/devtime.h"

namespace vxsdk {
// Seconds on a calendar of 12 months of 31 days from 2000-01-01; the report
// engine keeps the one implementation of it.
using vxreport::CalendarTime;
using vxreport::decodeDeviceTime;
using vxreport::encodeDeviceTime;

constexpr std::int32_t kBulkSize = 6291456;
constexpr std::int32_t kRealTimeBulkSize = 2048;
// Largest data set a download grows its buffer to.
constexpr std::int64_t kMaxDataSet = 256ll << 20;

// Allocates bulkBuffer with `size` bytes when it is missing; 1, or -100 when
// the memory is not available.
int ensureBulkBuffer(Connection& c, std::int32_t size);
// Grows bulkBuffer (keeping its contents) to at least `size` bytes.
bool growBulkBuffer(Connection& c, std::int64_t size);
// Resets every other view and points the named one at [start, start + length).
void setView(Connection& c, ViewKind kind, std::size_t start, std::int32_t length);
// The leading byte count of a download answer of `bytesRead` bytes, cut to
// the records really read.
std::int32_t leadingCount(const std::uint8_t* answer, int bytesRead);
// Runs after a read the device acknowledged, before its outcome is judged,
// and may replace the reply code (the release of a CMD_NEWLOG_RRQ set).
using AfterRead = std::function<void(std::uint16_t& code)>;
// Downloads a whole data set into bulkBuffer: 1 (view set), 0 the device has
// none, -2 the exchange failed, -100 memory or size refused.
int downloadDataSet(Connection& c, std::uint8_t kind, std::uint16_t command, int requestLength, ViewKind view,
                    bool allowFallback, const AfterRead& afterRead = {});
}  // namespace vxsdk
