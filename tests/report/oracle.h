#pragma once
// A direct implementation of the report run used as the reference for the
// indexed engine: it rescans the attendance log for every user, the user and
// shift files for every look-up and the exception work file for every closed
// period, exactly as the stored files are laid out.
#include <cstdint>
#include <span>

#include "vxsdk/report/entry.h"

namespace vxtest {

// Runs the calculation for every whole 72-byte record of `users` (from the
// first) and writes the page of the request's kind; the work files and the page
// go where the request names them. Prints nothing.
void oracleRun(const vxreport::ReportRequest& request, std::span<const std::uint8_t> users);

}  // namespace vxtest
