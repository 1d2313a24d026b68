#pragma once
// The three HTML report writers: punch listing (kind 1), attendance
// exceptions (kind 2, one row per work period) and attendance statistics
// (kind 3, one row per user). Every byte written is GB2312.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "vxsdk/report/files.h"
#include "vxsdk/report/inputs.h"
#include "vxsdk/report/records.h"

namespace vxreport {

struct ReportContext {
  const InputIndex& inputs;
  const AttRuleRecord& rule;
  std::int32_t start = 0, end = 0;
};

// Each writer appends its page to `out` and returns true when its last write
// succeeded.
bool writePunchListing(std::FILE* out, const ReportContext& context, std::string_view label);
bool writeExceptionReport(std::FILE* out, const ReportContext& context, const File& periods);
bool writeStatisticsReport(std::FILE* out, const ReportContext& context, const File& totals);

// Cell formats shared by the writers.
std::string formatDate(std::int32_t t);   // "MM-DD"
std::string formatClock(std::int32_t t);  // "hh:mm"
// The user ID as shown in kinds 2 and 3: padded on the left with '0' to five
// characters; a longer ID is shown whole.
std::string paddedUserId(std::string_view userId);
// Record text made safe for element content: & < > become entities, every
// other byte (GB2312 included) is copied as it is.
std::string htmlText(std::string_view text);

struct DisplayUnit {
  std::int64_t divisor;
  std::string_view label;  // GB2312
};
// Display unit 0 count, 1 minutes, 2 hours, 3 days; any other value is shown as a count.
DisplayUnit displayUnit(std::int32_t unit);

}  // namespace vxreport
